// The pipelined runs: frames are transformed on worker threads, the LZARI
// layer runs on a thread of its own, and the in-order step (frame differences
// and records, progress and cancel) stays on the calling thread. Every frame
// goes through the same stage functions as in the plain runs, so the bytes are
// the same; only the order in which independent work is done changes.
//
// All waits are on one mutex per pipeline and end when their condition holds
// or the pipeline stops, so a failing stage cannot leave another waiting.

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "codec/CodecContext.h"
#include "codec/FrameLoops.h"
#include "codec/RecordStream.h"
#include "codec/Subbands.h"
#include "codec/Wavelet.h"
#include "io/MemFile.h"

namespace {

constexpr uint32_t F = COEF_FRAME_VALUES;
constexpr uint32_t RECORD_GROWTH = 16 * 1024;
// Records handed to the LZARI thread and not yet taken: enough to keep it
// busy, few enough to bound memory.
constexpr uint32_t QUEUE_PIECES = 8;
// Frames in flight beyond one per worker: the in-order step keeps one ready
// while the workers are busy. Few, so that a cancel waits for little.
constexpr uint32_t SPARE_SLOTS = 2;

// One frame in flight and its buffers.
struct SSlot {
    enum class EState { Free, Loaded, Working, Done };
    EState state = EState::Free;
    uint32_t nFrame = 0;
    const uint8_t* pRaw = nullptr;  // compression: the raw frame
    uint8_t* pBytes = nullptr;      // a streamed raw frame, or a rebuilt frame for the sink
    int16_t* pA = nullptr;          // coefficients (compression), accumulator copy (decompression)
    int16_t* pB = nullptr;          // scratch
};

// Slots with their buffers in one block. Empty when the memory cannot be had,
// and the caller then runs the plain way.
struct SSlots {
    std::vector<SSlot> slots;
    std::vector<int16_t> coef;
    std::vector<uint8_t> bytes;

    bool Allocate(uint32_t nSlots, bool bBytes) {
        try {
            slots.resize(nSlots);
            coef.resize(size_t{nSlots} * 2 * F);
            bytes.resize(bBytes ? size_t{nSlots} * F : 0);
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (uint32_t i = 0; i < nSlots; ++i) {
            slots[i].pA = coef.data() + size_t{i} * 2 * F;
            slots[i].pB = slots[i].pA + F;
            slots[i].pBytes = bBytes ? bytes.data() + size_t{i} * F : nullptr;
        }
        return true;
    }
    SSlot& For(uint32_t nFrame) { return slots[nFrame % slots.size()]; }
    // The loaded frame with the lowest index, or null.
    SSlot* NextLoaded() {
        SSlot* p = nullptr;
        for (SSlot& s : slots) {
            if (s.state == SSlot::EState::Loaded && (!p || s.nFrame < p->nFrame)) {
                p = &s;
            }
        }
        return p;
    }
    bool AnyBusy() const {
        return std::any_of(slots.begin(), slots.end(), [](const SSlot& s) {
            return s.state == SSlot::EState::Loaded || s.state == SSlot::EState::Working;
        });
    }
};

// Worker threads that take loaded slots, lowest frame first, and run `work`
// on each outside the lock. The caller holds the mutex and condition
// variables; `finished` says what a finished slot becomes. Once stopped, a
// worker finishes the frame in its hands and takes no other.
class CWorkers {
public:
    CWorkers(std::mutex& m, std::condition_variable& cvWork, std::condition_variable& cvDone,
             SSlots& slots)
        : m_m(m), m_cvWork(cvWork), m_cvDone(cvDone), m_slots(slots) {}
    ~CWorkers() { Stop(); }

