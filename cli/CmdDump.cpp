// tavro-cli dump IN --frame K [-t T] [-q Q] --stage pyramid|indices|records [--out DIR]

#include <cstdio>
#include <filesystem>
#include <memory>

#include "cli/CliOutputs.h"
#include "cli/CliSupport.h"
#include "cli/ClipInput.h"
#include "cli/Command.h"
#include "cli/Json.h"
#include "cli/PngWriter.h"
#include "cli/PyramidPicture.h"
#include "codec/CodecRun.h"
#include "codec/StageDump.h"
#include "io/QcifFormat.h"

namespace {

class CDumpCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "dump",
            "Show one stage of the codec for frame K, computed by the codec's own routines.\n"
            "  pyramid  the wavelet pyramid as a picture (Y on top, U and V below; each subband "
            "scaled on its own, detail bands around mid grey; subband edges drawn white), "
            "written as PNG (or PGM) into --out (default: the current folder)\n"
            "  indices  per quantiser band: the subbands it covers, step, nonzero indices, "
            "smallest and largest index, energy (sum of squared indices)\n"
            "  records  frame records before and after zero-run coding: expanded bytes, nonzero "
            "bytes, coded bytes (the 4-byte length included); frames 1..K are compressed since "
            "every frame after the first codes differences from the one before");
        m_pApp->add_option("IN", m_strIn, std::string("Clip: ") + CLIP_INPUT_HELP)
            ->type_name("FILE")
            ->required();
        AddRanged(m_pApp, "-k,--frame", m_nFrame, 1, 0, "Frame number")->type_name("K")->required();
        AddRanged(m_pApp, "-t,--threshold", m_nThreshold, 1, 255, "Threshold", "10");
        AddRanged(m_pApp, "-q,--quantiser", m_nQuantiser, 1, 255, "Quantiser", "16");
        m_pApp->add_option("--stage", m_strStage, "pyramid, indices or records")
            ->required()
            ->check(CLI::IsMember({"pyramid", "indices", "records"}))
            ->type_name("STAGE");
        m_pApp
            ->add_option("--out", m_strOutDir,
                         "Folder for the files: the picture, or the table as CSV (instead of "
                         "stdout); made when missing")
            ->type_name("DIR");
        AddRanged(m_pApp, "--scale", m_nZoom, 1, 8, "Pyramid picture enlargement", "2");
        // The older spelling, for scripts.
        m_pApp->add_option("--zoom", m_nZoom)
            ->check(CLI::Validator(
                [](std::string& strValue) {
                    const std::string strWhy = RangeInWords(1, 8)(strValue);
                    return strWhy.empty() ? strWhy : "--zoom: " + strWhy;
                },
                ""))
            ->group("");
        m_pApp->add_flag("--pgm", m_bPgm, "Write the pyramid as binary PGM instead of PNG");
        m_pApp->add_flag("--all-frames", m_bAllFrames, "records: list frames 1..K, not only K");
        m_pApp->add_flag("--json", m_bJson, "Print the table as one JSON object");
        AddQuietFlag(false);
    }

    int Run() override {
        std::string strError;
        std::unique_ptr<IFrameSource> pSource = OpenClip(m_strIn, &strError);
        if (!pSource) {
            return CliFail(strError);
        }
        const bool bRecords = m_strStage == "records";
        if (bRecords && m_nFrame > CODEC_MAX_FRAMES) {
            return CliFail("records: frames 1.." + std::to_string(m_nFrame) +
                           " would be compressed together, and a compressed stream holds at most " +
                           std::to_string(CODEC_MAX_FRAMES));
        }
        // The records stage codes frames 1..K; the others need frame K alone.
        uint64_t nHeld = 0;
        if (bRecords) {
            bool bMore = false;
            if (!ReadFrames(*pSource, m_nFrame, m_clip, &bMore, &strError)) {
                return CliFail(strError);
            }
            nHeld = m_clip.size() / QCIF_FRAME_BYTES;
        } else {
            m_clip.resize(QCIF_FRAME_BYTES);
            EFrameRead r = pSource->Skip(m_nFrame - 1);
            if (r == EFrameRead::Frame) {
                r = pSource->Read(m_clip.data());
            }
            if (r == EFrameRead::Failed) {
                return CliFail(pSource->GetError());
            }
            nHeld = r == EFrameRead::Frame ? m_nFrame : 0;
        }
        if (nHeld < m_nFrame) {
            return CliFail(Quoted(m_strIn) + " holds fewer than " + std::to_string(m_nFrame) +
                           " frames; there is no frame " + std::to_string(m_nFrame));
        }
        m_strStem =
            std::filesystem::path(m_strIn).stem().string() + "_f" + std::to_string(m_nFrame);
        if (!m_strOutDir.empty()) {
            std::error_code error;
            std::filesystem::create_directories(m_strOutDir, error);
            if (!std::filesystem::is_directory(m_strOutDir)) {
                return CliFail("--out: " + Quoted(m_strOutDir) +
                               " is not a folder and cannot be one" +
                               (error ? ": " + error.message() : std::string()));
            }
        }
        const uint8_t* pFrame = m_clip.data() + (bRecords ? m_clip.size() - QCIF_FRAME_BYTES : 0);
        if (m_strStage == "pyramid") {
            return Pyramid(pFrame);
        }
        if (m_strStage == "indices") {
            return Indices(pFrame);
        }
        return Records();
    }

