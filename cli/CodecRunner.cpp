#include "cli/CodecRunner.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <future>
#include <thread>

#include "cli/CliSupport.h"
#include "codec/CodecContext.h"
#include "codec/Subbands.h"
#include "codec/WorkingState.h"

namespace {

volatile std::sig_atomic_t g_nSignal = 0;
struct sigaction g_oldInt;
struct sigaction g_oldTerm;

extern "C" void OnInterrupt(int nSignal) {
    g_nSignal = nSignal;
    // A lock-free atomic store is safe in a signal handler.
    g_nProgress.store(PROGRESS_CANCEL);
}

static_assert(std::atomic<int32_t>::is_always_lock_free,
              "the signal handler needs a lock-free cell");

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
    BuildBandTable(ctx);
    g_nProgress.store(0);
    if (CInterruptGuard::Interrupted()) {
        return ERunOutcome::Cancelled;  // the request came before the cell was reset
    }
    const bool bBar = !CliQuiet() && ::isatty(STDERR_FILENO);
    std::packaged_task<bool()> task(
        [&ctx] { return ctx.m_bCompress ? ctx.CompressRun() : ctx.DecompressRun(); });
    std::future<bool> done = task.get_future();
    std::thread worker(std::move(task));
    if (bBar) {
        DrawBar(szLabel, 0, false);
    }
    int32_t nShown = 0;
    while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        if (bBar) {
            int32_t n = g_nProgress.load();
            bool bCancelling = n == PROGRESS_CANCEL;
            nShown = bCancelling ? nShown : n;
            DrawBar(szLabel, nShown, bCancelling);
        }
    }
    worker.join();
    bool bResult = done.get();
    if (bBar) {
        ClearBar();
    }
    g_nProgress.store(0);
    if (CInterruptGuard::Interrupted()) {
        return ERunOutcome::Cancelled;
    }
    if (!bResult) {
        // Only this process cancels, so a false result without a signal is a failure.
        return ctx.m_nError == CodecError::None ? ERunOutcome::Cancelled : ERunOutcome::Failed;
    }
    return ERunOutcome::Done;
}
