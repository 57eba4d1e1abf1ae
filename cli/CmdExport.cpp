// tavro-cli export IN OUT [-k K | -n N|A-B] [--dithered | --plane P] [--scale S]
//                         [--diff REF [--heat] [--gain G]]

#include <algorithm>
#include <cstdio>

#include "cli/CliOutputs.h"
#include "cli/CliSupport.h"
#include "cli/ClipInput.h"
#include "cli/Command.h"
#include "cli/PngWriter.h"
#include "cli/Progress.h"
#include "io/QcifFormat.h"
#include "playback/DitherDisplay.h"
#include "playback/FramePictures.h"

namespace {

// An output name with at most one printf-style frame number: %d or %0Nd
// (N 1..9); %% is a percent sign.
struct SNamePattern {
    std::string strPrefix, strSuffix;
    bool bNumbered = false;
    int nWidth = 0;

    bool Parse(const std::string& s, std::string* pError) {
        std::string* pPart = &strPrefix;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] != '%') {
                *pPart += s[i];
                continue;
            }
            if (i + 1 < s.size() && s[i + 1] == '%') {
                *pPart += '%';
                ++i;
                continue;
            }
            size_t j = i + 1;
            int nWidthHere = 0;
            if (j < s.size() && s[j] == '0') {
                ++j;
                if (j < s.size() && s[j] >= '1' && s[j] <= '9') {
                    nWidthHere = s[j++] - '0';
                }
            }
            if (j >= s.size() || s[j] != 'd' || bNumbered) {
                *pError = "OUT: \"" + s +
                          "\" may hold one frame number, written %d or %04d (and %% for a "
                          "percent sign)";
                return false;
            }
            bNumbered = true;
            nWidth = nWidthHere;
            pPart = &strSuffix;
            i = j;
        }
        return true;
    }

    std::string Name(uint64_t nFrame) const {
        if (!bNumbered) {
            return strPrefix;
        }
        std::string strNumber = std::to_string(nFrame);
        if (int(strNumber.size()) < nWidth) {
            strNumber.insert(0, size_t(nWidth) - strNumber.size(), '0');
        }
        return strPrefix + strNumber + strSuffix;
    }
};

// The viewer's picture: palette indices from the display converter (stored
// bottom row first) mapped through its palette, top row first.
void DitheredRgb(CDitherDisplay& display, const uint8_t* pFrame, uint8_t* pRgb) {
    display.ConvertFrame(pFrame, pFrame + QCIF_U_OFFSET, pFrame + QCIF_V_OFFSET);
    const uint8_t* pImage = display.GetImage();
    const auto& palette = display.GetPalette();
    for (uint32_t y = 0; y < QCIF_HEIGHT; ++y) {
        const uint8_t* pRow = pImage + (QCIF_HEIGHT - 1 - y) * QCIF_WIDTH;
        for (uint32_t x = 0; x < QCIF_WIDTH; ++x) {
            const SPaletteEntry& e = palette[pRow[x] < palette.size() ? pRow[x] : 0];
            uint8_t* p = pRgb + (y * QCIF_WIDTH + x) * 3;
            p[0] = e.byRed;
            p[1] = e.byGreen;
            p[2] = e.byBlue;
        }
    }
}

class CExportCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "export",
            "Write frames as pictures (.png or binary .ppm): true colour by default (BT.601 "
            "limited-range YUV to RGB, chroma upsampled), or with --dithered exactly the desktop "
            "viewer's 8-bit dithered picture. Several frames in one run take a numbered name, "
            "e.g. out_%04d.png (the number is the frame's, from 1); each file is written whole, "
            "one after another. --diff REF pictures the difference from a reference clip "
            "instead.");
        m_pApp->add_option("IN", m_strIn, std::string("Clip: ") + CLIP_INPUT_HELP)
            ->type_name("FILE")
            ->required();
        m_pApp
            ->add_option("OUT", m_strOut,
                         "Picture to write (.png or .ppm); with a frame number (%d, %04d) for "
                         "several frames")
            ->type_name("FILE")
            ->required();
        AddRanged(m_pApp, "-k,--frame", m_nFrame, 1, 0, "The one frame to export", "1")
            ->type_name("K");
        AddFrameChoice(m_pApp, m_frames, "Frames to export");
        m_pApp->add_flag("--dithered", m_bDithered,
                         "The viewer's picture: ordered dither to its 240-colour palette");
        AddRanged(m_pApp, "--scale", m_nScale, 1, 16,
                  "Enlarge by this whole factor, nearest neighbour", "1");
        m_pApp->add_option("--plane", m_strPlane, "One plane in grey instead of the colour picture")
            ->check(CLI::IsMember({"y", "u", "v"}, CLI::ignore_case))
            ->type_name("PLANE");
        m_pApp
            ->add_option("--diff", m_strDiff,
                         "Picture IN - REF instead of IN: the signed difference of every "
                         "sample times --gain around mid grey (grey where equal, tinted where "
                         "chroma differs); REF is any clip, frames matched by number")
            ->type_name("FILE");
        m_pApp->add_flag("--heat", m_bHeat,
                         "With --diff: a heat map of the difference times --gain, black where "
                         "equal to pale yellow (the largest of Y, U and V at each pixel)");
        AddRanged(m_pApp, "--gain", m_nGain, PICTURE_MIN_GAIN, PICTURE_MAX_GAIN,
                  "With --diff: difference amplification", "4");
        AddQuietFlag(true);
    }

    int Run() override {
        // A pipe or device may have any name; it gets a PNG.
        const bool bPng = !EndsWithNoCase(m_strOut, ".ppm");
        if (bPng && !EndsWithNoCase(m_strOut, ".png") && !IsStreamTarget(m_strOut)) {
            return CliFail("output " + Quoted(m_strOut) +
                           " must be named as a PNG (.png) or PPM (.ppm) picture");
        }
        if (!CheckOutputsDistinct({m_strIn}, {m_strOut})) {
            return kExitFailed;
        }
        std::string strError;
        SNamePattern pattern;
        uint64_t nFirst = 1, nCount = 0;
        if (!pattern.Parse(m_strOut, &strError) || !m_frames.Resolve(nFirst, nCount, &strError)) {
            return Usage(strError);
        }
        if (m_nFrame > 0 && (!m_frames.strFrames.empty() || m_frames.nStart)) {
            return Usage("--frame: one frame, or several with --frames, not both");
        }
        if (m_frames.strFrames.empty() && !m_frames.nStart) {
            nFirst = m_nFrame ? m_nFrame : 1;
            nCount = 1;
        }
        if (nCount != 1 && !pattern.bNumbered) {
            return Usage("OUT: several frames need a numbered name such as out_%04d.png");
        }
        if ((m_bHeat || m_nGain != 4) && m_strDiff.empty()) {
            return Usage("--heat and --gain go with --diff REF");
        }
        if (m_bDithered && (!m_strDiff.empty() || !m_strPlane.empty())) {
            return Usage("--dithered: only the colour picture of a frame is dithered");
        }
        const EPictureMode mode = m_strPlane.empty()                         ? EPictureMode::Colour
                                  : (m_strPlane == "y" || m_strPlane == "Y") ? EPictureMode::Y
                                  : (m_strPlane == "u" || m_strPlane == "U") ? EPictureMode::U
                                                                             : EPictureMode::V;

        if (m_strIn == "-" && m_strDiff == "-") {
            return Usage("--diff: standard input (-) is already IN");
        }
        std::unique_ptr<IFrameSource> pIn = OpenClip(m_strIn, &strError), pRef;
        if (!pIn) {
            return CliFail(strError);
        }
        if (!m_strDiff.empty() && !(pRef = OpenClip(m_strDiff, &strError))) {
            return CliFail(strError);
        }
        const uint64_t nKnown = pIn->FramesLeftHint();
        pIn = LimitFrames(std::move(pIn), nFirst, nCount);
        if (pRef) {
            pRef = LimitFrames(std::move(pRef), nFirst, nCount);
        }
        CDitherDisplay display;
        if (m_bDithered && !(display.BuildClipTable() && display.BuildDitherTables(8) &&
                             display.BuildBitmapInfo())) {
            return CliFail("the display converter could not be set up");
        }

        const uint32_t s = uint32_t(m_nScale);
        std::vector<uint8_t> frame(QCIF_FRAME_BYTES), ref(QCIF_FRAME_BYTES), rgb(PICTURE_BYTES),
            scaled(rgb.size() * s * s), bytes;
        CProgressLine progress("export", pIn->FramesLeftHint());
        uint64_t nWritten = 0;
        std::string strLast;
        for (uint64_t k = nFirst;; ++k) {
            // Every picture asked for is written: an interrupt that came while
            // the last one was committed finds the outputs complete.
            if (nCount && nWritten == nCount) {
                break;
            }
            if (Interrupted()) {
                return Stopped(nWritten, strLast, CliFail("interrupted"));
            }
            EFrameRead r = pIn->Read(frame.data());
            if (r == EFrameRead::Frame && pRef) {
                r = pRef->Read(ref.data());
                if (r == EFrameRead::Failed) {
                    return Stopped(nWritten, strLast, CliFail(pRef->GetError()));
                }
                if (r == EFrameRead::End) {
                    return Stopped(
                        nWritten, strLast,
                        CliFail("frame " + std::to_string(k) + " is not in " + Quoted(m_strDiff)));
                }
            }
            if (r == EFrameRead::Failed) {
                return Stopped(nWritten, strLast, CliFail(pIn->GetError()));
            }
            if (r == EFrameRead::End) {
                if (nWritten == 0 || (nCount && nWritten < nCount)) {
                    const uint64_t nHave = nKnown ? nKnown : k - 1;
                    return Stopped(
                        nWritten, strLast,
                        CliFail("frame " + std::to_string(k) + " is not in " + Quoted(m_strIn) +
                                " (1.." + std::to_string(nHave) + ")"));
                }
                break;
            }
            if (pRef) {
                RenderDifferencePicture(frame.data(), ref.data(), mode,
                                        m_bHeat ? EDifferenceStyle::Heat : EDifferenceStyle::Signed,
                                        m_nGain, rgb.data());
            } else if (m_bDithered) {
                DitheredRgb(display, frame.data(), rgb.data());
            } else {
                RenderFramePicture(frame.data(), mode, rgb.data());
            }
            const uint8_t* pPixels = rgb.data();
            if (s > 1) {
                for (uint32_t y = 0; y < QCIF_HEIGHT * s; ++y) {
                    for (uint32_t x = 0; x < QCIF_WIDTH * s; ++x) {
                        std::copy_n(&rgb[((y / s) * QCIF_WIDTH + x / s) * 3], 3,
                                    &scaled[(y * QCIF_WIDTH * s + x) * 3]);
                    }
                }
                pPixels = scaled.data();
            }
            if (bPng) {
                if (!EncodePng(QCIF_WIDTH * s, QCIF_HEIGHT * s, 3, pPixels, bytes, &strError)) {
                    return Stopped(nWritten, strLast, CliFail(strError));
                }
            } else {
                bytes = EncodePnm(QCIF_WIDTH * s, QCIF_HEIGHT * s, 3, pPixels);
            }
            const std::string strName = pattern.Name(k);
            if (!CheckOutputsDistinct({m_strIn, m_strDiff}, {strName})) {
                return Stopped(nWritten, strLast, kExitFailed);
            }
            if (!WriteOutput(strName, bytes.data(), bytes.size(), &strError)) {
                return Stopped(nWritten, strLast, CliFail(strError));
            }
            ++nWritten;
            strLast = strName;
            progress.Show(nWritten);
        }
        CliNote(nWritten == 1
                    ? "wrote frame " + std::to_string(nFirst) + " (" +
                          std::to_string(QCIF_WIDTH * s) + "x" + std::to_string(QCIF_HEIGHT * s) +
                          (m_bDithered ? ", dithered" : "") + ") to " + Shown(strLast)
                    : "wrote " + std::to_string(nWritten) + " pictures (" +
                          std::to_string(QCIF_WIDTH * s) + "x" + std::to_string(QCIF_HEIGHT * s) +
                          "), the last " + Shown(strLast));
        return kExitOk;
    }

private:
    // After a failure or an interrupt: the pictures already written stay.
    int Stopped(uint64_t nWritten, const std::string& strLast, int nStatus) {
        if (nWritten > 0) {
            CliNote("stopped after " + std::to_string(nWritten) + " pictures; the last written " +
                    "is " + Shown(strLast));
        }
        return nStatus;
    }

    std::string m_strIn;
    std::string m_strOut;
    uint64_t m_nFrame = 0;  // 0: not given
    SFrameChoice m_frames;
    bool m_bDithered = false;
    int m_nScale = 1;
    std::string m_strPlane;
    std::string m_strDiff;
    bool m_bHeat = false;
    int m_nGain = 4;
};

}  // namespace

std::unique_ptr<CCommand> MakeExportCommand() {
    return std::make_unique<CExportCommand>();
}
