#include "playback/DitherDisplay.h"

#include <cstdlib>
#include <cstring>

#include "io/Prompts.h"

namespace {

// 4 x 4 ordered-dither thresholds: [row mod 4][column mod 4].
constexpr uint8_t kDither[4][4] = {
    {0, 8, 2, 10},
    {12, 4, 14, 6},
    {3, 11, 1, 9},
    {15, 7, 13, 5},
};

constexpr int kClipOrigin = 384;
constexpr int kClipBytes = 1024;
constexpr int kChromaHalf = 144;

void PutLE16(uint8_t* p, uint32_t n) {
    p[0] = uint8_t(n);
    p[1] = uint8_t(n >> 8);
}

void PutLE32(uint8_t* p, uint32_t n) {
    PutLE16(p, n);
    PutLE16(p + 2, n >> 16);
}

}  // namespace

CDitherDisplay::CDitherDisplay(IPaletteDevice* pDevice) : m_pDevice(pDevice) {}

CDitherDisplay::~CDitherDisplay() {
    ReleaseDisplay();
}

void CDitherDisplay::ShowFatalError(const char* pszText) {
    Prompts().MessageBox(pszText, "Error");
    Prompts().EndProcess(1);
}

bool CDitherDisplay::BuildClipTable() {
    m_byWidth = 176;
    m_byHeight = 144;
    m_byChromaWidth = 88;
    m_byChromaHeight = 72;
    std::free(m_pClipBlock);
    m_pClipBlock = static_cast<uint8_t*>(std::malloc(kClipBytes));
    if (!m_pClipBlock) {
        m_pClip = nullptr;
        ShowFatalError("malloc failed\n");
        return false;
    }
    m_pClip = m_pClipBlock + kClipOrigin;
    for (int i = -kClipOrigin; i < kClipBytes - kClipOrigin; ++i) {
        m_pClip[i] = uint8_t(i < 0 ? 0 : i > 255 ? 255 : i);
    }
    return true;
}

bool CDitherDisplay::BuildDitherTables(int nBitsPerPixel) {
    if (nBitsPerPixel != 8) {
        ShowFatalError("unsuported dither type");
        return false;
    }
    std::free(m_pImage);
    m_pImage = static_cast<uint8_t*>(
        std::malloc(size_t(m_byWidth) * size_t(nBitsPerPixel / 8) * m_byHeight));
    if (!m_pImage) {
        ShowFatalError("malloc failed");
        return false;
    }
    for (int x = -8; x <= 263; ++x) {
        int nLevel = x >> 4;
        nLevel = nLevel < 1 ? 1 : nLevel > 14 ? 14 : nLevel;
        m_abyLuma[size_t(x + 8)] = uint8_t(nLevel * 16);
    }
    for (int j = 0; j < kChromaHalf; ++j) {
        int nLevel = (j - 40) >> 4;
        nLevel = nLevel < 0 ? 0 : nLevel > 3 ? 3 : nLevel;
        m_abyChroma[size_t(j)] = uint8_t(nLevel * 4);
        m_abyChroma[size_t(kChromaHalf + j)] = uint8_t(nLevel);
    }
    for (int i = 0; i < 256; ++i) {
        m_abyPixelMap[size_t(i)] = uint8_t(i);
    }
    return true;
}

bool CDitherDisplay::BuildBitmapInfo() {
    std::free(m_pBitmapInfo);
    m_pBitmapInfo = static_cast<uint8_t*>(std::calloc(1, BITMAP_INFO_BYTES));
    if (!m_pBitmapInfo) {
        ShowFatalError("malloc failed");
        return false;
    }
    uint8_t* p = m_pBitmapInfo;
    PutLE32(p + 0, BITMAP_HEADER_BYTES);  // biSize
    PutLE32(p + 4, m_byWidth);            // biWidth
    PutLE32(p + 8, m_byHeight);           // biHeight > 0: bottom-up rows
    PutLE16(p + 12, 1);                   // biPlanes
    PutLE16(p + 14, 8);                   // biBitCount
    PutLE32(p + 16, 0);                   // biCompression = BI_RGB
    PutLE32(p + 20, 0);                   // biSizeImage
    PutLE32(p + 24, 0);                   // biXPelsPerMeter
    PutLE32(p + 28, 0);                   // biYPelsPerMeter
    PutLE32(p + 32, PALETTE_ENTRIES);     // biClrUsed
    PutLE32(p + 36, PALETTE_ENTRIES);     // biClrImportant
    BuildPalette();
    return true;
}

