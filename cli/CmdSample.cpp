// tavro-cli sample OUT [--frames N]

#include <cstdio>
#include <vector>

#include "cli/CliOutputs.h"
#include "cli/CliSupport.h"
#include "cli/ClipInput.h"
#include "cli/Command.h"
#include "io/QcifFormat.h"
#include "stream/FrameWriter.h"
#include "stream/SampleClip.h"

namespace {

class CSampleCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "sample",
            "Write the built-in sample clip: synthetic natural-looking QCIF video (a slow pan over "
            "hills, trees and a road, a passing car, a bouncing ball, mild noise). The same "
            "frame count always gives the same bytes.");
        m_pApp->add_option("OUT", m_strOut, CLIP_OUTPUT_HELP)->type_name("FILE")->required();
        AddRanged(m_pApp, "-n,--frames", m_nFrames, 1, 65535, "Number of frames", "100");
        AddQuietFlag(true);
    }

    int Run() override {
        const EFrameFormat format = OutputFrameFormat(m_strOut);
        if (format == EFrameFormat::Unknown) {
            return CliFail("output " + Quoted(m_strOut) + " " + CLIP_OUTPUT_NAMES);
        }
        // Frame by frame: a long clip is never held whole.
        CSafeFileWriter out;
        CFrameWriter writer;
        if (!OpenOutput(out, m_strOut) || !writer.Begin(out, format)) {
            return CliFail(out.GetError());
        }
        std::vector<uint8_t> frame(QCIF_FRAME_BYTES);
        for (int n = 0; n < m_nFrames; ++n) {
            RenderSampleFrame(uint32_t(n), frame.data());
            if (Interrupted() || !writer.Write(frame.data())) {
                return CliFail(Interrupted() ? "interrupted" : writer.GetError());
            }
        }
        std::string strError;
        if (!CommitOutputs({&out}, &strError)) {
            return CliFail(strError);
        }
        CliNote("wrote " + std::to_string(m_nFrames) + " frames (" +
                std::to_string(static_cast<uint64_t>(m_nFrames) * QCIF_FRAME_BYTES) +
                " bytes) to " + (m_strOut == "-" ? std::string("stdout") : Shown(m_strOut)));
        return kExitOk;
    }

private:
    std::string m_strOut;
    int m_nFrames = SAMPLE_CLIP_DEFAULT_FRAMES;
};

}  // namespace

std::unique_ptr<CCommand> MakeSampleCommand() {
    return std::make_unique<CSampleCommand>();
}