    // False when no thread could be started (those that were are stopped).
    template <typename Fn>
    bool Start(uint32_t nThreads, Fn work, SSlot::EState finished) {
        try {
            for (uint32_t i = 0; i < nThreads; ++i) {
                m_threads.emplace_back([this, work, finished] { Loop(work, finished); });
            }
        } catch (const std::system_error&) {
            Stop();
            return false;
        }
        return true;
    }
    void Stop() {
        {
            std::lock_guard lock(m_m);
            m_bStop = true;
        }
        m_cvWork.notify_all();
        for (std::thread& t : m_threads) {
            t.join();
        }
        m_threads.clear();
    }

private:
    template <typename Fn>
    void Loop(Fn work, SSlot::EState finished) {
        std::unique_lock lock(m_m);
        while (!m_bStop) {
            if (SSlot* p = m_slots.NextLoaded()) {
                p->state = SSlot::EState::Working;
                lock.unlock();
                work(*p);
                lock.lock();
                p->state = finished;
                m_cvDone.notify_all();
                continue;
            }
            m_cvWork.wait(lock);
        }
    }

    std::mutex& m_m;
    std::condition_variable& m_cvWork;
    std::condition_variable& m_cvDone;
    SSlots& m_slots;
    std::vector<std::thread> m_threads;
    bool m_bStop = false;
};

// The records on their way to the LZARI thread, in order. The in-order step
// puts; the LZARI encoder takes through NextPiece, which blocks until a record
// is there or the text has ended.
class CRecordQueue : public ILzariTextSource {
public:
    CRecordQueue(std::mutex& m, std::condition_variable& cvSpace) : m_m(m), m_cvSpace(cvSpace) {}

    uint32_t NextPiece(const uint8_t** ppPiece) override {
        std::unique_lock lock(m_m);
        m_pTaken.reset();  // the previous piece is coded
        m_cvPiece.wait(lock, [this] { return m_nCount > 0 || m_bEnded; });
        if (m_nCount == 0 || m_bAbandoned) {
            return 0;
        }
        m_pTaken = std::move(m_apPieces[m_nFirst]);
        m_nFirst = (m_nFirst + 1) % QUEUE_PIECES;
        --m_nCount;
        m_cvSpace.notify_all();
        *ppPiece = m_pTaken->GetBuffer();
        return m_pTaken->GetLength();
    }
    // With the mutex held.
    bool Full() const { return m_nCount == QUEUE_PIECES; }
    void Put(std::unique_ptr<CMemFile> pPiece) {
        m_apPieces[(m_nFirst + m_nCount) % QUEUE_PIECES] = std::move(pPiece);
        ++m_nCount;
        m_cvPiece.notify_one();
    }
    // The text ends after the pieces put (bAbandon: at once; what is coded is dropped).
    void End(bool bAbandon) {
        m_bEnded = true;
        m_bAbandoned = bAbandon;
        m_cvPiece.notify_one();
    }

private:
    std::mutex& m_m;
    std::condition_variable& m_cvSpace;
    std::condition_variable m_cvPiece;
    std::unique_ptr<CMemFile> m_apPieces[QUEUE_PIECES];
    std::unique_ptr<CMemFile> m_pTaken;
    uint32_t m_nFirst = 0;
    uint32_t m_nCount = 0;
    bool m_bEnded = false;
    bool m_bAbandoned = false;
};

// The record stream on its way from the LZARI thread to the in-order step: a
// ring of bytes. The decoder thread puts what it decodes, waiting while the
// ring is full; the in-order step pulls pieces in order (a piece stays its own
// until its next pull). Either side's wait ends when the other stops.
class CTextRing {
public:
    static constexpr uint32_t BYTES = 256 * 1024;
    CTextRing(std::mutex& m, std::condition_variable& cvStep) : m_m(m), m_cvStep(cvStep) {}

