#include "codec/CodecContext.h"

#include <cstdlib>

#include "codec/WorkingState.h"
#include "io/Prompts.h"

const char* CodecErrorText(CodecError nError) {
    switch (nError) {
        case CodecError::None:
            return "No error.";
        case CodecError::BadParameters:
            return "Invalid coding parameters: frames must be 1 to 65535, threshold and "
                   "quantiser 1 to 255.";
        case CodecError::NoMemory:
            return "Not enough memory to hold the coded data.";
        case CodecError::NoRecordData:
            return "The compressed stream holds no frame data.";
        case CodecError::ImpossibleSize:
            return "The compressed stream is damaged: its data length does not fit its frame "
                   "count.";
        case CodecError::Truncated:
            return "The compressed stream is truncated.";
        case CodecError::Corrupt:
            return "The compressed stream is damaged and cannot be decoded.";
        case CodecError::MissingFrames:
            return "The compressed stream holds fewer frames than its header states.";
        case CodecError::BadRecord:
            return "The compressed stream is damaged: a frame record does not match the frame "
                   "size.";
    }
    return "Unknown error.";
}

CCodecContext::~CCodecContext() {
    if (m_bCmpOwned) {
        std::free(m_pCmp);
    }
}

uint8_t* CCodecContext::TakeCmp() {
    uint8_t* p = m_pCmp;
    m_pCmp = nullptr;
    m_nCmpLength = 0;
    m_bCmpOwned = false;
    return p;
}

bool CCodecContext::Fail(CodecError nError) {
    m_nError = nError;
    return false;
}

bool CCodecContext::PublishProgress() {
    int32_t nSeen = g_nProgress.load();
    if (nSeen == PROGRESS_CANCEL) {
        return false;
    }
    if (m_onFrameEvent) {
        m_onFrameEvent(FrameEvent::ProgressRead, m_nFrame);
    }
    const int32_t nPercent = static_cast<int32_t>(uint32_t(m_nFrame) * 100u / m_nFrames);
    // Only the other thread changes the cell during a run, and only to ask for a
    // cancel: a failed exchange is that request.
    if (!g_nProgress.compare_exchange_strong(nSeen, nPercent)) {
        return false;
    }
    if (m_onFrameEvent) {
        m_onFrameEvent(FrameEvent::FrameBegun, m_nFrame);
    }
    return true;
}

bool CCodecContext::AllocateFrames() {
    bool bOk = true;
    for (auto& p : g_pCoef) {
        p = static_cast<int16_t*>(std::malloc(COEF_FRAME_VALUES * sizeof(int16_t)));
        bOk = bOk && p;
    }
    m_pFrameBytes = static_cast<uint8_t*>(std::malloc(COEF_FRAME_VALUES * sizeof(int16_t)));
    if (bOk && m_pFrameBytes) {
        return true;
    }
    ReleaseFrames();
    Prompts().MessageBox("Error allocating memory for transform matrix.", "Fatal Error");
    Prompts().EndProcess(0);
    return Fail(CodecError::NoMemory);
}

void CCodecContext::ReleaseFrames() {
    for (auto& p : g_pCoef) {
        std::free(p);
        p = nullptr;
    }
    std::free(m_pFrameBytes);
    m_pFrameBytes = nullptr;
}
