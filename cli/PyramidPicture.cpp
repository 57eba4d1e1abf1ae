#include "cli/PyramidPicture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "io/QcifFormat.h"

namespace {

// A subband rectangle within a plane; bLowPass for the coarsest LL band.
struct SRect {
    uint32_t x, y, w, h;
    bool bLowPass;
};

std::vector<SRect> PlaneSubbands(uint32_t nWidth, uint32_t nHeight, uint32_t nLevels) {
    std::vector<SRect> rects;
    rects.push_back({0, 0, nWidth >> nLevels, nHeight >> nLevels, true});
    for (uint32_t l = 1; l <= nLevels; ++l) {
        const uint32_t hw = (nWidth >> (l - 1)) / 2;
        const uint32_t hh = (nHeight >> (l - 1)) / 2;
        rects.push_back({hw, 0, hw, hh, false});
        rects.push_back({0, hh, hw, hh, false});
        rects.push_back({hw, hh, hw, hh, false});
    }
    return rects;
}

}  // namespace

SGreyImage RenderPyramid(const int16_t* pPyramid, uint32_t nZoom) {
    nZoom = std::clamp(nZoom, 1u, 8u);
    SGreyImage image;
    image.nWidth = 176 * nZoom;
    image.nHeight = 216 * nZoom;
    image.pixels.assign(size_t(image.nWidth) * image.nHeight, 0);

    struct SPlane {
        uint32_t nStart, nWidth, nHeight, nLevels, nLeft, nTop;
    };
    const SPlane planes[3] = {{0, 176, 144, 4, 0, 0},
                              {QCIF_U_OFFSET, 88, 72, 3, 0, 144},
                              {QCIF_V_OFFSET, 88, 72, 3, 88, 144}};
    for (const SPlane& plane : planes) {
        for (const SRect& rect : PlaneSubbands(plane.nWidth, plane.nHeight, plane.nLevels)) {
            auto at = [&](uint32_t x, uint32_t y) {
                return int32_t(pPyramid[plane.nStart + (rect.y + y) * plane.nWidth + rect.x + x]);
            };
            int32_t nLo = at(0, 0), nHi = nLo, nMag = 0;
            for (uint32_t y = 0; y < rect.h; ++y) {
                for (uint32_t x = 0; x < rect.w; ++x) {
                    nLo = std::min(nLo, at(x, y));
                    nHi = std::max(nHi, at(x, y));
                    nMag = std::max(nMag, std::abs(at(x, y)));
                }
            }
            for (uint32_t y = 0; y < rect.h; ++y) {
                for (uint32_t x = 0; x < rect.w; ++x) {
                    int32_t v;
                    if (rect.bLowPass) {
                        v = nHi > nLo ? (at(x, y) - nLo) * 255 / (nHi - nLo) : 128;
                    } else {
                        v = nMag ? 128 + at(x, y) * 127 / nMag : 128;
                    }
                    const uint32_t px = (plane.nLeft + rect.x + x) * nZoom;
                    const uint32_t py = (plane.nTop + rect.y + y) * nZoom;
                    for (uint32_t dy = 0; dy < nZoom; ++dy) {
                        uint8_t* pRow = &image.pixels[size_t(py + dy) * image.nWidth + px];
                        std::fill(pRow, pRow + nZoom, static_cast<uint8_t>(v));
                    }
                }
            }
            // Border along the top and the left edge of the subband.
            const uint32_t px = (plane.nLeft + rect.x) * nZoom;
            const uint32_t py = (plane.nTop + rect.y) * nZoom;
            for (uint32_t x = 0; x < rect.w * nZoom; ++x) {
                image.pixels[size_t(py) * image.nWidth + px + x] = 255;
            }
            for (uint32_t y = 0; y < rect.h * nZoom; ++y) {
                image.pixels[size_t(py + y) * image.nWidth + px] = 255;
            }
        }
    }
    return image;
}

std::vector<uint8_t> EncodePgm(const SGreyImage& image) {
    char szHeader[64];
    const int n =
        std::snprintf(szHeader, sizeof szHeader, "P5\n%u %u\n255\n", image.nWidth, image.nHeight);
    std::vector<uint8_t> bytes(szHeader, szHeader + n);
    bytes.insert(bytes.end(), image.pixels.begin(), image.pixels.end());
    return bytes;
}
