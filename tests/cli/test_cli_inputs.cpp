// Every command that reads a clip takes every kind of clip: raw files (.qcf,
// .yuv), standard input, .y4m, compressed streams and video through FFmpeg,
// with the same result as for the raw frames they hold. Video import is pinned
// to ffmpeg's own conversion, and pipes to and from ffmpeg work end to end.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "CliRunner.h"
#include "cli/ClipInput.h"
#include "io/QcifFormat.h"
#include "stream/FrameSource.h"
#include "support/TestFiles.h"

namespace {

bool HaveFfmpeg() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

// A command line through bash, failing when any stage of a pipe fails.
int Shell(const std::string& strCommand) {
    return std::system(("bash -o pipefail -c '" + strCommand + "'").c_str());
}

const std::string FFMPEG = "ffmpeg -hide_banner -loglevel error -y ";

class InputKinds : public testing::Test {
protected:
    void SetUp() override {
        const std::string clip = m_dir.File("clip.qcf");
        ASSERT_EQ(RunCli({"sample", clip, "-n", "4", "-q"}).nStatus, 0);
        WriteBytes(m_dir.File("clip.yuv"), ReadBytes(clip));
        ASSERT_EQ(RunCli({"convert", clip, m_dir.File("clip.y4m"), "-q"}).nStatus, 0);
        ASSERT_EQ(RunCli({"compress", clip, m_dir.File("clip.cmp"), "--quiet"}).nStatus, 0);
        ASSERT_EQ(
            RunCli({"decompress", m_dir.File("clip.cmp"), m_dir.File("dec.qcf"), "-q"}).nStatus, 0);
    }

    // Runs args with "IN" replaced by strIn; the output file "OUT" (when the
    // command has one) comes back in place of stdout.
    std::string Output(std::vector<std::string> args, const std::string& strIn,
                       const std::string& strStdin = "/dev/null") {
        std::string strOut;
        for (std::string& a : args) {
            if (a == "IN") {
                a = strIn;
            } else if (a.rfind("OUT", 0) == 0) {
                strOut = a = m_dir.File(a);
            }
        }
        const CliResult r = RunCli(args, m_dir.Path().string(), strStdin);
        EXPECT_EQ(r.nStatus, 0) << args[0] << " " << strIn << ": " << r.strErr;
        if (strOut.empty()) {
            return r.strOut;
        }
        const std::vector<uint8_t> bytes = ReadBytes(strOut);
        std::filesystem::remove(strOut);
        return std::string(bytes.begin(), bytes.end());
    }

