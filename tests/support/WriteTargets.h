#pragma once
// The places a user may point an output at, each made afresh in a folder of
// its own, and the check of where the bytes went and what stayed untouched.
// Shared by the Save Output and the tavro-cli tables.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

enum class EWriteTarget {
    NewFile,
    Regular,           // replaced by a new file of the same mode
    Symlink,           // the file it names is written, the link stays
    DanglingSymlink,   // the file it names is created
    SymlinkElsewhere,  // into another folder
    HardLink,          // both names see the new bytes
    Fifo,              // with a reader: the bytes go into the pipe
    Pty,               // a terminal made for the test, in raw mode
    ReadOnlyFile,      // refused with "Permission denied", untouched
    ReadOnlyFolder,    // the writable file in it is rewritten in place
    LongName,          // 250 bytes, no room for a temporary suffix
    OtherOwner,        // owner and group kept (when the test may chown)
    Attributes,        // extended attributes kept (where the file system has them)
};

struct SWriteTargetRow {
    EWriteTarget kind;
    const char* szName;
};
const std::vector<SWriteTargetRow>& WriteTargetRows();

class CWriteTarget {
public:
    // Makes the target in a fresh folder below dir; strExt is the extension
    // the output's name needs ("qcf").
    CWriteTarget(EWriteTarget kind, const std::filesystem::path& dir, const std::string& strExt);
    ~CWriteTarget();
    CWriteTarget(const CWriteTarget&) = delete;
    CWriteTarget& operator=(const CWriteTarget&) = delete;

    // The name to hand the writer.
    const std::string& Path() const { return m_strPath; }
    // Whether the write must succeed there.
    bool MustSucceed() const { return m_kind != EWriteTarget::ReadOnlyFile; }
    // After the write: empty when its outcome is right, else what is wrong.
    // strError is the message of a failed write; expected what it writes.
    std::string Check(bool bSucceeded, const std::string& strError,
                      const std::vector<uint8_t>& expected);

private:
    void StartReader(int fd);
    std::vector<std::string> Listing() const;

    EWriteTarget m_kind;
    std::filesystem::path m_folder, m_elsewhere;
    std::string m_strPath;               // what the user names
    std::string m_strFile;               // where the bytes must end up
    std::string m_strOther;              // the other name of a hard link
    std::vector<std::string> m_listing;  // what both folders must hold afterwards
    std::vector<uint8_t> m_existing;
    uint64_t m_nInode = 0;
    bool m_bAttribute = false;
    int m_fdMaster = -1, m_fdSlave = -1;
    std::thread m_reader;
    std::atomic<bool> m_bWriterDone{false};
    std::vector<uint8_t> m_received;
};
