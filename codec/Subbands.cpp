#include "codec/Subbands.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

const uint16_t g_anBandBoundaries[BAND_COUNT + 1] = {
    0,     99,    198,   297,   396,   792,   1188,  1584,  3168,  4752,  6336,  12672,
    19008, 25443, 25542, 25641, 25740, 25839, 26136, 26532, 26928, 28512, 30096, 31680,
    31779, 31878, 31977, 32076, 32472, 32868, 33264, 34848, 36432, 38016};

namespace {

constexpr double BAND_EXPONENT[BAND_COUNT] = {
    1.0, 0.9, 0.9, 0.9, 1.0, 1.0, 1.0, 1.2, 1.2, 1.2, 1.3, 1.3, 1.3, 1.0, 0.9, 0.9, 0.9,
    1.0, 1.0, 1.0, 1.1, 1.1, 1.1, 1.0, 0.9, 0.9, 0.9, 1.0, 1.0, 1.0, 1.1, 1.1, 1.1};

int16_t BandOffset(uint32_t b) {
    return b == LUMA_DC_BAND ? LUMA_DC_OFFSET : b == CHROMA_DC_BAND ? CHROMA_DC_OFFSET : 0;
}

// End of band b, never past the frame whatever the table holds.
uint32_t BandEnd(const CCodecContext& context, uint32_t b) {
    const uint32_t end = context.m_nBandStart[b + 1];
    return end < COEF_FRAME_VALUES ? end : COEF_FRAME_VALUES;
}

// How the values of one subband are visited.
enum class Order { Rows, Columns };

struct CScanBuilder {
    uint16_t table[COEF_FRAME_VALUES];
    uint32_t next = 0;

    // Appends the w x h rectangle at (x0, y0) of a plane (row stride = width)
    // starting at planeStart, cut into blocks of bw x bh, each visited in order.
    void Rect(uint32_t planeStart, uint32_t stride, uint32_t x0, uint32_t y0, uint32_t w,
              uint32_t h, uint32_t bw, uint32_t bh, Order order) {
        for (uint32_t by = 0; by < h; by += bh) {
            for (uint32_t bx = 0; bx < w; bx += bw) {
                if (order == Order::Rows) {
                    for (uint32_t y = 0; y < bh; ++y) {
                        for (uint32_t x = 0; x < bw; ++x) {
                            Put(planeStart, stride, x0 + bx + x, y0 + by + y);
                        }
                    }
                } else {
                    for (uint32_t x = 0; x < bw; ++x) {
                        for (uint32_t y = 0; y < bh; ++y) {
                            Put(planeStart, stride, x0 + bx + x, y0 + by + y);
                        }
                    }
                }
            }
        }
    }
    void Put(uint32_t planeStart, uint32_t stride, uint32_t x, uint32_t y) {
        table[next++] = static_cast<uint16_t>(planeStart + y * stride + x);
    }

    // A plane of nLevels levels, coarsest LL/HL/LH/HH first, then HL, LH, HH of
    // each finer level. The 11 x 9 bands are read row by row; 22 x 18 HL column
    // by column; larger bands in 9 x 11 blocks (4 x 4 or 8 x 8).
    void Plane(uint32_t start, uint32_t width, uint32_t height, uint32_t nLevels) {
        uint32_t w = width >> nLevels;  // subband size at the coarsest level
        uint32_t h = height >> nLevels;
        Rect(start, width, 0, 0, w, h, w, h, Order::Rows);
        for (uint32_t l = nLevels; l >= 1; --l) {
            w = width >> l;
            h = height >> l;
            uint32_t bw = w, bh = h;  // one block: the whole subband
            Order hlOrder = Order::Rows;
            if (w == 22) {
                hlOrder = Order::Columns;
            } else if (w > 22) {
                bw = w / 11;
                bh = h / 9;
                hlOrder = Order::Columns;
            }
            Rect(start, width, w, 0, w, h, bw, bh, hlOrder);      // HL
            Rect(start, width, 0, h, w, h, bw, bh, Order::Rows);  // LH
            Rect(start, width, w, h, w, h, bw, bh, Order::Rows);  // HH
        }
    }

    CScanBuilder() {
        Plane(0, 176, 144, 4);
        Plane(25344, 88, 72, 3);
        Plane(31680, 88, 72, 3);
    }
};

}  // namespace

uint16_t BandStep(uint8_t byQuantiser, uint32_t nBand) {
    return static_cast<uint16_t>(
        static_cast<uint32_t>(std::pow(static_cast<double>(byQuantiser), BAND_EXPONENT[nBand])));
}

