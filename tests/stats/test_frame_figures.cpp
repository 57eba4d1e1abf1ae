// Whole-frame RMSE/PSNR, their means, and the per-plane extras.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "io/QcifFormat.h"
#include "stats/FrameFigures.h"

namespace {

using Frame = std::vector<uint8_t>;

Frame Uniform(uint8_t by) {
    return Frame(QCIF_FRAME_BYTES, by);
}

}  // namespace

TEST(FrameFigures, KnownFramesGiveTheShownFigures) {
    struct Case {
        const char* name;
        Frame a, b;
        const char* rmse;  // "%.2f", or "Match" for RMSE 0
        const char* psnr;
    };
    Frame oneOff = Uniform(100);
    oneOff[12345] = 101;
    Frame lastOff = Uniform(7);
    lastOff[QCIF_FRAME_BYTES - 1] = 6;
    std::vector<Case> cases = {
        {"identical", Uniform(77), Uniform(77), "Match", "Match"},
        {"one sample off by one", Uniform(100), oneOff, "0.01", "93.93"},
        {"last V sample off by one", Uniform(7), lastOff, "0.01", "93.93"},
        {"255 everywhere", Uniform(0), Uniform(255), "255.00", "0.00"},
        {"255 everywhere, reversed", Uniform(255), Uniform(0), "255.00", "0.00"},
        {"16 everywhere", Uniform(40), Uniform(56), "16.00", "24.05"},
    };
    for (const Case& c : cases) {
        SFrameFigures f = CompareFrame(c.a.data(), c.b.data());
        bool bMatch = f.dRmse == 0;
        EXPECT_EQ(bMatch ? "Match" : FormatFigure(f.dRmse), c.rmse) << c.name;
        EXPECT_EQ(bMatch ? "Match" : FormatFigure(f.dPsnr), c.psnr) << c.name;
    }
}

TEST(FrameFigures, ExactValuesOfTheEdgeFrames) {
    Frame a = Uniform(0), b = Uniform(0);
    SFrameFigures same = CompareFrame(a.data(), b.data());
    EXPECT_EQ(same.dRmse, 0.0);
    EXPECT_EQ(same.dPsnr, 93.9304678);

    Frame white = Uniform(255);
    SFrameFigures full = CompareFrame(a.data(), white.data());
    EXPECT_EQ(FrameSquaredError(a.data(), white.data()), 38016ull * 255 * 255);
    EXPECT_NEAR(full.dRmse, 255.0, 1e-9);
    EXPECT_NEAR(full.dPsnr, 0.0, 1e-9);

    b[0] = 1;
    SFrameFigures one = CompareFrame(a.data(), b.data());
    EXPECT_DOUBLE_EQ(one.dRmse, std::sqrt(1.0 / 38016));
    // The match PSNR is the PSNR of exactly this frame, to seven decimals.
    EXPECT_NEAR(one.dPsnr, 93.9304678, 5e-8);
}

TEST(FrameFigures, FactorIsAppliedAsAMultiplication) {
    // With three samples off by one, multiplying by the rounded 1/38016 and
    // dividing by 38016 give square roots one bit apart; the figures must match
    // the multiplication.
    Frame a = Uniform(9), b = Uniform(9);
    b[0] = b[20000] = b[38000] = 10;
    SFrameFigures f = CompareFrame(a.data(), b.data());
    EXPECT_EQ(f.dRmse, std::sqrt(3.0 * 2.6304713804713804e-05));
    EXPECT_NE(f.dRmse, std::sqrt(3.0 / 38016.0));
}

TEST(FrameFigures, MeansCountIdenticalFramesAndMatchOnlyWhenAllAreIdentical) {
    Frame zero = Uniform(0), white = Uniform(255);
    CFrameMeans none;
    EXPECT_TRUE(none.IsMatch());
    EXPECT_EQ(none.Count(), 0u);

    CFrameMeans same;
    same.Add(CompareFrame(zero.data(), zero.data()));
    same.Add(CompareFrame(white.data(), white.data()));
    EXPECT_TRUE(same.IsMatch());

    CFrameMeans mixed;
    mixed.Add(CompareFrame(zero.data(), zero.data()));
    mixed.Add(CompareFrame(zero.data(), white.data()));
    EXPECT_FALSE(mixed.IsMatch());
    EXPECT_EQ(mixed.Count(), 2u);
    EXPECT_EQ(FormatFigure(mixed.MeanRmse()), "127.50");
    EXPECT_NEAR(mixed.MeanPsnr(), 93.9304678 / 2, 1e-9);
    EXPECT_EQ(FormatFigure(mixed.MeanPsnr()), "46.97");
}

TEST(PlaneFigures, EachPlaneIsMeasuredOnItsOwnSamples) {
    Frame a = Uniform(50), b = Uniform(50);
    // Y differs by 2 everywhere, U untouched, V differs by 1 in one sample.
    for (uint32_t k = 0; k < QCIF_Y_BYTES; ++k) {
        b[k] = 52;
    }
    b[QCIF_V_OFFSET + 10] = 51;
    SPlaneFigures f = ComparePlanes(a.data(), b.data());
    EXPECT_DOUBLE_EQ(f.adMse[0], 4.0);
    EXPECT_EQ(f.adMse[1], 0.0);
    EXPECT_DOUBLE_EQ(f.adMse[2], 1.0 / 6336);
    EXPECT_DOUBLE_EQ(f.adPsnr[0], 10 * std::log10(255.0 * 255.0 / 4.0));
    EXPECT_TRUE(std::isinf(f.adPsnr[1]) && f.adPsnr[1] > 0);
    EXPECT_DOUBLE_EQ(f.dMseAvg, (4.0 * 25344 + 1) / 38016);

    // The per-plane average agrees with the whole-frame RMSE.
    SFrameFigures whole = CompareFrame(a.data(), b.data());
    EXPECT_NEAR(std::sqrt(f.dMseAvg), whole.dRmse, 1e-12);
    EXPECT_NEAR(f.dPsnrAvg, whole.dPsnr, 1e-9);
}

TEST(PlaneFigures, StatsLineLooksLikeFfmpegs) {
    Frame a = Uniform(0), b = Uniform(0);
    EXPECT_EQ(FormatStatsLine(1, ComparePlanes(a.data(), b.data())),
              "n:1 mse_avg:0.00 mse_y:0.00 mse_u:0.00 mse_v:0.00 psnr_avg:inf psnr_y:inf "
              "psnr_u:inf psnr_v:inf\n");
    Frame white = Uniform(255);
    EXPECT_EQ(FormatStatsLine(12, ComparePlanes(a.data(), white.data())),
              "n:12 mse_avg:65025.00 mse_y:65025.00 mse_u:65025.00 mse_v:65025.00 psnr_avg:0.00 "
              "psnr_y:0.00 psnr_u:0.00 psnr_v:0.00\n");
}
