#pragma once
// PNG encoding through libpng, into memory so that the file can be written
// safely in one step.

#include <cstdint>
#include <string>
#include <vector>

// Encodes an 8-bit RGB image (rows top first, 3 bytes a pixel) as a PNG file image.
bool EncodePngRgb(uint32_t nWidth, uint32_t nHeight, const uint8_t* pRgb, std::vector<uint8_t>& out,
                  std::string* pError);
