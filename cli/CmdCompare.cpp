// tavro-cli compare IN.qcf REF.qcf [--frame K] [--csv FILE] [--json]

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliOutputs.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "cli/Json.h"
#include "io/QcifFormat.h"
#include "stats/FrameFigures.h"

namespace {

// Full precision for machine-read output; infinity spelled as ffmpeg does.
std::string CsvNumber(double d) {
    if (std::isinf(d)) {
        return d > 0 ? "inf" : "-inf";
    }
    char sz[40];
    std::snprintf(sz, sizeof sz, "%.17g", d);
    return sz;
}

struct SFrameRow {
    uint32_t nFrame;  // 1-based
    SFrameFigures figures;
    SPlaneFigures planes;
};

class CCompareCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "compare",
            "Measure the loss of IN against the reference REF over the frames both hold (or one "
            "frame): per frame and as the mean, RMSE and PSNR of the whole frame as the desktop's "
            "comparison computes them (an identical frame shows \"Match\" and counts in the means "
            "with RMSE 0 and PSNR 93.93 dB).");
        m_pApp->add_option("IN", m_strIn, "Raw QCIF stream to measure (.qcf)")->required();
        m_pApp->add_option("REF", m_strRef, "Reference raw QCIF stream (.qcf)")->required();
        m_pApp->add_option("--frame", m_nFrame, "Compare only this frame (1-based)")
            ->check(CLI::Range(uint32_t{1}, UINT32_MAX));
        m_pApp->add_option("--csv", m_strCsv,
                           "Also write frame,rmse,psnr,psnr_y,psnr_u,psnr_v per frame, full "
                           "precision (the per-plane PSNRs use peak 255; inf for an identical "
                           "plane); - for stdout, instead of the report");
        m_pApp->add_option(
            "--stats-file", m_strStatsFile,
            "Also write one line per frame in the format of ffmpeg's psnr filter stats file "
            "(n:1 mse_avg:... mse_y:... mse_u:... mse_v:... psnr_avg:... psnr_y:... psnr_u:... "
            "psnr_v:...): each mse_ is the mean squared error over that plane's samples, mse_avg "
            "over all 38016 samples of the frame, each psnr_ follows from its mse_ with peak 255 "
            "(inf for no difference); n counts from 1; - for stdout, instead of the report");
        m_pApp->add_flag("--json", m_bJson, "Print everything as one JSON object");
        AddQuietFlag(true);
    }

    int Run() override {
        if (!CheckInputType(m_strIn, EStreamType::Qcf) ||
            !CheckInputType(m_strRef, EStreamType::Qcf)) {
            return kExitFailed;
        }
        if (!CheckOutputsDistinct({m_strIn, m_strRef}, {m_strCsv, m_strStatsFile})) {
            return kExitFailed;
        }
        const bool bStdoutTaken = m_strCsv == "-" || m_strStatsFile == "-";
        if (bStdoutTaken && m_bJson) {
            std::fprintf(stderr,
                         "tavro-cli compare: --json and an output named - both want "
                         "stdout\n");
            return kExitUsage;
        }
        std::string strError;
        QcfFileInfo in, ref;
        if (!ProbeQcfFile(m_strIn, in, &strError) || !ProbeQcfFile(m_strRef, ref, &strError)) {
            return CliFail(strError);
        }
        uint64_t nCommon = std::min(in.nFrames, ref.nFrames);
        if (in.nFrames != ref.nFrames) {
            CliNote("note: " + Shown(m_strIn) + " has " + std::to_string(in.nFrames) + " frames, " +
                    Shown(m_strRef) + " " + std::to_string(ref.nFrames) + "; comparing the first " +
                    std::to_string(nCommon));
        }
        uint64_t nFirst = 1, nLast = nCommon;
        if (m_nFrame > 0) {
            if (static_cast<uint64_t>(m_nFrame) > nCommon) {
                return CliFail("frame " + std::to_string(m_nFrame) +
                               " is not in both streams (1.." + std::to_string(nCommon) + ")");
            }
            nFirst = nLast = static_cast<uint64_t>(m_nFrame);
        }

        CCliInput fileIn, fileRef;
        if (!fileIn.Open(m_strIn, &strError) || !fileRef.Open(m_strRef, &strError)) {
            return CliFail(strError);
        }
        // One frame of each at a time, never the whole files.
        std::vector<uint8_t> frameIn(QCIF_FRAME_BYTES), frameRef(QCIF_FRAME_BYTES);
        std::vector<SFrameRow> rows;
        CFrameMeans means;
        for (uint64_t k = nFirst; k <= nLast; ++k) {
            const uint64_t nOffset = (k - 1) * QCIF_FRAME_BYTES;
            if (Interrupted()) {
                return CliFail("interrupted");
            }
            if (!fileIn.ReadAt(nOffset, frameIn.data(), QCIF_FRAME_BYTES)) {
                return CliFail("cannot read frame " + std::to_string(k) + " of " + Quoted(m_strIn));
            }
            if (!fileRef.ReadAt(nOffset, frameRef.data(), QCIF_FRAME_BYTES)) {
                return CliFail("cannot read frame " + std::to_string(k) + " of " +
                               Quoted(m_strRef));
            }
            SFrameRow row{static_cast<uint32_t>(k), CompareFrame(frameIn.data(), frameRef.data()),
                          ComparePlanes(frameIn.data(), frameRef.data())};
            means.Add(row.figures);
            rows.push_back(row);
        }

        // Both outputs are prepared before either file is replaced, so a failure
        // leaves neither half-updated.
        std::vector<std::pair<const std::string*, std::string>> outputs;
        if (!m_strCsv.empty()) {
            std::string csv = "frame,rmse,psnr,psnr_y,psnr_u,psnr_v\n";
            for (const auto& r : rows) {
                csv += std::to_string(r.nFrame) + "," + CsvNumber(r.figures.dRmse) + "," +
                       CsvNumber(r.figures.dPsnr) + "," + CsvNumber(r.planes.adPsnr[0]) + "," +
                       CsvNumber(r.planes.adPsnr[1]) + "," + CsvNumber(r.planes.adPsnr[2]) + "\n";
            }
            outputs.emplace_back(&m_strCsv, std::move(csv));
        }
        if (!m_strStatsFile.empty()) {
            std::string stats;
            for (const auto& r : rows) {
                stats += FormatStatsLine(r.nFrame, r.planes);
            }
            outputs.emplace_back(&m_strStatsFile, std::move(stats));
        }
        CSafeFileWriter writers[2];
        for (size_t i = 0; i < outputs.size(); ++i) {
            const std::string& strData = outputs[i].second;
            if (!OpenOutput(writers[i], *outputs[i].first) ||
                !writers[i].Write(strData.data(), strData.size())) {
                return CliFail(writers[i].GetError());
            }
        }
        if (!CommitOutputs({&writers[0], &writers[1]}, &strError)) {
            return CliFail(strError);
        }
        if (bStdoutTaken) {
            return kExitOk;
        }

        if (m_bJson) {
            CJsonWriter json;
            json.BeginObject()
                .Value("in", m_strIn)
                .Value("ref", m_strRef)
                .Value("frames_compared", means.Count())
                .BeginArray("frames");
            for (const auto& r : rows) {
                json.BeginObject()
                    .Value("frame", r.nFrame)
                    .Value("match", r.figures.dRmse == 0)
                    .Value("rmse", r.figures.dRmse)
                    .Value("psnr", r.figures.dPsnr)
                    .Value("psnr_y", r.planes.adPsnr[0])
                    .Value("psnr_u", r.planes.adPsnr[1])
                    .Value("psnr_v", r.planes.adPsnr[2])
                    .EndObject();
            }
            json.EndArray()
                .BeginObject("mean")
                .Value("match", means.IsMatch())
                .Value("rmse", means.MeanRmse())
                .Value("psnr", means.MeanPsnr())
                .EndObject()
                .EndObject();
            std::printf("%s\n", json.Text().c_str());
            return kExitOk;
        }
        for (const auto& r : rows) {
            if (r.figures.dRmse == 0) {
                std::printf("frame %u: Match\n", r.nFrame);
            } else {
                std::printf("frame %u: RMSE %s PSNR %s\n", r.nFrame,
                            FormatFigure(r.figures.dRmse).c_str(),
                            FormatFigure(r.figures.dPsnr).c_str());
            }
        }
        if (means.IsMatch()) {
            std::printf("mean: Match\n");
        } else {
            std::printf("mean: RMSE %s PSNR %s\n", FormatFigure(means.MeanRmse()).c_str(),
                        FormatFigure(means.MeanPsnr()).c_str());
        }
        return kExitOk;
    }

private:
    std::string m_strIn;
    std::string m_strRef;
    std::string m_strCsv;
    std::string m_strStatsFile;
    uint32_t m_nFrame = 0;  // 0: all frames
    bool m_bJson = false;
};

}  // namespace

std::unique_ptr<CCommand> MakeCompareCommand() {
    return std::make_unique<CCompareCommand>();
}
