#include "cli/CodecRunner.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>

#include "cli/CliSupport.h"
#include "codec/CodecRun.h"

namespace {

volatile std::sig_atomic_t g_nSignal = 0;
struct sigaction g_oldInt;
struct sigaction g_oldTerm;
// The job a signal cancels, while one runs.
std::atomic<CCodecJob*> g_pJob{nullptr};

extern "C" void OnInterrupt(int nSignal) {
    g_nSignal = nSignal;
    // Lock-free atomic loads and stores are safe in a signal handler.
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

CInterruptGuard::CInterruptGuard() {
    g_nSignal = 0;
    struct sigaction sa = {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    // A second Ctrl+C ends the process at once, as users expect.
    sa.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &sa, &g_oldInt);
    sigaction(SIGTERM, &sa, &g_oldTerm);
}

CInterruptGuard::~CInterruptGuard() {
    sigaction(SIGINT, &g_oldInt, nullptr);
    sigaction(SIGTERM, &g_oldTerm, nullptr);
}

bool CInterruptGuard::Interrupted() {
    return g_nSignal != 0;
}

int CInterruptGuard::ExitStatus() {
    return g_nSignal == SIGTERM ? 128 + SIGTERM : kExitInterrupted;
}

ERunOutcome RunCodec(CCodecContext& ctx, const char* szLabel) {
    CCodecJob job(ctx);
    g_pJob.store(&job);
    if (CInterruptGuard::Interrupted()) {
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
    if (CInterruptGuard::Interrupted()) {
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
