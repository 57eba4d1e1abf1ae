// tavro-cli sweep IN [-n N|A-B] [--threshold LIST] [--quantiser LIST] [--csv OUT.csv]
//                    [--plot OUT.svg] [--metric M] [--pareto] [--fps R] [--jobs J]
//                    [--threads T] [--no-times] [--json]

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "cli/CliOutputs.h"
#include "cli/CliSupport.h"
#include "cli/ClipInput.h"
#include "cli/CodecRunner.h"
#include "cli/Command.h"
#include "cli/Json.h"
#include "cli/ReportWriters.h"
#include "codec/CodecContext.h"
#include "codec/CodecRun.h"
#include "stats/RateDistortion.h"

namespace {

constexpr const char* DEFAULT_QUANTISERS = "4,6,8,12,16,24,32,48,64";

// One grid point's outcome: the point, or why it failed.
struct SPointReply {
    SRdPoint point;
    bool bOk = false;
    std::string strError;
};

// Points done so far, on a terminal; called from every worker thread.
class CProgress {
public:
    explicit CProgress(size_t nTotal) : m_nTotal(nTotal), m_bTty(::isatty(2) && !CliQuiet()) {}
    void Step() {
        std::lock_guard lock(m_mutex);
        ++m_nDone;
        if (m_bTty) {
            std::fprintf(stderr, "\rsweep: %zu/%zu points", m_nDone, m_nTotal);
            if (m_nDone == m_nTotal) {
                std::fprintf(stderr, "\n");
            }
        }
    }

private:
    std::mutex m_mutex;
    size_t m_nDone = 0;
    size_t m_nTotal;
    bool m_bTty;
};

class CSweepCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "sweep",
            "Rate-distortion sweep: compress, decompress and compare the clip for every "
            "(threshold, quantiser) pair of the grid. One CSV row per point: threshold, "
            "quantiser, frames, cmp_bytes (header included), bits_per_pixel (cmp_bytes x 8 / "
            "(frames x 176 x 144)), compression_ratio (frames x 76032 / cmp_bytes, the desktop "
            "summary's ratio against 24-bit RGB; kept for scripts), mean_rmse and mean_psnr_db "
            "(means over the frames of the Compare Streams figures), mean_psnr_y/u/v_db (means "
            "over the frames of each plane's PSNR, peak 255; inf for planes that never differ), "
            "encode_s and decode_s (wall time; named encode_s_parallel and decode_s_parallel when "
            "points ran at the same time, -j above 1: time with -j 1), kbps (at --fps), "
            "raw_ratio (frames x 38016 / cmp_bytes), rgb_ratio (= compression_ratio) and pareto "
            "(1 when no other point has as low a rate and as high a --metric, one of them "
            "better). The CSV goes to stdout unless --csv or --json is given.");
        m_pApp->add_option("IN", m_strIn, std::string("Clip: ") + CLIP_INPUT_HELP)
            ->type_name("FILE")
            ->required();
        AddFrameChoice(m_pApp, m_frames, "Frames to code (at most 65535)");
        m_pApp
            ->add_option("-t,--threshold", m_strThresholds,
                         "Thresholds: a comma list of numbers and start:stop[:step] ranges, "
                         "1 to 255 (default 10)")
            ->type_name("LIST");
        m_pApp
            ->add_option(
                "-q,--quantiser", m_strQuantisers,
                std::string("Quantisers, as for --threshold (default ") + DEFAULT_QUANTISERS + ")")
            ->type_name("LIST");
        m_pApp->add_option("--csv", m_strCsv, "Write the CSV table to this file")
            ->type_name("FILE");
        m_pApp
            ->add_option("--plot", m_strPlot,
                         "Write an SVG chart of --metric against bits per pixel: one curve per "
                         "threshold in order of rate, the Pareto front drawn over them")
            ->type_name("FILE");
        m_pApp
            ->add_option("--metric", m_strMetric,
                         "Quality for the Pareto front and the chart: psnr (the whole frame's, "
                         "default) or psnr-y (the Y plane's)")
            ->check(CLI::IsMember({"psnr", "psnr-y"}))
            ->type_name("METRIC");
        m_pApp->add_flag("--pareto", m_bPareto,
                         "List only the points on the Pareto front, in order of rate");
        m_pApp
            ->add_option("--fps", m_strFps,
                         "Frame rate for the kbps column, e.g. 30 or 30000:1001 (default 30)")
            ->type_name("RATE");
        m_pApp
            ->add_option("-j,--jobs", m_nJobs,
                         "Points computed at once (1 to 256, default: the number of cores "
                         "divided by --threads, at most one per point); the figures do not "
                         "depend on it, the times do: use -j 1 for timing")
            ->type_name("N")
            ->check(RangeInWords(1, 256));
        AddThreadsOption(m_pApp, m_nThreads, "Threads that transform frames in each point's runs",
                         "the number of cores divided by --jobs: jobs x threads stays within the "
                         "cores unless both are given");
        m_pApp->add_flag("--no-times", m_bNoTimes,
                         "Leave out the time columns, so that the output depends only on the clip "
                         "and the grid");
        m_pApp->add_flag("--json", m_bJson, "Print the points as one JSON object on stdout");
        AddQuietFlag(false);  // -q is the quantiser, as in compress
    }

    int Run() override {
        std::vector<uint32_t> thresholds, quantisers;
        std::string strError;
        if (!ParseParameterList(m_strThresholds, 1, 255, thresholds, &strError)) {
            return Usage("--threshold: " + strError);
        }
        if (!ParseParameterList(m_strQuantisers, 1, 255, quantisers, &strError)) {
            return Usage("--quantiser: " + strError);
        }
        if (!m_strCsv.empty() && !EndsWithNoCase(m_strCsv, ".csv") && !IsStreamTarget(m_strCsv)) {
            return Usage("--csv: the table file must be named .csv");
        }
        if (!m_strPlot.empty() && !EndsWithNoCase(m_strPlot, ".svg") &&
            !IsStreamTarget(m_strPlot)) {
            return Usage("--plot: the chart file must be named .svg");
        }
        m_table.dFps = 30;
        if (!ParseFps(m_strFps, m_table.dFps)) {
            return Usage("--fps: \"" + m_strFps +
                         "\" is not a frame rate such as 30 or 30000:1001");
        }
        m_metric = m_strMetric == "psnr-y" ? ERdMetric::PsnrY : ERdMetric::Psnr;
        if (!CheckOutputsDistinct({m_strIn}, {m_strCsv, m_strPlot})) {
            return kExitFailed;
        }

        uint64_t nFirst = 1, nCount = 0;
        if (!m_frames.Resolve(nFirst, nCount, &strError)) {
            return Usage(strError);
        }
        if (nCount > CODEC_MAX_FRAMES) {
            return Usage("--frames: a compressed stream holds at most 65535 frames");
        }
        std::unique_ptr<IFrameSource> pSource = OpenClip(m_strIn, &strError);
        if (!pSource) {
            return CliFail(strError);
        }
        pSource = LimitFrames(std::move(pSource), nFirst, nCount);
        std::vector<uint8_t> clip;
        bool bMore = false;
        if (!ReadFrames(*pSource, nCount ? nCount : CODEC_MAX_FRAMES, clip, &bMore, &strError)) {
            return CliFail(strError);
        }
        const uint32_t nFrames = uint32_t(clip.size() / QCIF_FRAME_BYTES);
        if (nFrames == 0 || nCount > nFrames) {
            return CliFail(Quoted(m_strIn) + " holds " + std::to_string(nFrames) +
                           " frames, fewer than the " + std::to_string(nCount ? nCount : 1) +
                           " asked for");
        }

        std::vector<std::pair<uint32_t, uint32_t>> grid;
        for (uint32_t t : thresholds) {
            for (uint32_t q : quantisers) {
                grid.emplace_back(t, q);
            }
        }
        // Jobs x threads fill the cores unless both are given.
        const uint32_t nCores = DefaultCodecThreads();
        uint32_t nJobs = m_nJobs      ? m_nJobs
                         : m_nThreads ? std::max(1u, nCores / m_nThreads)
                                      : nCores;
        nJobs = std::min<uint32_t>(nJobs, uint32_t(grid.size()));
        const uint32_t nThreads = m_nThreads ? m_nThreads : std::max(1u, nCores / nJobs);
        CliNote("sweep: " + std::to_string(grid.size()) + " points on " + std::to_string(nFrames) +
                " frames of " + Shown(m_strIn) + ", " + std::to_string(nJobs) +
                (nJobs == 1 ? " job" : " jobs") + " of " + std::to_string(nThreads) +
                (nThreads == 1 ? " thread" : " threads"));

        m_table.bTimes = !m_bNoTimes;
        m_table.bParallelTimes = nJobs > 1;
        const std::vector<SPointReply> replies = Evaluate(clip, nFrames, grid, nJobs, nThreads);
        if (Interrupted()) {
            return CliFail("interrupted");
        }
        std::vector<SRdPoint> points;
        for (size_t k = 0; k < grid.size(); ++k) {
            if (!replies[k].bOk) {
                return CliFail("point T=" + std::to_string(grid[k].first) +
                               " Q=" + std::to_string(grid[k].second) + ": " + replies[k].strError);
            }
            points.push_back(replies[k].point);
        }
        return Output(points, nFrames);
    }

