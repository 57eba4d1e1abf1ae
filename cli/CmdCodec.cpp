// tavro-cli compress IN.qcf OUT.cmp [-n N] [-t T] [-q Q]
// tavro-cli decompress IN.cmp OUT.qcf

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cli/CliOutputs.h"
#include "cli/CliSupport.h"
#include "cli/CodecRunner.h"
#include "cli/Command.h"
#include "cli/Json.h"
#include "codec/CodecContext.h"
#include "io/QcifFormat.h"

namespace {

class CCompressCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "compress",
            "Compress a raw QCIF stream with the wavelet codec. Writes the compressed stream byte "
            "for byte as a .cmp file and prints one summary line (frames, bytes, compression "
            "ratio). Shows progress on a terminal; Ctrl+C cancels and writes nothing (exit "
            "status 130).");
        m_pApp->add_option("IN", m_strIn, "Raw QCIF stream (.qcf)")->required();
        m_pApp->add_option("OUT", m_strOut, "Compressed stream to write (.cmp)")->required();
        m_pApp
            ->add_option("-n,--frames", m_nFrames,
                         "Frames to code from the start (default: all, at most 65535)")
            ->check(CLI::Range(1, 65535));
        m_pApp->add_option("-t,--threshold", m_nThreshold, "Threshold, widens the dead zone")
            ->check(CLI::Range(1, 255))
            ->capture_default_str();
        m_pApp->add_option("-q,--quantiser", m_nQuantiser, "Quantiser, sets the step sizes")
            ->check(CLI::Range(1, 255))
            ->capture_default_str();
        m_pApp->add_flag("--json", m_bJson, "Print the summary as one JSON object");
        AddQuietFlag(false);  // -q is the quantiser here
    }

    int Run() override {
        if (!CheckInputType(m_strIn, EStreamType::Qcf) ||
            !CheckOutputType(m_strOut, EStreamType::Cmp)) {
            return kExitFailed;
        }
        if (!CheckOutputsDistinct({m_strIn}, {m_strOut})) {
            return kExitFailed;
        }
        std::string strError;
        QcfFileInfo info;
        if (!ProbeQcfFile(m_strIn, info, &strError)) {
            return CliFail(strError);
        }
        uint32_t nFrames = 0;
        if (m_nFrames > 0) {
            if (static_cast<uint64_t>(m_nFrames) > info.nFrames) {
                return CliFail(Quoted(m_strIn) + " holds only " + std::to_string(info.nFrames) +
                               " frames, " + std::to_string(m_nFrames) + " were asked for");
            }
            nFrames = static_cast<uint32_t>(m_nFrames);
        } else if (info.nFrames > CODEC_MAX_FRAMES) {
            CliNote("note: coding the first 65535 of " + std::to_string(info.nFrames) +
                    " frames, the most a compressed stream holds");
            nFrames = CODEC_MAX_FRAMES;
        } else {
            nFrames = static_cast<uint32_t>(info.nFrames);
        }
        std::vector<uint8_t> raw;
        if (!ReadQcfFrames(m_strIn, nFrames, raw, &strError)) {
            return CliFail(strError);
        }

        CCodecContext ctx;
        ctx.m_bCompress = true;
        ctx.m_nFrames = nFrames;
        ctx.m_byThreshold = static_cast<uint8_t>(m_nThreshold);
        ctx.m_byQuantiser = static_cast<uint8_t>(m_nQuantiser);
        ctx.m_pQcf = raw.data();
        switch (RunCodec(ctx, "compress")) {
            case ERunOutcome::Cancelled:
                CliNote("compression cancelled; nothing written");
                return InterruptedStatus();
            case ERunOutcome::Failed:
                return CliFail(std::string("compression failed: ") + CodecErrorText(ctx.m_nError));
            case ERunOutcome::Done:
                break;
        }
        if (!WriteOutput(m_strOut, ctx.m_pCmp, ctx.m_nCmpLength, &strError)) {
            return CliFail(strError);
        }
        double dRatio = RgbCompressionRatio(nFrames, ctx.m_nCmpLength);
        if (CliQuiet()) {
            return kExitOk;
        }
        if (m_bJson) {
            CJsonWriter json;
            json.BeginObject()
                .Value("file", m_strOut)
                .Value("frames", nFrames)
                .Value("bytes", ctx.m_nCmpLength)
                .Value("threshold", m_nThreshold)
                .Value("quantiser", m_nQuantiser)
                .Value("compression_ratio", dRatio)
                .EndObject();
            std::printf("%s\n", json.Text().c_str());
        } else {
            std::printf("%s: %u frames, %u bytes, compression ratio %.2f\n",
                        Shown(m_strOut).c_str(), nFrames, ctx.m_nCmpLength, dRatio);
        }
        return kExitOk;
    }

