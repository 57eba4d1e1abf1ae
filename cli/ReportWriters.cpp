#include "cli/ReportWriters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <map>
#include <sstream>

#include "io/Fail.h"
#include "io/QcifFormat.h"

namespace {

std::string Fixed(double d, int nDecimals) {
    if (std::isinf(d)) {
        return d > 0 ? "inf" : "-inf";
    }
    char sz[64];
    std::snprintf(sz, sizeof sz, "%.*f", nDecimals, d);
    return sz;
}

// Parses a whole decimal number; false on anything else or on overflow.
bool ParseNumber(const std::string& s, uint32_t& n) {
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    n = static_cast<uint32_t>(std::stoul(s));
    return true;
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) {
        return {};
    }
    const size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

bool ParseWhole(const std::string& s, uint32_t& n) {
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    n = uint32_t(std::stoul(s));
    return n > 0;
}

}  // namespace

SRateFigures RateFigures(uint64_t nFrames, uint64_t nBytes, double dFps) {
    SRateFigures rate;
    if (nFrames == 0 || nBytes == 0) {
        return rate;
    }
    const double dBits = double(nBytes) * 8.0;
    rate.dBitsPerPixel = dBits / (double(nFrames) * QCIF_Y_BYTES);
    rate.dKbps = dBits * dFps / double(nFrames) / 1000.0;
    rate.dRawRatio = double(nFrames) * QCIF_FRAME_BYTES / double(nBytes);
    rate.dRgbRatio = RgbCompressionRatio(nFrames, nBytes);
    return rate;
}

bool ParseRate(const std::string& s, uint32_t& nNum, uint32_t& nDen) {
    const size_t nColon = s.find_first_of(":/");
    nDen = 1;
    return ParseWhole(s.substr(0, nColon), nNum) &&
           (nColon == std::string::npos || ParseWhole(s.substr(nColon + 1), nDen));
}

std::vector<std::string> SplitCsvFields(const std::string& strLine) {
    std::vector<std::string> fields;
    std::stringstream in(strLine);
    std::string field;
    while (std::getline(in, field, ',')) {
        fields.push_back(field);
    }
    return fields;
}

bool ParseFps(const std::string& s, double& dFps) {
    uint32_t nNum = 0, nDen = 1;
    if (ParseRate(s, nNum, nDen)) {
        dFps = double(nNum) / nDen;
        return true;
    }
    if (s.empty() || s.size() > 12 || s.find_first_not_of("0123456789.") != std::string::npos) {
        return false;
    }
    char* pEnd = nullptr;
    dFps = std::strtod(s.c_str(), &pEnd);
    return *pEnd == '\0' && std::isfinite(dFps) && dFps > 0;
}

std::string FpsText(double dFps) {
    char sz[32];
    std::snprintf(sz, sizeof sz, "%.3f", dFps);
    std::string s = sz;
    while (s.back() == '0') {
        s.pop_back();
    }
    if (s.back() == '.') {
        s.pop_back();
    }
    return s;
}

bool ParseParameterList(const std::string& strList, uint32_t nMin, uint32_t nMax,
                        std::vector<uint32_t>& values, std::string* pError) {
    std::vector<uint32_t> result;
    size_t nPos = 0;
    while (true) {
        const size_t nComma = strList.find(',', nPos);
        const std::string strItem = Trim(strList.substr(nPos, nComma - nPos));
        std::vector<std::string> parts;
        size_t nPartPos = 0;
        while (true) {
            const size_t nColon = strItem.find(':', nPartPos);
            parts.push_back(strItem.substr(nPartPos, nColon - nPartPos));
            if (nColon == std::string::npos) {
                break;
            }
            nPartPos = nColon + 1;
        }
        uint32_t anPart[3] = {0, 0, 1};
        bool bOk = parts.size() <= 3;
        for (size_t i = 0; bOk && i < parts.size(); ++i) {
            bOk = ParseNumber(parts[i], anPart[i]);
        }
        if (!bOk) {
            return Fail(pError, "\"" + strItem +
                                    "\" is not a number or a range start:stop[:step] in \"" +
                                    strList + "\"");
        }
        const uint32_t nStart = anPart[0];
        const uint32_t nStop = parts.size() == 1 ? anPart[0] : anPart[1];
        const uint32_t nStep = anPart[2];
        if (nStep == 0) {
            return Fail(pError, "the step of \"" + strItem + "\" must be at least 1");
        }
        if (nStop < nStart) {
            return Fail(pError, "the range \"" + strItem + "\" ends before it starts");
        }
        if (nStart < nMin || nStop > nMax) {
            return Fail(pError, "\"" + strItem + "\" is outside " + std::to_string(nMin) + ".." +
                                    std::to_string(nMax));
        }
        for (uint32_t v = nStart; v <= nStop; v += nStep) {
            result.push_back(v);
            if (nStop - v < nStep) {
                break;
            }
        }
        if (nComma == std::string::npos) {
            break;
        }
        nPos = nComma + 1;
    }
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    values = std::move(result);
    return true;
}