private:
    // Evaluates the grid points on nJobs threads (this one among them), each
    // taking the next point in grid order. After a failure no new point is
    // started; every point before the failed one has been, so the first failure
    // in grid order is the same for any number of jobs. An interrupt starts no
    // new point either.
    std::vector<SPointReply> Evaluate(const std::vector<uint8_t>& clip, uint32_t nFrames,
                                      const std::vector<std::pair<uint32_t, uint32_t>>& grid,
                                      uint32_t nJobs, uint32_t nThreads) {
        std::vector<SPointReply> replies(grid.size());
        std::atomic<size_t> nNext{0};
        std::atomic<bool> bFailed{false};
        CProgress progress(grid.size());
        auto work = [&] {
            for (size_t k = nNext++; k < grid.size() && !bFailed && !Interrupted(); k = nNext++) {
                SPointReply& reply = replies[k];
                try {
                    reply.bOk = EvaluateRdPoint(clip.data(), nFrames, grid[k].first, grid[k].second,
                                                reply.point, &reply.strError, nThreads);
                } catch (const std::bad_alloc&) {
                    reply.bOk = false;  // a thread must not let it escape
                    reply.strError = "not enough memory";
                }
                if (!reply.bOk) {
                    bFailed = true;
                }
                progress.Step();
            }
        };
        std::vector<std::thread> helpers;
        for (uint32_t j = 1; j < nJobs; ++j) {
            try {
                helpers.emplace_back(work);
            } catch (const std::system_error&) {
                break;  // fewer threads: the points still get done
            }
        }
        work();
        for (std::thread& t : helpers) {
            t.join();
        }
        return replies;
    }

    int Output(std::vector<SRdPoint> points, uint32_t nFrames) {
        std::vector<bool> front = ParetoFront(points, m_metric);
        if (m_bPareto) {
            std::vector<SRdPoint> kept;
            for (size_t k = 0; k < points.size(); ++k) {
                if (front[k]) {
                    kept.push_back(points[k]);
                }
            }
            std::stable_sort(kept.begin(), kept.end(), [](const SRdPoint& a, const SRdPoint& b) {
                return a.dBitsPerPixel < b.dBitsPerPixel;
            });
            points = std::move(kept);
            front.assign(points.size(), true);
        }
        std::string strCsv = RdCsvHeader(m_table);
        for (size_t k = 0; k < points.size(); ++k) {
            strCsv += RdCsvRow(points[k], front[k], m_table);
        }
        // Both files are prepared before either replaces its target.
        CSafeFileWriter csv, plot;
        if (!m_strCsv.empty() &&
            (!OpenOutput(csv, m_strCsv) || !csv.Write(strCsv.data(), strCsv.size()))) {
            return CliFail(csv.GetError());
        }
        if (!m_strPlot.empty()) {
            const std::string strTitle =
                "Rate-distortion: " + std::filesystem::path(m_strIn).filename().string() + ", " +
                std::to_string(nFrames) + (nFrames == 1 ? " frame" : " frames");
            const std::string strSvg = RenderRdPlotSvg(points, m_metric, strTitle);
            if (!OpenOutput(plot, m_strPlot) || !plot.Write(strSvg.data(), strSvg.size())) {
                return CliFail(plot.GetError());
            }
        }
        std::string strError;
        if (!CommitOutputs({&csv, &plot}, &strError)) {
            return CliFail(strError);
        }

        if (m_bJson) {
            CJsonWriter json;
            json.BeginObject()
                .Value("file", m_strIn)
                .Value("frames", nFrames)
                .Value("fps", m_table.dFps)
                .Value("metric", m_strMetric)
                .BeginArray("points");
            const std::string strSuffix = m_table.bParallelTimes ? "_parallel" : "";
            for (size_t k = 0; k < points.size(); ++k) {
                const SRdPoint& p = points[k];
                const SRateFigures rate = RateFigures(p.nFrames, p.nCmpBytes, m_table.dFps);
                json.BeginObject()
                    .Value("threshold", p.nThreshold)
                    .Value("quantiser", p.nQuantiser)
                    .Value("cmp_bytes", p.nCmpBytes)
                    .Value("bits_per_pixel", p.dBitsPerPixel)
                    .Value("compression_ratio", p.dRatio)
                    .Value("mean_rmse", p.dMeanRmse)
                    .Value("mean_psnr_db", p.dMeanPsnr)
                    .Value("mean_psnr_y_db", p.adMeanPlanePsnr[0])
                    .Value("mean_psnr_u_db", p.adMeanPlanePsnr[1])
                    .Value("mean_psnr_v_db", p.adMeanPlanePsnr[2]);
                if (m_table.bTimes) {
                    json.Value(("encode_s" + strSuffix).c_str(), p.dEncodeSeconds)
                        .Value(("decode_s" + strSuffix).c_str(), p.dDecodeSeconds);
                }
                json.Value("kbps", rate.dKbps)
                    .Value("raw_ratio", rate.dRawRatio)
                    .Value("rgb_ratio", rate.dRgbRatio)
                    .Value("pareto", bool(front[k]))
                    .EndObject();
            }
            json.EndArray().EndObject();
            std::printf("%s\n", json.Text().c_str());
        } else if (m_strCsv.empty()) {
            std::fputs(strCsv.c_str(), stdout);
        }
        if (!m_strCsv.empty()) {
            CliNote("wrote " + std::to_string(points.size()) + " points to " + Shown(m_strCsv));
        }
        if (!m_strPlot.empty()) {
            CliNote("wrote the chart to " + Shown(m_strPlot));
        }
        return std::fflush(stdout) == 0 ? kExitOk : CliFail("cannot write to stdout");
    }

    std::string m_strIn;
    SFrameChoice m_frames;
    std::string m_strThresholds = "10";
    std::string m_strQuantisers = DEFAULT_QUANTISERS;
    std::string m_strCsv;
    std::string m_strPlot;
    uint32_t m_nJobs = 0;
    uint32_t m_nThreads = 0;
    bool m_bNoTimes = false;
    std::string m_strMetric = "psnr";
    ERdMetric m_metric = ERdMetric::Psnr;
    bool m_bPareto = false;
    std::string m_strFps = "30";
    SRdTable m_table;
    bool m_bJson = false;
};

}  // namespace

std::unique_ptr<CCommand> MakeSweepCommand() {
    return std::make_unique<CSweepCommand>();
}
