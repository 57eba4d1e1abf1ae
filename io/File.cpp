#include "io/File.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

CFile::~CFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool CFile::Fail() {
    m_strError = std::strerror(errno);
    return false;
}

bool CFile::Open(const std::string& strPath, OpenFlags nFlags) {
    if (m_fd >= 0) {
        Close();
    }
    int flags = (nFlags == modeRead) ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
    m_fd = ::open(strPath.c_str(), flags | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        return Fail();
    }
    struct stat st;
    if (::fstat(m_fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        m_strError = std::strerror(EISDIR);
        return false;
    }
    m_strError.clear();
    return true;
}

uint32_t CFile::Read(void* pBuffer, uint32_t nCount) {
    if (m_fd < 0) {
        return 0;
    }
    auto* p = static_cast<uint8_t*>(pBuffer);
    uint32_t nDone = 0;
    while (nDone < nCount) {
        ssize_t n = ::read(m_fd, p + nDone, nCount - nDone);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail();
            break;
        }
        if (n == 0) {
            break;
        }
        nDone += static_cast<uint32_t>(n);
    }
    return nDone;
}

bool CFile::Write(const void* pBuffer, uint32_t nCount) {
    if (m_fd < 0) {
        m_strError = std::strerror(EBADF);
        return false;
    }
    const auto* p = static_cast<const uint8_t*>(pBuffer);
    uint32_t nDone = 0;
    while (nDone < nCount) {
        ssize_t n = ::write(m_fd, p + nDone, nCount - nDone);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail();
        }
        if (n == 0) {
            m_strError = std::strerror(ENOSPC);
            return false;
        }
        nDone += static_cast<uint32_t>(n);
    }
    return true;
}

bool CFile::Seek(uint64_t nOffset) {
    if (m_fd < 0) {
        return false;
    }
    if (::lseek(m_fd, static_cast<off_t>(nOffset), SEEK_SET) < 0) {
        return Fail();
    }
    return true;
}

uint64_t CFile::GetLength() const {
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        return 0;
    }
    return static_cast<uint64_t>(st.st_size);
}

bool CFile::Flush() {
    if (m_fd < 0) {
        return false;
    }
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS) {
        return Fail();
    }
    return true;
}

bool CFile::Close() {
    if (m_fd < 0) {
        return true;
    }
    int rc = ::close(m_fd);
    m_fd = -1;
    if (rc != 0 && errno != EINTR) {
        return Fail();
    }
    return true;
}

std::string FileNameOf(const std::string& strPath) {
    auto pos = strPath.find_last_of('/');
    return pos == std::string::npos ? strPath : strPath.substr(pos + 1);
}
