#include "codec/CodecContext.h"

#include <cstdlib>

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
        case CodecError::Busy:
            return "Another compression or decompression is already running.";
        case CodecError::NoThread:
            return "Cannot start a worker thread.";
        case CodecError::ReadFailed:
            return "A frame could not be read.";
        case CodecError::WriteFailed:
            return "A frame could not be written.";
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
    int32_t nSeen = m_pProgress->load();
    if (nSeen == PROGRESS_CANCEL) {
        return false;
    }
    if (m_onFrameEvent) {
        m_onFrameEvent(FrameEvent::ProgressRead, m_nFrame);
    }
    const int32_t nPercent = static_cast<int32_t>(uint32_t(m_nFrame) * 100u / m_nFrames);
    // Only the other thread changes the cell during a run, and only to ask for a
    // cancel: a failed exchange is that request.
    if (!m_pProgress->compare_exchange_strong(nSeen, nPercent)) {
        return false;
    }
    if (m_onFrameEvent) {
        m_onFrameEvent(FrameEvent::FrameBegun, m_nFrame);
    }
    return true;
}
