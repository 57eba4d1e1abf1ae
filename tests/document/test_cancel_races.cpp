// Cancel requests from another thread at random moments of compression and
// decompression runs, as the processing dialog sends them while its worker
// runs. A request is never lost (the cell keeps it and no frame begins after
// it), a cancelled run hands nothing to the document, and a run that finishes
// anyway produces exactly what an undisturbed run produces. Buffers released
// twice or never are caught by the sanitizer builds, data races by the
// ThreadSanitizer build that scripts/test.sh runs these tests in.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "codec/CodecRun.h"
#include "document/ClipImport.h"
#include "document/TavroDoc.h"
#include "fuzz/FuzzChecks.h"
#include "support/CodecClips.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kFrames = 4;
// The whole stress stays within this, however slow the build (ThreadSanitizer).
constexpr auto kBudget = std::chrono::seconds(40);

// Ways a cancel request can arrive.
enum class When { Never, BeforeStart, After };

struct RaceResult {
    bool bDone = false;
    int nBegunAtCancel = -1;  // frames begun when the request was stored
    int nBegun = 0;           // frames begun in all
    int32_t nCellAfter = 0;
    bool bRequestBeforeEnd = true;  // the cancel request came before the run handed back
};

// Runs the context as a job and, unless `when` is Never, requests a cancel
// after `delay` (or before the job starts).
RaceResult RunWithCancel(CCodecContext& context, When when, std::chrono::microseconds delay) {
    RaceResult r;
    std::atomic<int> nBegun{0};
    context.m_onFrameEvent = [&](CCodecContext::FrameEvent event, uint16_t) {
        if (event == CCodecContext::FrameEvent::FrameBegun) {
            nBegun.fetch_add(1);
        }
    };
    CCodecJob job(context);
    if (when == When::BeforeStart) {
        job.RequestCancel();
        r.nBegunAtCancel = 0;
    }
    // The cell as the run hands back (a decompression job resets it after that).
    std::atomic<bool> bEnded{false};
    std::atomic<int32_t> nCellAtEnd{0};
    job.Start([&] {
        bEnded = true;
        nCellAtEnd = context.m_pProgress->load();
    });
    if (when == When::After) {
        std::this_thread::sleep_for(delay);
        job.RequestCancel();
        r.nBegunAtCancel = nBegun.load();
        r.bRequestBeforeEnd = !bEnded;  // then the hand-back comes after the request
    }
    job.Finish();
    r.bDone = job.RunResult();
    r.nBegun = nBegun.load();
    r.nCellAfter = nCellAtEnd.load();
    context.m_onFrameEvent = nullptr;
    return r;
}

// A delay somewhere inside a run of about nRunMicros, sometimes just past it.
std::chrono::microseconds RandomDelay(std::mt19937& rng, int64_t nRunMicros) {
    std::uniform_int_distribution<int64_t> pick(0, nRunMicros + nRunMicros / 5);
    return std::chrono::microseconds(pick(rng));
}

When RandomWhen(std::mt19937& rng) {
    const uint32_t n = rng() % 10;
    return n == 0 ? When::Never : n == 1 ? When::BeforeStart : When::After;
}

