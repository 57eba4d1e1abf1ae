// tavro-cli info FILE [--fps RATE] [--json]

#include <cstdio>
#include <vector>

#include "cli/CliSupport.h"
#include "cli/ClipInput.h"
#include "cli/Command.h"
#include "cli/Json.h"
#include "cli/ReportWriters.h"
#include "codec/FrameDecoder.h"
#include "io/File.h"
#include "io/QcifFormat.h"
#include "stream/VideoSource.h"

namespace {

// Prints "key: value" lines, or gathers the same figures as one JSON object.
class CReport {
public:
    CReport(bool bJson, const std::string& strFile, const char* pszType, const char* pszWords)
        : m_bJson(bJson) {
        m_json.BeginObject().Value("file", strFile).Value("type", pszType);
        Line("file: " + strFile);
        Line(std::string("type: ") + pszWords);
    }
    template <class T>
    CReport& Add(const char* pszKey, T value, const std::string& strLine) {
        m_json.Value(pszKey, value);
        Line(strLine);
        return *this;
    }
    void Line(const std::string& strLine) {
        if (!m_bJson && !strLine.empty()) {
            std::printf("%s\n", strLine.c_str());
        }
    }
    int Finish() {
        if (m_bJson) {
            m_json.EndObject();
            std::printf("%s\n", m_json.Text().c_str());
        }
        return std::fflush(stdout) == 0 ? kExitOk : CliFail("cannot write to stdout");
    }

private:
    bool m_bJson;
    CJsonWriter m_json;
};

std::string Fixed(double d, int nDecimals) {
    char sz[64];
    std::snprintf(sz, sizeof sz, "%.*f", nDecimals, d);
    return sz;
}

class CInfoCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "info",
            "Describe a clip. Raw streams: frames and bytes (read through for - and .y4m). "
            "Compressed streams: the header, then the LZARI layer is decoded and every frame "
            "record checked (fast, no frame is rebuilt), so a truncated or damaged stream fails "
            "with exit status 1; the rate as bits per pixel, kb/s at --fps, the ratio to the raw "
            "frames (frames x 38016 / bytes) and the desktop summary's compression ratio against "
            "24-bit RGB (frames x 76032 / bytes, header included). Other video: what its "
            "container states (nothing is decoded).");
        m_pApp->add_option("FILE", m_strFile, std::string("Clip: ") + CLIP_INPUT_HELP)
            ->type_name("FILE")
            ->required();
        m_pApp
            ->add_option("--fps", m_strFps,
                         "Frame rate for kb/s, e.g. 30, 25 or 30000:1001 (default 30)")
            ->type_name("RATE");
        m_pApp->add_flag("--json", m_bJson, "Print the figures as one JSON object");
        AddQuietFlag(true);
    }

    int Run() override {
        if (!ParseFps(m_strFps, m_dFps)) {
            std::fprintf(stderr,
                         "tavro-cli info: --fps: \"%s\" is not a frame rate such as 30 or "
                         "30000:1001\n",
                         m_strFps.c_str());
            return kExitUsage;
        }
        switch (ClipKindOf(m_strFile)) {
            case EClipKind::Compressed:
                return Compressed();
            case EClipKind::Video:
                return Video();
            case EClipKind::Raw:
            case EClipKind::Y4m:
                break;
        }
        return Raw();
    }

