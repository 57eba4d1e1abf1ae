#pragma once
// The codec context: parameters, buffers, counters, band table, LZARI coder and
// working buffers of one compression or decompression run. The processing
// dialog holds one for its run; the command line, the statistics and the tests
// fill one the same way, or call the front door (codec/CodecRun.h), which
// fills one for them.
//
// A run, from the caller's side:
//   1. Fill the inputs (below).
//   2. Call CompressRun() or DecompressRun() (Run() picks by m_bCompress),
//      directly or through a CCodecJob on a worker thread. The run claims
//      itself: it takes the progress cell m_pProgress for its length, sets up
//      its working buffers and builds the band table from the quantiser. To
//      cancel, another thread stores PROGRESS_CANCEL into the cell; the run
//      sees it before the next frame (the frame in progress is finished first).
//      A cell holding PROGRESS_CANCEL before the run starts cancels it at once.
//   3. Read the result: true means every frame was done; false means cancelled
//      (m_nError == CodecError::None) or failed (m_nError says why).
//
// Who frees what:
//   m_pQcf  always the caller's: the input of a compression, the caller-allocated
//           output (m_nFrames x 38016 bytes) of a decompression.
//   m_pCmp  decompression: the caller's input, never freed or changed by the run.
//           compression: the run's output (also after a cancel, when it is the
//           4-byte header alone, or nullptr after a failure). The context owns it
//           until TakeCmp() hands it over; the destructor frees an output not
//           taken. Do not free() m_pCmp yourself after a compression.
//           With m_pCmpSink set a compression leaves m_pCmp null: the stream
//           goes to the sink as it is coded.
//   Everything else (records, coefficient frames, in-memory files) lives only
//   inside a run: after it every working pointer below is null again.

#include <cstdint>
#include <functional>

#include "codec/ProgressCell.h"
#include "lzari/Lzari.h"

class CMemFile;
class CRecordStream;

constexpr uint32_t CODEC_MAX_FRAMES = 65535;  // the header's frame count is 16 bits
constexpr uint32_t BAND_COUNT = 33;
// Values in a coefficient frame (38016 signed 16-bit values, 76032 bytes).
constexpr uint32_t COEF_FRAME_VALUES = 38016;

enum class CodecError {
    None,            // no failure (a false result then means cancelled)
    BadParameters,   // frames outside 1..65535, threshold or quantiser 0, missing buffer
    NoMemory,        // an in-memory file or the decoded record stream could not grow
    NoRecordData,    // the compressed stream is only a header, or its data is empty
    ImpossibleSize,  // the stated record-stream length cannot belong to this many frames
    Truncated,       // the compressed stream ends before its stated length
    Corrupt,         // the LZARI layer does not decode
    MissingFrames,   // the record stream holds fewer frame records than frames
    BadRecord,       // a frame record does not expand to exactly its frame's size
    Busy,            // another run in this process is using the same progress cell
    NoThread,        // a worker thread could not be started
    ReadFailed,      // m_readFrame could not deliver a frame
    WriteFailed,     // m_writeFrame could not take a frame, or m_pCmpSink the stream
};

// One line for the user, e.g. "The compressed stream is truncated."
const char* CodecErrorText(CodecError nError);
// What a failure of the LZARI layer means for a decompression (None for Ok and
// for Stopped, which only a cancel causes).
CodecError CodecErrorFromLzari(LzariResult r);

// Longest record stream that m_nFrames frames can produce: the bound a
// decompression puts on the LZARI layer's stated length.
uint32_t MaxRecordStreamLength(uint32_t nFrames);
// Shortest record stream that m_nFrames frames can produce.
uint32_t MinRecordStreamLength(uint32_t nFrames);

// The checks a compressed stream must pass before anything is allocated for its
// nFrames frames: the header is there, the record-stream length it states can
// belong to that many frames, and the LZARI code is long enough to deliver it
// (a tiny file claiming 65535 frames is Truncated). CodecError::None when decoding may begin; the
// decompression run makes the same checks first.
CodecError CheckStreamLength(const uint8_t* pCmp, uint32_t nCmpLength, uint32_t nFrames);

