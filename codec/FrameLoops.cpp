#include "codec/FrameLoops.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Eight or sixteen values a time with SSE2 (the x86-64 baseline), the rest,
// and everything elsewhere, one by one. The 16-bit lanes wrap like the
// per-value rules; saturating steps are used only where the rule clamps.

namespace {

#if defined(__SSE2__)
inline __m128i Load128(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void Store128(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}
#endif

}  // namespace

void WidenSamples(const uint8_t* pRaw, int16_t* pOut, uint32_t nCount) {
    uint32_t k = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; k + 16 <= nCount; k += 16) {
        const __m128i b = Load128(pRaw + k);
        Store128(pOut + k, _mm_unpacklo_epi8(b, zero));
        Store128(pOut + k + 8, _mm_unpackhi_epi8(b, zero));
    }
#endif
    for (; k < nCount; ++k) {
        pOut[k] = pRaw[k];
    }
}

void StoreLittleEndian16(const int16_t* p, uint8_t* pBytes, uint32_t nCount) {
    if constexpr (std::endian::native == std::endian::little) {
        if (nCount != 0) {
            std::memcpy(pBytes, p, 2 * size_t{nCount});
        }
    } else {
        for (uint32_t k = 0; k < nCount; ++k) {
            const uint16_t v = static_cast<uint16_t>(p[k]);
            pBytes[2 * k] = static_cast<uint8_t>(v & 0xFF);
            pBytes[2 * k + 1] = static_cast<uint8_t>(v >> 8);
        }
    }
}

void LoadLittleEndian16(const uint8_t* pBytes, int16_t* p, uint32_t nCount) {
    if constexpr (std::endian::native == std::endian::little) {
        if (nCount != 0) {
            std::memcpy(p, pBytes, 2 * size_t{nCount});
        }
    } else {
        for (uint32_t k = 0; k < nCount; ++k) {
            p[k] = static_cast<int16_t>(pBytes[2 * k] | (pBytes[2 * k + 1] << 8));
        }
    }
}

void CodeDifferences(int16_t* pCur, const int16_t* pPrev, uint8_t* pBytes, uint32_t nCount) {
    uint32_t k = 0;
#if defined(__SSE2__)
    // A saturated difference clamps to the same byte as the exact one.
    const __m128i lo = _mm_set1_epi16(-128), hi = _mm_set1_epi16(127);
    for (; k + 8 <= nCount; k += 8) {
        const __m128i prev = Load128(pPrev + k);
        const __m128i d =
            _mm_max_epi16(_mm_min_epi16(_mm_subs_epi16(Load128(pCur + k), prev), hi), lo);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(pBytes + k), _mm_packs_epi16(d, d));
        Store128(pCur + k, _mm_add_epi16(prev, d));
    }
#endif
    for (; k < nCount; ++k) {
        int32_t d = int32_t(pCur[k]) - int32_t(pPrev[k]);
        d = d < -128 ? -128 : d > 127 ? 127 : d;
        pBytes[k] = static_cast<uint8_t>(d & 0xFF);
        pCur[k] = static_cast<int16_t>(pPrev[k] + d);
    }
}

void AddDifferences(int16_t* pAcc, const uint8_t* pBytes, uint32_t nCount) {
    uint32_t k = 0;
#if defined(__SSE2__)
    for (; k + 16 <= nCount; k += 16) {
        const __m128i b = Load128(pBytes + k);
        // Each byte into the high half of a lane, then shifted down with its sign.
        const __m128i d0 = _mm_srai_epi16(_mm_unpacklo_epi8(b, b), 8);
        const __m128i d1 = _mm_srai_epi16(_mm_unpackhi_epi8(b, b), 8);
        Store128(pAcc + k, _mm_add_epi16(Load128(pAcc + k), d0));
        Store128(pAcc + k + 8, _mm_add_epi16(Load128(pAcc + k + 8), d1));
    }
#endif
    for (; k < nCount; ++k) {
        pAcc[k] = static_cast<int16_t>(pAcc[k] + static_cast<int8_t>(pBytes[k]));
    }
}

void ClampSamples(const int16_t* p, uint8_t* pOut, uint32_t nCount) {
    uint32_t k = 0;
#if defined(__SSE2__)
    for (; k + 16 <= nCount; k += 16) {
        Store128(pOut + k, _mm_packus_epi16(Load128(p + k), Load128(p + k + 8)));
    }
#endif
    for (; k < nCount; ++k) {
        pOut[k] = p[k] < 0 ? 0 : p[k] > 255 ? 255 : static_cast<uint8_t>(p[k]);
    }
}
