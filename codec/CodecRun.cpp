#include "codec/CodecRun.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>

#include "codec/Subbands.h"
#include "io/Prompts.h"

namespace {

constexpr size_t COEF_FRAME_BYTES = COEF_FRAME_VALUES * sizeof(int16_t);

CRunLease::AllocateFn g_pfnAllocate = &std::malloc;

void* AllocateZeroed(size_t nBytes) {
    void* p = g_pfnAllocate(nBytes);
    if (p) {
        std::memset(p, 0, nBytes);
    }
    return p;
}

// A context of its own for one in-memory call: heap-allocated (the LZARI
// coder's state is large) and with a private progress cell.
std::unique_ptr<CCodecContext> PrivateContext(const SCmpHeader& params, bool bCompress,
                                              uint32_t nThreads) {
    auto pContext = std::unique_ptr<CCodecContext>(new (std::nothrow) CCodecContext);
    if (pContext) {
        pContext->UseOwnProgressCell();
        pContext->m_nThreads = nThreads;
        pContext->m_bCompress = bCompress;
        pContext->m_nFrames = params.nFrames;
        pContext->m_byThreshold = params.byThreshold;
        pContext->m_byQuantiser = params.byQuantiser;
    }
    return pContext;
}

}  // namespace

uint32_t DefaultCodecThreads() {
    const uint32_t n = std::thread::hardware_concurrency();
    return n ? n : 1;
}

CodecError CompressFrames(const uint8_t* pFrames, const SCmpHeader& params,
                          std::vector<uint8_t>& cmp, uint32_t nThreads) {
    cmp.clear();
    auto pContext = PrivateContext(params, true, nThreads);
    if (!pContext) {
        return CodecError::NoMemory;
    }
    // The run only reads its input during a compression.
    pContext->m_pQcf = const_cast<uint8_t*>(pFrames);
    if (!pContext->CompressRun()) {
        return pContext->m_nError;  // nobody cancels a private cell
    }
    try {
        cmp.assign(pContext->m_pCmp, pContext->m_pCmp + pContext->m_nCmpLength);
    } catch (const std::bad_alloc&) {
        return CodecError::NoMemory;
    }
    return CodecError::None;
}

CodecError DecompressFrames(const uint8_t* pCmp, uint32_t nCmpLength, std::vector<uint8_t>& frames,
                            uint32_t nThreads) {
    SCmpHeader header;
    if (!pCmp || !ReadCmpHeader(pCmp, nCmpLength, header)) {
        frames.clear();
        return CodecError::Truncated;
    }
    return DecompressFrames(pCmp, nCmpLength, header, frames, nThreads);
}

CodecError DecompressFrames(const uint8_t* pCmp, uint32_t nCmpLength, const SCmpHeader& params,
                            std::vector<uint8_t>& frames, uint32_t nThreads) {
    frames.clear();
    if (params.nFrames == 0 || params.nFrames > CODEC_MAX_FRAMES || params.byThreshold == 0 ||
        params.byQuantiser == 0) {
        return CodecError::BadParameters;
    }
    auto pContext = PrivateContext(params, false, nThreads);
    if (!pContext) {
        return CodecError::NoMemory;
    }
    // A damaged header must not make us allocate gigabytes for frames its data
    // cannot hold: check the stream before the output exists.
    if (const CodecError nError = CheckStreamLength(pCmp, nCmpLength, params.nFrames);
        nError != CodecError::None) {
        return nError;
    }
    try {
        frames.resize(size_t(params.nFrames) * QCIF_FRAME_BYTES);
    } catch (const std::bad_alloc&) {
        return CodecError::NoMemory;
    }
    // The run only reads its input during a decompression.
    pContext->m_pCmp = const_cast<uint8_t*>(pCmp);
    pContext->m_nCmpLength = nCmpLength;
    pContext->m_pQcf = frames.data();
    if (!pContext->DecompressRun()) {
        frames.clear();
        return pContext->m_nError;
    }
    return CodecError::None;
}

CRunLease::AllocateFn CRunLease::SetAllocator(AllocateFn pfn) {
    AllocateFn pfnOld = g_pfnAllocate;
    g_pfnAllocate = pfn ? pfn : &std::malloc;
    return pfnOld;
}

CRunLease::CRunLease(CCodecContext& context) : m_context(context) {
    if (context.m_pCoef[0] || !ClaimProgressCell(context.m_pProgress)) {
        m_nError = CodecError::Busy;
        return;
    }
    m_bClaimed = true;
    bool bOk = true;
    for (auto& p : context.m_pCoef) {
        p = static_cast<int16_t*>(AllocateZeroed(COEF_FRAME_BYTES));
        bOk = bOk && p;
    }
    context.m_pFrameBytes = static_cast<uint8_t*>(AllocateZeroed(COEF_FRAME_BYTES));
    if (!bOk || !context.m_pFrameBytes) {
        Release();
        m_nError = CodecError::NoMemory;
        Prompts().MessageBox("Error allocating memory for transform matrix.", "Fatal Error");
        Prompts().EndProcess(0);
        return;
    }
    context.m_bCurrent = 0;
    BuildBandTable(context);
}

CRunLease::~CRunLease() {
    Release();
}

void CRunLease::Release() {
    if (!m_bClaimed) {
        return;
    }
    for (auto& p : m_context.m_pCoef) {
        std::free(p);
        p = nullptr;
    }
    std::free(m_context.m_pFrameBytes);
    m_context.m_pFrameBytes = nullptr;
    ReleaseProgressCell(m_context.m_pProgress);
    m_bClaimed = false;
}

CCodecJob::CCodecJob(CCodecContext& context) : m_context(context) {
    ResetProgressCell(context.m_pProgress);
}

CCodecJob::~CCodecJob() {
    if (m_worker.joinable()) {
        RequestCancel();
        m_worker.join();
    }
}

void CCodecJob::Start(std::function<void()> onDone) {
    if (m_bStarted) {
        return;
    }
    m_bStarted = true;
    auto work = [this, onDone] {
        const bool bCompress = m_context.m_bCompress;
        const bool bResult = m_context.Run();
        {
            std::lock_guard lock(m_mutex);
            m_bResult = bResult;
            m_bDone = true;
        }
        m_done.notify_all();
        if (onDone) {
            onDone();
        }
        if (!bCompress) {
            ResetProgressCell(m_context.m_pProgress);
        }
    };
    try {
        m_worker = std::thread(std::move(work));
    } catch (const std::system_error&) {
        // No thread to run on: the run fails at once, and the caller still
        // hears of it the usual way.
        m_context.m_nError = CodecError::NoThread;
        {
            std::lock_guard lock(m_mutex);
            m_bDone = true;
        }
        if (onDone) {
            onDone();
        }
    }
}

void CCodecJob::RequestCancel() {
    m_bCancelRequested.store(true);
    m_context.m_pProgress->store(PROGRESS_CANCEL);
}

bool CCodecJob::WaitFor(std::chrono::milliseconds nTimeout) {
    std::unique_lock lock(m_mutex);
    return m_done.wait_for(lock, nTimeout, [this] { return m_bDone; });
}

EJobOutcome CCodecJob::Finish() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    std::lock_guard lock(m_mutex);
    if (!m_bDone || m_bCancelRequested.load()) {
        return EJobOutcome::Cancelled;
    }
    if (!m_bResult) {
        return m_context.m_nError == CodecError::None ? EJobOutcome::Cancelled
                                                      : EJobOutcome::Failed;
    }
    return EJobOutcome::Accepted;
}

bool CCodecJob::RunResult() {
    std::lock_guard lock(m_mutex);
    return m_bResult;
}
