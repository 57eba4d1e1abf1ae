#pragma once
// Pictures of a frame's wavelet pyramid for `tavro-cli dump --stage pyramid`.

#include <cstdint>
#include <vector>

// An 8-bit grey picture.
struct SGreyImage {
    uint32_t nWidth = 0;
    uint32_t nHeight = 0;
    std::vector<uint8_t> pixels;  // row by row, top row first
};

// The pyramid laid out like the frame (Y on top, U and V side by side below),
// enlarged nZoom times (1..8), every subband scaled on its own so that weak
// detail bands stay visible: low-pass bands from their minimum (black) to
// their maximum (white), detail bands around mid grey with the band's largest
// magnitude at black or white. A one-pixel white line is drawn along the top
// and left edges of every subband (nZoom >= 2 keeps every coefficient visible).
SGreyImage RenderPyramid(const int16_t* pPyramid, uint32_t nZoom);

// Binary PGM (P5) file bytes of an image.
std::vector<uint8_t> EncodePgm(const SGreyImage& image);
