#include "document/ClipImport.h"

#include <algorithm>
#include <cstdlib>

#include "codec/CodecContext.h"
#include "document/TavroDoc.h"
#include "io/Fail.h"
#include "io/File.h"
#include "io/QcifFormat.h"
#include "stream/FrameSource.h"
#include "stream/VideoSource.h"

CClipImport::CClipImport() = default;

CClipImport::~CClipImport() {
    std::free(m_pFrames);
}

bool CClipImport::Open(const std::string& strPath, std::string* pError) {
    if (ClipKindOf(strPath) == EClipKind::Compressed) {
        return Fail(pError, "\"" + FileNameOf(strPath) +
                                "\" is a compressed stream: open it with File > Open.");
    }
    std::string strWhy;
    m_pSource = OpenFrameSource(strPath, &strWhy);
    if (!m_pSource) {
        return Fail(pError, strWhy);
    }
    m_strPath = strPath;
    m_nExpected = m_pSource->FramesLeftHint();
    SVideoInfo info;
    if (m_nExpected == 0 && ClipKindOf(strPath) == EClipKind::Video &&
        ProbeVideo(strPath, info, nullptr)) {
        m_nExpected = info.nFrames ? info.nFrames
                                   : uint64_t(info.dSeconds * info.nRateNum / info.nRateDen + 0.5);
    }
    m_nExpected = std::min<uint64_t>(m_nExpected, CODEC_MAX_FRAMES);
    return true;
}

bool CClipImport::Run() {
    if (!m_pSource) {
        m_strError = "No clip is open.";
        return false;
    }
    while (!m_bCancel) {
        const uint64_t nFrames = m_nFrames.load();
        if (nFrames == m_nCapacity) {
            // Room for the frames expected, then half as many again each time.
            const uint64_t nMore =
                std::min<uint64_t>(std::max<uint64_t>({m_nExpected, nFrames / 2, 16}),
                                   CODEC_MAX_FRAMES + 1 - m_nCapacity);
            void* p = std::realloc(m_pFrames, size_t(m_nCapacity + nMore) * QCIF_FRAME_BYTES);
            if (!p) {
                m_strError = "Not enough memory for " + std::to_string(nFrames + 1) + " frames.";
                return false;
            }
            m_pFrames = static_cast<uint8_t*>(p);
            m_nCapacity += nMore;
        }
        // One frame past the most a stream holds tells that the clip goes on.
        const EFrameRead r = m_pSource->Read(m_pFrames + size_t(nFrames) * QCIF_FRAME_BYTES);
        if (r == EFrameRead::Failed) {
            m_strError = m_pSource->GetError();
            return false;
        }
        if (r == EFrameRead::End || nFrames == CODEC_MAX_FRAMES) {
            m_bTruncated = r == EFrameRead::Frame;
            m_bDone = true;
            return true;
        }
        m_nFrames = nFrames + 1;
    }
    return false;
}

bool CClipImport::Deliver(CTavroDoc& doc) {
    const uint64_t nFrames = m_nFrames.load();
    if (!m_bDone || nFrames == 0) {
        return false;
    }
    // Give back what the estimate reserved beyond the frames read.
    void* p = std::realloc(m_pFrames, size_t(nFrames) * QCIF_FRAME_BYTES);
    doc.TakeRawStream(static_cast<uint8_t*>(p ? p : m_pFrames), int32_t(nFrames), m_strPath);
    m_pFrames = nullptr;
    m_nCapacity = 0;
    m_bDone = false;
    return true;
}

void CTavroDoc::TakeRawStream(uint8_t* pFrames, int32_t nFrames, const std::string& strPath) {
    DeleteContents();
    m_pQcfData = pFrames;
    m_nStreamFrames = nFrames;
    m_nCodedFrames = nFrames;
    m_cState = 'i';
    m_strPathName = strPath;
    m_strTitle = FileNameOf(strPath);
    UpdateAllViews();
}
