// tavro-cli convert IN OUT [-n N] [--fps RATE]

#include <cstdio>

#include "cli/CliOutputs.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "io/QcifFormat.h"
#include "stream/Y4m.h"

namespace {

enum class EVideoFile { Raw, Y4m, Other };

EVideoFile VideoFileOf(const std::string& strPath) {
    if (EndsWithNoCase(strPath, ".y4m")) {
        return EVideoFile::Y4m;
    }
    if (EndsWithNoCase(strPath, ".qcf") || EndsWithNoCase(strPath, ".yuv")) {
        return EVideoFile::Raw;
    }
    return EVideoFile::Other;
}

// "25", "30000:1001" or "12.5"-free integers only: y4m carries a ratio.
bool ParseRate(const std::string& s, uint32_t& nNum, uint32_t& nDen) {
    const size_t nColon = s.find(':');
    const std::string a = s.substr(0, nColon);
    const std::string b = nColon == std::string::npos ? "1" : s.substr(nColon + 1);
    auto number = [](const std::string& t, uint32_t& n) {
        if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        n = uint32_t(std::stoul(t));
        return n > 0;
    };
    return number(a, nNum) && number(b, nDen);
}

class CConvertCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "convert",
            "Convert between raw QCIF streams (.qcf, or .yuv: the same bytes, 176x144 planar "
            "4:2:0, 38016 bytes a frame) and YUV4MPEG2 (.y4m) as ffmpeg reads and writes it. A "
            ".y4m that is not 176x144 4:2:0 8-bit is refused with the ffmpeg command that makes "
            "a QCIF one. Bytes after the last whole frame of an input (a copy cut short) are "
            "dropped "
            "with a note.");
        m_pApp->add_option("IN", m_strIn, "Input: .qcf, .yuv or .y4m")->required();
        m_pApp->add_option("OUT", m_strOut, "Output: .qcf, .yuv or .y4m")->required();
        m_pApp->add_option("-n,--frames", m_nFrames, "Convert only the first N frames")
            ->check(CLI::Range(1, 1 << 30));
        m_pApp->add_option("--fps", m_strRate,
                           "Frame rate written to a .y4m output, e.g. 25 or 30000:1001 (default: "
                           "the input's when it is .y4m, else 25)");
        AddQuietFlag(true);
    }

    int Run() override {
        const EVideoFile in = VideoFileOf(m_strIn), out = VideoFileOf(m_strOut);
        if (in == EVideoFile::Other) {
            return CliFail(Quoted(m_strIn) + ": unknown input type (expected .qcf, .yuv or .y4m)");
        }
        if (out == EVideoFile::Other) {
            return CliFail(Quoted(m_strOut) +
                           ": unknown output type (expected .qcf, .yuv or .y4m)");
        }
        if (!CheckOutputsDistinct({m_strIn}, {m_strOut})) {
            return kExitFailed;
        }
        uint32_t nRateNum = 25, nRateDen = 1;
        if (!m_strRate.empty() && !ParseRate(m_strRate, nRateNum, nRateDen)) {
            std::fprintf(stderr,
                         "tavro-cli convert: --fps: \"%s\" is not a rate such as 25 or "
                         "30000:1001\n",
                         m_strRate.c_str());
            return kExitUsage;
        }

        std::vector<uint8_t> data;
        std::string strError;
        if (!ReadWholeFile(m_strIn, data, &strError)) {
            return CliFail(strError);
        }
        std::vector<uint8_t> frames;
        size_t nTrailing = 0;
        if (in == EVideoFile::Y4m) {
            SY4mHeader header;
            if (!ReadY4mFrames(data.data(), data.size(), header, frames, &strError, &nTrailing)) {
                return CliFail(Quoted(m_strIn) + ": " + strError);
            }
            if (m_strRate.empty()) {
                nRateNum = header.nRateNum;
                nRateDen = header.nRateDen;
            }
        } else {
            nTrailing = data.size() % QCIF_FRAME_BYTES;
            data.resize(data.size() - nTrailing);
            frames.swap(data);
        }
        size_t nFrames = frames.size() / QCIF_FRAME_BYTES;
        if (nFrames == 0) {
            return CliFail(Quoted(m_strIn) + " holds no whole frame");
        }
        if (m_nFrames) {
            if (m_nFrames > nFrames) {
                return CliFail(Quoted(m_strIn) + " holds " + std::to_string(nFrames) +
                               " frames, fewer than the " + std::to_string(m_nFrames) +
                               " asked for");
            }
            nFrames = m_nFrames;
        }

        bool bOk;
        if (out == EVideoFile::Y4m) {
            std::vector<uint8_t> y4m;
            AppendY4mStream(frames.data(), uint32_t(nFrames), y4m, nRateNum, nRateDen);
            bOk = WriteOutput(m_strOut, y4m.data(), y4m.size(), &strError);
        } else {
            bOk = WriteOutput(m_strOut, frames.data(), nFrames * QCIF_FRAME_BYTES, &strError);
        }
        if (!bOk) {
            return CliFail(strError);
        }
        if (nTrailing) {
            CliNote("dropped " + std::to_string(nTrailing) +
                    " bytes after the last whole frame of " + Shown(m_strIn));
        }
        CliNote("wrote " + std::to_string(nFrames) + " frames to " + Shown(m_strOut));
        return kExitOk;
    }

private:
    std::string m_strIn;
    std::string m_strOut;
    uint32_t m_nFrames = 0;
    std::string m_strRate;
};

}  // namespace

std::unique_ptr<CCommand> MakeConvertCommand() {
    return std::make_unique<CConvertCommand>();
}
