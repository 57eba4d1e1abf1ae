#pragma once
// The viewer's display converter: turns one planar YUV 4:2:0 QCIF frame into a
// 176 x 144 image of 8-bit palette indices by 4 x 4 ordered dithering, and builds
// the fixed 240-entry palette and the bitmap header that go with it.
//
// Index layout, from the top bit: 4 luma bits (levels 1..14), 2 U bits, 2 V bits,
// so images use only indices 16..239. Images are stored bottom-up: the first row
// of the image is the bottom picture row.
//
// Everything is computed here; only taking the palette into use on a screen is
// the platform's, behind IPaletteDevice. Call in this order when the viewer opens:
// BuildClipTable, BuildDitherTables(8), BuildBitmapInfo; then ConvertFrame per
// frame; ReleaseDisplay (also run by the destructor) when it closes.
//
// Failures (no memory, a bit depth other than 8) go through ShowFatalError, which
// shows an "Error" message and ends the process with status 1. Where EndProcess
// returns (test doubles) the Build call returns false and ConvertFrame does nothing.

#include <array>
#include <cstdint>

struct SPaletteEntry {
    uint8_t byRed = 0;
    uint8_t byGreen = 0;
    uint8_t byBlue = 0;
    uint8_t byFlags = 0;
};

// The platform's palette services for one window.
class IPaletteDevice {
public:
    virtual ~IPaletteDevice() = default;
    // Creates a palette of these nEntries colours, selects it into the device as
    // the foreground palette and realises it. False when that failed.
    virtual bool SelectPalette(const SPaletteEntry* pEntries, uint32_t nEntries) = 0;
    // Selects back the palette that was there before and deletes ours.
    virtual void RestorePalette() = 0;
};

class CDitherDisplay {
public:
    static constexpr uint32_t PALETTE_ENTRIES = 240;
    static constexpr uint32_t BITMAP_INFO_BYTES = 1000;
    static constexpr uint32_t BITMAP_HEADER_BYTES = 40;

    // pDevice (not owned, may be nullptr) receives the palette; without a device
    // the palette is only computed.
    explicit CDitherDisplay(IPaletteDevice* pDevice = nullptr);
    ~CDitherDisplay();
    CDitherDisplay(const CDitherDisplay&) = delete;
    CDitherDisplay& operator=(const CDitherDisplay&) = delete;

    // Geometry and the clip table (indices -384..639).
    bool BuildClipTable();
    // Image, luma and chroma dither tables and pixel map; only 8 bits per pixel.
    bool BuildDitherTables(int nBitsPerPixel);
    // Bitmap header and colour table, then the palette (BuildPalette).
    bool BuildBitmapInfo();
    // Computes the palette and takes it into use on the device.
    void BuildPalette();

    // Converts one frame: Y 176 x 144, U and V 88 x 72, each top row first.
    void ConvertFrame(const uint8_t* pY, const uint8_t* pU, const uint8_t* pV);

    // Frees the tables and the image, gives the device its old palette back.
    // Everything is forgotten, so a second call releases nothing.
    void ReleaseDisplay();

    // "Error" message with the text, then the end of the process with status 1.
    static void ShowFatalError(const char* pszText);

    // The converted image, 176 x 144 indices, bottom row first; nullptr before
    // BuildDitherTables and after ReleaseDisplay.
    const uint8_t* GetImage() const { return m_pImage; }
    // 40-byte BITMAPINFOHEADER (little-endian) and 240 16-bit colour-table
    // entries; nullptr before BuildBitmapInfo and after ReleaseDisplay.
    const uint8_t* GetBitmapInfo() const { return m_pBitmapInfo; }
    // The 240 colours (entries 0..15 black); valid after BuildPalette.
    const std::array<SPaletteEntry, PALETTE_ENTRIES>& GetPalette() const { return m_aPalette; }

    uint8_t GetWidth() const { return m_byWidth; }
    uint8_t GetHeight() const { return m_byHeight; }

private:
    uint8_t m_byWidth = 0;
    uint8_t m_byHeight = 0;
    uint8_t m_byChromaWidth = 0;
    uint8_t m_byChromaHeight = 0;
    uint8_t* m_pClipBlock = nullptr;         // 1024 bytes
    uint8_t* m_pClip = nullptr;              // m_pClipBlock + 384
    std::array<uint8_t, 272> m_abyLuma{};    // luma(x) at [x + 8], x = -8..263
    std::array<uint8_t, 288> m_abyChroma{};  // U part 0..143, V part 144..287
    std::array<uint8_t, 256> m_abyPixelMap{};
    uint8_t* m_pImage = nullptr;
    uint8_t* m_pBitmapInfo = nullptr;
    std::array<SPaletteEntry, PALETTE_ENTRIES> m_aPalette{};
    IPaletteDevice* m_pDevice;
    bool m_bPaletteSelected = false;  // the device holds our palette
};
