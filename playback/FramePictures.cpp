#include "playback/FramePictures.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "playback/YuvToRgb.h"

namespace {

constexpr int WIDTH = int(QCIF_WIDTH);
constexpr int HEIGHT = int(QCIF_HEIGHT);
constexpr int CHROMA_WIDTH = int(QCIF_CHROMA_WIDTH);

// Offset of a plane in the frame, and its width: chroma at half the luma's.
struct SPlane {
    uint32_t nOffset;
    int nShift;  // 0 for Y, 1 for U and V
};
SPlane PlaneOf(EPictureMode mode) {
    switch (mode) {
        case EPictureMode::U:
            return {QCIF_U_OFFSET, 1};
        case EPictureMode::V:
            return {QCIF_V_OFFSET, 1};
        default:
            return {0, 0};
    }
}

// Calls f(x, y, k) for every pixel, k being the sample index inside its plane.
template <class F>
void ForEachPixel(int nShift, F f) {
    const int nRowWidth = WIDTH >> nShift;
    for (int y = 0; y < HEIGHT; ++y) {
        const int nRow = (y >> nShift) * nRowWidth;
        for (int x = 0; x < WIDTH; ++x) {
            f(x, y, nRow + (x >> nShift));
        }
    }
}

void PutGrey(uint8_t* pRgb, int x, int y, int nLevel) {
    uint8_t* p = pRgb + (y * WIDTH + x) * 3;
    p[0] = p[1] = p[2] = uint8_t(nLevel);
}

// Heat ramp stops (level, red, green, blue); brightness rises with the level.
constexpr int HEAT_STOPS[][4] = {
    {0, 0, 0, 0}, {64, 87, 16, 110}, {128, 188, 55, 84}, {192, 249, 142, 9}, {255, 252, 255, 164}};

struct SHeatRamp {
    std::array<std::array<uint8_t, 3>, 256> colours{};
    SHeatRamp() {
        for (size_t s = 0; s + 1 < std::size(HEAT_STOPS); ++s) {
            const int* a = HEAT_STOPS[s];
            const int* b = HEAT_STOPS[s + 1];
            for (int n = a[0]; n <= b[0]; ++n) {
                for (int c = 0; c < 3; ++c) {
                    const int nSpan = b[0] - a[0];
                    colours[size_t(n)][size_t(c)] = uint8_t(
                        (a[c + 1] * (b[0] - n) + b[c + 1] * (n - a[0]) + nSpan / 2) / nSpan);
                }
            }
        }
    }
};

const SHeatRamp& HeatRamp() {
    static const SHeatRamp ramp;
    return ramp;
}

int ClampGain(int nGain) {
    return std::clamp(nGain, PICTURE_MIN_GAIN, PICTURE_MAX_GAIN);
}

}  // namespace

void RenderFramePicture(const uint8_t* pFrame, EPictureMode mode, uint8_t* pRgb) {
    if (mode == EPictureMode::Colour) {
        QcifFrameToRgb(pFrame, pRgb);
        return;
    }
    const SPlane plane = PlaneOf(mode);
    const uint8_t* pPlane = pFrame + plane.nOffset;
    ForEachPixel(plane.nShift, [&](int x, int y, int k) { PutGrey(pRgb, x, y, pPlane[k]); });
}

void RenderDifferencePicture(const uint8_t* pFrame, const uint8_t* pRef, EPictureMode mode,
                             EDifferenceStyle style, int nGain, uint8_t* pRgb) {
    const int g = ClampGain(nGain);
    if (mode == EPictureMode::Colour && style == EDifferenceStyle::Signed) {
        uint8_t aFrame[QCIF_FRAME_BYTES];
        for (uint32_t k = 0; k < QCIF_FRAME_BYTES; ++k) {
            aFrame[k] = uint8_t(std::clamp(128 + g * (pFrame[k] - pRef[k]), 0, 255));
        }
        QcifFrameToRgb(aFrame, pRgb);
        return;
    }
    const auto& heat = HeatRamp().colours;
    auto putHeat = [&](int x, int y, int nDiff) {
        const auto& c = heat[size_t(std::min(g * nDiff, 255))];
        uint8_t* p = pRgb + (y * WIDTH + x) * 3;
        p[0] = c[0];
        p[1] = c[1];
        p[2] = c[2];
    };
    if (mode == EPictureMode::Colour) {  // heat of the largest plane difference
        const uint8_t* pU = pFrame + QCIF_U_OFFSET;
        const uint8_t* pV = pFrame + QCIF_V_OFFSET;
        const uint8_t* pRefU = pRef + QCIF_U_OFFSET;
        const uint8_t* pRefV = pRef + QCIF_V_OFFSET;
        for (int y = 0; y < HEIGHT; ++y) {
            for (int x = 0; x < WIDTH; ++x) {
                const int k = y * WIDTH + x;
                const int c = (y >> 1) * CHROMA_WIDTH + (x >> 1);
                const int nDiff =
                    std::max({std::abs(pFrame[k] - pRef[k]), std::abs(pU[c] - pRefU[c]),
                              std::abs(pV[c] - pRefV[c])});
                putHeat(x, y, nDiff);
            }
        }
        return;
    }
    const SPlane plane = PlaneOf(mode);
    const uint8_t* pA = pFrame + plane.nOffset;
    const uint8_t* pB = pRef + plane.nOffset;
    if (style == EDifferenceStyle::Heat) {
        ForEachPixel(plane.nShift,
                     [&](int x, int y, int k) { putHeat(x, y, std::abs(pA[k] - pB[k])); });
    } else {
        ForEachPixel(plane.nShift, [&](int x, int y, int k) {
            PutGrey(pRgb, x, y, std::clamp(128 + g * (pA[k] - pB[k]), 0, 255));
        });
    }
}

void HeatColour(int nLevel, uint8_t* pRgb) {
    const auto& c = HeatRamp().colours[size_t(std::clamp(nLevel, 0, 255))];
    pRgb[0] = c[0];
    pRgb[1] = c[1];
    pRgb[2] = c[2];
}

int HeatSaturation(int nGain) {
    const int g = ClampGain(nGain);
    return (255 + g - 1) / g;
}
