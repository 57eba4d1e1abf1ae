// Compress, Decompress and Play on the document, with dialogs that answer at
// once and run the codec on the calling thread.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "codec/CodecRun.h"
#include "document/DocumentCommands.h"
#include "document/TavroDoc.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

namespace {

enum class Cancel { Never, BeforeStart, DuringFirstFrame, AfterLastFrame };

class CFakeDialogs : public IDocumentDialogs {
public:
    // Parameters dialog: Cancel, or Ok with these values (unset: as the dialog opens).
    bool bParametersCancel = false;
    std::optional<uint32_t> nFrames, nThreshold, nQuantiser;
    std::vector<CParametersChoice> shown;

    Cancel cancel = Cancel::Never;
    int nRuns = 0;
    std::vector<std::pair<const uint8_t*, uint32_t>> played;

    int RunParameters(CParametersChoice& choice) override {
        shown.push_back(choice);
        if (bParametersCancel) {
            return IDCANCEL;
        }
        choice.m_nFrames = nFrames.value_or(choice.m_nMaxFrames);
        choice.m_nThreshold = nThreshold.value_or(choice.m_nThreshold);
        choice.m_nQuantiser = nQuantiser.value_or(choice.m_nQuantiser);
        return IDOK;
    }

    int RunProcessing(CCodecContext& context, bool& bCancelled) override {
        CCodecJob job(context);
        if (cancel == Cancel::BeforeStart) {
            bCancelled = true;
            return IDCANCEL;
        }
        if (cancel == Cancel::DuringFirstFrame) {
            context.m_onFrameEvent = [&](CCodecContext::FrameEvent event, uint16_t nFrame) {
                if (event == CCodecContext::FrameEvent::FrameBegun && nFrame == 0) {
                    job.RequestCancel();
                    bCancelled = true;
                }
            };
        }
        ++nRuns;
        job.Start();
        job.Finish();
        if (cancel == Cancel::AfterLastFrame) {
            bCancelled = true;  // too late to stop the codec, not too late to reject
        }
        return IDOK;
    }

    void RunViewer(const uint8_t* pFrames, uint32_t nFrames) override {
        played.emplace_back(pFrames, nFrames);
    }
};

// Smooth picture content that drifts from frame to frame.
std::vector<uint8_t> Clip(int nFrames) {
    std::vector<uint8_t> v(size_t(nFrames) * QCIF_FRAME_BYTES);
    for (int f = 0; f < nFrames; ++f) {
        uint8_t* p = &v[size_t(f) * QCIF_FRAME_BYTES];
        for (uint32_t i = 0; i < QCIF_FRAME_BYTES; ++i) {
            const uint32_t x = i % 176, y = (i / 176) % 144;
            p[i] =
                static_cast<uint8_t>(64 + (x + 2 * f) / 2 + y / 3 + ((x / 16 + y / 16) % 2) * 40);
        }
    }
    return v;
}

struct Fixture {
    CScriptedPrompts prompts;
    CTempDir dir;
    CTavroDoc doc;
    CFakeDialogs dialogs;

    // Opens a raw clip of nFrames frames.
    void OpenClip(int nFrames) {
        WriteBytes(dir.File("clip.qcf"), Clip(nFrames));
        ASSERT_TRUE(doc.OnOpenDocument(dir.File("clip.qcf")));
    }
    // Opens a raw clip and compresses nCoded frames at threshold 20, quantiser 30.
    void OpenCompressed(int nFrames, uint32_t nCoded) {
        OpenClip(nFrames);
        dialogs.nFrames = nCoded;
        dialogs.nThreshold = 20;
        dialogs.nQuantiser = 30;
        doc.Compress(dialogs);
        ASSERT_EQ(doc.m_cState, 's');
    }
};

std::string Line(const CTavroDoc& doc, size_t i) {
    return doc.SummaryLines().at(i).strText;
}

}  // namespace

