#pragma once
// Raw QCIF streams and YUV4MPEG2 files read frame by frame from a file or from
// standard input ("-"), and the byte reader under them. See FrameSource.h for
// the contract every source keeps.

#include <cstdint>
#include <memory>
#include <string>

#include "stream/FrameSource.h"

// Buffered reading of a file or of standard input. A regular file can skip
// forward by seeking; anything else (pipe, FIFO, terminal) is read through.
class CByteReader {
public:
    CByteReader() = default;
    ~CByteReader();
    CByteReader(const CByteReader&) = delete;
    CByteReader& operator=(const CByteReader&) = delete;

    // "-" reads standard input (left open afterwards). False with GetError().
    bool Open(const std::string& strPath);
    // Reads up to nCount bytes, fewer only at the end of the input or on an
    // error (Failed() then tells).
    uint64_t Read(void* pBuffer, uint64_t nCount);
    // Passes over nCount bytes; returns how many were passed over.
    uint64_t Skip(uint64_t nCount);
    // One line without its newline; false when no newline comes within nMax
    // bytes or at the end of the input (nothing consumed then but what was read).
    bool ReadLine(std::string& strLine, size_t nMax);
    // Bytes left when the input is a regular file (0 otherwise, or unknown).
    uint64_t BytesLeft() const;
    bool IsRegular() const { return m_bRegular; }
    bool Failed() const { return !m_strError.empty(); }
    const std::string& GetError() const { return m_strError; }
    const std::string& Name() const { return m_strName; }

private:
    bool Fill();
    int m_fd = -1;
    bool m_bOwned = false;
    bool m_bRegular = false;
    bool m_bEof = false;
    uint64_t m_nSize = 0;      // length of a regular file
    uint64_t m_nPosition = 0;  // bytes consumed so far
    std::string m_strName;
    std::string m_strError;
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_nStart = 0, m_nEnd = 0;  // buffered bytes not yet consumed
};

std::unique_ptr<IFrameSource> OpenRawSource(const std::string& strPath, std::string* pError);
std::unique_ptr<IFrameSource> OpenY4mSource(const std::string& strPath, std::string* pError);
