#include "codec/FrameDecoder.h"

#include <cstdlib>

#include "codec/ZeroRun.h"
#include "io/QcifFormat.h"

CFrameDecoder::CFrameDecoder() : m_pContext(std::make_unique<CCodecContext>()) {
    m_pContext->m_bCompress = false;
    m_pContext->m_nFrames = 0;
    m_pContext->UseOwnProgressCell();
}

CFrameDecoder::~CFrameDecoder() {
    m_pLease.reset();
    m_pContext->m_pRecordsIn = nullptr;
    m_pContext->m_lzari.LzariStreamEnd();
}

CodecError CFrameDecoder::Open(const uint8_t* pCmp, uint32_t nCmpLength) {
    if (m_pLease) {
        return CodecError::Busy;  // one stream per decoder
    }
    SCmpHeader header;
    if (!pCmp || !ReadCmpHeader(pCmp, nCmpLength, header)) {
        return CodecError::Truncated;
    }
    if (header.nFrames == 0 || header.byThreshold == 0 || header.byQuantiser == 0) {
        return CodecError::BadParameters;
    }
    if (const CodecError nError = CheckStreamLength(pCmp, nCmpLength, header.nFrames);
        nError != CodecError::None) {
        return nError;
    }
    m_pMemory = std::make_unique<CLzariMemorySource>(pCmp + CMP_HEADER_BYTES,
                                                     nCmpLength - CMP_HEADER_BYTES);
    return Open(pCmp, *m_pMemory, nCmpLength);
}

CodecError CFrameDecoder::Open(const uint8_t* pHeader, ILzariCodeSource& source,
                               uint32_t nCmpLength) {
    if (m_pLease) {
        return CodecError::Busy;
    }
    SCmpHeader header;
    if (!pHeader || !ReadCmpHeader(pHeader, CMP_HEADER_BYTES, header) ||
        nCmpLength < CMP_HEADER_BYTES) {
        return CodecError::Truncated;
    }
    if (header.nFrames == 0 || header.byThreshold == 0 || header.byQuantiser == 0) {
        return CodecError::BadParameters;
    }
    if (nCmpLength == CMP_HEADER_BYTES) {
        return CodecError::NoRecordData;
    }
    CCodecContext& ctx = *m_pContext;
    ctx.m_nFrames = header.nFrames;
    ctx.m_byThreshold = header.byThreshold;
    ctx.m_byQuantiser = header.byQuantiser;
    ctx.m_nCmpLength = nCmpLength;
    ctx.m_nError = CodecError::None;
    if (!ctx.BeginRecords(source)) {
        ctx.m_lzari.LzariStreamEnd();
        return ctx.m_nError;
    }
    m_nRecordsLength = ctx.m_nRecordsLength;
    m_pLease = std::make_unique<CRunLease>(ctx);  // working buffers and band table
    if (!m_pLease->Held()) {
        return m_pLease->Error();
    }
    m_pRecords = std::make_unique<CRecordStream>(
        [&ctx](const uint8_t** pp, uint32_t* pn) { return ctx.m_lzari.LzariStreamNext(pp, pn); });
    ctx.m_pRecordsIn = m_pRecords.get();
    ctx.m_bFirstFrameDone = false;
    m_bOpen = true;
    return CodecError::None;
}

namespace {

// One walk over the records, as the frames would read them.
CodecError WalkRecords(CRecordStream& records, uint32_t nFrames) {
    std::vector<uint8_t> bytes(2 * COEF_FRAME_VALUES);
    CodecError nError = CodecError::None;
    for (uint32_t k = 0; k < nFrames && nError == CodecError::None; ++k) {
        const uint32_t nExpected = k == 0 ? 2 * COEF_FRAME_VALUES : COEF_FRAME_VALUES;
        CMemFile record;
        if (!records.Next(nExpected, record)) {
            return CodecError::NoMemory;
        }
        uint32_t nDecoded = 0;
        if (record.GetLength() == 0) {
            nError = CodecError::MissingFrames;
        } else {
            const ZeroRunResult r = DecodeZeroRuns(record, bytes.data(), nExpected, &nDecoded);
            if (r == ZeroRunResult::Truncated) {
                nError = CodecError::MissingFrames;
            } else if (r != ZeroRunResult::Ok || nDecoded != nExpected) {
                nError = CodecError::BadRecord;
            }
        }
        record.Detach();
        nError = records.Settle(nError);
    }
    const LzariResult r = records.Finish();
    return r != LzariResult::Ok ? CodecErrorFromLzari(r) : nError;
}

}  // namespace

CodecError CFrameDecoder::CheckRecords() {
    if (!m_bOpen) {
        return CodecError::BadParameters;
    }
    if (!m_pMemory) {
        m_bOpen = false;  // the walk uses the stream up
        return WalkRecords(*m_pRecords, Frames());
    }
    // A second decoding of the stream in memory, apart from the frames'.
    auto pCoder = std::make_unique<CLzariCoder>();
    CLzariMemorySource source(*m_pMemory);
    source.Rewind();
    uint32_t nLength = 0;
    const LzariResult r = pCoder->LzariStreamBegin(source, UINT32_MAX, &nLength);
    if (r != LzariResult::Ok) {
        return CodecErrorFromLzari(r);  // Open read the same length field
    }
    CRecordStream records(
        [&pCoder](const uint8_t** pp, uint32_t* pn) { return pCoder->LzariStreamNext(pp, pn); });
    return WalkRecords(records, Frames());
}

CodecError CFrameDecoder::DecodeNext(uint8_t* pFrame) {
    if (!m_bOpen || m_nDone >= Frames() || !pFrame) {
        return CodecError::BadParameters;
    }
    CCodecContext& ctx = *m_pContext;
    ctx.m_pQcf = pFrame;
    ctx.m_nFrame = 0;  // the frame goes to the start of pFrame
    bool bOk = ctx.DecodeFrame();
    ctx.m_pQcf = nullptr;
    // After the last frame, the rest of the stream must decode too.
    if (bOk && m_nDone + 1 == Frames()) {
        if (const LzariResult r = m_pRecords->Finish(); r != LzariResult::Ok) {
            ctx.m_nError = CodecErrorFromLzari(r);
            bOk = false;
        }
    }
    if (!bOk) {
        m_bOpen = false;
        return ctx.m_nError;
    }
    ++m_nDone;
    return CodecError::None;
}