private:
    // A regular raw file is measured by its length; standard input, FIFOs and
    // .y4m are read through, a frame at a time.
    int Raw() {
        const bool bY4m = ClipKindOf(m_strFile) == EClipKind::Y4m;
        std::string strError;
        std::unique_ptr<IFrameSource> pSource = OpenClip(m_strFile, &strError);
        if (!pSource) {
            return CliFail(strError);
        }
        uint64_t nFrames = pSource->FramesLeftHint(), nTrailing = 0, nBytes = 0;
        if (nFrames) {
            CFile file;
            nBytes = file.Open(m_strFile, CFile::modeRead) ? file.GetLength() : 0;
            nTrailing = nBytes - nFrames * QCIF_FRAME_BYTES;
        } else {
            std::vector<uint8_t> frame(QCIF_FRAME_BYTES);
            EFrameRead r;
            while ((r = pSource->Read(frame.data())) == EFrameRead::Frame) {
                ++nFrames;
            }
            if (r == EFrameRead::Failed) {
                return CliFail(pSource->GetError());
            }
            nTrailing = pSource->TrailingBytes();
            nBytes = bY4m ? 0 : nFrames * QCIF_FRAME_BYTES + nTrailing;
        }
        if (nFrames == 0) {
            return CliFail(Quoted(m_strFile) + " holds no whole frame (" +
                           std::to_string(nTrailing) + " bytes, a frame is 38016)");
        }
        CReport report(m_bJson, m_strFile, bY4m ? "y4m" : "qcf",
                       bY4m ? "YUV4MPEG2 stream (176x144 4:2:0)" : "raw QCIF stream");
        report.Add("frames", nFrames, "frames: " + std::to_string(nFrames));
        if (!bY4m) {
            report.Add("bytes", nBytes, "bytes: " + std::to_string(nBytes));
        }
        uint32_t nNum = 0, nDen = 1;
        if (pSource->FrameRate(nNum, nDen)) {
            report.Add("fps", double(nNum) / nDen,
                       "frame rate: " + FpsText(double(nNum) / nDen) + " (" + std::to_string(nNum) +
                           ":" + std::to_string(nDen) + ")");
        }
        report.Add("trailing_bytes", nTrailing,
                   nTrailing ? "trailing bytes: " + std::to_string(nTrailing) +
                                   " (after the last whole frame)"
                             : std::string());
        return report.Finish();
    }

    int Compressed() {
        CFile file;
        if (!file.Open(m_strFile, CFile::modeRead)) {
            return CliFail("cannot open " + Quoted(m_strFile) + ": " + file.GetError());
        }
        const uint64_t nBytes = file.GetLength();
        if (nBytes > UINT32_MAX) {
            return CliFail(Quoted(m_strFile) + " is too long for a compressed stream (over 4 GiB)");
        }
        std::vector<uint8_t> cmp(size_t(nBytes) + 1);
        if (file.Read(cmp.data(), uint32_t(nBytes)) != nBytes) {
            return CliFail("cannot read " + Quoted(m_strFile));
        }
        SCmpHeader header;
        if (!ReadCmpHeader(cmp.data(), nBytes, header)) {
            return CliFail(Quoted(m_strFile) + " is too short for a compressed stream (" +
                           std::to_string(nBytes) + " bytes, the header alone is 4)");
        }
        if (header.nFrames == 0) {
            return CliFail(Quoted(m_strFile) +
                           " is not a valid compressed stream: its frame count is 0");
        }
        if (header.byThreshold == 0 || header.byQuantiser == 0) {
            return CliFail(Quoted(m_strFile) + " is not a valid compressed stream: threshold " +
                           std::to_string(header.byThreshold) + " and quantiser " +
                           std::to_string(header.byQuantiser) + " must lie in 1..255");
        }
        CFrameDecoder decoder;
        CodecError nError = decoder.Open(cmp.data(), uint32_t(nBytes));
        if (nError == CodecError::None) {
            nError = decoder.CheckRecords();
        }
        if (nError != CodecError::None) {
            return CliFail(Quoted(m_strFile) + ": " + CodecErrorText(nError));
        }
        const SRateFigures rate = RateFigures(header.nFrames, nBytes, m_dFps);
        CReport report(m_bJson, m_strFile, "cmp", "compressed stream");
        report.Add("frames", header.nFrames, "frames: " + std::to_string(header.nFrames))
            .Add("bytes", nBytes, "bytes: " + std::to_string(nBytes))
            .Add("threshold", uint32_t(header.byThreshold),
                 "threshold: " + std::to_string(header.byThreshold))
            .Add("quantiser", uint32_t(header.byQuantiser),
                 "quantiser: " + std::to_string(header.byQuantiser))
            .Add("record_bytes", decoder.RecordBytes(),
                 "record bytes: " + std::to_string(decoder.RecordBytes()) +
                     " (the frame records the LZARI layer holds)")
            .Add("bytes_per_frame", double(nBytes) / header.nFrames,
                 "bytes per frame: " + Fixed(double(nBytes) / header.nFrames, 2))
            .Add("bits_per_pixel", rate.dBitsPerPixel,
                 "bits per pixel: " + Fixed(rate.dBitsPerPixel, 4))
            .Add("fps", m_dFps, "")
            .Add("kbps", rate.dKbps, "kb/s at " + FpsText(m_dFps) + " fps: " + Fixed(rate.dKbps, 2))
            .Add("raw_ratio", rate.dRawRatio,
                 "raw ratio: " + Fixed(rate.dRawRatio, 2) + " (raw 4:2:0 frames, 38016 bytes " +
                     "each, to the stream)")
            .Add("rgb_ratio", rate.dRgbRatio, "")
            .Add("compression_ratio", rate.dRgbRatio,
                 "compression ratio: " + Fixed(rate.dRgbRatio, 2) + " (the desktop summary's: " +
                     "frames as 24-bit RGB, 76032 bytes each, to the stream)");
        return report.Finish();
    }

    int Video() {
        SVideoInfo info;
        std::string strError;
        if (!ProbeVideo(m_strFile, info, &strError)) {
            return CliFail(strError);
        }
        CReport report(m_bJson, m_strFile, "video", "video");
        report.Add("container", info.strContainer, "container: " + info.strContainer)
            .Add("codec", info.strCodec, "codec: " + info.strCodec)
            .Add("width", info.nWidth,
                 "size: " + std::to_string(info.nWidth) + "x" + std::to_string(info.nHeight))
            .Add("height", info.nHeight, "")
            .Add("pixel_format", info.strPixelFormat, "pixel format: " + info.strPixelFormat);
        if (info.nRateNum) {
            report.Add("fps", double(info.nRateNum) / info.nRateDen,
                       "frame rate: " + FpsText(double(info.nRateNum) / info.nRateDen) + " (" +
                           std::to_string(info.nRateNum) + ":" + std::to_string(info.nRateDen) +
                           ")");
        }
        if (info.dSeconds > 0) {
            report.Add("seconds", info.dSeconds, "duration: " + Fixed(info.dSeconds, 3) + " s");
        }
        if (info.nFrames) {
            report.Add("frames", info.nFrames,
                       "frames: " + std::to_string(info.nFrames) + " (as the container states)");
        }
        report.Add(
            "scaler", VIDEO_SCALER,
            std::string("read as: 176x144 4:2:0, scaled by FFmpeg's ") + VIDEO_SCALER + " scaler");
        return report.Finish();
    }

    std::string m_strFile;
    std::string m_strFps = "30";
    double m_dFps = 30;
    bool m_bJson = false;
};

}  // namespace

std::unique_ptr<CCommand> MakeInfoCommand() {
    return std::make_unique<CInfoCommand>();
}
