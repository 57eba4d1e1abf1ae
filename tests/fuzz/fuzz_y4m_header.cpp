// Feeds arbitrary bytes to the YUV4MPEG2 reader: the header line, then the
// frames, strict and dropping a partial last frame.
#include <cstdio>
#include <cstdlib>

#include "FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string strBroken = fuzzchecks::CheckY4m(pData, nSize);
    if (!strBroken.empty()) {
        std::fprintf(stderr, "CheckY4m: %s\n", strBroken.c_str());
        std::abort();
    }
    return 0;
}
