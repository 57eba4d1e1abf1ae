#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "io/QcifFormat.h"
#include "stream/Y4m.h"
#include "support/TestFiles.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> PatternFrames(uint32_t nFrames) {
    std::vector<uint8_t> qcf(size_t(nFrames) * QCIF_FRAME_BYTES);
    for (size_t k = 0; k < qcf.size(); ++k) {
        qcf[k] = uint8_t((k * 131 + k / 997) & 0xFF);
    }
    return qcf;
}

bool HaveFfmpeg() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

}  // namespace

TEST(Y4mHeader, AcceptedHeaders) {
    struct Case {
        const char* pszHeader;
        uint32_t nRateNum, nRateDen;
        char cInterlace;
        const char* pszColour;
    };
    const Case cases[] = {
        {"YUV4MPEG2 W176 H144 F25:1 Ip A0:0 C420jpeg\n", 25, 1, 'p', "420jpeg"},
        {"YUV4MPEG2 W176 H144 F30000:1001 Ip A1:1 C420jpeg XYSCSS=420JPEG\n", 30000, 1001, 'p',
         "420jpeg"},
        {"YUV4MPEG2 W176 H144\n", 25, 1, 'p', "420jpeg"},
        {"YUV4MPEG2 H144 W176 C420mpeg2 It\n", 25, 1, 't', "420mpeg2"},
        {"YUV4MPEG2  W176   H144 F15:1 C420\n", 15, 1, 'p', "420"},
        {"YUV4MPEG2 W176 H144 C420p\n", 25, 1, 'p', "420p"},  // the same layout
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszHeader);
        std::vector<uint8_t> data = Bytes(c.pszHeader);
        SY4mHeader header;
        std::string strError;
        ASSERT_TRUE(ParseY4mHeader(data.data(), data.size(), header, &strError)) << strError;
        EXPECT_EQ(header.nWidth, 176u);
        EXPECT_EQ(header.nHeight, 144u);
        EXPECT_EQ(header.nRateNum, c.nRateNum);
        EXPECT_EQ(header.nRateDen, c.nRateDen);
        EXPECT_EQ(header.cInterlace, c.cInterlace);
        EXPECT_EQ(header.strColour, c.pszColour);
        EXPECT_EQ(header.nHeaderBytes, data.size());
        EXPECT_TRUE(IsQcifY4m(header, &strError)) << strError;
    }
}

TEST(Y4mHeader, MalformedHeaders) {
    const char* const headers[] = {
        "",
        "YUV4MPEG",
        "YUV4MPEG2",
        "YUV4MPEG W176 H144\n",
        "yuv4mpeg2 W176 H144\n",
        "YUV4MPEG2 W176 H144",  // no newline
        "YUV4MPEG2 H144\n",
        "YUV4MPEG2 W176\n",
        "YUV4MPEG2 Wabc H144\n",
        "YUV4MPEG2 W0 H144\n",
        "YUV4MPEG2 W176 H144 F25\n",
        "YUV4MPEG2 W176 H144 F25:0\n",
        "YUV4MPEG2 W176 H144 A1\n",
        "YUV4MPEG2 W176 H144 Ipp\n",
        "YUV4MPEG2 W176 H144 C\n",
        "YUV4MPEG2 W-176 H144\n",
        "YUV4MPEG2 W176 H144 C420jpeg\r\n",
    };
    for (const char* pszHeader : headers) {
        SCOPED_TRACE(pszHeader);
        std::vector<uint8_t> data = Bytes(pszHeader);
        SY4mHeader header;
        std::string strError;
        EXPECT_FALSE(ParseY4mHeader(data.data(), data.size(), header, &strError));
        EXPECT_FALSE(strError.empty());
        EXPECT_EQ(strError.find("CR LF") != std::string::npos,
                  std::string(pszHeader).find('\r') != std::string::npos)
            << strError;
    }
    // A header line that never ends is refused without reading past the data.
    std::vector<uint8_t> endless = Bytes("YUV4MPEG2 W176 H144 X");
    endless.resize(100000, 'a');
    SY4mHeader header;
    EXPECT_FALSE(ParseY4mHeader(endless.data(), endless.size(), header, nullptr));
}

