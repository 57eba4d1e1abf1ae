#include "stream/FrameSource.h"

#include <cctype>
#include <vector>

#include "io/QcifFormat.h"
#include "io/QuoteName.h"
#include "stream/RawSource.h"
#include "stream/VideoSource.h"

EFrameRead IFrameSource::Skip(uint64_t nFrames) {
    std::vector<uint8_t> frame(QCIF_FRAME_BYTES);
    for (uint64_t k = 0; k < nFrames; ++k) {
        const EFrameRead r = Read(frame.data());
        if (r != EFrameRead::Frame) {
            return r;
        }
    }
    return EFrameRead::Frame;
}

bool IFrameSource::FrameRate(uint32_t&, uint32_t&) const {
    return false;
}

EFrameRead IFrameSource::Fail(const std::string& strWhy) {
    m_strError = strWhy;
    return EFrameRead::Failed;
}

namespace {

bool EndsWith(const std::string& strPath, const char* pszEnding) {
    const std::string strEnding = pszEnding;
    if (strPath.size() < strEnding.size()) {
        return false;
    }
    for (size_t i = 0; i < strEnding.size(); ++i) {
        const char c = strPath[strPath.size() - strEnding.size() + i];
        if (std::tolower(static_cast<unsigned char>(c)) != strEnding[i]) {
            return false;
        }
    }
    return true;
}

class CLimitedSource : public IFrameSource {
public:
    CLimitedSource(std::unique_ptr<IFrameSource> pInner, uint64_t nFirst, uint64_t nCount)
        : m_pInner(std::move(pInner)),
          m_nSkip(nFirst > 0 ? nFirst - 1 : 0),
          m_nCount(nCount),
          m_nLeft(nCount) {}

    EFrameRead Read(uint8_t* pFrame) override {
        if (const EFrameRead r = SkipToFirst(); r != EFrameRead::Frame) {
            return r;
        }
        if (m_nCount != 0 && m_nLeft == 0) {
            return EFrameRead::End;
        }
        const EFrameRead r = m_pInner->Read(pFrame);
        if (r == EFrameRead::Failed) {
            return Fail(m_pInner->GetError());
        }
        if (r == EFrameRead::Frame && m_nCount != 0) {
            --m_nLeft;
        }
        return r;
    }

    uint64_t FramesLeftHint() const override {
        const uint64_t nInner = m_pInner->FramesLeftHint();
        if (nInner == 0) {
            return 0;
        }
        const uint64_t nAfterSkip = nInner > m_nSkip ? nInner - m_nSkip : 0;
        return m_nCount != 0 ? std::min(nAfterSkip, m_nLeft) : nAfterSkip;
    }
    uint64_t TrailingBytes() const override { return m_pInner->TrailingBytes(); }
    std::string Describe() const override { return m_pInner->Describe(); }
    bool FrameRate(uint32_t& nNum, uint32_t& nDen) const override {
        return m_pInner->FrameRate(nNum, nDen);
    }

private:
    EFrameRead SkipToFirst() {
        if (m_nSkip == 0) {
            return EFrameRead::Frame;
        }
        const EFrameRead r = m_pInner->Skip(m_nSkip);
        m_nSkip = 0;
        if (r == EFrameRead::Failed) {
            return Fail(m_pInner->GetError());
        }
        return r;
    }

    std::unique_ptr<IFrameSource> m_pInner;
    uint64_t m_nSkip;         // frames still to pass over before the first read
    const uint64_t m_nCount;  // 0: to the end
    uint64_t m_nLeft;
};

}  // namespace

EClipKind ClipKindOf(const std::string& strPath) {
    if (strPath == "-" || StreamTypeOf(strPath) == EStreamType::Qcf || EndsWith(strPath, ".yuv")) {
        return EClipKind::Raw;
    }
    if (EndsWith(strPath, ".y4m")) {
        return EClipKind::Y4m;
    }
    if (StreamTypeOf(strPath) == EStreamType::Cmp) {
        return EClipKind::Compressed;
    }
    return EClipKind::Video;
}

std::unique_ptr<IFrameSource> OpenFrameSource(const std::string& strPath, std::string* pError) {
    switch (ClipKindOf(strPath)) {
        case EClipKind::Raw:
            return OpenRawSource(strPath, pError);
        case EClipKind::Y4m:
            return OpenY4mSource(strPath, pError);
        case EClipKind::Video:
            return OpenVideoSource(strPath, pError);
        case EClipKind::Compressed:
            break;
    }
    if (pError) {
        *pError = QuoteName(strPath) + " is a compressed stream; it must be decompressed first";
    }
    return nullptr;
}

std::unique_ptr<IFrameSource> LimitFrames(std::unique_ptr<IFrameSource> pSource, uint64_t nFirst,
                                          uint64_t nCount) {
    if (nFirst <= 1 && nCount == 0) {
        return pSource;
    }
    return std::make_unique<CLimitedSource>(std::move(pSource), nFirst, nCount);
}