    bool Allocate() {
        m_pBuf.reset(new (std::nothrow) uint8_t[BYTES]);
        return m_pBuf != nullptr;
    }
    // Decoder thread: false once the reader has stopped.
    bool Put(const uint8_t* p, uint32_t n) {
        std::unique_lock lock(m_m);
        while (n > 0) {
            m_cvSpace.wait(lock, [this] { return m_bStop || m_qwWritten - m_qwRead < BYTES; });
            if (m_bStop) {
                return false;
            }
            const uint32_t nAt = static_cast<uint32_t>(m_qwWritten % BYTES);
            const uint32_t k =
                std::min({n, BYTES - static_cast<uint32_t>(m_qwWritten - m_qwRead), BYTES - nAt});
            // The reader takes only bytes below m_qwWritten: these are the writer's.
            lock.unlock();
            std::memcpy(m_pBuf.get() + nAt, p, k);
            lock.lock();
            m_qwWritten += k;
            p += k;
            n -= k;
            m_cvStep.notify_all();
        }
        return true;
    }
    void End(LzariResult r) {
        std::lock_guard lock(m_m);
        m_bEnded = true;
        m_result = r;
        m_cvStep.notify_all();
    }
    // In-order step: the next piece, as CRecordStream pulls it.
    LzariResult Pull(const uint8_t** ppPiece, uint32_t* pnPiece) {
        std::unique_lock lock(m_m);
        m_qwRead += m_nHanded;
        m_nHanded = 0;
        m_cvSpace.notify_all();
        m_cvStep.wait(lock, [this] { return m_qwWritten > m_qwRead || m_bEnded; });
        if (m_qwWritten == m_qwRead) {
            *pnPiece = 0;
            return m_result;
        }
        const uint32_t nAt = static_cast<uint32_t>(m_qwRead % BYTES);
        m_nHanded = static_cast<uint32_t>(std::min<uint64_t>(m_qwWritten - m_qwRead, BYTES - nAt));
        *ppPiece = m_pBuf.get() + nAt;
        *pnPiece = m_nHanded;
        return LzariResult::Ok;
    }
    void Stop() {
        std::lock_guard lock(m_m);
        m_bStop = true;
        m_cvSpace.notify_all();
    }

private:
    std::mutex& m_m;
    std::condition_variable& m_cvStep;
    std::condition_variable m_cvSpace;
    std::unique_ptr<uint8_t[]> m_pBuf;
    uint64_t m_qwWritten = 0;
    uint64_t m_qwRead = 0;
    uint32_t m_nHanded = 0;
    bool m_bEnded = false;
    bool m_bStop = false;
    LzariResult m_result = LzariResult::Ok;
};

}  // namespace

CCodecContext::EPipelineEnd CCodecContext::CompressPipelined(ILzariSink& cmpOut) {
    const uint32_t nWorkers = m_nThreads;
    SSlots slots;
    std::vector<int16_t> prev;
    try {
        prev.resize(F);
    } catch (const std::bad_alloc&) {
        return EPipelineEnd::NotStarted;
    }
    if (!slots.Allocate(nWorkers + SPARE_SLOTS, !m_pQcf)) {
        return EPipelineEnd::NotStarted;
    }
    int16_t* pPrev = prev.data();

    std::mutex m;
    std::condition_variable cvWork, cvStep;  // to the workers; to this thread
    CWorkers workers(m, cvWork, cvStep, slots);
    CRecordQueue queue(m, cvStep);
    bool bCoderEnded = false, bCoderOk = false;

    // Transform, scan and quantise: the frame's indices end up in pA.
    const bool bStarted = workers.Start(
        nWorkers,
        [this](SSlot& s) {
            WidenSamples(s.pRaw, s.pA, F);
            ForwardWaveletFrame(s.pA);
            ScanFrame(s.pA, s.pB);
            QuantiseFrame(*this, s.pB);
            std::swap(s.pA, s.pB);
        },
        SSlot::EState::Done);
    if (!bStarted) {
        return EPipelineEnd::NotStarted;
    }
    std::thread coder;
    try {
        coder = std::thread([&] {
            const bool bOk = m_lzari.LzariEncodeStream(queue, cmpOut);
            std::lock_guard lock(m);
            bCoderEnded = true;
            bCoderOk = bOk;
            cvStep.notify_all();
        });
    } catch (const std::system_error&) {
        workers.Stop();
        return EPipelineEnd::NotStarted;  // nothing was coded yet
    }

    // Loads free slots with the next frames, in frame order.
    uint32_t nLoaded = 0;
    auto load = [&] {
        for (; nLoaded < m_nFrames; ++nLoaded) {
            SSlot& s = slots.For(nLoaded);
            {
                std::lock_guard lock(m);
                if (s.state != SSlot::EState::Free) {
                    return true;
                }
            }
            if (m_pQcf) {
                s.pRaw = m_pQcf + size_t{nLoaded} * F;
            } else if (m_readFrame(nLoaded, s.pBytes)) {
                s.pRaw = s.pBytes;
            } else {
                return Fail(CodecError::ReadFailed);
            }
            {
                std::lock_guard lock(m);
                s.nFrame = nLoaded;
                s.state = SSlot::EState::Loaded;
            }
            cvWork.notify_one();
        }
        return true;
    };

    EPipelineEnd end = EPipelineEnd::Done;
    while (m_nFrame < m_nFrames) {
        if (!PublishProgress()) {
            end = EPipelineEnd::Cancelled;
            break;
        }
        if (!load()) {
            end = EPipelineEnd::Failed;
            break;
        }
        SSlot& s = slots.For(m_nFrame);
        {
            std::unique_lock lock(m);
            cvStep.wait(lock, [&] { return s.state == SSlot::EState::Done; });
        }
        auto pRecord = std::unique_ptr<CMemFile>(new (std::nothrow) CMemFile(RECORD_GROWTH));
        if (!pRecord) {
            Fail(CodecError::NoMemory);
            end = EPipelineEnd::Failed;
            break;
        }
        if (!WriteRecord(s.pA, pPrev, *pRecord)) {
            end = EPipelineEnd::Failed;
            break;
        }
        std::swap(s.pA, pPrev);  // this frame's decoder copy is the next one's reference
        std::unique_lock lock(m);
        s.state = SSlot::EState::Free;
        cvStep.wait(lock, [&] { return !queue.Full() || bCoderEnded; });
        if (bCoderEnded) {
            lock.unlock();
            Fail(OutputError());  // the coder stops early only when its output fails
            end = EPipelineEnd::Failed;
            break;
        }
        queue.Put(std::move(pRecord));
        lock.unlock();
        ++m_nFrame;
    }

    {
        std::lock_guard lock(m);
        queue.End(end != EPipelineEnd::Done);
    }
    workers.Stop();
    coder.join();
    if (end == EPipelineEnd::Done && !bCoderOk) {
        Fail(OutputError());
        end = EPipelineEnd::Failed;
    }
    return end;
}

CCodecContext::EPipelineEnd CCodecContext::DecompressPipelined() {
    const uint32_t nWorkers = m_nThreads;
    SSlots slots;
    if (!slots.Allocate(nWorkers + SPARE_SLOTS, !m_pQcf)) {
        return EPipelineEnd::NotStarted;
    }

    std::mutex m;
    std::condition_variable cvWork, cvStep;  // to the workers; to this thread
    CWorkers workers(m, cvWork, cvStep, slots);
    CTextRing ring(m, cvStep);
    if (!ring.Allocate()) {
        return EPipelineEnd::NotStarted;
    }
    const bool bSink = !m_pQcf;

    // Dequantise, unscan, inverse transform and clamp: one rebuilt frame, in
    // place in m_pQcf or in the slot for the sink.
    const bool bStarted = workers.Start(
        nWorkers,
        [this, bSink](SSlot& s) {
            DequantiseFrame(*this, s.pA, s.pB);
            UnscanFrame(s.pB, s.pA);
            InverseWaveletFrame(s.pA);
            ClampSamples(s.pA, bSink ? s.pBytes : m_pQcf + size_t{s.nFrame} * F, F);
        },
        bSink ? SSlot::EState::Done : SSlot::EState::Free);
    std::thread decoder;
    bool bDecoderStarted = false;
    if (bStarted) {
        try {
            decoder = std::thread([&] {
                LzariResult r = LzariResult::Ok;
                while (true) {
                    const uint8_t* p = nullptr;
                    uint32_t n = 0;
                    r = m_lzari.LzariStreamNext(&p, &n);
                    if (r != LzariResult::Ok || n == 0) {
                        break;
                    }
                    if (!ring.Put(p, n)) {
                        r = LzariResult::Stopped;
                        break;
                    }
                }
                ring.End(r);
            });
            bDecoderStarted = true;
        } catch (const std::system_error&) {
            workers.Stop();
        }
    }
    if (!bDecoderStarted) {
        return EPipelineEnd::NotStarted;
    }
    CRecordStream records([&ring](const uint8_t** pp, uint32_t* pn) { return ring.Pull(pp, pn); });
    m_pRecordsIn = &records;

    // Hands rebuilt frames to the sink in frame order, as far as they are done.
    uint32_t nWritten = 0;
    auto drain = [&] {
        while (bSink && nWritten < m_nFrame) {
            SSlot& s = slots.For(nWritten);
            {
                std::lock_guard lock(m);
                if (s.state != SSlot::EState::Done) {
                    return true;
                }
            }
            if (!m_writeFrame(nWritten, s.pBytes)) {
                return Fail(CodecError::WriteFailed);
            }
            std::lock_guard lock(m);
            s.state = SSlot::EState::Free;
            ++nWritten;
        }
        return true;
    };

    int16_t* pAcc = m_pCoef[1];
    EPipelineEnd end = EPipelineEnd::Done;
    while (m_nFrame < m_nFrames) {
        if (!PublishProgress()) {
            end = EPipelineEnd::Cancelled;
            break;
        }
        if (!ReadNextRecord(pAcc)) {
            end = EPipelineEnd::Failed;
            break;
        }
        // A worker rebuilds the frame from a copy of the accumulator.
        SSlot& s = slots.For(m_nFrame);
        while (true) {
            if (!drain()) {
                break;
            }
            std::unique_lock lock(m);
            if (s.state == SSlot::EState::Free) {
                break;
            }
            // The slot still holds an earlier frame: wait until it is free, or
            // until the next frame for the sink is done.
            cvStep.wait(lock, [&] {
                return s.state == SSlot::EState::Free ||
                       (bSink && slots.For(nWritten).state == SSlot::EState::Done);
            });
        }
        if (m_nError != CodecError::None) {
            end = EPipelineEnd::Failed;
            break;
        }
        std::memcpy(s.pA, pAcc, F * sizeof(int16_t));
        {
            std::lock_guard lock(m);
            s.nFrame = m_nFrame;
            s.state = SSlot::EState::Loaded;
        }
        cvWork.notify_one();
        ++m_nFrame;
    }
    // As in the plain run, a fault in the LZARI layer after the last record
    // is a failure too.
    if (end == EPipelineEnd::Done) {
        if (const LzariResult r = records.Finish(); r != LzariResult::Ok) {
            Fail(CodecErrorFromLzari(r));
            end = EPipelineEnd::Failed;
        }
    }

    // Frames handed out are finished (and written, unless the run failed).
    {
        std::unique_lock lock(m);
        cvStep.wait(lock, [&] { return !slots.AnyBusy(); });
    }
    if (end != EPipelineEnd::Failed && !drain()) {
        end = EPipelineEnd::Failed;
    }
    ring.Stop();
    workers.Stop();
    decoder.join();
    m_pRecordsIn = nullptr;
    return end;
}