TEST(CancelRaces, CodecRunsCancelledAtRandomMoments) {
    Bytes clip = SampleClip(kFrames);
    // Undisturbed runs: the reference output, and the time each kind of run takes
    // (the second of two, once caches are warm).
    CCodecContext ref;
    ref.m_nFrames = kFrames;
    ref.m_byThreshold = 10;
    ref.m_byQuantiser = 16;
    ref.m_pQcf = clip.data();
    // Each kind's time is the median of five runs: one run slowed by a busy
    // machine would put most random moments past the end of the runs.
    int64_t nRunMicros[2] = {};  // decompression, compression
    auto medianMicros = [](auto run) {
        int64_t an[5];
        for (int64_t& n : an) {
            const auto t0 = Clock::now();
            run();
            n = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count();
        }
        std::sort(std::begin(an), std::end(an));
        return an[2];
    };
    nRunMicros[1] = medianMicros([&] { ASSERT_TRUE(RunWithCancel(ref, When::Never, {}).bDone); });
    const Bytes cmp(ref.m_pCmp, ref.m_pCmp + ref.m_nCmpLength);
    Bytes frames(kFrames * QCIF_FRAME_BYTES);
    nRunMicros[0] = medianMicros([&] {
        CCodecContext dec;
        dec.m_bCompress = false;
        dec.m_nFrames = kFrames;
        dec.m_byThreshold = 10;
        dec.m_byQuantiser = 16;
        dec.m_pQcf = frames.data();
        dec.m_pCmp = const_cast<uint8_t*>(cmp.data());
        dec.m_nCmpLength = uint32_t(cmp.size());
        ASSERT_TRUE(RunWithCancel(dec, When::Never, {}).bDone);
    });

    const auto deadline = Clock::now() + kBudget;
    int nRuns = 0, nMidRun = 0, nCompleted = 0;
    for (uint32_t seed : {1u, 2u, 3u}) {
        std::mt19937 rng(seed);
        for (int i = 0; i < 100 && Clock::now() < deadline; ++i, ++nRuns) {
            const bool bCompress = rng() % 2;
            const When when = RandomWhen(rng);
            const auto delay = RandomDelay(rng, nRunMicros[bCompress]);
            Bytes out(kFrames * QCIF_FRAME_BYTES, 0);
            CCodecContext context;
            context.m_bCompress = bCompress;
            context.m_nFrames = kFrames;
            context.m_byThreshold = 10;
            context.m_byQuantiser = 16;
            context.m_pQcf = bCompress ? clip.data() : out.data();
            context.m_nThreads = 1 + rng() % 3;  // the plain run or a pipeline
            if (!bCompress) {
                context.m_pCmp = const_cast<uint8_t*>(cmp.data());
                context.m_nCmpLength = uint32_t(cmp.size());
            }
            const RaceResult r = RunWithCancel(context, when, delay);
            const std::string strCase = "seed " + std::to_string(seed) + " run " +
                                        std::to_string(i) +
                                        (bCompress ? " compress" : " decompress") + " on " +
                                        std::to_string(context.m_nThreads) + " threads";
            EXPECT_TRUE(fuzzchecks::WorkspaceIsClear(context)) << strCase;
            EXPECT_EQ(context.m_nError, CodecError::None) << strCase;
            if (when != When::Never) {
                // Kept in the cell, and at most the frame already starting went ahead.
                EXPECT_TRUE(!r.bRequestBeforeEnd || r.nCellAfter == PROGRESS_CANCEL) << strCase;
                EXPECT_LE(r.nBegun, r.nBegunAtCancel + 1) << strCase;
            }
            if (when == When::BeforeStart) {
                EXPECT_FALSE(r.bDone) << strCase;
                EXPECT_EQ(r.nBegun, 0) << strCase;
            }
            if (!r.bDone) {
                nMidRun += r.nBegun > 0;
                EXPECT_NE(when, When::Never) << strCase;
                EXPECT_LT(r.nBegun, int(kFrames)) << strCase;
                if (bCompress) {  // the header alone, which no caller takes
                    EXPECT_EQ(context.m_nCmpLength, CMP_HEADER_BYTES) << strCase;
                }
                continue;
            }
            ++nCompleted;
            EXPECT_EQ(r.nBegun, int(kFrames)) << strCase;
            if (bCompress) {
                EXPECT_TRUE(context.m_nCmpLength == cmp.size() &&
                            std::memcmp(context.m_pCmp, cmp.data(), cmp.size()) == 0)
                    << strCase << ": a finished run differs from an undisturbed one";
            } else {
                EXPECT_TRUE(out == frames) << strCase;
            }
        }
    }
    EXPECT_GE(nRuns, 60);
    // The random moments reach the middle of runs as well as their ends.
    EXPECT_GT(nMidRun, 5);
    EXPECT_GT(nCompleted, 5);
}

// The processing dialog's side: the worker runs while the user may press
// Cancel; the dialog then marks the run cancelled and stores the request.
class CThreadedDialogs : public IDocumentDialogs {
public:
    std::mt19937 rng;
    int64_t nRunMicros = 5000;  // about one run of the sample clip
    int nRuns = 0;
    bool bLastCancelled = false;
    bool bWorkspaceClear = true;  // after every run

    explicit CThreadedDialogs(uint32_t seed) : rng(seed) {}
    int RunParameters(CParametersChoice& choice) override {
        choice.m_nFrames = choice.m_nMaxFrames;
        return IDOK;
    }
    int RunProcessing(CCodecContext& context, bool& bCancelled) override {
        ++nRuns;
        const When when = RandomWhen(rng);
        const auto delay = RandomDelay(rng, nRunMicros);
        bCancelled = when != When::Never;
        bLastCancelled = bCancelled;
        if (when == When::BeforeStart) {
            return IDCANCEL;  // closed before Start: no worker at all
        }
        RunWithCancel(context, when, delay);
        bWorkspaceClear = bWorkspaceClear && fuzzchecks::WorkspaceIsClear(context);
        return IDOK;
    }
    void RunViewer(const uint8_t*, uint32_t) override {}
};

