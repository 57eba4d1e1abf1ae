// The display converter: palette, bitmap header, dithered conversion.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "io/QcifFormat.h"
#include "playback/DitherDisplay.h"
#include "support/ScriptedPrompts.h"

namespace {

using Frame = std::vector<uint8_t>;

// A converter built as the viewer builds it.
struct Built {
    CDitherDisplay display;
    explicit Built(IPaletteDevice* pDevice = nullptr) : display(pDevice) {
        EXPECT_TRUE(display.BuildClipTable());
        EXPECT_TRUE(display.BuildDitherTables(8));
        EXPECT_TRUE(display.BuildBitmapInfo());
    }
    // Image row r (bottom-up storage), column x.
    uint8_t At(uint32_t r, uint32_t x) const { return display.GetImage()[r * 176 + x]; }
    void Convert(const Frame& f) {
        display.ConvertFrame(f.data(), f.data() + QCIF_U_OFFSET, f.data() + QCIF_V_OFFSET);
    }
};

Frame Yuv(uint8_t byY, uint8_t byU, uint8_t byV) {
    Frame f(QCIF_FRAME_BYTES, byY);
    std::fill(f.begin() + QCIF_U_OFFSET, f.begin() + QCIF_V_OFFSET, byU);
    std::fill(f.begin() + QCIF_V_OFFSET, f.end(), byV);
    return f;
}

constexpr int kD[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// The index of one pixel worked out from the level definitions alone.
uint8_t ReferenceIndex(int ys, int us, int vs, int d) {
    auto clamp = [](int n, int lo, int hi) { return n < lo ? lo : n > hi ? hi : n; };
    int l = clamp((ys + d - 8) >> 4, 1, 14);
    int u = clamp(((us >> 1) + d - 40) >> 4, 0, 3);
    int v = clamp(((vs >> 1) + d - 40) >> 4, 0, 3);
    return uint8_t(l << 4 | u << 2 | v);
}

class CFakeDevice : public IPaletteDevice {
public:
    bool SelectPalette(const SPaletteEntry* pEntries, uint32_t nEntries) override {
        ++nSelected;
        colours.assign(pEntries, pEntries + nEntries);
        return true;
    }
    void RestorePalette() override { ++nRestored; }
    int nSelected = 0;
    int nRestored = 0;
    std::vector<SPaletteEntry> colours;
};

}  // namespace

TEST(DitherPalette, TellingEntriesAndBlackUnusedEntries) {
    Built b;
    const auto& pal = b.display.GetPalette();
    struct Row {
        int n, r, g, bl;
    };
    const Row rows[] = {
        {16, 0, 67, 0},       {21, 0, 29, 0},       {26, 35, 0, 42},
        {117, 96, 140, 89},   {138, 165, 120, 172}, {156, 82, 179, 255},
        {229, 226, 255, 219}, {234, 255, 232, 255}, {239, 255, 194, 255},
    };
    for (const Row& r : rows) {
        const SPaletteEntry& e = pal[size_t(r.n)];
        EXPECT_EQ((std::vector<int>{e.byRed, e.byGreen, e.byBlue, e.byFlags}),
                  (std::vector<int>{r.r, r.g, r.bl, 0}))
            << "entry " << r.n;
    }
    for (int n = 0; n < 16; ++n) {
        EXPECT_EQ(pal[size_t(n)].byRed | pal[size_t(n)].byGreen | pal[size_t(n)].byBlue, 0) << n;
    }
    // Identical on every build.
    Built again;
    for (int n = 0; n < 240; ++n) {
        const SPaletteEntry &a = pal[size_t(n)], &c = again.display.GetPalette()[size_t(n)];
        EXPECT_EQ((std::vector<int>{a.byRed, a.byGreen, a.byBlue}),
                  (std::vector<int>{c.byRed, c.byGreen, c.byBlue}));
    }
}

TEST(DitherPalette, BitmapInfoHeaderAndColourTable) {
    Built b;
    const uint8_t* p = b.display.GetBitmapInfo();
    ASSERT_NE(p, nullptr);
    auto le32 = [p](int o) {
        return uint32_t(p[o] | p[o + 1] << 8 | p[o + 2] << 16 | p[o + 3] << 24);
    };
    auto le16 = [p](int o) { return uint32_t(p[o] | p[o + 1] << 8); };
    const std::pair<int, uint32_t> fields[] = {{0, 40}, {4, 176}, {8, 144},  {16, 0},  {20, 0},
                                               {24, 0}, {28, 0},  {32, 240}, {36, 240}};
    for (auto [nOffset, nValue] : fields) {
        EXPECT_EQ(le32(nOffset), nValue) << "offset " << nOffset;
    }
    EXPECT_EQ(le16(12), 1u);  // planes
    EXPECT_EQ(le16(14), 8u);  // bits per pixel
    for (int n = 0; n < 240; ++n) {
        EXPECT_EQ(le16(40 + 2 * n), n < 16 ? 0u : uint32_t(n)) << "colour-table entry " << n;
    }
}

TEST(DitherConvert, UniformFramesGiveTheDitherPatterns) {
    struct Case {
        uint8_t y, u, v;
        uint8_t below8, from8;  // index where d < 8, where d >= 8
    };
    const Case cases[] = {
        {128, 128, 128, 117, 138}, {0, 128, 128, 21, 26},     {255, 128, 128, 229, 234},
        {0, 0, 0, 16, 16},         {255, 255, 255, 239, 239},
    };
    Built b;
    for (const Case& c : cases) {
        b.Convert(Yuv(c.y, c.u, c.v));
        int nWrong = 0;
        for (uint32_t y = 0; y < 144; ++y) {
            for (uint32_t x = 0; x < 176; ++x) {
                uint8_t want = kD[y % 4][x % 4] < 8 ? c.below8 : c.from8;
                nWrong += b.At(143 - y, x) != want;
            }
        }
        EXPECT_EQ(nWrong, 0) << int(c.y) << "," << int(c.u) << "," << int(c.v);
    }
    // The 128 checkerboard, as it reads row by row.
    b.Convert(Yuv(128, 128, 128));
    for (uint32_t y = 0; y < 4; ++y) {
        std::vector<int> row = {b.At(143 - y, 0), b.At(143 - y, 1), b.At(143 - y, 2),
                                b.At(143 - y, 3)};
        EXPECT_EQ(row, y % 2 ? (std::vector<int>{138, 117, 138, 117})
                             : (std::vector<int>{117, 138, 117, 138}));
    }
}

TEST(DitherConvert, RandomFramesMatchTheLevelDefinitionsBottomRowFirst) {
    Built b;
    std::mt19937 rng(20240601);
    for (int nRun = 0; nRun < 8; ++nRun) {
        Frame f(QCIF_FRAME_BYTES);
        for (auto& by : f) {
            by = uint8_t(rng());
        }
        if (nRun == 0) {  // only the extremes
            for (auto& by : f) {
                by = by & 1 ? 255 : 0;
            }
        }
        b.Convert(f);
        int nWrong = 0, nOutside = 0;
        for (uint32_t y = 0; y < 144; ++y) {
            for (uint32_t x = 0; x < 176; ++x) {
                uint8_t got = b.At(143 - y, x);
                nOutside += got < 16 || got > 239;
                uint8_t want =
                    ReferenceIndex(f[y * 176 + x], f[QCIF_U_OFFSET + (y / 2) * 88 + x / 2],
                                   f[QCIF_V_OFFSET + (y / 2) * 88 + x / 2], kD[y % 4][x % 4]);
                nWrong += got != want;
            }
        }
        EXPECT_EQ(nOutside, 0) << "run " << nRun;
        EXPECT_EQ(nWrong, 0) << "run " << nRun;
    }
}

TEST(DitherConvert, TopPictureRowIsTheLastImageRow) {
    Built b;
    Frame f = Yuv(255, 128, 128);
    std::fill(f.begin(), f.begin() + 176, 0);  // picture row 0 black
    b.Convert(f);
    for (uint32_t r = 0; r < 144; ++r) {
        bool bDark = b.At(r, 0) == 21 || b.At(r, 0) == 26;
        EXPECT_EQ(bDark, r == 143) << "image row " << r;
    }
}

TEST(DitherDevice, PaletteSelectedOnceAndRestoredOnce) {
    CFakeDevice device;
    {
        Built b(&device);
        EXPECT_EQ(device.nSelected, 1);
        ASSERT_EQ(device.colours.size(), 240u);
        EXPECT_EQ(device.colours[156].byBlue, 255);
        b.display.ReleaseDisplay();
        EXPECT_EQ(b.display.GetImage(), nullptr);
        EXPECT_EQ(b.display.GetBitmapInfo(), nullptr);
        b.display.ReleaseDisplay();
        // Converting after release touches nothing.
        Frame f = Yuv(1, 2, 3);
        b.Convert(f);
    }
    EXPECT_EQ(device.nRestored, 1);
}

TEST(DitherFailures, OnlyEightBitsPerPixel) {
    for (int nBits : {16, 24}) {
        CScriptedPrompts prompts;
        CDitherDisplay display;
        ASSERT_TRUE(display.BuildClipTable());
        EXPECT_FALSE(display.BuildDitherTables(nBits));
        EXPECT_EQ(prompts.messages,
                  (std::vector<CScriptedPrompts::Message>{{"unsuported dither type", "Error"}}));
        EXPECT_EQ(prompts.endStatus, 1);
        EXPECT_EQ(display.GetImage(), nullptr);
    }
}

TEST(DitherFailuresDeathTest, UnsupportedDepthEndsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            CDitherDisplay display;
            display.BuildClipTable();
            display.BuildDitherTables(16);
        },
        ::testing::ExitedWithCode(1), "unsuported dither type");
}
