// tavro-cli compare IN REF [-k K | -n N|A-B] [--csv FILE] [--stats-file FILE] [--json]

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliOutputs.h"
#include "cli/CliSupport.h"
#include "cli/ClipInput.h"
#include "cli/Command.h"
#include "cli/Json.h"
#include "io/QcifFormat.h"
#include "io/SafeFileWriter.h"
#include "stats/FrameFigures.h"
#include "stats/PerFrameSeries.h"

namespace {

class CCompareCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "compare",
            "Measure the loss of IN against the reference REF over the frames both hold (or one "
            "frame): per frame, RMSE and PSNR of the whole frame as the desktop's comparison "
            "computes them (an identical frame shows \"Match\" and counts in the means with RMSE "
            "0 and PSNR 93.93 dB); then one line of means over the frames, \"mean: PSNR Y .. U .. "
            "V .. all .. dB, RMSE ..\": each plane's PSNR (peak 255; an identical plane counts "
            "with 93.93 dB as an identical frame does) and the whole-frame PSNR and RMSE, each "
            "averaged over the frames' figures, as the desktop's per-frame chart shows them. "
            "(ffmpeg's psnr summary instead takes the PSNR of the mean squared error, which can "
            "differ in the second decimal.)");
        m_pApp->add_option("IN", m_strIn, std::string("Clip to measure: ") + CLIP_INPUT_HELP)
            ->type_name("FILE")
            ->required();
        m_pApp->add_option("REF", m_strRef, "Reference clip, of any kind IN may be")
            ->type_name("FILE")
            ->required();
        AddRanged(m_pApp, "-k,--frame", m_nFrame, 1, 0, "Compare only this frame")->type_name("K");
        AddFrameChoice(m_pApp, m_frames, "Frames to compare");
        m_pApp
            ->add_option("--csv", m_strCsv,
                         "Also write frame,rmse,psnr,psnr_y,psnr_u,psnr_v per frame, full "
                         "precision (the per-plane PSNRs use peak 255; inf for an identical "
                         "plane); - for stdout, instead of the report")
            ->type_name("FILE");
        m_pApp
            ->add_option(
                "--stats-file", m_strStatsFile,
                "Also write one line per frame in the format of ffmpeg's psnr filter stats file "
                "(n:1 mse_avg:... mse_y:... mse_u:... mse_v:... psnr_avg:... psnr_y:... psnr_u:... "
                "psnr_v:...): each mse_ is the mean squared error over that plane's samples, "
                "mse_avg "
                "over all 38016 samples of the frame, each psnr_ follows from its mse_ with peak "
                "255 "
                "(inf for no difference); n counts from 1; - for stdout, instead of the report")
            ->type_name("FILE");
        m_pApp->add_flag("--summary", m_bSummary, "Print only the line of means");
        m_pApp->add_flag("--json", m_bJson,
                         "Print everything as one JSON object (with --summary: the means only)");
        AddQuietFlag(true);
    }

    int Run() override {
        std::string strError;
        uint64_t nFirst = 1, nCount = 0;
        if (!m_frames.Resolve(nFirst, nCount, &strError)) {
            return Usage(strError);
        }
        if (m_nFrame > 0) {
            if (!m_frames.strFrames.empty() || m_frames.nStart) {
                return Usage("--frame: one frame, or a range with --frames, not both");
            }
            nFirst = m_nFrame;
            nCount = 1;
        }
        if (m_strIn == "-" && m_strRef == "-") {
            return Usage("standard input (-) can be only one of IN and REF");
        }
        if (!CheckOutputsDistinct({m_strIn, m_strRef}, {m_strCsv, m_strStatsFile})) {
            return kExitFailed;
        }
        const bool bStdoutTaken = m_strCsv == "-" || m_strStatsFile == "-";
        if (bStdoutTaken && m_bJson) {
            return Usage("--json and an output named - both want stdout");
        }
        std::unique_ptr<IFrameSource> pIn = OpenClip(m_strIn, &strError);
        if (!pIn) {
            return CliFail(strError);
        }
        std::unique_ptr<IFrameSource> pRef = OpenClip(m_strRef, &strError);
        if (!pRef) {
            return CliFail(strError);
        }
        const uint64_t nInFrames = pIn->FramesLeftHint(), nRefFrames = pRef->FramesLeftHint();
        if (nInFrames && nRefFrames && nInFrames != nRefFrames && m_nFrame == 0) {
            CliNote("note: " + Shown(m_strIn) + " has " + std::to_string(nInFrames) + " frames, " +
                    Shown(m_strRef) + " " + std::to_string(nRefFrames) + "; comparing the first " +
                    std::to_string(std::min(nInFrames, nRefFrames)));
        }
        pIn = LimitFrames(std::move(pIn), nFirst, nCount);
        pRef = LimitFrames(std::move(pRef), nFirst, nCount);

        // One frame of each at a time, never the whole clips.
        std::vector<uint8_t> frameIn(QCIF_FRAME_BYTES), frameRef(QCIF_FRAME_BYTES);
        SPerFrameSeries series;  // the figures the desktop's per-frame chart shows
        std::vector<SPerFrameRow>& rows = series.rows;
        for (uint64_t k = nFirst;; ++k) {
            if (Interrupted()) {
                return CliFail("interrupted");
            }
            const EFrameRead rIn = pIn->Read(frameIn.data());
            const EFrameRead rRef = rIn == EFrameRead::Frame ? pRef->Read(frameRef.data()) : rIn;
            if (rIn == EFrameRead::Failed || rRef == EFrameRead::Failed) {
                return CliFail((rIn == EFrameRead::Failed ? pIn : pRef)->GetError());
            }
            if (rIn == EFrameRead::End || rRef == EFrameRead::End) {
                const bool bInShort = rIn == EFrameRead::End;
                const std::string& strShort = bInShort ? m_strIn : m_strRef;
                if (rows.empty()) {
                    return CliFail("frame " + std::to_string(k) + " is not in both streams (" +
                                   Quoted(strShort) + " ends before it)");
                }
                // Streams whose lengths were not known up front: say so when one is longer.
                IFrameSource& other = bInShort ? *pRef : *pIn;
                if (!(nInFrames && nRefFrames) &&
                    other.Read((bInShort ? frameRef : frameIn).data()) == EFrameRead::Frame) {
                    CliNote("note: " + Shown(strShort) + " ends after frame " +
                            std::to_string(k - 1) + ", " + Shown(bInShort ? m_strRef : m_strIn) +
                            " goes on; comparing the frames both hold");
                }
                break;
            }
            SPerFrameRow row{static_cast<uint32_t>(k),
                             CompareFrame(frameIn.data(), frameRef.data()),
                             ComparePlanes(frameIn.data(), frameRef.data())};
            series.means.Add(row.figures);
            rows.push_back(row);
        }

        // Both outputs are prepared before either file is replaced, so a failure
        // leaves neither half-updated.
        std::vector<std::pair<const std::string*, std::string>> outputs;
        if (!m_strCsv.empty()) {
            outputs.emplace_back(&m_strCsv, PerFrameCsv(series));
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

        const CFrameMeans& means = series.means;
        const double adPlaneMean[3] = {series.MeanPsnr(SERIES_Y), series.MeanPsnr(SERIES_U),
                                       series.MeanPsnr(SERIES_V)};
        if (m_bJson) {
            CJsonWriter json;
            json.BeginObject()
                .Value("in", m_strIn)
                .Value("ref", m_strRef)
                .Value("frames_compared", means.Count());
            if (!m_bSummary) {
                json.BeginArray("frames");
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
                json.EndArray();
            }
            json.BeginObject("mean")
                .Value("match", means.IsMatch())
                .Value("rmse", means.MeanRmse())
                .Value("psnr", means.MeanPsnr())
                .Value("psnr_y", adPlaneMean[0])
                .Value("psnr_u", adPlaneMean[1])
                .Value("psnr_v", adPlaneMean[2])
                .EndObject()
                .EndObject();
            std::printf("%s\n", json.Text().c_str());
            return kExitOk;
        }
        for (const auto& r : rows) {
            if (m_bSummary) {
                break;
            }
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
            std::printf("mean: PSNR Y %s U %s V %s all %s dB, RMSE %s\n",
                        FormatFigure(adPlaneMean[0]).c_str(), FormatFigure(adPlaneMean[1]).c_str(),
                        FormatFigure(adPlaneMean[2]).c_str(),
                        FormatFigure(means.MeanPsnr()).c_str(),
                        FormatFigure(means.MeanRmse()).c_str());
        }
        return kExitOk;
    }

private:
    std::string m_strIn;
    std::string m_strRef;
    SFrameChoice m_frames;
    std::string m_strCsv;
    std::string m_strStatsFile;
    uint64_t m_nFrame = 0;  // 0: all frames
    bool m_bSummary = false;
    bool m_bJson = false;
};

}  // namespace

std::unique_ptr<CCommand> MakeCompareCommand() {
    return std::make_unique<CCompareCommand>();
}
