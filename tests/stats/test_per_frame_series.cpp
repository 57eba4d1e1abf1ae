// Frame-by-frame loss series for the chart: whole-frame figures as the
// comparison dialog shows them, per-plane figures, means, a comparison file
// that is shorter or changed, and the CSV read back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "stats/CompareLogic.h"
#include "stats/PerFrameSeries.h"
#include "document/TavroDoc.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Stream(uint32_t nFrames) {
    Bytes v(size_t(nFrames) * QCIF_FRAME_BYTES);
    for (size_t i = 0; i < v.size(); ++i) {
        v[i] = uint8_t((i / QCIF_FRAME_BYTES) * 37 + i * 13 + (i >> 9));
    }
    return v;
}

uint8_t& At(Bytes& v, uint32_t nFrame1, uint32_t nOffset) {
    return v[(nFrame1 - 1) * QCIF_FRAME_BYTES + nOffset];
}

}  // namespace

TEST(PerFrameSeries, IdenticalStreamsGiveZeroRmseAndTheMatchPsnr) {
    CTempDir dir;
    Bytes frames = Stream(3);
    WriteBytes(dir.File("ref.qcf"), frames);
    SPerFrameSeries s;
    std::string strError;
    ASSERT_TRUE(ComputePerFrameSeries(frames.data(), 3, dir.File("ref.qcf"), 3, s, &strError));
    ASSERT_EQ(s.rows.size(), 3u);
    for (const SPerFrameRow& row : s.rows) {
        for (int n = SERIES_FRAME; n < SERIES_COUNT; ++n) {
            EXPECT_EQ(SPerFrameSeries::Rmse(row, n), 0.0) << n;
            // Infinite plane PSNRs are drawn at the whole frame's match PSNR.
            EXPECT_EQ(SPerFrameSeries::Psnr(row, n), COMPARE_MATCH_PSNR) << n;
            EXPECT_EQ(SPerFrameSeries::IsClipped(row, n), n != SERIES_FRAME) << n;
        }
        EXPECT_TRUE(std::isinf(row.planes.adPsnr[0]));
    }
    EXPECT_TRUE(s.means.IsMatch());
    EXPECT_DOUBLE_EQ(s.MeanPsnr(SERIES_Y), COMPARE_MATCH_PSNR);
    EXPECT_EQ(s.MeanRmse(SERIES_V), 0.0);
    EXPECT_EQ(s.rows[2].nFrame, 3u);
}