int16_t QuantiseValue(int16_t x, uint16_t nStep, uint8_t byThreshold) {
    const int32_t half = nStep / 2;
    const int32_t t = byThreshold;
    const int32_t ax = std::abs(static_cast<int32_t>(x));
    if (ax < half + t) {
        return 0;
    }
    if (half == 0) {
        // Step 1 (or 0): the general rule's limit, index = sign(x)(|x| - t).
        const int32_t r = ax - t;
        return static_cast<int16_t>(x > 0 ? r : -r);
    }
    int32_t r = x > 0 ? (x - t) / half : (x + t) / half;
    r = static_cast<int16_t>(r);
    if (r % 2 != 0) {
        r += r > 0 ? 1 : -1;
    }
    return static_cast<int16_t>(r / 2);
}

int16_t DequantiseValue(int16_t v, uint16_t nStep, uint8_t byThreshold) {
    if (v == 0) {
        return 0;
    }
    const int32_t base = static_cast<int32_t>(v) * nStep;
    return static_cast<int16_t>(v > 0 ? base + byThreshold : base - byThreshold);
}

const uint16_t* ScanTable() {
    static const CScanBuilder builder;  // thread-safe one-time construction
    return builder.table;
}

void BuildBandTable(CCodecContext& context) {
    for (uint32_t b = 0; b <= BAND_COUNT; ++b) {
        context.m_nBandStart[b] = g_anBandBoundaries[b];
    }
    for (uint32_t b = 0; b < BAND_COUNT; ++b) {
        context.m_nBandStep[b] = BandStep(context.m_byQuantiser, b);
    }
}

void ScanFrame(const int16_t* pPyramid, int16_t* pBands) {
    const uint16_t* scan = ScanTable();
    for (uint32_t i = 0; i < COEF_FRAME_VALUES; ++i) {
        pBands[i] = pPyramid[scan[i]];
    }
}

void UnscanFrame(const int16_t* pBands, int16_t* pPyramid) {
    const uint16_t* scan = ScanTable();
    for (uint32_t i = 0; i < COEF_FRAME_VALUES; ++i) {
        pPyramid[scan[i]] = pBands[i];
    }
}

void ScanSubbands(CCodecContext& context) {
    int16_t** slots = context.m_pCoef;
    ScanFrame(slots[context.m_bCurrent], slots[2]);
    std::swap(slots[context.m_bCurrent], slots[2]);
}

void UnscanSubbands(CCodecContext& context) {
    int16_t** slots = context.m_pCoef;
    int16_t* src = slots[0];
    int16_t* dst = slots[2];
    UnscanFrame(src, dst);
    slots[context.m_bCurrent] = dst;
    slots[2] = src;
}

namespace {

// Exact quotient n / d for 0 <= n < 2^15 and 1 <= d < 2^15 in 16-bit lanes.
// A power of two 2^s is a shift. Otherwise, with s = (bit length of d) - 1,
// m = ceil(2^(16+s) / d) < 2^16 and n / d = (n m / 2^16) / 2^s rounded down:
// the error m d - 2^(16+s) is below d < 2^(s+1), so n (m d - 2^(16+s)) <
// 2^(16+s) keeps n m / 2^(16+s) below the next integer.
struct SDivider {
    explicit SDivider(uint32_t d)
        : nShift(31 - static_cast<uint32_t>(__builtin_clz(d))),
          bPowerOfTwo((d & (d - 1)) == 0),
          nMul(bPowerOfTwo ? 0
                           : static_cast<uint32_t>(((uint64_t{1} << (16 + nShift)) + d - 1) / d)) {}
    uint32_t Divide(uint32_t n) const {
        return bPowerOfTwo ? n >> nShift : ((n * nMul) >> 16) >> nShift;
    }
    uint32_t nShift;
    bool bPowerOfTwo;
    uint32_t nMul;
};

}  // namespace

void QuantiseBands(CCodecContext& context) {
    QuantiseFrame(context, context.m_pCoef[context.m_bCurrent]);
}

