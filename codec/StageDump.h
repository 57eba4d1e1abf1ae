#pragma once
// Views into the codec's intermediate stages for one frame, computed by the
// codec's own routines (ForwardWavelet, ScanSubbands, QuantiseBands, the
// zero-run records inside a real compression), so what they show is what a
// compression does. Each call works on buffers of its own, so it may run
// beside any compression or decompression.

#include <cstdint>
#include <string>
#include <vector>

#include "codec/CodecContext.h"

// The frame's wavelet pyramid: 38016 coefficients in pyramid layout (Y with 4
// levels, then U and V with 3), as the compressor holds them before the scan.
// False only when memory for the pyramid cannot be had.
bool FramePyramid(const uint8_t* pFrame, std::vector<int16_t>& pyramid);

// The frame's quantised indices in band order, as the compressor writes them
// into the first frame's record (later frames send differences of these).
// Threshold and quantiser 1..255; false for 0. Its working buffers are a run's
// (CRunLease), so running out of memory for them is fatal as in a compression.
bool FrameIndices(const uint8_t* pFrame, uint8_t byThreshold, uint8_t byQuantiser,
                  std::vector<int16_t>& indices);

// One quantiser band of a frame's indices.
struct SBandStats {
    uint32_t nBand = 0;     // 0..32
    std::string strName;    // subbands it covers, e.g. "Y HL4", "Y HH1 + U LL3"
    uint32_t nStart = 0;    // first band-order position
    uint32_t nCount = 0;    // values in the band
    uint16_t nStep = 0;     // quantiser step
    uint32_t nNonzero = 0;  // indices that are not 0
    int16_t nMin = 0;       // smallest index
    int16_t nMax = 0;       // largest index
    uint64_t nEnergy = 0;   // sum of the squared indices
};

// Statistics per quantiser band of band-order indices (38016 values) coded
// with quantiser byQuantiser.
std::vector<SBandStats> BandStatistics(const int16_t* pIndices, uint8_t byQuantiser);

// The name of quantiser band nBand (0..32); the bands follow the subbands
// except in the U plane (see the band table).
const char* BandName(uint32_t nBand);

// One frame record of a record stream.
struct SRecordSize {
    uint32_t nFrame = 0;     // 1-based
    uint32_t nExpanded = 0;  // bytes before zero-run coding (76032 first, 38016 later)
    uint32_t nNonzero = 0;   // nonzero bytes among them
    uint32_t nCoded = 0;     // bytes after zero-run coding, the 4-byte length included
};

struct SRecordStream {
    uint32_t nRecordsLength = 0;  // plain text of the LZARI layer
    uint32_t nCmpLength = 0;      // whole compressed stream, header included
    std::vector<SRecordSize> records;
};

// Decodes the LZARI layer of a compressed stream (header included, hostile
// input) and measures each of its frame records. False with *pError set when
// the stream is damaged or its records do not match the frame sizes.
bool MeasureRecords(const uint8_t* pCmp, uint32_t nCmpLength, SRecordStream& out,
                    std::string* pError);
