#pragma once
// Subband scan and dead-zone quantiser. The scan reorders a transformed frame
// from pyramid layout into band order (33 subbands, coarsest first); the
// quantiser turns each band-order value into a small signed index.

#include <cstdint>

#include "codec/CodecContext.h"

// Offsets subtracted before quantising, added back after dequantising.
constexpr uint32_t LUMA_DC_BAND = 0;  // Y LL4
constexpr int16_t LUMA_DC_OFFSET = 1500;
constexpr uint32_t CHROMA_DC_BAND = 23;  // V LL3 (U LL3 has no offset)
constexpr int16_t CHROMA_DC_OFFSET = 1075;

// The 34 fixed band boundaries (band-order positions).
extern const uint16_t g_anBandBoundaries[BAND_COUNT + 1];

// trunc(pow(q, exponent of band b)); encoder and decoder both call this.
uint16_t BandStep(uint8_t byQuantiser, uint32_t nBand);

// One value with step s and threshold t (offsets not included). Values with
// |x| < s/2 + t give 0. For bands with s/2 == 0 the index is sign(x)(|x| - t),
// the limit of the general rule, so that dequantising returns x for |x| > t.
int16_t QuantiseValue(int16_t x, uint16_t nStep, uint8_t byThreshold);
int16_t DequantiseValue(int16_t v, uint16_t nStep, uint8_t byThreshold);

// Band-order position -> pyramid position (a permutation of 0..38015).
const uint16_t* ScanTable();

// Fills m_nBandStart and m_nBandStep from m_byQuantiser. A run builds its own
// table when it starts (CRunLease).
void BuildBandTable(CCodecContext& context);

// The stages on a run's coefficient slots (context.m_pCoef, set up by its lease):
// Slot m_bCurrent (pyramid) -> band order via slot 2; the two pointers are exchanged.
void ScanSubbands(CCodecContext& context);
// Quantises slot m_bCurrent in place.
void QuantiseBands(CCodecContext& context);
// Slot 1 (indices) -> slot 0 (values), both band order; slot 1 is not changed.
void DequantiseBands(CCodecContext& context);
// Slot 0 (band order) -> pyramid via slot 2; the written buffer becomes slot
// m_bCurrent and the read one slot 2.
void UnscanSubbands(CCodecContext& context);

// The same stages on any frames (38016 values each), with the band table and
// threshold of `context`; the scans need two distinct buffers.
void ScanFrame(const int16_t* pPyramid, int16_t* pBands);
void UnscanFrame(const int16_t* pBands, int16_t* pPyramid);
void QuantiseFrame(const CCodecContext& context, int16_t* pFrame);
void DequantiseFrame(const CCodecContext& context, const int16_t* pIndices, int16_t* pValues);