// A rebuilt coefficient as an 8-bit sample: below 0 gives 0, above 255 gives 255.
inline uint8_t ClampSample(int16_t v) {
    return v < 0 ? 0 : v > 255 ? 255 : static_cast<uint8_t>(v);
}

class CCodecContext {
public:
    CCodecContext() = default;
    ~CCodecContext();
    CCodecContext(const CCodecContext&) = delete;
    CCodecContext& operator=(const CCodecContext&) = delete;

    // Compression: codes the first m_nFrames frames of m_pQcf into m_pCmp.
    bool CompressRun();
    // Decompression: rebuilds m_nFrames frames from m_pCmp into m_pQcf.
    bool DecompressRun();
    // The run m_bCompress names.
    bool Run() { return m_bCompress ? CompressRun() : DecompressRun(); }

    // Per-frame steps, called by the runs with the working buffers set up: code
    // or rebuild frame m_nFrame. False on failure (m_nError set).
    bool CodeFrame();
    bool DecodeFrame();

    // Hands a compression's output buffer (m_pCmp) to the caller, who frees it
    // with free(); clears m_pCmp and m_nCmpLength.
    uint8_t* TakeCmp();

    // Inputs (types and ranges of the compressed stream's header).
    bool m_bCompress = true;    // true: compression run, false: decompression
    uint32_t m_nFrames = 1;     // 1..65535 frames to code or rebuild
    uint8_t m_byThreshold = 1;  // 1..255, widens the dead zone
    uint8_t m_byQuantiser = 1;  // 1..255, sets the step sizes
    uint8_t* m_pQcf = nullptr;  // raw frames (see ownership above), or null with:
    // Frames that are not held whole in m_pQcf (a command line streaming a
    // file): a compression reads frame n through m_readFrame into a buffer of
    // 38016 bytes, frames in order; a decompression hands every rebuilt frame
    // to m_writeFrame, frames in order. False from either fails the run with
    // ReadFailed or WriteFailed.
    std::function<bool(uint32_t nFrame, uint8_t* pFrame)> m_readFrame;
    std::function<bool(uint32_t nFrame, const uint8_t* pFrame)> m_writeFrame;
    // Threads that transform frames. 1 runs the whole run on the calling
    // thread. More run it as a pipeline: that many threads transform frames,
    // the LZARI layer has a thread of its own, and the in-order step (the frame
    // differences and records, progress and cancel) stays on the calling
    // thread. The bytes are the same for every count.
    uint32_t m_nThreads = 1;
    uint8_t* m_pCmp = nullptr;  // compressed stream, header included
    uint32_t m_nCmpLength = 0;  // bytes in m_pCmp (or given to m_pCmpSink)
    // A decompression whose stream is not held whole (a command line reading a
    // file) leaves m_pCmp null and reads the stream after its 4-byte header
    // from here, as the LZARI layer asks for it; m_nCmpLength is then the
    // whole stream's length, header included, which the stated record-stream
    // length is checked against before anything is allocated for it.
    ILzariCodeSource* m_pCmpSource = nullptr;
    // Compression into a sink instead of m_pCmp (a command line writing a
    // file): the header, then the LZARI layer as it is coded, so neither the
    // compressed nor the record stream is held whole. After a cancel or a
    // failure the sink holds part of a stream, which the caller discards.
    ILzariSink* m_pCmpSink = nullptr;

    // Working members of a run.
    // The record stream's stated length (the plain text of the LZARI layer).
    uint32_t m_nRecordsLength = 0;
    uint16_t m_nFrame = 0;           // frame being coded or rebuilt; ends at m_nFrames
    bool m_bFirstFrameDone = false;  // set once the first (16-bit) record is written or read
    uint16_t m_nBandStart[BAND_COUNT + 1] = {};  // filled by BuildBandTable
    uint16_t m_nBandStep[BAND_COUNT] = {};
    CLzariCoder m_lzari;  // state of the LZARI layer, one coder per run

