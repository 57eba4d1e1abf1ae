// tavro-cli's report writers: parameter lists, the sweep's CSV, its chart,
// the Pareto front and the Bjøntegaard delta between two curves.

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "cli/BdRate.h"
#include "cli/ReportWriters.h"

namespace {

SRdPoint Point(double dBpp, double dPsnr, double dPsnrY) {
    SRdPoint p;
    p.dBitsPerPixel = dBpp;
    p.dMeanPsnr = dPsnr;
    p.adMeanPlanePsnr[0] = dPsnrY;
    return p;
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

TEST(RdCsv, RowsParseBackToThePoint) {
    SRdPoint p;
    p.nThreshold = 10;
    p.nQuantiser = 24;
    p.nFrames = 50;
    p.nCmpBytes = 123457;
    p.dBitsPerPixel = 0.779405;
    p.dRatio = 50 * 76032.0 / 123457;
    p.dMeanRmse = 3.25;
    p.dMeanPsnr = 37.916;
    p.adMeanPlanePsnr[0] = 36.5;
    p.adMeanPlanePsnr[1] = 41.25;
    p.adMeanPlanePsnr[2] = INFINITY;
    p.dEncodeSeconds = 0.5;
    p.dDecodeSeconds = 0.25;

    for (int nCase = 0; nCase < 3; ++nCase) {
        SRdTable table;  // no times, times of a serial sweep, times of a parallel one
        table.bTimes = nCase > 0;
        table.bParallelTimes = nCase == 2;
        table.dFps = 25;
        const bool bTimes = table.bTimes;
        SCOPED_TRACE(nCase);
        const std::string strHeader = RdCsvHeader(table);
        const std::string strRow = RdCsvRow(p, nCase == 1, table);
        ASSERT_EQ(strHeader.back(), '\n');
        ASSERT_EQ(strRow.back(), '\n');
        const auto names = SplitCsvFields(strHeader.substr(0, strHeader.size() - 1));
        const auto fields = SplitCsvFields(strRow.substr(0, strRow.size() - 1));
        ASSERT_EQ(names.size(), bTimes ? 17u : 15u);
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
        // Times taken while other points ran say so in their names.
        const std::string strSuffix = nCase == 2 ? "_parallel" : "";
        EXPECT_EQ(row.count("encode_s" + strSuffix), bTimes ? 1u : 0u);
        EXPECT_EQ(row.count("encode_s"), nCase == 1 ? 1u : 0u);
        if (bTimes) {
            EXPECT_NEAR(std::stod(row["encode_s" + strSuffix]), 0.5, 1e-4);
            EXPECT_NEAR(std::stod(row["decode_s" + strSuffix]), 0.25, 1e-4);
        }
        EXPECT_NEAR(std::stod(row["kbps"]), 123457 * 8.0 * 25 / 50 / 1000, 1e-3);
        EXPECT_NEAR(std::stod(row["raw_ratio"]), 50 * 38016.0 / 123457, 1e-4);
        EXPECT_NEAR(std::stod(row["rgb_ratio"]), 50 * 76032.0 / 123457, 1e-4);
        EXPECT_EQ(row["pareto"], nCase == 1 ? "1" : "0");
    }
}

TEST(RdPlot, OneCurvePerThresholdWithLabelledAxesAndTheFront) {
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
    const std::string svg = RenderRdPlotSvg(points, ERdMetric::Psnr, "clip <A&B>");
    auto count = [&](const std::string& what) {
        size_t n = 0;
        for (size_t at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    // Threshold 5 is better at every quantiser: its three points are the front.
    EXPECT_EQ(count("<polyline"), 2u + 1u);
    EXPECT_EQ(count("<circle"), 6u + 2u + 3u);  // points, legend markers, rings on the front
    EXPECT_EQ(count("r=\"6.5\""), 3u);
    EXPECT_EQ(count(">Pareto front<"), 1u);
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
    // The Y-PSNR axis; a point without a finite Y-PSNR stays off the chart.
    points[0].adMeanPlanePsnr[0] = INFINITY;
    const std::string svgY = RenderRdPlotSvg(points, ERdMetric::PsnrY, "y");
    EXPECT_NE(svgY.find("Mean Y-PSNR (dB)"), std::string::npos);
    EXPECT_EQ(svgY.find("inf"), std::string::npos);
}

TEST(Pareto, NoOtherPointIsAsCheapAndAsGood) {
    // (bpp, PSNR, Y-PSNR): on the front by PSNR, and by Y-PSNR.
    struct Case {
        SRdPoint point;
        bool bFront, bFrontY;
    } const cases[] = {
        {Point(1.0, 30, 29), true, true},
        {Point(2.0, 33, 31), true, false},   // Y: the next point is better at the same rate
        {Point(2.0, 32, 32), false, true},   // same rate, less PSNR
        {Point(2.5, 33, 30), false, false},  // more rate for no more PSNR
        {Point(3.0, 36, 35), true, true},
        {Point(3.0, 36, 35), true, true},  // an equal point is not dominated
        {Point(0.5, 20, 20), true, true},  // the cheapest is always on it
        {Point(4.0, 35, 34), false, false},
    };
    std::vector<SRdPoint> points;
    for (const Case& c : cases) {
        points.push_back(c.point);
    }
    const std::vector<bool> front = ParetoFront(points, ERdMetric::Psnr);
    const std::vector<bool> frontY = ParetoFront(points, ERdMetric::PsnrY);
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(front[i], cases[i].bFront) << i;
        EXPECT_EQ(frontY[i], cases[i].bFrontY) << i;
    }
}

std::vector<SRdSample> Curve(std::initializer_list<SRdSample> samples) {
    return samples;
}

TEST(BdRate, WorkedExamples) {
    struct Case {
        const char* pszName;
        std::vector<SRdSample> a, b;
        double dRatePercent, dQualityDb;
    } const cases[] = {
        // By hand: B reaches every PSNR of A with 0.8 times its rate, so log-rate
        // differs by log10(0.8) everywhere: BD-rate = 0.8 - 1 = -20 %. PSNR is
        // 30 + 3 log2(rate) on A, linear in log-rate, so the cubic through it is
        // that line; B is the same line moved by log2(0.8), 3 log2(1.25) dB higher
        // at any rate = 0.965784284662087 dB.
        {"scaled rates", Curve({{1, 30}, {2, 33}, {4, 36}, {8, 39}}),
         Curve({{0.8, 30}, {1.6, 33}, {3.2, 36}, {6.4, 39}}), -20.0, 3 * std::log2(1.25)},
        // Curved and only partly overlapping. Computed independently by a short
        // Python script: the same slopes (weighted harmonic mean of the secants
        // inside, the three-point end formula), but the cubic evaluated point by
        // point and integrated by composite Simpson's rule over 200000 steps
        // instead of in closed form; printed with ten decimals.
        {"curved, partial overlap", Curve({{0.20, 30.0}, {0.35, 32.6}, {0.60, 35.1}, {1.10, 38.0}}),
         Curve({{0.18, 30.4}, {0.30, 33.0}, {0.55, 35.9}, {1.00, 38.9}}), -21.5815114554,
         1.1760936474},
        // Against itself: nothing to gain.
        {"identical", Curve({{0.2, 30}, {0.4, 31}, {0.9, 37}}),
         Curve({{0.2, 30}, {0.4, 31}, {0.9, 37}}), 0.0, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        SBdResult bd;
        std::string strError;
        ASSERT_TRUE(BjontegaardDelta(c.a, c.b, bd, &strError)) << strError;
        EXPECT_NEAR(bd.dRatePercent, c.dRatePercent, 1e-8);
        EXPECT_NEAR(bd.dQualityDb, c.dQualityDb, 1e-8);
    }
    // Swapping the curves turns the rate ratio around: (1 - 0.2)^-1 - 1 = +25 %.
    SBdResult back;
    std::string strError;
    ASSERT_TRUE(BjontegaardDelta(cases[0].b, cases[0].a, back, &strError));
    EXPECT_NEAR(back.dRatePercent, 25.0, 1e-8);
    EXPECT_NEAR(back.dQualityLo, 30, 1e-12);
    EXPECT_NEAR(back.dQualityHi, 39, 1e-12);
}

TEST(BdRate, CurvesThatCannotBeCompared) {
    const std::vector<SRdSample> good = Curve({{1, 30}, {2, 33}, {4, 36}});
    const std::vector<std::vector<SRdSample>> bad = {
        Curve({{1, 30}}),                    // one point
        Curve({{1, 30}, {2, 29}, {4, 36}}),  // quality falls
        Curve({{1, 30}, {1, 33}}),           // rate does not rise
        Curve({{0, 30}, {2, 33}}),           // no log of a zero rate
        Curve({{8, 40}, {16, 42}}),          // no overlap in quality with good
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        SBdResult bd;
        std::string strError;
        EXPECT_FALSE(BjontegaardDelta(good, bad[i], bd, &strError)) << i;
        EXPECT_FALSE(strError.empty());
    }
}
