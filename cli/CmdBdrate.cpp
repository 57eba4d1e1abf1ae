// tavro-cli bdrate A.csv B.csv [--metric psnr|psnr-y] [--json]

#include <cmath>
#include <cstdio>
#include <sstream>

#include "cli/BdRate.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"
#include "cli/Json.h"
#include "cli/ReportWriters.h"
#include "io/Fail.h"
#include "io/File.h"

namespace {

// The points of a sweep's CSV: its bits_per_pixel and quality columns (by name,
// so any column order and extra columns do). Rows whose quality is not finite
// (a plane that never differs) are left out and counted.
bool ReadSweepCsv(const std::string& strPath, ERdMetric metric, std::vector<SRdPoint>& points,
                  size_t& nSkipped, std::string* pError) {
    CFile file;
    if (!file.Open(strPath, CFile::modeRead)) {
        return Fail(pError, "cannot open \"" + strPath + "\": " + file.GetError());
    }
    const uint64_t nLength = file.GetLength();
    if (nLength > (64u << 20)) {
        return Fail(pError, Quoted(strPath) + " is too long for a sweep table");
    }
    std::string text(size_t(nLength), '\0');
    if (file.Read(text.data(), uint32_t(nLength)) != nLength) {
        return Fail(pError, "cannot read " + Quoted(strPath));
    }
    std::stringstream in(text);
    std::string strLine;
    std::getline(in, strLine);
    const std::vector<std::string> names = SplitCsvFields(strLine);
    const char* pszQuality = metric == ERdMetric::PsnrY ? "mean_psnr_y_db" : "mean_psnr_db";
    size_t nRate = names.size(), nQuality = names.size();
    for (size_t i = 0; i < names.size(); ++i) {
        nRate = names[i] == "bits_per_pixel" ? i : nRate;
        nQuality = names[i] == pszQuality ? i : nQuality;
    }
    if (nRate == names.size() || nQuality == names.size()) {
        return Fail(pError, Quoted(strPath) + " has no bits_per_pixel and " + pszQuality +
                                " columns (a table written by tavro-cli sweep is expected)");
    }
    points.clear();
    nSkipped = 0;
    for (size_t nRow = 2; std::getline(in, strLine); ++nRow) {
        const std::vector<std::string> fields = SplitCsvFields(strLine);
        char* pEnd = nullptr;
        SRdPoint p;
        bool bOk = fields.size() == names.size();
        if (bOk) {
            p.dBitsPerPixel = std::strtod(fields[nRate].c_str(), &pEnd);
            bOk = *pEnd == '\0' && p.dBitsPerPixel > 0;
            const double dQuality = std::strtod(fields[nQuality].c_str(), &pEnd);
            bOk = bOk && *pEnd == '\0' && !std::isnan(dQuality);
            p.dMeanPsnr = p.adMeanPlanePsnr[0] = dQuality;
        }
        if (!bOk) {
            return Fail(pError, Quoted(strPath) + " line " + std::to_string(nRow) +
                                    " is not a row of the table");
        }
        if (!std::isfinite(RdQuality(p, metric))) {
            ++nSkipped;
            continue;
        }
        points.push_back(p);
    }
    return true;
}

// The curve a table stands for: its Pareto front in order of rate.
std::vector<SRdSample> FrontOf(const std::vector<SRdPoint>& points, ERdMetric metric) {
    const std::vector<bool> front = ParetoFront(points, metric);
    std::vector<SRdSample> curve;
    for (size_t i = 0; i < points.size(); ++i) {
        if (front[i]) {
            curve.push_back({points[i].dBitsPerPixel, RdQuality(points[i], metric)});
        }
    }
    std::sort(curve.begin(), curve.end(),
              [](const SRdSample& a, const SRdSample& b) { return a.dRate < b.dRate; });
    // Equal points are both on the front; one of them is the curve's.
    curve.erase(std::unique(curve.begin(), curve.end(),
                            [](const SRdSample& a, const SRdSample& b) {
                                return a.dRate == b.dRate && a.dQuality == b.dQuality;
                            }),
                curve.end());
    return curve;
}

std::string Fixed(double d, int nDecimals, bool bSign = false) {
    char sz[64];
    std::snprintf(sz, sizeof sz, bSign ? "%+.*f" : "%.*f", nDecimals, d);
    return sz;
}

class CBdrateCommand : public CCommand {
public:
    void Register(CLI::App& app) override {
        m_pApp = app.add_subcommand(
            "bdrate",
            "Bjøntegaard delta between two sweeps (CSV tables written by tavro-cli sweep, e.g. "
            "the same clip before and after a change): BD-rate, how much more rate B needs than "
            "A for the same quality (percent; negative: B saves), and BD-PSNR, how much more "
            "quality B gives at the same rate (dB). Each table's curve is its Pareto front; the "
            "log of the rate (bits per pixel) and the quality are interpolated by monotone "
            "piecewise cubics and the differences averaged over the range both curves cover.");
        m_pApp->add_option("A", m_strA, "The reference sweep (.csv)")
            ->type_name("FILE")
            ->required();
        m_pApp->add_option("B", m_strB, "The sweep measured against it (.csv)")
            ->type_name("FILE")
            ->required();
        m_pApp
            ->add_option("--metric", m_strMetric,
                         "Quality: psnr (the whole frame's, default) or psnr-y (the Y plane's)")
            ->check(CLI::IsMember({"psnr", "psnr-y"}))
            ->type_name("METRIC");
        m_pApp->add_flag("--json", m_bJson, "Print the figures as one JSON object");
        AddQuietFlag(true);
    }

