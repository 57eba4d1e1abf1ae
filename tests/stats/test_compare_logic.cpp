// The comparison dialog's decisions, the choice of the comparison file, and the
// compare commands' first steps, against real temporary files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <ostream>
#include <vector>

#include "document/TavroDoc.h"
#include "stats/CompareLogic.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Msg = CScriptedPrompts::Message;

// nFrames distinct frames; frame k is filled with a pattern seeded by k.
Bytes Stream(uint32_t nFrames) {
    Bytes v(size_t(nFrames) * QCIF_FRAME_BYTES);
    for (size_t i = 0; i < v.size(); ++i) {
        v[i] = uint8_t((i / QCIF_FRAME_BYTES) * 37 + i * 13 + (i >> 9));
    }
    return v;
}

uint8_t* FrameOf(Bytes& v, uint32_t nFrame1) {
    return v.data() + (nFrame1 - 1) * QCIF_FRAME_BYTES;
}

void Sparse(const std::string& strPath, uint64_t nLength) {
    WriteBytes(strPath, {});
    ASSERT_EQ(::truncate(strPath.c_str(), off_t(nLength)), 0);
}

struct Result {
    std::string rmse, psnr;
    bool enabled;
    bool operator==(const Result&) const = default;
    friend void PrintTo(const Result& r, std::ostream* os) {
        *os << r.rmse << " / " << r.psnr << (r.enabled ? " (enabled)" : " (disabled)");
    }
};

Result Press(CCompareLogic& logic, const std::string& strEdit) {
    logic.OnCompare(strEdit);
    return {logic.RmseText(), logic.PsnrText(), logic.IsCompareEnabled()};
}

void* FailAlloc(size_t) {
    return nullptr;
}

class CompareDialog : public ::testing::Test {
protected:
    CTempDir dir;
    CScriptedPrompts prompts;
    std::string ref = dir.File("ref.qcf");
};

}  // namespace

