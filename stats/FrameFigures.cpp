#include "stats/FrameFigures.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "io/QcifFormat.h"

namespace {

inline uint64_t SquaredError(const uint8_t* pA, const uint8_t* pB, uint32_t nCount) {
    // Integer arithmetic keeps the sum exact. Blocks of up to 65536 samples
    // (a whole frame is 38016) cannot reach 2^32 (65536 * 255^2 < 2^32), so
    // each block is summed in 32-bit lanes, which vectorise twice as wide.
    uint64_t nSum = 0;
    for (uint32_t nDone = 0; nDone < nCount;) {
        const uint32_t nBlock = nCount - nDone < 65536 ? nCount - nDone : 65536;
        uint32_t nBlockSum = 0;
        for (uint32_t k = nDone; k < nDone + nBlock; ++k) {
            const int32_t d = int32_t(pB[k]) - int32_t(pA[k]);
            nBlockSum += uint32_t(d * d);
        }
        nSum += nBlockSum;
        nDone += nBlock;
    }
    return nSum;
}

double PsnrOfMse(double dMse) {
    if (dMse == 0) {
        return std::numeric_limits<double>::infinity();
    }
    return 10.0 * std::log10(255.0 * 255.0 / dMse);
}

}  // namespace

uint64_t FrameSquaredError(const uint8_t* pFrame, const uint8_t* pRef) {
    return SquaredError(pFrame, pRef, QCIF_FRAME_BYTES);
}

SFrameFigures CompareFrame(const uint8_t* pFrame, const uint8_t* pRef) {
    SFrameFigures figures;
    // The integer sum converts to the same double an exact double sum would give.
    double dSum = double(FrameSquaredError(pFrame, pRef));
    figures.dRmse = std::sqrt(dSum * COMPARE_INV_FRAME_BYTES);
    figures.dPsnr =
        figures.dRmse != 0 ? 20.0 * std::log10(255.0 / figures.dRmse) : COMPARE_MATCH_PSNR;
    return figures;
}

void CFrameMeans::Add(const SFrameFigures& figures) {
    m_dRmseSum += figures.dRmse;
    m_dPsnrSum += figures.dPsnr;
    ++m_nCount;
}

double CFrameMeans::MeanRmse() const {
    return m_nCount ? m_dRmseSum / m_nCount : 0.0;
}

double CFrameMeans::MeanPsnr() const {
    return m_nCount ? m_dPsnrSum / m_nCount : 0.0;
}

std::string FormatFigure(double d) {
    char sz[64];
    std::snprintf(sz, sizeof sz, "%.2f", d);
    return sz;
}

SPlaneFigures ComparePlanes(const uint8_t* pFrame, const uint8_t* pRef) {
    static constexpr uint32_t anSize[3] = {QCIF_Y_BYTES, QCIF_CHROMA_BYTES, QCIF_CHROMA_BYTES};
    SPlaneFigures figures;
    // Constant lengths let each sum be vectorised.
    const uint64_t anSse[3] = {
        SquaredError(pFrame, pRef, QCIF_Y_BYTES),
        SquaredError(pFrame + QCIF_U_OFFSET, pRef + QCIF_U_OFFSET, QCIF_CHROMA_BYTES),
        SquaredError(pFrame + QCIF_V_OFFSET, pRef + QCIF_V_OFFSET, QCIF_CHROMA_BYTES)};
    uint64_t nTotal = 0;
    for (int p = 0; p < 3; ++p) {
        const uint64_t nSse = anSse[p];
        nTotal += nSse;
        figures.adMse[p] = double(nSse) / anSize[p];
        figures.adPsnr[p] = PsnrOfMse(figures.adMse[p]);
    }
    figures.dMseAvg = double(nTotal) / QCIF_FRAME_BYTES;
    figures.dPsnrAvg = PsnrOfMse(figures.dMseAvg);
    return figures;
}

std::string FormatStatsLine(uint32_t nFrame, const SPlaneFigures& f) {
    char sz[320];
    std::snprintf(sz, sizeof sz,
                  "n:%u mse_avg:%.2f mse_y:%.2f mse_u:%.2f mse_v:%.2f psnr_avg:%.2f psnr_y:%.2f "
                  "psnr_u:%.2f psnr_v:%.2f\n",
                  nFrame, f.dMseAvg, f.adMse[0], f.adMse[1], f.adMse[2], f.dPsnrAvg, f.adPsnr[0],
                  f.adPsnr[1], f.adPsnr[2]);
    return sz;
}
