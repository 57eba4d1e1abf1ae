#include "cli/YuvToRgb.h"

#include <algorithm>

#include "io/QcifFormat.h"

namespace {

constexpr int kWidth = 176;
constexpr int kHeight = 144;
constexpr int kChromaWidth = 88;
constexpr int kChromaHeight = 72;

uint8_t ClampByte(double v) {
    if (v <= 0.0) {
        return 0;
    }
    if (v >= 255.0) {
        return 255;
    }
    return static_cast<uint8_t>(v + 0.5);
}

// Chroma plane value at luma position (x, y), in sixteenths: bilinear weights
// 9/3/3/1 from the four nearest chroma samples.
int Upsample16(const uint8_t* pPlane, int x, int y) {
    int cx = x >> 1;
    int cy = y >> 1;
    int nx = std::clamp((x & 1) ? cx + 1 : cx - 1, 0, kChromaWidth - 1);
    int ny = std::clamp((y & 1) ? cy + 1 : cy - 1, 0, kChromaHeight - 1);
    auto at = [pPlane](int px, int py) { return int(pPlane[py * kChromaWidth + px]); };
    return 9 * at(cx, cy) + 3 * at(nx, cy) + 3 * at(cx, ny) + at(nx, ny);
}

void Convert(double y, double u, double v, uint8_t* pRgb) {
    double c = 255.0 / 219.0 * (y - 16.0);
    double d = u - 128.0;
    double e = v - 128.0;
    // Kr = 0.299, Kb = 0.114; chroma scaled from the 224-step range.
    pRgb[0] = ClampByte(c + 255.0 / 224.0 * 1.402 * e);
    pRgb[1] = ClampByte(c - 255.0 / 224.0 * (1.772 * 0.114 / 0.587) * d -
                        255.0 / 224.0 * (1.402 * 0.299 / 0.587) * e);
    pRgb[2] = ClampByte(c + 255.0 / 224.0 * 1.772 * d);
}

}  // namespace

void YuvToRgb(int nY, int nU, int nV, uint8_t* pRgb) {
    Convert(nY, nU, nV, pRgb);
}

void QcifFrameToRgb(const uint8_t* pFrame, uint8_t* pRgb) {
    const uint8_t* pU = pFrame + QCIF_U_OFFSET;
    const uint8_t* pV = pFrame + QCIF_V_OFFSET;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            double u = Upsample16(pU, x, y) / 16.0;
            double v = Upsample16(pV, x, y) / 16.0;
            Convert(pFrame[y * kWidth + x], u, v, pRgb + (y * kWidth + x) * 3);
        }
    }
}
