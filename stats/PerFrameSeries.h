#pragma once
// Loss figures frame by frame for a chart or a table: every frame of a raw
// stream against the same frame of a comparison file, with the stream means.
//
// The whole-frame figures are those of the comparison dialog (CompareFrame,
// CFrameMeans); the per-plane figures those of ComparePlanes. The comparison
// file is read one frame at a time and may have changed since it was chosen.

#include <cstdint>
#include <string>
#include <vector>

#include "stats/FrameFigures.h"

class CTavroDoc;

struct SPerFrameRow {
    uint32_t nFrame = 0;  // 1-based
    SFrameFigures figures;
    SPlaneFigures planes;
};

// The series that can be drawn: the whole frame, then the Y, U and V planes.
enum EPerFrameSeries : int { SERIES_FRAME = 0, SERIES_Y, SERIES_U, SERIES_V, SERIES_COUNT };

struct SPerFrameSeries {
    std::vector<SPerFrameRow> rows;
    CFrameMeans means;  // whole frame, as the stream comparison shows it

    // RMSE of a series in one row: the whole frame's, or the root of a plane's MSE.
    static double Rmse(const SPerFrameRow& row, int nSeries);
    // PSNR of a series in one row in dB. An identical plane (infinite PSNR) counts
    // as COMPARE_MATCH_PSNR, as an identical whole frame does, so that charts and
    // means stay finite; IsClipped tells when that happened.
    static double Psnr(const SPerFrameRow& row, int nSeries);
    static bool IsClipped(const SPerFrameRow& row, int nSeries);

    // Means over the rows of Rmse / Psnr; for SERIES_FRAME exactly the means
    // of the comparison dialog. 0 without rows.
    double MeanRmse(int nSeries) const;
    double MeanPsnr(int nSeries) const;
};

// Compares the first min(nFrames, nCompareFrames) frames of pFrames (nFrames
// whole frames) with the file at strComparePath. False with a message for the
// user in *pError when the file cannot be opened or ends before a frame it
// should hold; the frames compared before that stay in out.rows.
bool ComputePerFrameSeries(const uint8_t* pFrames, uint32_t nFrames,
                           const std::string& strComparePath, uint32_t nCompareFrames,
                           SPerFrameSeries& out, std::string* pError);

// The same for a document: its raw stream (states 'i' and 'x', the frames the
// comparison dialog would offer) against its comparison file. False with a
// message when there is no raw stream, no comparison file or nothing to compare.
bool ComputeDocumentSeries(const CTavroDoc& doc, SPerFrameSeries& out, std::string* pError);

// frame,rmse,psnr,psnr_y,psnr_u,psnr_v per row after a header line; full
// precision ("%.17g"), an identical plane's PSNR as "inf".
std::string PerFrameCsv(const SPerFrameSeries& series);
