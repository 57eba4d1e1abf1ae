#include "stream/Y4m.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "io/Fail.h"
#include "io/QcifFormat.h"

namespace {

constexpr char MAGIC[] = "YUV4MPEG2";
// No real header or frame line comes near this; a longer one is not y4m.
constexpr size_t MAX_LINE = 4096;

bool ParseUnsigned(const std::string& s, uint32_t& n) {
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    n = static_cast<uint32_t>(std::stoul(s));
    return true;
}

bool ParseRatio(const std::string& s, uint32_t& a, uint32_t& b) {
    const size_t nColon = s.find(':');
    return nColon != std::string::npos && ParseUnsigned(s.substr(0, nColon), a) &&
           ParseUnsigned(s.substr(nColon + 1), b);
}

// The line starting at nAt, without its newline; false when no newline comes
// within MAX_LINE bytes.
bool ReadLine(const uint8_t* pData, size_t nLength, size_t nAt, std::string& line, size_t& nNext) {
    const size_t nEnd = nLength - nAt < MAX_LINE ? nLength : nAt + MAX_LINE;
    const void* pNl = std::memchr(pData + nAt, '\n', nEnd - nAt);
    if (!pNl) {
        return false;
    }
    const size_t nNl = static_cast<const uint8_t*>(pNl) - pData;
    line.assign(reinterpret_cast<const char*>(pData + nAt), nNl - nAt);
    nNext = nNl + 1;
    return true;
}

std::string Describe(const SY4mHeader& h) {
    std::string s = std::to_string(h.nWidth) + "x" + std::to_string(h.nHeight) + " ";
    const std::string& c = h.strColour;
    if (c.rfind("420", 0) == 0) {
        s += "4:2:0";
    } else if (c.rfind("422", 0) == 0) {
        s += "4:2:2";
    } else if (c.rfind("444", 0) == 0) {
        s += "4:4:4";
    } else if (c.rfind("411", 0) == 0) {
        s += "4:1:1";
    } else if (c.rfind("mono", 0) == 0) {
        s += "greyscale";
    } else {
        s += "colour space " + c;
    }
    // The bit depth follows the subsampling: "420p10", "444p16", "mono16".
    const size_t nDigits = c.rfind("mono", 0) == 0 ? 4 : c.find('p', 3) + 1;
    if (nDigits != 0 && nDigits < c.size() &&
        std::isdigit(static_cast<unsigned char>(c[nDigits]))) {
        s += " " + c.substr(nDigits) + "-bit";
    } else {
        s += " 8-bit";
    }
    return s + " (C" + c + ")";
}

}  // namespace

bool ParseY4mHeader(const uint8_t* pData, size_t nLength, SY4mHeader& header, std::string* pError) {
    header = SY4mHeader();
    std::string line;
    size_t nNext = 0;
    if (nLength < sizeof MAGIC || std::memcmp(pData, MAGIC, sizeof MAGIC - 1) != 0 ||
        (pData[sizeof MAGIC - 1] != ' ' && pData[sizeof MAGIC - 1] != '\n')) {
        return Fail(pError, "not a YUV4MPEG2 stream (it does not start with \"YUV4MPEG2 \")");
    }
    if (!ReadLine(pData, nLength, 0, line, nNext)) {
        return Fail(pError, "the YUV4MPEG2 header line does not end");
    }
    if (line.find('\r') != std::string::npos) {
        return Fail(pError,
                    "the YUV4MPEG2 header line ends in CR LF, as a text-mode copy "
                    "leaves it; YUV4MPEG2 lines end in LF alone");
    }
    bool bWidth = false, bHeight = false;
    size_t nPos = sizeof MAGIC - 1;
    while (nPos < line.size()) {
        const size_t nSpace = line.find(' ', nPos);
        const std::string token = line.substr(nPos, nSpace - nPos);
        nPos = nSpace == std::string::npos ? line.size() : nSpace + 1;
        if (token.empty()) {
            continue;
        }
        const std::string value = token.substr(1);
        bool bOk = true;
        switch (token[0]) {
            case 'W':
                bOk = ParseUnsigned(value, header.nWidth) && header.nWidth > 0;
                bWidth = true;
                break;
            case 'H':
                bOk = ParseUnsigned(value, header.nHeight) && header.nHeight > 0;
                bHeight = true;
                break;
            case 'F':
                bOk = ParseRatio(value, header.nRateNum, header.nRateDen) && header.nRateNum > 0 &&
                      header.nRateDen > 0;
                break;
            case 'I':
                bOk = value.size() == 1;
                header.cInterlace = bOk ? value[0] : '?';
                break;
            case 'A': {
                uint32_t a, b;
                bOk = ParseRatio(value, a, b);
                break;
            }
            case 'C':
                bOk = !value.empty();
                header.strColour = value;
                break;
            default:  // X and unknown tags carry nothing we use
                break;
        }
        if (!bOk) {
            return Fail(pError, "malformed YUV4MPEG2 header field \"" + token + "\"");
        }
    }
    if (!bWidth || !bHeight) {
        return Fail(pError, "the YUV4MPEG2 header has no width (W) or height (H)");
    }
    header.nHeaderBytes = static_cast<uint32_t>(nNext);
    return true;
}

