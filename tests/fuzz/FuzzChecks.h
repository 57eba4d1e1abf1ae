#pragma once
// What must hold for any input to the readers of untrusted bytes: the whole
// decompression of a compressed stream, the document's open (and the
// Decompress and Save Output that may follow it), the comparison of two raw
// streams, and the reading of a YUV4MPEG2 stream. Each check returns an empty string when every
// property held, or a description of the first one broken. The libFuzzer targets abort on a
// non-empty answer; the normal test suite replays the seed corpus and every
// kept crash input through the same checks.

#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/CodecContext.h"
#include "document/DocumentCommands.h"
#include "document/TavroDoc.h"
#include "io/Prompts.h"
#include "stats/CompareLogic.h"
#include "stream/RawSource.h"
#include "stream/Y4m.h"

namespace fuzzchecks {

using Bytes = std::vector<uint8_t>;

// Frames a fuzz input may make the decoder rebuild: enough to reach the frame
// differences, few enough to keep every execution fast and small.
constexpr uint32_t kMaxFuzzFrames = 4;

// Records messages and answers the save and open choosers with a fixed path.
class CRecordingPrompts : public IPromptServices {
public:
    CRecordingPrompts() : m_pPrevious(SetPrompts(this)) {}
    ~CRecordingPrompts() override { SetPrompts(m_pPrevious); }
    void MessageBox(const std::string& strText, const std::string& strCaption) override {
        messages.push_back(strCaption + ": " + strText);
    }
    bool ChooseFile(const FileChooserRequest&, FileChooserResult& result) override {
        if (strChoice.empty()) {
            return false;
        }
        result.strPathName = strChoice;
        result.strFileName = strChoice.substr(strChoice.find_last_of('/') + 1);
        return true;
    }
    ESaveChoice AskSaveOutput(const std::string&, const std::string&) override {
        return ESaveChoice::Cancel;
    }
    void EndProcess(int nStatus) override { endStatus = nStatus; }

