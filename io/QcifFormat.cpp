#include "io/QcifFormat.h"

#include <cctype>

bool ReadCmpHeader(const uint8_t* pData, uint64_t nLength, SCmpHeader& header) {
    if (nLength < CMP_HEADER_BYTES) {
        return false;
    }
    header.nFrames = pData[0] | uint32_t(pData[1]) << 8;
    header.byThreshold = pData[2];
    header.byQuantiser = pData[3];
    return true;
}

void WriteCmpHeader(const SCmpHeader& header, uint8_t* pOut) {
    pOut[0] = static_cast<uint8_t>(header.nFrames & 0xFF);
    pOut[1] = static_cast<uint8_t>((header.nFrames >> 8) & 0xFF);
    pOut[2] = header.byThreshold;
    pOut[3] = header.byQuantiser;
}

EStreamType StreamTypeOf(const std::string& strPath) {
    // The last three characters, upper-cased (the whole name if shorter).
    std::string strTail = strPath.size() > 3 ? strPath.substr(strPath.size() - 3) : strPath;
    for (char& c : strTail) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (strTail == "QCF") {
        return EStreamType::Qcf;
    }
    if (strTail == "CMP") {
        return EStreamType::Cmp;
    }
    return EStreamType::Unknown;
}

double RgbCompressionRatio(uint64_t nFrames, uint64_t nCmpBytes) {
    if (nCmpBytes == 0) {
        return 0.0;
    }
    return double(nFrames * RGB_FRAME_BYTES) / double(nCmpBytes);
}
