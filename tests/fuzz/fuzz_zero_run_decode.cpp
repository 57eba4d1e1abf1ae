// Feeds arbitrary records to the zero-run decoder into a buffer of exactly the
// capacity given (so any write past it is caught), record after record; then
// checks that the input itself survives an encode and decode.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/ZeroRun.h"
#include "io/MemFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 2 || nSize > 1u << 20) {
        return 0;
    }
    // The first two bytes choose the output capacity.
    const uint32_t nCapacity = pData[0] | pData[1] << 8;
    std::vector<uint8_t> stream(pData + 2, pData + nSize);
    CMemFile records;
    records.Attach(stream.data(), static_cast<uint32_t>(stream.size()));
    uint8_t* pOutput = static_cast<uint8_t*>(std::malloc(nCapacity ? nCapacity : 1));
    for (;;) {
        const uint32_t nBefore = records.GetPosition();
        uint32_t nDecoded = UINT32_MAX;
        const ZeroRunResult result = DecodeZeroRuns(records, pOutput, nCapacity, &nDecoded);
        if (nDecoded > nCapacity || records.GetPosition() > records.GetLength()) {
            abort();
        }
        if (result != ZeroRunResult::Ok) {
            break;
        }
        if (records.GetPosition() < nBefore + 4) {
            abort();
        }
    }
    std::free(pOutput);

    CMemFile coded(1);
    if (!EncodeZeroRuns(coded, pData, static_cast<uint32_t>(nSize))) {
        abort();
    }
    coded.Seek(0);
    std::vector<uint8_t> back(nSize);
    uint32_t nBack = 0;
    if (DecodeZeroRuns(coded, back.data(), static_cast<uint32_t>(nSize), &nBack) !=
            ZeroRunResult::Ok ||
        nBack != nSize || std::memcmp(back.data(), pData, nSize) != 0 ||
        coded.GetPosition() != coded.GetLength()) {
        abort();
    }
    return 0;
}
