#pragma once
// Clips read one QCIF frame (38016 bytes) at a time, whatever holds them:
//   raw       a .qcf or .yuv file (the same bytes: frames back to back), or "-"
//             for standard input; bytes after the last whole frame are dropped
//             and counted (TrailingBytes)
//   y4m       a YUV4MPEG2 file of 176x144 4:2:0 8-bit frames; anything else is
//             refused with the ffmpeg command that converts it
//   video     any other name, when built with FFmpeg: see VideoSource.h
// (Compressed streams are decoded by a source above the codec.)
//
// A source holds a frame or two at most, however long the clip, and treats its
// input as hostile: a short read ends the clip, a malformed one fails with a
// reason; nothing is read past a buffer. Sources are not thread-safe.

#include <cstdint>
#include <memory>
#include <string>

enum class EFrameRead {
    Frame,   // the next frame was written to the caller's buffer
    End,     // the clip has no further whole frame
    Failed,  // reading failed: GetError() says why (input, position, reason)
};

class IFrameSource {
public:
    virtual ~IFrameSource() = default;

    // Reads the next frame into pFrame (QCIF_FRAME_BYTES bytes).
    virtual EFrameRead Read(uint8_t* pFrame) = 0;
    // Passes over nFrames frames (cheaply where the input can seek). End when
    // the clip ends before, Failed with GetError() set.
    virtual EFrameRead Skip(uint64_t nFrames);
    // Frames from the current position to the end when the source knows them
    // before reading (a raw or compressed file); 0 when unknown.
    virtual uint64_t FramesLeftHint() const { return 0; }
    // Bytes after the last whole frame, dropped; known once Read returned End.
    virtual uint64_t TrailingBytes() const { return 0; }
    // The clip's frame rate when it states one (y4m, video); false otherwise.
    virtual bool FrameRate(uint32_t& nNum, uint32_t& nDen) const;
    // What the input is, for messages: "raw QCIF stream", "YUV4MPEG2 stream"...
    virtual std::string Describe() const = 0;

    const std::string& GetError() const { return m_strError; }

protected:
    EFrameRead Fail(const std::string& strWhy);
    std::string m_strError;
};

// The kind of clip a name stands for: "-" and .qcf/.yuv are raw (a .qcf by the
// last three letters in any case, as the document types it), .y4m is
// YUV4MPEG2, .cmp compressed, anything else is left to FFmpeg.
enum class EClipKind { Raw, Y4m, Compressed, Video };
EClipKind ClipKindOf(const std::string& strPath);

// Opens a raw, y4m or video clip by its name ("-" is standard input). nullptr
// with *pError set when it cannot be opened, is not what its name says, or is a
// compressed stream (not decoded at this floor).
std::unique_ptr<IFrameSource> OpenFrameSource(const std::string& strPath, std::string* pError);

// Frames nFirst .. nFirst + nCount - 1 (1-based) of a source; nCount 0 means
// to the end. Frames before nFirst are skipped at the first read.
std::unique_ptr<IFrameSource> LimitFrames(std::unique_ptr<IFrameSource> pSource, uint64_t nFirst,
                                          uint64_t nCount);
