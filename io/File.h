#pragma once
// Plain binary file with the few operations the document, the comparison and
// the command line need. Failures are reported by return values, never thrown.

#include <cstdint>
#include <string>

class CFile {
public:
    enum OpenFlags {
        modeRead,         // existing file, read only
        modeCreateWrite,  // binary, create or truncate, write only
    };

    CFile() = default;
    ~CFile();  // closes the file if still open
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Returns false (and leaves the object closed) when the file cannot be opened.
    // GetError() then describes why.
    bool Open(const std::string& strPath, OpenFlags nFlags);
    bool IsOpen() const { return m_fd >= 0; }

    // Number of bytes actually read: fewer than asked at the end of the file, 0 on error.
    uint32_t Read(void* pBuffer, uint32_t nCount);
    // Writes all bytes or returns false.
    bool Write(const void* pBuffer, uint32_t nCount);
    // Moves to an absolute offset from the start.
    bool Seek(uint64_t nOffset);
    uint64_t GetLength() const;
    // Flushes to the disk. Returns false if anything written did not reach it.
    bool Flush();
    // Returns false when closing reported a write error.
    bool Close();

    // Description of the last failure (e.g. "No such file or directory").
    const std::string& GetError() const { return m_strError; }

private:
    bool Fail();
    int m_fd = -1;
    std::string m_strError;
};

// File name without its folder ("a/b/clip.qcf" -> "clip.qcf").
std::string FileNameOf(const std::string& strPath);
