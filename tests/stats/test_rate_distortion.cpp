#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "stats/FrameFigures.h"
#include "stats/RateDistortion.h"
#include "io/QcifFormat.h"

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

std::vector<std::string> SplitCsv(const std::string& strLine) {
    std::vector<std::string> fields;
    std::stringstream in(strLine);
    std::string field;
    while (std::getline(in, field, ',')) {
        fields.push_back(field);
    }
    return fields;
}

}  // namespace

TEST(ParameterList, AcceptedLists) {
    struct Case {
        const char* pszList;
        std::vector<uint32_t> values;
    };
    const Case cases[] = {
        {"10", {10}},          {"4:16:4", {4, 8, 12, 16}}, {"4:15:4", {4, 8, 12}},
        {"1:3", {1, 2, 3}},    {"16,4,8:8", {4, 8, 16}},   {" 1 , 2 ", {1, 2}},
        {"250:255:10", {250}}, {"1:255:254", {1, 255}},    {"5,5,5", {5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszList);
        std::vector<uint32_t> values;
        std::string strError;
        EXPECT_TRUE(ParseParameterList(c.pszList, 1, 255, values, &strError)) << strError;
        EXPECT_EQ(values, c.values);
    }
}

TEST(ParameterList, RefusedLists) {
    const char* const lists[] = {"",      "a",    "4:", "1:2:3:4", "0",   "256", "8:4",
                                 "1:5:0", "1,,2", "-1", "2.5",     "1;2", ":",   "99999999999"};
    for (const char* pszList : lists) {
        SCOPED_TRACE(pszList);
        std::vector<uint32_t> values = {42};
        std::string strError;
        EXPECT_FALSE(ParseParameterList(pszList, 1, 255, values, &strError));
        EXPECT_FALSE(strError.empty());
        EXPECT_EQ(values, std::vector<uint32_t>{42});  // untouched
    }
}

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
    EXPECT_EQ(RdCsvRow(again, false), RdCsvRow(fine, false));
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

TEST(RdCsv, RowsParseBackToThePoint) {
    SRdPoint p;
    p.nThreshold = 10;
    p.nQuantiser = 24;
    p.nFrames = 50;
    p.nCmpBytes = 123457;
    p.dBitsPerPixel = 0.779405;
    p.dRatio = 30.79;
    p.dMeanRmse = 3.25;
    p.dMeanPsnr = 37.916;
    p.adMeanPlanePsnr[0] = 36.5;
    p.adMeanPlanePsnr[1] = 41.25;
    p.adMeanPlanePsnr[2] = INFINITY;
    p.dEncodeSeconds = 0.5;
    p.dDecodeSeconds = 0.25;

    for (bool bTimes : {false, true}) {
        SCOPED_TRACE(bTimes);
        const std::string strHeader = RdCsvHeader(bTimes);
        const std::string strRow = RdCsvRow(p, bTimes);
        ASSERT_EQ(strHeader.back(), '\n');
        ASSERT_EQ(strRow.back(), '\n');
        const auto names = SplitCsv(strHeader.substr(0, strHeader.size() - 1));
        const auto fields = SplitCsv(strRow.substr(0, strRow.size() - 1));
        ASSERT_EQ(names.size(), bTimes ? 13u : 11u);
        ASSERT_EQ(fields.size(), names.size());
        std::map<std::string, std::string> row;
        for (size_t k = 0; k < names.size(); ++k) {
            row[names[k]] = fields[k];
        }
        EXPECT_EQ(row["threshold"], "10");
        EXPECT_EQ(row["quantiser"], "24");
        EXPECT_EQ(row["frames"], "50");
        EXPECT_EQ(row["cmp_bytes"], "123457");
        EXPECT_NEAR(std::stod(row["bits_per_pixel"]), p.dBitsPerPixel, 1e-6);
        EXPECT_NEAR(std::stod(row["compression_ratio"]), p.dRatio, 1e-4);
        EXPECT_NEAR(std::stod(row["mean_rmse"]), p.dMeanRmse, 1e-6);
        EXPECT_NEAR(std::stod(row["mean_psnr_db"]), p.dMeanPsnr, 1e-6);
        EXPECT_NEAR(std::stod(row["mean_psnr_y_db"]), 36.5, 1e-6);
        EXPECT_NEAR(std::stod(row["mean_psnr_u_db"]), 41.25, 1e-6);
        EXPECT_EQ(row["mean_psnr_v_db"], "inf");
        EXPECT_EQ(row.count("encode_s"), bTimes ? 1u : 0u);
        if (bTimes) {
            EXPECT_NEAR(std::stod(row["encode_s"]), 0.5, 1e-4);
            EXPECT_NEAR(std::stod(row["decode_s"]), 0.25, 1e-4);
        }
    }
}

TEST(RdPlot, OneCurvePerThresholdWithLabelledAxes) {
    std::vector<SRdPoint> points;
    for (uint32_t t : {5u, 20u}) {
        for (uint32_t q : {8u, 16u, 32u}) {
            SRdPoint p;
            p.nThreshold = t;
            p.nQuantiser = q;
            p.dBitsPerPixel = 2.0 / q + t / 100.0;
            p.dMeanPsnr = 30 + 40.0 / q - t / 10.0;
            points.push_back(p);
        }
    }
    const std::string svg = RenderRdPlotSvg(points, "clip <A&B>");
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_EQ(count("<polyline"), 2u);
    EXPECT_EQ(count("<circle"), 6u + 2u);  // the points, and a marker per legend entry
    EXPECT_EQ(count(">threshold 5<"), 1u);
    EXPECT_EQ(count(">threshold 20<"), 1u);
    EXPECT_EQ(count("Rate (bits per pixel)"), 1u);
    EXPECT_EQ(count("Mean PSNR (dB)"), 1u);
    EXPECT_EQ(count("clip &lt;A&amp;B&gt;"), 1u);
    EXPECT_EQ(count("<svg"), count("</svg>"));
    EXPECT_EQ(count("<text"), count("</text>"));
    // Every point lies inside the plot area, whose frame is the one rect with a stroke.
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    EXPECT_EQ(svg.find("inf"), std::string::npos);
}
