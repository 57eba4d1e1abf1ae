// Clips read and written a frame at a time: raw streams and y4m files, whole
// or damaged, ranges of frames, and the writer's all-or-nothing promise.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "io/QcifFormat.h"
#include "stream/FrameSource.h"
#include "stream/FrameWriter.h"
#include "stream/VideoSource.h"
#include "stream/Y4m.h"
#include "support/TestFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Frame k filled with the value k + 1, so every frame tells which it is.
Bytes Frames(uint32_t nFrames) {
    Bytes out;
    for (uint32_t k = 0; k < nFrames; ++k) {
        out.insert(out.end(), QCIF_FRAME_BYTES, uint8_t(k + 1));
    }
    return out;
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes Y4m(uint32_t nFrames, const std::string& strHeader = "YUV4MPEG2 W176 H144 F30000:1001\n") {
    Bytes out = Text(strHeader);
    const Bytes frames = Frames(nFrames);
    for (uint32_t k = 0; k < nFrames; ++k) {
        const Bytes line = Text(k == 1 ? "FRAME Ixyz\n" : "FRAME\n");  // lines may carry tags
        out.insert(out.end(), line.begin(), line.end());
        out.insert(out.end(), frames.begin() + k * QCIF_FRAME_BYTES,
                   frames.begin() + (k + 1) * QCIF_FRAME_BYTES);
    }
    return out;
}

Bytes Cut(const Bytes& b, size_t nLess) {
    return Bytes(b.begin(), b.end() - std::ptrdiff_t(std::min(nLess, b.size())));
}

// Reads a source to its end: the first byte of every frame, then the outcome.
struct Reading {
    std::vector<int> firsts;
    EFrameRead end = EFrameRead::End;
    std::string strError;
    uint64_t nTrailing = 0;
};
Reading ReadAll(IFrameSource& source) {
    Reading r;
    Bytes frame(QCIF_FRAME_BYTES);
    while ((r.end = source.Read(frame.data())) == EFrameRead::Frame) {
        r.firsts.push_back(frame[0]);
    }
    r.strError = source.GetError();
    r.nTrailing = source.TrailingBytes();
    return r;
}

TEST(FrameSources, WholeAndDamagedClips) {
    const Bytes y4m = Y4m(3);
    const size_t nSecond = y4m.size() - QCIF_FRAME_BYTES - 6;  // where frame 3's line starts
    Bytes badLine = y4m;
    badLine[nSecond + 4] = 'X';
    Bytes endless = Cut(y4m, QCIF_FRAME_BYTES + 6);
    endless.resize(endless.size() + 5000, 'F');
    struct Case {
        const char* pszName;
        const char* pszFile;
        Bytes data;
        std::vector<int> firsts;  // frames read, by their fill value
        EFrameRead end;
        uint64_t nTrailing;
        const char* pszError;  // in the open or read error
    } const cases[] = {
        {"raw", "a.qcf", Frames(3), {1, 2, 3}, EFrameRead::End, 0, nullptr},
        {"raw, partial frame dropped",
         "a.yuv",
         Cut(Frames(3), 100),
         {1, 2},
         EFrameRead::End,
         QCIF_FRAME_BYTES - 100,
         nullptr},
        {"raw, too short", "a.qcf", Bytes(10, 1), {}, EFrameRead::End, 10, nullptr},
        {"y4m", "a.y4m", y4m, {1, 2, 3}, EFrameRead::End, 0, nullptr},
        {"y4m cut in a frame",
         "a.Y4M",
         Cut(y4m, 100),
         {1, 2},
         EFrameRead::End,
         6 + QCIF_FRAME_BYTES - 100,
         nullptr},
        {"y4m cut in a frame line",
         "a.y4m",
         Cut(y4m, QCIF_FRAME_BYTES + 3),
         {1, 2},
         EFrameRead::End,
         3,
         nullptr},
        {"y4m frame line broken",
         "a.y4m",
         badLine,
         {1, 2},
         EFrameRead::Failed,
         0,
         "frame 3 does not start with a FRAME line"},
        {"y4m frame line never ends",
         "a.y4m",
         endless,
         {1, 2},
         EFrameRead::Failed,
         0,
         "frame 3 does not start"},
        {"y4m not QCIF",
         "a.y4m",
         Y4m(1, "YUV4MPEG2 W352 H288\n"),
         {},
         EFrameRead::Failed,
         0,
         "352x288 4:2:0 8-bit"},
        {"not y4m", "a.y4m", Frames(1), {}, EFrameRead::Failed, 0, "not a YUV4MPEG2 stream"},
        {"missing", "none.qcf", {}, {}, EFrameRead::Failed, 0, "No such file"},
    };
    CTempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        const std::string strPath = dir.File(c.pszFile);
        std::filesystem::remove(strPath);
        if (std::string(c.pszFile) != "none.qcf") {
            WriteBytes(strPath, c.data);
        }
        std::string strError;
        std::unique_ptr<IFrameSource> pSource = OpenFrameSource(strPath, &strError);
        if (!pSource) {
            EXPECT_TRUE(c.firsts.empty() && c.end == EFrameRead::Failed) << strError;
            EXPECT_NE(strError.find(c.pszError), std::string::npos) << strError;
            continue;
        }
        const Reading r = ReadAll(*pSource);
        EXPECT_EQ(r.firsts, c.firsts);
        EXPECT_EQ(r.end, c.end) << r.strError;
        EXPECT_EQ(r.nTrailing, c.nTrailing);
        if (c.pszError) {
            EXPECT_NE(r.strError.find(c.pszError), std::string::npos) << r.strError;
        }
    }
}