// Same results as QuantiseValue for every value: outside the dead zone the
// index magnitude is ceil(q / 2) with q = (|x| - t) / half.
void QuantiseFrame(const CCodecContext& context, int16_t* frame) {
    const int32_t t = context.m_byThreshold;
    for (uint32_t b = 0; b < BAND_COUNT; ++b) {
        const int32_t half = context.m_nBandStep[b] / 2;
        const int16_t offset = BandOffset(b);
        const int32_t nDeadZone = half + t;
        const uint32_t nEnd = BandEnd(context, b);
        uint32_t p = context.m_nBandStart[b];
        if (half == 0) {
            for (; p < nEnd; ++p) {
                frame[p] = QuantiseValue(static_cast<int16_t>(frame[p] - offset), 1, uint8_t(t));
            }
            continue;
        }
        // |x| - t < 2^15 for every value outside the dead zone.
        const SDivider divider(static_cast<uint32_t>(half));
#if defined(__SSE2__)
        // Eight values a time in 16-bit lanes (|x| up to 32768 and the dead
        // zone up to 33022 compared unsigned).
        const __m128i vOffset = _mm_set1_epi16(offset);
        const __m128i vT = _mm_set1_epi16(static_cast<int16_t>(t));
        const __m128i vDeadZone = _mm_set1_epi16(static_cast<int16_t>(nDeadZone));
        const __m128i vMul = _mm_set1_epi16(static_cast<int16_t>(divider.nMul));
        const __m128i vShift = _mm_cvtsi32_si128(static_cast<int>(divider.nShift));
        const __m128i vOne = _mm_set1_epi16(1);
        const __m128i zero = _mm_setzero_si128();
        for (; p + 8 <= nEnd; p += 8) {
            __m128i* pAt = reinterpret_cast<__m128i*>(frame + p);
            const __m128i x = _mm_sub_epi16(_mm_loadu_si128(pAt), vOffset);
            const __m128i sign = _mm_srai_epi16(x, 15);
            const __m128i ax = _mm_sub_epi16(_mm_xor_si128(x, sign), sign);
            const __m128i keep = _mm_cmpeq_epi16(_mm_subs_epu16(vDeadZone, ax), zero);
            const __m128i n = _mm_sub_epi16(ax, vT);
            const __m128i q =
                _mm_srl_epi16(divider.bPowerOfTwo ? n : _mm_mulhi_epu16(n, vMul), vShift);
            const __m128i r = _mm_srli_epi16(_mm_add_epi16(q, vOne), 1);
            const __m128i index = _mm_sub_epi16(_mm_xor_si128(r, sign), sign);
            _mm_storeu_si128(pAt, _mm_and_si128(index, keep));
        }
#endif
        for (; p < nEnd; ++p) {
            const int32_t x = static_cast<int16_t>(frame[p] - offset);
            const int32_t ax = x < 0 ? -x : x;
            int32_t r = 0;
            if (ax >= nDeadZone) {
                const int32_t q = static_cast<int32_t>(divider.Divide(uint32_t(ax - t)));
                r = (q + 1) >> 1;
                r = x < 0 ? -r : r;
            }
            frame[p] = static_cast<int16_t>(r);
        }
    }
}

void DequantiseBands(CCodecContext& context) {
    DequantiseFrame(context, context.m_pCoef[1], context.m_pCoef[0]);
}

// v s + sign(v) t + offset, wrapped to 16 bits once (0 stays 0 + offset). The
// 16-bit lanes wrap the products and sums alike.
void DequantiseFrame(const CCodecContext& context, const int16_t* src, int16_t* dst) {
    const int32_t t = context.m_byThreshold;
    for (uint32_t b = 0; b < BAND_COUNT; ++b) {
        const int32_t step = context.m_nBandStep[b];
        const int32_t offset = BandOffset(b);
        const uint32_t nEnd = BandEnd(context, b);
        uint32_t p = context.m_nBandStart[b];
#if defined(__SSE2__)
        const __m128i vStep = _mm_set1_epi16(static_cast<int16_t>(step));
        const __m128i vT = _mm_set1_epi16(static_cast<int16_t>(t));
        const __m128i vOffset = _mm_set1_epi16(static_cast<int16_t>(offset));
        const __m128i zero = _mm_setzero_si128();
        for (; p + 8 <= nEnd; p += 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + p));
            const __m128i plus = _mm_and_si128(_mm_cmpgt_epi16(v, zero), vT);
            const __m128i minus = _mm_and_si128(_mm_cmplt_epi16(v, zero), vT);
            const __m128i out = _mm_add_epi16(
                _mm_sub_epi16(_mm_add_epi16(_mm_mullo_epi16(v, vStep), plus), minus), vOffset);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + p), out);
        }
#endif
        for (; p < nEnd; ++p) {
            const int32_t v = src[p];
            const int32_t nSign = (v > 0) - (v < 0);
            dst[p] = static_cast<int16_t>(v * step + nSign * t + offset);
        }
    }
}
