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
    if (m_nFrames == 0 || m_nFrames > CODEC_MAX_FRAMES || (!m_pQcf && !m_readFrame) ||
        m_byThreshold == 0 || m_byQuantiser == 0) {
        return Fail(CodecError::BadParameters);
    }

    const CRunLease lease(*this);
    if (!lease.Held()) {
        return Fail(lease.Error());
    }
    uint8_t header[CMP_HEADER_BYTES];
    WriteCmpHeader({m_nFrames, m_byThreshold, m_byQuantiser}, header);
    CMemFile cmpOut(FILE_GROWTH);
    if (!cmpOut.Write(header, sizeof header)) {
        return Fail(CodecError::NoMemory);
    }

    EPipelineEnd end = m_nThreads > 1 ? CompressPipelined(cmpOut) : EPipelineEnd::NotStarted;
    if (end == EPipelineEnd::NotStarted) {
        CMemFile recordsOut(FILE_GROWTH);
        m_pRecordsOut = &recordsOut;
        end = EPipelineEnd::Done;
        while (m_nFrame < m_nFrames) {
            if (!PublishProgress()) {
                end = EPipelineEnd::Cancelled;
                break;
            }
            if (!CodeFrame()) {
                end = EPipelineEnd::Failed;
                break;
            }
            m_bCurrent = static_cast<uint8_t>(1 - m_bCurrent);
            ++m_nFrame;
        }
        m_nRecordsLength = recordsOut.GetLength();
        m_pRecords = recordsOut.Detach();
        m_pRecordsOut = nullptr;
        if (end == EPipelineEnd::Done &&
            !m_lzari.LzariEncode(m_pRecords, m_nRecordsLength, cmpOut)) {
            m_nError = CodecError::NoMemory;
            end = EPipelineEnd::Failed;
        }
        std::free(m_pRecords);
        m_pRecords = nullptr;
    }
    if (end == EPipelineEnd::Failed) {
        return false;  // cmpOut frees the partial stream
    }
    if (end == EPipelineEnd::Cancelled) {
        // A cancelled run hands over the header alone; the caller discards it.
        CMemFile headerOnly;
        if (!headerOnly.Write(header, sizeof header)) {
            return Fail(CodecError::NoMemory);
        }
        m_nCmpLength = headerOnly.GetLength();
        m_pCmp = headerOnly.Detach();
        m_bCmpOwned = true;
        return false;
    }
    m_nCmpLength = cmpOut.GetLength();
    m_pCmp = cmpOut.Detach();
    m_bCmpOwned = true;
    return true;
}

bool CCodecContext::CodeFrame() {
    const uint8_t* pRaw;
    if (m_pQcf) {
        pRaw = m_pQcf + static_cast<size_t>(m_nFrame) * COEF_FRAME_VALUES;
    } else {
        // The record bytes are made only after the frame has been widened.
        if (!m_readFrame(m_nFrame, m_pFrameBytes)) {
            return Fail(CodecError::ReadFailed);
        }
        pRaw = m_pFrameBytes;
    }
    int16_t* pCur = m_pCoef[m_bCurrent];
    WidenSamples(pRaw, pCur, COEF_FRAME_VALUES);
    ForwardWaveletFrame(pCur);
    ScanSubbands(*this);
    QuantiseBands(*this);
    return WriteRecord(m_pCoef[m_bCurrent], m_pCoef[1 - m_bCurrent], *m_pRecordsOut);
}

bool CCodecContext::WriteRecord(int16_t* pCur, const int16_t* pPrev, CMemFile& records) {
    uint8_t* pBytes = m_pFrameBytes;
    if (!m_bFirstFrameDone) {
        StoreLittleEndian16(pCur, pBytes, COEF_FRAME_VALUES);
        if (!EncodeZeroRuns(records, pBytes, 2 * COEF_FRAME_VALUES)) {
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
    CodeDifferences(pCur, pPrev, pBytes, COEF_FRAME_VALUES);
    if (!EncodeZeroRuns(records, pBytes, COEF_FRAME_VALUES)) {
        return Fail(CodecError::NoMemory);
    }
    return true;
}