TEST(Y4mHeader, OtherFormatsAreDescribedAndRefused) {
    struct Case {
        const char* pszHeader;
        const char* pszWhat;
    };
    const Case cases[] = {
        {"YUV4MPEG2 W352 H288 F25:1 C420jpeg\n", "352x288 4:2:0 8-bit (C420jpeg)"},
        {"YUV4MPEG2 W176 H144 C422\n", "176x144 4:2:2 8-bit (C422)"},
        {"YUV4MPEG2 W176 H144 C444\n", "176x144 4:4:4 8-bit (C444)"},
        {"YUV4MPEG2 W176 H144 C420p10\n", "176x144 4:2:0 10-bit (C420p10)"},
        {"YUV4MPEG2 W176 H144 Cmono\n", "176x144 greyscale 8-bit (Cmono)"},
        {"YUV4MPEG2 W176 H144 Cmono16\n", "176x144 greyscale 16-bit (Cmono16)"},
        {"YUV4MPEG2 W144 H176\n", "144x176 4:2:0 8-bit (C420jpeg)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszHeader);
        std::vector<uint8_t> data = Bytes(c.pszHeader);
        SY4mHeader header;
        ASSERT_TRUE(ParseY4mHeader(data.data(), data.size(), header, nullptr));
        std::string strError;
        EXPECT_FALSE(IsQcifY4m(header, &strError));
        EXPECT_NE(strError.find(c.pszWhat), std::string::npos) << strError;
        EXPECT_NE(strError.find("ffmpeg -i INPUT -vf scale=176:144 -pix_fmt yuv420p"),
                  std::string::npos)
            << strError;
        std::vector<uint8_t> qcf;
        EXPECT_FALSE(ReadY4mFrames(data.data(), data.size(), header, qcf, nullptr));
        EXPECT_TRUE(qcf.empty());
    }
}

TEST(Y4mFrames, RoundTripAndDamagedStreams) {
    const std::vector<uint8_t> qcf = PatternFrames(3);
    std::vector<uint8_t> y4m;
    AppendY4mStream(qcf.data(), 3, y4m);
    const std::string strHeader = "YUV4MPEG2 W176 H144 F25:1 Ip A0:0 C420jpeg\n";
    ASSERT_EQ(y4m.size(), strHeader.size() + 3 * (6 + QCIF_FRAME_BYTES));
    EXPECT_EQ(std::string(y4m.begin(), y4m.begin() + strHeader.size()), strHeader);

    SY4mHeader header;
    std::vector<uint8_t> back;
    std::string strError;
    ASSERT_TRUE(ReadY4mFrames(y4m.data(), y4m.size(), header, back, &strError)) << strError;
    EXPECT_EQ(back, qcf);

    // Frame lines may carry parameters.
    std::vector<uint8_t> tagged = Bytes(strHeader + "FRAME Ixyz\n");
    tagged.insert(tagged.end(), qcf.begin(), qcf.begin() + QCIF_FRAME_BYTES);
    back.clear();
    ASSERT_TRUE(ReadY4mFrames(tagged.data(), tagged.size(), header, back, &strError));
    EXPECT_EQ(back, std::vector<uint8_t>(qcf.begin(), qcf.begin() + QCIF_FRAME_BYTES));

    struct Damage {
        const char* pszName;
        std::vector<uint8_t> data;
        const char* pszError;
    };
    std::vector<uint8_t> cut(y4m.begin(), y4m.end() - 100);
    std::vector<uint8_t> badLine = y4m;
    badLine[strHeader.size() + 6 + QCIF_FRAME_BYTES] = 'X';  // second frame's "FRAME"
    std::vector<uint8_t> frames5 = Bytes(strHeader + "FRAMES\n");
    frames5.resize(frames5.size() + QCIF_FRAME_BYTES);
    std::vector<uint8_t> trailing = y4m;
    trailing.push_back('\n');
    std::vector<uint8_t> crlf = Bytes(strHeader + "FRAME\r\n");
    crlf.resize(crlf.size() + QCIF_FRAME_BYTES);
    const Damage damages[] = {
        {"cut in the last frame", cut, "ends inside frame 3"},
        {"second frame line broken", badLine, "frame 2 does not start with a FRAME line"},
        {"FRAMES is not FRAME", frames5, "frame 1 does not start"},
        {"a stray byte after the last frame", trailing, "frame 4 does not start"},
        {"frame line with CR LF", crlf, "CR LF"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.pszName);
        back.clear();
        EXPECT_FALSE(ReadY4mFrames(d.data.data(), d.data.size(), header, back, &strError));
        EXPECT_NE(strError.find(d.pszError), std::string::npos) << strError;
    }

    // A copy cut short loses only its partial last frame when the caller
    // takes that, wherever the cut falls in it; the damage above stays refused.
    const size_t nThird = strHeader.size() + 2 * (6 + QCIF_FRAME_BYTES);
    for (const size_t nCut : {nThird + 3, nThird + 6, nThird + 6 + 1000, y4m.size() - 1}) {
        SCOPED_TRACE(nCut);
        back.clear();
        size_t nDropped = 0;
        ASSERT_TRUE(ReadY4mFrames(y4m.data(), nCut, header, back, &strError, &nDropped));
        EXPECT_EQ(back, std::vector<uint8_t>(qcf.begin(), qcf.begin() + 2 * QCIF_FRAME_BYTES));
        EXPECT_EQ(nDropped, nCut - nThird);
    }
    for (const Damage& d : damages) {
        size_t nDropped = 0;
        EXPECT_EQ(ReadY4mFrames(d.data.data(), d.data.size(), header, back, nullptr, &nDropped),
                  d.data == cut)
            << d.pszName;
    }
}

TEST(Y4mFrames, FfmpegReadsAndWritesTheSameFrames) {
    if (!HaveFfmpeg()) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    CTempDir dir;
    const std::vector<uint8_t> qcf = PatternFrames(4);
    std::vector<uint8_t> y4m;
    AppendY4mStream(qcf.data(), 4, y4m);
    WriteBytes(dir.File("ours.y4m"), y4m);
    WriteBytes(dir.File("in.yuv"), qcf);

    // Our stream read by ffmpeg gives the raw frames back.
    const std::string strQuiet = " -hide_banner -loglevel error -y ";
    ASSERT_EQ(std::system(("ffmpeg" + strQuiet + "-i " + dir.File("ours.y4m") +
                           " -f rawvideo -pix_fmt yuv420p " + dir.File("ffmpeg.yuv"))
                              .c_str()),
              0);
    EXPECT_EQ(ReadBytes(dir.File("ffmpeg.yuv")), qcf);

    // ffmpeg's stream read by us gives the raw frames back.
    ASSERT_EQ(std::system(("ffmpeg" + strQuiet +
                           "-f rawvideo -pix_fmt yuv420p -video_size 176x144 -framerate 25 -i " +
                           dir.File("in.yuv") + " " + dir.File("ffmpeg.y4m"))
                              .c_str()),
              0);
    const std::vector<uint8_t> theirs = ReadBytes(dir.File("ffmpeg.y4m"));
    SY4mHeader header;
    std::vector<uint8_t> back;
    std::string strError;
    ASSERT_TRUE(ReadY4mFrames(theirs.data(), theirs.size(), header, back, &strError)) << strError;
    EXPECT_EQ(back, qcf);
    EXPECT_EQ(header.nRateNum, 25u);
    EXPECT_EQ(header.nRateDen, 1u);
}
