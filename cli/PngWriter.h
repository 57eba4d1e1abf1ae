#pragma once
// Picture files for the command line's exports, encoded into memory so that a
// file can be written safely in one step: PNG through libpng, and binary
// PPM/PGM (netpbm) for tools that want no decoder.

#include <cstdint>
#include <string>
#include <vector>

// Encodes an 8-bit image, rows top first, nChannels bytes a pixel (1 grey, 3
// RGB), as a PNG file image.
bool EncodePng(uint32_t nWidth, uint32_t nHeight, uint32_t nChannels, const uint8_t* pPixels,
               std::vector<uint8_t>& out, std::string* pError);

// The same image as binary PPM (3 channels, "P6") or PGM (1 channel, "P5").
std::vector<uint8_t> EncodePnm(uint32_t nWidth, uint32_t nHeight, uint32_t nChannels,
                               const uint8_t* pPixels);
