#pragma once
// The two stream formats in one place: the geometry of a raw QCIF frame
// (planar Y, U, V; 4:2:0), the 4-byte header of a compressed stream, the file
// type a name stands for, and the compression ratios users are shown.

#include <cstdint>
#include <string>

constexpr uint32_t QCIF_WIDTH = 176;
constexpr uint32_t QCIF_HEIGHT = 144;
constexpr uint32_t QCIF_CHROMA_WIDTH = 88;
constexpr uint32_t QCIF_CHROMA_HEIGHT = 72;
constexpr uint32_t QCIF_Y_BYTES = QCIF_WIDTH * QCIF_HEIGHT;                     // 25344
constexpr uint32_t QCIF_CHROMA_BYTES = QCIF_CHROMA_WIDTH * QCIF_CHROMA_HEIGHT;  // 6336
constexpr uint32_t QCIF_U_OFFSET = QCIF_Y_BYTES;                                // 25344
constexpr uint32_t QCIF_V_OFFSET = QCIF_U_OFFSET + QCIF_CHROMA_BYTES;           // 31680
constexpr uint32_t QCIF_FRAME_BYTES = QCIF_V_OFFSET + QCIF_CHROMA_BYTES;        // 38016
// An RGB frame as the desktop summary counts it: 176 x 144 pixels at 3 bytes.
constexpr uint32_t RGB_FRAME_BYTES = 3 * QCIF_Y_BYTES;  // 76032

// Compressed stream: frame count (16 bits, little-endian), threshold, quantiser.
constexpr uint32_t CMP_HEADER_BYTES = 4;

struct SCmpHeader {
    uint32_t nFrames = 0;  // 0..65535
    uint8_t byThreshold = 0;
    uint8_t byQuantiser = 0;
};

// Reads the header at the start of pData. False when nLength is shorter than
// the header. No value is checked: a frame count of 0 or a zero threshold is
// returned as it stands, for the caller to judge.
bool ReadCmpHeader(const uint8_t* pData, uint64_t nLength, SCmpHeader& header);
// Writes the header's 4 bytes; the frame count is taken to its low 16 bits.
void WriteCmpHeader(const SCmpHeader& header, uint8_t* pOut);

// A stream file's type, decided as the document decides it: by the last three
// letters of the name in any letter case ("clip.QcF" is raw, "x.cmp" compressed).
enum class EStreamType { Qcf, Cmp, Unknown };
EStreamType StreamTypeOf(const std::string& strPath);

// The desktop summary's ratio: the frames as 24-bit RGB (frames x 76032) over
// the whole compressed length, header included; 0 for an empty stream.
double RgbCompressionRatio(uint64_t nFrames, uint64_t nCmpBytes);
