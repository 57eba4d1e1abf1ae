// The stage views must show what a compression really does: the indices and
// record sizes are checked against the records of real compressions.

#include <gtest/gtest.h>

#include <algorithm>

#include "codec/CodecRun.h"
#include "codec/StageDump.h"
#include "support/CodecClips.h"

namespace {

Bytes FlatFrame(uint8_t v) {
    return Bytes(FRAME_BYTES, v);
}

}  // namespace

TEST(StageDump, FirstRecordHoldsTheDumpedIndices) {
    const Bytes clip = SyntheticClip(3);
    for (auto [t, q] : {std::pair<uint8_t, uint8_t>{10, 16}, {1, 4}, {40, 60}}) {
        SCOPED_TRACE(testing::Message() << "T=" << int(t) << " Q=" << int(q));
        std::vector<int16_t> indices;
        ASSERT_TRUE(FrameIndices(clip.data(), t, q, indices));
        ASSERT_EQ(indices.size(), FRAME_BYTES);

        const CodedStream coded = Compress(clip, 3, t, q);
        ASSERT_TRUE(coded.bResult);
        const std::vector<Bytes> records = ExpandRecords(RecordStream(coded.cmp), 3);
        ASSERT_EQ(records.size(), 3u);
        ASSERT_EQ(records[0].size(), 2 * FRAME_BYTES);
        for (uint32_t k = 0; k < FRAME_BYTES; ++k) {
            const int16_t v = int16_t(records[0][2 * k] | records[0][2 * k + 1] << 8);
            ASSERT_EQ(indices[k], v) << "position " << k;
        }

        // Record sizes as measured against the codec's own records.
        SRecordStream measured;
        std::string strError;
        ASSERT_TRUE(
            MeasureRecords(coded.cmp.data(), uint32_t(coded.cmp.size()), measured, &strError))
            << strError;
        ASSERT_EQ(measured.records.size(), 3u);
        EXPECT_EQ(measured.nCmpLength, coded.cmp.size());
        uint32_t nSum = 0;
        for (size_t k = 0; k < 3; ++k) {
            const SRecordSize& r = measured.records[k];
            EXPECT_EQ(r.nFrame, k + 1);
            EXPECT_EQ(r.nExpanded, records[k].size());
            EXPECT_EQ(r.nNonzero, records[k].size() -
                                      std::count(records[k].begin(), records[k].end(), uint8_t{0}));
            EXPECT_GT(r.nCoded, 4u);
            nSum += r.nCoded;
        }
        EXPECT_EQ(nSum, measured.nRecordsLength);
        EXPECT_EQ(measured.nRecordsLength, RecordStream(coded.cmp).size());
    }
}

// A stage view needs no run of the shared cell and leaves a run's buffers alone.
TEST(StageDump, RunsBesideACodecRun) {
    const Bytes frame = SyntheticClip(1);
    CCodecContext run;
    const CRunLease lease(run);
    ASSERT_TRUE(lease.Held());
    const int16_t* apBefore[3] = {run.m_pCoef[0], run.m_pCoef[1], run.m_pCoef[2]};
    std::vector<int16_t> out;
    ASSERT_TRUE(FramePyramid(frame.data(), out));
    ASSERT_TRUE(FrameIndices(frame.data(), 10, 16, out));
    EXPECT_TRUE(std::equal(apBefore, apBefore + 3, run.m_pCoef));
    EXPECT_FALSE(FrameIndices(frame.data(), 0, 16, out));
    EXPECT_FALSE(FrameIndices(frame.data(), 10, 0, out));
}

