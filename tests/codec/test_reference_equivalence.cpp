// The frame-wide fast paths against the plain per-value definitions: the
// band quantiser's reciprocal division and branch-free dequantiser against
// QuantiseValue / DequantiseValue for every 16-bit value, the frame loops
// against their per-value rules, and every wavelet
// kernel set (plain, SSE2, AVX2 where the processor has it) against a direct
// modulo-indexed evaluation.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "codec/CodecRun.h"
#include "codec/FrameLoops.h"
#include "codec/Subbands.h"
#include "codec/Wavelet.h"

namespace {

constexpr double H[6] = {0.47046720778405,  1.14111691583131,  0.65036500052554,
                         -0.19093441556797, -0.12083220831036, 0.04981749973164};
constexpr double G[6] = {0.04981749973164,  0.12083220831036, -0.19093441556797,
                         -0.65036500052554, 1.14111691583131, -0.47046720778405};
constexpr double K = 0.7071067811865;

int16_t Trunc(double v) {
    return static_cast<int16_t>(static_cast<int32_t>(v));
}

void ReferenceAnalyse(const std::vector<int16_t>& x, std::vector<int16_t>& lo,
                      std::vector<int16_t>& hi) {
    const size_t n = x.size();
    for (size_t k = 0; k < n / 2; ++k) {
        double l = H[0] * x[2 * k], h = G[0] * x[2 * k];
        for (size_t t = 1; t < 6; ++t) {
            l += H[t] * x[(2 * k + t) % n];
            h += G[t] * x[(2 * k + t) % n];
        }
        lo[k] = Trunc(K * l);
        hi[k] = Trunc(K * h);
    }
}

void ReferenceSynthesise(const std::vector<int16_t>& a, const std::vector<int16_t>& d,
                         std::vector<int16_t>& out) {
    const size_t half = a.size();
    for (size_t j = 0; j < half; ++j) {
        const size_t j1 = (j + half - 1) % half, j2 = (j + half - 2) % half;
        double e = H[0] * a[j];
        e += H[2] * a[j1];
        e += H[4] * a[j2];
        e += G[0] * d[j];
        e += G[2] * d[j1];
        e += G[4] * d[j2];
        double o = H[1] * a[j];
        o += H[3] * a[j1];
        o += H[5] * a[j2];
        o += G[1] * d[j];
        o += G[3] * d[j1];
        o += G[5] * d[j2];
        out[2 * j] = Trunc(K * e);
        out[2 * j + 1] = Trunc(K * o);
    }
}

// A whole pyramid by the definition: every row, then every column, of each
// level through the direct evaluation (the inverse mirrored).
void ReferencePlane(std::vector<int16_t>& p, uint32_t w, uint32_t h, uint32_t nLevels,
                    bool bForward) {
    auto line = [&](size_t at, size_t step, uint32_t n) {
        std::vector<int16_t> x(n), a(n / 2), d(n / 2);
        for (uint32_t i = 0; i < n; ++i) {
            x[i] = p[at + i * step];
        }
        if (bForward) {
            ReferenceAnalyse(x, a, d);
            std::copy(d.begin(), d.end(), std::copy(a.begin(), a.end(), x.begin()));
        } else {
            ReferenceSynthesise({x.begin(), x.begin() + n / 2}, {x.begin() + n / 2, x.end()}, x);
        }
        for (uint32_t i = 0; i < n; ++i) {
            p[at + i * step] = x[i];
        }
    };
    const uint32_t nShift = bForward ? 0 : nLevels - 1;
    uint32_t rw = w >> nShift, rh = h >> nShift;
    for (uint32_t l = 0; l < nLevels; ++l) {
        for (uint32_t pass = 0; pass < 2; ++pass) {
            if ((pass == 0) == bForward) {
                for (uint32_t r = 0; r < rh; ++r) {
                    line(size_t{r} * w, 1, rw);
                }
            } else {
                for (uint32_t c = 0; c < rw; ++c) {
                    line(c, w, rh);
                }
            }
        }
        rw = bForward ? rw / 2 : rw * 2;
        rh = bForward ? rh / 2 : rh * 2;
    }
}

// Runs fn once under each kernel set this processor has, then restores the default.
template <typename Fn>
void ForEachWaveletPath(Fn fn) {
    const EWaveletPath def = GetWaveletPath();
    for (EWaveletPath path : {EWaveletPath::Plain, EWaveletPath::Sse2, EWaveletPath::Avx2}) {
        if (!SetWaveletPath(path)) {
            std::printf("wavelet path %d not on this processor: not checked\n", int(path));
            continue;
        }
        SCOPED_TRACE("wavelet path " + std::to_string(int(path)));
        fn();
    }
    SetWaveletPath(def);
}

}  // namespace

