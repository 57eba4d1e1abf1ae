#include "document/ClipImport.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "codec/CodecContext.h"
#include "document/TavroDoc.h"
#include "io/Fail.h"
#include "io/File.h"
#include "io/QcifFormat.h"
#include "stream/FrameSource.h"
#include "stream/VideoSource.h"
#include "stream/Y4m.h"

namespace {

// The most frames reserved before the first is read: 156 MB.
constexpr uint64_t kFirstFrames = 4096;

// A .y4m whose header parses but whose frames are not QCIF 4:2:0 8-bit: the
// desktop scales it through FFmpeg instead of refusing it as the command line
// does.
bool IsOtherY4m(const std::string& strPath) {
    CFile file;
    if (!file.Open(strPath, CFile::modeRead)) {
        return false;
    }
    uint8_t aHead[1024];
    const uint32_t nRead = file.Read(aHead, sizeof aHead);
    SY4mHeader header;
    return ParseY4mHeader(aHead, nRead, header, nullptr) && !IsQcifY4m(header, nullptr);
}

}  // namespace

std::string AsSentence(std::string strText) {
    if (strText.empty()) {
        return strText;
    }
    strText[0] = char(std::toupper(static_cast<unsigned char>(strText[0])));
    const char cLast = strText.back();
    if (cLast != '.' && cLast != '!' && cLast != '?') {
        strText += '.';
    }
    return strText;
}

CClipImport::CClipImport() = default;

CClipImport::~CClipImport() {
    std::free(m_pFrames);
}

bool CClipImport::Open(const std::string& strPath, std::string* pError) {
    const std::string strName = FileNameOf(strPath);
    const EClipKind kind = ClipKindOf(strPath);
    if (kind == EClipKind::Compressed) {
        return Fail(pError,
                    "\"" + strName + "\" is a compressed stream: open it with File > Open.");
    }
    std::string strWhy;
    const bool bOtherY4m = kind == EClipKind::Y4m && VideoImportAvailable() && IsOtherY4m(strPath);
    m_pSource = bOtherY4m ? OpenVideoSource(strPath, &strWhy) : OpenFrameSource(strPath, &strWhy);
    if (!m_pSource) {
        return Fail(pError, AsSentence(strWhy));
    }
    m_strPath = strPath;
    m_strName = strName;

    m_nExpected = m_pSource->FramesLeftHint();
    SVideoInfo info;
    if (m_nExpected != 0) {
        // a raw stream: exact
    } else if (kind == EClipKind::Y4m && !bOtherY4m) {
        // Every frame is its FRAME line and 38016 bytes; the header is small.
        std::error_code error;
        const uintmax_t nLength = std::filesystem::file_size(strPath, error);
        m_nExpected = error ? 0 : nLength / (QCIF_FRAME_BYTES + 6);
    } else if ((kind == EClipKind::Video || bOtherY4m) && ProbeVideo(strPath, info, nullptr)) {
        const double dFrames =
            info.nRateNum ? info.dSeconds * info.nRateNum / info.nRateDen + 0.5 : 0.0;
        m_nExpected = info.nFrames ? info.nFrames : dFrames < 1e9 ? uint64_t(dFrames) : 0;
    }
    m_nExpected = std::min<uint64_t>(m_nExpected, CODEC_MAX_FRAMES);
    return true;
}

bool CClipImport::Failed(const std::string& strWhy) {
    m_strError = strWhy;
    return false;
}

bool CClipImport::Run() {
    if (!m_pSource) {
        return Failed("No clip is open.");
    }
    while (!m_bCancel) {
        const uint64_t nFrames = m_nFrames.load();
        if (nFrames == m_nCapacity) {
            // Room for the frames expected (a container's claim may be wild, so
            // not all at once), then half as many again each time; one frame
            // past the cap tells whether the clip goes on.
            const uint64_t nMore = std::min<uint64_t>(
                std::max<uint64_t>(
                    {std::min<uint64_t>(m_nExpected, kFirstFrames), nFrames / 2, 16}),
                CODEC_MAX_FRAMES + 1 - m_nCapacity);
            void* p = std::realloc(m_pFrames, size_t(m_nCapacity + nMore) * QCIF_FRAME_BYTES);
            if (!p) {
                return Failed("Not enough memory for more than " + std::to_string(nFrames) +
                              " frames of \"" + m_strName + "\".");
            }
            m_pFrames = static_cast<uint8_t*>(p);
            m_nCapacity += nMore;
        }
        const EFrameRead r = m_pSource->Read(m_pFrames + size_t(nFrames) * QCIF_FRAME_BYTES);
        if (r == EFrameRead::Failed) {
            return Failed(AsSentence(m_pSource->GetError()));
        }
        if (r == EFrameRead::End || nFrames == CODEC_MAX_FRAMES) {
            if (nFrames == 0) {
                return Failed("\"" + m_strName + "\" holds no whole frame.");
            }
            m_bTruncated = r == EFrameRead::Frame;
            m_bDone = true;
            m_pSource.reset();  // the input is closed before the frames are handed over
            return true;
        }
        m_nFrames = nFrames + 1;
    }
    return false;
}

bool CClipImport::Deliver(CTavroDoc& doc) {
    const uint64_t nFrames = m_nFrames.load();
    if (!m_bDone || m_bCancel || nFrames == 0) {
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