    // The run's working buffers, set up and released by its CRunLease (null
    // outside a run). Compression: m_pCoef[m_bCurrent] and m_pCoef[1 -
    // m_bCurrent] are the current and previous frame. Decompression: entry 1 is
    // the accumulator, 0 the work frame. Entry 2 is always the scratch target of
    // the scan and unscan.
    int16_t* m_pCoef[3] = {nullptr, nullptr, nullptr};
    uint8_t m_bCurrent = 0;
    CMemFile* m_pRecordsOut = nullptr;      // compression: the frame records
    CRecordStream* m_pRecordsIn = nullptr;  // decompression: the records as they are decoded

    // The progress cell this run publishes to and takes cancel requests from:
    // the shared g_nProgress unless UseOwnProgressCell() gave the context a cell
    // of its own (so that runs on other threads neither see nor disturb it).
    CProgressCell* m_pProgress = &g_nProgress;
    void UseOwnProgressCell() { m_pProgress = &m_nOwnProgress; }

    // Why the last run failed; None after success or a cancel.
    CodecError m_nError = CodecError::None;

    // Test and instrumentation hook, called on the worker thread before every
    // frame: ProgressRead right after the cell was read (and found not to be a
    // cancel request), FrameBegun after the new percentage was published and
    // before the frame is processed.
    enum class FrameEvent { ProgressRead, FrameBegun };
    std::function<void(FrameEvent, uint16_t nFrame)> m_onFrameEvent;

private:
    friend class CRunLease;
    friend class CFrameDecoder;
    // Before frame m_nFrame: false when a cancel request is pending (or arrives
    // while the new percentage is being published).
    bool PublishProgress();
    bool Fail(CodecError nError);
    // The in-order part of coding a frame: pCur holds its quantised indices,
    // pPrev the decoder's copy of the previous frame (unused for the first
    // frame). Appends the frame's record to `records`; pCur becomes the
    // decoder's copy of this frame.
    bool WriteRecord(int16_t* pCur, const int16_t* pPrev, CMemFile& records);
    // The in-order part of rebuilding a frame: reads its record from `records`
    // and adds it to the accumulator pAcc (the first record sets it).
    bool ReadRecord(CMemFile& records, int16_t* pAcc);
    // ReadRecord on the next record of m_pRecordsIn. A fault in the LZARI
    // layer is the reason of a failure, whatever the record showed: the rest
    // of the text is decoded to find it.
    bool ReadNextRecord(int16_t* pAcc);
    // The stream's LZARI decoding begun on its length field, with the checks a
    // stream makes before anything is allocated for its record stream.
    bool BeginRecords(ILzariCodeSource& source);
    // The pipelined runs (m_nThreads > 1), set up like the plain ones. The
    // compression appends the LZARI layer to cmpOut, after its header.
    enum class EPipelineEnd { Done, Cancelled, Failed, NotStarted };
    EPipelineEnd CompressPipelined(ILzariSink& cmpOut);
    // The compression on this thread. Into a sink, frames are coded as the
    // LZARI encoder asks for its text, so no stream is held whole; into
    // memory, the records are made first and then coded in one pass.
    EPipelineEnd CompressInline(ILzariSink& cmpOut);
    // Why a compression stops when the LZARI encoder gives up: its output
    // could not take the bytes.
    CodecError OutputError() const {
        return m_pCmpSink ? CodecError::WriteFailed : CodecError::NoMemory;
    }
    EPipelineEnd DecompressPipelined();

    bool m_bCmpOwned = false;          // m_pCmp is a compression output not yet taken
    uint8_t* m_pFrameBytes = nullptr;  // byte image of one record's expansion (also a
                                       // streamed raw frame), per run
    CProgressCell m_nOwnProgress{0};
};
