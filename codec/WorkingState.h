#pragma once
// Module-level state shared by the codec routines. There is one instance, so
// one compression or decompression runs at a time.

#include <atomic>
#include <cstdint>

class CMemFile;

// Values in a coefficient frame (38016 signed 16-bit values, 76032 bytes).
constexpr uint32_t COEF_FRAME_VALUES = 38016;

// Progress cell shared by the worker and the user-interface thread: 0..99 is the
// share of frames begun; PROGRESS_CANCEL is a cancel request. The drivers write
// it only with compare-and-exchange, so a request stored by the other thread is
// never overwritten.
constexpr int32_t PROGRESS_CANCEL = 100;
extern std::atomic<int32_t> g_nProgress;

// Three coefficient frames, allocated for the length of a run (nullptr between
// runs). Compression: entries g_bCurrent and 1 - g_bCurrent are the current and
// previous frame. Decompression: entry 1 is the accumulator, 0 the work frame.
// Entry 2 is always the scratch target of the scan and unscan.
extern int16_t* g_pCoef[3];
extern uint8_t g_bCurrent;

// Size of the plane the wavelet transform works on next; the width is also the
// row stride. 176 x 144 for Y, 88 x 72 for U and V.
extern uint8_t g_nPlaneWidth;
extern uint8_t g_nPlaneHeight;

// In-memory files of a run; each exists only while a run uses it (nullptr otherwise).
extern CMemFile* g_pCmpOut;      // compression: header, then the LZARI stream
extern CMemFile* g_pRecordsOut;  // compression: the frame records
extern CMemFile* g_pCmpIn;       // decompression: the compressed stream (attached)
extern CMemFile* g_pRecordsIn;   // decompression: the decoded record stream (attached)
