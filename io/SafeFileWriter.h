#pragma once
// Writes a file so that a failure never destroys data: the bytes go to a
// temporary file beside the target, which replaces the target only after
// everything was written and flushed. Until Commit() succeeds the target is
// untouched; a writer destroyed without a successful Commit() removes its
// temporary file.

#include <cstdint>
#include <string>

class CSafeFileWriter {
public:
    CSafeFileWriter() = default;
    ~CSafeFileWriter();  // abandons an uncommitted write
    CSafeFileWriter(const CSafeFileWriter&) = delete;
    CSafeFileWriter& operator=(const CSafeFileWriter&) = delete;

    // Creates the temporary file beside strTarget. False if it cannot be created
    // (missing folder, a parent that is a file, a target that is a folder...).
    bool Open(const std::string& strTarget);
    bool Write(const void* pBuffer, uint64_t nCount);
    // Flushes, closes and renames over the target. False leaves the target as it was.
    bool Commit();
    // Removes the temporary file; the target is untouched.
    void Abandon();

    // Human-readable reason for the last failure, naming the file.
    const std::string& GetError() const { return m_strError; }

private:
    bool Fail(const std::string& strWhat, int nErr);
    int m_fd = -1;
    std::string m_strTarget;
    std::string m_strTemp;
    std::string m_strError;
};

// One-shot helper: writes nCount bytes to strTarget through a CSafeFileWriter.
bool WriteFileSafely(const std::string& strTarget, const void* pBuffer, uint64_t nCount,
                     std::string* pError);
