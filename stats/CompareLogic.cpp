#include "stats/CompareLogic.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "document/TavroDoc.h"
#include "io/File.h"
#include "io/Prompts.h"
#include "stats/FrameFigures.h"

CCompareLogic::CCompareLogic(const uint8_t* pQcfData, uint32_t nFrames, uint32_t nCompareFrames,
                             std::string strComparePath, bool bSingleFrame)
    : m_pQcfData(pQcfData),
      m_nFrames(nFrames),
      m_nCompareFrames(nCompareFrames),
      m_strComparePath(std::move(strComparePath)),
      m_bSingleFrame(bSingleFrame) {}

void CCompareLogic::OnInitDialog() {
    if (m_nCompareFrames < m_nFrames) {
        m_nFrames = m_nCompareFrames;
    }
    m_nSpinPos = 1;
    m_strInitialFrame = m_bSingleFrame ? "1" : "All";
    // Nothing to compare: a press could only report a "Match" that means nothing.
    m_bCompareEnabled = m_nFrames != 0 && m_pQcfData != nullptr;
}

std::string CCompareLogic::TotalFramesText() const {
    char sz[16];
    std::snprintf(sz, sizeof sz, "%d", int32_t(m_nFrames));
    return sz;
}

uint16_t CCompareLogic::SpinPosition(const std::string& strEditText) {
    if (!strEditText.empty() && strEditText.size() <= 5 &&
        std::all_of(strEditText.begin(), strEditText.end(),
                    [](char c) { return c >= '0' && c <= '9'; })) {
        uint32_t n = uint32_t(std::stoul(strEditText));
        if (n >= 1 && n <= SpinMaximum()) {
            m_nSpinPos = uint16_t(n);
        }
    }
    return m_nSpinPos;
}

std::string CCompareLogic::OnSpinStep(const std::string& strEditText, int nDelta) {
    const int32_t nFrom = SpinPosition(strEditText);
    int32_t nPos = nFrom + nDelta;
    nPos = std::min<int32_t>(nPos, SpinMaximum());
    nPos = std::max<int32_t>(nPos, 1);
    if (nPos == nFrom) {
        // A step that cannot move writes nothing: "All" at frame 1 stays "All",
        // so the next press still compares the stream.
        return strEditText;
    }
    m_nSpinPos = uint16_t(nPos);
    return std::to_string(nPos);
}

void CCompareLogic::OnCompare(const std::string& strEditText) {
    m_bCompareEnabled = false;
    if (m_nFrames == 0 || m_pQcfData == nullptr) {
        return;
    }

    CFile file;
    if (!file.Open(m_strComparePath, CFile::modeRead)) {
        Prompts().MessageBox("Could not open comparison file", "Error");
        return;
    }
    m_pCompareQcfData = static_cast<uint8_t*>(CTavroDoc::Allocate(QCIF_FRAME_BYTES));
    if (!m_pCompareQcfData) {
        Prompts().MessageBox("Error allocating memory to m_pCompareQcfData.", "Fatal Error");
        return;
    }

    const bool bAll = strEditText == "All";
    uint16_t nFirst = 0;
    uint16_t nEnd = uint16_t(m_nFrames);
    if (!bAll) {
        uint16_t p = SpinPosition(strEditText);
        nFirst = uint16_t(p - 1);
        nEnd = p;
    }

    CFrameMeans means;
    SFrameFigures last;
    bool bComplete = true;
    for (uint32_t i = nFirst; i < nEnd; ++i) {
        if (!file.Seek(uint64_t(i) * QCIF_FRAME_BYTES) ||
            file.Read(m_pCompareQcfData, QCIF_FRAME_BYTES) != QCIF_FRAME_BYTES) {
            bComplete = false;  // the file shrank since it was chosen
            break;
        }
        SFrameFigures figures =
            CompareFrame(m_pQcfData + uint64_t(i) * QCIF_FRAME_BYTES, m_pCompareQcfData);
        means.Add(figures);
        last = figures;
    }
    std::free(m_pCompareQcfData);
    m_pCompareQcfData = nullptr;
    if (!bComplete) {
        return;
    }

    if (!bAll) {
        if (last.dRmse == 0) {
            m_strRmse = m_strPsnr = "Match";
        } else {
            m_strRmse = FormatFigure(last.dRmse);
            m_strPsnr = FormatFigure(last.dPsnr);
        }
    } else if (means.IsMatch()) {
        m_strRmse = m_strPsnr = "Match";
    } else {
        m_strRmse = FormatFigure(means.MeanRmse());
        m_strPsnr = FormatFigure(means.MeanPsnr());
    }
    m_bCompareEnabled = true;
}

std::unique_ptr<CCompareLogic> BeginCompare(CTavroDoc& doc, bool bSingleFrame) {
    if (!doc.m_bCompareFile && doc.OnChangeCompareFile() != 1) {
        return nullptr;
    }
    const bool bRaw = doc.m_cState == 'i' || doc.m_cState == 'x';
    // Never let the dialog reach past the frames the buffer really holds.
    uint32_t nFrames = 0;
    if (bRaw && doc.m_nCodedFrames > 0 && doc.m_nStreamFrames > 0) {
        nFrames = uint32_t(std::min(doc.m_nCodedFrames, doc.m_nStreamFrames));
    }
    return std::make_unique<CCompareLogic>(bRaw ? doc.m_pQcfData : nullptr, nFrames,
                                           doc.m_nCompareFrames, doc.m_strComparePath,
                                           bSingleFrame);
}
