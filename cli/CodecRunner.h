#pragma once
// Runs one compression or decompression the way the desktop's processing
// dialog does: as a CCodecJob on a worker thread, with this thread watching its
// progress. A progress bar goes to stderr only when stderr is a terminal (and
// not quiet).
//
// Ctrl+C (SIGINT) and SIGTERM become the job's cancel request: the run stops
// before its next frame, and the command writes nothing. Like the desktop app, a run that was
// asked to stop is never used, even if it managed to finish its last frame.

#include <string>

class CCodecContext;

// Installs the interrupt handlers for the lifetime of the object (one command).
class CInterruptGuard {
public:
    CInterruptGuard();
    ~CInterruptGuard();
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;

    // True once SIGINT or SIGTERM arrived.
    static bool Interrupted();
    // Exit status for the signal that arrived (128 + its number).
    static int ExitStatus();
};

enum class ERunOutcome { Done, Cancelled, Failed };

// Runs ctx.m_bCompress's run as a job. szLabel names the job on the progress bar.
ERunOutcome RunCodec(CCodecContext& ctx, const char* szLabel);
