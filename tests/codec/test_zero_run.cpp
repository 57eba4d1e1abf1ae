#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec/ZeroRun.h"
#include "io/MemFile.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes EncodeRecord(const Bytes& input) {
    CMemFile records(1);
    EXPECT_TRUE(EncodeZeroRuns(records, input.data(), static_cast<uint32_t>(input.size())));
    EXPECT_EQ(records.GetPosition(), records.GetLength());
    return Bytes(records.GetBuffer(), records.GetBuffer() + records.GetLength());
}

Bytes Le32(uint32_t n) {
    return {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
            static_cast<uint8_t>(n >> 24)};
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Decodes one record from `stream` into a buffer of nCapacity bytes.
ZeroRunResult DecodeRecord(Bytes stream, uint32_t nCapacity, Bytes* pOutput,
                           uint32_t* pnPosition = nullptr) {
    CMemFile records;
    records.Attach(stream.data(), static_cast<uint32_t>(stream.size()));
    // One guard byte past the capacity shows any write beyond it.
    Bytes output(nCapacity + 1, 0xCD);
    uint32_t nDecoded = 0xDEADBEEF;
    ZeroRunResult result = DecodeZeroRuns(records, output.data(), nCapacity, &nDecoded);
    EXPECT_EQ(output[nCapacity], 0xCD) << "wrote past the capacity";
    EXPECT_LE(nDecoded, nCapacity);
    output.resize(std::min(nDecoded, nCapacity));
    *pOutput = output;
    if (pnPosition) {
        *pnPosition = records.GetPosition();
    }
    return result;
}

}  // namespace