double RdQuality(const SRdPoint& point, ERdMetric metric) {
    return metric == ERdMetric::PsnrY ? point.adMeanPlanePsnr[0] : point.dMeanPsnr;
}

std::vector<bool> ParetoFront(const std::vector<SRdPoint>& points, ERdMetric metric) {
    std::vector<bool> front(points.size(), true);
    for (size_t i = 0; i < points.size(); ++i) {
        const double r = points[i].dBitsPerPixel, q = RdQuality(points[i], metric);
        for (const SRdPoint& other : points) {
            const double ro = other.dBitsPerPixel, qo = RdQuality(other, metric);
            if (ro <= r && qo >= q && (ro < r || qo > q)) {
                front[i] = false;
                break;
            }
        }
    }
    return front;
}

std::string RdCsvHeader(const SRdTable& table) {
    std::string s =
        "threshold,quantiser,frames,cmp_bytes,bits_per_pixel,compression_ratio,mean_rmse,"
        "mean_psnr_db,mean_psnr_y_db,mean_psnr_u_db,mean_psnr_v_db";
    if (table.bTimes) {
        s += table.bParallelTimes ? ",encode_s_parallel,decode_s_parallel" : ",encode_s,decode_s";
    }
    return s + ",kbps,raw_ratio,rgb_ratio,pareto\n";
}

std::string RdCsvRow(const SRdPoint& p, bool bPareto, const SRdTable& table) {
    std::string s = std::to_string(p.nThreshold) + "," + std::to_string(p.nQuantiser) + "," +
                    std::to_string(p.nFrames) + "," + std::to_string(p.nCmpBytes) + "," +
                    Fixed(p.dBitsPerPixel, 6) + "," + Fixed(p.dRatio, 4) + "," +
                    Fixed(p.dMeanRmse, 6) + "," + Fixed(p.dMeanPsnr, 6);
    for (double d : p.adMeanPlanePsnr) {
        s += "," + Fixed(d, 6);
    }
    if (table.bTimes) {
        s += "," + Fixed(p.dEncodeSeconds, 4) + "," + Fixed(p.dDecodeSeconds, 4);
    }
    const SRateFigures rate = RateFigures(p.nFrames, p.nCmpBytes, table.dFps);
    s += "," + Fixed(rate.dKbps, 3) + "," + Fixed(rate.dRawRatio, 4) + "," +
         Fixed(rate.dRgbRatio, 4) + "," + (bPareto ? "1" : "0");
    return s + "\n";
}

namespace {

// Axis ticks at 1, 2 or 5 times a power of ten, covering lo..hi.
struct SAxis {
    double dLo, dHi, dStep;
};

SAxis NiceAxis(double dLo, double dHi) {
    if (!(dHi > dLo)) {
        dLo -= 1;
        dHi += 1;
    }
    const double dRaw = (dHi - dLo) / 6.0;
    const double dPow = std::pow(10.0, std::floor(std::log10(dRaw)));
    double dStep = dPow;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * dPow >= dRaw) {
            dStep = m * dPow;
            break;
        }
    }
    return {std::floor(dLo / dStep) * dStep, std::ceil(dHi / dStep) * dStep, dStep};
}

std::string Num(double d, int nDecimals) {
    char sz[64];
    std::snprintf(sz, sizeof sz, "%.*f", nDecimals, d);
    return sz;
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

int DecimalsFor(double dStep) {
    return dStep >= 1 ? 0 : int(std::ceil(-std::log10(dStep) - 1e-9));
}

}  // namespace