TEST(Commands, CompressDecompressAndSaveTheExtractedFrames) {
    Fixture t;
    t.OpenCompressed(100, 10);
    ASSERT_EQ(t.dialogs.shown.size(), 1u);
    EXPECT_EQ(t.dialogs.shown[0].m_nMaxFrames, 100u);
    EXPECT_EQ(t.dialogs.shown[0].m_nThreshold, 10u);
    EXPECT_EQ(t.dialogs.shown[0].m_nQuantiser, 16u);

    // The document holds the compressed stream alone, its header first.
    CTavroDoc& doc = t.doc;
    EXPECT_EQ(doc.m_pQcfData, nullptr);
    ASSERT_NE(doc.m_pCmpData, nullptr);
    ASSERT_GT(doc.m_nCmpLength, 8u);
    EXPECT_EQ(std::vector<uint8_t>(doc.m_pCmpData, doc.m_pCmpData + 4),
              (std::vector<uint8_t>{10, 0, 20, 30}));
    EXPECT_EQ(doc.m_nStreamFrames, 100);
    EXPECT_FALSE(doc.OnUpdateRawStreamCommand());  // no Play or compare without raw frames
    EXPECT_TRUE(doc.OnUpdateDecompress());
    EXPECT_TRUE(doc.IsModified());  // an unsaved result: the raw stream is gone

    char szAverage[64], szRatio[64];
    std::snprintf(szAverage, sizeof szAverage, "Average Bytes per frame: %.2f.",
                  doc.m_nCmpLength / 10.0);
    std::snprintf(szRatio, sizeof szRatio, "Compression ratio (RGB/CMP): %.2f.",
                  760320.0 / doc.m_nCmpLength);
    const std::vector<std::string> expected = {
        "Compressed data computed from Qcif stream.",
        "Frames in stream: 10.",
        "Threshold: 20.",
        "Quantiser: 30.",
        "QCF Stream length: 380160.",
        "Input RGB Stream length: 760320.",
        "CMP Stream length: " + std::to_string(doc.m_nCmpLength) + ".",
        szAverage,
        szRatio,
        "No Comparison File Selected.",
    };
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(Line(doc, i), expected[i]);
    }

    const uint32_t nCmpLength = doc.m_nCmpLength;
    doc.Decompress(t.dialogs);
    EXPECT_EQ(doc.m_cState, 'x');
    EXPECT_EQ(doc.m_nStreamFrames, 10);
    EXPECT_EQ(doc.m_pCmpData, nullptr);
    EXPECT_EQ(doc.m_nCmpLength, nCmpLength);  // still shown in the summary
    EXPECT_EQ(Line(doc, 0), "Qcif stream extracted from compressed data.");
    EXPECT_EQ(Line(doc, 6), "CMP Stream length: " + std::to_string(nCmpLength) + ".");
    EXPECT_TRUE(t.prompts.messages.empty());

    // The decoded frames resemble the originals: lossy, not garbage.
    const auto original = Clip(10);
    double dSum = 0;
    for (size_t i = 0; i < original.size(); ++i) {
        const double d = double(original[i]) - doc.m_pQcfData[i];
        dSum += d * d;
    }
    EXPECT_LT(std::sqrt(dSum / original.size()), 20.0);

    // The extracted frames are unsaved too; Save Output clears the mark, and
    // nothing is asked afterwards.
    t.prompts.QueueSaveAnswer(ESaveChoice::Cancel);
    EXPECT_FALSE(doc.SaveModified());
    EXPECT_NE(t.prompts.questions.at(0).strText.find("Qcif stream extracted"), std::string::npos);
    t.prompts.QueueChoice(t.dir.File("out.qcf"));
    ASSERT_TRUE(doc.OnSaveOutput());
    EXPECT_EQ(ReadBytes(t.dir.File("out.qcf")).size(), 380160u);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(doc.SaveModified());
    EXPECT_EQ(t.prompts.questions.size(), 1u);

    t.dialogs.bParametersCancel = true;
    doc.Compress(t.dialogs);
    EXPECT_EQ(t.dialogs.shown.back().m_nMaxFrames, 10u);
    EXPECT_EQ(doc.m_cState, 'x');
}

