#include "stream/RawSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "io/QcifFormat.h"
#include "io/QuoteName.h"
#include "stream/Y4m.h"

namespace {

constexpr size_t BUFFER_BYTES = 64 * 1024;
// A y4m header or frame line longer than this is not y4m.
constexpr size_t MAX_Y4M_LINE = 4096;

std::string DisplayName(const std::string& strPath) {
    return strPath == "-" ? "standard input" : QuoteName(strPath);
}

}  // namespace

CByteReader::~CByteReader() {
    if (m_bOwned && m_fd >= 0) {
        ::close(m_fd);
    }
}

bool CByteReader::Open(const std::string& strPath) {
    m_strName = DisplayName(strPath);
    if (strPath == "-") {
        m_fd = STDIN_FILENO;
    } else {
        m_fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0) {
            m_strError = "cannot open " + m_strName + ": " + std::strerror(errno);
            return false;
        }
        m_bOwned = true;
    }
    struct stat st;
    if (::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode)) {
        m_bRegular = true;
        m_nSize = uint64_t(st.st_size);
    } else if (S_ISDIR(st.st_mode)) {
        m_strError = "cannot read " + m_strName + ": it is a folder";
        return false;
    }
    m_buffer = std::make_unique<uint8_t[]>(BUFFER_BYTES);
    return true;
}

bool CByteReader::Fill() {
    if (m_bEof || Failed()) {
        return false;
    }
    while (true) {
        const ssize_t n = ::read(m_fd, m_buffer.get(), BUFFER_BYTES);
        if (n > 0) {
            m_nStart = 0;
            m_nEnd = size_t(n);
            return true;
        }
        if (n == 0) {
            m_bEof = true;
            return false;
        }
        // EINTR too: the command's interrupt handler asked to stop.
        m_strError = "cannot read " + m_strName + ": " + std::strerror(errno);
        return false;
    }
}

uint64_t CByteReader::Read(void* pBuffer, uint64_t nCount) {
    auto* p = static_cast<uint8_t*>(pBuffer);
    uint64_t nDone = 0;
    while (nDone < nCount) {
        if (m_nStart == m_nEnd && !Fill()) {
            break;
        }
        const size_t nTake = size_t(std::min<uint64_t>(nCount - nDone, m_nEnd - m_nStart));
        std::memcpy(p + nDone, m_buffer.get() + m_nStart, nTake);
        m_nStart += nTake;
        nDone += nTake;
    }
    m_nPosition += nDone;
    return nDone;
}

uint64_t CByteReader::Skip(uint64_t nCount) {
    const uint64_t nBuffered = std::min<uint64_t>(nCount, m_nEnd - m_nStart);
    m_nStart += size_t(nBuffered);
    m_nPosition += nBuffered;
    uint64_t nDone = nBuffered;
    if (nDone < nCount && m_bRegular) {
        const uint64_t nJump = std::min(nCount - nDone, BytesLeft());
        if (::lseek(m_fd, off_t(m_nPosition + nJump), SEEK_SET) < 0) {
            m_strError = "cannot seek in " + m_strName + ": " + std::strerror(errno);
            return nDone;
        }
        m_nPosition += nJump;
        nDone += nJump;
    }
    while (nDone < nCount) {
        if (m_nStart == m_nEnd && !Fill()) {
            break;
        }
        const size_t nTake = size_t(std::min<uint64_t>(nCount - nDone, m_nEnd - m_nStart));
        m_nStart += nTake;
        m_nPosition += nTake;
        nDone += nTake;
    }
    return nDone;
}

bool CByteReader::ReadLine(std::string& strLine, size_t nMax) {
    strLine.clear();
    while (strLine.size() <= nMax) {
        if (m_nStart == m_nEnd && !Fill()) {
            return false;
        }
        const uint8_t* pBegin = m_buffer.get() + m_nStart;
        const size_t nAvail = m_nEnd - m_nStart;
        const void* pNl = std::memchr(pBegin, '\n', nAvail);
        const size_t nTake = pNl ? size_t(static_cast<const uint8_t*>(pNl) - pBegin) : nAvail;
        strLine.append(reinterpret_cast<const char*>(pBegin), nTake);
        m_nStart += nTake + (pNl ? 1 : 0);
        m_nPosition += nTake + (pNl ? 1 : 0);
        if (pNl) {
            return strLine.size() <= nMax;
        }
    }
    return false;
}

uint64_t CByteReader::BytesLeft() const {
    return m_bRegular && m_nSize > m_nPosition ? m_nSize - m_nPosition : 0;
}

namespace {

// Frames back to back, no header.
class CRawSource : public IFrameSource {
public:
    bool Open(const std::string& strPath, std::string* pError) {
        if (!m_reader.Open(strPath)) {
            *pError = m_reader.GetError();
            return false;
        }
        return true;
    }

