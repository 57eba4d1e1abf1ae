// Decompression of damaged or hostile compressed streams: every case fails
// cleanly with a reason, never reads or writes outside its buffers (the
// sanitizer build checks that), and leaves the input alone.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "codec/CodecContext.h"
#include "codec/ZeroRun.h"
#include "io/MemFile.h"
#include "support/CodecClips.h"

namespace {

void PutLe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// A compressed stream (header + LZARI) around the given records.
Bytes StreamOf(const std::vector<Bytes>& codedRecords, uint32_t nFrames) {
    Bytes plain;
    for (const auto& r : codedRecords) {
        plain.insert(plain.end(), r.begin(), r.end());
    }
    CMemFile out;
    const uint8_t header[4] = {uint8_t(nFrames), uint8_t(nFrames >> 8), 10, 16};
    out.Write(header, 4);
    CLzariCoder coder;
    EXPECT_TRUE(coder.LzariEncode(plain.data(), static_cast<uint32_t>(plain.size()), out));
    Bytes cmp(out.GetBuffer(), out.GetBuffer() + out.GetLength());
    return cmp;
}

// One zero-run record of n bytes of value v.
Bytes Record(uint32_t n, uint8_t v = 1) {
    const Bytes input(n, v);
    CMemFile out;
    EXPECT_TRUE(EncodeZeroRuns(out, input.data(), n));
    return Bytes(out.GetBuffer(), out.GetBuffer() + out.GetLength());
}

// A record with a length field and raw coded bytes.
Bytes RawRecord(const Bytes& coded, uint32_t nStatedLength) {
    Bytes r(4);
    PutLe32(r, 0, nStatedLength);
    r.insert(r.end(), coded.begin(), coded.end());
    return r;
}

TEST(DamagedInput, EachFaultHasItsReason) {
    const Bytes clip = SyntheticClip(2);
    const Bytes good = Compress(clip, 2, 10, 16).cmp;
    ASSERT_GT(good.size(), 16u);
    Bytes huge = good;
    PutLe32(huge, 4, MaxRecordStreamLength(2) + 1);

    const Bytes first = Record(76032), later = Record(38016);
    struct Case {
        const char* name;
        Bytes cmp;
        uint32_t frames;
        std::vector<CodecError> want;  // any of these
    } const cases[] = {
        {"three bytes", Bytes(good.begin(), good.begin() + 3), 2, {CodecError::Truncated}},
        {"header alone", Bytes(good.begin(), good.begin() + 4), 2, {CodecError::NoRecordData}},
        {"empty record stream", StreamOf({}, 2), 2, {CodecError::NoRecordData}},
        {"impossible length", huge, 2, {CodecError::ImpossibleSize}},
        {"cut in half",
         Bytes(good.begin(), good.begin() + good.size() / 2),
         2,
         {CodecError::Truncated, CodecError::Corrupt}},
        {"more frames than records", good, 3, {CodecError::MissingFrames}},
        {"first record too short", StreamOf({later, later}, 2), 2, {CodecError::BadRecord}},
        {"later record too long", StreamOf({first, Record(38017)}, 2), 2, {CodecError::BadRecord}},
        {"later record too short", StreamOf({first, Record(38015)}, 2), 2, {CodecError::BadRecord}},
        {"record cut short",
         StreamOf({first, RawRecord({1, 2, 3}, 10)}, 2),
         2,
         {CodecError::MissingFrames}},
        {"record ends inside a run count",
         StreamOf({first, RawRecord({1, 0}, 2)}, 2),
         2,
         {CodecError::BadRecord}},
        {"record ends on a 255 count",
         StreamOf({first, RawRecord({0, 255}, 2)}, 2),
         2,
         {CodecError::BadRecord}},
    };
    for (const auto& c : cases) {
        const auto out = Decompress(c.cmp, c.frames, 10, 16);
        EXPECT_FALSE(out.bResult) << c.name;
        EXPECT_NE(std::find(c.want.begin(), c.want.end(), out.nError), c.want.end())
            << c.name << ": " << CodecErrorText(out.nError);
    }
    // The same records, well formed, decode: the faults above are the only difference.
    EXPECT_TRUE(Decompress(StreamOf({first, later}, 2), 2, 10, 16).bResult);
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
}

TEST(DamagedInput, ParametersOutsideTheirRanges) {
    const Bytes good = Compress(SyntheticClip(1), 1, 10, 16).cmp;
    struct Case {
        uint32_t frames;
        uint8_t t, q;
    } const cases[] = {{0, 10, 16}, {1, 0, 16}, {1, 10, 0}};
    for (const auto& c : cases) {
        const auto out = Decompress(good, c.frames, c.t, c.q);
        EXPECT_FALSE(out.bResult);
        EXPECT_EQ(out.nError, CodecError::BadParameters);
    }
    // Compression: the header's frame count is 16 bits.
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
    }
    EXPECT_GT(failed, 30);
}

}  // namespace