TEST_F(CompareDialog, IdenticalStreamMatchesFrameByFrameAndAsAWhole) {
    Bytes doc = Stream(4);
    WriteBytes(ref, doc);
    CCompareLogic frames(doc.data(), 4, 4, ref, true);
    frames.OnInitDialog();
    EXPECT_EQ(frames.InitialFrameText(), "1");
    EXPECT_EQ(frames.TotalFramesText(), "4");
    for (const char* edit : {"1", "3", "4"}) {
        EXPECT_EQ(Press(frames, edit), (Result{"Match", "Match", true})) << edit;
    }
    CCompareLogic stream(doc.data(), 4, 4, ref, false);
    stream.OnInitDialog();
    EXPECT_EQ(stream.InitialFrameText(), "All");
    EXPECT_EQ(Press(stream, "All"), (Result{"Match", "Match", true}));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(CompareDialog, SingleFrameAndStreamFigures) {
    Bytes doc = Stream(3);
    Bytes cmp = doc;
    FrameOf(cmp, 2)[500] ^= 1;                          // one sample off by one
    std::memset(FrameOf(cmp, 3), 0, QCIF_FRAME_BYTES);  // frame 3: 0 against 255
    std::memset(FrameOf(doc, 3), 255, QCIF_FRAME_BYTES);
    WriteBytes(ref, cmp);
    CCompareLogic logic(doc.data(), 3, 3, ref, false);
    logic.OnInitDialog();

    EXPECT_EQ(Press(logic, "1"), (Result{"Match", "Match", true}));
    EXPECT_EQ(Press(logic, "2"), (Result{"0.01", "93.93", true}));
    EXPECT_EQ(Press(logic, "3"), (Result{"255.00", "0.00", true}));
    // Means over all three, the identical frame included with RMSE 0 and the
    // match PSNR: (0 + 0.00513 + 255) / 3 and (93.93 + 93.93 + 0) / 3.
    EXPECT_EQ(Press(logic, "All"), (Result{"85.00", "62.62", true}));
    // A frame's figures do not depend on what was compared before.
    EXPECT_EQ(Press(logic, "2"), (Result{"0.01", "93.93", true}));
}

TEST_F(CompareDialog, ComparisonFileWithFewerOrMoreFrames) {
    Bytes doc = Stream(5);
    // Fewer: the first three frames agree, frames 4 and 5 of the document would not.
    Bytes fewer(doc.begin(), doc.begin() + 3 * QCIF_FRAME_BYTES);
    fewer.push_back(1);  // a trailing partial frame is ignored
    WriteBytes(ref, fewer);
    std::memset(FrameOf(doc, 5), 0, QCIF_FRAME_BYTES);
    CCompareLogic shorter(doc.data(), 5, 3, ref, false);
    shorter.OnInitDialog();
    EXPECT_EQ(shorter.TotalFramesText(), "3");
    EXPECT_EQ(shorter.SpinMaximum(), 3);
    EXPECT_EQ(Press(shorter, "All"), (Result{"Match", "Match", true}));

    // More: frames past the document's count are never read.
    Bytes more = Stream(5);
    std::memset(FrameOf(more, 4), 9, 2 * QCIF_FRAME_BYTES);
    WriteBytes(ref, more);
    CCompareLogic longer(doc.data(), 3, 5, ref, false);
    longer.OnInitDialog();
    EXPECT_EQ(longer.TotalFramesText(), "3");
    EXPECT_EQ(Press(longer, "All"), (Result{"Match", "Match", true}));
}

TEST_F(CompareDialog, FrameEditAndSpinFollowTheUpDownRules) {
    Bytes doc = Stream(3);
    Bytes cmp = doc;
    FrameOf(cmp, 3)[0] ^= 0x10;  // one sample off by 16
    WriteBytes(ref, cmp);
    CCompareLogic logic(doc.data(), 3, 3, ref, false);
    logic.OnInitDialog();

    struct Step {
        std::string edit;
        int delta;
        std::string expected;
    };
    // From "All" the spin starts at its position 1; it stops at both ends, where
    // a step leaves the text as it was ("All" stays "All"); text that is no frame
    // in range leaves the last valid position.
    for (const Step& s : std::vector<Step>{{"All", +1, "2"},
                                           {"2", +1, "3"},
                                           {"3", +1, "3"},
                                           {"3", -1, "2"},
                                           {"1", -1, "1"},
                                           {"", +1, "2"},
                                           {"99", -1, "1"},
                                           {"0", +1, "2"},
                                           {"1", -1, "1"},
                                           {"All", -1, "All"},
                                           {"03", +1, "03"},
                                           {"99", +1, "99"}}) {
        EXPECT_EQ(logic.OnSpinStep(s.edit, s.delta), s.expected) << s.edit << " " << s.delta;
    }
    // Only the exact text "All" compares the stream; anything else is the spin's frame.
    EXPECT_EQ(logic.SpinPosition("3"), 3);
    EXPECT_EQ(Press(logic, "all"), (Result{"0.08", "69.85", true})) << "frame 3";
    EXPECT_EQ(Press(logic, "1"), (Result{"Match", "Match", true}));
    EXPECT_EQ(Press(logic, "77"), (Result{"Match", "Match", true})) << "still frame 1";
    EXPECT_EQ(Press(logic, "All"), (Result{"0.03", "85.90", true}));
}

TEST_F(CompareDialog, FailuresLeaveResultsAndKeepCompareDisabled) {
    Bytes doc = Stream(3);
    Bytes cmp = doc;
    FrameOf(cmp, 1)[7] ^= 1;
    WriteBytes(ref, cmp);
    const Result kShown{"0.01", "93.93", true};
    const Result kKept{"0.01", "93.93", false};

    // The file vanished after it was chosen.
    {
        CCompareLogic logic(doc.data(), 3, 3, ref, true);
        logic.OnInitDialog();
        ASSERT_EQ(Press(logic, "1"), kShown);
        std::filesystem::rename(ref, ref + ".away");
        EXPECT_EQ(Press(logic, "1"), kKept);
        EXPECT_EQ(prompts.messages,
                  (std::vector<Msg>{{"Could not open comparison file", "Error"}}));
        std::filesystem::rename(ref + ".away", ref);
    }
    // No memory for the frame buffer: the program goes on.
    {
        prompts.messages.clear();
        CCompareLogic logic(doc.data(), 3, 3, ref, true);
        logic.OnInitDialog();
        ASSERT_EQ(Press(logic, "1"), kShown);
        auto pfnOld = CTavroDoc::SetAllocator(FailAlloc);
        Result r = Press(logic, "1");
        CTavroDoc::SetAllocator(pfnOld);
        EXPECT_EQ(r, kKept);
        EXPECT_EQ(
            prompts.messages,
            (std::vector<Msg>{{"Error allocating memory to m_pCompareQcfData.", "Fatal Error"}}));
        EXPECT_FALSE(prompts.endStatus.has_value());
    }
    // The file shrank to one and a half frames: frame 2 cannot be read whole.
    {
        prompts.messages.clear();
        CCompareLogic logic(doc.data(), 3, 3, ref, false);
        logic.OnInitDialog();
        ASSERT_EQ(Press(logic, "1"), kShown);
        WriteBytes(ref, Bytes(cmp.begin(), cmp.begin() + QCIF_FRAME_BYTES * 3 / 2));
        EXPECT_EQ(Press(logic, "All"), kKept);
        EXPECT_TRUE(prompts.messages.empty());
    }
}

TEST_F(CompareDialog, NothingToCompareIsNeverAMatch) {
    WriteBytes(ref, Stream(2));
    Bytes doc = Stream(2);
    for (auto [nFrames, nCompare] : {std::pair{0u, 2u}, std::pair{2u, 0u}}) {
        CCompareLogic logic(doc.data(), nFrames, nCompare, ref, false);
        logic.OnInitDialog();
        EXPECT_EQ(logic.TotalFramesText(), "0");
        EXPECT_FALSE(logic.IsCompareEnabled());
        EXPECT_EQ(Press(logic, "All"), (Result{"", "", false}));
        EXPECT_EQ(Press(logic, "1"), (Result{"", "", false}));
    }
}

// ---- The document's comparison file -------------------------------------------------

namespace {

struct CompareState {
    bool bFile;
    std::string path, name;
    uint16_t nFrames;
    bool operator==(const CompareState&) const = default;
};

CompareState StateOf(const CTavroDoc& doc) {
    return {doc.m_bCompareFile, doc.m_strComparePath, doc.m_strCompareName, doc.m_nCompareFrames};
}

}  // namespace

TEST_F(CompareDialog, ChangeCompareFileAcceptsWholeFramesIn16Bits) {
    struct Case {
        const char* name;
        uint64_t nLength;
        int nResult;
        uint16_t nFrames;
    };
    const Case cases[] = {
        {"one.qcf", QCIF_FRAME_BYTES, 1, 1},
        {"partial.qcf", QCIF_FRAME_BYTES * 2 + 100, 1, 2},
        {"max.qcf", uint64_t(QCIF_FRAME_BYTES) * 65535, 1, 65535},
        {"wraps.qcf", uint64_t(QCIF_FRAME_BYTES) * 65537, 1, 1},
    };
    for (const Case& c : cases) {
        Sparse(dir.File(c.name), c.nLength);
        CTavroDoc doc;
        prompts.QueueChoice(dir.File(c.name));
        EXPECT_EQ(doc.OnChangeCompareFile(), c.nResult) << c.name;
        EXPECT_EQ(StateOf(doc), (CompareState{true, dir.File(c.name), c.name, c.nFrames}));
    }
    EXPECT_TRUE(prompts.messages.empty());
    const FileChooserRequest& r = prompts.requests.at(0);
    EXPECT_TRUE(r.bOpen);
    EXPECT_EQ(r.strDefaultExt, "qcf");
    EXPECT_EQ(r.strInitialName, "*.qcf");
    EXPECT_TRUE(r.bHideReadOnly);
    EXPECT_TRUE(r.bOverwritePrompt);
}

TEST_F(CompareDialog, RejectedFileKeepsTheAcceptedChoice) {
    WriteBytes(ref, Stream(2));
    Sparse(dir.File("short.qcf"), QCIF_FRAME_BYTES - 1);
    Sparse(dir.File("huge.qcf"), uint64_t(QCIF_FRAME_BYTES) * 65536);

    CTavroDoc doc;
    // Before any acceptance: a rejection leaves the document as constructed.
    prompts.QueueChoice(dir.File("short.qcf"));
    EXPECT_EQ(doc.OnChangeCompareFile(), 0);
    EXPECT_EQ(StateOf(doc), (CompareState{false, "", "", 0}));

    prompts.QueueChoice(ref);
    ASSERT_EQ(doc.OnChangeCompareFile(), 1);
    const CompareState accepted{true, ref, "ref.qcf", 2};

    struct Case {
        std::optional<std::string> choice;
        std::vector<Msg> messages;
    };
    const Case cases[] = {
        {std::nullopt, {}},
        {dir.File("short.qcf"), {{"The comparison file seems to be invalid.", "Error"}}},
        {dir.File("huge.qcf"), {{"The comparison file seems to be invalid.", "Error"}}},
        {dir.File("missing.qcf"), {{"Could not open comparison file", "Error"}}},
    };
    for (const Case& c : cases) {
        prompts.messages.clear();
        prompts.QueueChoice(c.choice);
        EXPECT_EQ(doc.OnChangeCompareFile(), 0) << c.choice.value_or("cancel");
        EXPECT_EQ(prompts.messages, c.messages) << c.choice.value_or("cancel");
        EXPECT_EQ(StateOf(doc), accepted) << c.choice.value_or("cancel");
    }
    // Emptying the document keeps the choice.
    doc.DeleteContents();
    EXPECT_EQ(StateOf(doc), accepted);
}

TEST_F(CompareDialog, CompareCommandsChooseAFileFirst) {
    Bytes frames = Stream(4);
    WriteBytes(dir.File("clip.qcf"), frames);
    WriteBytes(ref, Bytes(frames.begin(), frames.begin() + 2 * QCIF_FRAME_BYTES));
    CTavroDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("clip.qcf")));

    // Cancelled or rejected choice: no dialog.
    prompts.QueueChoice(std::nullopt);
    EXPECT_EQ(BeginCompare(doc, true), nullptr);
    prompts.QueueChoice(dir.File("missing.qcf"));
    EXPECT_EQ(BeginCompare(doc, false), nullptr);
    EXPECT_FALSE(doc.m_bCompareFile);

    prompts.QueueChoice(ref);
    auto pLogic = BeginCompare(doc, false);
    ASSERT_NE(pLogic, nullptr);
    pLogic->OnInitDialog();
    EXPECT_EQ(pLogic->TotalFramesText(), "2");
    EXPECT_EQ(Press(*pLogic, "All"), (Result{"Match", "Match", true}));

    // Once a file is accepted, no chooser is shown again.
    size_t nRequests = prompts.requests.size();
    EXPECT_NE(BeginCompare(doc, true), nullptr);
    EXPECT_EQ(prompts.requests.size(), nRequests);
}
