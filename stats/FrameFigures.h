#pragma once
// Loss figures of one QCIF frame against a reference frame, and their means
// over a run of frames.
//
// The whole-frame RMSE and PSNR are the figures the comparison dialog shows and
// must be reproduced bit for bit: the squared differences are summed exactly,
// multiplied (not divided) by the double nearest 1/38016, and a frame without
// any difference gets the fixed match PSNR instead of infinity.
//
// The per-plane figures are extras for reports (CSV, ffmpeg-style stats files);
// they use the usual definitions and never feed the whole-frame figures.

#include <cstdint>
#include <string>

// The double nearest to 1/38016, applied as a multiplication.
constexpr double COMPARE_INV_FRAME_BYTES = 2.6304713804713804e-05;
// PSNR given to an identical frame: that of a frame with one sample off by one.
constexpr double COMPARE_MATCH_PSNR = 93.9304678;

struct SFrameFigures {
    double dRmse = 0;  // 0 exactly when the frames are identical
    double dPsnr = 0;  // dB; COMPARE_MATCH_PSNR when dRmse is 0
};

// Sum over all 38016 bytes of (pRef[k] - pFrame[k])^2. Exact (at most 38016 * 255^2).
uint64_t FrameSquaredError(const uint8_t* pFrame, const uint8_t* pRef);

// RMSE and PSNR of one 38016-byte frame against its reference. Symmetric.
SFrameFigures CompareFrame(const uint8_t* pFrame, const uint8_t* pRef);

// Means over the frames added, in the order added. Identical frames count with
// RMSE 0 and the match PSNR.
class CFrameMeans {
public:
    void Add(const SFrameFigures& figures);
    uint32_t Count() const { return m_nCount; }
    // True when the RMSE sum is 0: every frame identical, or no frame added.
    bool IsMatch() const { return m_dRmseSum == 0; }
    // Means (sum / count); 0 when no frame was added.
    double MeanRmse() const;
    double MeanPsnr() const;

private:
    double m_dRmseSum = 0;
    double m_dPsnrSum = 0;
    uint32_t m_nCount = 0;
};

// "%.2f" of a figure, as the dialog and the command line show it.
std::string FormatFigure(double d);

// Per-plane mean squared errors and PSNRs with peak 255. A plane (or frame)
// without differences has MSE 0 and PSNR +infinity.
struct SPlaneFigures {
    double adMse[3] = {};   // Y, U, V
    double adPsnr[3] = {};  // Y, U, V
    double dMseAvg = 0;     // over all 38016 samples
    double dPsnrAvg = 0;    // from dMseAvg
};

SPlaneFigures ComparePlanes(const uint8_t* pFrame, const uint8_t* pRef);

// One line of an ffmpeg-style PSNR stats file for 1-based frame nFrame, ending in
// a newline: "n:1 mse_avg:0.12 mse_y:... mse_u:... mse_v:... psnr_avg:... psnr_y:...
// psnr_u:... psnr_v:...". Infinite PSNRs print as "inf".
std::string FormatStatsLine(uint32_t nFrame, const SPlaneFigures& figures);
