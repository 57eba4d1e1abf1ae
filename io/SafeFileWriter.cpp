#include "io/SafeFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

CSafeFileWriter::~CSafeFileWriter() {
    Abandon();
}

bool CSafeFileWriter::Fail(const std::string& strWhat, int nErr) {
    m_strError = "Cannot " + strWhat + " \"" + m_strTarget + "\": " + std::strerror(nErr);
    return false;
}

bool CSafeFileWriter::Open(const std::string& strTarget) {
    Abandon();
    m_strTarget = strTarget;
    struct stat st;
    mode_t mode = 0666;
    if (::stat(strTarget.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return Fail("write", EISDIR);
        }
        mode = st.st_mode & 07777;  // keep the permissions of the file we replace
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    std::vector<char> name(strTarget.begin(), strTarget.end());
    const char suffix[] = ".tmp-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof(suffix));  // includes the terminator
    m_fd = ::mkstemp(name.data());
    if (m_fd < 0) {
        return Fail("write", errno);
    }
    m_strTemp = name.data();
    ::fchmod(m_fd, mode);
    m_strError.clear();
    return true;
}

bool CSafeFileWriter::Write(const void* pBuffer, uint64_t nCount) {
    if (m_fd < 0) {
        return Fail("write", EBADF);
    }
    const auto* p = static_cast<const uint8_t*>(pBuffer);
    while (nCount > 0) {
        size_t nChunk = nCount > (1u << 30) ? (1u << 30) : static_cast<size_t>(nCount);
        ssize_t n = ::write(m_fd, p, nChunk);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail("write", errno);
        }
        if (n == 0) {
            return Fail("write", ENOSPC);
        }
        p += n;
        nCount -= static_cast<uint64_t>(n);
    }
    return true;
}

bool CSafeFileWriter::Commit() {
    if (m_fd < 0) {
        return Fail("write", EBADF);
    }
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS) {
        int err = errno;
        Abandon();
        return Fail("write", err);
    }
    int rc = ::close(m_fd);
    m_fd = -1;
    if (rc != 0 && errno != EINTR) {
        int err = errno;
        Abandon();
        return Fail("write", err);
    }
    if (::rename(m_strTemp.c_str(), m_strTarget.c_str()) != 0) {
        int err = errno;
        Abandon();
        return Fail("replace", err);
    }
    m_strTemp.clear();
    return true;
}

void CSafeFileWriter::Abandon() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_strTemp.empty()) {
        ::unlink(m_strTemp.c_str());
        m_strTemp.clear();
    }
}

bool WriteFileSafely(const std::string& strTarget, const void* pBuffer, uint64_t nCount,
                     std::string* pError) {
    CSafeFileWriter writer;
    bool ok = writer.Open(strTarget) && writer.Write(pBuffer, nCount) && writer.Commit();
    if (!ok && pError) {
        *pError = writer.GetError();
    }
    return ok;
}
