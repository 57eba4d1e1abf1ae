#pragma once
// Figures and formats tavro-cli reports: the rate of a compressed stream in
// the units papers use, frame rates as users type them, and for sweep the
// parameter lists, the CSV table, the Pareto front and the SVG chart of
// rate-distortion points.

#include <cstdint>
#include <string>
#include <vector>

#include "stats/RateDistortion.h"

// Rate of nBytes of compressed stream (header included) for nFrames frames.
struct SRateFigures {
    double dBitsPerPixel = 0;  // bytes x 8 / (frames x 176 x 144)
    double dKbps = 0;          // bytes x 8 x fps / frames / 1000
    double dRawRatio = 0;      // frames x 38016 / bytes: against the raw 4:2:0 frames
    double dRgbRatio = 0;      // frames x 76032 / bytes: the desktop summary's, against 24-bit RGB
};
SRateFigures RateFigures(uint64_t nFrames, uint64_t nBytes, double dFps);

// A frame rate typed as "30", "29.97" or "30000:1001"; false for anything else
// or a rate that is not positive.
// The comma-separated fields of one line of a table (no quoting: the
// tables written here never need it).
std::vector<std::string> SplitCsvFields(const std::string& strLine);

bool ParseFps(const std::string& strText, double& dFps);
// The same for a rate that must stay a ratio of whole numbers (y4m headers).
bool ParseRate(const std::string& strText, uint32_t& nNum, uint32_t& nDen);
// A rate for messages: "30", "29.97".
std::string FpsText(double dFps);

// Parses a list of numbers and ranges such as "8,16,24:32:4" (start:stop[:step],
// both ends included) into sorted values without duplicates, each in
// nMin..nMax. False with *pError naming the bad item; values is then untouched.
bool ParseParameterList(const std::string& strList, uint32_t nMin, uint32_t nMax,
                        std::vector<uint32_t>& values, std::string* pError);

// The quality a sweep is judged by: the mean whole-frame PSNR (as Compare
// Streams), or the mean Y-plane PSNR.
enum class ERdMetric { Psnr, PsnrY };
double RdQuality(const SRdPoint& point, ERdMetric metric);

// Which points are on the Pareto front: no other point has a rate as low and a
// quality as high with one of them strictly better. Equal points are both on it.
std::vector<bool> ParetoFront(const std::vector<SRdPoint>& points, ERdMetric metric);

// The sweep's CSV. Columns: threshold, quantiser, frames, cmp_bytes,
// bits_per_pixel, compression_ratio (the RGB ratio, kept for scripts),
// mean_rmse, mean_psnr_db, mean_psnr_y/u/v_db, then with times encode_s and
// decode_s (named encode_s_parallel, decode_s_parallel when points ran at the
// same time), then kbps, raw_ratio, rgb_ratio and pareto (1 on the front).
struct SRdTable {
    bool bTimes = true;
    bool bParallelTimes = false;
    double dFps = 30;
};
std::string RdCsvHeader(const SRdTable& table);
std::string RdCsvRow(const SRdPoint& point, bool bPareto, const SRdTable& table);

// An SVG chart of quality (by metric) against bits per pixel: one curve per
// threshold with its points joined in order of rate, the Pareto front drawn
// over them, axes with units, grid and legend.
std::string RenderRdPlotSvg(const std::vector<SRdPoint>& points, ERdMetric metric,
                            const std::string& strTitle);
