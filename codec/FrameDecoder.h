#pragma once
// Rebuilds the frames of a compressed stream one at a time, for readers that
// want the next frame and not the whole clip (comparisons, exports, a
// compressed stream read as a clip). The frames are byte for byte those of a
// decompression run.
//
// Open checks the header and the stated length (as a run does, before anything
// is allocated) and begins the LZARI layer; each frame then decodes as much of
// the record stream as it needs. The decoder holds a window of the record
// stream, one record and four working frames, whatever the frame count. The
// input is untrusted: every record is checked before it is used, and a damaged
// stream is reported, never read past. As in a run, a fault in the LZARI layer
// is the reason of any failure: it is looked for in the rest of the stream
// when a record fails, and after the last frame (which then fails).
//
// The decoder holds a run of its own (its context, a private progress cell and
// the working buffers of a CRunLease) from Open until it goes, so decoders and
// runs on any thread are independent. One decoder is not thread-safe.

#include <cstdint>
#include <memory>

#include "codec/CodecContext.h"
#include "codec/CodecRun.h"
#include "codec/RecordStream.h"
#include "io/MemFile.h"

class CFrameDecoder {
public:
    CFrameDecoder();
    ~CFrameDecoder();
    CFrameDecoder(const CFrameDecoder&) = delete;
    CFrameDecoder& operator=(const CFrameDecoder&) = delete;

    // Reads the header (frame count 1..65535, threshold and quantiser 1..255)
    // and the record stream's length. None when frames may be read. The
    // stream's bytes stay the caller's and must outlive the decoder.
    CodecError Open(const uint8_t* pCmp, uint32_t nCmpLength);
    // The same for a stream read as it is decoded: its 4-byte header, the rest
    // from `source` (which must outlive the decoder), and the whole stream's
    // length, which the stated length is checked against.
    CodecError Open(const uint8_t* pHeader, ILzariCodeSource& source, uint32_t nCmpLength);

    // Walks every frame record and checks that it is there and expands to its
    // frame's size, without rebuilding a frame. None for a sound stream. A
    // stream opened from memory is walked apart from the frames; one read from
    // a source is used up, and no frame can be read after.
    CodecError CheckRecords();

    // Rebuilds the next frame (number FramesDone() + 1) into pFrame (38016
    // bytes). BadParameters when every frame was already read or Open failed;
    // after any other error no further frame is read.
    CodecError DecodeNext(uint8_t* pFrame);

    uint32_t Frames() const { return m_pContext->m_nFrames; }
    uint32_t FramesDone() const { return m_nDone; }
    uint8_t Threshold() const { return m_pContext->m_byThreshold; }
    uint8_t Quantiser() const { return m_pContext->m_byQuantiser; }
    uint32_t RecordBytes() const { return m_nRecordsLength; }

private:
    std::unique_ptr<CCodecContext> m_pContext;      // parameters, band table, working buffers
    std::unique_ptr<CRunLease> m_pLease;            // held from Open on; goes before the context
    std::unique_ptr<CLzariMemorySource> m_pMemory;  // a stream opened from memory
    std::unique_ptr<CRecordStream> m_pRecords;      // the records as they are decoded
    uint32_t m_nRecordsLength = 0;                  // the stated length
    uint32_t m_nDone = 0;
    bool m_bOpen = false;
};
