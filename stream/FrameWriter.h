#pragma once
// Raw QCIF streams written one frame at a time into an output the caller has
// opened (and later commits) with CSafeFileWriter:
//   raw  .qcf or .yuv (frames back to back, no header), or "-" (stdout)
//   y4m  .y4m: a YUV4MPEG2 header with the frame rate, then "FRAME" and the
//        frame's bytes for each frame
// Memory stays at one frame whatever the clip's length; what reaches the
// target, and when, is the writer's business (see SafeFileWriter.h).

#include <cstdint>
#include <string>

#include "io/SafeFileWriter.h"

enum class EFrameFormat { Raw, Y4m, Unknown };
// By name: "-", .qcf (the last three letters in any case) and .yuv are raw,
// .y4m is YUV4MPEG2, anything else Unknown.
EFrameFormat FrameFormatOf(const std::string& strPath);

class CFrameWriter {
public:
    // Starts a stream in format on out (open); a .y4m states nRateNum:nRateDen
    // frames per second. False with GetError() when out cannot be written.
    bool Begin(CSafeFileWriter& out, EFrameFormat format, uint32_t nRateNum = 25,
               uint32_t nRateDen = 1);
    // Appends one 38016-byte frame.
    bool Write(const uint8_t* pFrame);

    uint64_t Frames() const { return m_nFrames; }
    const std::string& GetError() const { return m_strError; }

private:
    bool Put(const void* pData, uint64_t nCount);
    CSafeFileWriter* m_pOut = nullptr;
    EFrameFormat m_format = EFrameFormat::Unknown;
    uint64_t m_nFrames = 0;
    std::string m_strError;
};
