// tavro-cli compress IN OUT.cmp [-n N|A-B] [--start K] [-t T] [-q Q] [--threads N]
// tavro-cli decompress IN.cmp OUT [--threads N]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cli/CliOutputs.h"
#include "cli/CliSupport.h"
#include "cli/ClipInput.h"
#include "cli/CodecRunner.h"
#include "cli/Command.h"
#include "cli/Json.h"
#include "cli/Progress.h"
#include "cli/ReportWriters.h"
#include "codec/CodecContext.h"
#include "io/QcifFormat.h"
#include "io/SafeFileWriter.h"
#include "stream/FrameWriter.h"

namespace {

// The compressed stream goes to the output file as it is coded; the length
// field at its front is patched in place when the run ends.
class CWriterSink : public ILzariSink {
public:
    explicit CWriterSink(CSafeFileWriter& out) : m_out(out) {}
    bool Append(const uint8_t* pBytes, uint32_t nCount) override {
        m_nLength += nCount;
        return m_out.Write(pBytes, nCount);
    }
    uint64_t Length() const override { return m_nLength; }
    bool Overwrite(uint64_t nAt, const uint8_t* pBytes, uint32_t nCount) override {
        return m_out.WriteAt(nAt, pBytes, nCount);
    }

private:
    CSafeFileWriter& m_out;
    uint64_t m_nLength = 0;
};

class CCompressCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "compress",
            "Compress a clip with the wavelet codec. Writes the compressed stream byte for byte "
            "as a .cmp file and prints one summary line: frames, bytes, the compression ratio as "
            "the "
            "desktop summary shows it (frames as 24-bit RGB, 76032 bytes each, to the stream), the "
            "ratio to the raw 4:2:0 frames (38016 bytes each), bits per pixel and kb/s at --fps. "
            "Reads the clip a frame at a time as it is coded; an input that cannot tell its "
            "length up front (a pipe, .y4m, video) is first copied to an unnamed temporary file "
            "in $TMPDIR (else /tmp), since the stream's header states the frame count. "
            "The .cmp is written as it is coded, so memory does not grow with the clip; a pipe, "
            "device or stdout receives it only once it is complete (it waits in an unnamed "
            "temporary file in $TMPDIR until then). "
            "Shows progress on a terminal; Ctrl+C cancels and writes nothing (exit status 130).");
        m_pApp->add_option("IN", m_strIn, std::string("Clip to compress: ") + CLIP_INPUT_HELP)
            ->type_name("FILE")
            ->required();
        m_pApp->add_option("OUT", m_strOut, "Compressed stream to write (.cmp)")
            ->type_name("FILE")
            ->required();
        AddFrameChoice(m_pApp, m_frames, "Frames to code (at most 65535)");
        AddRanged(m_pApp, "-t,--threshold", m_nThreshold, 1, 255, "Threshold, widens the dead zone",
                  "10");
        AddRanged(m_pApp, "-q,--quantiser", m_nQuantiser, 1, 255, "Quantiser, sets the step sizes",
                  "16");
        m_pApp
            ->add_option("--fps", m_strFps,
                         "Frame rate for kb/s, e.g. 30, 25 or 30000:1001 (default 30)")
            ->type_name("RATE");
        AddThreadsOption(m_pApp, m_nThreads, "Threads that transform frames");
        m_pApp->add_flag("--json", m_bJson, "Print the summary as one JSON object");
        AddQuietFlag(false);  // -q is the quantiser here
    }

    int Run() override {
        if (!CheckOutputType(m_strOut, EStreamType::Cmp)) {
            return kExitFailed;
        }
        std::string strError;
        uint64_t nFirst = 1, nCount = 0;
        if (!m_frames.Resolve(nFirst, nCount, &strError)) {
            return Usage(strError);
        }
        if (nCount > CODEC_MAX_FRAMES) {
            return Usage("--frames: a compressed stream holds at most 65535 frames");
        }
        double dFps = 30;
        if (!ParseFps(m_strFps, dFps)) {
            return Usage("--fps: \"" + m_strFps +
                         "\" is not a frame rate such as 30 or 30000:1001");
        }
        if (!CheckOutputsDistinct({m_strIn}, {m_strOut})) {
            return kExitFailed;
        }
        std::unique_ptr<IFrameSource> pSource = OpenClip(m_strIn, &strError);
        if (!pSource) {
            return CliFail(strError);
        }
        pSource = LimitFrames(std::move(pSource), nFirst, nCount);
        // The header states the frame count, so it must be known before the
        // first frame is coded. A file says how many frames it holds; any
        // other input is first read into a temporary file, which does.
        const uint64_t nLimit = nCount ? nCount : CODEC_MAX_FRAMES;
        uint64_t nKnown = pSource->FramesLeftHint();
        bool bMore = nKnown > nLimit;
        if (nKnown == 0) {
            pSource = SpoolFrames(*pSource, nLimit, &bMore, &strError);
            if (!pSource && Interrupted()) {
                CliNote("compression cancelled; nothing written");
                return InterruptedStatus();
            }
            if (!pSource) {
                return CliFail(strError);
            }
            nKnown = pSource->FramesLeftHint();
        }
        const uint32_t nFrames = uint32_t(std::min(nKnown, nLimit));
        const std::string strFrom = nFirst > 1 ? " from frame " + std::to_string(nFirst) : "";
        if (nFrames == 0) {
            return CliFail(Quoted(m_strIn) + " holds no whole frame" + strFrom);
        }
        if (nCount > nFrames) {
            return CliFail(Quoted(m_strIn) + " holds only " + std::to_string(nFrames) + " frames" +
                           strFrom + ", " + std::to_string(nCount) + " were asked for");
        }
        if (bMore && nCount == 0) {
            CliNote(
                "note: coding the first 65535 frames, the most a compressed stream holds; "
                "the clip has more");
        }

        // The stream is written as it is coded. A pipe or device gets it only
        // once the run is complete (held in an unnamed temporary file until
        // then), so a failed or cancelled run writes nothing anywhere.
        CSafeFileWriter out;
        out.SetHoldDirect(true);
        if (!OpenOutput(out, m_strOut)) {
            return CliFail(out.GetError());
        }
        CWriterSink sink(out);

        // The frames are read as the codec asks for them, in order, on its thread.
        std::string strReadError;
        CCodecContext ctx;
        ctx.m_bCompress = true;
        ctx.m_nFrames = nFrames;
        ctx.m_byThreshold = static_cast<uint8_t>(m_nThreshold);
        ctx.m_byQuantiser = static_cast<uint8_t>(m_nQuantiser);
        ctx.m_nThreads = ThreadsOrDefault(m_nThreads);
        ctx.m_pCmpSink = &sink;
        ctx.m_readFrame = [&](uint32_t nFrame, uint8_t* pFrame) {
            const EFrameRead r = pSource->Read(pFrame);
            if (r == EFrameRead::Failed) {
                strReadError = pSource->GetError();
            } else if (r == EFrameRead::End) {
                strReadError = Quoted(m_strIn) + " ended after " + std::to_string(nFrame) +
                               " frames" + strFrom + "; it held " + std::to_string(nFrames) +
                               " when it was opened";
            }
            return r == EFrameRead::Frame;
        };
        switch (RunCodec(ctx, "compress")) {
            case ERunOutcome::Cancelled:
                CliNote("compression cancelled; nothing written");
                return InterruptedStatus();
            case ERunOutcome::Failed:
                if (ctx.m_nError == CodecError::ReadFailed && !strReadError.empty()) {
                    return CliFail(strReadError);
                }
                if (ctx.m_nError == CodecError::WriteFailed && !out.GetError().empty()) {
                    return CliFail(out.GetError());
                }
                return CliFail(std::string("compression failed: ") + CodecErrorText(ctx.m_nError));
            case ERunOutcome::Done:
                break;
        }
        if (!CommitOutputs({&out}, &strError)) {
            return CliFail(strError);
        }
        const SRateFigures rate = RateFigures(nFrames, ctx.m_nCmpLength, dFps);
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
                .Value("compression_ratio", rate.dRgbRatio)
                .Value("rgb_ratio", rate.dRgbRatio)
                .Value("raw_ratio", rate.dRawRatio)
                .Value("bits_per_pixel", rate.dBitsPerPixel)
                .Value("fps", dFps)
                .Value("kbps", rate.dKbps)
                .EndObject();
            std::printf("%s\n", json.Text().c_str());
        } else {
            std::printf(
                "%s: %u frames, %u bytes, compression ratio %.2f (RGB, as the desktop "
                "summary), raw ratio %.2f, %.4f bpp, %.1f kb/s at %s fps\n",
                Shown(m_strOut).c_str(), nFrames, ctx.m_nCmpLength, rate.dRgbRatio, rate.dRawRatio,
                rate.dBitsPerPixel, rate.dKbps, FpsText(dFps).c_str());
        }
        return kExitOk;
    }

