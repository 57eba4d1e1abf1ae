#pragma once
// Growable in-memory byte file. The codec writes its record stream and its
// compressed stream through it and reads them back the same way.
//
// Ownership: a buffer the file allocates itself (malloc) is freed by the file
// unless Detach() hands it to the caller, who then releases it with free().
// A buffer given to Attach() stays the caller's and is never freed by the file.

#include <cstdint>

class CMemFile {
public:
    // nGrowBytes is the smallest step by which the buffer grows; larger steps
    // are taken as the file gets bigger so that appending stays linear.
    explicit CMemFile(uint32_t nGrowBytes = 1024);
    ~CMemFile();
    CMemFile(const CMemFile&) = delete;
    CMemFile& operator=(const CMemFile&) = delete;

    // Wraps nSize bytes of pBuffer (length nSize, position 0). With nGrowBytes 0
    // the file cannot grow beyond the buffer; otherwise growing copies the data
    // into a buffer of the file's own and leaves pBuffer untouched.
    void Attach(uint8_t* pBuffer, uint32_t nSize, uint32_t nGrowBytes = 0);
    // Hands the buffer to the caller (nullptr for a file that never held one) and
    // leaves the file empty. The caller frees a buffer the file allocated.
    uint8_t* Detach();

    // Appends at the current position (overwriting what lies there) and moves past
    // the bytes. False when the file cannot grow (no memory, fixed attached buffer,
    // or more than 4 GiB); nothing is written then.
    bool Write(const void* pBuffer, uint32_t nCount);
    bool WriteByte(uint8_t by) { return Write(&by, 1); }
    // Bytes delivered: fewer than asked at the end, 0 there.
    uint32_t Read(void* pBuffer, uint32_t nCount);
    // Absolute position from the start; may lie past the end (reads then give 0).
    void Seek(uint32_t nPosition) { m_nPosition = nPosition; }
    uint32_t GetPosition() const { return m_nPosition; }
    uint32_t GetLength() const { return m_nLength; }
    // Direct access to the contents (nullptr while empty).
    const uint8_t* GetBuffer() const { return m_pBuffer; }

private:
    bool Reserve(uint64_t nNeeded);
    void Release();

    uint8_t* m_pBuffer = nullptr;
    uint32_t m_nCapacity = 0;
    uint32_t m_nLength = 0;
    uint32_t m_nPosition = 0;
    uint32_t m_nGrowBytes;
    bool m_bAttached = false;  // m_pBuffer belongs to the caller
};