bool IsQcifY4m(const SY4mHeader& header, std::string* pError) {
    const std::string& c = header.strColour;
    const bool b420 =
        c == "420jpeg" || c == "420paldv" || c == "420mpeg2" || c == "420p" || c == "420";
    if (header.nWidth == 176 && header.nHeight == 144 && b420) {
        return true;
    }
    return Fail(pError, "the stream is " + Describe(header) +
                            "; QCIF streams are 176x144 4:2:0 8-bit. Make one with: ffmpeg -i "
                            "INPUT -vf scale=176:144 -pix_fmt yuv420p OUTPUT.y4m");
}

bool ReadY4mFrames(const uint8_t* pData, size_t nLength, SY4mHeader& header,
                   std::vector<uint8_t>& qcf, std::string* pError, size_t* pnDropped) {
    if (pnDropped) {
        *pnDropped = 0;
    }
    if (!ParseY4mHeader(pData, nLength, header, pError) || !IsQcifY4m(header, pError)) {
        return false;
    }
    size_t nAt = header.nHeaderBytes;
    uint32_t nFrame = 0;
    std::string line;
    static constexpr char FRAME[] = "FRAME";
    while (nAt < nLength) {
        ++nFrame;
        size_t nNext = 0;
        const size_t nLeft = nLength - nAt;
        // The stream ends in the middle of a FRAME line: cut short, not damaged.
        const bool bCutInLine =
            nLeft < MAX_LINE && !std::memchr(pData + nAt, '\n', nLeft) &&
            std::memcmp(pData + nAt, FRAME, std::min(nLeft, sizeof FRAME - 1)) == 0;
        if (!bCutInLine &&
            (!ReadLine(pData, nLength, nAt, line, nNext) || line.compare(0, 5, FRAME) != 0 ||
             (line.size() > 5 && line[5] != ' '))) {
            const bool bCr = !line.empty() && line.back() == '\r';
            return Fail(pError,
                        "frame " + std::to_string(nFrame) +
                            " does not start with a FRAME line (byte " + std::to_string(nAt) + ")" +
                            (bCr ? ": it ends in CR LF; YUV4MPEG2 lines end in LF alone" : ""));
        }
        if (bCutInLine || nLength - nNext < QCIF_FRAME_BYTES) {
            if (pnDropped) {
                *pnDropped = nLeft;
                return true;
            }
            const size_t nHeld = bCutInLine ? 0 : nLength - nNext;
            return Fail(pError, "the stream ends inside frame " + std::to_string(nFrame) + " (" +
                                    std::to_string(nHeld) + " of " +
                                    std::to_string(QCIF_FRAME_BYTES) + " bytes)");
        }
        qcf.insert(qcf.end(), pData + nNext, pData + nNext + QCIF_FRAME_BYTES);
        nAt = nNext + QCIF_FRAME_BYTES;
    }
    return true;
}

std::string Y4mQcifHeader(uint32_t nRateNum, uint32_t nRateDen) {
    return "YUV4MPEG2 W176 H144 F" + std::to_string(nRateNum) + ":" + std::to_string(nRateDen) +
           " Ip A0:0 C420jpeg\n";
}

void AppendY4mStream(const uint8_t* pQcf, uint32_t nFrames, std::vector<uint8_t>& out,
                     uint32_t nRateNum, uint32_t nRateDen) {
    const std::string strHeader = Y4mQcifHeader(nRateNum, nRateDen);
    static constexpr char FRAME[] = "FRAME\n";
    out.reserve(out.size() + strHeader.size() + size_t(nFrames) * (QCIF_FRAME_BYTES + 6));
    out.insert(out.end(), strHeader.begin(), strHeader.end());
    for (uint32_t k = 0; k < nFrames; ++k) {
        out.insert(out.end(), FRAME, FRAME + 6);
        const uint8_t* pFrame = pQcf + size_t(k) * QCIF_FRAME_BYTES;
        out.insert(out.end(), pFrame, pFrame + QCIF_FRAME_BYTES);
    }
}
