// Frame-by-frame loss series for the chart and the comparison view's frames:
// whole-frame figures as the comparison dialog shows them, per-plane figures,
// means, a comparison file that is shorter or changed, a document that
// changes under the view, the CSV read back, names and read-outs.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <vector>

#include "document/TavroDoc.h"
#include "stats/CompareLogic.h"
#include "stats/ComparisonFrames.h"
#include "stats/PerFrameSeries.h"
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
        // The comparison view offers the same frames.
        EXPECT_EQ(ComparableFrames(doc), c.bOk ? 3u : 0u) << c.cState;
        CComparisonFrames frames(doc);
        EXPECT_TRUE(frames.Sync());
        EXPECT_EQ(frames.Count(), ComparableFrames(doc));
        EXPECT_EQ(frames.Load(3, &strError), c.bOk) << c.cState << strError;
        EXPECT_FALSE(frames.Load(4, nullptr));
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

// The view's frames: copies of the document's frame and of the comparison
// file's, with the figures the series and the dialog give for that frame.
TEST(ComparisonFrames, LoadsOneFrameAtATimeAndFollowsTheDocument) {
    CTempDir dir;
    Bytes ref = Stream(4);
    Bytes frames = ref;
    At(frames, 2, 500) += 7;
    At(frames, 3, QCIF_U_OFFSET + 9) += 1;
    WriteBytes(dir.File("ref.qcf"), ref);
    CTavroDoc doc;
    doc.m_pQcfData = static_cast<uint8_t*>(std::malloc(frames.size()));
    std::memcpy(doc.m_pQcfData, frames.data(), frames.size());
    doc.m_nStreamFrames = doc.m_nCodedFrames = 4;
    doc.m_cState = 'x';
    doc.m_nThreshold = 10;
    doc.m_nQuantiser = 16;
    doc.m_bCompareFile = true;
    doc.m_strComparePath = dir.File("ref.qcf");
    doc.m_strCompareName = "ref.qcf";
    doc.m_nCompareFrames = 4;
    SPerFrameSeries series;
    ASSERT_TRUE(ComputeDocumentSeries(doc, series, nullptr));

    CComparisonFrames view(doc);
    EXPECT_TRUE(view.Sync());
    EXPECT_FALSE(view.Sync());  // nothing changed
    EXPECT_EQ(view.Count(), 4u);
    EXPECT_EQ(view.Frame(), 0u);
    EXPECT_EQ(view.StreamName(), "Untitled");
    EXPECT_EQ(view.ReferenceName(), "ref.qcf");
    EXPECT_EQ(view.Parameters(), "T=10 Q=16");
    EXPECT_EQ(DescribeStream(doc), "Untitled (T=10 Q=16)");
    CScriptedPrompts prompts;
    for (uint32_t k : {3u, 1u, 4u, 2u}) {
        std::string strError;
        ASSERT_TRUE(view.Load(k, &strError)) << strError;
        EXPECT_EQ(view.Frame(), k);
        EXPECT_EQ(Bytes(view.Stream(), view.Stream() + QCIF_FRAME_BYTES),
                  Bytes(&At(frames, k, 0), &At(frames, k, 0) + QCIF_FRAME_BYTES));
        EXPECT_EQ(Bytes(view.Reference(), view.Reference() + QCIF_FRAME_BYTES),
                  Bytes(&At(ref, k, 0), &At(ref, k, 0) + QCIF_FRAME_BYTES));
        const SPerFrameRow& row = series.rows[k - 1];
        EXPECT_EQ(view.Figures().nFrame, k);
        EXPECT_EQ(view.Figures().figures.dRmse, row.figures.dRmse);
        EXPECT_EQ(view.Figures().figures.dPsnr, row.figures.dPsnr);
        for (int p = 0; p < 3; ++p) {
            EXPECT_EQ(view.Figures().planes.adMse[p], row.planes.adMse[p]);
        }
        CCompareLogic logic(doc.m_pQcfData, 4, 4, doc.m_strComparePath, true);
        logic.OnInitDialog();
        logic.OnCompare(std::to_string(k));
        const std::string strText = FiguresText(view.Figures());
        EXPECT_NE(strText.find("RMSE " + logic.RmseText()), std::string::npos) << strText;
        EXPECT_NE(strText.find("PSNR " + logic.PsnrText()), std::string::npos) << strText;
    }
    EXPECT_EQ(FiguresText(view.Figures()).substr(0, 9), "Frame 2: ");
    view.Load(1, nullptr);
    EXPECT_EQ(FiguresText(view.Figures()),
              "Frame 1: RMSE Match  PSNR Match | Y identical | U identical | V identical");

    // Out of range, or a comparison file that shrank: the frame shown stays.
    std::string strError;
    EXPECT_FALSE(view.Load(0, &strError));
    EXPECT_FALSE(view.Load(5, &strError));
    EXPECT_NE(strError.find("not among the 4 frames"), std::string::npos) << strError;
    WriteBytes(dir.File("ref.qcf"), Stream(2));
    EXPECT_FALSE(view.Load(3, &strError));
    EXPECT_NE(strError.find("ends before frame 3"), std::string::npos) << strError;
    EXPECT_EQ(view.Frame(), 1u);
    std::remove(dir.File("ref.qcf").c_str());
    EXPECT_FALSE(view.Load(2, &strError));
    EXPECT_NE(strError.find("Could not open the comparison file"), std::string::npos);
    WriteBytes(dir.File("ref.qcf"), ref);

    // The document lets its frames go (compressed): nothing to load, and the
    // frame loaded before is still there to draw.
    std::free(doc.m_pQcfData);
    doc.m_pQcfData = nullptr;
    doc.m_cState = 's';
    EXPECT_TRUE(view.Sync());
    EXPECT_EQ(view.Count(), 0u);
    EXPECT_FALSE(view.Load(1, &strError));
    EXPECT_EQ(view.Frame(), 1u);
    EXPECT_EQ(Bytes(view.Stream(), view.Stream() + 16),
              Bytes(&At(frames, 1, 0), &At(frames, 1, 16)));
    EXPECT_TRUE(prompts.messages.empty());
}