TEST(CancelRaces, DocumentKeepsItsStreamWhenARunIsCancelled) {
    CScriptedPrompts prompts;
    CTempDir dir;
    WriteBytes(dir.File("clip.qcf"), SampleClip(kFrames));
    const auto deadline = Clock::now() + kBudget / 2;
    int nSteps = 0, nAccepted = 0;
    for (uint32_t seed : {11u, 12u}) {
        CTavroDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(dir.File("clip.qcf")));
        CThreadedDialogs dialogs(seed);
        for (int i = 0; i < 60 && Clock::now() < deadline; ++i, ++nSteps) {
            const char cBefore = doc.m_cState;
            const bool bRaw = cBefore == 'i' || cBefore == 'x';
            const uint8_t* pBefore = bRaw ? doc.m_pQcfData : doc.m_pCmpData;
            const size_t nBefore = bRaw ? size_t(doc.RawStreamBytes()) : doc.m_nCmpLength;
            const Bytes before(pBefore, pBefore + nBefore);
            if (bRaw) {
                doc.Compress(dialogs);
            } else {
                doc.Decompress(dialogs);
            }
            const std::string strCase =
                "seed " + std::to_string(seed) + " step " + std::to_string(i) + " from " + cBefore;
            EXPECT_TRUE(prompts.messages.empty()) << strCase;
            EXPECT_TRUE(dialogs.bWorkspaceClear) << strCase;
            if (dialogs.bLastCancelled) {
                const uint8_t* pNow = bRaw ? doc.m_pQcfData : doc.m_pCmpData;
                EXPECT_EQ(doc.m_cState, cBefore) << strCase;
                EXPECT_EQ(pNow, pBefore) << strCase;
                EXPECT_TRUE(std::memcmp(pNow, before.data(), before.size()) == 0) << strCase;
            } else {
                ++nAccepted;
                EXPECT_EQ(doc.m_cState, bRaw ? 's' : 'x') << strCase;
                EXPECT_EQ(doc.m_nCodedFrames, int32_t(kFrames)) << strCase;
            }
        }
    }
    EXPECT_GE(nSteps, 30);
    EXPECT_GT(nAccepted, 0);
}

// File > Import Video... reads on a worker while the dialog may cancel. A pipe
// paces the clip, so the request lands once frame 3 is read, before or while
// the reader waits for frame 4; frame 4 then arrives, and the clip would go on,
// but no further frame is read and nothing reaches the document.
TEST(CancelRaces, ImportCancelledWhileReadingStopsAtTheNextFrame) {
    CScriptedPrompts prompts;
    CTempDir dir;
    const std::string strPipe = dir.File("clip.yuv");
    ASSERT_EQ(::mkfifo(strPipe.c_str(), 0600), 0);
    const Bytes frames = SampleClip(kFrames);
    CClipImport import;
    std::thread writer([&] {
        FILE* pFile = std::fopen(strPipe.c_str(), "wb");
        ASSERT_NE(pFile, nullptr);
        std::fwrite(frames.data(), 1, 3 * QCIF_FRAME_BYTES, pFile);
        std::fflush(pFile);
        while (import.FramesRead() < 3) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        import.RequestCancel();
        std::fwrite(frames.data() + 3 * QCIF_FRAME_BYTES, 1, QCIF_FRAME_BYTES, pFile);
        std::fflush(pFile);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // time to read past a cancel
        std::fclose(pFile);
    });
    std::string strError;
    ASSERT_TRUE(import.Open(strPipe, &strError)) << strError;
    bool bRead = true;
    std::thread worker([&] { bRead = import.Run(); });
    worker.join();
    writer.join();
    EXPECT_FALSE(bRead);
    EXPECT_EQ(import.GetError(), "");
    EXPECT_TRUE(import.FramesRead() == 3 || import.FramesRead() == 4) << import.FramesRead();
    CTavroDoc doc;
    EXPECT_FALSE(import.Deliver(doc));
    EXPECT_EQ(doc.m_cState, 'd');
    EXPECT_TRUE(prompts.messages.empty());
}

}  // namespace
