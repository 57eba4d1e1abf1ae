#include "stats/RateDistortion.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <memory>

#include "codec/CodecRun.h"
#include "io/Fail.h"
#include "io/QcifFormat.h"
#include "stats/FrameFigures.h"

namespace {

constexpr double PIXELS_PER_FRAME = 176.0 * 144.0;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

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

}  // namespace

bool EvaluateRdPoint(const uint8_t* pQcf, uint32_t nFrames, uint32_t nThreshold,
                     uint32_t nQuantiser, SRdPoint& point, std::string* pError) {
    if (!pQcf || nFrames == 0 || nFrames > CODEC_MAX_FRAMES) {
        return Fail(pError, "The frame count must be 1 to 65535.");
    }
    if (nThreshold < 1 || nThreshold > 255 || nQuantiser < 1 || nQuantiser > 255) {
        return Fail(pError, "Threshold and quantiser must be 1 to 255.");
    }
    point = SRdPoint();
    point.nThreshold = nThreshold;
    point.nQuantiser = nQuantiser;
    point.nFrames = nFrames;

    const SCmpHeader params{nFrames, static_cast<uint8_t>(nThreshold),
                            static_cast<uint8_t>(nQuantiser)};
    std::vector<uint8_t> cmp;
    auto start = std::chrono::steady_clock::now();
    if (const CodecError nError = CompressFrames(pQcf, params, cmp); nError != CodecError::None) {
        return Fail(pError, std::string("Compression failed: ") + CodecErrorText(nError));
    }
    point.dEncodeSeconds = SecondsSince(start);
    point.nCmpBytes = cmp.size();

    std::vector<uint8_t> decoded;
    start = std::chrono::steady_clock::now();
    if (const CodecError nError =
            DecompressFrames(cmp.data(), static_cast<uint32_t>(cmp.size()), params, decoded);
        nError != CodecError::None) {
        return Fail(pError, nError == CodecError::NoMemory
                                ? "Not enough memory for the decompressed frames."
                                : std::string("Decompression failed: ") + CodecErrorText(nError));
    }
    point.dDecodeSeconds = SecondsSince(start);

    CFrameMeans means;
    double adPlaneSum[3] = {};
    for (uint32_t k = 0; k < nFrames; ++k) {
        const uint8_t* pOut = decoded.data() + size_t(k) * QCIF_FRAME_BYTES;
        const uint8_t* pIn = pQcf + size_t(k) * QCIF_FRAME_BYTES;
        means.Add(CompareFrame(pOut, pIn));
        const SPlaneFigures planes = ComparePlanes(pOut, pIn);
        for (int p = 0; p < 3; ++p) {
            adPlaneSum[p] += planes.adPsnr[p];
        }
    }
    point.dMeanRmse = means.MeanRmse();
    point.dMeanPsnr = means.MeanPsnr();
    for (int p = 0; p < 3; ++p) {
        point.adMeanPlanePsnr[p] = adPlaneSum[p] / nFrames;
    }
    point.dBitsPerPixel = double(point.nCmpBytes) * 8.0 / (nFrames * PIXELS_PER_FRAME);
    point.dRatio = RgbCompressionRatio(nFrames, point.nCmpBytes);
    return true;
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

std::string RdCsvHeader(bool bTimes) {
    std::string s =
        "threshold,quantiser,frames,cmp_bytes,bits_per_pixel,compression_ratio,mean_rmse,"
        "mean_psnr_db,mean_psnr_y_db,mean_psnr_u_db,mean_psnr_v_db";
    if (bTimes) {
        s += ",encode_s,decode_s";
    }
    return s + "\n";
}

std::string RdCsvRow(const SRdPoint& p, bool bTimes) {
    std::string s = std::to_string(p.nThreshold) + "," + std::to_string(p.nQuantiser) + "," +
                    std::to_string(p.nFrames) + "," + std::to_string(p.nCmpBytes) + "," +
                    Fixed(p.dBitsPerPixel, 6) + "," + Fixed(p.dRatio, 4) + "," +
                    Fixed(p.dMeanRmse, 6) + "," + Fixed(p.dMeanPsnr, 6);
    for (double d : p.adMeanPlanePsnr) {
        s += "," + Fixed(d, 6);
    }
    if (bTimes) {
        s += "," + Fixed(p.dEncodeSeconds, 4) + "," + Fixed(p.dDecodeSeconds, 4);
    }
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

std::string RenderRdPlotSvg(const std::vector<SRdPoint>& points, const std::string& strTitle) {
    constexpr double W = 760, H = 500;
    constexpr double L = 80, R = 170, T = 50, B = 70;  // margins; legend on the right
    const double dPlotW = W - L - R, dPlotH = H - T - B;

    double dXMax = 0, dYLo = std::numeric_limits<double>::max(), dYHi = -dYLo;
    for (const SRdPoint& p : points) {
        dXMax = std::max(dXMax, p.dBitsPerPixel);
        dYLo = std::min(dYLo, p.dMeanPsnr);
        dYHi = std::max(dYHi, p.dMeanPsnr);
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
         ") rotate(-90)\" text-anchor=\"middle\">Mean PSNR (dB)</text>\n";

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
            strPath += (strPath.empty() ? "" : " ") + Num(px(p.dBitsPerPixel), 2) + "," +
                       Num(py(p.dMeanPsnr), 2);
        }
        s += "<polyline fill=\"none\" stroke=\"" + std::string(pszColour) +
             "\" stroke-width=\"2\" points=\"" + strPath + "\"/>\n";
        for (const SRdPoint& p : curve) {
            s += "<circle cx=\"" + Num(px(p.dBitsPerPixel), 2) + "\" cy=\"" +
                 Num(py(p.dMeanPsnr), 2) + "\" r=\"3.5\" fill=\"" + pszColour +
                 "\"><title>T=" + std::to_string(p.nThreshold) +
                 " Q=" + std::to_string(p.nQuantiser) + ": " + Num(p.dBitsPerPixel, 4) + " bpp, " +
                 Num(p.dMeanPsnr, 2) + " dB</title></circle>\n";
            // The quantiser beside each point tells the curves' points apart at a glance.
            if (points.size() <= 60) {
                s += "<text x=\"" + Num(px(p.dBitsPerPixel) + 5, 2) + "\" y=\"" +
                     Num(py(p.dMeanPsnr) - 5, 2) + "\" font-size=\"10\" fill=\"#555555\">" +
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
    if (points.size() <= 60) {
        s += "<text x=\"" + Num(L + dPlotW + 16, 1) + "\" y=\"" +
             Num(T + 14 + 22.0 * double(nCurve) + 8, 1) +
             "\" font-size=\"11\" fill=\"#555555\">small numbers: quantiser</text>\n";
    }
    s += "</svg>\n";
    return s;
}
