// tavro-cli export IN.qcf OUT.png [--frame K] [--dithered] [--scale S]

#include <cstdio>

#include "cli/CliOutputs.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "cli/PngWriter.h"
#include "io/QcifFormat.h"
#include "playback/DitherDisplay.h"
#include "playback/YuvToRgb.h"

namespace {

constexpr uint32_t kWidth = 176;
constexpr uint32_t kHeight = 144;

// The viewer's picture: palette indices from the display converter (stored
// bottom row first) mapped through its palette, top row first.
bool DitheredRgb(const uint8_t* pFrame, std::vector<uint8_t>& rgb) {
    CDitherDisplay display;
    if (!display.BuildClipTable() || !display.BuildDitherTables(8) || !display.BuildBitmapInfo()) {
        return false;
    }
    display.ConvertFrame(pFrame, pFrame + QCIF_U_OFFSET, pFrame + QCIF_V_OFFSET);
    const uint8_t* pImage = display.GetImage();
    const auto& palette = display.GetPalette();
    rgb.resize(kWidth * kHeight * 3);
    for (uint32_t y = 0; y < kHeight; ++y) {
        const uint8_t* pRow = pImage + (kHeight - 1 - y) * kWidth;
        for (uint32_t x = 0; x < kWidth; ++x) {
            const SPaletteEntry& e = palette[pRow[x] < palette.size() ? pRow[x] : 0];
            uint8_t* p = &rgb[(y * kWidth + x) * 3];
            p[0] = e.byRed;
            p[1] = e.byGreen;
            p[2] = e.byBlue;
        }
    }
    return true;
}

class CExportCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "export",
            "Write one frame as a PNG picture: true colour by default (BT.601 limited-range YUV "
            "to RGB, chroma upsampled), or with --dithered exactly the desktop viewer's 8-bit "
            "dithered picture.");
        m_pApp->add_option("IN", m_strIn, "Raw QCIF stream (.qcf)")->required();
        m_pApp->add_option("OUT", m_strOut, "Picture to write (.png)")->required();
        m_pApp->add_option("--frame", m_nFrame, "Frame to export (1-based)")
            ->check(CLI::Range(uint32_t{1}, UINT32_MAX))
            ->capture_default_str();
        m_pApp->add_flag("--dithered", m_bDithered,
                         "The viewer's picture: ordered dither to its 240-colour palette");
        m_pApp->add_option("--scale", m_nScale, "Enlarge by this whole factor (nearest neighbour)")
            ->check(CLI::Range(1, 16))
            ->capture_default_str();
        AddQuietFlag(true);
    }

    int Run() override {
        if (!CheckInputType(m_strIn, EStreamType::Qcf)) {
            return kExitFailed;
        }
        if (!EndsWithNoCase(m_strOut, ".png") && !IsStreamTarget(m_strOut)) {
            return CliFail("output " + Quoted(m_strOut) + " must be named as a PNG picture (.png)");
        }
        if (!CheckOutputsDistinct({m_strIn}, {m_strOut})) {
            return kExitFailed;
        }
        std::string strError;
        QcfFileInfo info;
        if (!ProbeQcfFile(m_strIn, info, &strError)) {
            return CliFail(strError);
        }
        if (static_cast<uint64_t>(m_nFrame) > info.nFrames) {
            return CliFail("frame " + std::to_string(m_nFrame) + " is not in " + Quoted(m_strIn) +
                           " (1.." + std::to_string(info.nFrames) + ")");
        }
        CCliInput input;
        std::vector<uint8_t> frame(QCIF_FRAME_BYTES);
        if (!input.Open(m_strIn, &strError)) {
            return CliFail(strError);
        }
        if (!input.ReadAt(uint64_t(m_nFrame - 1) * QCIF_FRAME_BYTES, frame.data(),
                          QCIF_FRAME_BYTES)) {
            return CliFail("cannot read frame " + std::to_string(m_nFrame) + " of " +
                           Quoted(m_strIn));
        }
        std::vector<uint8_t> rgb(kWidth * kHeight * 3);
        if (m_bDithered) {
            if (!DitheredRgb(frame.data(), rgb)) {
                return CliFail("the display converter could not be set up");
            }
        } else {
            QcifFrameToRgb(frame.data(), rgb.data());
        }
        const uint32_t s = static_cast<uint32_t>(m_nScale);
        std::vector<uint8_t> scaled;
        const std::vector<uint8_t>* pPicture = &rgb;
        if (s > 1) {
            scaled.resize(rgb.size() * s * s);
            for (uint32_t y = 0; y < kHeight * s; ++y) {
                for (uint32_t x = 0; x < kWidth * s; ++x) {
                    const uint8_t* src = &rgb[((y / s) * kWidth + x / s) * 3];
                    uint8_t* dst = &scaled[(y * kWidth * s + x) * 3];
                    dst[0] = src[0];
                    dst[1] = src[1];
                    dst[2] = src[2];
                }
            }
            pPicture = &scaled;
        }
        std::vector<uint8_t> png;
        if (!EncodePngRgb(kWidth * s, kHeight * s, pPicture->data(), png, &strError) ||
            !WriteOutput(m_strOut, png.data(), png.size(), &strError)) {
            return CliFail(strError);
        }
        CliNote("wrote frame " + std::to_string(m_nFrame) + " (" + std::to_string(kWidth * s) +
                "x" + std::to_string(kHeight * s) + (m_bDithered ? ", dithered" : "") + ") to " +
                Shown(m_strOut));
        return kExitOk;
    }

private:
    std::string m_strIn;
    std::string m_strOut;
    uint32_t m_nFrame = 1;
    bool m_bDithered = false;
    int m_nScale = 1;
};

}  // namespace

std::unique_ptr<CCommand> MakeExportCommand() {
    return std::make_unique<CExportCommand>();
}
