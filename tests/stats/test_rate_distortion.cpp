#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "io/QcifFormat.h"
#include "stats/FrameFigures.h"
#include "stats/RateDistortion.h"

namespace {

// A few frames of smooth gradients with a moving square: enough texture for
// the quantiser to matter.
std::vector<uint8_t> TestClip(uint32_t nFrames) {
    std::vector<uint8_t> clip(size_t(nFrames) * QCIF_FRAME_BYTES);
    for (uint32_t f = 0; f < nFrames; ++f) {
        uint8_t* p = clip.data() + size_t(f) * QCIF_FRAME_BYTES;
        for (uint32_t y = 0; y < 144; ++y) {
            for (uint32_t x = 0; x < 176; ++x) {
                const bool bSquare = x >= 40 + 3 * f && x < 80 + 3 * f && y >= 50 && y < 90;
                p[y * 176 + x] = uint8_t(bSquare ? 220 : (x + 2 * y + 5 * f) % 200 + (x * y) % 17);
            }
        }
        for (uint32_t k = QCIF_U_OFFSET; k < QCIF_FRAME_BYTES; ++k) {
            p[k] = uint8_t(100 + (k * 7 + f) % 40);
        }
    }
    return clip;
}

}  // namespace

TEST(RdPoint, FiguresAgreeWithTheirDefinitions) {
    const std::vector<uint8_t> clip = TestClip(3);
    SRdPoint fine, coarse;
    std::string strError;
    ASSERT_TRUE(EvaluateRdPoint(clip.data(), 3, 10, 4, fine, &strError)) << strError;
    ASSERT_TRUE(EvaluateRdPoint(clip.data(), 3, 10, 64, coarse, &strError)) << strError;

    for (const SRdPoint* p : {&fine, &coarse}) {
        EXPECT_EQ(p->nFrames, 3u);
        EXPECT_GT(p->nCmpBytes, 4u);
        EXPECT_DOUBLE_EQ(p->dBitsPerPixel * 3 * 25344 / 8, double(p->nCmpBytes));
        EXPECT_DOUBLE_EQ(p->dRatio * double(p->nCmpBytes), 3.0 * 76032);
        // PSNR from the mean of per-frame PSNRs, each from the frame's RMSE.
        EXPECT_GT(p->dMeanPsnr, 10.0);
        EXPECT_GT(p->dMeanRmse, 0.0);
        EXPECT_GE(p->dEncodeSeconds, 0.0);
        EXPECT_GE(p->dDecodeSeconds, 0.0);
    }
    // A coarser quantiser spends fewer bytes and loses more.
    EXPECT_LT(coarse.nCmpBytes, fine.nCmpBytes);
    EXPECT_LT(coarse.dMeanPsnr, fine.dMeanPsnr);
    EXPECT_GT(coarse.dMeanRmse, fine.dMeanRmse);
    EXPECT_LT(coarse.adMeanPlanePsnr[0], fine.adMeanPlanePsnr[0]);

    // Same inputs, same figures: nothing carries over from one point to the next.
    SRdPoint again;
    ASSERT_TRUE(EvaluateRdPoint(clip.data(), 3, 10, 4, again, &strError));
    EXPECT_EQ(again.nCmpBytes, fine.nCmpBytes);
    EXPECT_EQ(again.dMeanPsnr, fine.dMeanPsnr);
    EXPECT_EQ(again.dMeanRmse, fine.dMeanRmse);
    EXPECT_TRUE(std::equal(std::begin(again.adMeanPlanePsnr), std::end(again.adMeanPlanePsnr),
                           std::begin(fine.adMeanPlanePsnr)));
}

TEST(RdPoint, RefusesBadParameters) {
    const std::vector<uint8_t> clip = TestClip(1);
    struct Case {
        uint32_t nFrames, nThreshold, nQuantiser;
    };
    for (const Case& c : {Case{0, 10, 16}, Case{1, 0, 16}, Case{1, 10, 0}, Case{1, 256, 16},
                          Case{1, 10, 256}, Case{65536, 10, 16}}) {
        SRdPoint point;
        std::string strError;
        EXPECT_FALSE(
            EvaluateRdPoint(clip.data(), c.nFrames, c.nThreshold, c.nQuantiser, point, &strError));
        EXPECT_FALSE(strError.empty());
    }
}
