#include "codec/RecordStream.h"

#include <algorithm>
#include <cstring>
#include <new>

uint32_t CRecordStream::Take(uint8_t* pDst, uint32_t nCount) {
    uint32_t nDone = 0;
    while (nDone < nCount) {
        if (m_nPiece == 0) {
            if (m_bEnded) {
                break;
            }
            const LzariResult r = m_pull(&m_pPiece, &m_nPiece);
            if (r != LzariResult::Ok || m_nPiece == 0) {
                m_bEnded = true;
                m_result = r;
                m_nPiece = 0;
                break;
            }
        }
        const uint32_t n = std::min(nCount - nDone, m_nPiece);
        std::memcpy(pDst + nDone, m_pPiece, n);
        m_pPiece += n;
        m_nPiece -= n;
        nDone += n;
    }
    return nDone;
}

bool CRecordStream::Next(uint32_t nExpected, CMemFile& record) {
    // Every coded byte of a record gives at least half a byte of its frame, and
    // a run count longer than this overruns the frame: a record is read whole
    // up to here, and what lies past it can only fail.
    const size_t nBound = 4 + 3 * size_t{nExpected};
    if (m_record.size() < nBound) {
        try {
            m_record.resize(nBound);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    uint32_t nHave = Take(m_record.data(), 4);
    m_bCut = false;
    m_nLeft = 0;
    if (nHave == 4) {
        const uint8_t* p = m_record.data();
        const uint32_t nCoded = p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
        const uint32_t nWant = static_cast<uint32_t>(std::min<size_t>(nCoded, nBound - 4));
        const uint32_t nGot = Take(m_record.data() + 4, nWant);
        nHave += nGot;
        m_bCut = nGot == nWant && nCoded > nWant;
        m_nLeft = nCoded - nWant;
    }
    record.Attach(m_record.data(), nHave, 0);
    return true;
}

CodecError CRecordStream::Settle(CodecError nError) {
    // A record cut at its bound cannot decode; the zero-run reader calls it
    // cut short only when the bound falls inside a run count of 255 bytes.
    // Whole, the count ends inside the record (the run overruns the frame),
    // the record ends inside the count, or the text ends first.
    if (!m_bCut || nError != CodecError::MissingFrames) {
        return nError;
    }
    for (; m_nLeft > 0; --m_nLeft) {
        uint8_t by = 0;
        if (Take(&by, 1) == 0) {
            return CodecError::MissingFrames;
        }
        if (by != 255) {
            return CodecError::BadRecord;
        }
    }
    return CodecError::BadRecord;
}

LzariResult CRecordStream::Finish() {
    while (!m_bEnded) {
        m_nPiece = 0;
        uint8_t by;
        Take(&by, 1);
    }
    return m_result;
}
