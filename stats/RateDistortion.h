#pragma once
// Rate-distortion points: one compression and decompression of a clip with a
// (threshold, quantiser) pair, measured with the same figures as the status
// summary (compression ratio) and the comparison dialog (RMSE, PSNR).
// Each point runs the codec through its own contexts, so points may be
// evaluated on several threads at once.

#include <cstdint>
#include <string>
#include <vector>

struct SRdPoint {
    uint32_t nThreshold = 0;
    uint32_t nQuantiser = 0;
    uint32_t nFrames = 0;
    uint64_t nCmpBytes = 0;          // whole compressed stream, header included
    double dBitsPerPixel = 0;        // nCmpBytes * 8 / (frames * 176 * 144)
    double dRatio = 0;               // frames * 76032 / nCmpBytes, as the summary shows it
    double dMeanRmse = 0;            // mean over frames of the comparison's frame RMSE
    double dMeanPsnr = 0;            // mean over frames of the comparison's frame PSNR
    double adMeanPlanePsnr[3] = {};  // Y, U, V: mean over frames of the plane PSNR
                                     // (peak 255); +inf when every plane matched
    double dEncodeSeconds = 0;       // wall time of the compression run
    double dDecodeSeconds = 0;       // wall time of the decompression run
};

// Compresses the first nFrames (1..65535) frames of pQcf with threshold and
// quantiser 1..255, decompresses the result and compares it with the input.
// False with *pError set when a parameter is out of range or the codec fails.
bool EvaluateRdPoint(const uint8_t* pQcf, uint32_t nFrames, uint32_t nThreshold,
                     uint32_t nQuantiser, SRdPoint& point, std::string* pError);

// Parses a parameter list: comma-separated items, each a number or an
// inclusive range start:stop[:step] (step 1 by default), e.g. "4:64:4" or
// "8,16,24:32:4". Every value must lie in nMin..nMax. The result is sorted and
// without repeats. False with *pError set on any malformed item.
bool ParseParameterList(const std::string& strList, uint32_t nMin, uint32_t nMax,
                        std::vector<uint32_t>& values, std::string* pError);

// CSV of the points: a header line and one line per point, in the order given.
// Without bTimes the two time columns are left out, so the text depends only on
// the clip and the grid.
std::string RdCsvHeader(bool bTimes);
std::string RdCsvRow(const SRdPoint& point, bool bTimes);

// An SVG chart of PSNR (dB) against bits per pixel, one curve per threshold
// (points joined in order of rate), with axes, grid, units and a legend.
std::string RenderRdPlotSvg(const std::vector<SRdPoint>& points, const std::string& strTitle);
