#include "codec/Wavelet.h"

#include "codec/WorkingState.h"

namespace {

// Taps as exact decimal constants; the products are summed, then scaled by K.
constexpr double H[6] = {0.47046720778405,  1.14111691583131,  0.65036500052554,
                         -0.19093441556797, -0.12083220831036, 0.04981749973164};
constexpr double G[6] = {0.04981749973164,  0.12083220831036, -0.19093441556797,
                         -0.65036500052554, 1.14111691583131, -0.47046720778405};
// Deliberately this 13-decimal value rather than 1/sqrt(2): stored streams depend on it.
constexpr double K = 0.7071067811865;

// Truncation toward zero, then the low 16 bits.
inline int16_t ToCoef(double v) {
    return static_cast<int16_t>(static_cast<int32_t>(v));
}

bool LineLengthOk(uint32_t n) {
    return n >= 6 && n <= WAVELET_MAX_LINE && n % 2 == 0;
}

// True when every level of an nLevels pyramid on a w x h plane has lines the
// line operations accept.
bool LevelsFit(uint32_t w, uint32_t h, uint8_t nLevels) {
    for (uint8_t l = 0; l < nLevels; ++l) {
        if (!LineLengthOk(w) || !LineLengthOk(h)) {
            return false;
        }
        w /= 2;
        h /= 2;
    }
    return true;
}

}  // namespace

bool AnalyseLine(uint32_t nLength, const int16_t* pIn, int16_t* pLow, int16_t* pHigh) {
    if (!LineLengthOk(nLength)) {
        return false;
    }
    const uint32_t n = nLength;
    for (uint32_t k = 0; k < n / 2; ++k) {
        double x[6];
        for (uint32_t t = 0; t < 6; ++t) {
            x[t] = pIn[(2 * k + t) % n];
        }
        double lo = H[0] * x[0];
        double hi = G[0] * x[0];
        for (uint32_t t = 1; t < 6; ++t) {
            lo += H[t] * x[t];
            hi += G[t] * x[t];
        }
        pLow[k] = ToCoef(K * lo);
        pHigh[k] = ToCoef(K * hi);
    }
    return true;
}

bool SynthesiseLine(uint32_t nLength, int16_t* pOut, const int16_t* pLow, const int16_t* pHigh) {
    if (!LineLengthOk(nLength)) {
        return false;
    }
    const uint32_t half = nLength / 2;
    for (uint32_t j = 0; j < half; ++j) {
        const uint32_t j1 = (j + half - 1) % half;
        const uint32_t j2 = (j + half - 2) % half;
        const double a0 = pLow[j], a1 = pLow[j1], a2 = pLow[j2];
        const double d0 = pHigh[j], d1 = pHigh[j1], d2 = pHigh[j2];
        double even = H[0] * a0;
        even += H[2] * a1;
        even += H[4] * a2;
        even += G[0] * d0;
        even += G[2] * d1;
        even += G[4] * d2;
        double odd = H[1] * a0;
        odd += H[3] * a1;
        odd += H[5] * a2;
        odd += G[1] * d0;
        odd += G[3] * d1;
        odd += G[5] * d2;
        pOut[2 * j] = ToCoef(K * even);
        pOut[2 * j + 1] = ToCoef(K * odd);
    }
    return true;
}

bool ForwardWavelet(int16_t* pPlane, uint8_t nLevels) {
    const uint32_t stride = g_nPlaneWidth;
    uint32_t rw = g_nPlaneWidth;
    uint32_t rh = g_nPlaneHeight;
    if (!LevelsFit(rw, rh, nLevels)) {
        return false;
    }
    int16_t line[WAVELET_MAX_LINE];
    int16_t low[WAVELET_MAX_LINE / 2];
    int16_t high[WAVELET_MAX_LINE / 2];
    for (uint8_t l = 0; l < nLevels; ++l) {
        for (uint32_t r = 0; r < rh; ++r) {
            int16_t* row = pPlane + r * stride;
            for (uint32_t c = 0; c < rw; ++c) {
                line[c] = row[c];
            }
            AnalyseLine(rw, line, low, high);
            for (uint32_t c = 0; c < rw / 2; ++c) {
                row[c] = low[c];
                row[rw / 2 + c] = high[c];
            }
        }
        for (uint32_t c = 0; c < rw; ++c) {
            int16_t* col = pPlane + c;
            for (uint32_t r = 0; r < rh; ++r) {
                line[r] = col[r * stride];
            }
            AnalyseLine(rh, line, low, high);
            for (uint32_t r = 0; r < rh / 2; ++r) {
                col[r * stride] = low[r];
                col[(rh / 2 + r) * stride] = high[r];
            }
        }
        rw /= 2;
        rh /= 2;
    }
    return true;
}

bool InverseWavelet(int16_t* pPlane, uint8_t nLevels) {
    const uint32_t stride = g_nPlaneWidth;
    if (nLevels == 0 || !LevelsFit(g_nPlaneWidth, g_nPlaneHeight, nLevels)) {
        return false;
    }
    uint32_t rw = g_nPlaneWidth >> (nLevels - 1);
    uint32_t rh = g_nPlaneHeight >> (nLevels - 1);
    int16_t line[WAVELET_MAX_LINE];
    int16_t low[WAVELET_MAX_LINE / 2];
    int16_t high[WAVELET_MAX_LINE / 2];
    for (uint8_t l = 0; l < nLevels; ++l) {
        for (uint32_t c = 0; c < rw; ++c) {
            int16_t* col = pPlane + c;
            for (uint32_t r = 0; r < rh / 2; ++r) {
                low[r] = col[r * stride];
                high[r] = col[(rh / 2 + r) * stride];
            }
            SynthesiseLine(rh, line, low, high);
            for (uint32_t r = 0; r < rh; ++r) {
                col[r * stride] = line[r];
            }
        }
        for (uint32_t r = 0; r < rh; ++r) {
            int16_t* row = pPlane + r * stride;
            for (uint32_t c = 0; c < rw / 2; ++c) {
                low[c] = row[c];
                high[c] = row[rw / 2 + c];
            }
            SynthesiseLine(rw, line, low, high);
            for (uint32_t c = 0; c < rw; ++c) {
                row[c] = line[c];
            }
        }
        rw *= 2;
        rh *= 2;
    }
    return true;
}
