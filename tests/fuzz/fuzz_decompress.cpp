// Feeds arbitrary bytes to the whole decompression of a compressed stream:
// header, LZARI layer, frame records and frames.
#include <cstdio>
#include <cstdlib>

#include "FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string strBroken = fuzzchecks::CheckDecompress(pData, nSize);
    if (!strBroken.empty()) {
        std::fprintf(stderr, "CheckDecompress: %s\n", strBroken.c_str());
        std::abort();
    }
    return 0;
}
