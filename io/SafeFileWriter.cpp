#include "io/SafeFileWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "io/QuoteName.h"

namespace {

constexpr char kTempPrefix[] = ".tavro-";
constexpr size_t kTempRandom = 6;
constexpr int kMaxLinks = 40;  // as the kernel allows when it follows links

std::string FolderOf(const std::string& strPath) {
    const size_t n = strPath.rfind('/');
    if (n == std::string::npos) {
        return ".";
    }
    return n == 0 ? "/" : strPath.substr(0, n);
}

std::string NameOf(const std::string& strPath) {
    const size_t n = strPath.rfind('/');
    return n == std::string::npos ? strPath : strPath.substr(n + 1);
}

std::string RandomTempName() {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::string s = kTempPrefix;
    for (size_t i = 0; i < kTempRandom; ++i) {
        s += kChars[random() % (sizeof kChars - 1)];
    }
    return s;
}

bool IsTempName(const char* szName) {
    const size_t nPrefix = sizeof kTempPrefix - 1;
    if (std::strncmp(szName, kTempPrefix, nPrefix) != 0 ||
        std::strlen(szName) != nPrefix + kTempRandom) {
        return false;
    }
    for (const char* p = szName + nPrefix; *p; ++p) {
        const char c = *p;
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
            return false;
        }
    }
    return true;
}

// Write permission as the kernel grants it, except that the superuser, whom
// the kernel lets write anything, still leaves alone what nobody may write:
// a read-only file is a user's decision.
bool MayWrite(const std::string& strPath, const struct stat& st, int nAccess) {
    if (::faccessat(AT_FDCWD, strPath.c_str(), nAccess, AT_EACCESS) != 0) {
        return false;
    }
    if (::geteuid() == 0 && (st.st_mode & 0222) == 0) {
        errno = EACCES;
        return false;
    }
    return true;
}

// Copies the extended attributes (ACLs among them) of the file at strFrom to
// fdTo, and removes those fdTo got that strFrom lacks (a folder's default ACL).
bool CopyAttributes(const std::string& strFrom, int fdTo) {
    auto list = [](ssize_t n, const std::vector<char>& names) {
        std::vector<std::string> out;
        for (ssize_t i = 0; i < n; i += ssize_t(std::strlen(&names[size_t(i)])) + 1) {
            out.emplace_back(&names[size_t(i)]);
        }
        return out;
    };
    std::vector<char> buf(65536);
    ssize_t n = ::listxattr(strFrom.c_str(), buf.data(), buf.size());
    if (n < 0) {
        return errno == ENOTSUP;
    }
    const std::vector<std::string> from = list(n, buf);
    n = ::flistxattr(fdTo, buf.data(), buf.size());
    if (n < 0) {
        return false;
    }
    for (const std::string& strName : list(n, buf)) {
        bool bKept = false;
        for (const std::string& s : from) {
            bKept = bKept || s == strName;
        }
        if (!bKept && ::fremovexattr(fdTo, strName.c_str()) != 0) {
            return false;
        }
    }
    for (const std::string& strName : from) {
        const ssize_t nValue = ::getxattr(strFrom.c_str(), strName.c_str(), buf.data(), buf.size());
        if (nValue < 0 || ::fsetxattr(fdTo, strName.c_str(), buf.data(), size_t(nValue), 0) != 0) {
            return false;
        }
    }
    return true;
}

