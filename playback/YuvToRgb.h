#pragma once
// True-colour pictures of QCIF frames, for exported pictures and the desktop's
// comparison view: BT.601 limited-range YUV (Y 16..235, U and V 16..240 around
// 128) to full-range 8-bit RGB. Both front ends use these, so a picture saved
// by tavro-cli export and a pane of the desktop show the same pixels.

#include <cstdint>

// One colour, the chroma already at the luma position.
void YuvToRgb(int nY, int nU, int nV, uint8_t* pRgb);

// Converts a 38016-byte 4:2:0 frame to 176 x 144 RGB (3 bytes a pixel, top row
// first). Chroma is upsampled with the usual 3/4, 1/4 weights for samples
// centred between the luma samples, clamped at the picture edges. Table-driven
// and thread-safe; the bytes are those of the per-pixel formula.
void QcifFrameToRgb(const uint8_t* pFrame, uint8_t* pRgb);
