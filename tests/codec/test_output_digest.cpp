// Pins every output the codec path produces (compressed bytes, rebuilt frames,
// dithered images, comparison figures) to digests recorded from the reference
// implementation, so that speed work cannot change a single byte unnoticed.
// Digests are the first 16 hex digits of SHA-256.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "playback/DitherDisplay.h"
#include "stats/FrameFigures.h"
#include "stream/SampleClip.h"
#include "support/CodecClips.h"
#include "support/Sha256.h"

namespace {

constexpr uint32_t CLIP_FRAMES = 20;

std::string Short(std::string str) {
    str.resize(16);
    return str;
}

struct Digests {
    std::string strCmp, strQcf, strImage, strFigures;
};

// Dithered images of every frame of a clip, one digest for all of them.
std::string ImageDigest(const Bytes& clip, uint32_t nFrames) {
    CDitherDisplay display;
    EXPECT_TRUE(display.BuildClipTable());
    EXPECT_TRUE(display.BuildDitherTables(8));
    CSha256 sha;
    for (uint32_t f = 0; f < nFrames; ++f) {
        const uint8_t* p = clip.data() + size_t(f) * FRAME_BYTES;
        display.ConvertFrame(p, p + 25344, p + 31680);
        sha.Add(display.GetImage(), FRAME_BYTES - 2 * 6336);
    }
    return Short(sha.HexDigest());
}

// Every figure of every rebuilt frame against its original, bit for bit.
std::string FiguresDigest(const Bytes& a, const Bytes& b, uint32_t nFrames) {
    CSha256 sha;
    CFrameMeans means;
    for (uint32_t f = 0; f < nFrames; ++f) {
        const uint8_t* pa = a.data() + size_t(f) * FRAME_BYTES;
        const uint8_t* pb = b.data() + size_t(f) * FRAME_BYTES;
        const uint64_t nSse = FrameSquaredError(pa, pb);
        const SFrameFigures fig = CompareFrame(pa, pb);
        const SPlaneFigures planes = ComparePlanes(pa, pb);
        means.Add(fig);
        sha.Add(&nSse, sizeof nSse);
        sha.Add(&fig.dRmse, sizeof(double));
        sha.Add(&fig.dPsnr, sizeof(double));
        sha.Add(planes.adMse, sizeof planes.adMse);
        sha.Add(planes.adPsnr, sizeof planes.adPsnr);
        sha.Add(&planes.dMseAvg, sizeof(double));
        sha.Add(&planes.dPsnrAvg, sizeof(double));
    }
    const double adMeans[2] = {means.MeanRmse(), means.MeanPsnr()};
    sha.Add(adMeans, sizeof adMeans);
    return Short(sha.HexDigest());
}

Digests RunClip(const Bytes& clip, uint32_t nFrames, uint8_t t, uint8_t q) {
    Digests d;
    const CodedStream coded = Compress(clip, nFrames, t, q);
    EXPECT_TRUE(coded.bResult);
    const DecodedStream decoded = Decompress(coded.cmp, nFrames, t, q);
    EXPECT_TRUE(decoded.bResult);
    d.strCmp = Short(Sha256Hex(coded.cmp));
    d.strQcf = Short(Sha256Hex(decoded.qcf));
    d.strImage = ImageDigest(clip, nFrames);
    if (decoded.qcf.size() == clip.size()) {
        d.strFigures = FiguresDigest(clip, decoded.qcf, nFrames);
    }
    return d;
}

void ExpectDigests(const Digests& expected, const Digests& actual, const std::string& strWhat) {
    EXPECT_EQ(expected.strCmp, actual.strCmp) << strWhat << ": compressed stream";
    EXPECT_EQ(expected.strQcf, actual.strQcf) << strWhat << ": rebuilt frames";
    EXPECT_EQ(expected.strImage, actual.strImage) << strWhat << ": dithered images";
    EXPECT_EQ(expected.strFigures, actual.strFigures) << strWhat << ": comparison figures";
}

// The pipelined runs give the pinned bytes at every thread count up to 16.
void ExpectDigestsOnThreads(const Digests& expected, const Bytes& clip, uint32_t nFrames,
                            const std::string& strWhat) {
    for (uint32_t nThreads = 2; nThreads <= 16; ++nThreads) {
        const CodedStream coded = Compress(clip, nFrames, 10, 16, nThreads);
        const DecodedStream decoded = Decompress(coded.cmp, nFrames, 10, 16, nThreads);
        const std::string strAt = strWhat + " on " + std::to_string(nThreads) + " threads";
        EXPECT_EQ(expected.strCmp, Short(Sha256Hex(coded.cmp))) << strAt;
        EXPECT_EQ(expected.strQcf, Short(Sha256Hex(decoded.qcf))) << strAt;
    }
}

}  // namespace

