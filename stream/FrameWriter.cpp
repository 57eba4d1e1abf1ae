#include "stream/FrameWriter.h"

#include "io/QcifFormat.h"
#include "stream/FrameSource.h"
#include "stream/Y4m.h"

EFrameFormat FrameFormatOf(const std::string& strPath) {
    switch (ClipKindOf(strPath)) {
        case EClipKind::Raw:
            return EFrameFormat::Raw;
        case EClipKind::Y4m:
            return EFrameFormat::Y4m;
        default:
            return EFrameFormat::Unknown;
    }
}

bool CFrameWriter::Begin(CSafeFileWriter& out, EFrameFormat format, uint32_t nRateNum,
                         uint32_t nRateDen) {
    m_pOut = &out;
    m_format = format;
    m_nFrames = 0;
    if (m_format == EFrameFormat::Y4m) {
        const std::string strHeader = Y4mQcifHeader(nRateNum, nRateDen);
        return Put(strHeader.data(), strHeader.size());
    }
    return true;
}

bool CFrameWriter::Put(const void* pData, uint64_t nCount) {
    if (!m_pOut->Write(pData, nCount)) {
        m_strError = m_pOut->GetError();
        return false;
    }
    return true;
}

bool CFrameWriter::Write(const uint8_t* pFrame) {
    static constexpr char FRAME_LINE[] = "FRAME\n";
    if (m_format == EFrameFormat::Y4m && !Put(FRAME_LINE, sizeof FRAME_LINE - 1)) {
        return false;
    }
    if (!Put(pFrame, QCIF_FRAME_BYTES)) {
        return false;
    }
    ++m_nFrames;
    return true;
}
