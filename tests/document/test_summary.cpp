// The status summary's lines and the commands' enabling rules in every state.
#include <gtest/gtest.h>

#include "document/TavroDoc.h"

namespace {

// Sets the members directly: the summary depends on nothing else. No buffer is
// owned, so emptying the document frees nothing.
void SetState(CTavroDoc& doc, char cState, int32_t nStreamFrames, int32_t nCodedFrames,
              uint32_t nThreshold, uint32_t nQuantiser, uint32_t nCmpLength) {
    doc.m_cState = cState;
    doc.m_nStreamFrames = nStreamFrames;
    doc.m_nCodedFrames = nCodedFrames;
    doc.m_nThreshold = nThreshold;
    doc.m_nQuantiser = nQuantiser;
    doc.m_nCmpLength = nCmpLength;
}

std::vector<std::string> Texts(const std::vector<CSummaryLine>& lines) {
    std::vector<std::string> texts;
    for (const CSummaryLine& line : lines) {
        texts.push_back(line.strText);
    }
    return texts;
}

}  // namespace

TEST(Summary, RawStreamHasFourLinesAtFixedPositions) {
    CTavroDoc doc;
    SetState(doc, 'i', 100, 10, 20, 30, 0);  // a cancelled compression left 10/20/30
    const std::vector<CSummaryLine> expected = {
        {5, 25, "Qcif stream loaded."},
        {5, 50, "QCF Stream length: 3801600."},
        {5, 75, "Frames in stream: 100."},
        {5, 100, "No Comparison File Selected."},
    };
    EXPECT_EQ(doc.SummaryLines(), expected);
}

TEST(Summary, CompressedStatesShowParametersLengthsAverageAndRatio) {
    struct Case {
        char cState;
        int32_t nFrames;
        uint32_t nCmpLength;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {'s',
         10,
         760320,
         {"Compressed data computed from Qcif stream.", "Frames in stream: 10.", "Threshold: 20.",
          "Quantiser: 30.", "QCF Stream length: 380160.", "Input RGB Stream length: 760320.",
          "CMP Stream length: 760320.", "Average Bytes per frame: 76032.00.",
          "Compression ratio (RGB/CMP): 1.00.", "Comparison File:  ref.qcf."}},
        {'n',
         3,
         1000,
         {"Compressed data loaded.", "Frames in stream: 3.", "Threshold: 20.", "Quantiser: 30.",
          "QCF Stream length: 114048.", "Input RGB Stream length: 228096.",
          "CMP Stream length: 1000.", "Average Bytes per frame: 333.33.",
          "Compression ratio (RGB/CMP): 228.10.", "Comparison File:  ref.qcf."}},
        // 60000 frames: byte counts past 2^31 still print as the true lengths.
        {'x',
         60000,
         3000000000u,
         {"Qcif stream extracted from compressed data.", "Frames in stream: 60000.",
          "Threshold: 20.", "Quantiser: 30.", "QCF Stream length: 2280960000.",
          "Input RGB Stream length: 4561920000.", "CMP Stream length: 3000000000.",
          "Average Bytes per frame: 50000.00.", "Compression ratio (RGB/CMP): 1.52.",
          "Comparison File:  ref.qcf."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cState);
        CTavroDoc doc;
        SetState(doc, c.cState, 100, c.nFrames, 20, 30, c.nCmpLength);
        doc.m_bCompareFile = true;
        doc.m_strCompareName = "ref.qcf";
        const auto lines = doc.SummaryLines();
        EXPECT_EQ(Texts(lines), c.lines);
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].x, 5);
            EXPECT_EQ(lines[i].y, 25 + 25 * int(i));
        }
    }
}

TEST(Summary, EnablingRulesFollowTheStateAndTheComparisonChoice) {
    struct Case {
        char cState;
        bool bRaw, bDecompress, bSave;
    };
    const Case cases[] = {
        {'d', false, false, false}, {'i', true, false, true}, {'x', true, false, true},
        {'n', false, true, true},   {'s', false, true, true},
    };
    for (const Case& c : cases) {
        for (bool bCompare : {false, true}) {
            SCOPED_TRACE(std::string(1, c.cState) + (bCompare ? " with" : " without"));
            CTavroDoc doc;
            doc.m_cState = c.cState;
            doc.m_bCompareFile = bCompare;
            EXPECT_EQ(doc.OnUpdateRawStreamCommand(), c.bRaw);
            EXPECT_EQ(doc.OnUpdateDecompress(), c.bDecompress);
            EXPECT_EQ(doc.OnUpdateSaveOutput(), c.bSave);
            EXPECT_EQ(doc.OnUpdateChangeCompareFile(), bCompare);
            EXPECT_EQ(doc.SummaryLines().empty(), c.cState == 'd');
        }
    }
}
