// True-colour conversion (shared by export and the comparison view) and the
// comparison pictures: planes in grey, signed and heat-map differences.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "io/QcifFormat.h"
#include "playback/FramePictures.h"
#include "playback/YuvToRgb.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The conversion written out per pixel in double precision, as first written
// for export: the table-driven one must give the same bytes.
void ReferenceFrameToRgb(const uint8_t* pFrame, uint8_t* pRgb) {
    auto clampByte = [](double v) -> uint8_t {
        return v <= 0.0 ? 0 : v >= 255.0 ? 255 : static_cast<uint8_t>(v + 0.5);
    };
    auto upsample16 = [](const uint8_t* pPlane, int x, int y) {
        const int cx = x >> 1, cy = y >> 1;
        const int nx = std::clamp((x & 1) ? cx + 1 : cx - 1, 0, 87);
        const int ny = std::clamp((y & 1) ? cy + 1 : cy - 1, 0, 71);
        auto at = [pPlane](int px, int py) { return int(pPlane[py * 88 + px]); };
        return 9 * at(cx, cy) + 3 * at(nx, cy) + 3 * at(cx, ny) + at(nx, ny);
    };
    for (int y = 0; y < 144; ++y) {
        for (int x = 0; x < 176; ++x) {
            const double c = 255.0 / 219.0 * (pFrame[y * 176 + x] - 16.0);
            const double d = upsample16(pFrame + QCIF_U_OFFSET, x, y) / 16.0 - 128.0;
            const double e = upsample16(pFrame + QCIF_V_OFFSET, x, y) / 16.0 - 128.0;
            uint8_t* p = pRgb + (y * 176 + x) * 3;
            p[0] = clampByte(c + 255.0 / 224.0 * 1.402 * e);
            p[1] = clampByte(c - 255.0 / 224.0 * (1.772 * 0.114 / 0.587) * d -
                             255.0 / 224.0 * (1.402 * 0.299 / 0.587) * e);
            p[2] = clampByte(c + 255.0 / 224.0 * 1.772 * d);
        }
    }
}

Bytes Pixel(const Bytes& rgb, int x, int y) {
    return Bytes(rgb.begin() + (y * 176 + x) * 3, rgb.begin() + (y * 176 + x) * 3 + 3);
}

Bytes Grey(int n) {
    return Bytes(3, uint8_t(n));
}

Bytes Heat(int nLevel) {
    Bytes rgb(3);
    HeatColour(nLevel, rgb.data());
    return rgb;
}

}  // namespace

TEST(YuvToRgb, Bt601LimitedRangeColours) {
    struct {
        int y, u, v;
        int r, g, b;
    } const cases[] = {
        {16, 128, 128, 0, 0, 0},     {235, 128, 128, 255, 255, 255}, {126, 128, 128, 128, 128, 128},
        {81, 90, 240, 255, 0, 0},    {145, 54, 34, 0, 255, 0},       {41, 240, 110, 0, 0, 255},
        {210, 16, 146, 255, 255, 0}, {0, 128, 128, 0, 0, 0},         {255, 128, 128, 255, 255, 255},
    };
    for (const auto& c : cases) {
        uint8_t rgb[3];
        YuvToRgb(c.y, c.u, c.v, rgb);
        SCOPED_TRACE(std::to_string(c.y) + "," + std::to_string(c.u) + "," + std::to_string(c.v));
        EXPECT_NEAR(rgb[0], c.r, 1);
        EXPECT_NEAR(rgb[1], c.g, 1);
        EXPECT_NEAR(rgb[2], c.b, 1);
    }
}

// Random frames, extremes and sharp chroma edges: every byte as the formula's.
TEST(YuvToRgb, FrameConversionGivesTheFormulasBytes) {
    std::mt19937 random(7);
    std::vector<Bytes> frames = {Bytes(QCIF_FRAME_BYTES, 0), Bytes(QCIF_FRAME_BYTES, 255)};
    for (int n = 0; n < 4; ++n) {
        Bytes f(QCIF_FRAME_BYTES);
        for (uint8_t& b : f) {
            b = uint8_t(random());
        }
        frames.push_back(f);
    }
    Bytes edges(QCIF_FRAME_BYTES, 16);
    for (uint32_t k = QCIF_U_OFFSET; k < QCIF_FRAME_BYTES; ++k) {
        edges[k] = ((k / 3) % 2) ? 240 : 16;
    }
    frames.push_back(edges);
    for (size_t n = 0; n < frames.size(); ++n) {
        Bytes fast(PICTURE_BYTES), slow(PICTURE_BYTES);
        QcifFrameToRgb(frames[n].data(), fast.data());
        ReferenceFrameToRgb(frames[n].data(), slow.data());
        EXPECT_EQ(fast, slow) << "frame " << n;
    }
}

