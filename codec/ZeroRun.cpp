#include "codec/ZeroRun.h"

#include <bit>
#include <cstdlib>
#include <cstring>

namespace {

// Length of the run of zeros starting at pInput[i], which is zero. Difference
// records are mostly zeros, so the run is scanned eight bytes at a time.
inline uint32_t ZeroRunLength(const uint8_t* pInput, uint32_t i, uint32_t nLength) {
    uint32_t j = i + 1;
    while (nLength - j >= 8) {
        uint64_t w;
        std::memcpy(&w, pInput + j, 8);
        if (w != 0) {
            if constexpr (std::endian::native == std::endian::little) {
                return j + std::countr_zero(w) / 8 - i;
            }
            break;
        }
        j += 8;
    }
    while (j < nLength && pInput[j] == 0) {
        ++j;
    }
    return j - i;
}

// Index of the first zero byte at or after i, or nLength; eight bytes at a
// time (a zero byte is where a borrow first reaches a byte's top bit).
inline uint32_t NextZero(const uint8_t* pInput, uint32_t i, uint32_t nLength) {
    constexpr uint64_t ONES = 0x0101010101010101ull, TOPS = 0x8080808080808080ull;
    if constexpr (std::endian::native == std::endian::little) {
        while (nLength - i >= 8) {
            uint64_t w;
            std::memcpy(&w, pInput + i, 8);
            const uint64_t zeros = (w - ONES) & ~w & TOPS;
            if (zeros != 0) {
                return i + std::countr_zero(zeros) / 8;
            }
            i += 8;
        }
    }
    while (i < nLength && pInput[i] != 0) {
        ++i;
    }
    return i;
}

// Codes the nLength bytes of pInput into pOut, which has room for
// CodedBound(nLength) bytes; returns the coded length.
uint32_t CodeRuns(const uint8_t* pInput, uint32_t nLength, uint8_t* pOut) {
    uint8_t* o = pOut;
    uint32_t i = 0;
    while (i < nLength) {
        // Nonzero bytes stand for themselves.
        const uint32_t z = NextZero(pInput, i, nLength);
        std::memcpy(o, pInput + i, z - i);
        o += z - i;
        if (z == nLength) {
            break;
        }
        const uint32_t nRun = ZeroRunLength(pInput, z, nLength);
        *o++ = 0;
        const uint32_t nFull = (nRun - 1) / 255;
        std::memset(o, 255, nFull);
        o += nFull;
        *o++ = static_cast<uint8_t>((nRun - 1) % 255);
        i = z + nRun;
    }
    return static_cast<uint32_t>(o - pOut);
}

// Longest coding of n bytes: each zero run costs at most one byte more than
// its length, and there are at most (n + 1) / 2 runs.
constexpr uint64_t CodedBound(uint64_t n) {
    return n + (n + 1) / 2;
}

}  // namespace

bool EncodeZeroRuns(CMemFile& records, const uint8_t* pInput, uint32_t nLength) {
    // The record is built whole, then appended in one write, which either
    // succeeds or leaves the file unchanged.
    const uint32_t nStart = records.GetLength();
    records.Seek(nStart);
    const uint64_t nBound = 4 + CodedBound(nLength);
    uint8_t* pRecord = nBound <= UINT32_MAX ? static_cast<uint8_t*>(std::malloc(nBound)) : nullptr;
    if (!pRecord) {
        return false;
    }
    const uint32_t nCoded = CodeRuns(pInput, nLength, pRecord + 4);
    for (int k = 0; k < 4; ++k) {
        pRecord[k] = static_cast<uint8_t>(nCoded >> (8 * k));
    }
    const bool bWritten = records.Write(pRecord, 4 + nCoded);
    std::free(pRecord);
    return bWritten;
}

ZeroRunResult DecodeZeroRuns(CMemFile& records, uint8_t* pOutput, uint32_t nCapacity,
                             uint32_t* pnDecoded) {
    const uint8_t* pIn = records.GetBuffer();
    const uint32_t nEnd = records.GetLength();
    uint32_t nPos = records.GetPosition();
    uint32_t nOut = 0;
    ZeroRunResult result = ZeroRunResult::Ok;

    if (nPos > nEnd || nEnd - nPos < 4) {
        result = ZeroRunResult::Truncated;
        nPos = nEnd;
    } else {
        const uint32_t nCoded = pIn[nPos] | pIn[nPos + 1] << 8 | pIn[nPos + 2] << 16 |
                                static_cast<uint32_t>(pIn[nPos + 3]) << 24;
        nPos += 4;
        // The record's last byte, or the file's end when the record is cut short.
        const bool bComplete = nEnd - nPos >= nCoded;
        const uint32_t nStop = bComplete ? nPos + nCoded : nEnd;
        while (nPos < nStop) {
            const uint8_t by = pIn[nPos++];
            if (nOut == nCapacity) {
                result = ZeroRunResult::Overrun;
                break;
            }
            pOutput[nOut++] = by;
            if (by != 0) {
                continue;
            }
            uint64_t nRun = 0;
            uint8_t byCount = 255;
            while (byCount == 255 && nPos < nStop) {
                byCount = pIn[nPos++];
                nRun += byCount;
            }
            if (byCount == 255) {
                // Ran into the end of the record or of the file inside the count.
                result = bComplete ? ZeroRunResult::BadContinuation : ZeroRunResult::Truncated;
                break;
            }
            if (nRun > nCapacity - nOut) {
                result = ZeroRunResult::Overrun;
                break;
            }
            std::memset(pOutput + nOut, 0, static_cast<size_t>(nRun));
            nOut += static_cast<uint32_t>(nRun);
        }
        if (result == ZeroRunResult::Ok && !bComplete) {
            result = ZeroRunResult::Truncated;
        }
    }
    records.Seek(nPos);
    if (pnDecoded) {
        *pnDecoded = nOut;
    }
    return result;
}
