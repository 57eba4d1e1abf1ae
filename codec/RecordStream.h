#pragma once
// The record stream of a decompression read a record at a time while the LZARI
// layer decodes it, so that no one holds the whole stream. A record is copied
// whole into a buffer of the stream's own before it is read, but never more of
// it than a record of its frame can use: a damaged length field cannot make it
// allocate. The zero-run reader then comes to the same verdict as on the whole
// stream (Settle finishes the one case a cut record leaves open).
//
// Not thread-safe; the pull function may block (a pipeline's decoder thread).

#include <cstdint>
#include <functional>
#include <vector>

#include "codec/CodecContext.h"
#include "io/MemFile.h"
#include "lzari/Lzari.h"

class CRecordStream {
public:
    // Gives the next piece of the text: Ok with *pnPiece > 0; Ok with 0 once
    // the text has ended; any other result when the decoding failed, which
    // also ends it. A piece stays valid until the next call.
    using Pull = std::function<LzariResult(const uint8_t** ppPiece, uint32_t* pnPiece)>;
    explicit CRecordStream(Pull pull) : m_pull(std::move(pull)) {}

    // Points `record` (attached, not owned; valid until the next call) at the
    // next record of a frame that expands to nExpected bytes: its length field
    // and its bytes, or as much of them as the text still has. False when the
    // buffer cannot be had.
    bool Next(uint32_t nExpected, CMemFile& record);
    // The verdict nError (MissingFrames or BadRecord) on the record Next gave,
    // as it stands for the whole record.
    CodecError Settle(CodecError nError);
    // Decodes the rest of the text; the LZARI layer's result (Ok when the text
    // ended sound).
    LzariResult Finish();

private:
    uint32_t Take(uint8_t* pDst, uint32_t nCount);

    Pull m_pull;
    const uint8_t* m_pPiece = nullptr;
    uint32_t m_nPiece = 0;
    bool m_bEnded = false;
    LzariResult m_result = LzariResult::Ok;
    std::vector<uint8_t> m_record;
    uint64_t m_nLeft = 0;  // bytes of the last record past its bound, not taken
    bool m_bCut = false;   // the last record reached its bound with bytes left
};
