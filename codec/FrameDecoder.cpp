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
    m_records.Detach();
    std::free(m_pRecords);
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
    CCodecContext& ctx = *m_pContext;
    ctx.m_nFrames = header.nFrames;
    ctx.m_byThreshold = header.byThreshold;
    ctx.m_byQuantiser = header.byQuantiser;
    CMemFile cmpIn;
    cmpIn.Attach(const_cast<uint8_t*>(pCmp), nCmpLength, 0);  // only read
    cmpIn.Seek(CMP_HEADER_BYTES);
    const LzariResult r = ctx.m_lzari.LzariDecode(cmpIn, MaxRecordStreamLength(header.nFrames),
                                                  &m_pRecords, &m_nRecordsLength);
    cmpIn.Detach();
    if (r != LzariResult::Ok) {
        return CodecErrorFromLzari(r);
    }
    m_pLease = std::make_unique<CRunLease>(ctx);  // working buffers and band table
    if (!m_pLease->Held()) {
        return m_pLease->Error();
    }
    m_records.Attach(m_pRecords, m_nRecordsLength, 0);
    ctx.m_pRecordsIn = &m_records;
    ctx.m_bFirstFrameDone = false;
    m_bOpen = true;
    return CodecError::None;
}

CodecError CFrameDecoder::CheckRecords() const {
    if (!m_bOpen) {
        return CodecError::BadParameters;
    }
    CMemFile records;
    records.Attach(m_pRecords, m_nRecordsLength, 0);
    std::vector<uint8_t> bytes(2 * COEF_FRAME_VALUES);
    CodecError nError = CodecError::None;
    for (uint32_t k = 0; k < Frames() && nError == CodecError::None; ++k) {
        const uint32_t nExpected = k == 0 ? 2 * COEF_FRAME_VALUES : COEF_FRAME_VALUES;
        uint32_t nDecoded = 0;
        if (records.GetPosition() >= records.GetLength()) {
            nError = CodecError::MissingFrames;
            break;
        }
        const ZeroRunResult r = DecodeZeroRuns(records, bytes.data(), nExpected, &nDecoded);
        if (r == ZeroRunResult::Truncated) {
            nError = CodecError::MissingFrames;
        } else if (r != ZeroRunResult::Ok || nDecoded != nExpected) {
            nError = CodecError::BadRecord;
        }
    }
    records.Detach();
    return nError;
}

CodecError CFrameDecoder::DecodeNext(uint8_t* pFrame) {
    if (!m_bOpen || m_nDone >= Frames() || !pFrame) {
        return CodecError::BadParameters;
    }
    CCodecContext& ctx = *m_pContext;
    ctx.m_pQcf = pFrame;
    ctx.m_nFrame = 0;  // the frame goes to the start of pFrame
    const bool bOk = ctx.DecodeFrame();
    ctx.m_pQcf = nullptr;
    if (!bOk) {
        m_bOpen = false;
        return ctx.m_nError;
    }
    ++m_nDone;
    return CodecError::None;
}
