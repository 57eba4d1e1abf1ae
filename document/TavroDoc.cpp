#include "document/TavroDoc.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "io/File.h"
#include "io/Prompts.h"
#include "io/SafeFileWriter.h"

namespace {

CTavroDoc::AllocateFn g_pfnAllocate = nullptr;

// CFile reads at most 4 GiB - 1 at a time; a .qcf may be longer.
uint64_t ReadWhole(CFile& file, uint8_t* pBuffer, uint64_t nLength) {
    constexpr uint32_t kChunk = 1u << 30;
    uint64_t nDone = 0;
    while (nDone < nLength) {
        uint64_t nLeft = nLength - nDone;
        uint32_t nAsk = nLeft > kChunk ? kChunk : static_cast<uint32_t>(nLeft);
        uint32_t nGot = file.Read(pBuffer + nDone, nAsk);
        nDone += nGot;
        if (nGot < nAsk) {
            break;  // end of file or a read error: keep what arrived
        }
    }
    return nDone;
}

// The last three characters of the path upper-cased (the whole path if shorter).
}  // namespace

CTavroDoc::AllocateFn CTavroDoc::SetAllocator(AllocateFn pfn) {
    AllocateFn pfnOld = g_pfnAllocate;
    g_pfnAllocate = pfn;
    return pfnOld;
}

void* CTavroDoc::Allocate(size_t nBytes) {
    // malloc(0) may legitimately return nullptr; an empty stream is not out of memory.
    if (nBytes == 0) {
        nBytes = 1;
    }
    return g_pfnAllocate ? g_pfnAllocate(nBytes) : std::malloc(nBytes);
}

CTavroDoc::CTavroDoc() = default;

CTavroDoc::~CTavroDoc() {
    DeleteContents();
}

void CTavroDoc::DeleteContents() {
    switch (m_cState) {
        case 'i':
        case 'x':
            std::free(m_pQcfData);
            m_pQcfData = nullptr;
            break;
        case 'n':
        case 's':
            std::free(m_pCmpData);
            m_pCmpData = nullptr;
            break;
        default:
            break;
    }
    m_cState = 'd';
    m_bModified = false;
    m_nStreamFrames = 0;
    m_nCodedFrames = 0;
    m_nCmpLength = 0;
    m_nThreshold = 1;
    m_nQuantiser = 1;
}

bool CTavroDoc::OnOpenDocument(const std::string& strPath) {
    // A file that cannot be read at all is reported, and the document keeps
    // what it holds: nothing has been discarded yet.
    CFile file;
    if (!file.Open(strPath, CFile::modeRead)) {
        Prompts().MessageBox("Cannot open \"" + strPath + "\": " + file.GetError() + ".", "Error");
        return false;
    }
    DeleteContents();
    m_strPathName.clear();
    m_strTitle.clear();

    const uint64_t nLength = file.GetLength();
    const EStreamType type = StreamTypeOf(strPath);
    if (type == EStreamType::Qcf) {
        void* p = nLength <= SIZE_MAX ? Allocate(static_cast<size_t>(nLength)) : nullptr;
        if (!p) {
            Prompts().MessageBox("Error allocating memory to m_pQcfData.", "Fatal Error");
            Prompts().EndProcess(1);
            return false;
        }
        m_pQcfData = static_cast<uint8_t*>(p);
        uint64_t nFrames = ReadWhole(file, m_pQcfData, nLength) / QCIF_FRAME_BYTES;
        m_nStreamFrames = nFrames > INT32_MAX ? INT32_MAX : static_cast<int32_t>(nFrames);
        m_nCodedFrames = m_nStreamFrames;
        m_cState = 'i';
    } else if (type == EStreamType::Cmp) {
        // The length must fit m_nCmpLength, and the header must be there to read;
        // anything else cannot be a compressed stream.
        if (nLength > UINT32_MAX || nLength < CMP_HEADER_BYTES) {
            return false;
        }
        void* p = Allocate(static_cast<size_t>(nLength));
        if (!p) {
            Prompts().MessageBox("Error allocating memory to m_pCmpData.", "Fatal Error");
            Prompts().EndProcess(1);
            return false;
        }
        m_pCmpData = static_cast<uint8_t*>(p);
        uint64_t nRead = ReadWhole(file, m_pCmpData, nLength);
        if (nRead < CMP_HEADER_BYTES) {  // the file shrank or could not be read
            std::free(m_pCmpData);
            m_pCmpData = nullptr;
            return false;
        }
        m_nCmpLength = static_cast<uint32_t>(nRead);
        SCmpHeader header;
        ReadCmpHeader(m_pCmpData, nRead, header);
        m_nStreamFrames = static_cast<int32_t>(header.nFrames);
        m_nCodedFrames = m_nStreamFrames;
        m_nThreshold = header.byThreshold;
        m_nQuantiser = header.byQuantiser;
        m_cState = 'n';
    } else {
        Prompts().MessageBox("Unknown File Type.", "Error");
        return false;
    }
    file.Close();

    if (m_nStreamFrames <= 0) {
        return false;
    }
    m_strPathName = strPath;
    m_strTitle = FileNameOf(strPath);
    return true;
}

void CTavroDoc::TakeRawStream(uint8_t* pFrames, int32_t nFrames, const std::string& strPath) {
    DeleteContents();
    m_pQcfData = pFrames;
    m_nStreamFrames = nFrames;
    m_nCodedFrames = nFrames;
    m_cState = 'i';
    m_strPathName = strPath;
    m_strTitle = FileNameOf(strPath);
    UpdateAllViews();
}

bool CTavroDoc::OnSaveOutput() {
    FileChooserRequest request;
    request.bOpen = false;
    request.bHideReadOnly = true;
    request.bOverwritePrompt = true;
    const uint8_t* pData = nullptr;
    uint64_t nBytes = 0;
    switch (m_cState) {
        case 'i':
        case 'x':
            request.strDefaultExt = "qcf";
            request.strInitialName = "*.qcf";
            pData = m_pQcfData;
            nBytes = RawStreamBytes();
            break;
        case 'n':
        case 's':
            request.strDefaultExt = "cmp";
            request.strInitialName = "*.cmp";
            pData = m_pCmpData;
            nBytes = m_nCmpLength;
            break;
        default:
            return false;
    }
    FileChooserResult result;
    if (!Prompts().ChooseFile(request, result)) {
        return false;
    }
    // The writer follows links, writes pipes and devices directly and keeps
    // an existing file as it was when the write fails.
    std::string strError;
    if (!WriteFileSafely(result.strPathName, pData, nBytes, &strError)) {
        Prompts().MessageBox(strError + ".", "Error");
        return false;
    }
    m_bModified = false;
    return true;
}

bool CTavroDoc::SaveModified() {
    if (!m_bModified) {
        return true;
    }
    const std::string strWhat = m_cState == 's'
                                    ? "The compressed data computed from the Qcif stream"
                                    : "The Qcif stream extracted from the compressed data";
    switch (Prompts().AskSaveOutput(
        strWhat + " has not been saved. Save it before it is discarded?", "Tavro")) {
        case ESaveChoice::Save:
            return OnSaveOutput();
        case ESaveChoice::Discard:
            return true;
        case ESaveChoice::Cancel:
            break;
    }
    return false;
}

bool CTavroDoc::DiscardEmptyStream() {
    if (m_cState == 'd' || m_nStreamFrames > 0) {
        return false;
    }
    DeleteContents();
    return true;
}
