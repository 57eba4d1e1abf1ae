// The compression run and its per-frame coding step.

#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <utility>

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
    CMemFileSink cmpSink(cmpOut);
    ILzariSink& out = m_pCmpSink ? *m_pCmpSink : cmpSink;
    const uint64_t nStart = out.Length();
    if (!out.Append(header, sizeof header)) {
        return Fail(OutputError());
    }

    EPipelineEnd end = m_nThreads > 1 ? CompressPipelined(out) : EPipelineEnd::NotStarted;
    if (end == EPipelineEnd::NotStarted) {
        end = CompressInline(out);
    }
    if (end == EPipelineEnd::Failed) {
        return false;  // cmpOut frees the partial stream
    }
    if (end == EPipelineEnd::Cancelled) {
        if (m_pCmpSink) {
            return false;
        }
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
    m_nCmpLength = static_cast<uint32_t>(out.Length() - nStart);
    if (!m_pCmpSink) {
        m_pCmp = cmpOut.Detach();
        m_bCmpOwned = true;
    }
    return true;
}

namespace {

// A text source that makes each piece when the encoder asks for it.
class CTextMaker : public ILzariTextSource {
public:
    explicit CTextMaker(std::function<uint32_t(const uint8_t**)> fnNext)
        : m_fnNext(std::move(fnNext)) {}
    uint32_t NextPiece(const uint8_t** ppPiece) override { return m_fnNext(ppPiece); }

private:
    std::function<uint32_t(const uint8_t**)> m_fnNext;
};

}  // namespace

CCodecContext::EPipelineEnd CCodecContext::CompressInline(ILzariSink& cmpOut) {
    EPipelineEnd end = EPipelineEnd::Done;
    if (!m_pCmpSink) {
        // The output is held whole anyway: the records are made first and then
        // coded in one pass, which keeps each stage's tables in the cache.
        CMemFile recordsOut(FILE_GROWTH);
        m_pRecordsOut = &recordsOut;
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
        m_pRecordsOut = nullptr;
        if (end == EPipelineEnd::Done &&
            !m_lzari.LzariEncode(recordsOut.GetBuffer(), recordsOut.GetLength(), cmpOut)) {
            Fail(OutputError());
            end = EPipelineEnd::Failed;
        }
        return end;
    }

    // One frame's record at a time: the encoder codes it before the next is made.
    std::unique_ptr<CMemFile> pRecord;
    CTextMaker text([&](const uint8_t** ppPiece) -> uint32_t {
        pRecord.reset();
        m_pRecordsOut = nullptr;
        if (end != EPipelineEnd::Done || m_nFrame >= m_nFrames) {
            return 0;
        }
        if (!PublishProgress()) {
            end = EPipelineEnd::Cancelled;
            return 0;
        }
        pRecord.reset(new (std::nothrow) CMemFile(FILE_GROWTH));
        m_pRecordsOut = pRecord.get();
        if (!pRecord || !CodeFrame()) {
            if (!pRecord) {
                Fail(CodecError::NoMemory);
            }
            end = EPipelineEnd::Failed;
            return 0;
        }
        m_bCurrent = static_cast<uint8_t>(1 - m_bCurrent);
        ++m_nFrame;
        *ppPiece = pRecord->GetBuffer();
        return pRecord->GetLength();
    });
    const bool bCoded = m_lzari.LzariEncodeStream(text, cmpOut);
    pRecord.reset();
    m_pRecordsOut = nullptr;
    if (end == EPipelineEnd::Done && !bCoded) {
        Fail(OutputError());
        end = EPipelineEnd::Failed;
    }
    return end;
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