private:
    std::string OutPath(const std::string& strName) const {
        return (std::filesystem::path(m_strOutDir.empty() ? "." : m_strOutDir) / strName).string();
    }

    std::string Params() const {
        return "_t" + std::to_string(m_nThreshold) + "_q" + std::to_string(m_nQuantiser);
    }

    int Emit(const std::string& strTable, const std::string& strJson, const std::string& strName) {
        if (!m_strOutDir.empty()) {
            const std::string strPath = OutPath(strName);
            std::string strError;
            if (!CheckOutputsDistinct({m_strIn}, {strPath})) {
                return kExitFailed;
            }
            if (!WriteOutput(strPath, strTable.data(), strTable.size(), &strError)) {
                return CliFail(strError);
            }
            CliNote("wrote " + Shown(strPath));
        }
        if (m_bJson) {
            std::printf("%s\n", strJson.c_str());
        } else if (m_strOutDir.empty()) {
            std::fputs(strTable.c_str(), stdout);
        }
        return std::fflush(stdout) == 0 ? kExitOk : CliFail("cannot write to stdout");
    }

    int Pyramid(const uint8_t* pFrame) {
        std::vector<int16_t> pyramid;
        if (!FramePyramid(pFrame, pyramid)) {
            return CliFail("not enough memory for the wavelet pyramid");
        }
        const SGreyImage image = RenderPyramid(pyramid.data(), m_nZoom);
        std::vector<uint8_t> bytes;
        if (m_bPgm) {
            bytes = EncodePgm(image);
        } else if (std::string strError; !EncodePng(image.nWidth, image.nHeight, 1,
                                                    image.pixels.data(), bytes, &strError)) {
            return CliFail(strError);
        }
        const std::string strPath = OutPath(m_strStem + "_pyramid" + (m_bPgm ? ".pgm" : ".png"));
        std::string strError;
        if (!CheckOutputsDistinct({m_strIn}, {strPath})) {
            return kExitFailed;
        }
        if (!WriteOutput(strPath, bytes.data(), bytes.size(), &strError)) {
            return CliFail(strError);
        }
        if (m_bJson) {
            CJsonWriter json;
            json.BeginObject()
                .Value("file", strPath)
                .Value("width", image.nWidth)
                .Value("height", image.nHeight)
                .EndObject();
            std::printf("%s\n", json.Text().c_str());
        }
        CliNote("wrote " + Shown(strPath) + " (" + std::to_string(image.nWidth) + "x" +
                std::to_string(image.nHeight) + ")");
        return kExitOk;
    }

    int Indices(const uint8_t* pFrame) {
        std::vector<int16_t> indices;
        if (!FrameIndices(pFrame, uint8_t(m_nThreshold), uint8_t(m_nQuantiser), indices)) {
            return CliFail("not enough memory for the quantised frame");
        }
        const std::vector<SBandStats> bands = BandStatistics(indices.data(), uint8_t(m_nQuantiser));
        std::string strTable;
        char sz[256];
        if (!m_strOutDir.empty()) {
            strTable = "band,subbands,first,count,step,nonzero,min,max,energy\n";
        } else {
            std::snprintf(sz, sizeof sz, "%4s  %-18s %6s %5s %5s %8s %6s %6s %12s\n", "band",
                          "subbands", "first", "count", "step", "nonzero", "min", "max", "energy");
            strTable = sz;
        }
        CJsonWriter json;
        json.BeginObject()
            .Value("file", m_strIn)
            .Value("frame", m_nFrame)
            .Value("threshold", m_nThreshold)
            .Value("quantiser", m_nQuantiser)
            .BeginArray("bands");
        for (const SBandStats& b : bands) {
            const char* pszFormat = m_strOutDir.empty()
                                        ? "%4u  %-18s %6u %5u %5u %8u %6d %6d %12llu\n"
                                        : "%u,%s,%u,%u,%u,%u,%d,%d,%llu\n";
            std::snprintf(sz, sizeof sz, pszFormat, b.nBand, b.strName.c_str(), b.nStart, b.nCount,
                          unsigned(b.nStep), b.nNonzero, int(b.nMin), int(b.nMax),
                          static_cast<unsigned long long>(b.nEnergy));
            strTable += sz;
            json.BeginObject()
                .Value("band", b.nBand)
                .Value("subbands", b.strName)
                .Value("first", b.nStart)
                .Value("count", b.nCount)
                .Value("step", uint32_t(b.nStep))
                .Value("nonzero", b.nNonzero)
                .Value("min", int32_t(b.nMin))
                .Value("max", int32_t(b.nMax))
                .Value("energy", b.nEnergy)
                .EndObject();
        }
        json.EndArray().EndObject();
        return Emit(strTable, json.Text(), m_strStem + Params() + "_indices.csv");
    }

    int Records() {
        std::vector<uint8_t> cmp;
        const CodecError nError = CompressFrames(
            m_clip.data(), {m_nFrame, uint8_t(m_nThreshold), uint8_t(m_nQuantiser)}, cmp);
        if (nError != CodecError::None) {
            return CliFail(std::string("compression failed: ") + CodecErrorText(nError));
        }
        SRecordStream stream;
        std::string strError;
        if (!MeasureRecords(cmp.data(), uint32_t(cmp.size()), stream, &strError)) {
            return CliFail(strError);
        }

        std::string strTable;
        char sz[256];
        const bool bCsv = !m_strOutDir.empty();
        if (bCsv) {
            strTable = "frame,expanded,nonzero,coded\n";
        } else {
            std::snprintf(sz, sizeof sz, "%6s %9s %9s %9s %7s\n", "frame", "expanded", "nonzero",
                          "coded", "ratio");
            strTable = sz;
        }
        CJsonWriter json;
        json.BeginObject()
            .Value("file", m_strIn)
            .Value("frame", m_nFrame)
            .Value("threshold", m_nThreshold)
            .Value("quantiser", m_nQuantiser)
            .Value("records_bytes", stream.nRecordsLength)
            .Value("cmp_bytes", stream.nCmpLength)
            .BeginArray("records");
        for (const SRecordSize& r : stream.records) {
            if (!m_bAllFrames && r.nFrame != m_nFrame) {
                continue;
            }
            std::snprintf(sz, sizeof sz, bCsv ? "%u,%u,%u,%u\n" : "%6u %9u %9u %9u %7.2f\n",
                          r.nFrame, r.nExpanded, r.nNonzero, r.nCoded,
                          double(r.nExpanded) / r.nCoded);
            strTable += sz;
            json.BeginObject()
                .Value("frame", r.nFrame)
                .Value("expanded", r.nExpanded)
                .Value("nonzero", r.nNonzero)
                .Value("coded", r.nCoded)
                .EndObject();
        }
        json.EndArray().EndObject();
        if (!bCsv) {
            std::snprintf(sz, sizeof sz,
                          "frames 1..%u: %u record bytes, %u compressed bytes with the header "
                          "(LZARI %.2f : 1)\n",
                          m_nFrame, stream.nRecordsLength, stream.nCmpLength,
                          double(stream.nRecordsLength) / (stream.nCmpLength - 4));
            strTable += sz;
        }
        return Emit(strTable, json.Text(), m_strStem + Params() + "_records.csv");
    }

    std::string m_strIn;
    uint32_t m_nFrame = 1;
    uint32_t m_nThreshold = 10;
    uint32_t m_nQuantiser = 16;
    std::string m_strStage;
    std::string m_strOutDir;
    uint32_t m_nZoom = 2;  // --scale
    bool m_bPgm = false;
    bool m_bAllFrames = false;
    bool m_bJson = false;
    std::vector<uint8_t> m_clip;
    std::string m_strStem;
};

}  // namespace

std::unique_ptr<CCommand> MakeDumpCommand() {
    return std::make_unique<CDumpCommand>();
}
