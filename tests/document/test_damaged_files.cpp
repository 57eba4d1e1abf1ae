// Damaged .cmp files, exhaustively, through the document: open, then Decompress
// with a dialog that runs the codec at once. Whatever the damage, the document
// either holds exactly the frames the header declares, or reports one clear
// "Error" and keeps its compressed stream as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzChecks.h"
#include "support/DamagedStreams.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

namespace {

enum class Outcome { Frames, Failed, NotOpened };

// Opens the bytes as a .cmp file and decompresses them; checks everything that
// must hold and says which way it went. Failures of the properties are added
// to the current test with the case name.
Outcome OpenAndDecompress(const Bytes& cmp, const std::string& strCase) {
    CScriptedPrompts prompts;
    CTempDir dir;
    const std::string strPath = dir.File("damaged.cmp");
    WriteBytes(strPath, cmp);
    CTavroDoc doc;
    const bool bOpened = doc.OnOpenDocument(strPath);
    EXPECT_FALSE(prompts.endStatus) << strCase;
    if (cmp.size() < CMP_HEADER_BYTES) {
        EXPECT_FALSE(bOpened) << strCase;
        EXPECT_EQ(doc.m_cState, 'd') << strCase;
        return Outcome::NotOpened;
    }
    EXPECT_EQ(doc.m_cState, 'n') << strCase;
    const int32_t nDeclared = cmp[0] | cmp[1] << 8;
    EXPECT_EQ(bOpened, nDeclared > 0) << strCase;
    if (doc.m_cState != 'n' || doc.m_nCmpLength != cmp.size()) {
        ADD_FAILURE() << strCase << ": not held as read";
        return Outcome::NotOpened;
    }

    fuzzchecks::CSyncDialogs dialogs;
    const uint8_t* pCmpBefore = doc.m_pCmpData;
    prompts.messages.clear();
    doc.Decompress(dialogs);
    EXPECT_TRUE(dialogs.bWorkspaceClear) << strCase;
    EXPECT_FALSE(prompts.endStatus) << strCase;
    if (doc.m_cState == 'x') {
        EXPECT_TRUE(prompts.messages.empty()) << strCase;
        EXPECT_EQ(doc.m_nStreamFrames, nDeclared) << strCase;
        EXPECT_EQ(doc.m_nCodedFrames, nDeclared) << strCase;
        EXPECT_EQ(doc.m_pCmpData, nullptr) << strCase;
        // The whole declared buffer is there to read (the sanitizer build checks).
        uint32_t nSum = 0;
        for (uint64_t k = 0; k < doc.RawStreamBytes(); k += 997) {
            nSum += doc.m_pQcfData[k];
        }
        EXPECT_LT(nSum, UINT32_MAX);
        return Outcome::Frames;
    }
    EXPECT_EQ(doc.m_cState, 'n') << strCase;
    EXPECT_EQ(doc.m_pCmpData, pCmpBefore) << strCase;
    EXPECT_EQ(doc.m_nCmpLength, cmp.size()) << strCase;
    EXPECT_EQ(0, std::memcmp(doc.m_pCmpData, cmp.data(), cmp.size())) << strCase;
    EXPECT_EQ(doc.m_pQcfData, nullptr) << strCase;
    // One clear reason, one line.
    if (prompts.messages.size() != 1) {
        ADD_FAILURE() << strCase << ": " << prompts.messages.size() << " messages";
    } else {
        const auto& m = prompts.messages[0];
        EXPECT_EQ(m.strCaption, "Error") << strCase;
        EXPECT_GT(m.strText.size(), 10u) << strCase;
        EXPECT_EQ(m.strText.find('\n'), std::string::npos) << strCase;
    }
    return Outcome::Failed;
}

TEST(DamagedFiles, EachDamagedStreamIsRefusedOrDecodes) {
    int nFlips = 0, nFlipsFailed = 0;
    for (const auto& c : DamagedStreams()) {
        const Outcome o = OpenAndDecompress(c.cmp, c.strName);
        if (c.want == Damage::Frames) {
            EXPECT_EQ(o, Outcome::Frames) << c.strName;
        } else if (c.want == Damage::Failed) {
            EXPECT_NE(o, Outcome::Frames) << c.strName;
        }
        if (c.strName.rfind("byte ", 0) == 0) {
            ++nFlips;
            nFlipsFailed += o == Outcome::Failed;
        }
    }
    // Most flips of the coded data are caught; the rest decode to other pictures.
    EXPECT_GT(nFlipsFailed, nFlips / 8);
}

// The largest stream buffer the document asked for.
size_t g_nLargestAllocation = 0;
void* RecordingAllocate(size_t n) {
    g_nLargestAllocation = std::max(g_nLargestAllocation, n);
    return std::malloc(n);
}

// A header that declares more frames than its data can hold is refused before
// the frames are allocated; the shortest data that can hold them is accepted.
TEST(DamagedFiles, FrameCountBeyondTheDataIsRefusedBeforeAllocating) {
    int nCases = 0;
    for (const auto& c : DamagedStreams()) {
        if (c.strName.rfind("shortest stream", 0) != 0) {
            continue;
        }
        ++nCases;
        const size_t nFrames = c.cmp[0] | c.cmp[1] << 8;
        const size_t nMaxAllocation = c.want == Damage::Frames ? nFrames * QCIF_FRAME_BYTES : 0;
        g_nLargestAllocation = 0;
        const auto pfnOld = CTavroDoc::SetAllocator(RecordingAllocate);
        EXPECT_EQ(OpenAndDecompress(c.cmp, c.strName),
                  c.want == Damage::Frames ? Outcome::Frames : Outcome::Failed)
            << c.strName;
        CTavroDoc::SetAllocator(pfnOld);
        // The file itself is read whole; nothing bigger is asked for a refused one.
        EXPECT_LE(g_nLargestAllocation, std::max(nMaxAllocation, c.cmp.size())) << c.strName;
    }
    EXPECT_EQ(nCases, 5);
}

}  // namespace
