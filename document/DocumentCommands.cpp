#include "document/DocumentCommands.h"

#include <algorithm>
#include <cstdlib>

#include "codec/CodecContext.h"
#include "codec/CodecRun.h"
#include "document/TavroDoc.h"
#include "io/Prompts.h"

namespace {

// A run counts only when the dialog finished it and nobody asked to cancel; a
// run the codec gave up on is reported and does not count either.
bool Accepted(int nResult, bool bCancelled, const CCodecContext& context) {
    if (nResult == IDCANCEL || bCancelled) {
        return false;
    }
    if (context.m_nError != CodecError::None) {
        Prompts().MessageBox(CodecErrorText(context.m_nError), "Error");
        return false;
    }
    return true;
}

}  // namespace

void CTavroDoc::Compress(IDocumentDialogs& dialogs) {
    CParametersChoice choice;
    // The stream header counts frames in 16 bits: never offer more.
    choice.m_nMaxFrames =
        m_nStreamFrames < 0 ? 0 : std::min<uint32_t>(m_nStreamFrames, CODEC_MAX_FRAMES);
    choice.m_nThreshold = 10;
    choice.m_nQuantiser = 16;
    if (dialogs.RunParameters(choice) == IDCANCEL) {
        return;
    }
    // More frames than the buffer holds would make the codec read past it.
    if (choice.m_nFrames < 1 || choice.m_nFrames > choice.m_nMaxFrames) {
        return;
    }
    m_nCodedFrames = static_cast<int32_t>(choice.m_nFrames);
    m_nThreshold = choice.m_nThreshold;
    m_nQuantiser = choice.m_nQuantiser;

    CCodecContext context;
    context.m_bCompress = true;
    context.m_nFrames = choice.m_nFrames;
    context.m_byThreshold = static_cast<uint8_t>(m_nThreshold);
    context.m_byQuantiser = static_cast<uint8_t>(m_nQuantiser);
    context.m_pQcf = m_pQcfData;
    context.m_bFirstFrameDone = false;
    context.m_nThreads = DefaultCodecThreads();  // every core; the bytes are the same
    bool bCancelled = false;
    const int nResult = dialogs.RunProcessing(context, bCancelled);
    if (!Accepted(nResult, bCancelled, context)) {
        return;  // the context frees the output nobody took
    }
    std::free(m_pQcfData);
    m_pQcfData = nullptr;
    m_nCmpLength = context.m_nCmpLength;
    m_pCmpData = context.TakeCmp();
    m_cState = 's';
    m_bModified = true;  // the raw stream is gone: only Save Output keeps this result
}

void CTavroDoc::Decompress(IDocumentDialogs& dialogs) {
    const uint32_t nFrames = m_nCodedFrames < 0 ? 0 : static_cast<uint32_t>(m_nCodedFrames);
    // A damaged header could ask for gigabytes of frames that its data cannot
    // hold: refuse it before allocating rather than run out of memory.
    if (const CodecError nError = CheckStreamLength(m_pCmpData, m_nCmpLength, nFrames);
        nError != CodecError::None) {
        Prompts().MessageBox(CodecErrorText(nError), "Error");
        return;
    }
    auto* pQcf = static_cast<uint8_t*>(Allocate(size_t{nFrames} * QCIF_FRAME_BYTES));
    if (!pQcf) {
        Prompts().MessageBox("Error allocating memory for QcfData.", "Fatal Error");
        Prompts().EndProcess(1);
        return;
    }

    CCodecContext context;
    context.m_bCompress = false;
    context.m_nFrames = nFrames;
    context.m_byThreshold = static_cast<uint8_t>(m_nThreshold);
    context.m_byQuantiser = static_cast<uint8_t>(m_nQuantiser);
    context.m_pQcf = pQcf;
    context.m_pCmp = m_pCmpData;  // read only; stays the document's
    context.m_nCmpLength = m_nCmpLength;
    context.m_bFirstFrameDone = false;
    context.m_nThreads = DefaultCodecThreads();  // every core; the bytes are the same
    bool bCancelled = false;
    const int nResult = dialogs.RunProcessing(context, bCancelled);
    if (!Accepted(nResult, bCancelled, context)) {
        std::free(pQcf);
        return;
    }
    // The compressed stream is released here only, once the frames are kept.
    std::free(m_pCmpData);
    m_pCmpData = nullptr;
    m_pQcfData = pQcf;
    m_nStreamFrames = m_nCodedFrames;
    m_cState = 'x';
    m_bModified = true;
}

void CTavroDoc::OnPlay(IDocumentDialogs& dialogs) {
    dialogs.RunViewer(m_pQcfData, m_nCodedFrames > 0 ? static_cast<uint32_t>(m_nCodedFrames) : 0);
}
