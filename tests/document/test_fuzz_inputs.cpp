// Replays the fuzz targets' seed inputs and every input a fuzzer once broke
// (tests/fuzz/regressions/<target>/) through the same checks the targets make,
// so the normal suite keeps them fixed.
#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/FuzzChecks.h"

namespace {

namespace fs = std::filesystem;
using Check = std::string (*)(const uint8_t*, size_t);

// Runs every file of the target's seed and regression folders; returns how many.
int Replay(const std::string& strTarget, Check check) {
    int nRun = 0;
    for (const char* folder : {"corpus", "regressions"}) {
        const fs::path dir = fs::path(TAVRO_SOURCE_DIR) / "tests/fuzz" / folder / strTarget;
        if (!fs::is_directory(dir)) {
            continue;
        }
        for (const auto& entry : fs::directory_iterator(dir)) {
            const auto bytes = fuzzchecks::ReadAll(entry.path().string());
            EXPECT_EQ(check(bytes.data(), bytes.size()), "") << entry.path();
            ++nRun;
        }
    }
    return nRun;
}

}  // namespace

TEST(FuzzInputs, EveryKeptInputPassesItsTargetsChecks) {
    struct Target {
        const char* name;
        Check check;
    } const targets[] = {
        {"fuzz_decompress", fuzzchecks::CheckDecompress},
        {"fuzz_document_open", fuzzchecks::CheckDocumentOpen},
        {"fuzz_compare_streams", fuzzchecks::CheckCompareStreams},
        {"fuzz_y4m_header", fuzzchecks::CheckY4m},
    };
    for (const auto& t : targets) {
        EXPECT_GE(Replay(t.name, t.check), 5) << t.name << ": seed inputs missing";
    }
}
