// Decompression of damaged or hostile compressed streams: every case fails
// cleanly with a reason, never reads or writes outside its buffers (the
// sanitizer build checks that), and leaves the input alone.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "codec/CodecContext.h"
#include "codec/FrameDecoder.h"
#include "codec/ZeroRun.h"
#include "io/MemFile.h"
#include "io/QcifFormat.h"
#include "support/DamagedStreams.h"

namespace {

// Each damaged stream, decoded with what its header says (the base stream's
// values when there is no header): refused with its reason, or decoded whole.
// Every third case also goes through the pipeline, which must come to the same
// verdict with the same frames.
TEST(DamagedInput, EachFaultHasItsReason) {
    size_t nCase = 0;
    for (const auto& c : DamagedStreams()) {
        const bool bHeader = c.cmp.size() >= CMP_HEADER_BYTES;
        const uint32_t nFrames = bHeader ? c.cmp[0] | c.cmp[1] << 8 : DAMAGE_BASE_FRAMES;
        const uint8_t t = bHeader ? c.cmp[2] : DAMAGE_BASE_PARAM;
        const uint8_t q = bHeader ? c.cmp[3] : DAMAGE_BASE_PARAM;
        const auto out = Decompress(c.cmp, nFrames, t, q);
        if (nCase++ % 3 == 0) {
            const auto piped = Decompress(c.cmp, nFrames, t, q, 2 + nCase % 3);
            EXPECT_EQ(piped.nError, out.nError) << c.strName;
            EXPECT_TRUE(piped.qcf == out.qcf) << c.strName;
        }
        // The frame-by-frame decoder comes to the same verdict with the same
        // frames, whether it checks the records first or meets a fault while
        // rebuilding, and when its stream arrives a few bytes at a time.
        for (int nWay : {0, 1, 2}) {
            const bool bCheckFirst = nWay == 0;
            struct CFewBytes : ILzariCodeSource {
                const Bytes& cmp;
                size_t nAt = CMP_HEADER_BYTES;
                explicit CFewBytes(const Bytes& b) : cmp(b) {}
                uint32_t ReadCode(uint8_t* pDst, uint32_t nMax) override {
                    const size_t n = std::min<size_t>({cmp.size() - nAt, nMax, 1 + nAt % 13});
                    std::copy_n(cmp.data() + nAt, n, pDst);
                    nAt += n;
                    return uint32_t(n);
                }
            } few(c.cmp);
            CFrameDecoder decoder;
            CodecError nError = nWay < 2 || c.cmp.size() < CMP_HEADER_BYTES
                                    ? decoder.Open(c.cmp.data(), uint32_t(c.cmp.size()))
                                    : decoder.Open(c.cmp.data(), few, uint32_t(c.cmp.size()));
            if (nError == CodecError::None && bCheckFirst) {
                nError = decoder.CheckRecords();
            }
            Bytes frames(size_t(decoder.Frames()) * QCIF_FRAME_BYTES);
            while (nError == CodecError::None && decoder.FramesDone() < decoder.Frames()) {
                nError = decoder.DecodeNext(&frames[decoder.FramesDone() * QCIF_FRAME_BYTES]);
            }
            if (out.bResult) {
                EXPECT_EQ(nError, CodecError::None) << c.strName << ": " << CodecErrorText(nError);
                EXPECT_TRUE(frames == out.qcf) << c.strName;
            } else {
                EXPECT_NE(nError, CodecError::None) << c.strName;
                EXPECT_TRUE(c.errors.empty() ||
                            std::find(c.errors.begin(), c.errors.end(), nError) != c.errors.end())
                    << c.strName << " (frame decoder): " << CodecErrorText(nError);
            }
        }
        if (out.bResult) {
            EXPECT_NE(c.want, Damage::Failed) << c.strName;
            EXPECT_EQ(out.qcf.size(), size_t(nFrames) * QCIF_FRAME_BYTES) << c.strName;
            continue;
        }
        EXPECT_NE(c.want, Damage::Frames) << c.strName << ": " << CodecErrorText(out.nError);
        EXPECT_NE(out.nError, CodecError::None) << c.strName;
        if (!c.errors.empty()) {
            EXPECT_NE(std::find(c.errors.begin(), c.errors.end(), out.nError), c.errors.end())
                << c.strName << ": " << CodecErrorText(out.nError);
        }
    }
}

// The bound on the record stream is the longest the encoder can write: a
// first frame of alternating zero and nonzero bytes reaches it exactly.
TEST(DamagedInput, LongestLegalRecordStreamIsAccepted) {
    Bytes alternating(76032);
    for (size_t i = 0; i < alternating.size(); ++i) {
        alternating[i] = i % 2 ? 3 : 0;
    }
    CMemFile rec;
    ASSERT_TRUE(EncodeZeroRuns(rec, alternating.data(), 76032));
    const Bytes record(rec.GetBuffer(), rec.GetBuffer() + rec.GetLength());
    EXPECT_EQ(record.size(), MaxRecordStreamLength(1));
    EXPECT_TRUE(Decompress(StreamOf({record}, 1), 1, 10, 16).bResult);
    Bytes longer = record;
    longer.push_back(7);  // trailing byte: the stated length now exceeds the bound
    EXPECT_EQ(Decompress(StreamOf({longer}, 1), 1, 10, 16).nError, CodecError::ImpossibleSize);
    EXPECT_LT(MaxRecordStreamLength(CODEC_MAX_FRAMES), UINT32_MAX);
    // The table's shortest stream is exactly the lower bound.
    for (const auto& c : DamagedStreams()) {
        if (c.strName == "shortest stream, 2 frames") {
            EXPECT_EQ(RecordStream(c.cmp).size(), MinRecordStreamLength(2));
        }
    }
}

// Compression: the header's frame count is 16 bits.
TEST(DamagedInput, FrameCountOutsideItsRangeIsNotCompressed) {
    Bytes clip = SyntheticClip(1);
    for (uint32_t frames : {0u, CODEC_MAX_FRAMES + 1}) {
        const auto coded = Compress(clip, frames, 10, 16);
        EXPECT_FALSE(coded.bResult);
        EXPECT_EQ(coded.nError, CodecError::BadParameters);
        EXPECT_TRUE(coded.cmp.empty());
    }
}

// Random damage anywhere after the header: any outcome but a crash, and a
// failure always carries its reason.
TEST(DamagedInput, RandomDamageFailsCleanly) {
    const Bytes good = Compress(SyntheticClip(2), 2, 10, 16).cmp;
    std::mt19937 rng(2024);
    int failed = 0;
    for (int i = 0; i < 60; ++i) {
        Bytes bad = good;
        const int flips = 1 + i % 3;
        for (int f = 0; f < flips; ++f) {
            bad[4 + rng() % (bad.size() - 4)] ^= static_cast<uint8_t>(1 + rng() % 255);
        }
        if (i % 4 == 3) {
            bad.resize(4 + rng() % (bad.size() - 4));
        }
        const auto out = Decompress(bad, 2, 10, 16);
        if (!out.bResult) {
            ++failed;
            EXPECT_NE(out.nError, CodecError::None) << "variant " << i;
        }
        // The pipeline reaches the same verdict and, when it succeeds, the same frames.
        const auto piped = Decompress(bad, 2, 10, 16, 2 + i % 3);
        EXPECT_EQ(piped.nError, out.nError) << "variant " << i;
        EXPECT_TRUE(piped.qcf == out.qcf) << "variant " << i;
    }
    EXPECT_GT(failed, 30);
}

}  // namespace
