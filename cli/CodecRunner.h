#pragma once
// Runs one compression or decompression the way the desktop's processing
// dialog does: as a CCodecJob on a worker thread, with this thread watching its
// progress. A progress bar goes to stderr only when stderr is a terminal (and
// not quiet).
//
// An interrupt (CatchInterrupts) becomes the job's cancel request: the run
// stops before its next frame, and the command writes nothing. Like the
// desktop app, a run that was asked to stop is never used, even if it managed
// to finish its last frame.

#include <string>

class CCodecContext;

enum class ERunOutcome { Done, Cancelled, Failed };

// Runs ctx.m_bCompress's run as a job. szLabel names the job on the progress bar.
ERunOutcome RunCodec(CCodecContext& ctx, const char* szLabel);
