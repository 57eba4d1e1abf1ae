#include "codec/ZeroRun.h"

#include <bit>
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

}  // namespace

bool EncodeZeroRuns(CMemFile& records, const uint8_t* pInput, uint32_t nLength) {
    // First pass: the coded length, so that it can precede the coded bytes.
    uint64_t nCoded = 0;
    for (uint32_t i = 0; i < nLength;) {
        if (pInput[i] != 0) {
            ++nCoded;
            ++i;
        } else {
            uint32_t nRun = ZeroRunLength(pInput, i, nLength);
            nCoded += 2 + (nRun - 1) / 255;
            i += nRun;
        }
    }
    const uint32_t nStart = records.GetLength();
    if (nCoded > UINT32_MAX - 4 || nStart > UINT32_MAX - 4 - nCoded) {
        return false;
    }
    // Grow the file to its final size first so that a failure leaves it untouched.
    records.Seek(static_cast<uint32_t>(nStart + 4 + nCoded - 1));
    if (!records.WriteByte(0)) {
        records.Seek(nStart);
        return false;
    }
    records.Seek(nStart);

    uint8_t abyChunk[4096];
    uint32_t nChunk = 0;
    auto put = [&](uint8_t by) {
        abyChunk[nChunk++] = by;
        if (nChunk == sizeof(abyChunk)) {
            records.Write(abyChunk, nChunk);  // within the size reserved above
            nChunk = 0;
        }
    };
    const uint32_t nCoded32 = static_cast<uint32_t>(nCoded);
    for (int k = 0; k < 4; ++k) {
        put(static_cast<uint8_t>(nCoded32 >> (8 * k)));
    }
    // Second pass: the coded bytes.
    for (uint32_t i = 0; i < nLength;) {
        if (pInput[i] != 0) {
            put(pInput[i]);
            ++i;
            continue;
        }
        uint32_t nRun = ZeroRunLength(pInput, i, nLength);
        i += nRun;
        put(0);
        uint32_t nCount = nRun - 1;
        for (; nCount >= 255; nCount -= 255) {
            put(255);
        }
        put(static_cast<uint8_t>(nCount));
    }
    records.Write(abyChunk, nChunk);
    return true;
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
