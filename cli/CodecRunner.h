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

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

class CCodecContext;

// --threads N on a command that codes: the threads that transform frames (1
// to 256; 1 is the plain single-threaded run). nThreads stays 0 when the
// option is not given; ThreadsOrDefault then gives the number of cores. The
// bytes do not depend on it.
// strDefault: the default in words when it is not the number of cores.
CLI::Option* AddThreadsOption(CLI::App* pApp, uint32_t& nThreads, const std::string& strWhat,
                              const std::string& strDefault = "");
uint32_t ThreadsOrDefault(uint32_t nThreads);

enum class ERunOutcome { Done, Cancelled, Failed };

// Runs ctx.m_bCompress's run as a job. szLabel names the job on the progress bar.
ERunOutcome RunCodec(CCodecContext& ctx, const char* szLabel);
