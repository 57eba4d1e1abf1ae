#pragma once
// The element-wise loops of the frame coding steps, a vector of values at a
// time. Each gives exactly the per-value rule written beside it, for any count.

#include <cstdint>

// pOut[k] = pRaw[k] (samples widened to coefficients).
void WidenSamples(const uint8_t* pRaw, int16_t* pOut, uint32_t nCount);

// pBytes[2k], pBytes[2k + 1] = low and high byte of p[k] (little-endian).
void StoreLittleEndian16(const int16_t* p, uint8_t* pBytes, uint32_t nCount);
// p[k] = pBytes[2k] | pBytes[2k + 1] << 8.
void LoadLittleEndian16(const uint8_t* pBytes, int16_t* p, uint32_t nCount);

// The inter-frame difference, clamped to a signed byte against the decoder's
// copy: d = clamp(pCur[k] - pPrev[k], -128, 127); pBytes[k] = d as a byte;
// pCur[k] = pPrev[k] + d (wrapped to 16 bits), the decoder's next value.
void CodeDifferences(int16_t* pCur, const int16_t* pPrev, uint8_t* pBytes, uint32_t nCount);
// The decoder's side: pAcc[k] += (signed byte) pBytes[k], wrapped to 16 bits.
void AddDifferences(int16_t* pAcc, const uint8_t* pBytes, uint32_t nCount);

// pOut[k] = p[k] clamped to 0..255.
void ClampSamples(const int16_t* p, uint8_t* pOut, uint32_t nCount);