// Every even length the line operations accept (tails of 1..4 outputs past
// the last whole vector), with samples, wavelet-sized values and extremes
// whose sums leave the 16-bit range and must wrap.
TEST(FastPaths, LineTransformsMatchDirectEvaluation) {
    ForEachWaveletPath([] {
        std::mt19937 rng(7);
        const int32_t anRange[] = {255, 4096, 32767};
        for (uint32_t n = 6; n <= WAVELET_MAX_LINE; n += 2) {
            for (int32_t nRange : anRange) {
                std::uniform_int_distribution<int32_t> dist(-nRange, nRange);
                std::vector<int16_t> x(n), lo(n / 2), hi(n / 2), refLo(n / 2), refHi(n / 2);
                for (auto& v : x) {
                    v = static_cast<int16_t>(dist(rng));
                }
                ASSERT_TRUE(AnalyseLine(n, x.data(), lo.data(), hi.data()));
                ReferenceAnalyse(x, refLo, refHi);
                EXPECT_EQ(lo, refLo) << "analysis, length " << n << " range " << nRange;
                EXPECT_EQ(hi, refHi) << "analysis, length " << n << " range " << nRange;

                std::vector<int16_t> out(n), refOut(n);
                ASSERT_TRUE(SynthesiseLine(n, out.data(), x.data(), x.data() + n / 2));
                ReferenceSynthesise(std::vector<int16_t>(x.begin(), x.begin() + n / 2),
                                    std::vector<int16_t>(x.begin() + n / 2, x.end()), refOut);
                EXPECT_EQ(out, refOut) << "synthesis, length " << n << " range " << nRange;
            }
        }
    });
}

// Whole planes, where the column kernels work across several columns at once:
// the codec's geometries, and widths that leave columns over after the last
// whole vector (150 and 86 are not multiples of 4 or 8).
TEST(FastPaths, PlaneTransformsMatchDirectEvaluation) {
    struct {
        uint32_t w, h, nLevels;
        int32_t nRange;
    } const cases[] = {{176, 144, 4, 255},  {88, 72, 3, 255},    {176, 144, 4, 32767},
                       {150, 102, 1, 4096}, {172, 140, 2, 4096}, {44, 36, 2, 32767}};
    ForEachWaveletPath([&] {
        std::mt19937 rng(11);
        for (const auto& c : cases) {
            std::uniform_int_distribution<int32_t> dist(c.nRange == 255 ? 0 : -c.nRange, c.nRange);
            std::vector<int16_t> plane(size_t{c.w} * c.h);
            for (auto& v : plane) {
                v = static_cast<int16_t>(dist(rng));
            }
            std::vector<int16_t> ref = plane;
            ReferencePlane(ref, c.w, c.h, c.nLevels, true);
            ASSERT_TRUE(ForwardWavelet(plane.data(), c.w, c.h, static_cast<uint8_t>(c.nLevels)));
            EXPECT_EQ(plane, ref) << "forward " << c.w << "x" << c.h;
            ReferencePlane(ref, c.w, c.h, c.nLevels, false);
            ASSERT_TRUE(InverseWavelet(plane.data(), c.w, c.h, static_cast<uint8_t>(c.nLevels)));
            EXPECT_EQ(plane, ref) << "inverse " << c.w << "x" << c.h;
        }
    });
}

// All 65536 values in a band without offset (band 4) for steps with half
// steps 0, 1, odd and even, small and large, and thresholds 1..255.
TEST(FastPaths, BandQuantiserMatchesPerValueRule) {
    CCodecContext ctx;
    const CRunLease lease(ctx);
    const uint16_t anSteps[] = {1, 2, 3, 12, 16, 27, 36, 63, 100, 251, 1347, 40000, 65535};
    const uint8_t abyThresholds[] = {1, 10, 255};
    const uint32_t nStart = ctx.m_nBandStart[4], nBand = ctx.m_nBandStart[5] - nStart;
    for (uint16_t nStep : anSteps) {
        for (uint8_t t : abyThresholds) {
            ctx.m_byThreshold = t;
            for (auto& s : ctx.m_nBandStep) {
                s = nStep;
            }
            for (int32_t nFirst = -32768; nFirst < 32768; nFirst += int32_t(nBand)) {
                for (uint32_t i = 0; i < nBand; ++i) {
                    ctx.m_pCoef[0][nStart + i] = static_cast<int16_t>(nFirst + int32_t(i));
                }
                QuantiseBands(ctx);
                uint32_t nBad = 0;
                for (uint32_t i = 0; i < nBand; ++i) {
                    const int16_t x = static_cast<int16_t>(nFirst + int32_t(i));
                    nBad += ctx.m_pCoef[0][nStart + i] != QuantiseValue(x, nStep, t);
                }
                ASSERT_EQ(nBad, 0u) << "step " << nStep << " T " << int(t) << " from " << nFirst;
            }
        }
    }
}

