#include "playback/YuvToRgb.h"

#include <algorithm>
#include <array>

#include "io/QcifFormat.h"

namespace {

constexpr int WIDTH = int(QCIF_WIDTH);
constexpr int HEIGHT = int(QCIF_HEIGHT);
constexpr int CHROMA_WIDTH = int(QCIF_CHROMA_WIDTH);
constexpr int CHROMA_HEIGHT = int(QCIF_CHROMA_HEIGHT);
// Upsampled chroma is held in sixteenths: 0 .. 16 * 255.
constexpr int CHROMA_STEPS = 16 * 255 + 1;

// Kr = 0.299, Kb = 0.114; chroma scaled from the 224-step range, luma from 219.
constexpr double LUMA_GAIN = 255.0 / 219.0;
constexpr double RED_V = 255.0 / 224.0 * 1.402;
constexpr double GREEN_U = 255.0 / 224.0 * (1.772 * 0.114 / 0.587);
constexpr double GREEN_V = 255.0 / 224.0 * (1.402 * 0.299 / 0.587);
constexpr double BLUE_U = 255.0 / 224.0 * 1.772;

uint8_t ClampByte(double v) {
    if (v <= 0.0) {
        return 0;
    }
    if (v >= 255.0) {
        return 255;
    }
    return static_cast<uint8_t>(v + 0.5);
}

// Every product of the formula below, one table per term, each computed by the
// same operations as the formula: the sums of table entries are the formula's
// sums bit for bit.
struct STerms {
    std::array<double, 256> adLuma;
    std::array<double, CHROMA_STEPS> adRedV, adGreenU, adGreenV, adBlueU;

    STerms() {
        for (int y = 0; y < 256; ++y) {
            adLuma[size_t(y)] = LUMA_GAIN * (y - 16.0);
        }
        for (int n = 0; n < CHROMA_STEPS; ++n) {
            const double d = n / 16.0 - 128.0;
            adRedV[size_t(n)] = RED_V * d;
            adGreenU[size_t(n)] = GREEN_U * d;
            adGreenV[size_t(n)] = GREEN_V * d;
            adBlueU[size_t(n)] = BLUE_U * d;
        }
    }
};

const STerms& Terms() {
    static const STerms terms;
    return terms;
}

void Convert(double y, double u, double v, uint8_t* pRgb) {
    const double c = LUMA_GAIN * (y - 16.0);
    const double d = u - 128.0;
    const double e = v - 128.0;
    pRgb[0] = ClampByte(c + RED_V * e);
    pRgb[1] = ClampByte(c - GREEN_U * d - GREEN_V * e);
    pRgb[2] = ClampByte(c + BLUE_U * d);
}

// Each chroma row upsampled across: 3 x the nearest sample + 1 x the next one
// on the side of the luma column (bilinear 3/4, 1/4), clamped at the edges.
// Across and then down gives the 9/3/3/1 weights in sixteenths.
void UpsampleRows(const uint8_t* pPlane, int16_t (*pOut)[WIDTH]) {
    for (int cy = 0; cy < CHROMA_HEIGHT; ++cy) {
        const uint8_t* pRow = pPlane + cy * CHROMA_WIDTH;
        for (int x = 0; x < WIDTH; ++x) {
            const int cx = x >> 1;
            const int nx = std::clamp((x & 1) ? cx + 1 : cx - 1, 0, CHROMA_WIDTH - 1);
            pOut[cy][x] = int16_t(3 * pRow[cx] + pRow[nx]);
        }
    }
}

}  // namespace

void YuvToRgb(int nY, int nU, int nV, uint8_t* pRgb) {
    Convert(nY, nU, nV, pRgb);
}

void QcifFrameToRgb(const uint8_t* pFrame, uint8_t* pRgb) {
    const STerms& t = Terms();
    int16_t aU[CHROMA_HEIGHT][WIDTH];
    int16_t aV[CHROMA_HEIGHT][WIDTH];
    UpsampleRows(pFrame + QCIF_U_OFFSET, aU);
    UpsampleRows(pFrame + QCIF_V_OFFSET, aV);
    for (int y = 0; y < HEIGHT; ++y) {
        const int cy = y >> 1;
        const int ny = std::clamp((y & 1) ? cy + 1 : cy - 1, 0, CHROMA_HEIGHT - 1);
        const uint8_t* pY = pFrame + y * WIDTH;
        uint8_t* pOut = pRgb + y * WIDTH * 3;
        for (int x = 0; x < WIDTH; ++x) {
            const size_t u = size_t(3 * aU[cy][x] + aU[ny][x]);
            const size_t v = size_t(3 * aV[cy][x] + aV[ny][x]);
            const double c = t.adLuma[pY[x]];
            pOut[0] = ClampByte(c + t.adRedV[v]);
            pOut[1] = ClampByte(c - t.adGreenU[u] - t.adGreenV[v]);
            pOut[2] = ClampByte(c + t.adBlueU[u]);
            pOut += 3;
        }
    }
}