// A reference of flat planes and a frame differing at a few places.
TEST(FramePictures, PlanesAndDifferences) {
    Bytes ref(QCIF_FRAME_BYTES, 100);
    std::fill(ref.begin() + QCIF_U_OFFSET, ref.begin() + QCIF_V_OFFSET, 120);
    std::fill(ref.begin() + QCIF_V_OFFSET, ref.end(), 140);
    Bytes frame = ref;
    frame[10 * 176 + 10] = 103;                 // Y +3 at (10, 10)
    frame[QCIF_U_OFFSET + 20 * 88 + 20] = 118;  // U -2 under pixels (40..41, 40..41)
    frame[QCIF_V_OFFSET + 5 * 88 + 30] = 180;   // V +40 under pixels (60..61, 10..11)
    frame[100 * 176 + 150] = 0;                 // Y -100 at (150, 100)

    using M = EPictureMode;
    using S = EDifferenceStyle;
    struct Case {
        const char* name;
        bool bDifference;
        M mode;
        S style;
        int nGain;
        int x, y;
        Bytes rgb;
    };
    uint8_t mid[3];
    YuvToRgb(128, 128, 128, mid);
    const Case cases[] = {
        {"Y plane", false, M::Y, S::Signed, 1, 10, 10, Grey(103)},
        {"U plane, chroma covers 2x2", false, M::U, S::Signed, 1, 41, 41, Grey(118)},
        {"V plane", false, M::V, S::Signed, 1, 60, 11, Grey(180)},
        {"signed Y x8", true, M::Y, S::Signed, 8, 10, 10, Grey(128 + 24)},
        {"signed Y x32", true, M::Y, S::Signed, 32, 10, 10, Grey(224)},
        {"signed Y clamps below", true, M::Y, S::Signed, 2, 150, 100, Grey(0)},
        {"signed Y unchanged", true, M::Y, S::Signed, 8, 0, 0, Grey(128)},
        {"signed U x8", true, M::U, S::Signed, 8, 40, 40, Grey(112)},
        {"signed V x1", true, M::V, S::Signed, 1, 61, 10, Grey(168)},
        {"signed V clamps above", true, M::V, S::Signed, 8, 61, 10, Grey(255)},
        {"gain taken to 32", true, M::Y, S::Signed, 99, 10, 10, Grey(224)},
        {"heat Y x8", true, M::Y, S::Heat, 8, 10, 10, Heat(24)},
        {"heat Y none", true, M::Y, S::Heat, 8, 5, 5, Heat(0)},
        {"heat Y saturates", true, M::Y, S::Heat, 8, 150, 100, Heat(255)},
        {"heat U x4", true, M::U, S::Heat, 4, 41, 40, Heat(8)},
        {"heat colour takes the largest", true, M::Colour, S::Heat, 1, 60, 10, Heat(40)},
        {"heat colour from Y", true, M::Colour, S::Heat, 8, 10, 10, Heat(24)},
        {"signed colour unchanged is mid-grey", true, M::Colour, S::Signed, 8, 170, 140,
         Bytes(mid, mid + 3)},
    };
    for (const Case& c : cases) {
        Bytes rgb(PICTURE_BYTES);
        if (c.bDifference) {
            RenderDifferencePicture(frame.data(), ref.data(), c.mode, c.style, c.nGain, rgb.data());
        } else {
            RenderFramePicture(frame.data(), c.mode, rgb.data());
        }
        EXPECT_EQ(Pixel(rgb, c.x, c.y), c.rgb) << c.name;
    }

    // True colour is the export conversion; a signed colour difference is the
    // conversion of the amplified planes.
    Bytes picture(PICTURE_BYTES), expected(PICTURE_BYTES);
    RenderFramePicture(frame.data(), M::Colour, picture.data());
    QcifFrameToRgb(frame.data(), expected.data());
    EXPECT_EQ(picture, expected);
    Bytes amplified(QCIF_FRAME_BYTES);
    for (uint32_t k = 0; k < QCIF_FRAME_BYTES; ++k) {
        amplified[k] = uint8_t(std::clamp(128 + 4 * (frame[k] - ref[k]), 0, 255));
    }
    RenderDifferencePicture(frame.data(), ref.data(), M::Colour, S::Signed, 4, picture.data());
    QcifFrameToRgb(amplified.data(), expected.data());
    EXPECT_EQ(picture, expected);
}

TEST(FramePictures, HeatRampAndSaturation) {
    EXPECT_EQ(Heat(0), Grey(0));
    EXPECT_EQ(Heat(-5), Heat(0));
    EXPECT_EQ(Heat(300), Heat(255));
    double dLast = -1;
    for (int n = 0; n < 256; ++n) {  // brighter at every level
        const Bytes c = Heat(n);
        const double dLuma = 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2];
        EXPECT_GT(dLuma, dLast) << n;
        dLast = dLuma;
    }
    const int table[][2] = {{1, 255}, {2, 128}, {8, 32}, {32, 8}, {0, 255}, {100, 8}};
    for (const auto& t : table) {
        EXPECT_EQ(HeatSaturation(t[0]), t[1]) << t[0];
    }
}