// Removes the temporaries that writers killed before they could clean up
// left in the folder. A live writer holds a lock on its temporary, so only
// abandoned ones are taken.
void RemoveStaleTemps(int fdFolder) {
    const int fdList = ::dup(fdFolder);
    DIR* pDir = fdList >= 0 ? ::fdopendir(fdList) : nullptr;
    if (!pDir) {
        if (fdList >= 0) {
            ::close(fdList);
        }
        return;
    }
    ::rewinddir(pDir);
    while (const dirent* pEntry = ::readdir(pDir)) {
        if (!IsTempName(pEntry->d_name)) {
            continue;
        }
        int fd = ::openat(fdFolder, pEntry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            fd = ::openat(fdFolder, pEntry->d_name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        }
        if (fd < 0) {
            continue;
        }
        struct stat st, now;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            (st.st_uid == ::geteuid() || ::geteuid() == 0) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(fdFolder, pEntry->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            now.st_ino == st.st_ino && now.st_dev == st.st_dev) {
            ::unlinkat(fdFolder, pEntry->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(pDir);
}

// An unnamed file for the bytes of an in-place rewrite: in the temporary
// folder, or in memory when there is none.
int OpenScratch() {
    const char* szDir = std::getenv("TMPDIR");
    const std::string strDir = szDir && *szDir ? szDir : "/tmp";
    int fd = ::open(strDir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string strName = strDir + "/tavro-scratch-XXXXXX";
        fd = ::mkostemp(strName.data(), O_CLOEXEC);
        if (fd >= 0) {
            ::unlink(strName.c_str());
        }
    }
    if (fd < 0) {
        fd = ::memfd_create("tavro-scratch", MFD_CLOEXEC);
    }
    return fd;
}

bool SyncFailed(int fd) {
    // Pipes, terminals and some file systems cannot be synced; that is no failure.
    return ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP;
}

}  // namespace

bool ResolveLinks(std::string& strPath) {
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat st;
        if (::lstat(strPath.c_str(), &st) != 0) {
            return errno == ENOENT;
        }
        if (!S_ISLNK(st.st_mode)) {
            return true;
        }
        std::vector<char> link(size_t(st.st_size > 0 ? st.st_size : 255) + 2);
        const ssize_t n = ::readlink(strPath.c_str(), link.data(), link.size());
        if (n < 0) {
            return false;
        }
        if (n == 0 || size_t(n) >= link.size()) {
            errno = n == 0 ? ENOENT : ELOOP;  // empty, or changed while read
            return false;
        }
        const std::string strLink(link.data(), size_t(n));
        strPath = strLink[0] == '/' ? strLink : FolderOf(strPath) + "/" + strLink;
    }
    errno = ELOOP;
    return false;
}

CSafeFileWriter::~CSafeFileWriter() {
    Abandon();
}

bool CSafeFileWriter::Fail(const std::string& strWhat, int nErr) {
    m_strError = "Cannot " + strWhat + " " + QuoteName(m_strTarget) + ": " + std::strerror(nErr);
    return false;
}

bool CSafeFileWriter::Open(const std::string& strTarget) {
    Abandon();
    m_strTarget = strTarget;
    m_strError.clear();
    m_nWritten = 0;
    m_nStartedBack = 0;
    if (strTarget.empty()) {
        return Fail("write", ENOENT);
    }
    struct stat st;
    const bool bExists = ::stat(strTarget.c_str(), &st) == 0;
    if (!bExists && errno != ENOENT) {
        return Fail("write", errno);
    }
    if (bExists && S_ISDIR(st.st_mode)) {
        return Fail("write", EISDIR);
    }
    if (bExists && !S_ISREG(st.st_mode)) {
        return OpenDirect(strTarget);
    }
    std::string strFinal = strTarget;
    if (!ResolveLinks(strFinal)) {
        return Fail("write", errno);
    }
    struct stat fin;
    const bool bFinal = ::stat(strFinal.c_str(), &fin) == 0;
    if (bExists && (!bFinal || fin.st_dev != st.st_dev || fin.st_ino != st.st_ino)) {
        // A link that names no path (a descriptor of another process under
        // /proc): write through it.
        if (!MayWrite(strTarget, st, W_OK)) {
            return Fail("write", errno);
        }
        return OpenInPlace(strTarget);
    }
    const std::string strFolder = FolderOf(strFinal);
    if (!bExists) {
        return OpenReplace(strFolder, NameOf(strFinal), nullptr);
    }
    if (!MayWrite(strFinal, fin, W_OK)) {
        return Fail("write", errno);
    }
    struct stat folder;
    const bool bFolderMayChange =
        ::stat(strFolder.c_str(), &folder) == 0 && MayWrite(strFolder, folder, W_OK | X_OK);
    if (fin.st_nlink == 1 && bFolderMayChange) {
        if (OpenReplace(strFolder, NameOf(strFinal), &fin)) {
            return true;
        }
        if (m_mode != EMode::InPlace) {
            return false;  // failed; declining switched to the in-place rewrite
        }
        m_mode = EMode::None;
    }
    return OpenInPlace(strFinal);
}

bool CSafeFileWriter::OpenDescriptor(int fd, const std::string& strName) {
    Abandon();
    m_strTarget = strName;
    m_strError.clear();
    m_nWritten = 0;
    m_nStartedBack = 0;
    m_fd = fd;
    m_bOwnFd = false;
    m_mode = EMode::Direct;
    return StartHeld();
}

bool CSafeFileWriter::StartHeld() {
    if (!m_bHoldDirect || m_mode != EMode::Direct) {
        return true;
    }
    m_fdHeld = OpenScratch();
    if (m_fdHeld < 0) {
        const int nErr = errno;
        Abandon();
        return Fail("prepare a copy for", nErr);
    }
    return true;
}

bool CSafeFileWriter::OpenDirect(const std::string& strPath) {
    // A FIFO's open waits for a reader; only a writer that can be cancelled
    // waits, others need one there already.
    const int nNoWait = m_pfnCancelled ? 0 : O_NONBLOCK;
    for (;;) {
        m_fd = ::open(strPath.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | nNoWait);
        if (m_fd >= 0) {
            break;
        }
        if (errno == ENXIO && nNoWait) {
            m_strError = "Cannot write " + QuoteName(m_strTarget) + ": no program reads from it";
            return false;
        }
        if (errno != EINTR) {
            return Fail("write", errno);
        }
        if (Cancelled()) {
            return Fail("write", ECANCELED);
        }
    }
    if (nNoWait) {
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    }
    m_bOwnFd = true;
    m_mode = EMode::Direct;
    return StartHeld();
}

// Prepares the temporary beside the target. With pExisting, it must take the
// existing file's owner, group, mode and attributes; when it cannot, the
// temporary is dropped and m_mode is set to InPlace to say "rewrite instead".
bool CSafeFileWriter::OpenReplace(const std::string& strFolder, const std::string& strFinal,
                                  const struct stat* pExisting) {
    m_fdFolder = ::open(strFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_fdFolder < 0) {
        return Fail("write", errno);
    }
    RemoveStaleTemps(m_fdFolder);
    // Unnamed until Commit(): a killed process leaves nothing behind.
    int fd = ::openat(m_fdFolder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    m_bNamed = false;
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        for (int nTry = 0; nTry < 100 && fd < 0; ++nTry) {
            m_strTemp = RandomTempName();
            fd = ::openat(m_fdFolder, m_strTemp.c_str(),
                          O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) {
                break;
            }
            struct stat mine, now;
            if (fd >= 0 &&
                (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &mine) != 0 ||
                 ::fstatat(m_fdFolder, m_strTemp.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
                 now.st_ino != mine.st_ino)) {
                ::close(fd);  // a cleaner took it between creation and lock
                fd = -1;
                errno = EEXIST;
            }
        }
        m_bNamed = fd >= 0;
    } else if (fd >= 0) {
        ::flock(fd, LOCK_EX);
    }
    if (fd < 0) {
        const int nErr = errno;
        ::close(m_fdFolder);
        m_fdFolder = -1;
        return Fail("write", nErr);
    }
    m_fd = fd;
    m_bOwnFd = true;
    m_strFinal = strFinal;
    m_mode = EMode::Replace;
    if (pExisting) {
        struct stat mine;
        const bool bKept =
            ::fstat(fd, &mine) == 0 &&
            ((mine.st_uid == pExisting->st_uid && mine.st_gid == pExisting->st_gid) ||
             ::fchown(fd, pExisting->st_uid, pExisting->st_gid) == 0) &&
            ::fchmod(fd, pExisting->st_mode & 07777) == 0 &&
            CopyAttributes(strFolder + "/" + strFinal, fd);
        if (!bKept) {
            Abandon();
            m_mode = EMode::InPlace;
            return false;
        }
    }
    return true;
}

bool CSafeFileWriter::OpenInPlace(const std::string& strPath) {
    for (;;) {
        m_fdTarget = ::open(strPath.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (m_fdTarget >= 0) {
            break;
        }
        if (errno != EINTR || Cancelled()) {
            return Fail("write", errno == EINTR ? ECANCELED : errno);
        }
    }
    m_fd = OpenScratch();
    if (m_fd < 0) {
        const int nErr = errno;
        Abandon();
        return Fail("prepare a copy for", nErr);
    }
    m_bOwnFd = true;
    m_mode = EMode::InPlace;
    return true;
}

bool CSafeFileWriter::WriteAll(int fd, const uint8_t* p, uint64_t nCount) {
    while (nCount > 0) {
        if (Cancelled()) {
            return Fail("write", ECANCELED);
        }
        const size_t nChunk = nCount > (1u << 30) ? (1u << 30) : static_cast<size_t>(nCount);
        const ssize_t n = ::write(fd, p, nChunk);
        if (n < 0) {
            const int nErr = errno;
            if (nErr == EINTR || nErr == EAGAIN) {
                if (Cancelled()) {
                    return Fail("write", ECANCELED);
                }
                if (nErr == EAGAIN) {
                    pollfd pfd{fd, POLLOUT, 0};
                    ::poll(&pfd, 1, -1);
                }
                continue;
            }
            return Fail("write", nErr);
        }
        if (n == 0) {
            return Fail("write", ENOSPC);
        }
        p += n;
        nCount -= static_cast<uint64_t>(n);
        m_nWritten += static_cast<uint64_t>(n);
    }
    return true;
}

bool CSafeFileWriter::Write(const void* pBuffer, uint64_t nCount) {
    if (m_mode == EMode::None) {
        return Fail("write", EBADF);
    }
    if (!WriteAll(m_fdHeld >= 0 ? m_fdHeld : m_fd, static_cast<const uint8_t*>(pBuffer), nCount)) {
        return false;
    }
    // A file the commit flushes to the disk starts on its way there as it is
    // written, so the flush at the end finds little left and the disk works
    // while the program computes. Only a hint: its failure changes nothing.
    constexpr uint64_t WRITEBACK_STEP = 4u << 20;
    if (m_mode == EMode::Replace && m_nWritten - m_nStartedBack >= WRITEBACK_STEP) {
        ::sync_file_range(m_fd, off64_t(m_nStartedBack), off64_t(m_nWritten - m_nStartedBack),
                          SYNC_FILE_RANGE_WRITE);
        m_nStartedBack = m_nWritten;
    }
    return true;
}

bool CSafeFileWriter::WriteAt(uint64_t nAt, const void* pBuffer, uint64_t nCount) {
    const bool bFile = m_mode == EMode::Replace || m_mode == EMode::InPlace;
    const int fd = m_fdHeld >= 0 ? m_fdHeld : bFile ? m_fd : -1;
    if (fd < 0) {
        return Fail("write", m_mode == EMode::None ? EBADF : ESPIPE);
    }
    if (nAt > m_nWritten || nCount > m_nWritten - nAt) {
        return Fail("write", EINVAL);
    }
    const uint8_t* p = static_cast<const uint8_t*>(pBuffer);
    while (nCount > 0) {
        const ssize_t n = ::pwrite(fd, p, size_t(nCount), off_t(nAt));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Fail("write", n < 0 ? errno : ENOSPC);
        }
        p += n;
        nAt += uint64_t(n);
        nCount -= uint64_t(n);
    }
    return true;
}

bool CSafeFileWriter::SendHeld() {
    if (m_fdHeld < 0) {
        return true;
    }
    const int fdHeld = m_fdHeld;
    m_fdHeld = -1;  // from here on Write() goes to the target
    const uint64_t nSize = m_nWritten;
    m_nWritten = 0;
    std::vector<uint8_t> buf(1 << 18);
    bool bOk = true;
    while (bOk && m_nWritten < nSize) {
        const ssize_t n =
            ::pread(fdHeld, buf.data(), size_t(std::min<uint64_t>(buf.size(), nSize - m_nWritten)),
                    off_t(m_nWritten));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        bOk = n > 0 ? WriteAll(m_fd, buf.data(), uint64_t(n)) : Fail("write", n < 0 ? errno : EIO);
    }
    ::close(fdHeld);
    return bOk;
}

bool CSafeFileWriter::Commit() {
    switch (m_mode) {
        case EMode::None:
            return Fail("write", EBADF);
        case EMode::Replace:
            return CommitReplace();
        case EMode::InPlace:
            return CommitInPlace();
        case EMode::Direct:
            break;
    }
    if (!SendHeld()) {
        Abandon();
        return false;
    }
    const bool bSyncFailed = SyncFailed(m_fd);
    const int nErr = errno;
    const bool bOwn = m_bOwnFd;
    const int fd = m_fd;
    m_fd = -1;
    m_mode = EMode::None;
    if (bSyncFailed) {
        if (bOwn) {
            ::close(fd);
        }
        return Fail("write", nErr);
    }
    if (bOwn && ::close(fd) != 0 && errno != EINTR) {
        return Fail("write", errno);
    }
    return true;
}

bool CSafeFileWriter::CommitReplace() {
    if (Cancelled()) {
        Abandon();
        return Fail("write", ECANCELED);
    }
    if (SyncFailed(m_fd)) {
        const int nErr = errno;
        Abandon();
        return Fail("write", nErr);
    }
    for (int nTry = 0; !m_bNamed && nTry < 100; ++nTry) {
        m_strTemp = RandomTempName();
        const std::string strSelf = "/proc/self/fd/" + std::to_string(m_fd);
        if (::linkat(m_fd, "", m_fdFolder, m_strTemp.c_str(), AT_EMPTY_PATH) == 0 ||
            ::linkat(AT_FDCWD, strSelf.c_str(), m_fdFolder, m_strTemp.c_str(), AT_SYMLINK_FOLLOW) ==
                0) {
            m_bNamed = true;
        } else if (errno != EEXIST) {
            const int nErr = errno;
            Abandon();
            return Fail("write", nErr);
        }
    }
    if (!m_bNamed ||
        ::renameat(m_fdFolder, m_strTemp.c_str(), m_fdFolder, m_strFinal.c_str()) != 0) {
        const int nErr = m_bNamed ? errno : EEXIST;
        Abandon();
        return Fail("replace", nErr);
    }
    m_bNamed = false;
    ::fsync(m_fdFolder);  // the rename itself reaches the disk
    Abandon();            // closes what is left
    return true;
}

bool CSafeFileWriter::CommitInPlace() {
    if (Cancelled()) {
        Abandon();
        return Fail("write", ECANCELED);
    }
    const uint64_t nSize = m_nWritten;
    // Everything that could stop the rewrite halfway is checked before the
    // first byte: the file-size limit and the room on the disk.
    rlimit limit;
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        nSize > limit.rlim_cur) {
        Abandon();
        return Fail("write", EFBIG);
    }
    struct stat st;
    if (::fstat(m_fdTarget, &st) == 0 && nSize > uint64_t(st.st_size) &&
        ::fallocate(m_fdTarget, FALLOC_FL_KEEP_SIZE, 0, off_t(nSize)) != 0 &&
        (errno == ENOSPC || errno == EDQUOT || errno == EFBIG)) {
        const int nErr = errno;
        Abandon();
        return Fail("write", nErr);
    }
    std::vector<uint8_t> buf(1 << 20);
    uint64_t nDone = 0;
    int nErr = 0;
    while (nDone < nSize && nErr == 0) {
        const ssize_t nRead = ::pread(
            m_fd, buf.data(), size_t(std::min<uint64_t>(buf.size(), nSize - nDone)), off_t(nDone));
        if (nRead <= 0) {
            nErr = nRead < 0 ? errno : EIO;
            break;
        }
        for (ssize_t nOff = 0; nOff < nRead;) {
            const ssize_t n = ::pwrite(m_fdTarget, buf.data() + nOff, size_t(nRead - nOff),
                                       off_t(nDone + uint64_t(nOff)));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                nErr = n < 0 ? errno : ENOSPC;
                break;
            }
            nOff += n;
        }
        nDone += uint64_t(nRead);
    }
    if (nErr == 0 && ::ftruncate(m_fdTarget, off_t(nSize)) != 0) {
        nErr = errno;
    }
    if (nErr == 0 && SyncFailed(m_fdTarget)) {
        nErr = errno;
    }
    if (nErr == 0 && ::close(m_fdTarget) != 0 && errno != EINTR) {
        nErr = errno;
    }
    m_fdTarget = -1;
    Abandon();
    if (nErr != 0) {
        Fail("write", nErr);
        m_strError += " (the file may now be incomplete)";
        return false;
    }
    return true;
}

void CSafeFileWriter::Abandon() {
    if (m_bNamed && m_fdFolder >= 0) {
        ::unlinkat(m_fdFolder, m_strTemp.c_str(), 0);  // still locked: no cleaner races us
    }
    m_bNamed = false;
    if (m_fd >= 0 && m_bOwnFd) {
        ::close(m_fd);
    }
    m_fd = -1;
    m_bOwnFd = true;
    for (int* pFd : {&m_fdFolder, &m_fdTarget, &m_fdHeld}) {
        if (*pFd >= 0) {
            ::close(*pFd);
            *pFd = -1;
        }
    }
    m_mode = EMode::None;
}

bool WriteFileSafely(const std::string& strTarget, const void* pBuffer, uint64_t nCount,
                     std::string* pError) {
    CSafeFileWriter writer;
    const bool bOk = writer.Open(strTarget) && writer.Write(pBuffer, nCount) && writer.Commit();
    if (!bOk && pError) {
        *pError = writer.GetError();
    }
    return bOk;
}