private:
    std::string m_strIn;
    std::string m_strOut;
    SFrameChoice m_frames;
    int m_nThreshold = 10;
    int m_nQuantiser = 16;
    std::string m_strFps = "30";
    uint32_t m_nThreads = 0;
    bool m_bJson = false;
};

class CDecompressCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "decompress",
            "Rebuild every frame of a compressed stream as a raw QCIF stream, written frame by "
            "frame as the stream is read, so memory stays flat whatever the clip's length (a "
            "window of the decoded records and a few frames per thread). "
            "A damaged stream is reported and no file is written (on standard output, the "
            "frames before the fault have gone out). Shows progress on a "
            "terminal; Ctrl+C cancels and writes no file (exit status 130).");
        m_pApp->add_option("IN", m_strIn, "Compressed stream (.cmp)")
            ->type_name("FILE")
            ->required();
        m_pApp->add_option("OUT", m_strOut, CLIP_OUTPUT_HELP)->type_name("FILE")->required();
        AddThreadsOption(m_pApp, m_nThreads, "Threads that rebuild frames");
        m_pApp->add_flag("--json", m_bJson, "Print the summary as one JSON object");
        AddQuietFlag(true);
    }

    int Run() override {
        if (!CheckInputType(m_strIn, EStreamType::Cmp)) {
            return kExitFailed;
        }
        EFrameFormat format = FrameFormatOf(m_strOut);
        if (format == EFrameFormat::Unknown && IsStreamTarget(m_strOut)) {
            format = EFrameFormat::Raw;
        }
        if (format == EFrameFormat::Unknown) {
            return CliFail("output " + Quoted(m_strOut) +
                           " must be named as a raw QCIF stream (.qcf, .yuv), a .y4m or -");
        }
        if (!CheckOutputsDistinct({m_strIn}, {m_strOut})) {
            return kExitFailed;
        }
        CSafeFileWriter out;
        CFrameWriter writer;
        const int nStatus = ThreadsOrDefault(m_nThreads) > 1 ? Pipelined(out, writer, format)
                                                             : FrameByFrame(out, writer, format);
        if (nStatus != kExitOk) {
            return nStatus;
        }
        std::string strError;
        if (!CommitOutputs({&out}, &strError)) {
            return CliFail(strError);
        }
        const uint64_t nRawBytes = writer.Frames() * QCIF_FRAME_BYTES;
        if (CliQuiet()) {
            return kExitOk;
        }
        if (m_bJson) {
            CJsonWriter json;
            json.BeginObject()
                .Value("file", m_strOut)
                .Value("frames", writer.Frames())
                .Value("bytes", nRawBytes)
                .EndObject();
            std::printf("%s\n", json.Text().c_str());
        } else if (m_strOut == "-") {
            CliNote("decompressed " + std::to_string(writer.Frames()) + " frames (" +
                    std::to_string(nRawBytes) + " bytes) to stdout");
        } else {
            std::printf("%s: %llu frames, %llu bytes\n", Shown(m_strOut).c_str(),
                        static_cast<unsigned long long>(writer.Frames()),
                        static_cast<unsigned long long>(nRawBytes));
        }
        return kExitOk;
    }

