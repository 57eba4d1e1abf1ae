// tavro-cli info FILE [--json]

#include <cstdio>

#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "cli/Json.h"
#include "io/File.h"
#include "io/QcifFormat.h"

namespace {

class CInfoCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "info",
            "Describe a stream file: frames and byte length; for a compressed stream also the "
            "threshold, the quantiser, the average bytes per frame and the compression ratio "
            "(frames x 76032 / compressed bytes, header included, as the desktop summary shows "
            "it). Reads only the header and the file length.");
        m_pApp->add_option("FILE", m_strFile, "A .qcf or .cmp file")->required();
        m_pApp->add_flag("--json", m_bJson, "Print the figures as one JSON object");
        AddQuietFlag(true);
    }

    int Run() override {
        std::string strError;
        switch (StreamTypeOf(m_strFile)) {
            case EStreamType::Qcf: {
                QcfFileInfo info;
                if (!ProbeQcfFile(m_strFile, info, &strError)) {
                    return CliFail(strError);
                }
                uint64_t nTrailing = info.nBytes - info.nFrames * QCIF_FRAME_BYTES;
                if (m_bJson) {
                    CJsonWriter json;
                    json.BeginObject()
                        .Value("file", m_strFile)
                        .Value("type", "qcf")
                        .Value("frames", info.nFrames)
                        .Value("bytes", info.nBytes)
                        .Value("trailing_bytes", nTrailing)
                        .EndObject();
                    std::printf("%s\n", json.Text().c_str());
                } else {
                    std::printf("file: %s\n", Shown(m_strFile).c_str());
                    std::printf("type: raw QCIF stream\n");
                    std::printf("frames: %llu\n", static_cast<unsigned long long>(info.nFrames));
                    std::printf("bytes: %llu\n", static_cast<unsigned long long>(info.nBytes));
                    if (nTrailing) {
                        std::printf("trailing bytes: %llu (after the last whole frame)\n",
                                    static_cast<unsigned long long>(nTrailing));
                    }
                }
                return kExitOk;
            }
            case EStreamType::Cmp: {
                CmpFileInfo info;
                if (!ProbeCmpFile(m_strFile, info, &strError)) {
                    return CliFail(strError);
                }
                double dAverage = static_cast<double>(info.nBytes) / info.nFrames;
                double dRatio = RgbCompressionRatio(info.nFrames, info.nBytes);
                if (m_bJson) {
                    CJsonWriter json;
                    json.BeginObject()
                        .Value("file", m_strFile)
                        .Value("type", "cmp")
                        .Value("frames", info.nFrames)
                        .Value("bytes", info.nBytes)
                        .Value("threshold", info.nThreshold)
                        .Value("quantiser", info.nQuantiser)
                        .Value("bytes_per_frame", dAverage)
                        .Value("compression_ratio", dRatio)
                        .EndObject();
                    std::printf("%s\n", json.Text().c_str());
                } else {
                    std::printf("file: %s\n", Shown(m_strFile).c_str());
                    std::printf("type: compressed stream\n");
                    std::printf("frames: %u\n", info.nFrames);
                    std::printf("bytes: %llu\n", static_cast<unsigned long long>(info.nBytes));
                    std::printf("threshold: %u\n", info.nThreshold);
                    std::printf("quantiser: %u\n", info.nQuantiser);
                    std::printf("bytes per frame: %.2f\n", dAverage);
                    std::printf("compression ratio: %.2f\n", dRatio);
                }
                return kExitOk;
            }
            case EStreamType::Unknown:
                break;
        }
        return CliFail(Quoted(m_strFile) + ": unknown file type (expected .qcf or .cmp)");
    }

private:
    std::string m_strFile;
    bool m_bJson = false;
};

}  // namespace

std::unique_ptr<CCommand> MakeInfoCommand() {
    return std::make_unique<CInfoCommand>();
}
