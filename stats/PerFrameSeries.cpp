#include "stats/PerFrameSeries.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "document/TavroDoc.h"
#include "io/Fail.h"
#include "io/File.h"

double SPerFrameSeries::Rmse(const SPerFrameRow& row, int nSeries) {
    if (nSeries == SERIES_FRAME) {
        return row.figures.dRmse;
    }
    return std::sqrt(row.planes.adMse[nSeries - SERIES_Y]);
}

double SPerFrameSeries::Psnr(const SPerFrameRow& row, int nSeries) {
    if (nSeries == SERIES_FRAME) {
        return row.figures.dPsnr;
    }
    const double d = row.planes.adPsnr[nSeries - SERIES_Y];
    return std::isfinite(d) ? d : COMPARE_MATCH_PSNR;
}

bool SPerFrameSeries::IsClipped(const SPerFrameRow& row, int nSeries) {
    return nSeries != SERIES_FRAME && !std::isfinite(row.planes.adPsnr[nSeries - SERIES_Y]);
}

double SPerFrameSeries::MeanRmse(int nSeries) const {
    if (nSeries == SERIES_FRAME) {
        return means.MeanRmse();
    }
    if (rows.empty()) {
        return 0;
    }
    double dSum = 0;
    for (const SPerFrameRow& row : rows) {
        dSum += Rmse(row, nSeries);
    }
    return dSum / double(rows.size());
}

double SPerFrameSeries::MeanPsnr(int nSeries) const {
    if (nSeries == SERIES_FRAME) {
        return means.MeanPsnr();
    }
    if (rows.empty()) {
        return 0;
    }
    double dSum = 0;
    for (const SPerFrameRow& row : rows) {
        dSum += Psnr(row, nSeries);
    }
    return dSum / double(rows.size());
}

bool ComputePerFrameSeries(const uint8_t* pFrames, uint32_t nFrames,
                           const std::string& strComparePath, uint32_t nCompareFrames,
                           SPerFrameSeries& out, std::string* pError) {
    out = SPerFrameSeries{};
    const uint32_t nCount = std::min(nFrames, nCompareFrames);
    if (pFrames == nullptr || nCount == 0) {
        return Fail(pError, "There are no frames to compare.");
    }
    CFile file;
    if (!file.Open(strComparePath, CFile::modeRead)) {
        return Fail(pError, "Could not open the comparison file " + strComparePath + ": " +
                                file.GetError());
    }
    std::vector<uint8_t> ref(QCIF_FRAME_BYTES);
    out.rows.reserve(nCount);
    for (uint32_t i = 0; i < nCount; ++i) {
        const uint64_t nOffset = uint64_t(i) * QCIF_FRAME_BYTES;
        if (!file.Seek(nOffset) || file.Read(ref.data(), QCIF_FRAME_BYTES) != QCIF_FRAME_BYTES) {
            return Fail(pError, "The comparison file " + strComparePath + " ends before frame " +
                                    std::to_string(i + 1) + " (it held " +
                                    std::to_string(nCompareFrames) +
                                    " frames when it was chosen).");
        }
        const uint8_t* pFrame = pFrames + nOffset;
        SPerFrameRow row;
        row.nFrame = i + 1;
        row.figures = CompareFrame(pFrame, ref.data());
        row.planes = ComparePlanes(pFrame, ref.data());
        out.means.Add(row.figures);
        out.rows.push_back(row);
    }
    return true;
}

bool ComputeDocumentSeries(const CTavroDoc& doc, SPerFrameSeries& out, std::string* pError) {
    out = SPerFrameSeries{};
    if (!doc.OnUpdateRawStreamCommand() || !doc.m_bCompareFile) {
        return Fail(pError, "A raw stream and a comparison file are needed for the chart.");
    }
    // The frames the comparison dialog would offer: never past what the buffer holds.
    uint32_t nFrames = 0;
    if (doc.m_nCodedFrames > 0 && doc.m_nStreamFrames > 0) {
        nFrames = uint32_t(std::min(doc.m_nCodedFrames, doc.m_nStreamFrames));
    }
    return ComputePerFrameSeries(doc.m_pQcfData, nFrames, doc.m_strComparePath,
                                 doc.m_nCompareFrames, out, pError);
}

namespace {

std::string CsvNumber(double d) {
    if (std::isinf(d)) {
        return d > 0 ? "inf" : "-inf";
    }
    char sz[40];
    std::snprintf(sz, sizeof sz, "%.17g", d);
    return sz;
}

}  // namespace

std::string PerFrameCsv(const SPerFrameSeries& series) {
    std::string csv = "frame,rmse,psnr,psnr_y,psnr_u,psnr_v\n";
    for (const SPerFrameRow& r : series.rows) {
        csv += std::to_string(r.nFrame) + "," + CsvNumber(r.figures.dRmse) + "," +
               CsvNumber(r.figures.dPsnr) + "," + CsvNumber(r.planes.adPsnr[0]) + "," +
               CsvNumber(r.planes.adPsnr[1]) + "," + CsvNumber(r.planes.adPsnr[2]) + "\n";
    }
    return csv;
}