    CTempDir m_dir;
};

TEST_F(InputKinds, EveryCommandReadsEveryKind) {
    struct Kind {
        std::string strIn;      // as named on the command line
        std::string strFrames;  // the raw frames it holds
        std::string strStdin;
    };
    std::vector<Kind> kinds = {
        {"clip.yuv", "clip.qcf", "/dev/null"},
        {"clip.y4m", "clip.qcf", "/dev/null"},
        {"-", "clip.qcf", m_dir.File("clip.qcf")},
        {"clip.cmp", "dec.qcf", "/dev/null"},  // decoded as it is read
    };
    if (HaveFfmpeg()) {
        // Lossless and already QCIF: the frames come back unchanged.
        ASSERT_EQ(
            Shell(FFMPEG + "-i " + m_dir.File("clip.y4m") + " -c:v ffv1 " + m_dir.File("clip.mkv")),
            0);
        kinds.push_back({"clip.mkv", "clip.qcf", "/dev/null"});
    }
    const std::vector<std::vector<std::string>> commands = {
        {"compress", "IN", "OUT.cmp", "-q", "20", "--quiet"},
        {"compare", "IN", "REF"},
        {"export", "IN", "OUT.png", "-k", "3", "-q"},
        {"sweep", "IN", "-q", "16,32", "--no-times", "--quiet"},
        {"dump", "IN", "-k", "2", "--stage", "indices"},
        {"convert", "IN", "OUT.qcf", "-n", "2-4", "-q"},
        {"convert", "IN", "OUT.y4m", "--fps", "25", "-q"},
    };
    for (auto command : commands) {
        for (const Kind& kind : kinds) {
            SCOPED_TRACE(command[0] + " " + kind.strIn);
            std::vector<std::string> args = command;
            std::replace(args.begin(), args.end(), std::string("REF"), kind.strFrames);
            EXPECT_EQ(Output(args, kind.strIn, kind.strStdin), Output(args, kind.strFrames));
        }
    }
    for (const Kind& kind : kinds) {
        SCOPED_TRACE("info " + kind.strIn);
        const JsonValue json =
            ParseJson(Output({"info", "IN", "--json"}, kind.strIn, kind.strStdin));
        if (kind.strIn == "clip.mkv") {
            EXPECT_EQ(json["codec"].text, "ffv1");  // what the container says; nothing decoded
            EXPECT_EQ(json["width"].number, 176);
        } else {
            EXPECT_EQ(json["frames"].number, 4);
        }
    }
    // Standard input's frames are its bytes: converting gives them back.
    const std::vector<uint8_t> clip = ReadBytes(m_dir.File("clip.qcf"));
    EXPECT_TRUE(Output({"convert", "IN", "OUT.yuv"}, "-", m_dir.File("clip.qcf")) ==
                std::string(clip.begin(), clip.end()));
}

// Video through FFmpeg's libraries: the frames ffmpeg itself makes with the
// same scaler, whatever the source's size and pixel format.
TEST_F(InputKinds, VideoImportIsFfmpegsOwnConversion) {
    if (!HaveFfmpeg()) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    const struct {
        const char* pszName;
        const char* pszMake;  // source, size and encoding
    } videos[] = {
        {"mpeg4.avi", "-f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 8 -c:v mpeg4"},
        {"rgb.mov",
         "-f lavfi -i testsrc2=size=201x151:rate=30 -frames:v 5 -pix_fmt rgb24 "
         "-c:v png"},
        {"jpeg.avi", "-f lavfi -i testsrc2=size=640x480:rate=25 -frames:v 4 -c:v mjpeg"},
    };
    for (const auto& v : videos) {
        SCOPED_TRACE(v.pszName);
        const std::string strVideo = m_dir.File(v.pszName), strTheirs = m_dir.File("theirs.yuv");
        ASSERT_EQ(Shell(FFMPEG + v.pszMake + " " + strVideo), 0);
        ASSERT_EQ(
            Shell(FFMPEG + "-i " + strVideo +
                  " -vf scale=176:144:flags=bicubic -pix_fmt yuv420p -f rawvideo " + strTheirs),
            0);
        const std::vector<uint8_t> theirs = ReadBytes(strTheirs);
        ASSERT_FALSE(theirs.empty());
        const std::string ours = Output({"convert", "IN", "OUT.qcf", "-q"}, strVideo);
        EXPECT_TRUE(ours == std::string(theirs.begin(), theirs.end()));
        // A range is the same frames cut out.
        const std::string part = Output({"convert", "IN", "OUT.qcf", "-n", "2-3", "-q"}, strVideo);
        EXPECT_TRUE(part == ours.substr(QCIF_FRAME_BYTES, 2 * QCIF_FRAME_BYTES));
    }
}

TEST_F(InputKinds, PipesToAndFromFfmpeg) {
    if (!HaveFfmpeg()) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    const std::string cli = TAVRO_CLI_PATH, video = m_dir.File("v.avi");
    ASSERT_EQ(
        Shell(FFMPEG + "-f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 6 -c:v mpeg4 " + video),
        0);
    // ffmpeg ... -f rawvideo - | tavro-cli compress - out.cmp
    ASSERT_EQ(Shell(FFMPEG + "-i " + video +
                    " -vf scale=176:144:flags=bicubic -pix_fmt yuv420p -f rawvideo - | " + cli +
                    " compress - " + m_dir.File("piped.cmp") + " --quiet"),
              0);
    const std::string direct = Output({"compress", "IN", "OUT.cmp", "--quiet"}, video);
    const std::vector<uint8_t> piped = ReadBytes(m_dir.File("piped.cmp"));
    EXPECT_TRUE(direct == std::string(piped.begin(), piped.end()));

    // tavro-cli decompress in.cmp - | ffmpeg -f rawvideo ... -i - ...
    ASSERT_EQ(Shell(cli + " decompress " + m_dir.File("piped.cmp") + " - -q | " + FFMPEG +
                    "-f rawvideo -pix_fmt yuv420p -video_size 176x144 -i - -c:v ffv1 " +
                    m_dir.File("back.mkv")),
              0);
    const CliResult r =
        RunCli({"compare", m_dir.File("back.mkv"), m_dir.File("piped.cmp"), "--json"});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    const JsonValue json = ParseJson(r.strOut);
    EXPECT_EQ(json["frames_compared"].number, 6);
    EXPECT_TRUE(json["mean"]["match"].b);
}

// A .cmp that becomes shorter while it is read (another program truncating
// it): the frames decoded from what was there come out, then one error that
// says so; nothing past the new end is taken for code.
TEST(CmpInput, FileCutShortWhileReadIsReported) {
    CTempDir dir;
    const std::string clip = dir.File("clip.qcf"), cmp = dir.File("clip.cmp");
    ASSERT_EQ(RunCli({"sample", clip, "-n", "80", "-q"}).nStatus, 0);
    ASSERT_EQ(RunCli({"compress", clip, cmp, "-t", "1", "-q", "1", "--quiet"}).nStatus, 0);
    const auto nSize = std::filesystem::file_size(cmp);
    ASSERT_GT(nSize, 600u * 1024) << "the stream must outlast the reader's first chunks";
    std::string strError;
    std::unique_ptr<IFrameSource> pSource = OpenClip(cmp, &strError);
    ASSERT_TRUE(pSource) << strError;
    std::vector<uint8_t> frame(QCIF_FRAME_BYTES);
    ASSERT_EQ(pSource->Read(frame.data()), EFrameRead::Frame);
    std::filesystem::resize_file(cmp, nSize / 2);
    uint32_t nFrames = 1;
    EFrameRead r = EFrameRead::Frame;
    while ((r = pSource->Read(frame.data())) == EFrameRead::Frame) {
        ++nFrames;
    }
    EXPECT_EQ(r, EFrameRead::Failed);
    EXPECT_LT(nFrames, 80u);
    EXPECT_NE(pSource->GetError().find("the file became shorter while it was read"),
              std::string::npos)
        << pSource->GetError();
}

}  // namespace
