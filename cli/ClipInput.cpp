#include "cli/ClipInput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "cli/CliOutputs.h"
#include "cli/CliSupport.h"
#include "cli/Progress.h"
#include "codec/FrameDecoder.h"
#include "io/File.h"
#include "io/QcifFormat.h"

const char* const CLIP_INPUT_HELP =
    ".qcf, .yuv or - (raw QCIF, - is standard input), .y4m, .cmp (decoded as it is read), or "
    "any video FFmpeg reads (scaled to 176x144 4:2:0, bicubic)";
const char* const CLIP_OUTPUT_HELP =
    "Clip to write: .qcf or .yuv (raw QCIF), .y4m, or - for raw QCIF on standard output";

namespace {

// A compressed stream read as a clip: the file is read whole (it is small), its
// LZARI layer undone at once, and each frame rebuilt when it is asked for.
class CCmpSource : public IFrameSource {
public:
    bool Open(const std::string& strPath, std::string* pError) {
        m_strPath = strPath;
        if (!m_file.Open(strPath, pError)) {
            return false;
        }
        const CodecError nError = m_decoder.Open(m_file.HeaderBytes(), m_file, m_file.Length());
        if (nError != CodecError::None) {
            *pError = Failure(nError, 0);
            return false;
        }
        return true;
    }

    EFrameRead Read(uint8_t* pFrame) override {
        if (m_decoder.FramesDone() == m_decoder.Frames()) {
            return EFrameRead::End;
        }
        const CodecError nError = m_decoder.DecodeNext(pFrame);
        if (nError != CodecError::None) {
            return Fail(Failure(nError, m_decoder.FramesDone() + 1));
        }
        if (m_decoder.FramesDone() == m_decoder.Frames() && !m_file.ReadError().empty()) {
            return Fail(m_file.ReadError());  // decoded from what was read, but not the file
        }
        return EFrameRead::Frame;
    }

    uint64_t FramesLeftHint() const override { return m_decoder.Frames() - m_decoder.FramesDone(); }
    std::string Describe() const override {
        return "compressed stream " + Quoted(m_strPath) + " (threshold " +
               std::to_string(m_decoder.Threshold()) + ", quantiser " +
               std::to_string(m_decoder.Quantiser()) + ")";
    }

private:
    // A record at fault names its frame; the rest concerns the whole stream.
    std::string Failure(CodecError nError, uint32_t nFrame) const {
        if (!m_file.ReadError().empty()) {
            return m_file.ReadError();
        }
        const bool bRecord = nError == CodecError::MissingFrames || nError == CodecError::BadRecord;
        return CmpFailureText(m_strPath, nError, bRecord ? nFrame : 0);
    }

    std::string m_strPath;
    CCmpFile m_file;  // before the decoder, which reads from it until it goes
    CFrameDecoder m_decoder;
};

// Frames kept in an unnamed temporary file: it has no name from the start, so
// nothing is left behind however the process ends.
class CSpoolSource : public IFrameSource {
public:
    ~CSpoolSource() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }

    bool Create(std::string* pError) {
        const char* pszDir = std::getenv("TMPDIR");
        m_strDir = pszDir && *pszDir ? pszDir : "/tmp";
#ifdef O_TMPFILE
        m_fd = ::open(m_strDir.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
#endif
        if (m_fd < 0) {  // a file system without unnamed files: name it, then unlink at once
            std::string strTemplate = m_strDir + "/tavro-spool-XXXXXX";
            m_fd = ::mkstemp(strTemplate.data());
            if (m_fd >= 0) {
                ::unlink(strTemplate.c_str());
            }
        }
        if (m_fd < 0) {
            *pError = SpoolError("create");
            return false;
        }
        return true;
    }

    bool Append(const uint8_t* pFrame, std::string* pError) {
        for (size_t nDone = 0; nDone < QCIF_FRAME_BYTES;) {
            const ssize_t n = ::write(m_fd, pFrame + nDone, QCIF_FRAME_BYTES - nDone);
            if (n < 0 && errno == EINTR && !Interrupted()) {
                continue;
            }
            if (n <= 0) {
                *pError = Interrupted() ? "interrupted" : SpoolError("write");
                return false;
            }
            nDone += size_t(n);
        }
        ++m_nFrames;
        return true;
    }

    EFrameRead Read(uint8_t* pFrame) override {
        if (m_nRead == m_nFrames) {
            return EFrameRead::End;
        }
        const off_t nAt = off_t(m_nRead * QCIF_FRAME_BYTES);
        for (size_t nDone = 0; nDone < QCIF_FRAME_BYTES;) {
            const ssize_t n =
                ::pread(m_fd, pFrame + nDone, QCIF_FRAME_BYTES - nDone, nAt + off_t(nDone));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return Fail(n < 0 ? SpoolError("read")
                                  : "the temporary file in " + Quoted(m_strDir) + " was cut short");
            }
            nDone += size_t(n);
        }
        ++m_nRead;
        return EFrameRead::Frame;
    }
    uint64_t FramesLeftHint() const override {
        return m_nFrames - m_nRead;
    }
    std::string Describe() const override {
        return "frames kept in a temporary file";
    }

private:
    std::string SpoolError(const char* pszWhat) const {
        return std::string("cannot ") + pszWhat + " the temporary file in " + Quoted(m_strDir) +
               " that holds the frames read so far: " + std::strerror(errno);
    }