private:
    // One thread: the decoder reads the compressed stream as the frames need
    // it and holds a window of the record stream; the output one frame.
    int FrameByFrame(CSafeFileWriter& out, CFrameWriter& writer, EFrameFormat format) {
        std::string strError;
        std::unique_ptr<IFrameSource> pSource = OpenClip(m_strIn, &strError);
        if (!pSource) {
            return CliFail(strError);
        }
        if (!OpenOutput(out, m_strOut) || !writer.Begin(out, format, 25, 1)) {
            return CliFail(out.GetError());
        }
        std::vector<uint8_t> frame(QCIF_FRAME_BYTES);
        CProgressLine progress("decompress", pSource->FramesLeftHint());
        while (true) {
            if (Interrupted()) {
                return CliFail("interrupted");
            }
            const EFrameRead r = pSource->Read(frame.data());
            if (r == EFrameRead::End) {
                return kExitOk;
            }
            if (r == EFrameRead::Failed) {
                return CliFail(pSource->GetError());
            }
            if (!writer.Write(frame.data())) {
                return CliFail(writer.GetError());
            }
            progress.Show(writer.Frames());
        }
    }

    // More threads: the pipelined run hands each frame to the writer as soon
    // as it and those before it are rebuilt; it reads the compressed stream as
    // its LZARI thread asks and holds a window of the record stream and a few
    // frames per thread.
    int Pipelined(CSafeFileWriter& out, CFrameWriter& writer, EFrameFormat format) {
        std::string strError;
        CCmpFile cmp;
        if (!cmp.Open(m_strIn, &strError)) {
            return CliFail(strError);
        }
        const SCmpHeader& header = cmp.Header();
        if (!OpenOutput(out, m_strOut) || !writer.Begin(out, format, 25, 1)) {
            return CliFail(out.GetError());
        }
        CCodecContext ctx;
        ctx.m_bCompress = false;
        ctx.m_nFrames = header.nFrames;
        ctx.m_byThreshold = header.byThreshold;
        ctx.m_byQuantiser = header.byQuantiser;
        ctx.m_pCmpSource = &cmp;
        ctx.m_nCmpLength = cmp.Length();
        ctx.m_nThreads = ThreadsOrDefault(m_nThreads);
        ctx.m_writeFrame = [&writer](uint32_t, const uint8_t* pFrame) {
            return writer.Write(pFrame);
        };
        switch (RunCodec(ctx, "decompress")) {
            case ERunOutcome::Cancelled:
                return CliFail("interrupted");
            case ERunOutcome::Failed:
                if (ctx.m_nError == CodecError::WriteFailed) {
                    return CliFail(writer.GetError());
                }
                if (!cmp.ReadError().empty()) {
                    return CliFail(cmp.ReadError());
                }
                // A record at fault names its frame, as the frame-by-frame decoder does.
                return CliFail(CmpFailureText(m_strIn, ctx.m_nError,
                                              ctx.m_nError == CodecError::MissingFrames ||
                                                      ctx.m_nError == CodecError::BadRecord
                                                  ? ctx.m_nFrame + 1u
                                                  : 0));
            case ERunOutcome::Done:
                break;
        }
        if (!cmp.ReadError().empty()) {
            return CliFail(cmp.ReadError());  // decoded from what was read, but not the file
        }
        return kExitOk;
    }

    std::string m_strIn;
    std::string m_strOut;
    uint32_t m_nThreads = 0;
    bool m_bJson = false;
};

}  // namespace

std::unique_ptr<CCommand> MakeCompressCommand() {
    return std::make_unique<CCompressCommand>();
}
std::unique_ptr<CCommand> MakeDecompressCommand() {
    return std::make_unique<CDecompressCommand>();
}
