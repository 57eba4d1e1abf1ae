// tavro-cli sample and info, and the sample clip they rest on.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "CliRunner.h"
#include "io/QcifFormat.h"
#include "stream/SampleClip.h"
#include "support/TestFiles.h"

namespace {

std::vector<uint8_t> Frame(const std::vector<uint8_t>& clip, size_t n) {
    auto first = clip.begin() + static_cast<std::ptrdiff_t>(n * QCIF_FRAME_BYTES);
    return std::vector<uint8_t>(first, first + QCIF_FRAME_BYTES);
}

double MeanAbsDiff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        sum += std::abs(int(a[i]) - int(b[i]));
    }
    return sum / static_cast<double>(a.size());
}

TEST(SampleClip, DeterministicPrefixWrittenByTheTool) {
    CTempDir dir;
    std::string a = dir.File("a.qcf"), b = dir.File("b.QCF");
    ASSERT_EQ(RunCli({"sample", a, "--frames", "5"}).nStatus, 0);
    CliResult r = RunCli({"sample", b, "-n", "3", "-q"});
    ASSERT_EQ(r.nStatus, 0);
    EXPECT_EQ(r.strErr, "");  // quiet
    std::vector<uint8_t> clipA = ReadBytes(a), clipB = ReadBytes(b);
    ASSERT_EQ(clipA.size(), 5u * QCIF_FRAME_BYTES);
    ASSERT_EQ(clipB.size(), 3u * QCIF_FRAME_BYTES);
    EXPECT_TRUE(std::equal(clipB.begin(), clipB.end(), clipA.begin()));
    // The file holds exactly what the core renders.
    std::vector<uint8_t> frame(QCIF_FRAME_BYTES);
    RenderSampleFrame(4, frame.data());
    EXPECT_EQ(Frame(clipA, 4), frame);
}

TEST(SampleClip, LooksLikeVideo) {
    // Plausible picture statistics: full use of the luma range without clipping
    // everywhere, colour in the chroma planes, and motion between frames that is
    // small from one frame to the next but grows over time.
    std::vector<uint8_t> f0(QCIF_FRAME_BYTES), f1(QCIF_FRAME_BYTES), f60(QCIF_FRAME_BYTES);
    RenderSampleFrame(0, f0.data());
    RenderSampleFrame(1, f1.data());
    RenderSampleFrame(60, f60.data());
    auto yBegin = f0.begin(), yEnd = f0.begin() + QCIF_Y_BYTES;
    auto [yMin, yMax] = std::minmax_element(yBegin, yEnd);
    EXPECT_LT(*yMin, 60);
    EXPECT_GT(*yMax, 180);
    EXPECT_GE(*yMin, 1);  // not a clipped picture
    auto uMinMax = std::minmax_element(f0.begin() + QCIF_U_OFFSET, f0.begin() + QCIF_V_OFFSET);
    auto vMinMax = std::minmax_element(f0.begin() + QCIF_V_OFFSET, f0.end());
    EXPECT_GT(*uMinMax.second - *uMinMax.first, 30);  // blue sky against green grass
    EXPECT_GT(*vMinMax.second - *vMinMax.first, 20);
    double dNear = MeanAbsDiff(f0, f1);
    double dFar = MeanAbsDiff(f0, f60);
    EXPECT_GT(dNear, 0.5);
    EXPECT_LT(dNear, 6.0);
    EXPECT_GT(dFar, 2.0 * dNear);
}

