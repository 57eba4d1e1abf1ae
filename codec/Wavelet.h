#pragma once
// Six-tap Daubechies wavelet: one-dimensional line analysis and synthesis with
// periodic extension, and the multi-level two-dimensional pyramid built from
// them, in place inside a coefficient frame.
//
// Every output is truncated toward zero after each one-dimensional pass, so a
// forward transform followed by the inverse loses up to about one unit a pass.

#include <cstdint>

// Longest line the scratch arrays hold (a luma row).
constexpr uint32_t WAVELET_MAX_LINE = 176;

// Splits nLength samples (even, 6..176) of pIn into nLength/2 low-pass values
// (pLow) and nLength/2 high-pass values (pHigh). pIn is not modified.
// False, writing nothing, for a length outside that range.
bool AnalyseLine(uint32_t nLength, const int16_t* pIn, int16_t* pLow, int16_t* pHigh);

// The transpose of AnalyseLine: nLength/2 values each from pLow and pHigh give
// nLength samples in pOut. Same length rule.
bool SynthesiseLine(uint32_t nLength, int16_t* pOut, const int16_t* pLow, const int16_t* pHigh);

// Transforms the nWidth x nHeight plane starting at pPlane (nWidth is also the
// row stride) into an nLevels-level pyramid. 0 levels leaves the plane
// unchanged. False, leaving the plane unchanged, when some level would need a
// line the line operations refuse.
bool ForwardWavelet(int16_t* pPlane, uint32_t nWidth, uint32_t nHeight, uint8_t nLevels);

// Undoes ForwardWavelet with the same geometry and level count (at least 1), in place.
bool InverseWavelet(int16_t* pPlane, uint32_t nWidth, uint32_t nHeight, uint8_t nLevels);

// A whole coefficient frame: Y (176 x 144, 4 levels), then U and V (88 x 72,
// 3 levels each), in place, as the compressor and the decompressor run them.
void ForwardWaveletFrame(int16_t* pFrame);
void InverseWaveletFrame(int16_t* pFrame);

// The kernels that compute the lines: all give the same values. By default
// the first transform picks the best the CPU offers.
enum class EWaveletPath {
    Plain,  // one value at a time
    Sse2,   // the baseline vector unit (SSE2 on x86-64)
    Avx2,   // AVX2, on x86 processors that have it
};
// Uses `path` from now on, for every thread; false, changing nothing, when
// this processor or build lacks it. For tests and benchmarks.
bool SetWaveletPath(EWaveletPath path);
EWaveletPath GetWaveletPath();