std::string RenderRdPlotSvg(const std::vector<SRdPoint>& allPoints, ERdMetric metric,
                            const std::string& strTitle) {
    constexpr double W = 760, H = 500;
    constexpr double L = 80, R = 170, T = 50, B = 70;  // margins; legend on the right
    const double dPlotW = W - L - R, dPlotH = H - T - B;
    auto q = [metric](const SRdPoint& p) { return RdQuality(p, metric); };

    // A plane that never differs has an infinite PSNR: such a point has no place on the axis.
    std::vector<SRdPoint> points;
    std::copy_if(allPoints.begin(), allPoints.end(), std::back_inserter(points),
                 [&](const SRdPoint& p) { return std::isfinite(q(p)); });
    double dXMax = 0, dYLo = std::numeric_limits<double>::max(), dYHi = -dYLo;
    for (const SRdPoint& p : points) {
        dXMax = std::max(dXMax, p.dBitsPerPixel);
        dYLo = std::min(dYLo, q(p));
        dYHi = std::max(dYHi, q(p));
    }
    if (points.empty()) {
        dXMax = 1, dYLo = 20, dYHi = 50;
    }
    const SAxis x = NiceAxis(0, dXMax > 0 ? dXMax : 1);
    const SAxis y = NiceAxis(dYLo, dYHi);
    auto px = [&](double v) { return L + (v - x.dLo) / (x.dHi - x.dLo) * dPlotW; };
    auto py = [&](double v) { return T + dPlotH - (v - y.dLo) / (y.dHi - y.dLo) * dPlotH; };

    std::string s;
    s += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    s += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(W, 0) + "\" height=\"" +
         Num(H, 0) + "\" viewBox=\"0 0 " + Num(W, 0) + " " + Num(H, 0) +
         "\" font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"13\">\n";
    s += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
    s += "<text x=\"" + Num(L + dPlotW / 2, 1) +
         "\" y=\"28\" text-anchor=\"middle\" "
         "font-size=\"16\" font-weight=\"bold\">" +
         Escape(strTitle) + "</text>\n";

    // Grid and tick labels.
    const int nXDec = DecimalsFor(x.dStep), nYDec = DecimalsFor(y.dStep);
    for (double v = x.dLo; v <= x.dHi + x.dStep / 2; v += x.dStep) {
        s += "<line x1=\"" + Num(px(v), 1) + "\" y1=\"" + Num(T, 1) + "\" x2=\"" + Num(px(v), 1) +
             "\" y2=\"" + Num(T + dPlotH, 1) + "\" stroke=\"#dddddd\"/>\n";
        s += "<text x=\"" + Num(px(v), 1) + "\" y=\"" + Num(T + dPlotH + 20, 1) +
             "\" text-anchor=\"middle\">" + Num(v, nXDec) + "</text>\n";
    }
    for (double v = y.dLo; v <= y.dHi + y.dStep / 2; v += y.dStep) {
        s += "<line x1=\"" + Num(L, 1) + "\" y1=\"" + Num(py(v), 1) + "\" x2=\"" +
             Num(L + dPlotW, 1) + "\" y2=\"" + Num(py(v), 1) + "\" stroke=\"#dddddd\"/>\n";
        s += "<text x=\"" + Num(L - 8, 1) + "\" y=\"" + Num(py(v) + 4, 1) +
             "\" text-anchor=\"end\">" + Num(v, nYDec) + "</text>\n";
    }
    s += "<rect x=\"" + Num(L, 1) + "\" y=\"" + Num(T, 1) + "\" width=\"" + Num(dPlotW, 1) +
         "\" height=\"" + Num(dPlotH, 1) + "\" fill=\"none\" stroke=\"black\"/>\n";
    s += "<text x=\"" + Num(L + dPlotW / 2, 1) + "\" y=\"" + Num(H - 22, 1) +
         "\" text-anchor=\"middle\">Rate (bits per pixel)</text>\n";
    s += "<text transform=\"translate(24 " + Num(T + dPlotH / 2, 1) +
         ") rotate(-90)\" text-anchor=\"middle\">" +
         (metric == ERdMetric::PsnrY ? "Mean Y-PSNR (dB)" : "Mean PSNR (dB)") + "</text>\n";

    // One curve per threshold, joined in order of rate.
    static const char* const COLOURS[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
                                          "#8c564b", "#e377c2", "#17becf", "#7f7f7f", "#bcbd22"};
    std::map<uint32_t, std::vector<SRdPoint>> curves;
    for (const SRdPoint& p : points) {
        curves[p.nThreshold].push_back(p);
    }
    size_t nCurve = 0;
    for (auto& [nThreshold, curve] : curves) {
        std::sort(curve.begin(), curve.end(), [](const SRdPoint& a, const SRdPoint& b) {
            return a.dBitsPerPixel != b.dBitsPerPixel ? a.dBitsPerPixel < b.dBitsPerPixel
                                                      : a.nQuantiser > b.nQuantiser;
        });
        const char* pszColour = COLOURS[nCurve % std::size(COLOURS)];
        std::string strPath;
        for (const SRdPoint& p : curve) {
            strPath +=
                (strPath.empty() ? "" : " ") + Num(px(p.dBitsPerPixel), 2) + "," + Num(py(q(p)), 2);
        }
        s += "<polyline fill=\"none\" stroke=\"" + std::string(pszColour) +
             "\" stroke-width=\"2\" points=\"" + strPath + "\"/>\n";
        for (const SRdPoint& p : curve) {
            s += "<circle cx=\"" + Num(px(p.dBitsPerPixel), 2) + "\" cy=\"" + Num(py(q(p)), 2) +
                 "\" r=\"3.5\" fill=\"" + pszColour +
                 "\"><title>T=" + std::to_string(p.nThreshold) +
                 " Q=" + std::to_string(p.nQuantiser) + ": " + Num(p.dBitsPerPixel, 4) + " bpp, " +
                 Num(q(p), 2) + " dB</title></circle>\n";
            // The quantiser beside each point tells the curves' points apart at a glance.
            if (points.size() <= 60) {
                s += "<text x=\"" + Num(px(p.dBitsPerPixel) + 5, 2) + "\" y=\"" +
                     Num(py(q(p)) - 5, 2) + "\" font-size=\"10\" fill=\"#555555\">" +
                     std::to_string(p.nQuantiser) + "</text>\n";
            }
        }
        const double dLy = T + 14 + 22.0 * double(nCurve);
        s += "<line x1=\"" + Num(L + dPlotW + 16, 1) + "\" y1=\"" + Num(dLy, 1) + "\" x2=\"" +
             Num(L + dPlotW + 44, 1) + "\" y2=\"" + Num(dLy, 1) + "\" stroke=\"" + pszColour +
             "\" stroke-width=\"2\"/>\n";
        s += "<circle cx=\"" + Num(L + dPlotW + 30, 1) + "\" cy=\"" + Num(dLy, 1) +
             "\" r=\"3.5\" fill=\"" + pszColour + "\"/>\n";
        s += "<text x=\"" + Num(L + dPlotW + 52, 1) + "\" y=\"" + Num(dLy + 4, 1) +
             "\">threshold " + std::to_string(nThreshold) + "</text>\n";
        ++nCurve;
    }
    // The Pareto front over every threshold, drawn over the curves: the settings worth using.
    const std::vector<bool> front = ParetoFront(points, metric);
    std::vector<const SRdPoint*> frontPoints;
    for (size_t i = 0; i < points.size(); ++i) {
        if (front[i]) {
            frontPoints.push_back(&points[i]);
        }
    }
    std::sort(frontPoints.begin(), frontPoints.end(), [](const SRdPoint* a, const SRdPoint* b) {
        return a->dBitsPerPixel < b->dBitsPerPixel;
    });
    if (!frontPoints.empty()) {
        std::string strPath;
        for (const SRdPoint* p : frontPoints) {
            strPath += (strPath.empty() ? "" : " ") + Num(px(p->dBitsPerPixel), 2) + "," +
                       Num(py(q(*p)), 2);
            s += "<circle cx=\"" + Num(px(p->dBitsPerPixel), 2) + "\" cy=\"" + Num(py(q(*p)), 2) +
                 "\" r=\"6.5\" fill=\"none\" stroke=\"black\" stroke-width=\"1.5\"/>\n";
        }
        s += "<polyline fill=\"none\" stroke=\"black\" stroke-width=\"1.5\" "
             "stroke-dasharray=\"6 4\" points=\"" +
             strPath + "\"/>\n";
        const double dLy = T + 14 + 22.0 * double(nCurve);
        s += "<line x1=\"" + Num(L + dPlotW + 16, 1) + "\" y1=\"" + Num(dLy, 1) + "\" x2=\"" +
             Num(L + dPlotW + 44, 1) + "\" y2=\"" + Num(dLy, 1) +
             "\" stroke=\"black\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\"/>\n";
        s += "<text x=\"" + Num(L + dPlotW + 52, 1) + "\" y=\"" + Num(dLy + 4, 1) +
             "\">Pareto front</text>\n";
        ++nCurve;
    }
    if (points.size() <= 60) {
        s += "<text x=\"" + Num(L + dPlotW + 16, 1) + "\" y=\"" +
             Num(T + 14 + 22.0 * double(nCurve) + 8, 1) +
             "\" font-size=\"11\" fill=\"#555555\">small numbers: quantiser</text>\n";
    }
    s += "</svg>\n";
    return s;
}
