#include "cli/CliSupport.h"

#include <cctype>
#include <cstdio>

#include "io/Fail.h"
#include "io/File.h"
#include "io/QcifFormat.h"

namespace {
bool g_bQuiet = false;

std::string Quoted(const std::string& strPath) {
    return "\"" + strPath + "\"";
}
}  // namespace

bool CliQuiet() {
    return g_bQuiet;
}
void SetCliQuiet(bool bQuiet) {
    g_bQuiet = bQuiet;
}

int CliFail(const std::string& strMessage) {
    std::fprintf(stderr, "tavro-cli: %s\n", strMessage.c_str());
    return kExitFailed;
}

void CliNote(const std::string& strMessage) {
    if (!g_bQuiet) {
        std::fprintf(stderr, "%s\n", strMessage.c_str());
    }
}

bool EndsWithNoCase(const std::string& strPath, const std::string& strEnding) {
    if (strPath.size() < strEnding.size()) {
        return false;
    }
    size_t off = strPath.size() - strEnding.size();
    for (size_t i = 0; i < strEnding.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(strPath[off + i])) !=
            std::tolower(static_cast<unsigned char>(strEnding[i]))) {
            return false;
        }
    }
    return true;
}

static const char* TypeWord(EStreamType type) {
    return type == EStreamType::Qcf ? "a raw QCIF stream (.qcf)" : "a compressed stream (.cmp)";
}

bool CheckInputType(const std::string& strPath, EStreamType wanted) {
    if (StreamTypeOf(strPath) != wanted) {
        CliFail(Quoted(strPath) + " is not " + TypeWord(wanted) + ": files are typed by their " +
                "extension");
        return false;
    }
    return true;
}

bool CheckOutputType(const std::string& strPath, EStreamType wanted) {
    if (StreamTypeOf(strPath) != wanted) {
        CliFail("output " + Quoted(strPath) + " must be named as " + TypeWord(wanted));
        return false;
    }
    return true;
}

bool ProbeQcfFile(const std::string& strPath, QcfFileInfo& info, std::string* pError) {
    CFile file;
    if (!file.Open(strPath, CFile::modeRead)) {
        return Fail(pError, "cannot open " + Quoted(strPath) + ": " + file.GetError());
    }
    info.nBytes = file.GetLength();
    info.nFrames = info.nBytes / QCIF_FRAME_BYTES;
    if (info.nFrames == 0) {
        return Fail(pError, Quoted(strPath) + " holds no whole frame (" +
                                std::to_string(info.nBytes) + " bytes, a frame is 38016)");
    }
    return true;
}

bool ReadQcfFrames(const std::string& strPath, uint32_t nFrames, std::vector<uint8_t>& out,
                   std::string* pError) {
    CFile file;
    if (!file.Open(strPath, CFile::modeRead)) {
        return Fail(pError, "cannot open " + Quoted(strPath) + ": " + file.GetError());
    }
    out.assign(static_cast<size_t>(nFrames) * QCIF_FRAME_BYTES, 0);
    for (uint32_t n = 0; n < nFrames; ++n) {
        uint8_t* p = out.data() + static_cast<size_t>(n) * QCIF_FRAME_BYTES;
        if (file.Read(p, QCIF_FRAME_BYTES) != QCIF_FRAME_BYTES) {
            return Fail(pError,
                        "cannot read frame " + std::to_string(n + 1) + " of " + Quoted(strPath));
        }
    }
    return true;
}

bool ProbeCmpFile(const std::string& strPath, CmpFileInfo& info, std::string* pError) {
    CFile file;
    if (!file.Open(strPath, CFile::modeRead)) {
        return Fail(pError, "cannot open " + Quoted(strPath) + ": " + file.GetError());
    }
    info.nBytes = file.GetLength();
    uint8_t header[CMP_HEADER_BYTES] = {};
    if (info.nBytes < CMP_HEADER_BYTES || file.Read(header, CMP_HEADER_BYTES) != CMP_HEADER_BYTES) {
        return Fail(pError, Quoted(strPath) + " is too short for a compressed stream (" +
                                std::to_string(info.nBytes) + " bytes, the header alone is 4)");
    }
    if (info.nBytes > UINT32_MAX) {
        return Fail(pError, Quoted(strPath) + " is too long for a compressed stream (over 4 GiB)");
    }
    SCmpHeader parsed;
    ReadCmpHeader(header, CMP_HEADER_BYTES, parsed);
    info.nFrames = parsed.nFrames;
    info.nThreshold = parsed.byThreshold;
    info.nQuantiser = parsed.byQuantiser;
    if (info.nFrames == 0) {
        return Fail(pError,
                    Quoted(strPath) + " is not a valid compressed stream: its frame count is 0");
    }
    if (info.nThreshold == 0 || info.nQuantiser == 0) {
        return Fail(pError, Quoted(strPath) + " is not a valid compressed stream: threshold " +
                                std::to_string(info.nThreshold) + " and quantiser " +
                                std::to_string(info.nQuantiser) + " must lie in 1..255");
    }
    return true;
}

bool ReadWholeFile(const std::string& strPath, std::vector<uint8_t>& out, std::string* pError) {
    CFile file;
    if (!file.Open(strPath, CFile::modeRead)) {
        return Fail(pError, "cannot open " + Quoted(strPath) + ": " + file.GetError());
    }
    uint64_t nLength = file.GetLength();
    if (nLength > UINT32_MAX) {
        return Fail(pError, Quoted(strPath) + " is too long (over 4 GiB)");
    }
    out.assign(static_cast<size_t>(nLength), 0);
    if (nLength > 0 && file.Read(out.data(), static_cast<uint32_t>(nLength)) != nLength) {
        return Fail(pError, "cannot read " + Quoted(strPath));
    }
    return true;
}