    int m_fd = -1;
    std::string m_strDir;
    uint64_t m_nFrames = 0;
    uint64_t m_nRead = 0;
};

bool ParseCount(const std::string& s, uint64_t& n) {
    if (s.empty() || s.size() > 12 || s.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    n = std::stoull(s);
    return n > 0;
}

}  // namespace

std::unique_ptr<IFrameSource> OpenClip(const std::string& strPath, std::string* pError) {
    std::string strError;
    std::unique_ptr<IFrameSource> pSource;
    if (ClipKindOf(strPath) == EClipKind::Compressed) {
        auto pCmp = std::make_unique<CCmpSource>();
        if (pCmp->Open(strPath, &strError)) {
            pSource = std::move(pCmp);
        }
    } else {
        pSource = OpenFrameSource(strPath, &strError);
    }
    if (!pSource && pError) {
        *pError = strError;
    }
    return pSource;
}

bool CCmpFile::Open(const std::string& strPath, std::string* pError) {
    m_strPath = strPath;
    if (!m_file.Open(strPath, CFile::modeRead)) {
        *pError = "cannot open " + Quoted(strPath) + ": " + m_file.GetError();
        return false;
    }
    const uint64_t nLength = m_file.GetLength();
    if (nLength > UINT32_MAX) {
        *pError = Quoted(strPath) + " is too long for a compressed stream (over 4 GiB)";
        return false;
    }
    // A file that states no size but has bytes is a pipe (or a device): its
    // length is known only at its end, so the stated length is checked
    // against the frame count alone; nothing is allocated for it anyway.
    const uint32_t nHead =
        m_file.Read(m_abyHead, nLength ? std::min<uint32_t>(uint32_t(nLength), 8) : 8);
    m_bPipe = nLength == 0 && nHead > 0;
    m_nLength = m_bPipe ? (nHead < 8 ? nHead : UINT32_MAX) : uint32_t(nLength);
    if (nHead < std::min<uint32_t>(m_nLength, 8)) {
        *pError = "cannot read " + Quoted(strPath);
        return false;
    }
    if (!ReadCmpHeader(m_abyHead, nHead, m_header)) {
        *pError = Quoted(strPath) + ": too short for a compressed stream (" +
                  std::to_string(m_bPipe ? nHead : nLength) + " bytes, the header alone is 4)";
        return false;
    }
    CodecError nError = CodecError::None;
    if (m_header.nFrames == 0 || m_header.byThreshold == 0 || m_header.byQuantiser == 0) {
        nError = CodecError::BadParameters;
    } else {
        // The check reads no further than the length field, which is here.
        nError = CheckStreamLength(m_abyHead, m_nLength, m_header.nFrames);
    }
    if (nError != CodecError::None) {
        *pError = CmpFailureText(strPath, nError, 0);
        return false;
    }
    // The code starts after the header: a pipe's first bytes of it are here.
    m_nPos = CMP_HEADER_BYTES;
    m_nHeadLeft = m_bPipe ? nHead - CMP_HEADER_BYTES : 0;
    if (!m_bPipe && !m_file.Seek(CMP_HEADER_BYTES)) {
        *pError = "cannot read " + Quoted(strPath) + ": " + m_file.GetError();
        return false;
    }
    return true;
}

uint32_t CCmpFile::ReadCode(uint8_t* pDst, uint32_t nMax) {
    if (m_nHeadLeft > 0) {
        const uint32_t n = std::min(nMax, m_nHeadLeft);
        std::memcpy(pDst, m_abyHead + m_nPos, n);
        m_nHeadLeft -= n;
        m_nPos += n;
        return n;
    }
    const uint32_t nWant = std::min(nMax, m_nLength - m_nPos);
    const uint32_t n = nWant ? m_file.Read(pDst, nWant) : 0;
    m_nPos += n;
    // A pipe ends where it ends; a file must give the bytes its size promised.
    if (n < nWant && m_strReadError.empty() && (!m_bPipe || !m_file.GetError().empty())) {
        m_strReadError = m_file.GetError().empty()
                             ? CmpFailureText(m_strPath, CodecError::Truncated, 0) +
                                   " (the file became shorter while it was read)"
                             : "cannot read " + Quoted(m_strPath) + ": " + m_file.GetError();
    }
    return n;
}

std::string CmpFailureText(const std::string& strPath, CodecError nError, uint32_t nFrame) {
    std::string strText = Quoted(strPath) + ": ";
    if (nFrame) {
        strText += "frame " + std::to_string(nFrame) + ": ";
    }
    if (nError == CodecError::BadParameters) {
        return strText +
               "not a valid compressed stream: its frame count is 0, or its threshold or "
               "quantiser lies outside 1..255";
    }
    return strText + CodecErrorText(nError);
}

