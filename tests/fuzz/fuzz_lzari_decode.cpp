// Feeds arbitrary bytes to the LZARI decoder. Whatever it accepts must have
// the stored length, and re-encoding it must decode back to the same text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "io/MemFile.h"
#include "lzari/Lzari.h"

namespace {
// Bounds the output so that a huge stored length cannot exhaust memory.
constexpr uint32_t kMaxText = 1u << 20;
CLzariCoder g_coder;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize > 1u << 24) {
        return 0;
    }
    // A private copy, so that a read past the input is caught.
    std::vector<uint8_t> input(pData, pData + nSize);
    CMemFile in;
    in.Attach(input.data(), static_cast<uint32_t>(input.size()));
    uint8_t* pText = nullptr;
    uint32_t nLength = 0;
    const LzariResult result = g_coder.LzariDecode(in, kMaxText, &pText, &nLength);
    if (in.GetPosition() > in.GetLength()) {
        abort();
    }
    if (result != LzariResult::Ok) {
        if (pText != nullptr) {
            abort();
        }
        return 0;
    }
    uint32_t nStored;
    std::memcpy(&nStored, input.data(), 4);  // little-endian host
    if (nLength != nStored || nLength == 0 || nLength > kMaxText) {
        abort();
    }

    CMemFile out(1);
    if (!g_coder.LzariEncode(pText, nLength, out)) {
        abort();
    }
    out.Seek(0);
    uint8_t* pAgain = nullptr;
    uint32_t nAgain = 0;
    if (g_coder.LzariDecode(out, kMaxText, &pAgain, &nAgain) != LzariResult::Ok ||
        nAgain != nLength || std::memcmp(pAgain, pText, nLength) != 0) {
        abort();
    }
    std::free(pAgain);
    std::free(pText);
    return 0;
}