TEST(Commands, RejectedCompressionKeepsTheRawStreamAndTheChosenValues) {
    struct Case {
        const char* what;
        bool bParametersCancel;
        Cancel cancel;
        int32_t nCodedAfter;  // parameters Cancel takes over nothing
    };
    const Case cases[] = {
        {"parameters cancelled", true, Cancel::Never, 100},
        {"processing closed before start", false, Cancel::BeforeStart, 10},
        {"cancelled during the first frame", false, Cancel::DuringFirstFrame, 10},
        {"cancelled after the last frame", false, Cancel::AfterLastFrame, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture t;
        t.OpenClip(100);
        const uint8_t* pRaw = t.doc.m_pQcfData;
        t.dialogs.bParametersCancel = c.bParametersCancel;
        t.dialogs.cancel = c.cancel;
        t.dialogs.nFrames = 10;
        t.dialogs.nThreshold = 20;
        t.dialogs.nQuantiser = 30;
        t.doc.Compress(t.dialogs);  // ASan: a rejected output is freed once, by its run

        EXPECT_EQ(t.doc.m_cState, 'i');
        EXPECT_EQ(t.doc.m_pQcfData, pRaw);
        EXPECT_EQ(t.doc.m_pCmpData, nullptr);
        EXPECT_EQ(t.doc.m_nCmpLength, 0u);
        EXPECT_EQ(t.doc.m_nCodedFrames, c.nCodedAfter);
        EXPECT_EQ(t.doc.m_nThreshold, c.bParametersCancel ? 1u : 20u);
        EXPECT_EQ(t.doc.m_nQuantiser, c.bParametersCancel ? 1u : 30u);
        EXPECT_EQ(Line(t.doc, 2), "Frames in stream: 100.");
        EXPECT_EQ(t.doc.SummaryLines().size(), 4u);
        EXPECT_FALSE(t.doc.IsModified());  // nothing new to save

        t.doc.OnPlay(t.dialogs);  // plays the frames chosen, not the whole stream
        ASSERT_EQ(t.dialogs.played.size(), 1u);
        EXPECT_EQ(t.dialogs.played[0].first, pRaw);
        EXPECT_EQ(t.dialogs.played[0].second, c.nCodedAfter);
        EXPECT_TRUE(t.prompts.messages.empty());
    }
}

TEST(Commands, RejectedOrFailedDecompressionKeepsTheCompressedStream) {
    struct Case {
        const char* what;
        Cancel cancel;
        bool bDamaged;
    };
    const Case cases[] = {
        {"closed before start", Cancel::BeforeStart, false},
        {"cancelled during the first frame", Cancel::DuringFirstFrame, false},
        {"cancelled after the last frame", Cancel::AfterLastFrame, false},
        {"damaged stream", Cancel::Never, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture t;
        t.OpenCompressed(3, 3);
        if (c.bDamaged) {
            // Keep the header, cut the coded data short.
            t.doc.m_nCmpLength = 10;
        }
        const uint8_t* pCmp = t.doc.m_pCmpData;
        const uint32_t nLength = t.doc.m_nCmpLength;
        t.dialogs.cancel = c.cancel;
        t.doc.Decompress(t.dialogs);  // ASan: the new frame buffer is freed exactly once

        EXPECT_EQ(t.doc.m_cState, 's');
        EXPECT_EQ(t.doc.m_pCmpData, pCmp);
        EXPECT_EQ(t.doc.m_nCmpLength, nLength);
        EXPECT_EQ(t.doc.m_pQcfData, nullptr);
        EXPECT_EQ(t.doc.m_nCodedFrames, 3);
        EXPECT_EQ(t.doc.m_nStreamFrames, 3);
        if (c.bDamaged) {
            ASSERT_EQ(t.prompts.messages.size(), 1u);
            EXPECT_EQ(t.prompts.messages[0].strCaption, "Error");
        } else {
            EXPECT_TRUE(t.prompts.messages.empty());
        }
    }
}

TEST(Commands, DecompressionWithoutMemoryIsFatal) {
    Fixture t;
    t.OpenCompressed(2, 2);
    const uint8_t* pCmp = t.doc.m_pCmpData;
    auto* pfnOld = CTavroDoc::SetAllocator([](size_t) -> void* { return nullptr; });
    t.doc.Decompress(t.dialogs);
    CTavroDoc::SetAllocator(pfnOld);
    EXPECT_EQ(t.prompts.messages, (std::vector<CScriptedPrompts::Message>{
                                      {"Error allocating memory for QcfData.", "Fatal Error"}}));
    EXPECT_EQ(t.prompts.endStatus, std::optional<int>(1));
    EXPECT_EQ(t.dialogs.nRuns, 1);  // only the compression ran
    EXPECT_EQ(t.doc.m_cState, 's');
    EXPECT_EQ(t.doc.m_pCmpData, pCmp);
}

// Regression: Play used to cut the frame count to 16 bits, so a 65536-frame
// stream played nothing and a 70000-frame one only 4464 frames.
TEST(Commands, PlayHandsTheViewerTheWholeFrameCount) {
    for (int32_t nFrames : {1, 65535, 65536, 70000}) {
        Fixture t;
        t.OpenClip(1);
        t.doc.m_nCodedFrames = nFrames;  // as if a long stream were held
        t.doc.OnPlay(t.dialogs);
        ASSERT_EQ(t.dialogs.played.size(), 1u);
        EXPECT_EQ(t.dialogs.played[0].second, static_cast<uint32_t>(nFrames));
    }
}

// SaveModified, called before anything discards the contents, asks while a
// run's result is unsaved; it lets the caller go on only once the result is
// saved or the user discards it, and never changes the stream.
TEST(Commands, UnsavedResultIsAskedForBeforeItIsDiscarded) {
    struct Case {
        ESaveChoice answer;
        const char* pszSaveAs;  // the save chooser's answer (nullptr: Cancel)
        bool bGoOn;
    };
    for (const Case& c :
         {Case{ESaveChoice::Cancel, nullptr, false}, Case{ESaveChoice::Discard, nullptr, true},
          Case{ESaveChoice::Save, nullptr, false},
          Case{ESaveChoice::Save, "no/such/folder.cmp", false},
          Case{ESaveChoice::Save, "kept.cmp", true}}) {
        Fixture t;
        t.OpenCompressed(3, 3);
        t.prompts.QueueSaveAnswer(c.answer);
        if (c.pszSaveAs) {
            t.prompts.QueueChoice(t.dir.File(c.pszSaveAs));
        }
        EXPECT_EQ(t.doc.SaveModified(), c.bGoOn) << int(c.answer);
        EXPECT_EQ(t.doc.IsModified(), !c.bGoOn || c.answer == ESaveChoice::Discard);
        EXPECT_EQ(t.doc.m_cState, 's');
        EXPECT_EQ(t.prompts.questions.size(), 1u);
        EXPECT_EQ(t.prompts.messages.size(), c.pszSaveAs && !c.bGoOn ? 1u : 0u);  // the failure
        t.OpenClip(2);  // a file just opened is never unsaved
        EXPECT_FALSE(t.doc.IsModified());
    }
}