// A stream of 65535 frames in which only the first and the last can be read
// (any other access faults), against a sparse comparison file of as many:
// opening and stepping to either end touches nothing else.
TEST(ComparisonFrames, ALongStreamIsReadOneFrameAtATime) {
    constexpr uint32_t FRAMES = 65535;
    const size_t nBytes = size_t(FRAMES) * QCIF_FRAME_BYTES;
    const size_t nPage = 4096;
    void* pMap =
        mmap(nullptr, nBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(pMap, MAP_FAILED);
    auto* pFrames = static_cast<uint8_t*>(pMap);
    const size_t nLast = nBytes - QCIF_FRAME_BYTES;
    ASSERT_EQ(mprotect(pFrames, QCIF_FRAME_BYTES + nPage, PROT_READ | PROT_WRITE), 0);
    const size_t nLastPage = nLast / nPage * nPage;
    ASSERT_EQ(mprotect(pFrames + nLastPage, nBytes - nLastPage, PROT_READ | PROT_WRITE), 0);
    pFrames[nLast + 7] = 9;
    CTempDir dir;
    WriteBytes(dir.File("ref.qcf"), {});
    std::filesystem::resize_file(dir.File("ref.qcf"), nBytes);

    CTavroDoc doc;
    doc.m_pQcfData = pFrames;
    doc.m_nStreamFrames = doc.m_nCodedFrames = int32_t(FRAMES);
    doc.m_cState = 'i';
    doc.m_bCompareFile = true;
    doc.m_strComparePath = dir.File("ref.qcf");
    doc.m_nCompareFrames = uint16_t(FRAMES);
    CComparisonFrames view(doc);
    EXPECT_TRUE(view.Sync());
    EXPECT_EQ(view.Count(), FRAMES);
    std::string strError;
    EXPECT_TRUE(view.Load(1, &strError)) << strError;
    EXPECT_EQ(FiguresText(view.Figures()).substr(0, 22), "Frame 1: RMSE Match  P");
    EXPECT_TRUE(view.Load(FRAMES, &strError)) << strError;
    EXPECT_EQ(view.Stream()[7], 9);
    EXPECT_EQ(view.Figures().figures.dRmse, std::sqrt(81 * COMPARE_INV_FRAME_BYTES));
    doc.m_pQcfData = nullptr;  // not the document's to free
    doc.m_cState = 'd';
    munmap(pMap, nBytes);
}

TEST(ComparisonFrames, PictureNamesAndReadout) {
    const struct {
        const char* stream;
        uint32_t nFrame, nFrames;
        const char* part;
        const char* name;
    } names[] = {
        {"foreman.cmp", 50, 100, "diff", "foreman_f050_diff.png"},
        {"/clips/b/clip.qcf", 7, 65535, "strip", "clip_f00007_strip.png"},
        {"", 1, 1, "ref", "untitled_f001_ref.png"},
        {"x.y.qcf", 1000, 1000, "stream", "x.y_f1000_stream.png"},
        {".hidden", 2, 9, "diff", ".hidden_f002_diff.png"},
    };
    for (const auto& n : names) {
        EXPECT_EQ(SuggestPictureName(n.stream, n.nFrame, n.nFrames, n.part), n.name);
    }
    Bytes ref(QCIF_FRAME_BYTES, 100);
    Bytes frame = ref;
    frame[3 * 176 + 5] = 103;
    frame[QCIF_U_OFFSET + 1 * 88 + 2] = 98;
    EXPECT_EQ(PixelReadoutText(frame.data(), ref.data(), 5, 3),
              "x 5 y 3 (chroma 2, 1) | reference Y 100 U 100 V 100 | stream Y 103 U 98 V 100 | "
              "difference Y +3 U -2 V +0");
    // Outside the picture: the nearest pixel.
    EXPECT_EQ(PixelReadoutText(frame.data(), ref.data(), 500, -4).substr(0, 24),
              "x 175 y 0 (chroma 87, 0)");
}
