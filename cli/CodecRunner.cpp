#include "cli/CodecRunner.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>

#include "cli/CliSupport.h"
#include "cli/ClipInput.h"
#include "codec/CodecRun.h"

namespace {

// The job a signal cancels, while one runs.
std::atomic<CCodecJob*> g_pJob{nullptr};

// Run by the interrupt handler: lock-free atomic loads and stores are safe there.
void CancelRunningJob() {
    if (CCodecJob* pJob = g_pJob.load()) {
        pJob->RequestCancel();
    }
}

static_assert(std::atomic<int32_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free &&
                  std::atomic<CCodecJob*>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

void DrawBar(const char* szLabel, int nPercent, bool bCancelling) {
    constexpr int kWidth = 30;
    char bar[kWidth + 1];
    int nFill = nPercent * kWidth / 100;
    for (int i = 0; i < kWidth; ++i) {
        bar[i] = i < nFill ? '#' : '.';
    }
    bar[kWidth] = '\0';
    if (bCancelling) {
        std::fprintf(stderr, "\r%-10s [%s] cancelling...", szLabel, bar);
    } else {
        std::fprintf(stderr, "\r%-10s [%s] %3d%%          ", szLabel, bar, nPercent);
    }
    std::fflush(stderr);
}

void ClearBar() {
    std::fprintf(stderr, "\r%70s\r", "");
    std::fflush(stderr);
}

}  // namespace

CLI::Option* AddThreadsOption(CLI::App* pApp, uint32_t& nThreads, const std::string& strWhat,
                              const std::string& strDefault) {
    return AddRanged(pApp, "--threads", nThreads, 1, 256,
                     strWhat +
                         "; 1 runs the plain single-threaded coder, and the output is the "
                         "same byte for byte whatever the count",
                     strDefault.empty()
                         ? "the number of cores, " + std::to_string(DefaultCodecThreads()) + " here"
                         : strDefault);
}

uint32_t ThreadsOrDefault(uint32_t nThreads) {
    return nThreads ? nThreads : DefaultCodecThreads();
}

ERunOutcome RunCodec(CCodecContext& ctx, const char* szLabel) {
    CCodecJob job(ctx);
    SetInterruptAction(&CancelRunningJob);
    g_pJob.store(&job);
    if (Interrupted()) {
        g_pJob.store(nullptr);
        return ERunOutcome::Cancelled;  // the request came before the job existed
    }
    const bool bBar = !CliQuiet() && ::isatty(STDERR_FILENO);
    job.Start();
    if (bBar) {
        DrawBar(szLabel, 0, false);
    }
    int32_t nShown = 0;
    while (!job.WaitFor(std::chrono::milliseconds(100))) {
        if (bBar) {
            const int32_t n = job.Progress();
            const bool bCancelling = n == PROGRESS_CANCEL;
            nShown = bCancelling ? nShown : n;
            DrawBar(szLabel, nShown, bCancelling);
        }
    }
    const EJobOutcome outcome = job.Finish();
    g_pJob.store(nullptr);
    if (bBar) {
        ClearBar();
    }
    if (Interrupted()) {
        return ERunOutcome::Cancelled;
    }
    switch (outcome) {
        case EJobOutcome::Accepted:
            return ERunOutcome::Done;
        case EJobOutcome::Failed:
            return ERunOutcome::Failed;
        case EJobOutcome::Cancelled:
            break;
    }
    return ERunOutcome::Cancelled;
}