TEST(CliInfo, RawAndCompressedFiles) {
    CTempDir dir;
    std::vector<uint8_t> raw(QCIF_FRAME_BYTES * 3 + 100, 7);
    WriteBytes(dir.File("three.qcf"), raw);
    ASSERT_EQ(RunCli({"sample", dir.File("ten.qcf"), "-n", "10", "-q"}).nStatus, 0);
    ASSERT_EQ(RunCli({"compress", dir.File("ten.qcf"), dir.File("ten.CMP"), "-t", "5", "--quiet"})
                  .nStatus,
              0);
    const double dBytes = double(ReadBytes(dir.File("ten.CMP")).size());
    auto fixed = [](double d) {
        char sz[32];
        std::snprintf(sz, sizeof sz, "%.2f", d);
        return std::string(sz);
    };

    CliResult r = RunCli({"info", dir.File("three.qcf")});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    auto lines = SplitLines(r.strOut);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "frames: 3"), lines.end()) << r.strOut;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "bytes: 114148"), lines.end()) << r.strOut;

    // The rate in every unit, each ratio saying what it is against.
    r = RunCli({"info", dir.File("ten.CMP"), "--fps", "25"});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    lines = SplitLines(r.strOut);
    for (const std::string& want : std::vector<std::string>{
             "frames: 10", "threshold: 5", "quantiser: 16", "bytes: " + std::to_string(int(dBytes)),
             "bytes per frame: " + fixed(dBytes / 10),
             "kb/s at 25 fps: " + fixed(dBytes * 8 * 25 / 10 / 1000),
             "raw ratio: " + fixed(380160 / dBytes) +
                 " (raw 4:2:0 frames, 38016 bytes each, to the stream)",
             "compression ratio: " + fixed(760320 / dBytes) +
                 " (the desktop summary's: frames as 24-bit RGB, 76032 bytes each, to the "
                 "stream)"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end()) << want << r.strOut;
    }

    r = RunCli({"info", "--json", dir.File("ten.CMP")});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    JsonValue j = ParseJson(r.strOut);
    EXPECT_EQ(j["type"].text, "cmp");
    EXPECT_EQ(j["frames"].number, 10);
    EXPECT_EQ(j["bytes"].number, dBytes);
    EXPECT_EQ(j["threshold"].number, 5);
    EXPECT_EQ(j["quantiser"].number, 16);
    EXPECT_DOUBLE_EQ(j["compression_ratio"].number, 760320.0 / dBytes);
    EXPECT_DOUBLE_EQ(j["rgb_ratio"].number, 760320.0 / dBytes);
    EXPECT_DOUBLE_EQ(j["raw_ratio"].number, 380160.0 / dBytes);
    EXPECT_DOUBLE_EQ(j["bits_per_pixel"].number, dBytes * 8 / (10 * 25344.0));
    EXPECT_DOUBLE_EQ(j["kbps"].number, dBytes * 8 * 30 / 10 / 1000);

    r = RunCli({"info", dir.File("three.qcf"), "--json"});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    j = ParseJson(r.strOut);
    EXPECT_EQ(j["type"].text, "qcf");
    EXPECT_EQ(j["frames"].number, 3);
    EXPECT_EQ(j["trailing_bytes"].number, 100);
}

TEST(CliInfo, InvalidFilesFailWithOneLine) {
    CTempDir dir;
    ASSERT_EQ(RunCli({"sample", dir.File("two.qcf"), "-n", "2", "-q"}).nStatus, 0);
    ASSERT_EQ(RunCli({"compress", dir.File("two.qcf"), dir.File("two.cmp"), "--quiet"}).nStatus, 0);
    const std::vector<uint8_t> good = ReadBytes(dir.File("two.cmp"));
    WriteBytes(dir.File("cut.cmp"), std::vector<uint8_t>(good.begin(), good.end() - 40));
    std::vector<uint8_t> zeros = {0x0A, 0x00, 0x05, 0x10};
    zeros.resize(3801, 0);  // a plausible header and nothing behind it
    WriteBytes(dir.File("zeros.cmp"), zeros);
    WriteBytes(dir.File("short.qcf"), std::vector<uint8_t>(QCIF_FRAME_BYTES - 1, 0));
    WriteBytes(dir.File("short.cmp"), {0x01, 0x00, 0x0A});
    WriteBytes(dir.File("zero.cmp"), {0x00, 0x00, 0x0A, 0x10, 1, 2, 3});
    WriteBytes(dir.File("noq.cmp"), {0x01, 0x00, 0x0A, 0x00, 1, 2, 3});
    WriteBytes(dir.File("clip.bin"), std::vector<uint8_t>(QCIF_FRAME_BYTES, 0xC3));
    struct {
        const char* szName;
        const char* szWhy;
    } const cases[] = {
        {"short.qcf", "no whole frame"}, {"short.cmp", "too short"},
        {"zero.cmp", "frame count"},     {"noq.cmp", "quantiser"},
        {"clip.bin", "as video"},        {"missing.qcf", "No such file"},
        {"cut.cmp", "truncated"},        {"zeros.cmp", "no frame data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szName);
        CliResult r = RunCli({"info", dir.File(c.szName), "--json"});
        EXPECT_EQ(r.nStatus, 1);
        EXPECT_EQ(r.strOut, "");
        EXPECT_NE(r.strErr.find(c.szWhy), std::string::npos) << r.strErr;
        EXPECT_EQ(SplitLines(r.strErr).size(), 1u);
    }
}

TEST(CliSample, RefusedOutputsLeaveFilesAlone) {
    CTempDir dir;
    std::vector<uint8_t> keep(1000, 0x5A);
    WriteBytes(dir.File("keep.cmp"), keep);
    std::filesystem::create_directory(dir.Path() / "folder.qcf");
    for (auto args : std::vector<std::vector<std::string>>{
             {"sample", dir.File("keep.cmp")},
             {"sample", dir.File("folder.qcf")},
             {"sample", dir.File("no/such/dir.qcf")},
         }) {
        CliResult r = RunCli(args);
        EXPECT_EQ(r.nStatus, 1) << args[1];
        EXPECT_EQ(SplitLines(r.strErr).size(), 1u) << r.strErr;
    }
    EXPECT_EQ(ReadBytes(dir.File("keep.cmp")), keep);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path() / "folder.qcf"));
    // Nothing else (no temporary file) is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

}  // namespace