// Every index, through bands with and without offsets, wrapping like the
// 16-bit per-value rule.
TEST(FastPaths, BandDequantiserMatchesPerValueRule) {
    CCodecContext ctx;
    const CRunLease lease(ctx);
    struct Case {
        uint32_t nBand;
        int16_t nOffset;
    } const aCases[] = {{4, 0}, {LUMA_DC_BAND, LUMA_DC_OFFSET}, {CHROMA_DC_BAND, CHROMA_DC_OFFSET}};
    for (const Case& c : aCases) {
        for (uint16_t nStep : {uint16_t(1), uint16_t(21), uint16_t(1347)}) {
            for (uint8_t t : {uint8_t(1), uint8_t(255)}) {
                ctx.m_byThreshold = t;
                ctx.m_nBandStep[c.nBand] = nStep;
                const uint32_t nStart = ctx.m_nBandStart[c.nBand];
                const uint32_t nBand = ctx.m_nBandStart[c.nBand + 1] - nStart;
                for (int32_t nFirst = -32768; nFirst < 32768; nFirst += int32_t(nBand)) {
                    for (uint32_t i = 0; i < nBand; ++i) {
                        ctx.m_pCoef[1][nStart + i] = static_cast<int16_t>(nFirst + int32_t(i));
                    }
                    DequantiseBands(ctx);
                    uint32_t nBad = 0;
                    for (uint32_t i = 0; i < nBand; ++i) {
                        const int16_t v = static_cast<int16_t>(nFirst + int32_t(i));
                        const int16_t nExpected =
                            static_cast<int16_t>(DequantiseValue(v, nStep, t) + c.nOffset);
                        nBad += ctx.m_pCoef[0][nStart + i] != nExpected;
                    }
                    ASSERT_EQ(nBad, 0u) << "band " << c.nBand << " step " << nStep;
                }
            }
        }
    }
}

// The frame loops against their per-value rules, for counts that leave 0..15
// values after the last whole vector, on random values mixed with the 16-bit
// extremes (differences that overflow 16 bits, samples far outside 0..255).
TEST(FastPaths, FrameLoopsMatchPerValueRules) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int32_t> dist(-32768, 32767);
    auto value = [&] {
        const uint32_t nPick = rng() % 8;
        return static_cast<int16_t>(nPick == 0   ? -32768
                                    : nPick == 1 ? 32767
                                    : nPick < 4  ? dist(rng) % 300
                                                 : dist(rng));
    };
    for (uint32_t n : {0u, 1u, 7u, 8u, 15u, 16u, 17u, 31u, 100u, 38016u}) {
        std::vector<int16_t> cur(n), prev(n), acc(n);
        std::vector<uint8_t> raw(n), bytes(2 * n);
        for (uint32_t k = 0; k < n; ++k) {
            cur[k] = value();
            prev[k] = value();
            acc[k] = value();
            raw[k] = static_cast<uint8_t>(rng());
        }
        std::vector<int16_t> widened(n), next = cur, added = acc, back(n);
        std::vector<uint8_t> diffs(n), clamped(n);
        WidenSamples(raw.data(), widened.data(), n);
        CodeDifferences(next.data(), prev.data(), diffs.data(), n);
        AddDifferences(added.data(), raw.data(), n);
        ClampSamples(cur.data(), clamped.data(), n);
        StoreLittleEndian16(cur.data(), bytes.data(), n);
        LoadLittleEndian16(bytes.data(), back.data(), n);
        uint32_t nBad = 0;
        for (uint32_t k = 0; k < n; ++k) {
            const int32_t d = std::clamp(int32_t(cur[k]) - prev[k], -128, 127);
            nBad += widened[k] != raw[k];
            nBad += diffs[k] != uint8_t(d) || next[k] != int16_t(prev[k] + d);
            nBad += added[k] != int16_t(acc[k] + int8_t(raw[k]));
            nBad += clamped[k] != std::clamp<int32_t>(cur[k], 0, 255);
            nBad += bytes[2 * k] != (uint16_t(cur[k]) & 0xFF) ||
                    bytes[2 * k + 1] != uint16_t(cur[k]) >> 8;
            nBad += back[k] != cur[k];
        }
        EXPECT_EQ(nBad, 0u) << "count " << n;
    }
}
