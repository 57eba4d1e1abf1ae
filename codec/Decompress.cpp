// The decompression run and its per-frame decoding step. The compressed
// stream is untrusted: every length is checked before it is used.

#include <cstdlib>

#include "codec/CodecContext.h"
#include "codec/CodecRun.h"
#include "codec/FrameLoops.h"
#include "codec/RecordStream.h"
#include "codec/Subbands.h"
#include "codec/Wavelet.h"
#include "codec/ZeroRun.h"
#include "io/MemFile.h"
#include "io/QcifFormat.h"
#include "lzari/Lzari.h"

namespace {

constexpr uint32_t HEADER_BYTES = 4;

// Longest zero-run coding of n bytes: every zero run costs at most one byte
// more than its length, and there are at most n / 2 runs when n is even.
constexpr uint64_t MaxRecord(uint64_t n) {
    return 4 + n + (n + 1) / 2;
}

// Shortest zero-run coding of n bytes: all zeros, one run (a zero, n / 255
// continuation bytes and a final count).
constexpr uint64_t MinRecord(uint64_t n) {
    return 4 + 2 + (n - 1) / 255;
}

}  // namespace

CodecError CodecErrorFromLzari(LzariResult r) {
    switch (r) {
        case LzariResult::Ok:
            return CodecError::None;
        case LzariResult::NoText:
            return CodecError::NoRecordData;
        case LzariResult::TooLong:
            return CodecError::ImpossibleSize;
        case LzariResult::Truncated:
            return CodecError::Truncated;
        case LzariResult::Corrupt:
            return CodecError::Corrupt;
        case LzariResult::NoMemory:
            return CodecError::NoMemory;
        case LzariResult::Stopped:
            return CodecError::None;  // a cancel: the run says so itself
    }
    return CodecError::Corrupt;
}

uint32_t MaxRecordStreamLength(uint32_t nFrames) {
    if (nFrames == 0) {
        return 0;
    }
    const uint64_t n =
        MaxRecord(2 * COEF_FRAME_VALUES) + (nFrames - 1) * MaxRecord(COEF_FRAME_VALUES);
    return n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n);
}

uint32_t MinRecordStreamLength(uint32_t nFrames) {
    if (nFrames == 0) {
        return 0;
    }
    const uint64_t n =
        MinRecord(2 * COEF_FRAME_VALUES) + (nFrames - 1) * MinRecord(COEF_FRAME_VALUES);
    return n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n);
}

CodecError CheckStreamLength(const uint8_t* pCmp, uint32_t nCmpLength, uint32_t nFrames) {
    if (nFrames == 0 || nFrames > CODEC_MAX_FRAMES || !pCmp) {
        return CodecError::BadParameters;
    }
    if (nCmpLength < HEADER_BYTES) {
        return CodecError::Truncated;
    }
    if (nCmpLength == HEADER_BYTES) {
        return CodecError::NoRecordData;
    }
    if (nCmpLength < HEADER_BYTES + 4) {
        return CodecError::None;  // the LZARI layer reports a missing length itself
    }
    const uint32_t nStated = pCmp[4] | pCmp[5] << 8 | pCmp[6] << 16 | uint32_t(pCmp[7]) << 24;
    if (nStated != 0 &&
        (nStated < MinRecordStreamLength(nFrames) || nStated > MaxRecordStreamLength(nFrames))) {
        return CodecError::ImpossibleSize;
    }
    // Frames its code is too short to deliver: refused before they are allocated.
    if (nStated > LzariMaxTextLength(nCmpLength - HEADER_BYTES - 4)) {
        return CodecError::Truncated;
    }
    return CodecError::None;
}

bool CCodecContext::BeginRecords(ILzariCodeSource& source) {
    uint32_t nStated = 0;
    if (const LzariResult r =
            m_lzari.LzariStreamBegin(source, MaxRecordStreamLength(m_nFrames), &nStated);
        r != LzariResult::Ok) {
        return Fail(CodecErrorFromLzari(r));
    }
    if (nStated < MinRecordStreamLength(m_nFrames)) {
        return Fail(CodecError::ImpossibleSize);
    }
    // Frames its code is too short to deliver.
    if (nStated >
        LzariMaxTextLength(m_nCmpLength > HEADER_BYTES + 4 ? m_nCmpLength - HEADER_BYTES - 4 : 0)) {
        return Fail(CodecError::Truncated);
    }
    m_nRecordsLength = nStated;
    return true;
}

