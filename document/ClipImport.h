#pragma once
// File > Import Video...: reads a clip of any kind the stream readers take (any
// video or image sequence FFmpeg's libraries read, a .y4m, a raw .yuv or .qcf)
// into the document's raw stream, as if a .qcf file of its frames had been
// opened (state 'i'), titled by the source's file name. A .y4m that is not
// QCIF 4:2:0 8-bit goes through FFmpeg like any other video, and so comes out
// scaled to 176x144 4:2:0 (VIDEO_SCALER).
//
// Threads: Open and Deliver run on the user-interface thread, Run on a worker
// thread; while Run works, FramesRead() and RequestCancel() may be called from
// any thread, everything else only once Run has returned.
//
// Outcomes: a cancelled or failed import leaves the document as it was; only
// Deliver changes it. At most CODEC_MAX_FRAMES frames are read (the most a
// compressed stream can hold); Truncated() tells that the clip held more.
// Memory: the frames grow in one malloc'd block which Deliver trims and hands
// to the document; the document's old stream is freed at that moment, not
// before (a failed import must keep it).

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class CTavroDoc;
class IFrameSource;

class CClipImport {
public:
    CClipImport();
    ~CClipImport();  // frees frames not delivered
    CClipImport(const CClipImport&) = delete;
    CClipImport& operator=(const CClipImport&) = delete;

    // Opens the clip; false with *pError, a sentence for an "Error" box, when
    // it cannot be read, is a compressed stream (File > Open takes those) or
    // is not what its name says.
    bool Open(const std::string& strPath, std::string* pError);
    // The frames the clip is expected to hold, for a progress bar: exact for
    // raw streams, estimated from the file's length for a .y4m and from the
    // container for a video; 0 when unknown. Never above CODEC_MAX_FRAMES.
    uint64_t ExpectedFrames() const { return m_nExpected; }
    // The source's file name without its folder.
    const std::string& FileName() const { return m_strName; }

    // Reads the frames. True when at least one whole frame was read and the
    // clip was read to its end or to the cap. False when cancelled (GetError()
    // empty) or failed: unreadable or damaged input, no whole frame, no memory
    // (GetError() says why). Call once, after a successful Open.
    bool Run();
    // Asks Run to stop before its next frame.
    void RequestCancel() { m_bCancel = true; }
    uint64_t FramesRead() const { return m_nFrames.load(); }
    bool Truncated() const { return m_bTruncated; }
    const std::string& GetError() const { return m_strError; }

    // After a successful Run, unless a cancel was requested: the document's contents are replaced
    // by the frames (state 'i', not modified, path and title those of the source) and the views are
    // asked to redraw. False, document unchanged, otherwise.
    bool Deliver(CTavroDoc& doc);

private:
    bool Failed(const std::string& strWhy);

    std::unique_ptr<IFrameSource> m_pSource;
    std::string m_strPath;
    std::string m_strName;
    uint64_t m_nExpected = 0;
    uint8_t* m_pFrames = nullptr;  // malloc'd, m_nCapacity frames
    uint64_t m_nCapacity = 0;
    std::atomic<uint64_t> m_nFrames{0};
    std::atomic<bool> m_bCancel{false};
    bool m_bDone = false;
    bool m_bTruncated = false;
    std::string m_strError;
};

// A reader's message as a sentence for a message box: capital first letter,
// final full stop.
std::string AsSentence(std::string strText);
