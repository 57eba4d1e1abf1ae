#pragma once
// File > Import Video...: reads a clip of any kind the stream readers take (any
// video FFmpeg's libraries read, a .y4m, a raw .yuv or .qcf) into the
// document's raw stream, as if a .qcf file of its frames had been opened
// (state 'i'), titled by the source's file name.
//
// The reading runs on a worker thread (Run) while the user-interface thread
// shows FramesRead() against ExpectedFrames() and may RequestCancel(); Deliver
// then hands the frames to the document on the user-interface thread. A
// cancelled or failed import leaves the document as it was. At most
// CODEC_MAX_FRAMES frames are read (the most a compression takes); Truncated()
// tells that the clip held more.

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

    // Opens the clip; false with *pError saying why (for an "Error" box).
    bool Open(const std::string& strPath, std::string* pError);
    // The frames the clip is expected to hold, for a progress bar; 0 when unknown.
    uint64_t ExpectedFrames() const { return m_nExpected; }

    // Reads the frames (worker thread). True when the clip was read to its end
    // (or to the cap); false when cancelled or failed (GetError() then says why,
    // empty for a cancel).
    bool Run();
    // Asks Run to stop before its next frame; safe from any thread.
    void RequestCancel() { m_bCancel = true; }
    uint64_t FramesRead() const { return m_nFrames.load(); }
    bool Truncated() const { return m_bTruncated; }
    const std::string& GetError() const { return m_strError; }

    // After a successful Run with at least one frame: the document's contents
    // are replaced by the frames (state 'i', not modified, titled and named by
    // the source). False (document unchanged) when there is nothing to deliver.
    bool Deliver(CTavroDoc& doc);

private:
    std::unique_ptr<IFrameSource> m_pSource;
    std::string m_strPath;
    uint64_t m_nExpected = 0;
    uint8_t* m_pFrames = nullptr;  // malloc'd, m_nCapacity frames
    uint64_t m_nCapacity = 0;
    std::atomic<uint64_t> m_nFrames{0};
    std::atomic<bool> m_bCancel{false};
    bool m_bDone = false;
    bool m_bTruncated = false;
    std::string m_strError;
};