    int Run() override {
        const ERdMetric metric = m_strMetric == "psnr-y" ? ERdMetric::PsnrY : ERdMetric::Psnr;
        std::vector<SRdSample> curves[2];
        size_t anPoints[2] = {}, anSkipped[2] = {};
        for (int i = 0; i < 2; ++i) {
            const std::string& strPath = i == 0 ? m_strA : m_strB;
            std::vector<SRdPoint> points;
            std::string strError;
            if (!ReadSweepCsv(strPath, metric, points, anSkipped[i], &strError)) {
                return CliFail(strError);
            }
            anPoints[i] = points.size();
            curves[i] = FrontOf(points, metric);
            if (curves[i].size() < 2) {
                return CliFail(Quoted(strPath) + " has " + std::to_string(curves[i].size()) +
                               " point(s) on its Pareto front; a curve needs two or more (four "
                               "or more are usual)");
            }
        }
        SBdResult bd;
        std::string strError;
        if (!BjontegaardDelta(curves[0], curves[1], bd, &strError)) {
            return CliFail(strError);
        }
        const std::string strQuality = metric == ERdMetric::PsnrY ? "Y-PSNR" : "PSNR";
        if (m_bJson) {
            CJsonWriter json;
            json.BeginObject()
                .Value("a", m_strA)
                .Value("b", m_strB)
                .Value("metric", m_strMetric)
                .Value("a_front_points", uint64_t(curves[0].size()))
                .Value("b_front_points", uint64_t(curves[1].size()))
                .Value("bd_rate_percent", bd.dRatePercent)
                .Value("bd_psnr_db", bd.dQualityDb)
                .Value("psnr_low_db", bd.dQualityLo)
                .Value("psnr_high_db", bd.dQualityHi)
                .Value("bpp_low", bd.dRateLo)
                .Value("bpp_high", bd.dRateHi)
                .EndObject();
            std::printf("%s\n", json.Text().c_str());
        } else {
            for (int i = 0; i < 2; ++i) {
                std::printf("%s: %s, %zu of %zu points on the Pareto front%s\n", i ? "B" : "A",
                            (i ? m_strB : m_strA).c_str(), curves[i].size(), anPoints[i],
                            anSkipped[i] ? (", " + std::to_string(anSkipped[i]) +
                                            " without a finite " + strQuality + " left out")
                                               .c_str()
                                         : "");
            }
            std::printf("BD-rate: %s %% (B against A at equal %s, over %s to %s dB)\n",
                        Fixed(bd.dRatePercent, 2, true).c_str(), strQuality.c_str(),
                        Fixed(bd.dQualityLo, 2).c_str(), Fixed(bd.dQualityHi, 2).c_str());
            std::printf(
                "BD-PSNR: %s dB (B against A at equal rate, over %s to %s bits per "
                "pixel)\n",
                Fixed(bd.dQualityDb, 3, true).c_str(), Fixed(bd.dRateLo, 4).c_str(),
                Fixed(bd.dRateHi, 4).c_str());
        }
        return std::fflush(stdout) == 0 ? kExitOk : CliFail("cannot write to stdout");
    }

private:
    std::string m_strA;
    std::string m_strB;
    std::string m_strMetric = "psnr";
    bool m_bJson = false;
};

}  // namespace

std::unique_ptr<CCommand> MakeBdrateCommand() {
    return std::make_unique<CBdrateCommand>();
}