void CDitherDisplay::BuildPalette() {
    if (!m_pClip) {
        return;
    }
    m_aPalette.fill(SPaletteEntry{});
    for (int32_t n = 16; n < int32_t(PALETTE_ENTRIES); ++n) {
        const int32_t y = 16 * ((n >> 4) & 15) + 8;
        const int32_t u = 32 * ((n >> 2) & 3) - 48;
        const int32_t v = 32 * (n & 3) - 48;
        const int32_t nY = 76309 * (y - 16);
        SPaletteEntry& e = m_aPalette[size_t(n)];
        e.byRed = m_pClip[(nY + 104597 * v + 32768) >> 16];
        e.byGreen = m_pClip[(nY - 25675 * u - 53279 * v + 32768) >> 16];
        e.byBlue = m_pClip[(nY + 132201 * u + 32768) >> 16];
        if (m_pBitmapInfo) {
            PutLE16(m_pBitmapInfo + BITMAP_HEADER_BYTES + 2 * n, uint32_t(n));
        }
    }
    if (m_pDevice && !m_bPaletteSelected) {
        m_bPaletteSelected = m_pDevice->SelectPalette(m_aPalette.data(), PALETTE_ENTRIES);
    }
}

void CDitherDisplay::ConvertFrame(const uint8_t* pY, const uint8_t* pU, const uint8_t* pV) {
    if (!m_pImage) {
        return;
    }
    const uint32_t nWidth = m_byWidth;
    const uint32_t nHeight = m_byHeight;
    const uint8_t* const pMap = m_abyPixelMap.data();
    for (uint32_t y = 0; y < nHeight; ++y) {
        const uint8_t* const pD = kDither[y & 3];
        // The luma argument Ys + d - 8 sits at table index Ys + d.
        const uint8_t* const pL0 = m_abyLuma.data() + pD[0];
        const uint8_t* const pL1 = m_abyLuma.data() + pD[1];
        const uint8_t* const pL2 = m_abyLuma.data() + pD[2];
        const uint8_t* const pL3 = m_abyLuma.data() + pD[3];
        // The U part is at [j], the V part at [j + 144].
        const uint8_t* const pU0 = m_abyChroma.data() + pD[0];
        const uint8_t* const pU1 = m_abyChroma.data() + pD[1];
        const uint8_t* const pU2 = m_abyChroma.data() + pD[2];
        const uint8_t* const pU3 = m_abyChroma.data() + pD[3];
        const uint8_t* const pYRow = pY + y * nWidth;
        const uint8_t* const pURow = pU + (y >> 1) * (nWidth >> 1);
        const uint8_t* const pVRow = pV + (y >> 1) * (nWidth >> 1);
        uint8_t* const pOut = m_pImage + (nHeight - 1 - y) * nWidth;
        for (uint32_t x = 0; x < nWidth; x += 4) {
            const uint32_t c = x >> 1;
            uint32_t u = pURow[c] >> 1;
            uint32_t v = pVRow[c] >> 1;
            pOut[x] = pMap[pL0[pYRow[x]] | pU0[u] | pU0[v + kChromaHalf]];
            pOut[x + 1] = pMap[pL1[pYRow[x + 1]] | pU1[u] | pU1[v + kChromaHalf]];
            u = pURow[c + 1] >> 1;
            v = pVRow[c + 1] >> 1;
            pOut[x + 2] = pMap[pL2[pYRow[x + 2]] | pU2[u] | pU2[v + kChromaHalf]];
            pOut[x + 3] = pMap[pL3[pYRow[x + 3]] | pU3[u] | pU3[v + kChromaHalf]];
        }
    }
}

void CDitherDisplay::ReleaseDisplay() {
    std::free(m_pClipBlock);
    m_pClipBlock = nullptr;
    m_pClip = nullptr;
    std::free(m_pImage);
    m_pImage = nullptr;
    std::free(m_pBitmapInfo);
    m_pBitmapInfo = nullptr;
    if (m_bPaletteSelected) {
        m_bPaletteSelected = false;
        m_pDevice->RestorePalette();
    }
}