// Video comes from local files only, and text is not video. The control row
// shows the same bytes open under a plain name.
TEST(FrameSources, VideoIsReadFromLocalFilesOnly) {
    if (!VideoImportAvailable()) {
        GTEST_SKIP() << "built without FFmpeg";
    }
    CTempDir dir;
    const Bytes y4m = Y4m(2);
    WriteBytes(dir.File("clip.video"), y4m);
    std::string strText;
    for (int k = 1; k <= 2000; ++k) {
        strText += std::to_string(k) + "\n";
    }
    WriteBytes(dir.File("numbers.txt"), Bytes(strText.begin(), strText.end()));
    const struct {
        std::string strName;
        const char* pszError;  // nullptr: opens
    } cases[] = {
        {dir.File("clip.video"), nullptr},
        {"concat:" + dir.File("clip.video") + "|" + dir.File("clip.video"), "cannot read"},
        {dir.File("numbers.txt"), "is text, not video"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strName);
        std::string strError;
        const bool bOpened = OpenFrameSource(c.strName, &strError) != nullptr;
        EXPECT_EQ(bOpened, c.pszError == nullptr) << strError;
        if (c.pszError) {
            EXPECT_NE(strError.find(c.pszError), std::string::npos) << strError;
        }
    }
}

TEST(FrameSources, RangesOfFrames) {
    CTempDir dir;
    WriteBytes(dir.File("five.qcf"), Frames(5));
    WriteBytes(dir.File("five.y4m"), Y4m(5));  // skipped by reading, not seeking
    struct Case {
        uint64_t nFirst, nCount;
        std::vector<int> firsts;
    } const cases[] = {
        {1, 0, {1, 2, 3, 4, 5}},
        {2, 2, {2, 3}},
        {4, 0, {4, 5}},
        {5, 9, {5}},
        {6, 1, {}},
        {99, 0, {}},
    };
    for (const char* pszName : {"five.qcf", "five.y4m"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(pszName) + " from " + std::to_string(c.nFirst));
            std::unique_ptr<IFrameSource> pSource =
                LimitFrames(OpenFrameSource(dir.File(pszName), nullptr), c.nFirst, c.nCount);
            ASSERT_TRUE(pSource);
            if (std::string(pszName) == "five.qcf") {
                EXPECT_EQ(pSource->FramesLeftHint(), c.firsts.size());
            }
            const Reading r = ReadAll(*pSource);
            EXPECT_EQ(r.firsts, c.firsts);
            EXPECT_EQ(r.end, EFrameRead::End);
        }
    }
}

// The writer's formats read back through the sources, frames and rate intact.
TEST(FrameWriter, FormatsReadBackThroughTheSources) {
    CTempDir dir;
    const Bytes frames = Frames(2);
    for (const char* pszName : {"out.qcf", "out.YUV", "out.y4m"}) {
        SCOPED_TRACE(pszName);
        const std::string strPath = dir.File(pszName);
        CSafeFileWriter out;
        CFrameWriter writer;
        ASSERT_TRUE(out.Open(strPath));
        ASSERT_TRUE(writer.Begin(out, FrameFormatOf(strPath), 30000, 1001));
        ASSERT_TRUE(writer.Write(frames.data()) && writer.Write(frames.data() + QCIF_FRAME_BYTES));
        ASSERT_TRUE(out.Commit()) << out.GetError();
        std::unique_ptr<IFrameSource> pSource = OpenFrameSource(strPath, nullptr);
        ASSERT_TRUE(pSource);
        EXPECT_EQ(ReadAll(*pSource).firsts, (std::vector<int>{1, 2}));
        const bool bY4m = std::string(pszName) == "out.y4m";
        uint32_t nNum = 0, nDen = 0;
        EXPECT_EQ(pSource->FrameRate(nNum, nDen), bY4m);
        EXPECT_EQ(
            ReadBytes(strPath).size(),
            bY4m ? Y4mQcifHeader(30000, 1001).size() + 2 * (6 + QCIF_FRAME_BYTES) : frames.size());
    }
    for (const char* pszName : {"out.avi", "out.cmp", "out.png"}) {
        EXPECT_EQ(FrameFormatOf(pszName), EFrameFormat::Unknown) << pszName;
    }
    EXPECT_EQ(FrameFormatOf("-"), EFrameFormat::Raw);
}

}  // namespace
