// Compares two raw streams built from arbitrary bytes, frame by frame and as a
// whole.
#include <cstdio>
#include <cstdlib>

#include "FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string strBroken = fuzzchecks::CheckCompareStreams(pData, nSize);
    if (!strBroken.empty()) {
        std::fprintf(stderr, "CheckCompareStreams: %s\n", strBroken.c_str());
        std::abort();
    }
    return 0;
}
