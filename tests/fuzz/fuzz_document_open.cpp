// Feeds arbitrary bytes to the document as a .qcf, .cmp or unknown file, then
// to Decompress and Save Output.
#include <cstdio>
#include <cstdlib>

#include "FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string strBroken = fuzzchecks::CheckDocumentOpen(pData, nSize);
    if (!strBroken.empty()) {
        std::fprintf(stderr, "CheckDocumentOpen: %s\n", strBroken.c_str());
        std::abort();
    }
    return 0;
}
