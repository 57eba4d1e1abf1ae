#pragma once
// Writes an output where the user pointed without ever destroying data.
//
// Open() follows symbolic links to the file they name (a dangling link gets
// its target created) and chooses how the bytes travel:
//   - a pipe, FIFO, terminal, device or socket: written directly, as they come;
//   - a new file, or a regular file with one link whose owner, group and
//     extended attributes (ACLs) a new file can carry, in a folder that may be
//     changed: a hidden temporary ".tavro-XXXXXX" beside it, renamed over it by
//     Commit() once everything was written and flushed to the disk;
//   - any other existing file (more links, a read-only folder, an owner that
//     cannot be given): the bytes are collected in a scratch file elsewhere and
//     Commit() rewrites the file in place, so it keeps its identity and names.
// A file without write permission is refused ("Permission denied"), also for
// the superuser when none of its write bits is set.
//
// An existing file is untouched until Commit() starts, and a failure before
// then leaves it as it was; the space an in-place rewrite needs is checked
// first, so only a device failing halfway can leave it damaged (the error
// says so). A writer destroyed without a successful Commit() leaves no
// temporary file. A temporary left by a killed process is never a stream file
// (hidden, no extension) and is removed by the next write into its folder.

#include <sys/types.h>

#include <cstdint>
#include <string>

class CSafeFileWriter {
public:
    enum class EMode { None, Direct, Replace, InPlace };

    CSafeFileWriter() = default;
    ~CSafeFileWriter();  // abandons an uncommitted write
    CSafeFileWriter(const CSafeFileWriter&) = delete;
    CSafeFileWriter& operator=(const CSafeFileWriter&) = delete;

    // Prepares the write to strTarget. False, with GetError() naming the file,
    // when it cannot be written: missing folder, a parent that is a file, a
    // folder, no permission, a FIFO whose open was cancelled...
    bool Open(const std::string& strTarget);
    // Writes straight to an already open descriptor (stdout), which stays open;
    // strName names it in messages.
    bool OpenDescriptor(int fd, const std::string& strName);

    // Set before Open(): a direct target (pipe, FIFO, device, stdout) gets
    // nothing until SendHeld(); the bytes wait in an unnamed temporary file.
    // A failed or cancelled write then leaves every kind of target untouched,
    // and WriteAt() works in every mode.
    void SetHoldDirect(bool bHold) { m_bHoldDirect = bHold; }

    bool Write(const void* pBuffer, uint64_t nCount);
    // Overwrites nCount of the bytes Write() wrote, nAt bytes past the first
    // (a length known only at the end). Fails on a direct target that is not
    // held: its bytes are gone.
    bool WriteAt(uint64_t nAt, const void* pBuffer, uint64_t nCount);
    // A held direct write: sends what was written to the target, waiting for a
    // slow reader as long as the cancel check allows. Nothing to do otherwise;
    // Commit() does it when it was not called.
    bool SendHeld();
    // Completes the write. False leaves a replaced or rewritten file as it was,
    // unless GetError() says the file may be incomplete.
    bool Commit();
    // Drops the write; an existing file is untouched (direct writes cannot be
    // taken back).
    void Abandon();

    // Asked while a write waits (a FIFO without reader, a slow pipe) and just
    // before Commit() changes anything: true stops the write as failed.
    // Must be safe to call at any time; null (the default) never stops. Set it
    // before Open(): without it a FIFO that no program reads is refused at once
    // rather than waited for.
    void SetCancelCheck(bool (*pfnCancelled)()) { m_pfnCancelled = pfnCancelled; }

    EMode GetMode() const { return m_mode; }
    // Human-readable reason for the last failure, naming the file.
    const std::string& GetError() const { return m_strError; }

private:
    bool Fail(const std::string& strWhat, int nErr);
    bool Cancelled() const { return m_pfnCancelled && m_pfnCancelled(); }
    bool OpenDirect(const std::string& strPath);
    bool OpenReplace(const std::string& strFolder, const std::string& strFinal,
                     const struct stat* pExisting);
    bool OpenInPlace(const std::string& strPath);
    bool StartHeld();
    bool WriteAll(int fd, const uint8_t* p, uint64_t nCount);
    bool CommitReplace();
    bool CommitInPlace();

    EMode m_mode = EMode::None;
    int m_fd = -1;         // where Write() puts the bytes
    bool m_bOwnFd = true;  // false for OpenDescriptor()
    int m_fdTarget = -1;   // in-place: the target itself
    int m_fdHeld = -1;     // held direct write: the unnamed file Write() fills
    bool m_bHoldDirect = false;
    int m_fdFolder = -1;      // replace: the target's folder
    bool m_bNamed = false;    // replace: the temporary has a name in the folder
    std::string m_strTarget;  // as the caller named it, for messages
    std::string m_strFinal;   // replace: the name inside the folder to rename over
    std::string m_strTemp;    // replace: the temporary's name inside the folder
    uint64_t m_nWritten = 0;
    uint64_t m_nStartedBack = 0;  // bytes whose writeback was started
    bool (*m_pfnCancelled)() = nullptr;
    std::string m_strError;
};

// Follows symbolic links from strPath to the name they finally stand for,
// which need not exist yet. False with errno set (a loop, an unreadable link).
bool ResolveLinks(std::string& strPath);

// One-shot helper: writes nCount bytes to strTarget through a CSafeFileWriter.
bool WriteFileSafely(const std::string& strTarget, const void* pBuffer, uint64_t nCount,
                     std::string* pError);
