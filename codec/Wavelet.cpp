#include "codec/Wavelet.h"

#include <atomic>
#include <bit>
#include <cstring>

#include "io/QcifFormat.h"

// Every output is computed the same way in every kernel: the six products
// added left to right in the order written below, times K, truncated. The
// vector kernels evaluate that expression in each lane, and the build keeps
// each product and sum separately rounded (-ffp-contract=off, no FMA in any
// target), so all kernels give the same values as the plain one.

namespace {

// Taps as exact decimal constants; the products are summed, then scaled by K.
constexpr double H[6] = {0.47046720778405,  1.14111691583131,  0.65036500052554,
                         -0.19093441556797, -0.12083220831036, 0.04981749973164};
constexpr double G[6] = {0.04981749973164,  0.12083220831036, -0.19093441556797,
                         -0.65036500052554, 1.14111691583131, -0.47046720778405};
// Deliberately this 13-decimal value rather than 1/sqrt(2): stored streams depend on it.
constexpr double K = 0.7071067811865;

constexpr uint32_t HALF_MAX = WAVELET_MAX_LINE / 2;
constexpr uint32_t MAX_LANES = 8;
// Half-line scratch: the values, two values of periodic extension and room
// for the lanes past the end (computed, never stored).
constexpr uint32_t PADDED = HALF_MAX + 2 + MAX_LANES;
constexpr bool HOST_LITTLE_ENDIAN = std::endian::native == std::endian::little;

inline int16_t Truncate(double v) {
    return static_cast<int16_t>(static_cast<int32_t>(v));
}

// ---------------------------------------------------------------------------
// Plain kernels: one value at a time, any stride. The reference for the
// others, and the code on machines without vector support.

// Gathers a line's even and odd samples, each followed by its first two
// values again, so that no output needs an index modulo.
void SplitLine(const int16_t* p, ptrdiff_t stride, uint32_t half, double* pEven, double* pOdd) {
    for (uint32_t i = 0; i < half; ++i) {
        pEven[i] = p[2 * i * stride];
        pOdd[i] = p[(2 * i + 1) * stride];
    }
    pEven[half] = pEven[0];
    pOdd[half] = pOdd[0];
    pEven[half + 1] = pEven[1];
    pOdd[half + 1] = pOdd[1];
}

// low[k] = K (h0 x[2k] + h1 x[2k+1] + ... + h5 x[2k+5]), high likewise with g.
void AnalysePlain(const int16_t* pIn, ptrdiff_t inStride, int16_t* pLow, int16_t* pHigh,
                  ptrdiff_t outStride, uint32_t nLength) {
    double adEven[PADDED], adOdd[PADDED];
    const uint32_t half = nLength / 2;
    SplitLine(pIn, inStride, half, adEven, adOdd);
    for (uint32_t k = 0; k < half; ++k) {
        const double* e = adEven + k;
        const double* o = adOdd + k;
        double lo = H[0] * e[0];
        lo += H[1] * o[0];
        lo += H[2] * e[1];
        lo += H[3] * o[1];
        lo += H[4] * e[2];
        lo += H[5] * o[2];
        double hi = G[0] * e[0];
        hi += G[1] * o[0];
        hi += G[2] * e[1];
        hi += G[3] * o[1];
        hi += G[4] * e[2];
        hi += G[5] * o[2];
        pLow[k * outStride] = Truncate(K * lo);
        pHigh[k * outStride] = Truncate(K * hi);
    }
}

// The halves of a line, each preceded by its last two values (periodic
// extension backwards): a[j], a[j-1], a[j-2] sit at j + 2, j + 1 and j.
void GatherHalves(const int16_t* pLow, const int16_t* pHigh, ptrdiff_t stride, uint32_t half,
                  double* pA, double* pD) {
    for (uint32_t i = 0; i < half; ++i) {
        pA[i + 2] = pLow[i * stride];
        pD[i + 2] = pHigh[i * stride];
    }
    pA[0] = pA[half];
    pA[1] = pA[half + 1];
    pD[0] = pD[half];
    pD[1] = pD[half + 1];
}

// out[2j] = K (h0 a[j] + h2 a[j-1] + h4 a[j-2] + g0 d[j] + g2 d[j-1] + g4 d[j-2]),
// out[2j+1] likewise with the odd taps.
void SynthesisePlain(const int16_t* pLow, const int16_t* pHigh, ptrdiff_t inStride, int16_t* pOut,
                     ptrdiff_t outStride, uint32_t nLength) {
    double adA[PADDED], adD[PADDED];
    const uint32_t half = nLength / 2;
    GatherHalves(pLow, pHigh, inStride, half, adA, adD);
    for (uint32_t j = 0; j < half; ++j) {
        const double* a = adA + j;
        const double* d = adD + j;
        double even = H[0] * a[2];
        even += H[2] * a[1];
        even += H[4] * a[0];
        even += G[0] * d[2];
        even += G[2] * d[1];
        even += G[4] * d[0];
        double odd = H[1] * a[2];
        odd += H[3] * a[1];
        odd += H[5] * a[0];
        odd += G[1] * d[2];
        odd += G[3] * d[1];
        odd += G[5] * d[0];
        pOut[2 * j * outStride] = Truncate(K * even);
        pOut[(2 * j + 1) * outStride] = Truncate(K * odd);
    }
}

void AnalyseRowsPlain(const int16_t* pIn, int16_t* pLow, int16_t* pHigh, uint32_t nStride,
                      uint32_t nLength, uint32_t nRows) {
    for (uint32_t r = 0; r < nRows; ++r) {
        const ptrdiff_t at = ptrdiff_t{r} * nStride;
        AnalysePlain(pIn + at, 1, pLow + at, pHigh + at, 1, nLength);
    }
}

void AnalyseColumnsPlain(int16_t* pPlane, uint32_t nStride, uint32_t nWidth, uint32_t nHeight) {
    for (uint32_t c = 0; c < nWidth; ++c) {
        int16_t* col = pPlane + c;
        AnalysePlain(col, nStride, col, col + nHeight / 2 * nStride, nStride, nHeight);
    }
}

void SynthesiseRowsPlain(const int16_t* pLow, const int16_t* pHigh, int16_t* pOut, uint32_t nStride,
                         uint32_t nLength, uint32_t nRows) {
    for (uint32_t r = 0; r < nRows; ++r) {
        const ptrdiff_t at = ptrdiff_t{r} * nStride;
        SynthesisePlain(pLow + at, pHigh + at, 1, pOut + at, 1, nLength);
    }
}

void SynthesiseColumnsPlain(int16_t* pPlane, uint32_t nStride, uint32_t nWidth, uint32_t nHeight) {
    for (uint32_t c = 0; c < nWidth; ++c) {
        int16_t* col = pPlane + c;
        SynthesisePlain(col, col + nHeight / 2 * nStride, nStride, col, nStride, nHeight);
    }
}

// ---------------------------------------------------------------------------
// Vector kernels, N lanes of doubles. Rows run their lanes along the line
// (N consecutive outputs); columns run them across the plane (the same
// output of N neighbouring columns), so every load is contiguous. Compiled
// once for the baseline vector unit and once for AVX2.

template <uint32_t N>
struct SLanes {
    typedef double VDouble __attribute__((vector_size(8 * N)));
    typedef int32_t VInt __attribute__((vector_size(4 * N)));
    typedef uint32_t VUInt __attribute__((vector_size(4 * N)));
    typedef int16_t VShort __attribute__((vector_size(2 * N)));
    // Unaligned views for loads.
    typedef double VDoubleU __attribute__((vector_size(8 * N), aligned(8), may_alias));
    typedef uint32_t VUIntU __attribute__((vector_size(4 * N), aligned(2), may_alias));
    typedef int16_t VShortU __attribute__((vector_size(2 * N), aligned(2), may_alias));
};

#define TAVRO_LOAD(T, p) (*reinterpret_cast<const typename SLanes<N>::T##U*>(p))

// Samples to doubles by way of 32-bit integers, which the vector units
// convert in one step (a direct conversion is done one value at a time).
#define TAVRO_TO_DOUBLES(v) __builtin_convertvector(__builtin_convertvector(v, VInt), VDouble)

template <uint32_t N>
[[gnu::always_inline]] inline void AnalyseRowsVector(const int16_t* pIn, int16_t* pLow,
                                                     int16_t* pHigh, uint32_t nStride,
                                                     uint32_t nLength, uint32_t nRows) {
    using VDouble = typename SLanes<N>::VDouble;
    using VInt = typename SLanes<N>::VInt;
    using VUInt = typename SLanes<N>::VUInt;
    using VShort = typename SLanes<N>::VShort;
    alignas(64) double adEven[PADDED] = {}, adOdd[PADDED] = {};
    const uint32_t half = nLength / 2;
    for (uint32_t r = 0; r < nRows; ++r) {
        const int16_t* in = pIn + ptrdiff_t{r} * nStride;
        int16_t* low = pLow + ptrdiff_t{r} * nStride;
        int16_t* high = pHigh + ptrdiff_t{r} * nStride;
        // Split: each pair of samples is one 32-bit lane, even sample low.
        uint32_t i = 0;
        if constexpr (HOST_LITTLE_ENDIAN) {
            for (; i + N <= half; i += N) {
                const VUInt w = TAVRO_LOAD(VUInt, in + 2 * i);
                const VInt e = reinterpret_cast<VInt>(w << 16) >> 16;
                const VInt o = reinterpret_cast<VInt>(w) >> 16;
                const VDouble de = __builtin_convertvector(e, VDouble);
                const VDouble dox = __builtin_convertvector(o, VDouble);
                std::memcpy(adEven + i, &de, sizeof(de));
                std::memcpy(adOdd + i, &dox, sizeof(dox));
            }
        }
        for (; i < half; ++i) {
            adEven[i] = in[2 * i];
            adOdd[i] = in[2 * i + 1];
        }
        adEven[half] = adEven[0];
        adOdd[half] = adOdd[0];
        adEven[half + 1] = adEven[1];
        adOdd[half + 1] = adOdd[1];
        for (uint32_t k = 0; k < half; k += N) {
            const VDouble e0 = TAVRO_LOAD(VDouble, adEven + k);
            const VDouble o0 = TAVRO_LOAD(VDouble, adOdd + k);
            const VDouble e1 = TAVRO_LOAD(VDouble, adEven + k + 1);
            const VDouble o1 = TAVRO_LOAD(VDouble, adOdd + k + 1);
            const VDouble e2 = TAVRO_LOAD(VDouble, adEven + k + 2);
            const VDouble o2 = TAVRO_LOAD(VDouble, adOdd + k + 2);
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
            if (half - k >= N) {
                const VShort sLo = __builtin_convertvector(nLo, VShort);
                const VShort sHi = __builtin_convertvector(nHi, VShort);
                std::memcpy(low + k, &sLo, sizeof(sLo));
                std::memcpy(high + k, &sHi, sizeof(sHi));
            } else {
                for (uint32_t l = 0; l < half - k; ++l) {
                    low[k + l] = static_cast<int16_t>(nLo[l]);
                    high[k + l] = static_cast<int16_t>(nHi[l]);
                }
            }
        }
    }
}

template <uint32_t N>
[[gnu::always_inline]] inline void AnalyseColumnsVector(int16_t* pPlane, uint32_t nStride,
                                                        uint32_t nWidth, uint32_t nHeight) {
    using VDouble = typename SLanes<N>::VDouble;
    using VInt = typename SLanes<N>::VInt;
    using VShort = typename SLanes<N>::VShort;
    // N columns as rows of N doubles, then rows 0..3 again (periodic extension).
    alignas(64) double ad[(WAVELET_MAX_LINE + 4) * N];
    const uint32_t half = nHeight / 2;
    uint32_t c = 0;
    for (; c + N <= nWidth; c += N) {
        int16_t* col = pPlane + c;
        for (uint32_t r = 0; r < nHeight; ++r) {
            const VShort s = TAVRO_LOAD(VShort, col + ptrdiff_t{r} * nStride);
            const VDouble d = TAVRO_TO_DOUBLES(s);
            std::memcpy(ad + r * N, &d, sizeof(d));
        }
        std::memcpy(ad + nHeight * N, ad, 4 * N * sizeof(double));
        for (uint32_t k = 0; k < half; ++k) {
            const double* x = ad + 2 * k * N;
            const VDouble x0 = TAVRO_LOAD(VDouble, x);
            const VDouble x1 = TAVRO_LOAD(VDouble, x + N);
            const VDouble x2 = TAVRO_LOAD(VDouble, x + 2 * N);
            const VDouble x3 = TAVRO_LOAD(VDouble, x + 3 * N);
            const VDouble x4 = TAVRO_LOAD(VDouble, x + 4 * N);
            const VDouble x5 = TAVRO_LOAD(VDouble, x + 5 * N);
            VDouble lo = H[0] * x0;
            lo += H[1] * x1;
            lo += H[2] * x2;
            lo += H[3] * x3;
            lo += H[4] * x4;
            lo += H[5] * x5;
            VDouble hi = G[0] * x0;
            hi += G[1] * x1;
            hi += G[2] * x2;
            hi += G[3] * x3;
            hi += G[4] * x4;
            hi += G[5] * x5;
            const VShort sLo =
                __builtin_convertvector(__builtin_convertvector(K * lo, VInt), VShort);
            const VShort sHi =
                __builtin_convertvector(__builtin_convertvector(K * hi, VInt), VShort);
            std::memcpy(col + ptrdiff_t{k} * nStride, &sLo, sizeof(sLo));
            std::memcpy(col + ptrdiff_t{half + k} * nStride, &sHi, sizeof(sHi));
        }
    }
    AnalyseColumnsPlain(pPlane + c, nStride, nWidth - c, nHeight);
}

template <uint32_t N>
[[gnu::always_inline]] inline void SynthesiseRowsVector(const int16_t* pLow, const int16_t* pHigh,
                                                        int16_t* pOut, uint32_t nStride,
                                                        uint32_t nLength, uint32_t nRows) {
    using VDouble = typename SLanes<N>::VDouble;
    using VInt = typename SLanes<N>::VInt;
    using VUInt = typename SLanes<N>::VUInt;
    alignas(64) double adA[PADDED] = {}, adD[PADDED] = {};
    const uint32_t half = nLength / 2;
    for (uint32_t r = 0; r < nRows; ++r) {
        const int16_t* low = pLow + ptrdiff_t{r} * nStride;
        const int16_t* high = pHigh + ptrdiff_t{r} * nStride;
        int16_t* out = pOut + ptrdiff_t{r} * nStride;
        uint32_t i = 0;
        for (; i + N <= half; i += N) {
            const VDouble a = TAVRO_TO_DOUBLES(TAVRO_LOAD(VShort, low + i));
            const VDouble d = TAVRO_TO_DOUBLES(TAVRO_LOAD(VShort, high + i));
            std::memcpy(adA + i + 2, &a, sizeof(a));
            std::memcpy(adD + i + 2, &d, sizeof(d));
        }
        for (; i < half; ++i) {
            adA[i + 2] = low[i];
            adD[i + 2] = high[i];
        }
        adA[0] = adA[half];
        adA[1] = adA[half + 1];
        adD[0] = adD[half];
        adD[1] = adD[half + 1];
        for (uint32_t j = 0; j < half; j += N) {
            const VDouble a2 = TAVRO_LOAD(VDouble, adA + j);
            const VDouble a1 = TAVRO_LOAD(VDouble, adA + j + 1);
            const VDouble a0 = TAVRO_LOAD(VDouble, adA + j + 2);
            const VDouble d2 = TAVRO_LOAD(VDouble, adD + j);
            const VDouble d1 = TAVRO_LOAD(VDouble, adD + j + 1);
            const VDouble d0 = TAVRO_LOAD(VDouble, adD + j + 2);
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
            if (HOST_LITTLE_ENDIAN && half - j >= N) {
                // Output pairs as 32-bit lanes, even sample low.
                const VUInt w =
                    (reinterpret_cast<VUInt>(nEven) & 0xFFFF) | reinterpret_cast<VUInt>(nOdd) << 16;
                std::memcpy(out + 2 * j, &w, sizeof(w));
            } else {
                for (uint32_t l = 0; l < N && l < half - j; ++l) {
                    out[2 * (j + l)] = static_cast<int16_t>(nEven[l]);
                    out[2 * (j + l) + 1] = static_cast<int16_t>(nOdd[l]);
                }
            }
        }
    }
}

template <uint32_t N>
[[gnu::always_inline]] inline void SynthesiseColumnsVector(int16_t* pPlane, uint32_t nStride,
                                                           uint32_t nWidth, uint32_t nHeight) {
    using VDouble = typename SLanes<N>::VDouble;
    using VInt = typename SLanes<N>::VInt;
    using VShort = typename SLanes<N>::VShort;
    // N columns' halves as rows of N doubles, each preceded by its last two rows.
    alignas(64) double adA[(HALF_MAX + 2) * N], adD[(HALF_MAX + 2) * N];
    const uint32_t half = nHeight / 2;
    uint32_t c = 0;
    for (; c + N <= nWidth; c += N) {
        int16_t* col = pPlane + c;
        for (uint32_t r = 0; r < half; ++r) {
            const VShort a = TAVRO_LOAD(VShort, col + ptrdiff_t{r} * nStride);
            const VShort d = TAVRO_LOAD(VShort, col + ptrdiff_t{half + r} * nStride);
            const VDouble da = TAVRO_TO_DOUBLES(a);
            const VDouble dd = TAVRO_TO_DOUBLES(d);
            std::memcpy(adA + (r + 2) * N, &da, sizeof(da));
            std::memcpy(adD + (r + 2) * N, &dd, sizeof(dd));
        }
        std::memcpy(adA, adA + half * N, 2 * N * sizeof(double));
        std::memcpy(adD, adD + half * N, 2 * N * sizeof(double));
        for (uint32_t j = 0; j < half; ++j) {
            const VDouble a2 = TAVRO_LOAD(VDouble, adA + j * N);
            const VDouble a1 = TAVRO_LOAD(VDouble, adA + (j + 1) * N);
            const VDouble a0 = TAVRO_LOAD(VDouble, adA + (j + 2) * N);
            const VDouble d2 = TAVRO_LOAD(VDouble, adD + j * N);
            const VDouble d1 = TAVRO_LOAD(VDouble, adD + (j + 1) * N);
            const VDouble d0 = TAVRO_LOAD(VDouble, adD + (j + 2) * N);
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
            const VShort sEven =
                __builtin_convertvector(__builtin_convertvector(K * even, VInt), VShort);
            const VShort sOdd =
                __builtin_convertvector(__builtin_convertvector(K * odd, VInt), VShort);
            std::memcpy(col + ptrdiff_t{2 * j} * nStride, &sEven, sizeof(sEven));
            std::memcpy(col + ptrdiff_t{2 * j + 1} * nStride, &sOdd, sizeof(sOdd));
        }
    }
    SynthesiseColumnsPlain(pPlane + c, nStride, nWidth - c, nHeight);
}

// ---------------------------------------------------------------------------
// Kernel sets and the choice among them.

struct SWaveletKernels {
    // Rows r = 0 .. nRows - 1 of pIn (nStride apart) into the same rows of
    // pLow and pHigh; pIn may be pLow (each row is read whole first).
    void (*pAnalyseRows)(const int16_t* pIn, int16_t* pLow, int16_t* pHigh, uint32_t nStride,
                         uint32_t nLength, uint32_t nRows);
    // Every column of the nWidth x nHeight region, in place.
    void (*pAnalyseColumns)(int16_t* pPlane, uint32_t nStride, uint32_t nWidth, uint32_t nHeight);
    void (*pSynthesiseRows)(const int16_t* pLow, const int16_t* pHigh, int16_t* pOut,
                            uint32_t nStride, uint32_t nLength, uint32_t nRows);
    void (*pSynthesiseColumns)(int16_t* pPlane, uint32_t nStride, uint32_t nWidth,
                               uint32_t nHeight);
};

constexpr SWaveletKernels PLAIN_KERNELS = {AnalyseRowsPlain, AnalyseColumnsPlain,
                                           SynthesiseRowsPlain, SynthesiseColumnsPlain};

// Baseline vectors (SSE2 on x86-64): 4 lanes, two registers each.
constexpr uint32_t BASE_LANES = 4;
void AnalyseRowsBase(const int16_t* pIn, int16_t* pLow, int16_t* pHigh, uint32_t nStride,
                     uint32_t nLength, uint32_t nRows) {
    AnalyseRowsVector<BASE_LANES>(pIn, pLow, pHigh, nStride, nLength, nRows);
}
void AnalyseColumnsBase(int16_t* pPlane, uint32_t nStride, uint32_t nWidth, uint32_t nHeight) {
    AnalyseColumnsVector<BASE_LANES>(pPlane, nStride, nWidth, nHeight);
}
void SynthesiseRowsBase(const int16_t* pLow, const int16_t* pHigh, int16_t* pOut, uint32_t nStride,
                        uint32_t nLength, uint32_t nRows) {
    SynthesiseRowsVector<BASE_LANES>(pLow, pHigh, pOut, nStride, nLength, nRows);
}
void SynthesiseColumnsBase(int16_t* pPlane, uint32_t nStride, uint32_t nWidth, uint32_t nHeight) {
    SynthesiseColumnsVector<BASE_LANES>(pPlane, nStride, nWidth, nHeight);
}
constexpr SWaveletKernels BASE_KERNELS = {AnalyseRowsBase, AnalyseColumnsBase, SynthesiseRowsBase,
                                          SynthesiseColumnsBase};

#if defined(__x86_64__) || defined(__i386__)
#define TAVRO_WAVELET_AVX2 1
// AVX2 (no FMA: the products must stay separately rounded).
constexpr uint32_t AVX2_LANES = 4;
__attribute__((target("avx2"))) void AnalyseRowsAvx2(const int16_t* pIn, int16_t* pLow,
                                                     int16_t* pHigh, uint32_t nStride,
                                                     uint32_t nLength, uint32_t nRows) {
    AnalyseRowsVector<AVX2_LANES>(pIn, pLow, pHigh, nStride, nLength, nRows);
}
__attribute__((target("avx2"))) void AnalyseColumnsAvx2(int16_t* pPlane, uint32_t nStride,
                                                        uint32_t nWidth, uint32_t nHeight) {
    AnalyseColumnsVector<AVX2_LANES>(pPlane, nStride, nWidth, nHeight);
}
__attribute__((target("avx2"))) void SynthesiseRowsAvx2(const int16_t* pLow, const int16_t* pHigh,
                                                        int16_t* pOut, uint32_t nStride,
                                                        uint32_t nLength, uint32_t nRows) {
    SynthesiseRowsVector<AVX2_LANES>(pLow, pHigh, pOut, nStride, nLength, nRows);
}
__attribute__((target("avx2"))) void SynthesiseColumnsAvx2(int16_t* pPlane, uint32_t nStride,
                                                           uint32_t nWidth, uint32_t nHeight) {
    SynthesiseColumnsVector<AVX2_LANES>(pPlane, nStride, nWidth, nHeight);
}
constexpr SWaveletKernels AVX2_KERNELS = {AnalyseRowsAvx2, AnalyseColumnsAvx2, SynthesiseRowsAvx2,
                                          SynthesiseColumnsAvx2};
#endif

bool PathAvailable(EWaveletPath path) {
    switch (path) {
        case EWaveletPath::Plain:
        case EWaveletPath::Sse2:
            return true;
        case EWaveletPath::Avx2:
#ifdef TAVRO_WAVELET_AVX2
            return __builtin_cpu_supports("avx2");
#else
            return false;
#endif
    }
    return false;
}

const SWaveletKernels* KernelsOf(EWaveletPath path) {
#ifdef TAVRO_WAVELET_AVX2
    if (path == EWaveletPath::Avx2) {
        return &AVX2_KERNELS;
    }
#endif
    return path == EWaveletPath::Plain ? &PLAIN_KERNELS : &BASE_KERNELS;
}

// The chosen path, -1 until the first transform picks the best this CPU has.
// Read by every transform, on any thread; the tables themselves never change.
std::atomic<int> g_nPath{-1};

const SWaveletKernels& Kernels() {
    int nPath = g_nPath.load(std::memory_order_relaxed);
    if (nPath < 0) {
        int nUnset = -1;
        nPath = static_cast<int>(PathAvailable(EWaveletPath::Avx2) ? EWaveletPath::Avx2
                                                                   : EWaveletPath::Sse2);
        if (!g_nPath.compare_exchange_strong(nUnset, nPath, std::memory_order_relaxed)) {
            nPath = nUnset;  // chosen meanwhile
        }
    }
    return *KernelsOf(static_cast<EWaveletPath>(nPath));
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

bool SetWaveletPath(EWaveletPath path) {
    if (!PathAvailable(path)) {
        return false;
    }
    g_nPath.store(static_cast<int>(path), std::memory_order_relaxed);
    return true;
}

EWaveletPath GetWaveletPath() {
    Kernels();
    return static_cast<EWaveletPath>(g_nPath.load(std::memory_order_relaxed));
}

bool AnalyseLine(uint32_t nLength, const int16_t* pIn, int16_t* pLow, int16_t* pHigh) {
    if (!LineLengthOk(nLength)) {
        return false;
    }
    Kernels().pAnalyseRows(pIn, pLow, pHigh, 0, nLength, 1);
    return true;
}

bool SynthesiseLine(uint32_t nLength, int16_t* pOut, const int16_t* pLow, const int16_t* pHigh) {
    if (!LineLengthOk(nLength)) {
        return false;
    }
    Kernels().pSynthesiseRows(pLow, pHigh, pOut, 0, nLength, 1);
    return true;
}

// Each line (or block of columns) is first copied out of the plane as
// doubles, so its outputs can go straight back into the plane.
bool ForwardWavelet(int16_t* pPlane, uint32_t nWidth, uint32_t nHeight, uint8_t nLevels) {
    const uint32_t stride = nWidth;
    uint32_t rw = nWidth;
    uint32_t rh = nHeight;
    if (!LevelsFit(rw, rh, nLevels)) {
        return false;
    }
    const SWaveletKernels& kernels = Kernels();
    for (uint8_t l = 0; l < nLevels; ++l) {
        kernels.pAnalyseRows(pPlane, pPlane, pPlane + rw / 2, stride, rw, rh);
        kernels.pAnalyseColumns(pPlane, stride, rw, rh);
        rw /= 2;
        rh /= 2;
    }
    return true;
}

bool InverseWavelet(int16_t* pPlane, uint32_t nWidth, uint32_t nHeight, uint8_t nLevels) {
    const uint32_t stride = nWidth;
    if (nLevels == 0 || !LevelsFit(nWidth, nHeight, nLevels)) {
        return false;
    }
    uint32_t rw = nWidth >> (nLevels - 1);
    uint32_t rh = nHeight >> (nLevels - 1);
    const SWaveletKernels& kernels = Kernels();
    for (uint8_t l = 0; l < nLevels; ++l) {
        kernels.pSynthesiseColumns(pPlane, stride, rw, rh);
        kernels.pSynthesiseRows(pPlane, pPlane + rw / 2, pPlane, stride, rw, rh);
        rw *= 2;
        rh *= 2;
    }
    return true;
}

void ForwardWaveletFrame(int16_t* pFrame) {
    ForwardWavelet(pFrame, QCIF_WIDTH, QCIF_HEIGHT, 4);
    ForwardWavelet(pFrame + QCIF_U_OFFSET, QCIF_CHROMA_WIDTH, QCIF_CHROMA_HEIGHT, 3);
    ForwardWavelet(pFrame + QCIF_V_OFFSET, QCIF_CHROMA_WIDTH, QCIF_CHROMA_HEIGHT, 3);
}

void InverseWaveletFrame(int16_t* pFrame) {
    InverseWavelet(pFrame, QCIF_WIDTH, QCIF_HEIGHT, 4);
    InverseWavelet(pFrame + QCIF_U_OFFSET, QCIF_CHROMA_WIDTH, QCIF_CHROMA_HEIGHT, 3);
    InverseWavelet(pFrame + QCIF_V_OFFSET, QCIF_CHROMA_WIDTH, QCIF_CHROMA_HEIGHT, 3);
}