std::unique_ptr<IFrameSource> SpoolFrames(IFrameSource& source, uint64_t nMax, bool* pbMore,
                                          std::string* pError) {
    auto pSpool = std::make_unique<CSpoolSource>();
    if (!pSpool->Create(pError)) {
        return nullptr;
    }
    std::vector<uint8_t> frame(QCIF_FRAME_BYTES);
    CProgressLine progress("reading", 0);
    for (uint64_t k = 0;; ++k) {
        if (Interrupted()) {
            *pError = "interrupted";
            return nullptr;
        }
        const EFrameRead r = source.Read(frame.data());
        if (r == EFrameRead::Failed) {
            *pError = source.GetError();
            return nullptr;
        }
        if (r == EFrameRead::End || k == nMax) {
            *pbMore = r == EFrameRead::Frame;  // one frame past the limit: there are more
            return pSpool;
        }
        if (!pSpool->Append(frame.data(), pError)) {
            return nullptr;
        }
        progress.Show(k + 1);
    }
}

bool SFrameChoice::Resolve(uint64_t& nFirst, uint64_t& nCount, std::string* pError) const {
    nFirst = nStart ? nStart : 1;
    nCount = 0;
    if (strFrames.empty()) {
        return true;
    }
    const size_t nDash = strFrames.find('-');
    if (nDash == std::string::npos) {
        if (!ParseCount(strFrames, nCount)) {
            *pError = "--frames: \"" + strFrames + "\" is not a frame count or a range A-B";
            return false;
        }
        return true;
    }
    uint64_t nA = 0, nB = 0;
    const std::string strB = strFrames.substr(nDash + 1);
    if (!ParseCount(strFrames.substr(0, nDash), nA) || (!strB.empty() && !ParseCount(strB, nB)) ||
        (!strB.empty() && nB < nA)) {
        *pError = "--frames: \"" + strFrames +
                  "\" is not a range A-B of frame numbers from 1 (or A- to the end)";
        return false;
    }
    if (nStart) {
        *pError =
            "--start: give the first frame in the range (--frames A-B) or with --start, "
            "not both";
        return false;
    }
    nFirst = nA;
    nCount = strB.empty() ? 0 : nB - nA + 1;
    return true;
}

CLI::Validator RangeInWords(int64_t nMin, int64_t nMax) {
    return CLI::Validator(
        [nMin, nMax](std::string& strValue) -> std::string {
            int64_t n = 0;
            const char* pEnd = strValue.data() + strValue.size();
            const auto [p, ec] = std::from_chars(strValue.data(), pEnd, n);
            const std::string strRange =
                nMax ? "from " + std::to_string(nMin) + " to " + std::to_string(nMax)
                     : "of " + std::to_string(nMin) + " or more";
            if (ec != std::errc() || p != pEnd || n < nMin || (nMax && n > nMax)) {
                return "\"" + strValue + "\" is not a whole number " + strRange;
            }
            return {};
        },
        "");
}

void AddFrameChoice(CLI::App* pApp, SFrameChoice& choice, const std::string& strWhat) {
    pApp->add_option("-n,--frames", choice.strFrames,
                     strWhat +
                         ": a count N, or a range A-B (or A- to the end) of frame numbers "
                         "from 1 (default: all)")
        ->type_name("N|A-B");
    AddRanged(pApp, "--start", choice.nStart, 1, 0, "First frame for a count given with --frames",
              "1")
        ->type_name("K");
}

const char* const CLIP_OUTPUT_NAMES =
    "must be named as a raw QCIF stream (.qcf, .yuv), a .y4m, or - for stdout";

EFrameFormat OutputFrameFormat(const std::string& strPath) {
    const EFrameFormat format = FrameFormatOf(strPath);
    return format == EFrameFormat::Unknown && IsStreamTarget(strPath) ? EFrameFormat::Raw : format;
}

bool ReadFrames(IFrameSource& source, uint64_t nMax, std::vector<uint8_t>& out, bool* pbMore,
                std::string* pError) {
    const uint64_t nHint = source.FramesLeftHint();
    if (nHint) {
        try {
            out.reserve(out.size() + size_t(std::min(nHint, nMax)) * QCIF_FRAME_BYTES);
        } catch (...) {
        }
    }
    std::vector<uint8_t> frame(QCIF_FRAME_BYTES);
    for (uint64_t k = 0; k <= nMax; ++k) {
        const EFrameRead r = source.Read(frame.data());
        if (r == EFrameRead::Failed) {
            *pError = source.GetError();
            return false;
        }
        if (r == EFrameRead::End) {
            *pbMore = false;
            return true;
        }
        if (k == nMax) {
            break;  // one frame past the limit: there are more
        }
        out.insert(out.end(), frame.begin(), frame.end());
    }
    *pbMore = true;
    return true;
}