    std::vector<std::string> messages;
    std::string strChoice;
    int endStatus = -1;

private:
    IPromptServices* m_pPrevious;
};

// After a run every working buffer of its context is released again.
inline bool WorkspaceIsClear(const CCodecContext& context) {
    return !context.m_pCoef[0] && !context.m_pCoef[1] && !context.m_pCoef[2] &&
           !context.m_pRecordsIn && !context.m_pRecordsOut;
}

// Runs the codec at once on the calling thread, as the processing dialog would
// after Start, and accepts the parameters as the dialog opens.
class CSyncDialogs : public IDocumentDialogs {
public:
    int RunParameters(CParametersChoice& choice) override {
        choice.m_nFrames = choice.m_nMaxFrames;
        return IDOK;
    }
    int RunProcessing(CCodecContext& context, bool& bCancelled) override {
        bCancelled = false;
        context.Run();
        bWorkspaceClear = bWorkspaceClear && WorkspaceIsClear(context);
        return IDOK;
    }
    void RunViewer(const uint8_t*, uint32_t) override {}
    bool bWorkspaceClear = true;  // after every run
};

// A private folder for the files the checks write, made once per process.
inline const std::string& ScratchDir() {
    static const std::string dir = [] {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/tavro-fuzz-XXXXXX";
        std::vector<char> name(tmpl.begin(), tmpl.end());
        name.push_back('\0');
        const char* made = mkdtemp(name.data());
        return std::string(made ? made : "/tmp");
    }();
    return dir;
}

inline bool WriteAll(const std::string& strPath, const uint8_t* p, size_t n) {
    FILE* f = std::fopen(strPath.c_str(), "wb");
    if (!f) {
        return false;
    }
    const bool ok = (n == 0 || std::fwrite(p, 1, n, f) == n);
    return std::fclose(f) == 0 && ok;
}

inline Bytes ReadAll(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The whole decompression of a compressed stream (header included) into as many
// frames as its header states, at most kMaxFuzzFrames.
inline std::string CheckDecompress(const uint8_t* pData, size_t nSize) {
    if (nSize > (1u << 24)) {
        return "";
    }
    Bytes cmp(pData, pData + nSize);  // a private copy, so reads past it are caught
    const Bytes original = cmp;
    uint32_t nFrames = 1;
    uint8_t t = 10, q = 16;
    if (nSize >= 4) {
        nFrames = std::min<uint32_t>(cmp[0] | cmp[1] << 8, kMaxFuzzFrames);
        t = cmp[2];
        q = cmp[3];
    }
    Bytes qcf(size_t(std::max<uint32_t>(nFrames, 1)) * QCIF_FRAME_BYTES, 0xA5);

    CCodecContext context;
    context.m_bCompress = false;
    context.m_nFrames = nFrames;
    context.m_byThreshold = t;
    context.m_byQuantiser = q;
    context.m_pQcf = qcf.data();
    context.m_pCmp = cmp.empty() ? nullptr : cmp.data();
    context.m_nCmpLength = static_cast<uint32_t>(cmp.size());
    context.UseOwnProgressCell();
    const bool bDone = context.DecompressRun();

    if (cmp != original) {
        return "decompression changed its input";
    }
    if (!WorkspaceIsClear(context)) {
        return "decompression left working buffers behind";
    }
    if (bDone != (context.m_nError == CodecError::None)) {
        return "result and error disagree";
    }
    if (!bDone && (nFrames == 0 || t == 0 || q == 0) &&
        context.m_nError != CodecError::BadParameters) {
        return "parameters out of range not reported as such";
    }
    if (bDone && context.m_nFrame != nFrames) {
        return "a successful run did not rebuild every frame";
    }
    if (context.m_pProgress->load() < 0 || context.m_pProgress->load() > 99) {
        return "progress left outside 0..99";
    }
    return "";
}

// Opens bytes as a .qcf or .cmp file (the first byte chooses), then, when the
// document holds a short compressed stream, decompresses it; then saves what
// the document holds and checks the file written.
inline std::string CheckDocumentOpen(const uint8_t* pData, size_t nSize) {
    if (nSize < 1 || nSize > (1u << 22)) {
        return "";
    }
    static const char* const kNames[] = {"in.qcf", "in.cmp", "IN.CMP", "in.QcF", "in.yuv"};
    const std::string strName = kNames[pData[0] % 5];
    const bool bQcf = strName == "in.qcf" || strName == "in.QcF";
    const bool bCmp = strName == "in.cmp" || strName == "IN.CMP";
    const Bytes content(pData + 1, pData + nSize);
    const std::string strPath = ScratchDir() + "/" + strName;
    if (!WriteAll(strPath, content.data(), content.size())) {
        return "";  // not the code under test
    }

    CRecordingPrompts prompts;
    CTavroDoc doc;
    const bool bOpened = doc.OnOpenDocument(strPath);
    std::remove(strPath.c_str());
    if (prompts.endStatus != -1) {
        return "the open ended the process";
    }
    const size_t n = content.size();
    if (bQcf) {
        if (doc.m_cState != 'i' || bOpened != (n >= QCIF_FRAME_BYTES) ||
            uint64_t(doc.m_nStreamFrames) != n / QCIF_FRAME_BYTES ||
            !std::equal(content.begin(), content.begin() + doc.RawStreamBytes(), doc.m_pQcfData)) {
            return "raw stream not held as read";
        }
    } else if (bCmp) {
        if (n < CMP_HEADER_BYTES) {
            if (bOpened || doc.m_cState != 'd') {
                return "a file shorter than its header was accepted";
            }
            return "";
        }
        const int32_t nHeaderFrames = content[0] | content[1] << 8;
        if (doc.m_cState != 'n' || bOpened != (nHeaderFrames > 0) || doc.m_nCmpLength != n ||
            doc.m_nCodedFrames != nHeaderFrames || doc.m_nThreshold != content[2] ||
            doc.m_nQuantiser != content[3] ||
            !std::equal(content.begin(), content.end(), doc.m_pCmpData)) {
            return "compressed stream not held as read";
        }
    } else {
        if (bOpened || doc.m_cState != 'd' || prompts.messages.size() != 1) {
            return "unknown file type not refused";
        }
        return "";
    }

    if (bCmp && doc.m_nCodedFrames >= 1 && uint32_t(doc.m_nCodedFrames) <= kMaxFuzzFrames) {
        CSyncDialogs dialogs;
        const uint8_t* pBefore = doc.m_pCmpData;
        const size_t nMessages = prompts.messages.size();
        doc.Decompress(dialogs);
        if (!dialogs.bWorkspaceClear) {
            return "decompression left working buffers behind";
        }
        if (doc.m_cState == 'x') {
            if (doc.m_nStreamFrames != doc.m_nCodedFrames || !doc.m_pQcfData ||
                prompts.messages.size() != nMessages) {
                return "an accepted decompression does not hold the declared frames";
            }
        } else if (doc.m_cState != 'n' || doc.m_pCmpData != pBefore || doc.m_nCmpLength != n ||
                   !std::equal(content.begin(), content.end(), doc.m_pCmpData) ||
                   prompts.messages.size() != nMessages + 1 ||
                   prompts.messages.back().rfind("Error: ", 0) != 0) {
            return "a failed decompression did not keep the stream or say why";
        }
    }

    // Save Output writes exactly what the document holds.
    prompts.strChoice = ScratchDir() + "/out.bin";
    if (!doc.OnSaveOutput()) {
        return "Save Output failed";
    }
    const Bytes saved = ReadAll(prompts.strChoice);
    std::remove(prompts.strChoice.c_str());
    const uint8_t* pHeld = doc.m_cState == 'n' ? doc.m_pCmpData : doc.m_pQcfData;
    const size_t nHeld = doc.m_cState == 'n' ? doc.m_nCmpLength : doc.RawStreamBytes();
    if (saved.size() != nHeld || !std::equal(saved.begin(), saved.end(), pHeld)) {
        return "Save Output did not write the held stream";
    }
    return "";
}

// Two raw streams compared frame by frame and as a whole. The input is a small
// description that is expanded to whole frames, so that short inputs reach
// every path: byte 0 the document's frames (0..3) and byte 1 a partial tail;
// bytes 2 and 3 the same for the comparison file; byte 4 bits: 0 Compare
// Streams, 1 shrink the comparison file after it was chosen, 2..3 spin steps;
// then the frame edit's text up to a zero byte; the rest is the sample pattern
// both streams are tiled from (the comparison file's shifted by byte 5).
inline std::string CheckCompareStreams(const uint8_t* pData, size_t nSize) {
    if (nSize < 6 || nSize > 4096) {
        return "";
    }
    const uint32_t nDocFrames = pData[0] % 4, nCmpFrames = pData[2] % 4;
    const uint32_t nDocTail = pData[1] * 149u, nCmpTail = pData[3] * 149u;
    const uint8_t byMode = pData[4];
    const uint8_t byShift = pData[5];
    size_t i = 6;
    std::string strEdit;
    while (i < nSize && pData[i] != 0 && strEdit.size() < 12) {
        strEdit.push_back(static_cast<char>(pData[i++]));
    }
    // The sample pattern; a lone zero when the input ends with the text.
    const size_t nPatternAt = std::min(i + 1, nSize);
    const Bytes pattern = nPatternAt < nSize ? Bytes(pData + nPatternAt, pData + nSize) : Bytes(1);
    auto tile = [&](size_t nBytes, uint8_t byAdd) {
        Bytes b(nBytes);
        for (size_t k = 0; k < nBytes; ++k) {
            b[k] = static_cast<uint8_t>(pattern[k % pattern.size()] + byAdd * ((k / 97) & 1));
        }
        return b;
    };
    const Bytes docBytes = tile(nDocFrames * size_t(QCIF_FRAME_BYTES) + nDocTail, 0);
    const Bytes cmpBytes = tile(nCmpFrames * size_t(QCIF_FRAME_BYTES) + nCmpTail, byShift);
    const std::string strDoc = ScratchDir() + "/doc.qcf";
    const std::string strRef = ScratchDir() + "/ref.qcf";
    if (!WriteAll(strDoc, docBytes.data(), docBytes.size()) ||
        !WriteAll(strRef, cmpBytes.data(), cmpBytes.size())) {
        return "";
    }

    CRecordingPrompts prompts;
    prompts.strChoice = strRef;
    CTavroDoc doc;
    doc.OnOpenDocument(strDoc);
    const bool bSingle = !(byMode & 1);
    auto pLogic = BeginCompare(doc, bSingle);
    const bool bAccepted = nCmpFrames > 0;
    if (bool(pLogic) != bAccepted || doc.m_bCompareFile != bAccepted) {
        return "comparison file acceptance does not follow its whole frames";
    }
    if (!pLogic) {
        return "";
    }
    if (byMode & 2) {  // the file shrinks behind the dialog's back
        const size_t nKeep = cmpBytes.size() / 3;
        WriteAll(strRef, cmpBytes.data(), nKeep);
    }
    pLogic->OnInitDialog();
    const uint32_t nCompared = pLogic->GetFrames();
    if (nCompared > nDocFrames || nCompared > nCmpFrames) {
        return "more frames compared than both streams hold";
    }
    std::string strText = bSingle ? strEdit : "All";
    for (int s = 0; s < ((byMode >> 2) & 3); ++s) {
        strText = pLogic->OnSpinStep(strText, (byMode & 16) ? -1 : 1);
    }
    const std::string strRmseBefore = pLogic->RmseText();
    pLogic->OnCompare(strText);
    pLogic->OnCompare(strEdit);  // whatever the edit holds, typed by the user
    std::remove(strRef.c_str());
    std::remove(strDoc.c_str());

    const std::string& r = pLogic->RmseText();
    const std::string& p = pLogic->PsnrText();
    if ((r == "Match") != (p == "Match")) {
        return "only one figure says Match";
    }
    if (!r.empty() && r != "Match") {
        const double dRmse = std::atof(r.c_str()), dPsnr = std::atof(p.c_str());
        if (!(dRmse >= 0 && dRmse <= 255 && dPsnr >= 0 && dPsnr < 94)) {
            return "figures out of range: " + r + " / " + p;
        }
    }
    if (nCompared == 0 && (r != strRmseBefore || pLogic->IsCompareEnabled())) {
        return "a comparison of no frames showed a result";
    }
    if (prompts.endStatus != -1) {
        return "the comparison ended the process";
    }
    return "";
}

// Reads bytes as a .y4m file: the header, then its frames, both as a strict
// reader (a stream cut short fails) and as one that drops a partial last frame.
// The frame-by-frame reader the command line uses, on the same bytes as a
// file: frames it delivers fit the input; a stream the whole-buffer reader
// reads as QCIF it reads to the same frames, and refuses what that refuses.
inline std::string CheckY4mSource(const uint8_t* pData, size_t nSize, bool bRead,
                                  const Bytes& expected) {
    const int fd = memfd_create("y4m", 0);
    if (fd < 0) {
        return "";  // no memory file here: nothing to check
    }
    std::string strBroken;
    if (size_t(write(fd, pData, nSize)) != nSize) {
        close(fd);
        return "";
    }
    std::string strError;
    auto pSource = OpenY4mSource("/proc/self/fd/" + std::to_string(fd), &strError);
    Bytes frames, frame(QCIF_FRAME_BYTES);
    EFrameRead r = EFrameRead::Failed;
    if (pSource) {
        while ((r = pSource->Read(frame.data())) == EFrameRead::Frame && frames.size() <= nSize) {
            frames.insert(frames.end(), frame.begin(), frame.end());
        }
        strError = r == EFrameRead::Failed ? pSource->GetError() : "";
    }
    close(fd);
    if (frames.size() > nSize) {
        return "the frame reader delivered more than its input holds";
    }
    if (r == EFrameRead::Failed && (strError.empty() || strError.find('\n') != std::string::npos)) {
        return "the frame reader failed without a one-line reason";
    }
    if (bRead && (r != EFrameRead::End || frames != expected)) {
        return "the frame reader and the whole-file reader disagree on a QCIF stream";
    }
    return "";
}

inline std::string CheckY4m(const uint8_t* pData, size_t nSize) {
    SY4mHeader header;
    std::string strError;
    const bool bHeader = ParseY4mHeader(pData, nSize, header, &strError);
    if (bHeader && (header.nHeaderBytes > nSize || header.nHeaderBytes == 0 ||
                    pData[header.nHeaderBytes - 1] != '\n' || !header.nWidth || !header.nHeight)) {
        return "a header was accepted beyond its line or without its size";
    }
    if (!bHeader && (strError.empty() || strError.find('\n') != std::string::npos)) {
        return "a refused header got no one-line reason";
    }
    Bytes strict, lenient;
    std::string strStrict, strLenient;
    const bool bStrict = ReadY4mFrames(pData, nSize, header, strict, &strStrict);
    size_t nDropped = 0;
    const bool bLenient = ReadY4mFrames(pData, nSize, header, lenient, &strLenient, &nDropped);
    if (strict.size() % QCIF_FRAME_BYTES != 0 || lenient.size() % QCIF_FRAME_BYTES != 0 ||
        strict.size() > nSize || lenient.size() + nDropped > nSize) {
        return "frames that do not fit the input";
    }
    if (bStrict && (!bLenient || nDropped != 0 || lenient != strict)) {
        return "a whole stream read differently when a partial frame may be dropped";
    }
    if (bLenient && !bStrict && nDropped == 0) {
        return "a refused stream was read whole";
    }
    if (bLenient != bStrict && strict != lenient) {
        return "the frames before a partial one differ";
    }
    if (!bLenient && strLenient.find('\n') != std::string::npos) {
        return "a reason of more than one line";
    }
    std::string strQcif;
    if (const std::string strSource =
            CheckY4mSource(pData, nSize, bLenient && IsQcifY4m(header, &strQcif), lenient);
        !strSource.empty()) {
        return strSource;
    }
    if (bLenient) {
        // What was read writes back to a stream that reads the same.
        Bytes again, back;
        AppendY4mStream(lenient.data(), uint32_t(lenient.size() / QCIF_FRAME_BYTES), again,
                        header.nRateNum, header.nRateDen);
        SY4mHeader header2;
        if (!ReadY4mFrames(again.data(), again.size(), header2, back, nullptr) || back != lenient) {
            return "the frames read do not survive a round trip";
        }
    }
    return "";
}

}  // namespace fuzzchecks
