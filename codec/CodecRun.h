#pragma once
// The codec's front door: the only way a run is set up, whatever calls it.
//
//   CompressFrames / DecompressFrames  in-memory work from the calling thread
//                                      (pipelined on more threads if asked),
//                                      with a progress cell of their own, so
//                                      calls on different threads are independent.
//   CCodecJob                          one run of a filled CCodecContext on a
//                                      worker thread: start, progress, cancel,
//                                      finish. The processing dialog and
//                                      tavro-cli both drive their runs with it.
//   CRunLease                          what a run holds for its length: its
//                                      progress cell, its working buffers and its
//                                      band table. The runs take one themselves;
//                                      code that drives single stages (the stage
//                                      dump, tests) takes one to get the same set-up.
//
// No exception leaves these calls; failures are CodecError values with a text
// from CodecErrorText().

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "codec/CodecContext.h"
#include "io/QcifFormat.h"

// The thread count the product uses unless told otherwise: the number of cores.
uint32_t DefaultCodecThreads();

// Compresses the first params.nFrames frames (38016 bytes each) at pFrames with
// params.byThreshold and params.byQuantiser into cmp (header included), on
// nThreads transform threads (CCodecContext::m_nThreads; the bytes do not
// depend on it). CodecError::None on success; otherwise cmp is empty.
CodecError CompressFrames(const uint8_t* pFrames, const SCmpHeader& params,
                          std::vector<uint8_t>& cmp, uint32_t nThreads = 1);

// Rebuilds every frame of a compressed stream (header included; frame count,
// threshold and quantiser from its header) into frames (frames x 38016 bytes).
// The stream is checked before the output is allocated. On failure frames is
// empty and the result says why.
CodecError DecompressFrames(const uint8_t* pCmp, uint32_t nCmpLength, std::vector<uint8_t>& frames,
                            uint32_t nThreads = 1);
// The same with the frame count and parameters given by the caller (a document
// holds them apart from its stream) instead of read from the header.
CodecError DecompressFrames(const uint8_t* pCmp, uint32_t nCmpLength, const SCmpHeader& params,
                            std::vector<uint8_t>& frames, uint32_t nThreads = 1);

// Holds a run for a context, from construction to destruction:
//   - the context's progress cell: a second lease on a cell in use fails with
//     CodecError::Busy and touches nothing;
//   - the working buffers (three zeroed coefficient frames and the record
//     expansion buffer, in context.m_pCoef): if they cannot be had, "Error
//     allocating memory for transform matrix." goes to the prompt services as a
//     "Fatal Error" and the process ends with status 0; where the prompt
//     services return instead, the lease fails with CodecError::NoMemory;
//   - the band table, built from context.m_byQuantiser; m_bCurrent is 0.
// Everything is released and the context's working pointers are null again
// when the lease ends.
class CRunLease {
public:
    explicit CRunLease(CCodecContext& context);
    ~CRunLease();
    CRunLease(const CRunLease&) = delete;
    CRunLease& operator=(const CRunLease&) = delete;

    // True when the run is held; otherwise Error() says why.
    bool Held() const { return m_nError == CodecError::None; }
    CodecError Error() const { return m_nError; }

    // Where the working buffers come from (malloc by default); for tests of the
    // allocation failure. Returns the previous function.
    using AllocateFn = void* (*)(size_t);
    static AllocateFn SetAllocator(AllocateFn pfn);

private:
    void Release();

    CCodecContext& m_context;
    CodecError m_nError = CodecError::None;
    bool m_bClaimed = false;
};

// How a job's run ended, as the processing dialog and tavro-cli judge it.
enum class EJobOutcome {
    Accepted,   // every frame was done and no cancel was requested
    Cancelled,  // a cancel was requested (at any time) or the run was never started
    Failed,     // the codec gave up: context.m_nError says why
};

// One run of a filled context on a worker thread. The context belongs to the
// worker from Start() until Finish() returns; meanwhile the caller only reads
// Progress() and may RequestCancel().
class CCodecJob {
public:
    // Stores 0 into the context's progress cell (unless another run holds it):
    // a new run starts from nothing.
    explicit CCodecJob(CCodecContext& context);
    // A worker still running is asked to stop and waited for.
    ~CCodecJob();
    CCodecJob(const CCodecJob&) = delete;
    CCodecJob& operator=(const CCodecJob&) = delete;

    // Starts context.Run() on a worker thread (at most once). onDone, when
    // given, runs on the worker after the run's last write to the context: the
    // hand-over point, from which a front end posts to its own thread. After a
    // decompression the worker then stores 0 into the cell.
    void Start(std::function<void()> onDone = nullptr);
    bool Started() const { return m_bStarted; }

    // The cell: 0..99 while the run goes, PROGRESS_CANCEL once a cancel was requested.
    int32_t Progress() const { return m_context.m_pProgress->load(); }
    // Stores PROGRESS_CANCEL into the cell; the run stops before its next frame.
    // Lock-free, so a signal handler may call it.
    void RequestCancel();
    bool CancelRequested() const { return m_bCancelRequested.load(); }

    // Waits up to nTimeout for the run to end; true once it has.
    bool WaitFor(std::chrono::milliseconds nTimeout);
    // Waits for the worker and says how the run ended.
    EJobOutcome Finish();
    // The run's own result after Finish(): true when every frame was done (also
    // when a cancel request came too late to stop it).
    bool RunResult();

private:
    CCodecContext& m_context;
    std::thread m_worker;
    bool m_bStarted = false;
    std::atomic<bool> m_bCancelRequested{false};
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_bDone = false;    // guarded by m_mutex
    bool m_bResult = false;  // the run's result, guarded by m_mutex
};
