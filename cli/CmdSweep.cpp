// tavro-cli sweep IN.qcf [-n N] [--threshold LIST] [--quantiser LIST]
//                        [--csv OUT.csv] [--plot OUT.svg] [--jobs J] [--no-times] [--json]

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
#include "cli/Command.h"
#include "cli/Json.h"
#include "codec/CodecContext.h"
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
            "(frames x 176 x 144)), compression_ratio (frames x 76032 / cmp_bytes, as the "
            "desktop summary shows it), mean_rmse and mean_psnr_db (means over the frames of "
            "the Compare Streams figures), mean_psnr_y/u/v_db (means over the frames of each "
            "plane's PSNR, peak 255; inf for planes that never differ), encode_s and decode_s "
            "(wall time). The CSV goes to stdout unless --csv or --json is given.");
        m_pApp->add_option("IN", m_strIn, "Raw QCIF stream (.qcf)")->required();
        m_pApp
            ->add_option("-n,--frames", m_nFrames,
                         "Frames to code from the start (default: all, at most 65535)")
            ->check(CLI::Range(1, 65535));
        m_pApp->add_option("-t,--threshold", m_strThresholds,
                           "Thresholds: a comma list of numbers and start:stop[:step] ranges, "
                           "1..255 (default 10)");
        m_pApp->add_option(
            "-q,--quantiser", m_strQuantisers,
            std::string("Quantisers, as for --threshold (default ") + DEFAULT_QUANTISERS + ")");
        m_pApp->add_option("--csv", m_strCsv, "Write the CSV table to this file");
        m_pApp->add_option("--plot", m_strPlot,
                           "Write an SVG chart of PSNR against bits per pixel, one curve per "
                           "threshold");
        m_pApp
            ->add_option("-j,--jobs", m_nJobs,
                         "Points computed at once, each on its own thread (default: the "
                         "number of cores); the output does not depend on it")
            ->check(CLI::Range(1, 256));
        m_pApp->add_flag("--no-times", m_bNoTimes,
                         "Leave out the time columns, so that the output depends only on the clip "
                         "and the grid");
        m_pApp->add_flag("--json", m_bJson, "Print the points as one JSON object on stdout");
        AddQuietFlag(false);  // -q is the quantiser, as in compress
    }

    int Run() override {
        if (!CheckInputType(m_strIn, EStreamType::Qcf)) {
            return kExitFailed;
        }
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

        if (!CheckOutputsDistinct({m_strIn}, {m_strCsv, m_strPlot})) {
            return kExitFailed;
        }
        QcfFileInfo info;
        if (!ProbeQcfFile(m_strIn, info, &strError)) {
            return CliFail(strError);
        }
        uint64_t nAvailable = std::min<uint64_t>(info.nFrames, CODEC_MAX_FRAMES);
        if (m_nFrames > nAvailable) {
            return CliFail(Quoted(m_strIn) + " holds " + std::to_string(info.nFrames) +
                           " frames, fewer than the " + std::to_string(m_nFrames) + " asked for");
        }
        const uint32_t nFrames = m_nFrames ? m_nFrames : uint32_t(nAvailable);
        std::vector<uint8_t> clip;
        if (!ReadQcfFrames(m_strIn, nFrames, clip, &strError)) {
            return CliFail(strError);
        }

        std::vector<std::pair<uint32_t, uint32_t>> grid;
        for (uint32_t t : thresholds) {
            for (uint32_t q : quantisers) {
                grid.emplace_back(t, q);
            }
        }
        uint32_t nJobs = m_nJobs ? m_nJobs : std::max(1u, std::thread::hardware_concurrency());
        nJobs = std::min<uint32_t>(nJobs, uint32_t(grid.size()));
        CliNote("sweep: " + std::to_string(grid.size()) + " points on " + std::to_string(nFrames) +
                " frames of " + Shown(m_strIn) + ", " + std::to_string(nJobs) +
                (nJobs == 1 ? " job" : " jobs"));

        const std::vector<SPointReply> replies = Evaluate(clip, nFrames, grid, nJobs);
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
    int Usage(const std::string& strMessage) {
        std::fprintf(stderr, "tavro-cli sweep: %s\n", strMessage.c_str());
        return kExitUsage;
    }

    // Evaluates the grid points on nJobs threads (this one among them), each
    // taking the next point in grid order. After a failure no new point is
    // started; every point before the failed one has been, so the first failure
    // in grid order is the same for any number of jobs. An interrupt starts no
    // new point either.
    std::vector<SPointReply> Evaluate(const std::vector<uint8_t>& clip, uint32_t nFrames,
                                      const std::vector<std::pair<uint32_t, uint32_t>>& grid,
                                      uint32_t nJobs) {
        std::vector<SPointReply> replies(grid.size());
        std::atomic<size_t> nNext{0};
        std::atomic<bool> bFailed{false};
        CProgress progress(grid.size());
        auto work = [&] {
            for (size_t k = nNext++; k < grid.size() && !bFailed && !Interrupted(); k = nNext++) {
                SPointReply& reply = replies[k];
                try {
                    reply.bOk = EvaluateRdPoint(clip.data(), nFrames, grid[k].first,
                                                grid[k].second, reply.point, &reply.strError);
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

    int Output(const std::vector<SRdPoint>& points, uint32_t nFrames) {
        const bool bTimes = !m_bNoTimes;
        std::string strCsv = RdCsvHeader(bTimes);
        for (const SRdPoint& p : points) {
            strCsv += RdCsvRow(p, bTimes);
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
            const std::string strSvg = RenderRdPlotSvg(points, strTitle);
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
            json.BeginObject().Value("file", m_strIn).Value("frames", nFrames).BeginArray("points");
            for (const SRdPoint& p : points) {
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
                if (bTimes) {
                    json.Value("encode_s", p.dEncodeSeconds).Value("decode_s", p.dDecodeSeconds);
                }
                json.EndObject();
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
    uint32_t m_nFrames = 0;
    std::string m_strThresholds = "10";
    std::string m_strQuantisers = DEFAULT_QUANTISERS;
    std::string m_strCsv;
    std::string m_strPlot;
    uint32_t m_nJobs = 0;
    bool m_bNoTimes = false;
    bool m_bJson = false;
};

}  // namespace

std::unique_ptr<CCommand> MakeSweepCommand() {
    return std::make_unique<CSweepCommand>();
}
