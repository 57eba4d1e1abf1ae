#pragma once
// Any video (or image sequence) FFmpeg's libraries can read, as QCIF frames:
// the first video stream is decoded, every decoded frame is converted to
// 176x144 4:2:0 8-bit with libswscale's bicubic scaler (the picture is
// stretched, not cropped), in decoding order with no frame dropped or
// repeated. For a clip at a constant frame rate the frames are byte for byte
// those of
//   ffmpeg -i IN -vf scale=176:144:flags=bicubic -pix_fmt yuv420p -f rawvideo OUT
// (ffmpeg itself may repeat or drop frames of a variable-rate clip, and turns
// pictures by their rotation tag; neither happens here).
//
// Built without FFmpeg (CMake option TAVRO_WITH_FFMPEG=OFF), opening fails
// with a message naming the ffmpeg command that converts the file instead.

#include <cstdint>
#include <memory>
#include <string>

#include "stream/FrameSource.h"

// The scaler, in ffmpeg's words (its -vf scale=...:flags= value).
constexpr const char* VIDEO_SCALER = "bicubic";

// True when this build reads video through FFmpeg's libraries.
bool VideoImportAvailable();

// What a video file holds, from its container (nothing decoded).
struct SVideoInfo {
    std::string strContainer;  // e.g. "mov,mp4,m4a,3gp,3g2,mj2"
    std::string strCodec;      // e.g. "h264"
    std::string strPixelFormat;
    uint32_t nWidth = 0, nHeight = 0;
    uint32_t nRateNum = 0, nRateDen = 1;  // average frame rate; 0 when unknown
    double dSeconds = 0;                  // duration; 0 when unknown
    uint64_t nFrames = 0;                 // frame count the container states; 0 when unknown
};

bool ProbeVideo(const std::string& strPath, SVideoInfo& info, std::string* pError);

std::unique_ptr<IFrameSource> OpenVideoSource(const std::string& strPath, std::string* pError);