TEST(StageDump, FlatFrameBands) {
    // A flat grey frame: only the low-pass bands carry values, Y LL4 at 2030,
    // U and V LL3 at 1016 (before the DC offsets of bands 0 and 23).
    const Bytes frame = FlatFrame(128);
    std::vector<int16_t> pyramid;
    ASSERT_TRUE(FramePyramid(frame.data(), pyramid));
    EXPECT_EQ(pyramid[0], 2030);
    EXPECT_EQ(pyramid[10 + 8 * 176], 2030);
    EXPECT_EQ(pyramid[11], 0);
    EXPECT_EQ(pyramid[25344], 1016);
    EXPECT_EQ(pyramid[31680 + 10 + 8 * 88], 1016);
    EXPECT_EQ(pyramid[31680 + 11], 0);

    std::vector<int16_t> indices;
    ASSERT_TRUE(FrameIndices(frame.data(), 10, 16, indices));
    const std::vector<SBandStats> bands = BandStatistics(indices.data(), 16);
    ASSERT_EQ(bands.size(), 33u);

    struct Row {
        uint32_t nBand;
        const char* pszName;
        uint16_t nStep;
        uint32_t nNonzero;
        int16_t nMin, nMax;
        uint64_t nEnergy;
    };
    const Row rows[] = {
        // (2030 - 1500 - 10) / 8 = 65, odd, so 66 / 2
        {0, "Y LL4", 16, 99, 33, 33, 99 * 33 * 33},
        {1, "Y HL4", 12, 0, 0, 0, 0},
        {11, "Y LH1", 36, 0, 0, 0, 0},
        // U LL3 shares band 12 (no offset): (1016 - 10) / 18 = 55 -> 28
        {12, "Y HH1 + U LL3", 36, 99, 0, 28, 99 * 28 * 28},
        {16, "U HL2 (first 99)", 12, 0, 0, 0, 0},
        {17, "U HL2 (other 297)", 16, 0, 0, 0, 0},
        // (1016 - 1075 + 10) / 8 = -6 -> -3
        {23, "V LL3", 16, 99, -3, -3, 99 * 9},
        {32, "V HH1", 21, 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pszName);
        const SBandStats& b = bands[row.nBand];
        EXPECT_EQ(b.nBand, row.nBand);
        EXPECT_EQ(b.strName, row.pszName);
        EXPECT_EQ(b.nStep, row.nStep);
        EXPECT_EQ(b.nNonzero, row.nNonzero);
        EXPECT_EQ(b.nMin, row.nMin);
        EXPECT_EQ(b.nMax, row.nMax);
        EXPECT_EQ(b.nEnergy, row.nEnergy);
    }
    uint32_t nTotal = 0;
    for (const SBandStats& b : bands) {
        nTotal += b.nCount;
    }
    EXPECT_EQ(nTotal, FRAME_BYTES);
    EXPECT_EQ(bands[12].nCount, 6336u + 99u);
}

TEST(StageDump, MeasureRecordsRefusesDamagedStreams) {
    const Bytes clip = SyntheticClip(2);
    const CodedStream coded = Compress(clip, 2, 10, 16);
    ASSERT_TRUE(coded.bResult);

    struct Case {
        const char* pszName;
        Bytes cmp;
    };
    Bytes truncated(coded.cmp.begin(), coded.cmp.begin() + coded.cmp.size() / 2);
    Bytes moreFrames = coded.cmp;
    moreFrames[0] = 3;  // the header claims a frame the records do not hold
    Bytes noFrames = coded.cmp;
    noFrames[0] = noFrames[1] = 0;
    Bytes garbage = coded.cmp;
    for (size_t k = 8; k < garbage.size(); ++k) {
        garbage[k] = uint8_t(k * 37);
    }
    const Case cases[] = {{"header only", Bytes(coded.cmp.begin(), coded.cmp.begin() + 4)},
                          {"three bytes", Bytes(3, 1)},
                          {"truncated", truncated},
                          {"more frames than records", moreFrames},
                          {"no frames", noFrames},
                          {"garbage", garbage}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        SRecordStream out;
        std::string strError;
        EXPECT_FALSE(MeasureRecords(c.cmp.data(), uint32_t(c.cmp.size()), out, &strError));
        EXPECT_FALSE(strError.empty());
        EXPECT_TRUE(out.records.empty());
    }
}