    EFrameRead Read(uint8_t* pFrame) override {
        const uint64_t n = m_reader.Read(pFrame, QCIF_FRAME_BYTES);
        if (m_reader.Failed()) {
            return Fail(m_reader.GetError());
        }
        if (n < QCIF_FRAME_BYTES) {
            m_nTrailing = n;
            return EFrameRead::End;
        }
        return EFrameRead::Frame;
    }

    EFrameRead Skip(uint64_t nFrames) override {
        const uint64_t nBytes = nFrames * QCIF_FRAME_BYTES;
        const uint64_t n = m_reader.Skip(nBytes);
        if (m_reader.Failed()) {
            return Fail(m_reader.GetError());
        }
        if (n < nBytes) {
            m_nTrailing = n % QCIF_FRAME_BYTES;
            return EFrameRead::End;
        }
        return EFrameRead::Frame;
    }

    uint64_t FramesLeftHint() const override { return m_reader.BytesLeft() / QCIF_FRAME_BYTES; }
    uint64_t TrailingBytes() const override { return m_nTrailing; }
    std::string Describe() const override { return "raw QCIF stream " + m_reader.Name(); }

private:
    CByteReader m_reader;
    uint64_t m_nTrailing = 0;
};

// A header line, then per frame a line starting "FRAME" and the frame's bytes.
class CY4mSource : public IFrameSource {
public:
    bool Open(const std::string& strPath, std::string* pError) {
        if (!m_reader.Open(strPath)) {
            *pError = m_reader.GetError();
            return false;
        }
        std::string strLine;
        if (!m_reader.ReadLine(strLine, MAX_Y4M_LINE)) {
            *pError = m_reader.Failed()
                          ? m_reader.GetError()
                          : m_reader.Name() + ": not a YUV4MPEG2 stream (no header line)";
            return false;
        }
        strLine += '\n';
        SY4mHeader header;
        std::string strWhy;
        if (!ParseY4mHeader(reinterpret_cast<const uint8_t*>(strLine.data()), strLine.size(),
                            header, &strWhy) ||
            !IsQcifY4m(header, &strWhy)) {
            *pError = m_reader.Name() + ": " + strWhy;
            return false;
        }
        m_nRateNum = header.nRateNum;
        m_nRateDen = header.nRateDen;
        return true;
    }

    EFrameRead Read(uint8_t* pFrame) override {
        std::string strLine;
        const bool bLine = m_reader.ReadLine(strLine, MAX_Y4M_LINE);
        if (m_reader.Failed()) {
            return Fail(m_reader.GetError());
        }
        if (!bLine) {
            if (strLine.empty()) {
                return EFrameRead::End;  // a clean end between frames
            }
            const size_t nWord = std::min<size_t>(strLine.size(), 5);
            if (strLine.size() <= MAX_Y4M_LINE && strLine.compare(0, nWord, "FRAME", nWord) == 0) {
                m_nTrailing = strLine.size();
                return EFrameRead::End;  // cut inside the frame line
            }
            return Fail(Where() + " does not start with a FRAME line");
        }
        if (strLine.compare(0, 5, "FRAME") != 0 || (strLine.size() > 5 && strLine[5] != ' ')) {
            return Fail(Where() + " does not start with a FRAME line");
        }
        const uint64_t n = m_reader.Read(pFrame, QCIF_FRAME_BYTES);
        if (m_reader.Failed()) {
            return Fail(m_reader.GetError());
        }
        if (n < QCIF_FRAME_BYTES) {
            // A cut last frame is dropped, as after a raw stream's last whole frame.
            m_nTrailing = strLine.size() + 1 + n;
            return EFrameRead::End;
        }
        ++m_nFrames;
        return EFrameRead::Frame;
    }

    uint64_t TrailingBytes() const override { return m_nTrailing; }
    bool FrameRate(uint32_t& nNum, uint32_t& nDen) const override {
        nNum = m_nRateNum;
        nDen = m_nRateDen;
        return true;
    }
    std::string Describe() const override {
        return "YUV4MPEG2 stream " + m_reader.Name() + " (" + std::to_string(m_nRateNum) + ":" +
               std::to_string(m_nRateDen) + " frames per second)";
    }

private:
    std::string Where() const {
        return m_reader.Name() + ": frame " + std::to_string(m_nFrames + 1);
    }

    CByteReader m_reader;
    uint64_t m_nFrames = 0;
    uint64_t m_nTrailing = 0;
    uint32_t m_nRateNum = 25, m_nRateDen = 1;
};

template <class T>
std::unique_ptr<IFrameSource> OpenAs(const std::string& strPath, std::string* pError) {
    auto pSource = std::make_unique<T>();
    std::string strError;
    if (!pSource->Open(strPath, &strError)) {
        if (pError) {
            *pError = strError;
        }
        return nullptr;
    }
    return pSource;
}

}  // namespace

std::unique_ptr<IFrameSource> OpenRawSource(const std::string& strPath, std::string* pError) {
    return OpenAs<CRawSource>(strPath, pError);
}

std::unique_ptr<IFrameSource> OpenY4mSource(const std::string& strPath, std::string* pError) {
    return OpenAs<CY4mSource>(strPath, pError);
}