private:
    std::string m_strIn;
    std::string m_strOut;
    int m_nFrames = 0;  // 0: all
    int m_nThreshold = 10;
    int m_nQuantiser = 16;
    bool m_bJson = false;
};

class CDecompressCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "decompress",
            "Rebuild every frame of a compressed stream as a raw QCIF stream. A damaged stream is "
            "reported and nothing is written. Shows progress on a terminal; Ctrl+C cancels and "
            "writes nothing (exit status 130).");
        m_pApp->add_option("IN", m_strIn, "Compressed stream (.cmp)")->required();
        m_pApp->add_option("OUT", m_strOut, "Raw QCIF stream to write (.qcf)")->required();
        m_pApp->add_flag("--json", m_bJson, "Print the summary as one JSON object");
        AddQuietFlag(true);
    }

    int Run() override {
        if (!CheckInputType(m_strIn, EStreamType::Cmp) ||
            !CheckOutputType(m_strOut, EStreamType::Qcf)) {
            return kExitFailed;
        }
        if (!CheckOutputsDistinct({m_strIn}, {m_strOut})) {
            return kExitFailed;
        }
        std::string strError;
        CmpFileInfo info;
        if (!ProbeCmpFile(m_strIn, info, &strError)) {
            return CliFail(strError);
        }
        std::vector<uint8_t> cmp;
        if (!ReadWholeFile(m_strIn, cmp, &strError)) {
            return CliFail(strError);
        }
        // A header that claims more frames than its data can hold is damage,
        // found before the frames are allocated.
        if (const CodecError nError =
                CheckStreamLength(cmp.data(), uint32_t(cmp.size()), info.nFrames);
            nError != CodecError::None) {
            return CliFail(Quoted(m_strIn) + ": " + CodecErrorText(nError));
        }
        // malloc rather than a vector: pages of a large output are only touched
        // as frames are rebuilt.
        const uint64_t nRawBytes = static_cast<uint64_t>(info.nFrames) * QCIF_FRAME_BYTES;
        std::unique_ptr<uint8_t, decltype(&std::free)> raw(
            static_cast<uint8_t*>(std::malloc(static_cast<size_t>(nRawBytes))), &std::free);
        if (!raw) {
            return CliFail("not enough memory for the " + std::to_string(info.nFrames) +
                           " frames " + Quoted(m_strIn) + " declares");
        }

        CCodecContext ctx;
        ctx.m_bCompress = false;
        ctx.m_nFrames = info.nFrames;
        ctx.m_byThreshold = static_cast<uint8_t>(info.nThreshold);
        ctx.m_byQuantiser = static_cast<uint8_t>(info.nQuantiser);
        ctx.m_pCmp = cmp.data();
        ctx.m_nCmpLength = static_cast<uint32_t>(cmp.size());
        ctx.m_pQcf = raw.get();
        switch (RunCodec(ctx, "decompress")) {
            case ERunOutcome::Cancelled:
                CliNote("decompression cancelled; nothing written");
                return InterruptedStatus();
            case ERunOutcome::Failed:
                return CliFail(Quoted(m_strIn) + ": " + CodecErrorText(ctx.m_nError));
            case ERunOutcome::Done:
                break;
        }
        if (!WriteOutput(m_strOut, raw.get(), nRawBytes, &strError)) {
            return CliFail(strError);
        }
        if (CliQuiet()) {
            return kExitOk;
        }
        if (m_bJson) {
            CJsonWriter json;
            json.BeginObject()
                .Value("file", m_strOut)
                .Value("frames", info.nFrames)
                .Value("bytes", nRawBytes)
                .EndObject();
            std::printf("%s\n", json.Text().c_str());
        } else {
            std::printf("%s: %u frames, %llu bytes\n", Shown(m_strOut).c_str(), info.nFrames,
                        static_cast<unsigned long long>(nRawBytes));
        }
        return kExitOk;
    }

private:
    std::string m_strIn;
    std::string m_strOut;
    bool m_bJson = false;
};

}  // namespace

std::unique_ptr<CCommand> MakeCompressCommand() {
    return std::make_unique<CCompressCommand>();
}
std::unique_ptr<CCommand> MakeDecompressCommand() {
    return std::make_unique<CDecompressCommand>();
}