// The whole-frame figures and the stream mean are those the comparison dialog shows.
TEST(PerFrameSeries, WholeFrameFiguresAreTheComparisonDialogs) {
    CTempDir dir;
    Bytes ref = Stream(4);
    Bytes doc = ref;
    At(doc, 2, 100) ^= 1;                 // one sample off in frame 2
    At(doc, 3, QCIF_V_OFFSET + 5) += 40;  // a V sample far off in frame 3
    for (uint32_t k = 0; k < QCIF_Y_BYTES; k += 3) {
        At(doc, 4, k) = uint8_t(At(doc, 4, k) + 9);  // a third of frame 4's Y
    }
    WriteBytes(dir.File("ref.qcf"), ref);
    SPerFrameSeries s;
    ASSERT_TRUE(ComputePerFrameSeries(doc.data(), 4, dir.File("ref.qcf"), 4, s, nullptr));

    CScriptedPrompts prompts;
    for (uint32_t k = 1; k <= 4; ++k) {
        CCompareLogic logic(doc.data(), 4, 4, dir.File("ref.qcf"), true);
        logic.OnInitDialog();
        logic.OnCompare(std::to_string(k));
        const SFrameFigures& f = s.rows[k - 1].figures;
        const bool bMatch = f.dRmse == 0;
        EXPECT_EQ(logic.RmseText(), bMatch ? "Match" : FormatFigure(f.dRmse)) << k;
        EXPECT_EQ(logic.PsnrText(), bMatch ? "Match" : FormatFigure(f.dPsnr)) << k;
        EXPECT_EQ(f.dRmse, CompareFrame(&At(doc, k, 0), &At(ref, k, 0)).dRmse) << k;
    }
    EXPECT_EQ(FormatFigure(s.rows[1].figures.dPsnr), "93.93");
    CCompareLogic all(doc.data(), 4, 4, dir.File("ref.qcf"), false);
    all.OnInitDialog();
    all.OnCompare("All");
    EXPECT_EQ(all.RmseText(), FormatFigure(s.MeanRmse(SERIES_FRAME)));
    EXPECT_EQ(all.PsnrText(), FormatFigure(s.MeanPsnr(SERIES_FRAME)));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST(PerFrameSeries, PerPlaneFigures) {
    struct Case {
        const char* name;
        uint32_t nOffset, nBytes;  // the samples raised by 4
        double adMse[3];
    };
    const Case cases[] = {
        {"all of Y", 0, QCIF_Y_BYTES, {16, 0, 0}},
        {"all of U", QCIF_U_OFFSET, QCIF_CHROMA_BYTES, {0, 16, 0}},
        {"half of V", QCIF_V_OFFSET, QCIF_CHROMA_BYTES / 2, {0, 0, 8}},
    };
    CTempDir dir;
    Bytes ref(QCIF_FRAME_BYTES, 100);
    WriteBytes(dir.File("ref.qcf"), ref);
    for (const Case& c : cases) {
        Bytes doc = ref;
        std::memset(doc.data() + c.nOffset, 104, c.nBytes);
        SPerFrameSeries s;
        ASSERT_TRUE(ComputePerFrameSeries(doc.data(), 1, dir.File("ref.qcf"), 1, s, nullptr));
        const SPerFrameRow& row = s.rows.at(0);
        for (int p = 0; p < 3; ++p) {
            const int n = SERIES_Y + p;
            EXPECT_DOUBLE_EQ(row.planes.adMse[p], c.adMse[p]) << c.name << p;
            EXPECT_DOUBLE_EQ(SPerFrameSeries::Rmse(row, n), std::sqrt(c.adMse[p])) << c.name;
            const double dExpected =
                c.adMse[p] == 0 ? COMPARE_MATCH_PSNR : 10 * std::log10(255.0 * 255 / c.adMse[p]);
            EXPECT_NEAR(SPerFrameSeries::Psnr(row, n), dExpected, 1e-9) << c.name << p;
            EXPECT_EQ(SPerFrameSeries::IsClipped(row, n), c.adMse[p] == 0) << c.name << p;
            EXPECT_NEAR(s.MeanPsnr(n), dExpected, 1e-9) << c.name << p;
        }
        // The whole frame counts every sample once.
        const double dWholeMse = 16.0 * c.nBytes / QCIF_FRAME_BYTES;
        EXPECT_NEAR(row.figures.dRmse, std::sqrt(dWholeMse), 1e-9) << c.name;
    }
}

TEST(PerFrameSeries, ComparesTheFramesBothHoldAndReportsAChangedFile) {
    CTempDir dir;
    Bytes doc = Stream(5);
    WriteBytes(dir.File("short.qcf"), Stream(3));
    std::string strError;
    SPerFrameSeries s;

    // Shorter comparison file: only the common frames.
    ASSERT_TRUE(ComputePerFrameSeries(doc.data(), 5, dir.File("short.qcf"), 3, s, &strError));
    EXPECT_EQ(s.rows.size(), 3u);
    EXPECT_EQ(s.means.Count(), 3u);
    // Shorter document.
    ASSERT_TRUE(ComputePerFrameSeries(doc.data(), 2, dir.File("short.qcf"), 3, s, &strError));
    EXPECT_EQ(s.rows.size(), 2u);

    // The file shrank since it was chosen: what was read stays, with a message.
    EXPECT_FALSE(ComputePerFrameSeries(doc.data(), 5, dir.File("short.qcf"), 5, s, &strError));
    EXPECT_EQ(s.rows.size(), 3u);
    EXPECT_NE(strError.find("ends before frame 4"), std::string::npos) << strError;

    // Vanished file, nothing to compare.
    EXPECT_FALSE(ComputePerFrameSeries(doc.data(), 5, dir.File("gone.qcf"), 5, s, &strError));
    EXPECT_TRUE(s.rows.empty());
    EXPECT_NE(strError.find("Could not open the comparison file"), std::string::npos);
    EXPECT_FALSE(ComputePerFrameSeries(doc.data(), 5, dir.File("short.qcf"), 0, s, &strError));
    EXPECT_FALSE(ComputePerFrameSeries(nullptr, 5, dir.File("short.qcf"), 3, s, &strError));
}

TEST(PerFrameSeries, DocumentNeedsARawStreamAndAComparisonFile) {
    CTempDir dir;
    Bytes frames = Stream(4);
    WriteBytes(dir.File("ref.qcf"), Stream(4));
    CTavroDoc doc;
    doc.m_pQcfData = static_cast<uint8_t*>(std::malloc(frames.size()));
    std::memcpy(doc.m_pQcfData, frames.data(), frames.size());
    doc.m_nStreamFrames = 4;
    doc.m_nCodedFrames = 3;  // the dialog never goes past either count
    doc.m_strComparePath = dir.File("ref.qcf");
    doc.m_nCompareFrames = 4;

    const struct {
        char cState;
        bool bCompareFile;
        bool bOk;
    } cases[] = {{'i', true, true},  {'x', true, true},  {'i', false, false},
                 {'s', true, false}, {'n', true, false}, {'d', true, false}};
    for (const auto& c : cases) {
        doc.m_cState = c.cState;
        doc.m_bCompareFile = c.bCompareFile;
        SPerFrameSeries s;
        std::string strError;
        EXPECT_EQ(ComputeDocumentSeries(doc, s, &strError), c.bOk) << c.cState << c.bCompareFile;
        EXPECT_EQ(s.rows.size(), c.bOk ? 3u : 0u) << c.cState;
        EXPECT_EQ(strError.empty(), c.bOk) << c.cState;
    }
    doc.m_cState = 'i';  // the document frees its raw buffer
}

TEST(PerFrameSeries, CsvReadsBackAtFullPrecision) {
    CTempDir dir;
    Bytes ref = Stream(3);
    Bytes doc = ref;
    At(doc, 1, 7) += 3;
    At(doc, 3, QCIF_U_OFFSET + 1) += 1;
    WriteBytes(dir.File("ref.qcf"), ref);
    SPerFrameSeries s;
    ASSERT_TRUE(ComputePerFrameSeries(doc.data(), 3, dir.File("ref.qcf"), 3, s, nullptr));

    std::istringstream in(PerFrameCsv(s));
    std::string strLine;
    std::getline(in, strLine);
    EXPECT_EQ(strLine, "frame,rmse,psnr,psnr_y,psnr_u,psnr_v");
    size_t nRow = 0;
    while (std::getline(in, strLine)) {
        ASSERT_LT(nRow, s.rows.size());
        const SPerFrameRow& row = s.rows[nRow++];
        std::vector<std::string> cells;
        std::stringstream fields(strLine);
        for (std::string cell; std::getline(fields, cell, ',');) {
            cells.push_back(cell);
        }
        ASSERT_EQ(cells.size(), 6u) << strLine;
        EXPECT_EQ(cells[0], std::to_string(row.nFrame));
        const double expected[] = {row.figures.dRmse, row.figures.dPsnr, row.planes.adPsnr[0],
                                   row.planes.adPsnr[1], row.planes.adPsnr[2]};
        for (int i = 0; i < 5; ++i) {
            if (std::isinf(expected[i])) {
                EXPECT_EQ(cells[i + 1], "inf");
            } else {
                EXPECT_EQ(std::strtod(cells[i + 1].c_str(), nullptr), expected[i]) << strLine;
            }
        }
    }
    EXPECT_EQ(nRow, 3u);
    EXPECT_EQ(PerFrameCsv(SPerFrameSeries{}), "frame,rmse,psnr,psnr_y,psnr_u,psnr_v\n");
}
