#pragma once
// The progress cell: the one value a codec run shares with the thread that
// watches it. 0..99 is the share of frames begun; PROGRESS_CANCEL is a cancel
// request. A run writes its cell only with compare-and-exchange against the
// value it has just read, so a request stored by the other thread is never
// overwritten.
//
// g_nProgress is the cell the processing dialog watches and every context
// points at unless it is given another. One run at a time may use a cell: a
// run claims its cell for its length (CRunLease), and a second claim of a cell
// in use fails with CodecError::Busy instead of mixing two runs' progress.

#include <atomic>
#include <cstdint>

constexpr int32_t PROGRESS_CANCEL = 100;
extern std::atomic<int32_t> g_nProgress;

using CProgressCell = std::atomic<int32_t>;

// Claims pCell for one run; false when another run holds it.
bool ClaimProgressCell(const CProgressCell* pCell);
void ReleaseProgressCell(const CProgressCell* pCell);
// Stores 0 into pCell unless a run holds it (a new run must start from 0, but
// never by wiping a running run's cancel request). False when it was held.
bool ResetProgressCell(CProgressCell* pCell);
