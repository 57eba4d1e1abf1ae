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
// The runs use nThreads transform threads each (the figures do not depend on
// it, the times do). False with *pError set when a parameter is out of range
// or the codec fails.
bool EvaluateRdPoint(const uint8_t* pQcf, uint32_t nFrames, uint32_t nThreshold,
                     uint32_t nQuantiser, SRdPoint& point, std::string* pError,
                     uint32_t nThreads = 1);
