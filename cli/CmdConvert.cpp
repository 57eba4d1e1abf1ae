// tavro-cli convert IN OUT [-n N|A-B] [--start K] [--fps RATE]

#include <cstdio>

#include "cli/CliOutputs.h"
#include "cli/CliSupport.h"
#include "cli/ClipInput.h"
#include "cli/Command.h"
#include "cli/Progress.h"
#include "cli/ReportWriters.h"
#include "io/QcifFormat.h"
#include "stream/FrameWriter.h"

namespace {

class CConvertCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "convert",
            "Convert a clip of any kind to a raw QCIF stream (.qcf, or .yuv: the same bytes, "
            "176x144 planar 4:2:0, 38016 bytes a frame; - for standard output) or to YUV4MPEG2 "
            "(.y4m) as ffmpeg reads and writes it, frame by frame. A .y4m that is not 176x144 "
            "4:2:0 8-bit is refused with the ffmpeg command that makes a QCIF one; other video is "
            "scaled (bicubic). Bytes after the last whole frame of a raw input are dropped.");
        m_pApp->add_option("IN", m_strIn, std::string("Input: ") + CLIP_INPUT_HELP)
            ->type_name("FILE")
            ->required();
        m_pApp->add_option("OUT", m_strOut, "Output: .qcf, .yuv, .y4m or - (raw QCIF on stdout)")
            ->type_name("FILE")
            ->required();
        AddFrameChoice(m_pApp, m_frames, "Frames to convert");
        m_pApp
            ->add_option("--fps", m_strRate,
                         "Frame rate written to a .y4m output, e.g. 25 or 30000:1001 (default: "
                         "the input's when it states one, else 25)")
            ->type_name("RATE");
        AddQuietFlag(true);
    }

    int Run() override {
        const EFrameFormat format = OutputFrameFormat(m_strOut);
        if (format == EFrameFormat::Unknown) {
            return CliFail("output " + Quoted(m_strOut) + " " + CLIP_OUTPUT_NAMES);
        }
        uint32_t nRateNum = 25, nRateDen = 1;
        if (!m_strRate.empty() && !ParseRate(m_strRate, nRateNum, nRateDen)) {
            std::fprintf(stderr,
                         "tavro-cli convert: --fps: \"%s\" is not a rate such as 25 or "
                         "30000:1001\n",
                         m_strRate.c_str());
            return kExitUsage;
        }
        std::string strError;
        uint64_t nFirst = 1, nCount = 0;
        if (!m_frames.Resolve(nFirst, nCount, &strError)) {
            std::fprintf(stderr, "tavro-cli convert: %s\n", strError.c_str());
            return kExitUsage;
        }
        if (!CheckOutputsDistinct({m_strIn}, {m_strOut})) {
            return kExitFailed;
        }
        std::unique_ptr<IFrameSource> pSource = OpenClip(m_strIn, &strError);
        if (!pSource) {
            return CliFail(strError);
        }
        if (m_strRate.empty()) {
            pSource->FrameRate(nRateNum, nRateDen);
        }
        pSource = LimitFrames(std::move(pSource), nFirst, nCount);
        CSafeFileWriter out;
        CFrameWriter writer;
        if (!OpenOutput(out, m_strOut) || !writer.Begin(out, format, nRateNum, nRateDen)) {
            return CliFail(out.GetError());
        }
        std::vector<uint8_t> frame(QCIF_FRAME_BYTES);
        CProgressLine progress("convert", pSource->FramesLeftHint());
        while (true) {
            if (Interrupted()) {
                return CliFail("interrupted");
            }
            const EFrameRead r = pSource->Read(frame.data());
            if (r == EFrameRead::Failed) {
                return CliFail(pSource->GetError());
            }
            if (r == EFrameRead::End) {
                break;
            }
            if (!writer.Write(frame.data())) {
                return CliFail(writer.GetError());
            }
            progress.Show(writer.Frames());
        }
        const uint64_t nFrames = writer.Frames();
        if (nFrames == 0) {
            return CliFail(Quoted(m_strIn) + " holds no whole frame" +
                           (nFirst > 1 ? " from frame " + std::to_string(nFirst) : ""));
        }
        if (nCount > nFrames) {
            return CliFail(Quoted(m_strIn) + " holds " + std::to_string(nFrames) +
                           " frames, fewer than the " + std::to_string(nCount) + " asked for");
        }
        if (!CommitOutputs({&out}, &strError)) {
            return CliFail(strError);
        }
        if (const uint64_t nTrailing = pSource->TrailingBytes(); nTrailing && nCount == 0) {
            CliNote("dropped " + std::to_string(nTrailing) +
                    " bytes after the last whole frame of " + Shown(m_strIn));
        }
        CliNote("wrote " + std::to_string(nFrames) + " frames to " +
                (m_strOut == "-" ? std::string("stdout") : Shown(m_strOut)));
        return kExitOk;
    }

private:
    std::string m_strIn;
    std::string m_strOut;
    SFrameChoice m_frames;
    std::string m_strRate;
};

}  // namespace

std::unique_ptr<CCommand> MakeConvertCommand() {
    return std::make_unique<CConvertCommand>();
}