TEST(ZeroRun, KnownRecords) {
    struct {
        const char* name;
        Bytes input;
        Bytes coded;
    } const cases[] = {
        {"final zero", {5, 0, 0, 0, 7, 0}, {5, 0, 2, 7, 0, 0}},
        {"lone zero", {0}, {0, 0}},
        {"255 zeros", Bytes(255, 0), {0, 254}},
        {"256 zeros", Bytes(256, 0), {0, 255, 0}},
        {"511 zeros", Bytes(511, 0), {0, 255, 255, 0}},
        {"no zeros", {1, 2, 3, 255, 128}, {1, 2, 3, 255, 128}},
        {"empty", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes record = EncodeRecord(c.input);
        EXPECT_EQ(record, Concat(Le32(static_cast<uint32_t>(c.coded.size())), c.coded));
        Bytes decoded;
        ASSERT_EQ(DecodeRecord(record, static_cast<uint32_t>(c.input.size()), &decoded),
                  ZeroRunResult::Ok);
        EXPECT_EQ(decoded, c.input);
    }
}

TEST(ZeroRun, ZeroFramesHaveFixedLengths) {
    struct {
        uint32_t nZeros;
        uint32_t nCoded;
        uint8_t byLast;
    } const cases[] = {{38016, 151, 20}, {76032, 300, 41}};
    for (const auto& c : cases) {
        const Bytes record = EncodeRecord(Bytes(c.nZeros, 0));
        ASSERT_EQ(record.size(), 4 + c.nCoded);
        EXPECT_EQ(Bytes(record.begin(), record.begin() + 4), Le32(c.nCoded));
        EXPECT_EQ(record[4], 0);
        EXPECT_EQ(Bytes(record.begin() + 5, record.end() - 1), Bytes(c.nCoded - 2, 255));
        EXPECT_EQ(record.back(), c.byLast);
    }
}

TEST(ZeroRun, RoundTripsRecordByRecord) {
    std::mt19937 rng(21);
    std::vector<Bytes> inputs;
    for (uint32_t n : {1u, 2u, 254u, 255u, 256u, 510u, 38016u, 76032u, 38016u, 1000u}) {
        Bytes input(n);
        const uint32_t nZeroShare = rng() % 100;
        for (auto& b : input) {
            b = (rng() % 100 < nZeroShare) ? 0 : static_cast<uint8_t>(rng());
        }
        inputs.push_back(input);
    }
    CMemFile records(1);
    for (const Bytes& input : inputs) {
        ASSERT_TRUE(EncodeZeroRuns(records, input.data(), static_cast<uint32_t>(input.size())));
    }
    records.Seek(0);
    for (const Bytes& input : inputs) {
        Bytes output(input.size());
        uint32_t nDecoded = 0;
        ASSERT_EQ(
            DecodeZeroRuns(records, output.data(), static_cast<uint32_t>(output.size()), &nDecoded),
            ZeroRunResult::Ok);
        EXPECT_EQ(nDecoded, input.size());
        EXPECT_EQ(output, input);
    }
    EXPECT_EQ(records.GetPosition(), records.GetLength());
}

TEST(ZeroRun, MalformedRecords) {
    struct {
        const char* name;
        Bytes stream;
        uint32_t nCapacity;
        ZeroRunResult expected;
        Bytes decoded;  // what was written before the fault was found
    } const cases[] = {
        {"no length", {}, 10, ZeroRunResult::Truncated, {}},
        {"short length", {2, 0, 0}, 10, ZeroRunResult::Truncated, {}},
        {"short body", {3, 0, 0, 0, 9, 8}, 10, ZeroRunResult::Truncated, {9, 8}},
        {"huge length", {0xFF, 0xFF, 0xFF, 0xFF, 1}, 10, ZeroRunResult::Truncated, {1}},
        {"cut inside count", {4, 0, 0, 0, 1, 0, 255}, 10, ZeroRunResult::Truncated, {1, 0}},
        {"ends on 255", {3, 0, 0, 0, 0, 255, 255, 7}, 1000, ZeroRunResult::BadContinuation, {0}},
        {"ends after zero", {2, 0, 0, 0, 6, 0, 9}, 10, ZeroRunResult::BadContinuation, {6, 0}},
        {"literal overruns", {3, 0, 0, 0, 1, 2, 3}, 2, ZeroRunResult::Overrun, {1, 2}},
        {"run overruns", {3, 0, 0, 0, 1, 0, 9}, 5, ZeroRunResult::Overrun, {1, 0}},
        {"long run overruns", {4, 0, 0, 0, 0, 255, 255, 254}, 764, ZeroRunResult::Overrun, {0}},
        {"fills exactly", {4, 0, 0, 0, 0, 255, 255, 254}, 765, ZeroRunResult::Ok, Bytes(765, 0)},
        {"zero capacity", {1, 0, 0, 0, 5}, 0, ZeroRunResult::Overrun, {}},
        {"short is not an error", {1, 0, 0, 0, 5}, 3, ZeroRunResult::Ok, {5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes decoded;
        EXPECT_EQ(DecodeRecord(c.stream, c.nCapacity, &decoded), c.expected);
        EXPECT_EQ(decoded, c.decoded);
    }
}

TEST(ZeroRun, RandomAndCutRecordsStayInBounds) {
    std::mt19937 rng(22);
    Bytes input(3000);
    for (auto& b : input) {
        b = (rng() % 3 == 0) ? static_cast<uint8_t>(rng()) : 0;
    }
    const Bytes record = EncodeRecord(input);
    for (size_t n = 0; n < record.size(); ++n) {
        Bytes decoded;
        const ZeroRunResult result = DecodeRecord(Bytes(record.begin(), record.begin() + n),
                                                  static_cast<uint32_t>(input.size()), &decoded);
        ASSERT_EQ(result, ZeroRunResult::Truncated) << "prefix " << n;
        ASSERT_TRUE(std::equal(decoded.begin(), decoded.end(), input.begin()));
    }
    for (int trial = 0; trial < 300; ++trial) {
        Bytes stream(4 + rng() % 600);
        for (auto& b : stream) {
            b = (rng() % 2) ? 0 : static_cast<uint8_t>(rng() % 2 ? 255 : rng());
        }
        stream[2] = stream[3] = 0;
        Bytes decoded;
        uint32_t nPosition = 0;
        const ZeroRunResult result = DecodeRecord(stream, rng() % 2000, &decoded, &nPosition);
        EXPECT_LE(nPosition, stream.size());
        if (result == ZeroRunResult::Ok) {
            EXPECT_EQ(nPosition, 4u + (stream[0] | stream[1] << 8));
        }
    }
}

TEST(ZeroRun, EncodeAppendsAfterExistingRecords) {
    CMemFile records(1);
    const uint8_t existing[3] = {9, 9, 9};
    ASSERT_TRUE(records.Write(existing, 3));
    records.Seek(1);
    const Bytes input = {0, 0, 4};
    ASSERT_TRUE(EncodeZeroRuns(records, input.data(), 3));
    const Bytes expected = {9, 9, 9, 3, 0, 0, 0, 0, 1, 4};
    EXPECT_EQ(Bytes(records.GetBuffer(), records.GetBuffer() + records.GetLength()), expected);

    // A file that cannot grow is left as it was.
    uint8_t fixed[6] = {1, 2, 3, 4, 5, 6};
    CMemFile full;
    full.Attach(fixed, 6);
    EXPECT_FALSE(EncodeZeroRuns(full, input.data(), 3));
    EXPECT_EQ(full.GetLength(), 6u);
    EXPECT_EQ(fixed[0], 1);
    EXPECT_EQ(fixed[5], 6);
}
