// The compression run and its per-frame coding step.

#include <cstdlib>

#include "codec/CodecContext.h"
#include "codec/CodecRun.h"
#include "codec/FrameLoops.h"
#include "codec/Subbands.h"
#include "codec/Wavelet.h"
#include "codec/ZeroRun.h"
#include "io/MemFile.h"
#include "io/QcifFormat.h"

namespace {

constexpr uint32_t FILE_GROWTH = 64 * 1024;

}  // namespace

bool CCodecContext::CompressRun() {
    if (m_bCmpOwned) {
        std::free(m_pCmp);
    }
    m_pCmp = nullptr;
    m_nCmpLength = 0;
    m_bCmpOwned = false;
    m_nError = CodecError::None;
    m_nFrame = 0;
    m_bFirstFrameDone = false;
    if (m_nFrames == 0 || m_nFrames > CODEC_MAX_FRAMES || !m_pQcf || m_byThreshold == 0 ||
        m_byQuantiser == 0) {
        return Fail(CodecError::BadParameters);
    }

    const CRunLease lease(*this);
    if (!lease.Held()) {
        return Fail(lease.Error());
    }
    CMemFile cmpOut(FILE_GROWTH);
    CMemFile recordsOut(FILE_GROWTH);
    uint8_t header[CMP_HEADER_BYTES];
    WriteCmpHeader({m_nFrames, m_byThreshold, m_byQuantiser}, header);
    if (!cmpOut.Write(header, sizeof header)) {
        return Fail(CodecError::NoMemory);
    }
    m_pRecordsOut = &recordsOut;

    bool bCancelled = false;
    bool bFailed = false;
    while (m_nFrame < m_nFrames) {
        if (!PublishProgress()) {
            bCancelled = true;
            break;
        }
        if (!CodeFrame()) {
            bFailed = true;
            break;
        }
        m_bCurrent = static_cast<uint8_t>(1 - m_bCurrent);
        ++m_nFrame;
    }

    m_nRecordsLength = recordsOut.GetLength();
    m_pRecords = recordsOut.Detach();
    m_pRecordsOut = nullptr;
    if (!bCancelled && !bFailed && !m_lzari.LzariEncode(m_pRecords, m_nRecordsLength, cmpOut)) {
        m_nError = CodecError::NoMemory;
        bFailed = true;
    }
    std::free(m_pRecords);
    m_pRecords = nullptr;
    if (bFailed) {
        return false;  // cmpOut frees the partial stream
    }
    // A cancelled run hands over the header alone; the caller discards it.
    m_nCmpLength = cmpOut.GetLength();
    m_pCmp = cmpOut.Detach();
    m_bCmpOwned = true;
    return !bCancelled;
}

bool CCodecContext::CodeFrame() {
    const uint8_t* pRaw = m_pQcf + static_cast<size_t>(m_nFrame) * COEF_FRAME_VALUES;
    int16_t* pCur = m_pCoef[m_bCurrent];
    WidenSamples(pRaw, pCur, COEF_FRAME_VALUES);
    ForwardWaveletFrame(pCur);
    ScanSubbands(*this);
    QuantiseBands(*this);
    pCur = m_pCoef[m_bCurrent];

    uint8_t* pBytes = m_pFrameBytes;
    if (!m_bFirstFrameDone) {
        StoreLittleEndian16(pCur, pBytes, COEF_FRAME_VALUES);
        if (!EncodeZeroRuns(*m_pRecordsOut, pBytes, 2 * COEF_FRAME_VALUES)) {
            return Fail(CodecError::NoMemory);
        }
        m_bFirstFrameDone = true;
        return true;
    }

    // The previous slot holds what the decoder will hold after the previous
    // frame. A difference that does not fit a signed byte is sent clamped and
    // the rest follows in the next frames, so the decoder catches up instead of
    // staying off by a multiple of 256. The current slot keeps the decoder's
    // value, which is the reference for the next frame.
    CodeDifferences(pCur, m_pCoef[1 - m_bCurrent], pBytes, COEF_FRAME_VALUES);
    if (!EncodeZeroRuns(*m_pRecordsOut, pBytes, COEF_FRAME_VALUES)) {
        return Fail(CodecError::NoMemory);
    }
    return true;
}
