#include "codec/Subbands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "codec/CodecRun.h"

namespace {

TEST(BandTable, StepsForQuantiser16) {
    CCodecContext ctx;
    ctx.m_byQuantiser = 16;
    const CRunLease lease(ctx);
    const uint16_t steps[BAND_COUNT] = {16, 12, 12, 12, 16, 16, 16, 27, 27, 27, 36,
                                        36, 36, 16, 12, 12, 12, 16, 16, 16, 21, 21,
                                        21, 16, 12, 12, 12, 16, 16, 16, 21, 21, 21};
    EXPECT_TRUE(std::equal(steps, steps + BAND_COUNT, ctx.m_nBandStep));
    EXPECT_EQ(ctx.m_nBandStart[0], 0);
    EXPECT_EQ(ctx.m_nBandStart[12], 19008);  // Y HH1 runs on through U LL3
    EXPECT_EQ(ctx.m_nBandStart[13], 25443);
    EXPECT_EQ(ctx.m_nBandStart[17], 25839);  // split inside U HL2
    EXPECT_EQ(ctx.m_nBandStart[BAND_COUNT], 38016);
}

// One band of each exponent: 0 (1.0), 1 (0.9), 20 (1.1), 7 (1.2), 10 (1.3).
TEST(BandTable, StepsByExponent) {
    struct Case {
        uint8_t q;
        uint16_t e10, e09, e11, e12, e13;
    } const cases[] = {
        {1, 1, 1, 1, 1, 1},
        {2, 2, 1, 2, 2, 2},
        {100, 100, 63, 158, 251, 398},
        {32, 32, 22, 45, 63, 90},         // 32^1.2 is 64 exactly but pow falls just below
        {243, 243, 140, 420, 728, 1262},  // likewise 243^1.2 = 729
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BandStep(c.q, 0), c.e10) << int(c.q);
        EXPECT_EQ(BandStep(c.q, 1), c.e09) << int(c.q);
        EXPECT_EQ(BandStep(c.q, 20), c.e11) << int(c.q);
        EXPECT_EQ(BandStep(c.q, 7), c.e12) << int(c.q);
        EXPECT_EQ(BandStep(c.q, 10), c.e13) << int(c.q);
    }
}

// Quantises one value at a band-order position of a whole frame (Q=16, T=10)
// and dequantises it again, through the band operations.
TEST(Quantiser, ExamplesQ16T10) {
    struct Case {
        uint32_t band;
        int16_t x;
        int16_t index;
        int16_t back;
    } const cases[] = {
        {0, 1500, 0, 1500},  {0, 1517, 0, 1500}, {0, 1518, 1, 1526}, {0, 1525, 1, 1526},
        {0, 1526, 1, 1526},  {0, 1533, 1, 1526}, {0, 1534, 2, 1542}, {0, 1600, 6, 1606},
        {0, 1400, -6, 1394}, {4, 17, 0, 0},      {4, 18, 1, 26},     {4, 33, 1, 26},
        {4, 34, 2, 42},      {4, -18, -1, -26},  {4, 100, 6, 106},   {4, -100, -6, -106},
        {7, 40, 1, 37},      {7, 41, 1, 37},     {7, 100, 3, 91},    {23, 1075, 0, 1075},
        {12, 0, 0, 0},  // U LL3 lies in band 12 and has no offset
    };
    CCodecContext ctx;
    ctx.m_byQuantiser = 16;
    ctx.m_byThreshold = 10;
    const CRunLease lease(ctx);
    for (const auto& c : cases) {
        // Last position of the band, so a wrong boundary shows up too.
        const uint32_t p = g_anBandBoundaries[c.band + 1] - 1;
        std::fill_n(ctx.m_pCoef[0], COEF_FRAME_VALUES, int16_t(0));
        ctx.m_pCoef[0][p] = c.x;
        QuantiseBands(ctx);
        EXPECT_EQ(ctx.m_pCoef[0][p], c.index) << "band " << c.band << " x " << c.x;
        std::copy_n(ctx.m_pCoef[0], COEF_FRAME_VALUES, ctx.m_pCoef[1]);
        DequantiseBands(ctx);
        EXPECT_EQ(ctx.m_pCoef[0][p], c.back) << "band " << c.band << " x " << c.x;
        EXPECT_EQ(ctx.m_pCoef[1][p], c.index) << "the indices must survive dequantising";
    }
}

