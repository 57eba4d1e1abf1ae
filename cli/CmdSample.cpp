// tavro-cli sample OUT.qcf [--frames N]

#include <cstdio>
#include <vector>

#include "cli/CliOutputs.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
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
        m_pApp->add_option("OUT", m_strOut, "Raw QCIF stream to write (.qcf)")->required();
        m_pApp->add_option("-n,--frames", m_nFrames, "Number of frames (default 100)")
            ->check(CLI::Range(1, 65535));
        AddQuietFlag(true);
    }

    int Run() override {
        if (!CheckOutputType(m_strOut, EStreamType::Qcf)) {
            return kExitFailed;
        }
        // Frame by frame: a long clip is never held whole.
        CSafeFileWriter writer;
        if (!OpenOutput(writer, m_strOut)) {
            return CliFail(writer.GetError());
        }
        std::vector<uint8_t> frame(QCIF_FRAME_BYTES);
        for (int n = 0; n < m_nFrames; ++n) {
            RenderSampleFrame(uint32_t(n), frame.data());
            if (Interrupted() || !writer.Write(frame.data(), frame.size())) {
                return CliFail(writer.GetError());
            }
        }
        std::string strError;
        if (!CommitOutputs({&writer}, &strError)) {
            return CliFail(strError);
        }
        CliNote("wrote " + std::to_string(m_nFrames) + " frames (" +
                std::to_string(static_cast<uint64_t>(m_nFrames) * QCIF_FRAME_BYTES) +
                " bytes) to " + Shown(m_strOut));
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
