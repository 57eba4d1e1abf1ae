#include "support/WriteTargets.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>

#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {
constexpr uid_t kOtherOwner = 4242;
constexpr char kAttribute[] = "user.tavro.note";
}  // namespace

const std::vector<SWriteTargetRow>& WriteTargetRows() {
    static const std::vector<SWriteTargetRow> rows = {
        {EWriteTarget::NewFile, "new file"},
        {EWriteTarget::Regular, "regular file"},
        {EWriteTarget::Symlink, "symlink"},
        {EWriteTarget::DanglingSymlink, "dangling symlink"},
        {EWriteTarget::SymlinkElsewhere, "symlink into another folder"},
        {EWriteTarget::HardLink, "hard link"},
        {EWriteTarget::Fifo, "FIFO with a reader"},
        {EWriteTarget::Pty, "pty"},
        {EWriteTarget::ReadOnlyFile, "read-only file"},
        {EWriteTarget::ReadOnlyFolder, "read-only folder"},
        {EWriteTarget::LongName, "250-byte name"},
        {EWriteTarget::OtherOwner, "file of another owner"},
        {EWriteTarget::Attributes, "file with extended attributes"},
    };
    return rows;
}

CWriteTarget::CWriteTarget(EWriteTarget kind, const fs::path& dir, const std::string& strExt)
    : m_kind(kind), m_existing(40, 0x5A) {
    static int nCount = 0;
    ++nCount;
    m_folder = dir / ("target" + std::to_string(nCount));
    m_elsewhere = dir / ("elsewhere" + std::to_string(nCount));
    fs::create_directories(m_folder);
    const std::string strName = "out." + strExt;
    m_strPath = m_strFile = (m_folder / strName).string();
    m_listing = {strName};
    bool bExisting = true;
    switch (kind) {
        case EWriteTarget::NewFile:
            bExisting = false;
            break;
        case EWriteTarget::Regular:
        case EWriteTarget::ReadOnlyFile:
        case EWriteTarget::ReadOnlyFolder:
        case EWriteTarget::OtherOwner:
        case EWriteTarget::Attributes:
            break;
        case EWriteTarget::Symlink:
            m_strFile = (m_folder / ("real." + strExt)).string();
            fs::create_symlink("real." + strExt, m_strPath);
            m_listing.push_back("real." + strExt);
            break;
        case EWriteTarget::DanglingSymlink:
            m_strFile = (m_folder / ("made." + strExt)).string();
            fs::create_symlink("made." + strExt, m_strPath);
            m_listing.push_back("made." + strExt);
            bExisting = false;
            break;
        case EWriteTarget::SymlinkElsewhere:
            fs::create_directories(m_elsewhere);
            m_strFile = (m_elsewhere / ("real." + strExt)).string();
            fs::create_symlink(m_strFile, m_strPath);
            m_listing.push_back("elsewhere/real." + strExt);
            break;
        case EWriteTarget::HardLink:
            m_strOther = (m_folder / ("other." + strExt)).string();
            m_listing.push_back("other." + strExt);
            break;
        case EWriteTarget::Fifo:
            ::mkfifo(m_strPath.c_str(), 0644);
            StartReader(::open(m_strPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
            bExisting = false;
            break;
        case EWriteTarget::Pty: {
            if (::openpty(&m_fdMaster, &m_fdSlave, nullptr, nullptr, nullptr) == 0) {
                termios raw;
                ::tcgetattr(m_fdSlave, &raw);
                ::cfmakeraw(&raw);
                ::tcsetattr(m_fdSlave, TCSANOW, &raw);
                m_strPath = ::ttyname(m_fdSlave);
                StartReader(m_fdMaster);
            }
            m_listing.clear();
            bExisting = false;
            break;
        }
        case EWriteTarget::LongName:
            m_strPath = m_strFile =
                (m_folder / (std::string(250 - strName.size(), 'n') + strName)).string();
            m_listing = {fs::path(m_strPath).filename().string()};
            break;
    }
    if (bExisting) {
        WriteBytes(m_strFile, m_existing);
        ::chmod(m_strFile.c_str(), kind == EWriteTarget::ReadOnlyFile ? 0444 : 0640);
        struct stat st;
        ::stat(m_strFile.c_str(), &st);
        m_nInode = st.st_ino;
    }
    if (kind == EWriteTarget::HardLink) {
        fs::create_hard_link(m_strFile, m_strOther);
    } else if (kind == EWriteTarget::ReadOnlyFolder) {
        ::chmod(m_folder.c_str(), 0555);
    } else if (kind == EWriteTarget::OtherOwner && ::geteuid() == 0) {
        ::chown(m_strFile.c_str(), kOtherOwner, kOtherOwner);
    } else if (kind == EWriteTarget::Attributes) {
        m_bAttribute = ::setxattr(m_strFile.c_str(), kAttribute, "kept", 4, 0) == 0;
    }
    std::sort(m_listing.begin(), m_listing.end());
}

CWriteTarget::~CWriteTarget() {
    m_bWriterDone = true;
    if (m_reader.joinable()) {
        m_reader.join();
    }
    for (int fd : {m_fdMaster, m_fdSlave}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    ::chmod(m_folder.c_str(), 0755);
}

// Reads whatever arrives on fd until the writer closes it, or until the
// writer is done and nothing came for a while (a write that never opened it).
void CWriteTarget::StartReader(int fd) {
    m_reader = std::thread([this, fd] {
        int nQuiet = 0;
        uint8_t buf[65536];
        while (nQuiet < 3) {
            pollfd pfd{fd, POLLIN, 0};
            const int nReady = ::poll(&pfd, 1, 100);
            if (nReady <= 0) {
                nQuiet += m_bWriterDone ? 1 : 0;
                continue;
            }
            nQuiet = 0;
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                m_received.insert(m_received.end(), buf, buf + n);
            } else if (n == 0 || errno != EAGAIN) {
                break;  // end of the pipe, or the terminal hung up
            }
        }
        if (fd != m_fdMaster) {
            ::close(fd);
        }
    });
}

std::vector<std::string> CWriteTarget::Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(m_folder)) {
        names.push_back(e.path().filename().string());
    }
    if (fs::exists(m_elsewhere)) {
        for (const auto& e : fs::directory_iterator(m_elsewhere)) {
            names.push_back("elsewhere/" + e.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string CWriteTarget::Check(bool bSucceeded, const std::string& strError,
                                const std::vector<uint8_t>& expected) {
    m_bWriterDone = true;
    if (m_reader.joinable()) {
        m_reader.join();
    }
    if (bSucceeded != MustSucceed()) {
        return bSucceeded ? "the write was reported as done" : "the write failed: " + strError;
    }
    if (m_kind == EWriteTarget::Pty && m_fdMaster < 0) {
        return "";  // no terminal to be had here
    }
    if (Listing() != m_listing) {
        return "the folders hold other names than they should (a temporary left?)";
    }
    struct stat st = {};
    ::lstat(m_strFile.c_str(), &st);
    switch (m_kind) {
        case EWriteTarget::ReadOnlyFile:
            if (strError.find("Permission denied") == std::string::npos) {
                return "the error does not say \"Permission denied\": " + strError;
            }
            if (ReadBytes(m_strFile) != m_existing || (st.st_mode & 07777) != 0444) {
                return "the read-only file changed";
            }
            return "";
        case EWriteTarget::Fifo:
        case EWriteTarget::Pty:
            if (m_received != expected) {
                return "the reader got " + std::to_string(m_received.size()) + " bytes, not the " +
                       std::to_string(expected.size()) + " written";
            }
            if (m_kind == EWriteTarget::Fifo && !S_ISFIFO(st.st_mode)) {
                return "the FIFO is no longer a FIFO";
            }
            return "";
        default:
            break;
    }
    if (ReadBytes(m_strFile) != expected) {
        return "the bytes are not in " + m_strFile;
    }
    if (m_strPath != m_strFile && !fs::is_symlink(m_strPath)) {
        return "the link is no longer a link";
    }
    if (m_kind == EWriteTarget::HardLink) {
        struct stat other;
        ::stat(m_strOther.c_str(), &other);
        if (ReadBytes(m_strOther) != expected || other.st_ino != st.st_ino) {
            return "the other name of the hard link does not see the new bytes";
        }
    }
    if (m_kind == EWriteTarget::ReadOnlyFolder && st.st_ino != m_nInode) {
        return "the file in the read-only folder was replaced, not rewritten";
    }
    if (m_kind != EWriteTarget::NewFile && m_kind != EWriteTarget::DanglingSymlink &&
        (st.st_mode & 07777) != 0640) {
        return "the mode was not kept";
    }
    if (m_kind == EWriteTarget::OtherOwner && ::geteuid() == 0 &&
        (st.st_uid != kOtherOwner || st.st_gid != kOtherOwner)) {
        return "owner and group were not kept";
    }
    char value[8] = {};
    if (m_bAttribute && ::getxattr(m_strFile.c_str(), kAttribute, value, sizeof value) != 4) {
        return "the extended attribute was lost";
    }
    return "";
}
