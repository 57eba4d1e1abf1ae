#include "stats/ComparisonFrames.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "document/TavroDoc.h"
#include "io/File.h"

uint32_t ComparableFrames(const CTavroDoc& doc) {
    if (!doc.OnUpdateRawStreamCommand() || !doc.m_bCompareFile || doc.m_pQcfData == nullptr ||
        doc.m_nCodedFrames <= 0 || doc.m_nStreamFrames <= 0) {
        return 0;
    }
    const uint32_t nFrames = uint32_t(std::min(doc.m_nCodedFrames, doc.m_nStreamFrames));
    return std::min<uint32_t>(nFrames, doc.m_nCompareFrames);
}

std::string DescribeStream(const CTavroDoc& doc) {
    std::string str = doc.GetTitle().empty() ? "Untitled" : doc.GetTitle();
    if (doc.m_cState == 'x') {
        str += " (T=" + std::to_string(doc.m_nThreshold) +
               " Q=" + std::to_string(doc.m_nQuantiser) + ")";
    }
    return str;
}

CComparisonFrames::CComparisonFrames(const CTavroDoc& doc)
    : m_doc(doc), m_stream(QCIF_FRAME_BYTES), m_reference(QCIF_FRAME_BYTES) {}

CComparisonFrames::SState CComparisonFrames::Current() const {
    SState s;
    s.cState = m_doc.m_cState;
    s.pData = m_doc.m_pQcfData;
    s.nCount = ComparableFrames(m_doc);
    s.strComparePath = m_doc.m_strComparePath;
    s.strTitle = m_doc.GetTitle();
    s.nThreshold = m_doc.m_nThreshold;
    s.nQuantiser = m_doc.m_nQuantiser;
    return s;
}

bool CComparisonFrames::Sync() {
    SState now = Current();
    if (m_bSynced && now == m_state) {
        return false;
    }
    m_bSynced = true;
    m_state = std::move(now);
    m_nCount = m_state.nCount;
    m_strStream = m_state.strTitle.empty() ? "Untitled" : m_state.strTitle;
    m_strReference = m_doc.m_strCompareName;
    m_strParameters = m_state.cState == 'x' ? "T=" + std::to_string(m_state.nThreshold) +
                                                  " Q=" + std::to_string(m_state.nQuantiser)
                                            : std::string();
    return true;
}

bool CComparisonFrames::Load(uint32_t nFrame, std::string* pError) {
    auto fail = [pError](const std::string& strText) {
        if (pError) {
            *pError = strText;
        }
        return false;
    };
    // The document as it is now, whatever was synced last.
    const uint32_t nCount = ComparableFrames(m_doc);
    if (nCount == 0) {
        return fail("The document holds no raw stream to compare with a comparison file.");
    }
    if (nFrame < 1 || nFrame > nCount) {
        return fail("Frame " + std::to_string(nFrame) + " is not among the " +
                    std::to_string(nCount) + " frames compared.");
    }
    CFile file;
    if (!file.Open(m_doc.m_strComparePath, CFile::modeRead)) {
        return fail("Could not open the comparison file " + m_doc.m_strComparePath + ": " +
                    file.GetError());
    }
    const uint64_t nOffset = uint64_t(nFrame - 1) * QCIF_FRAME_BYTES;
    std::vector<uint8_t> reference(QCIF_FRAME_BYTES);
    if (!file.Seek(nOffset) || file.Read(reference.data(), QCIF_FRAME_BYTES) != QCIF_FRAME_BYTES) {
        return fail("The comparison file " + m_doc.m_strComparePath + " ends before frame " +
                    std::to_string(nFrame) + ".");
    }
    m_reference.swap(reference);
    std::copy_n(m_doc.m_pQcfData + nOffset, QCIF_FRAME_BYTES, m_stream.begin());
    m_nFrame = nFrame;
    m_figures.nFrame = nFrame;
    m_figures.figures = CompareFrame(m_stream.data(), m_reference.data());
    m_figures.planes = ComparePlanes(m_stream.data(), m_reference.data());
    return true;
}

std::string FiguresText(const SPerFrameRow& row) {
    std::string str = "Frame " + std::to_string(row.nFrame) + ": ";
    if (row.figures.dRmse == 0) {
        str += "RMSE Match  PSNR Match";
    } else {
        str += "RMSE " + FormatFigure(row.figures.dRmse) + "  PSNR " +
               FormatFigure(row.figures.dPsnr) + " dB";
    }
    static const char* const PLANE_NAMES[3] = {"Y", "U", "V"};
    for (int p = 0; p < 3; ++p) {
        str += std::string(" | ") + PLANE_NAMES[p] + " ";
        const int nSeries = SERIES_Y + p;
        if (SPerFrameSeries::IsClipped(row, nSeries)) {
            str += "identical";
        } else {
            str += FormatFigure(SPerFrameSeries::Rmse(row, nSeries)) + " / " +
                   FormatFigure(SPerFrameSeries::Psnr(row, nSeries)) + " dB";
        }
    }
    return str;
}

std::string PixelReadoutText(const uint8_t* pStream, const uint8_t* pRef, int x, int y) {
    x = std::clamp(x, 0, int(QCIF_WIDTH) - 1);
    y = std::clamp(y, 0, int(QCIF_HEIGHT) - 1);
    const uint8_t* frames[2] = {pRef, pStream};
    int an[2][3];
    for (int f = 0; f < 2; ++f) {
        const uint8_t* p = frames[f];
        const uint32_t c = uint32_t(y / 2) * QCIF_CHROMA_WIDTH + uint32_t(x / 2);
        an[f][0] = p[uint32_t(y) * QCIF_WIDTH + uint32_t(x)];
        an[f][1] = p[QCIF_U_OFFSET + c];
        an[f][2] = p[QCIF_V_OFFSET + c];
    }
    char sz[160];
    std::snprintf(sz, sizeof sz,
                  "x %d y %d (chroma %d, %d) | reference Y %d U %d V %d | stream Y %d U %d V %d | "
                  "difference Y %+d U %+d V %+d",
                  x, y, x / 2, y / 2, an[0][0], an[0][1], an[0][2], an[1][0], an[1][1], an[1][2],
                  an[1][0] - an[0][0], an[1][1] - an[0][1], an[1][2] - an[0][2]);
    return sz;
}

std::string FileStem(const std::string& strName) {
    std::string str = strName.substr(strName.find_last_of("/\\") + 1);
    const size_t nDot = str.find_last_of('.');
    if (nDot != std::string::npos && nDot > 0) {
        str.resize(nDot);
    }
    return str.empty() ? "untitled" : str;
}

std::string SuggestPictureName(const std::string& strStream, uint32_t nFrame, uint32_t nFrames,
                               const std::string& strPart) {
    const int nDigits = std::max<int>(3, int(std::to_string(std::max(nFrame, nFrames)).size()));
    char szFrame[16];
    std::snprintf(szFrame, sizeof szFrame, "%0*u", nDigits, nFrame);
    return FileStem(strStream) + "_f" + szFrame + "_" + strPart + ".png";
}