TEST(Sha256, KnownVectors) {
    EXPECT_EQ(Sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc", 3),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    const char* psz56 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(Sha256Hex(psz56, std::strlen(psz56)),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // A million 'a' fed in uneven pieces crosses block boundaries everywhere.
    CSha256 sha;
    const std::string strPiece(997, 'a');
    size_t nLeft = 1000000;
    while (nLeft > 0) {
        const size_t n = nLeft < strPiece.size() ? nLeft : strPiece.size();
        sha.Add(strPiece.data(), n);
        nLeft -= n;
    }
    EXPECT_EQ(sha.HexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(OutputDigest, RealClips) {
    struct Case {
        const char* pszFile;
        uint32_t nFirst;  // glasgow from frame 14 holds its scene cut (frame 24)
        Digests expected;
    };
    const Case aCases[] = {
        {"foreman_100f.qcf",
         0,
         {"9e3b2193fa2db895", "aae57d1fecb8ddd5", "30dd5d9ae4f3ad19", "4b90aafe4e72469a"}},
        {"bus_75f.qcf",
         0,
         {"25c9756173fd7b92", "6a799945741a91f8", "6f7215356680a73b", "7a2457ac1e4e5bff"}},
        {"hall_50f.qcf",
         0,
         {"0faed7c792ca24ec", "0a996e88a4f4c30e", "838e004a94f09d40", "2060b860b958b779"}},
        {"highway_40f.qcf",
         0,
         {"a737b8d0d5fa400f", "0f934552e0fdc19f", "542324b55e2bb052", "9626a68baf22530d"}},
        {"glasgow_40f.qcf",
         14,
         {"90ed4d319036a92c", "f458407763ce6c67", "7a4e5dbb216ecc12", "946d925011f1048b"}},
    };
    uint32_t nRun = 0;
    for (const Case& c : aCases) {
        const Bytes all = RealClip(c.pszFile, c.nFirst + CLIP_FRAMES);
        if (all.empty()) {
            continue;
        }
        ++nRun;
        const Bytes clip(all.begin() + c.nFirst * FRAME_BYTES, all.end());
        ExpectDigests(c.expected, RunClip(clip, CLIP_FRAMES, 10, 16), c.pszFile);
        ExpectDigestsOnThreads(c.expected, clip, CLIP_FRAMES, c.pszFile);
    }
    if (nRun == 0) {
        GTEST_SKIP() << "real clips not available";
    }
}

TEST(OutputDigest, SampleClip) {
    const Digests expected = {"2217069fef4e20bf", "45eb068f4365d2f2", "ca7119ca6a80c537",
                              "f76b2253e8f1cbc8"};
    const Bytes clip = SampleClip(CLIP_FRAMES);
    ExpectDigests(expected, RunClip(clip, CLIP_FRAMES, 10, 16), "sample");
    ExpectDigestsOnThreads(expected, clip, CLIP_FRAMES, "sample");
}

// Both parameters over their corner values: step 1 and half step 0 (Q 1, 2),
// the powers that may round either way (Q 32, 243), the widest dead zones;
// each pair on one thread and again on 2..16 threads in turn.
TEST(OutputDigest, ParameterGrid) {
    constexpr uint8_t abyValues[] = {1, 2, 16, 32, 243, 255};
    // [threshold][quantiser]: compressed stream, then rebuilt frames.
    const char* const aapszExpected[6][6][2] = {
        {{"4b883fde89fd0be6", "180b525d2529023e"},
         {"27998f3ca731a925", "82ece7b506370a72"},
         {"e089a979c4c19b60", "157044c2aac516c0"},
         {"29bd6b45d190b431", "dfdd111d5884e037"},
         {"bb6bea19ee221c45", "38d28651c7788a54"},
         {"bc99a1c41bed2565", "7a5b139afc550658"}},
        {{"147111c19128b412", "ae582aaaf01f427d"},
         {"3ae48375def38a85", "d317e2a618996251"},
         {"ec1ae5bf3c777e68", "67d1efdeeb59706b"},
         {"157b53daaee6ff81", "bd392de41cda33d0"},
         {"941b9901eb6d32d8", "2cb4cf32948c7d28"},
         {"5a1b2e73237703bb", "6afa74c333067fe7"}},
        {{"c38745938cfde131", "4bf10754a4d66a0e"},
         {"3557616683a043c9", "ac72cdf71743156d"},
         {"0af4bfb7357a4966", "2b76a9d10f7e6d4c"},
         {"a6075e8d46395340", "bd1b0a9496388f31"},
         {"801179756203735c", "5d40ee0b97f5b49b"},
         {"1418c3370b8b4a99", "9649c2ab09b1c0ad"}},
        {{"1e8987a0eef56de8", "206b38b01fe7e05b"},
         {"f9235f2e04edb581", "cb0b5afcfca342a2"},
         {"6a97b45963008d13", "666fdc65d3dfdc54"},
         {"cdebbccff2944ccb", "5d4293578f73267b"},
         {"eec0aaf728e3bd1b", "0d3994ef971c1b25"},
         {"3500440f7a86e7d2", "02854fdb14e5bd31"}},
        {{"e0136be18dc36942", "48ff14b94e291c65"},
         {"153063260f027820", "135376e5d7464e2a"},
         {"931e4cb0aa66355f", "35fcffed7106e709"},
         {"1e089aada61ec87c", "1265363e92b1ab99"},
         {"86a4b528b686964c", "f12d38be6b58f7ae"},
         {"ba442ef1ebc1f422", "1659198bbea57463"}},
        {{"70a9974f104c6293", "11715ed550503670"},
         {"db16deee9057f64c", "0b243f22fe1c3755"},
         {"4fca179bb3a75920", "c9cfae556bbb5e5f"},
         {"ff902a277a999726", "ac6415f3998064eb"},
         {"bea1eabbe4e4a543", "8c82f6f36906e2c0"},
         {"b2fface0cfd96842", "c4313c1abdd7b7d6"}},
    };
    const uint32_t nFrames = 3;
    const Bytes clip = SampleClip(nFrames);
    for (size_t it = 0; it < 6; ++it) {
        for (size_t iq = 0; iq < 6; ++iq) {
            const uint8_t t = abyValues[it], q = abyValues[iq];
            for (const uint32_t nThreads : {1u, uint32_t(2 + (it * 6 + iq) % 15)}) {
                const CodedStream coded = Compress(clip, nFrames, t, q, nThreads);
                const DecodedStream decoded = Decompress(coded.cmp, nFrames, t, q, nThreads);
                ASSERT_TRUE(coded.bResult && decoded.bResult);
                const std::string strWhat = "T=" + std::to_string(t) + " Q=" + std::to_string(q) +
                                            " threads " + std::to_string(nThreads);
                EXPECT_EQ(aapszExpected[it][iq][0], Short(Sha256Hex(coded.cmp))) << strWhat;
                EXPECT_EQ(aapszExpected[it][iq][1], Short(Sha256Hex(decoded.qcf))) << strWhat;
            }
        }
    }
}
