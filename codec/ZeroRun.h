#pragma once
// Zero-run coding of frame records. Quantised frames are mostly zero bytes, so
// each run of zeros is squeezed into one zero followed by a run count before
// the record stream goes to the entropy coder.
//
// Frame record: a 32-bit little-endian count L of coded bytes, then L coded
// bytes. A nonzero byte stands for itself; a zero byte is followed by the
// number R of further zeros that follow it in the input, written as R / 255
// bytes of 255 and one final byte R % 255 (0..254). The decoded length is not
// stored: the caller knows it.

#include <cstdint>

#include "io/MemFile.h"

// Appends one frame record for the nLength bytes of pInput at the end of
// `records` and leaves the file positioned after it. All or nothing: returns
// false only when the file cannot grow (or the record would not fit in 4 GiB)
// or there is no memory to build the record in, and then the file is unchanged.
bool EncodeZeroRuns(CMemFile& records, const uint8_t* pInput, uint32_t nLength);

enum class ZeroRunResult {
    Ok,
    Overrun,          // the record expands past nCapacity bytes
    Truncated,        // the file ends before the record's coded length (or its length field)
    BadContinuation,  // the record ends inside a run count: after a zero or on a 255 count byte
};

// Reads one frame record from the current position of `records` and expands it
// into pOutput. Never writes past nCapacity bytes. *pnDecoded (when given)
// receives the number of bytes written, on failure too; on Ok it is the record's
// expanded length, which may be less than nCapacity (the caller checks it
// against the size it expects). On Ok the file is left at the next record; on
// failure it is left where the fault was found.
ZeroRunResult DecodeZeroRuns(CMemFile& records, uint8_t* pOutput, uint32_t nCapacity,
                             uint32_t* pnDecoded = nullptr);
