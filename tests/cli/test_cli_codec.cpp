// tavro-cli compress and decompress: round trips, exact output, refusals and
// cancellation, none of which may leave a partial or altered file.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include "CliRunner.h"
#include "io/QcifFormat.h"
#include "support/CodecClips.h"
#include "support/TestFiles.h"

namespace {

size_t FileCount(const std::filesystem::path& dir) {
    return size_t(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(CliCodec, RoundTripIsExactCodecOutput) {
    CTempDir dir;
    const uint32_t nFrames = 12;
    std::vector<uint8_t> clip = SampleClip(nFrames);
    WriteBytes(dir.File("in.qcf"), clip);

    // The file holds exactly the stream the codec produces in memory.
    const std::vector<uint8_t> expected = Compress(clip, nFrames, 7, 20).cmp;
    ASSERT_FALSE(expected.empty());

    CliResult r =
        RunCli({"compress", dir.File("in.qcf"), dir.File("out.cmp"), "-t", "7", "-q", "20"});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    EXPECT_EQ(ReadBytes(dir.File("out.cmp")), expected);
    // Summary: "<out>: 12 frames, <bytes> bytes, compression ratio <r> ..." as before, then the
    // raw ratio, bits per pixel and kb/s at 30 frames per second.
    const double dBytes = double(expected.size());
    char szFigures[256];
    std::snprintf(szFigures, sizeof szFigures,
                  "compression ratio %.2f (RGB, as the desktop summary), raw ratio %.2f, %.4f bpp, "
                  "%.1f kb/s at 30 fps\n",
                  nFrames * 76032.0 / dBytes, nFrames * 38016.0 / dBytes,
                  dBytes * 8 / (nFrames * 25344.0), dBytes * 8 * 30 / nFrames / 1000);
    EXPECT_EQ(r.strOut, dir.File("out.cmp") + ": 12 frames, " + std::to_string(expected.size()) +
                            " bytes, " + szFigures);
    EXPECT_EQ(r.strErr, "");  // no progress bar when stderr is not a terminal

    // Same input, same bytes.
    ASSERT_EQ(RunCli({"compress", dir.File("in.qcf"), dir.File("again.CMP"), "--threshold", "7",
                      "--quantiser", "20", "--quiet"})
                  .nStatus,
              0);
    EXPECT_EQ(ReadBytes(dir.File("again.CMP")), expected);

    r = RunCli({"decompress", dir.File("out.cmp"), dir.File("back.qcf")});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    std::vector<uint8_t> back = ReadBytes(dir.File("back.qcf"));
    ASSERT_EQ(back.size(), clip.size());
    EXPECT_EQ(back, Decompress(expected, nFrames, 7, 20).qcf);

    // Every thread count gives the same bytes, from a file (read as it is
    // coded) and from a .y4m (copied to a temporary file first), to a file
    // and to a pipe (held in a temporary file until complete), and leaves no
    // file behind but its output.
    ASSERT_EQ(RunCli({"convert", "-q", dir.File("in.qcf"), dir.File("in.y4m")}).nStatus, 0);
    const std::filesystem::path tmp = dir.Path() / "tmp";
    std::filesystem::create_directory(tmp);
    setenv("TMPDIR", tmp.c_str(), 1);
    for (const char* pszIn : {"in.qcf", "in.y4m"}) {
        for (const char* pszThreads : {"1", "2", "3", "8"}) {
            SCOPED_TRACE(std::string(pszIn) + " on " + pszThreads + " threads");
            r = RunCli({"compress", "--quiet", dir.File(pszIn), dir.File("t.cmp"), "-t", "7", "-q",
                        "20", "--threads", pszThreads});
            EXPECT_EQ(r.nStatus, 0) << r.strErr;
            EXPECT_EQ(ReadBytes(dir.File("t.cmp")), expected);
            r = RunCliLimited({"compress", "--quiet", dir.File(pszIn), "/dev/stdout", "-t", "7",
                               "-q", "20", "--threads", pszThreads},
                              "", -1, 0);
            EXPECT_EQ(r.nStatus, 0) << r.strErr;
            EXPECT_TRUE(std::vector<uint8_t>(r.strOut.begin(), r.strOut.end()) == expected);
            r = RunCli({"decompress", "-q", dir.File("t.cmp"), dir.File("t.qcf"), "--threads",
                        pszThreads});
            EXPECT_EQ(r.nStatus, 0) << r.strErr;
            EXPECT_EQ(ReadBytes(dir.File("t.qcf")), back);
            EXPECT_EQ(FileCount(tmp), 0u);
        }
    }
    unsetenv("TMPDIR");
    // Sane quality, measured by the tool itself.
    r = RunCli({"compare", dir.File("back.qcf"), dir.File("in.qcf"), "--json"});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    JsonValue j = ParseJson(r.strOut);
    EXPECT_EQ(j["frames_compared"].number, nFrames);
    EXPECT_GT(j["mean"]["psnr"].number, 28.0);
    EXPECT_LT(j["mean"]["psnr"].number, 60.0);
}

TEST(CliCodec, FrameCountAndDefaults) {
    CTempDir dir;
    WriteBytes(dir.File("in.qcf"), SampleClip(5));
    CliResult r = RunCli({"compress", dir.File("in.qcf"), dir.File("three.cmp"), "-n", "3",
                          "--json", "--fps", "30000:1001"});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    JsonValue j = ParseJson(r.strOut);
    const double dBytes = double(ReadBytes(dir.File("three.cmp")).size());
    EXPECT_EQ(j["frames"].number, 3);
    EXPECT_EQ(j["threshold"].number, 10);
    EXPECT_EQ(j["quantiser"].number, 16);
    EXPECT_EQ(j["bytes"].number, dBytes);
    EXPECT_DOUBLE_EQ(j["compression_ratio"].number, 3 * 76032 / dBytes);
    EXPECT_DOUBLE_EQ(j["raw_ratio"].number, 3 * 38016 / dBytes);
    EXPECT_DOUBLE_EQ(j["kbps"].number, dBytes * 8 * (30000.0 / 1001) / 3 / 1000);
    std::vector<uint8_t> cmp = ReadBytes(dir.File("three.cmp"));
    ASSERT_GE(cmp.size(), 4u);
    EXPECT_EQ(std::vector<uint8_t>(cmp.begin(), cmp.begin() + 4),
              (std::vector<uint8_t>{3, 0, 10, 16}));
    r = RunCli({"decompress", dir.File("three.cmp"), dir.File("three.qcf"), "-q"});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    EXPECT_EQ(r.strOut, "");
    EXPECT_EQ(ReadBytes(dir.File("three.qcf")).size(), 3 * QCIF_FRAME_BYTES);
}

TEST(CliCodec, FailuresLeaveOutputsAsTheyWere) {
    CTempDir dir;
    WriteBytes(dir.File("in.qcf"), SampleClip(4));
    ASSERT_EQ(RunCli({"compress", dir.File("in.qcf"), dir.File("good.cmp"), "--quiet"}).nStatus, 0);
    std::vector<uint8_t> good = ReadBytes(dir.File("good.cmp"));
    WriteBytes(dir.File("cut.cmp"),
               std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2));
    WriteBytes(dir.File("header.cmp"), std::vector<uint8_t>(good.begin(), good.begin() + 4));
    std::vector<uint8_t> noise = {4, 0, 10, 16};
    for (int i = 0; i < 3000; ++i) {
        noise.push_back(uint8_t(i * 37 + 11));
    }
    WriteBytes(dir.File("noise.cmp"), noise);
    std::vector<uint8_t> more = good;
    more[0] = 9;  // the header promises more frames than the data holds
    WriteBytes(dir.File("more.cmp"), more);
    WriteBytes(dir.File("short.qcf"), std::vector<uint8_t>(1000, 1));
    WriteBytes(dir.File("junk.bin"), std::vector<uint8_t>(1000, 0xC3));
    const std::vector<uint8_t> keep(123, 0xA5);
    WriteBytes(dir.File("keep.cmp"), keep);
    WriteBytes(dir.File("keep.qcf"), keep);

    struct {
        std::vector<std::string> args;
        int nStatus;
        const char* szWhy;
    } const cases[] = {
        {{"compress", "missing.qcf", "keep.cmp"}, 1, "No such file"},
        {{"compress", "short.qcf", "keep.cmp"}, 1, "no whole frame"},
        {{"compress", "in.qcf", "keep.cmp", "-n", "5"}, 1, "only 4 frames"},
        {{"compress", "junk.bin", "keep.cmp"}, 1, "as video"},
        {{"compress", "in.qcf", "keep.cmp", "-n", "3-2"}, 2, "--frames"},
        {{"compress", "in.qcf", "keep.cmp", "-n", "2-3", "--start", "2"}, 2, "--start"},
        {{"compress", "in.qcf", "keep.cmp", "-n", "4-5"}, 1, "only 1 frames from frame 4"},
        {{"compress", "in.qcf", "keep.qcf"}, 1, "must be named"},
        {{"compress", "in.qcf", "keep.cmp", "-t", "0"}, 2, "--threshold"},
        {{"compress", "in.qcf", "keep.cmp", "-q", "256"}, 2, "--quantiser"},
        {{"compress", "in.qcf", "keep.cmp", "-n", "65536"}, 2, "--frames"},
        {{"compress", "in.qcf"}, 2, "OUT"},
        {{"decompress", "cut.cmp", "keep.qcf"}, 1, "cut.cmp"},
        {{"decompress", "header.cmp", "keep.qcf"}, 1, "no frame data"},
        {{"decompress", "noise.cmp", "keep.qcf"}, 1, "noise.cmp"},
        {{"decompress", "more.cmp", "keep.qcf"}, 1, "more.cmp"},
        {{"decompress", "in.qcf", "keep.qcf"}, 1, "not a compressed stream"},
        {{"decompress", "good.cmp", "keep.cmp"}, 1, "must be named"},
    };
    size_t nFiles = FileCount(dir.Path());
    for (const auto& c : cases) {
        std::string line;
        for (auto& a : c.args) {
            line += a + " ";
        }
        SCOPED_TRACE(line);
        CliResult r = RunCli(c.args, dir.Path().string());
        EXPECT_EQ(r.nStatus, c.nStatus);
        EXPECT_EQ(r.strOut, "");
        EXPECT_NE(r.strErr.find(c.szWhy), std::string::npos) << r.strErr;
        EXPECT_EQ(SplitLines(r.strErr).size(), 1u) << r.strErr;
        EXPECT_EQ(ReadBytes(dir.File("keep.cmp")), keep);
        EXPECT_EQ(ReadBytes(dir.File("keep.qcf")), keep);
        EXPECT_EQ(FileCount(dir.Path()), nFiles) << "a file was created";
    }
}

TEST(CliCodec, InterruptWritesNothing) {
    CTempDir dir;
    // A long clip: the sample repeated, so that the run is still busy when the
    // signal arrives (5000 frames: over a second on two threads).
    std::vector<uint8_t> part = SampleClip(50);
    {
        std::vector<uint8_t> clip;
        for (int i = 0; i < 100; ++i) {
            clip.insert(clip.end(), part.begin(), part.end());
        }
        WriteBytes(dir.File("long.qcf"), clip);
    }
    // A .y4m is copied to a temporary file before it is coded: the signal
    // comes while it is being copied or coded.
    ASSERT_EQ(RunCli({"convert", "-q", dir.File("long.qcf"), dir.File("long.y4m")}).nStatus, 0);
    const std::vector<uint8_t> keep(77, 0x3C);
    WriteBytes(dir.File("out.cmp"), keep);
    setenv("TMPDIR", dir.Path().c_str(), 1);
    for (const char* pszIn : {"long.qcf", "long.y4m"}) {
        for (int nSignal : {SIGINT, SIGTERM}) {
            SCOPED_TRACE(std::string(pszIn) + " " + std::to_string(nSignal));
            CliResult r =
                RunCliWithSignal({"compress", dir.File(pszIn), dir.File("out.cmp")}, nSignal, 400);
            EXPECT_EQ(r.nStatus, 128 + nSignal) << r.strErr;
            // Handled, not killed: the tool says so.
            EXPECT_NE(r.strErr.find("cancelled; nothing written"), std::string::npos) << r.strErr;
            EXPECT_EQ(r.strOut, "");
            EXPECT_EQ(ReadBytes(dir.File("out.cmp")), keep);
            EXPECT_EQ(FileCount(dir.Path()), 3u);
        }
    }
    unsetenv("TMPDIR");
}

}  // namespace
