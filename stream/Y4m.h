#pragma once
// YUV4MPEG2 (.y4m) streams as other video tools write and read them: a text
// header line "YUV4MPEG2 W176 H144 F25:1 Ip A0:0 C420jpeg", then per frame a
// line starting "FRAME" followed by the planar Y, U, V samples. Only QCIF 4:2:0
// with 8-bit samples maps onto raw QCIF frames; anything else is described and
// refused.
//
// Readers treat their input as hostile: lengths are checked before any copy.

#include <cstdint>
#include <string>
#include <vector>

struct SY4mHeader {
    uint32_t nWidth = 0;
    uint32_t nHeight = 0;
    uint32_t nRateNum = 25;  // frame rate numerator (F), 25:1 when absent
    uint32_t nRateDen = 1;
    char cInterlace = 'p';              // I: p, t, b or m ('?' when absent)
    std::string strColour = "420jpeg";  // C, "420jpeg" when absent
    uint32_t nHeaderBytes = 0;          // the header line with its newline
};

// Parses the header line at the start of data. False with *pError saying what
// is wrong when it is not a YUV4MPEG2 header or a field is malformed.
bool ParseY4mHeader(const uint8_t* pData, size_t nLength, SY4mHeader& header, std::string* pError);

// True when the stream's frames are raw QCIF frames: 176 x 144, 4:2:0 with
// 8-bit samples (C420jpeg, C420paldv, C420mpeg2, C420p or C420). Otherwise *pError
// says what the stream is and how to make a QCIF one with ffmpeg.
bool IsQcifY4m(const SY4mHeader& header, std::string* pError);

// Reads a whole .y4m file's bytes into raw QCIF frames (appended to qcf).
// False with *pError set when the header is bad, the stream is not QCIF 4:2:0
// 8-bit, or a frame line is malformed. A stream that ends inside its last
// frame (a copy cut short) gives the whole frames before it, and the bytes of
// the partial frame, its FRAME line included, in *pnDropped; without
// pnDropped it fails, the whole frames kept in qcf.
bool ReadY4mFrames(const uint8_t* pData, size_t nLength, SY4mHeader& header,
                   std::vector<uint8_t>& qcf, std::string* pError, size_t* pnDropped = nullptr);

// The header line (with its newline) of a QCIF 4:2:0 stream at nRateNum:nRateDen
// frames per second.
std::string Y4mQcifHeader(uint32_t nRateNum = 25, uint32_t nRateDen = 1);

// Appends a complete .y4m stream of the nFrames raw QCIF frames at pQcf to out.
void AppendY4mStream(const uint8_t* pQcf, uint32_t nFrames, std::vector<uint8_t>& out,
                     uint32_t nRateNum = 25, uint32_t nRateDen = 1);
