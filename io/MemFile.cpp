#include "io/MemFile.h"

#include <cstdlib>
#include <cstring>

CMemFile::CMemFile(uint32_t nGrowBytes) : m_nGrowBytes(nGrowBytes == 0 ? 1 : nGrowBytes) {}

CMemFile::~CMemFile() {
    Release();
}

void CMemFile::Release() {
    if (!m_bAttached) {
        std::free(m_pBuffer);
    }
    m_pBuffer = nullptr;
    m_nCapacity = m_nLength = m_nPosition = 0;
    m_bAttached = false;
}

void CMemFile::Attach(uint8_t* pBuffer, uint32_t nSize, uint32_t nGrowBytes) {
    Release();
    m_pBuffer = pBuffer;
    m_nCapacity = m_nLength = nSize;
    m_nGrowBytes = nGrowBytes;
    m_bAttached = true;
}

uint8_t* CMemFile::Detach() {
    uint8_t* p = m_pBuffer;
    m_pBuffer = nullptr;
    m_bAttached = false;
    Release();
    return p;
}

bool CMemFile::Reserve(uint64_t nNeeded) {
    if (nNeeded <= m_nCapacity) {
        return true;
    }
    if (nNeeded > UINT32_MAX || m_nGrowBytes == 0) {
        return false;
    }
    // Grow by at least the increment and at least half again, rounded to the increment.
    uint64_t nNew = m_nCapacity + (m_nCapacity >> 1);
    if (nNew < nNeeded) {
        nNew = nNeeded;
    }
    nNew = (nNew + m_nGrowBytes - 1) / m_nGrowBytes * m_nGrowBytes;
    if (nNew > UINT32_MAX) {
        nNew = UINT32_MAX;
    }
    uint8_t* p;
    if (m_bAttached) {
        p = static_cast<uint8_t*>(std::malloc(nNew));
        if (p && m_nLength) {
            std::memcpy(p, m_pBuffer, m_nLength);
        }
    } else {
        p = static_cast<uint8_t*>(std::realloc(m_pBuffer, nNew));
    }
    if (!p) {
        return false;
    }
    m_pBuffer = p;
    m_nCapacity = static_cast<uint32_t>(nNew);
    m_bAttached = false;
    return true;
}

bool CMemFile::Write(const void* pBuffer, uint32_t nCount) {
    if (nCount == 0) {
        return true;
    }
    uint64_t nEnd = static_cast<uint64_t>(m_nPosition) + nCount;
    if (!Reserve(nEnd)) {
        return false;
    }
    if (m_nPosition > m_nLength) {
        std::memset(m_pBuffer + m_nLength, 0, m_nPosition - m_nLength);
    }
    std::memcpy(m_pBuffer + m_nPosition, pBuffer, nCount);
    m_nPosition = static_cast<uint32_t>(nEnd);
    if (m_nPosition > m_nLength) {
        m_nLength = m_nPosition;
    }
    return true;
}

uint32_t CMemFile::Read(void* pBuffer, uint32_t nCount) {
    if (m_nPosition >= m_nLength) {
        return 0;
    }
    uint32_t nAvail = m_nLength - m_nPosition;
    uint32_t n = nCount < nAvail ? nCount : nAvail;
    std::memcpy(pBuffer, m_pBuffer + m_nPosition, n);
    m_nPosition += n;
    return n;
}