bool CCodecContext::DecompressRun() {
    m_nError = CodecError::None;
    m_nFrame = 0;
    m_bFirstFrameDone = false;
    m_nRecordsLength = 0;
    if (m_nFrames == 0 || m_nFrames > CODEC_MAX_FRAMES || (!m_pQcf && !m_writeFrame) ||
        (!m_pCmp && !m_pCmpSource) || m_byThreshold == 0 || m_byQuantiser == 0) {
        return Fail(CodecError::BadParameters);
    }
    if (m_pCmp) {
        if (const CodecError nError = CheckStreamLength(m_pCmp, m_nCmpLength, m_nFrames);
            nError != CodecError::None) {
            return Fail(nError);
        }
    } else if (m_nCmpLength <= HEADER_BYTES) {
        return Fail(m_nCmpLength < HEADER_BYTES ? CodecError::Truncated : CodecError::NoRecordData);
    }
    const CRunLease lease(*this);
    if (!lease.Held()) {
        return Fail(lease.Error());
    }
    // The record stream is decoded as the frames ask for it; only a window of
    // it is ever held.
    CLzariMemorySource cmpIn(m_pCmp ? m_pCmp + HEADER_BYTES : nullptr,
                             m_pCmp ? m_nCmpLength - HEADER_BYTES : 0);
    struct SEnd {
        CCodecContext& ctx;
        ~SEnd() {
            ctx.m_pRecordsIn = nullptr;
            ctx.m_nRecordsLength = 0;
            ctx.m_lzari.LzariStreamEnd();
        }
    } const end{*this};
    if (!BeginRecords(m_pCmp ? cmpIn : *m_pCmpSource)) {
        return false;
    }
    if (m_nThreads > 1) {
        const EPipelineEnd pipelined = DecompressPipelined();
        if (pipelined != EPipelineEnd::NotStarted) {
            return pipelined == EPipelineEnd::Done;
        }
    }

    CRecordStream records(
        [this](const uint8_t** pp, uint32_t* pn) { return m_lzari.LzariStreamNext(pp, pn); });
    m_pRecordsIn = &records;
    while (m_nFrame < m_nFrames) {
        if (!PublishProgress() || !DecodeFrame()) {
            return false;
        }
        ++m_nFrame;
    }
    const LzariResult r = records.Finish();
    return r == LzariResult::Ok || Fail(CodecErrorFromLzari(r));
}

bool CCodecContext::ReadNextRecord(int16_t* pAcc) {
    CMemFile record;
    if (!m_pRecordsIn->Next(m_bFirstFrameDone ? COEF_FRAME_VALUES : 2 * COEF_FRAME_VALUES,
                            record)) {
        return Fail(CodecError::NoMemory);
    }
    const bool bRead = ReadRecord(record, pAcc);
    record.Detach();
    if (!bRead) {
        m_nError = m_pRecordsIn->Settle(m_nError);
        if (const LzariResult r = m_pRecordsIn->Finish(); r != LzariResult::Ok) {
            m_nError = CodecErrorFromLzari(r);
        }
    }
    return bRead;
}

bool CCodecContext::ReadRecord(CMemFile& records, int16_t* pAcc) {
    const bool bFirst = !m_bFirstFrameDone;
    const uint32_t nExpected = bFirst ? 2 * COEF_FRAME_VALUES : COEF_FRAME_VALUES;
    if (records.GetPosition() >= records.GetLength()) {
        return Fail(CodecError::MissingFrames);
    }
    uint32_t nDecoded = 0;
    const ZeroRunResult r = DecodeZeroRuns(records, m_pFrameBytes, nExpected, &nDecoded);
    if (r == ZeroRunResult::Truncated) {
        return Fail(CodecError::MissingFrames);
    }
    if (r != ZeroRunResult::Ok || nDecoded != nExpected) {
        return Fail(CodecError::BadRecord);
    }
    if (bFirst) {
        LoadLittleEndian16(m_pFrameBytes, pAcc, COEF_FRAME_VALUES);
        m_bFirstFrameDone = true;
    } else {
        AddDifferences(pAcc, m_pFrameBytes, COEF_FRAME_VALUES);
    }
    return true;
}

bool CCodecContext::DecodeFrame() {
    if (!ReadNextRecord(m_pCoef[1])) {
        return false;
    }
    DequantiseBands(*this);
    UnscanSubbands(*this);
    int16_t* pWork = m_pCoef[0];
    InverseWaveletFrame(pWork);

    if (m_pQcf) {
        ClampSamples(pWork, m_pQcf + static_cast<size_t>(m_nFrame) * COEF_FRAME_VALUES,
                     COEF_FRAME_VALUES);
        return true;
    }
    // The record's bytes are used up: the frame goes out through them.
    ClampSamples(pWork, m_pFrameBytes, COEF_FRAME_VALUES);
    return m_writeFrame(m_nFrame, m_pFrameBytes) || Fail(CodecError::WriteFailed);
}
