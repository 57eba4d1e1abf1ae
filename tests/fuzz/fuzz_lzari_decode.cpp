// Feeds arbitrary bytes to the LZARI decoder. Whatever it accepts must have
// the stored length, and re-encoding it must decode back to the same text.
// The streaming decoder, fed a few bytes a read into small buffers, must come
// to the same result and the same text.
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
CLzariCoder g_streamer;

// A few bytes a read, from a private copy of the input.
struct CFewBytes : ILzariCodeSource {
    const std::vector<uint8_t>& code;
    size_t nAt = 0;
    explicit CFewBytes(const std::vector<uint8_t>& c) : code(c) {}
    uint32_t ReadCode(uint8_t* pDst, uint32_t nMax) override {
        size_t n = 1 + nAt % 23;
        n = n < nMax ? n : nMax;
        n = n < code.size() - nAt ? n : code.size() - nAt;
        if (n == 0) {
            return 0;
        }
        std::memcpy(pDst, code.data() + nAt, n);
        nAt += n;
        return static_cast<uint32_t>(n);
    }
};

// The streaming decoding's result; its text is appended to `text`.
LzariResult DecodeStreaming(const std::vector<uint8_t>& input, std::vector<uint8_t>& text) {
    CFewBytes source(input);
    uint32_t nLength = 0;
    LzariResult r = g_streamer.LzariStreamBegin(source, kMaxText, &nLength, 100, 100);
    while (r == LzariResult::Ok) {
        const uint8_t* p = nullptr;
        uint32_t n = 0;
        r = g_streamer.LzariStreamNext(&p, &n);
        if (r != LzariResult::Ok || n == 0) {
            break;
        }
        text.insert(text.end(), p, p + n);
    }
    g_streamer.LzariStreamEnd();
    return r;
}
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
    std::vector<uint8_t> streamed;
    if (DecodeStreaming(input, streamed) != result ||
        (result == LzariResult::Ok &&
         (streamed.size() != nLength || std::memcmp(streamed.data(), pText, nLength) != 0))) {
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
