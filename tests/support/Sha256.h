#pragma once
// SHA-256 digests for tests that pin outputs byte for byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CSha256 {
public:
    CSha256();
    void Add(const void* pData, size_t nBytes);
    // Lower-case hex of the digest; the object must not be used afterwards.
    std::string HexDigest();

private:
    void Block(const uint8_t* p);

    uint32_t m_anState[8];
    uint8_t m_abyBlock[64];
    size_t m_nBlockFill = 0;
    uint64_t m_nTotal = 0;
};

std::string Sha256Hex(const void* pData, size_t nBytes);
inline std::string Sha256Hex(const std::vector<uint8_t>& data) {
    return Sha256Hex(data.data(), data.size());
}
