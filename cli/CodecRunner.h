#pragma once
// Runs one compression or decompression the way the desktop's processing
// dialog does: on a worker thread, with this thread watching the progress cell.
// A progress bar goes to stderr only when stderr is a terminal (and not quiet).
//
// Ctrl+C (SIGINT) and SIGTERM become the codec's cancel request: the handler
// stores the cancel value into the progress cell, the run stops before its next
// frame, and the command writes nothing. Like the desktop app, a run that was
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

// Builds the band table, resets the progress cell and runs ctx.m_bCompress's
// run. szLabel names the job on the progress bar.
ERunOutcome RunCodec(CCodecContext& ctx, const char* szLabel);