// Every quantiser and every band: no division by zero, the dead zone gives 0,
// and outside it the reconstruction stays within reach of the value. Step-1
// bands reconstruct exactly; even steps within half a step.
TEST(Quantiser, AllQuantisersAllBands) {
    for (int q = 1; q <= 255; ++q) {
        for (uint32_t b = 0; b < BAND_COUNT; ++b) {
            const uint16_t s = BandStep(static_cast<uint8_t>(q), b);
            const int half = s / 2;
            for (uint8_t t : {1, 10, 100, 255}) {
                for (int x = -3000; x <= 3000; x += (q < 3 ? 1 : 7)) {
                    const int16_t v = QuantiseValue(static_cast<int16_t>(x), s, t);
                    const int back = DequantiseValue(v, s, t);
                    // Step 1: the index |x| - t is 0 at |x| == t as well.
                    if (std::abs(x) < half + t || (s == 1 && std::abs(x) == t)) {
                        ASSERT_EQ(v, 0) << q << " " << b << " " << x;
                        continue;
                    }
                    ASSERT_NE(v, 0) << q << " " << b << " " << x;
                    ASSERT_EQ(v > 0, x > 0);
                    if (s == 1) {
                        ASSERT_EQ(back, x) << q << " band " << b << " t " << int(t);
                    } else if (s % 2 == 0) {
                        ASSERT_LE(std::abs(back - x), half) << q << " " << b << " " << x;
                    }
                }
            }
        }
    }
}

TEST(Quantiser, StepOneBandsThroughTheFrame) {
    CCodecContext ctx;
    ctx.m_byQuantiser = 2;  // exponent-0.9 bands have step 1
    ctx.m_byThreshold = 3;
    const CRunLease lease(ctx);
    ASSERT_EQ(ctx.m_nBandStep[1], 1);
    const int16_t xs[] = {-500, -4, -3, -2, 0, 2, 3, 4, 5, 500};
    const int16_t want[] = {-500, -4, 0, 0, 0, 0, 0, 4, 5, 500};
    for (size_t i = 0; i < std::size(xs); ++i) {
        ctx.m_pCoef[0][99 + i] = xs[i];  // band 1
    }
    QuantiseBands(ctx);
    std::copy_n(ctx.m_pCoef[0], COEF_FRAME_VALUES, ctx.m_pCoef[1]);
    DequantiseBands(ctx);
    for (size_t i = 0; i < std::size(xs); ++i) {
        EXPECT_EQ(ctx.m_pCoef[0][99 + i], want[i]) << xs[i];
    }
}

TEST(Scan, IsAPermutationWithKnownPositions) {
    const uint16_t* scan = ScanTable();
    std::vector<bool> seen(COEF_FRAME_VALUES, false);
    for (uint32_t i = 0; i < COEF_FRAME_VALUES; ++i) {
        ASSERT_LT(scan[i], COEF_FRAME_VALUES);
        ASSERT_FALSE(seen[scan[i]]) << i;
        seen[scan[i]] = true;
    }
    auto y = [](uint32_t col, uint32_t row) { return row * 176 + col; };
    auto v = [](uint32_t col, uint32_t row) { return 31680 + row * 88 + col; };
    struct Case {
        uint32_t bandPos, pyramidPos;
    } const cases[] = {
        {0, y(0, 0)},           {98, y(10, 8)},      {99, y(11, 0)},    {100, y(12, 0)},
        {396, y(22, 0)},        {397, y(22, 1)},  // HL3 by columns
        {792, y(0, 18)},        {793, y(1, 18)},     {1584, y(44, 0)},  {1585, y(44, 1)},
        {1588, y(45, 0)},       {1600, y(48, 0)},  // 4 x 4 blocks
        {1584 + 176, y(44, 4)},                    // next block row
        {3168, y(0, 36)},       {3169, y(1, 36)},    {3172, y(0, 37)},  {6336, y(88, 0)},
        {6337, y(88, 1)},       {6344, y(89, 0)},  // 8 x 8 blocks
        {6400, y(96, 0)},       {12672, y(0, 72)},   {12673, y(1, 72)}, {25343, y(175, 143)},
        {25344, 25344},         {25443, 25344 + 11}, {31680, v(0, 0)},  {33264, v(44, 0)},
        {33265, v(44, 1)},      {38015, v(87, 71)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scan[c.bandPos], c.pyramidPos) << "band-order position " << c.bandPos;
    }
}

TEST(Scan, UnscanUndoesScanAndExchangesSlots) {
    CCodecContext ctx;
    const CRunLease lease(ctx);
    std::mt19937 rng(11);
    for (uint32_t i = 0; i < COEF_FRAME_VALUES; ++i) {
        ctx.m_pCoef[0][i] = static_cast<int16_t>(rng());
    }
    const std::vector<int16_t> original(ctx.m_pCoef[0], ctx.m_pCoef[0] + COEF_FRAME_VALUES);
    int16_t* const slot0 = ctx.m_pCoef[0];
    int16_t* const slot2 = ctx.m_pCoef[2];
    ScanSubbands(ctx);
    EXPECT_EQ(ctx.m_pCoef[0], slot2);
    EXPECT_EQ(ctx.m_pCoef[2], slot0);
    EXPECT_EQ(ctx.m_pCoef[0][397], original[176 + 22]);
    UnscanSubbands(ctx);
    EXPECT_EQ(ctx.m_pCoef[0], slot0);
    EXPECT_TRUE(std::equal(original.begin(), original.end(), ctx.m_pCoef[0]));
}

}  // namespace
