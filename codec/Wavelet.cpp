#include "codec/Wavelet.h"

#include <cstring>

#include "codec/WorkingState.h"

namespace {

// Taps as exact decimal constants; the products are summed, then scaled by K.
constexpr double H[6] = {0.47046720778405,  1.14111691583131,  0.65036500052554,
                         -0.19093441556797, -0.12083220831036, 0.04981749973164};
constexpr double G[6] = {0.04981749973164,  0.12083220831036, -0.19093441556797,
                         -0.65036500052554, 1.14111691583131, -0.47046720778405};
// Deliberately this 13-decimal value rather than 1/sqrt(2): stored streams depend on it.
constexpr double K = 0.7071067811865;

// Four outputs of one line at a time. Every lane computes exactly the scalar
// expression (six products added left to right, times K, truncation), so
// the results do not depend on the vector width; -ffp-contract=off keeps the
// products and sums separately rounded.
constexpr uint32_t LANES = 4;
typedef double VDouble __attribute__((vector_size(8 * LANES)));
typedef int32_t VInt __attribute__((vector_size(4 * LANES)));

// Unaligned view of LANES consecutive doubles.
typedef double VDoubleU __attribute__((vector_size(8 * LANES), aligned(8), may_alias));
#define LOAD_LANES(p) (*reinterpret_cast<const VDoubleU*>(p))

// Half-line arrays rounded up to whole vectors, plus two values of periodic
// extension (and room for the lanes past the end, which are computed but
// never stored).
constexpr uint32_t HALF_MAX = WAVELET_MAX_LINE / 2;
constexpr uint32_t PADDED = HALF_MAX + LANES + 2;

// One line split into its even and odd samples as doubles, each followed by
// its first two values again so that no output needs an index modulo.
struct CSplitLine {
    double adEven[PADDED];
    double adOdd[PADDED];
};

// Low and high outputs k of the line held in `s` (half = nLength / 2):
// low[k] = K * (h0 x[2k] + h1 x[2k+1] + ... + h5 x[2k+5]), high likewise with g.
template <typename Store>
inline void AnalyseSplit(const CSplitLine& s, uint32_t half, Store store) {
    for (uint32_t k = 0; k < half; k += LANES) {
        const VDouble e0 = LOAD_LANES(s.adEven + k), o0 = LOAD_LANES(s.adOdd + k);
        const VDouble e1 = LOAD_LANES(s.adEven + k + 1), o1 = LOAD_LANES(s.adOdd + k + 1);
        const VDouble e2 = LOAD_LANES(s.adEven + k + 2), o2 = LOAD_LANES(s.adOdd + k + 2);
        VDouble lo = H[0] * e0;
        lo += H[1] * o0;
        lo += H[2] * e1;
        lo += H[3] * o1;
        lo += H[4] * e2;
        lo += H[5] * o2;
        VDouble hi = G[0] * e0;
        hi += G[1] * o0;
        hi += G[2] * e1;
        hi += G[3] * o1;
        hi += G[4] * e2;
        hi += G[5] * o2;
        const VInt nLo = __builtin_convertvector(K * lo, VInt);
        const VInt nHi = __builtin_convertvector(K * hi, VInt);
        if (half - k >= LANES) {
            for (uint32_t i = 0; i < LANES; ++i) {  // unrolled: a whole vector
                store(k + i, static_cast<int16_t>(nLo[i]), static_cast<int16_t>(nHi[i]));
            }
        } else {
            for (uint32_t i = 0; i < half - k; ++i) {
                store(k + i, static_cast<int16_t>(nLo[i]), static_cast<int16_t>(nHi[i]));
            }
        }
    }
}

// Gathers nLength samples (stride apart) into `s` with the periodic extension.
inline void Split(const int16_t* p, uint32_t stride, uint32_t nLength, CSplitLine& s) {
    const uint32_t half = nLength / 2;
    for (uint32_t i = 0; i < half; ++i) {
        s.adEven[i] = p[2 * i * stride];
        s.adOdd[i] = p[(2 * i + 1) * stride];
    }
    s.adEven[half] = s.adEven[0];
    s.adOdd[half] = s.adOdd[0];
    s.adEven[half + 1] = s.adEven[1];
    s.adOdd[half + 1] = s.adOdd[1];
}

// The low and high halves of a line as doubles, each preceded by its last two
// values (periodic extension backwards).
struct CHalves {
    double adLow[PADDED];
    double adHigh[PADDED];
};

// Output pair j = (out[2j], out[2j+1]) from a[j], a[j-1], a[j-2] and d[...],
// which sit at index j + 2, j + 1 and j of the padded halves.
template <typename Store>
inline void SynthesiseHalves(const CHalves& s, uint32_t half, Store store) {
    for (uint32_t j = 0; j < half; j += LANES) {
        const VDouble a2 = LOAD_LANES(s.adLow + j), a1 = LOAD_LANES(s.adLow + j + 1);
        const VDouble a0 = LOAD_LANES(s.adLow + j + 2);
        const VDouble d2 = LOAD_LANES(s.adHigh + j), d1 = LOAD_LANES(s.adHigh + j + 1);
        const VDouble d0 = LOAD_LANES(s.adHigh + j + 2);
        VDouble even = H[0] * a0;
        even += H[2] * a1;
        even += H[4] * a2;
        even += G[0] * d0;
        even += G[2] * d1;
        even += G[4] * d2;
        VDouble odd = H[1] * a0;
        odd += H[3] * a1;
        odd += H[5] * a2;
        odd += G[1] * d0;
        odd += G[3] * d1;
        odd += G[5] * d2;
        const VInt nEven = __builtin_convertvector(K * even, VInt);
        const VInt nOdd = __builtin_convertvector(K * odd, VInt);
        if (half - j >= LANES) {
            for (uint32_t i = 0; i < LANES; ++i) {  // unrolled: a whole vector
                store(j + i, static_cast<int16_t>(nEven[i]), static_cast<int16_t>(nOdd[i]));
            }
        } else {
            for (uint32_t i = 0; i < half - j; ++i) {
                store(j + i, static_cast<int16_t>(nEven[i]), static_cast<int16_t>(nOdd[i]));
            }
        }
    }
}

// Gathers the half-line values low[0..half) and high[0..half) (stride apart).
inline void GatherHalves(const int16_t* pLow, const int16_t* pHigh, uint32_t stride, uint32_t half,
                         CHalves& s) {
    for (uint32_t i = 0; i < half; ++i) {
        s.adLow[i + 2] = pLow[i * stride];
        s.adHigh[i + 2] = pHigh[i * stride];
    }
    s.adLow[0] = s.adLow[half];
    s.adLow[1] = s.adLow[half + 1];
    s.adHigh[0] = s.adHigh[half];
    s.adHigh[1] = s.adHigh[half + 1];
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
    CSplitLine s{};
    Split(pIn, 1, nLength, s);
    AnalyseSplit(s, nLength / 2, [&](uint32_t k, int16_t lo, int16_t hi) {
        pLow[k] = lo;
        pHigh[k] = hi;
    });
    return true;
}

bool SynthesiseLine(uint32_t nLength, int16_t* pOut, const int16_t* pLow, const int16_t* pHigh) {
    if (!LineLengthOk(nLength)) {
        return false;
    }
    CHalves s{};
    GatherHalves(pLow, pHigh, 1, nLength / 2, s);
    SynthesiseHalves(s, nLength / 2, [&](uint32_t j, int16_t even, int16_t odd) {
        pOut[2 * j] = even;
        pOut[2 * j + 1] = odd;
    });
    return true;
}

// Each line is first copied out of the plane (as doubles), so its outputs can
// go straight back into the plane.
bool ForwardWavelet(int16_t* pPlane, uint8_t nLevels) {
    const uint32_t stride = g_nPlaneWidth;
    uint32_t rw = g_nPlaneWidth;
    uint32_t rh = g_nPlaneHeight;
    if (!LevelsFit(rw, rh, nLevels)) {
        return false;
    }
    CSplitLine s{};
    for (uint8_t l = 0; l < nLevels; ++l) {
        const uint32_t hw = rw / 2, hh = rh / 2;
        for (uint32_t r = 0; r < rh; ++r) {
            int16_t* row = pPlane + r * stride;
            Split(row, 1, rw, s);
            AnalyseSplit(s, hw, [&](uint32_t k, int16_t lo, int16_t hi) {
                row[k] = lo;
                row[hw + k] = hi;
            });
        }
        for (uint32_t c = 0; c < rw; ++c) {
            int16_t* col = pPlane + c;
            Split(col, stride, rh, s);
            AnalyseSplit(s, hh, [&](uint32_t k, int16_t lo, int16_t hi) {
                col[k * stride] = lo;
                col[(hh + k) * stride] = hi;
            });
        }
        rw = hw;
        rh = hh;
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
    CHalves s{};
    for (uint8_t l = 0; l < nLevels; ++l) {
        const uint32_t hw = rw / 2, hh = rh / 2;
        for (uint32_t c = 0; c < rw; ++c) {
            int16_t* col = pPlane + c;
            GatherHalves(col, col + hh * stride, stride, hh, s);
            SynthesiseHalves(s, hh, [&](uint32_t j, int16_t even, int16_t odd) {
                col[2 * j * stride] = even;
                col[(2 * j + 1) * stride] = odd;
            });
        }
        for (uint32_t r = 0; r < rh; ++r) {
            int16_t* row = pPlane + r * stride;
            GatherHalves(row, row + hw, 1, hw, s);
            SynthesiseHalves(s, hw, [&](uint32_t j, int16_t even, int16_t odd) {
                row[2 * j] = even;
                row[2 * j + 1] = odd;
            });
        }
        rw *= 2;
        rh *= 2;
    }
    return true;
}
