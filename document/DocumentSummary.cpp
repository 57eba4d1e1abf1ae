#include <cinttypes>
#include <cstdio>

#include "document/TavroDoc.h"

namespace {

template <typename... Args>
std::string Format(const char* pszFormat, Args... args) {
    char sz[128];
    std::snprintf(sz, sizeof sz, pszFormat, args...);
    return sz;
}

}  // namespace

std::vector<CSummaryLine> CTavroDoc::SummaryLines() const {
    std::vector<std::string> lines;
    switch (m_cState) {
        case 'i':
            lines.push_back("Qcif stream loaded.");
            break;
        case 'n':
            lines.push_back("Compressed data loaded.");
            break;
        case 's':
            lines.push_back("Compressed data computed from Qcif stream.");
            break;
        case 'x':
            lines.push_back("Qcif stream extracted from compressed data.");
            break;
        default:
            return {};
    }

    // Byte counts in 64 bits: a long stream's length does not fit 32.
    if (m_cState == 'i') {
        lines.push_back(
            Format("QCF Stream length: %" PRId64 ".", int64_t{m_nStreamFrames} * QCIF_FRAME_BYTES));
        lines.push_back(Format("Frames in stream: %d.", m_nStreamFrames));
    } else {
        const int64_t nQcfBytes = int64_t{m_nCodedFrames} * QCIF_FRAME_BYTES;
        const int64_t nRgbBytes = int64_t{m_nCodedFrames} * RGB_FRAME_BYTES;
        lines.push_back(Format("Frames in stream: %d.", m_nCodedFrames));
        lines.push_back(Format("Threshold: %u.", m_nThreshold));
        lines.push_back(Format("Quantiser: %u.", m_nQuantiser));
        lines.push_back(Format("QCF Stream length: %" PRId64 ".", nQcfBytes));
        lines.push_back(Format("Input RGB Stream length: %" PRId64 ".", nRgbBytes));
        lines.push_back(Format("CMP Stream length: %u.", m_nCmpLength));
        lines.push_back(Format("Average Bytes per frame: %.2f.",
                               double(m_nCmpLength) / double(m_nCodedFrames)));
        lines.push_back(Format("Compression ratio (RGB/CMP): %.2f.",
                               RgbCompressionRatio(uint64_t(m_nCodedFrames), m_nCmpLength)));
    }
    if (m_bCompareFile) {
        lines.push_back("Comparison File:  " + m_strCompareName + ".");
    } else {
        lines.push_back("No Comparison File Selected.");
    }

    std::vector<CSummaryLine> summary;
    int y = 25;
    for (std::string& strText : lines) {
        summary.push_back({5, y, std::move(strText)});
        y += 25;
    }
    return summary;
}
