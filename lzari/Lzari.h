#pragma once
// LZARI coder: LZ77 matching against a 4096-byte sliding window, with literals
// and match lengths coded by an adaptive arithmetic coder and match distances
// by a fixed distribution. It wraps the whole record stream of a codec run.
//
// Stream layout: the plain-text length (32-bit little-endian), then the
// arithmetic code, most significant bit of each byte first, the last byte
// completed with 0 bits. An empty text is stored as its four length bytes alone.
//
// One coder serves one run at a time; its tables (about 37 KiB) live in the
// object, which is meant to be allocated once and reused. Not thread-safe.

#include <cstdint>
#include <memory>

#include "io/MemFile.h"

enum class LzariResult {
    Ok,
    NoText,     // fewer than 4 bytes, or stored length 0
    TooLong,    // stored length above the caller's bound; nothing allocated
    Truncated,  // the code ran out before the text was complete
    Corrupt,    // inconsistent code: a match reaching outside the window or past the text end
    NoMemory,   // the output buffer could not be allocated
    Stopped,    // the progress receiver asked to stop (LzariDecodeText only)
};

// Text for LzariEncodeStream that arrives in pieces, from another thread say.
class ILzariTextSource {
public:
    virtual ~ILzariTextSource() = default;
    // Points *ppPiece at the next piece of the text and returns its length (a
    // piece stays valid until the next call); 0 once the text has ended, and
    // from then on. May block until a piece or the end is there.
    virtual uint32_t NextPiece(const uint8_t** ppPiece) = 0;
};

// Where the encoder puts its stream as it is coded: the code in chunks of a
// few KiB, then, once the text has ended, the length field at the stream's
// front, so the stream need not be held whole anywhere.
class ILzariSink {
public:
    virtual ~ILzariSink() = default;
    // Appends nCount bytes. False when the sink cannot take them; the encoder
    // then stops.
    virtual bool Append(const uint8_t* pBytes, uint32_t nCount) = 0;
    // Bytes taken so far, from the sink's first: where the next ones go.
    virtual uint64_t Length() const = 0;
    // Overwrites nCount bytes taken earlier, nAt bytes past the sink's first.
    virtual bool Overwrite(uint64_t nAt, const uint8_t* pBytes, uint32_t nCount) = 0;
};

// A CMemFile as a sink: appends at its end, whatever its position.
class CMemFileSink : public ILzariSink {
public:
    explicit CMemFileSink(CMemFile& file) : m_file(file) {}
    bool Append(const uint8_t* pBytes, uint32_t nCount) override {
        m_file.Seek(m_file.GetLength());
        return m_file.Write(pBytes, nCount);
    }
    uint64_t Length() const override { return m_file.GetLength(); }
    bool Overwrite(uint64_t nAt, const uint8_t* pBytes, uint32_t nCount) override {
        const uint32_t nEnd = m_file.GetPosition();
        m_file.Seek(static_cast<uint32_t>(nAt));
        const bool bOk = nAt + nCount <= m_file.GetLength() && m_file.Write(pBytes, nCount);
        m_file.Seek(nEnd);
        return bOk;
    }

private:
    CMemFile& m_file;
};

// Follows a decoding into the caller's buffer, for a reader on another thread.
class ILzariProgress {
public:
    virtual ~ILzariProgress() = default;
    // The first nDone bytes of the text are written and final. Called every few
    // KiB and once when the loop ends (whatever the result). False stops the
    // decoding with LzariResult::Stopped.
    virtual bool OnDecoded(uint32_t nDone) = 0;
};

// The longest text a code of nCodeBytes (after the length field) can deliver.
// Every character decoded narrows the coder's interval, by at least 1/73 bit
// for the likeliest literal the adaptive model can reach and by more for any
// match, and the decoder reads at most two bytes past the code: a stored
// length above this belongs to a damaged stream, which callers can refuse
// before they allocate for it. The encoder stays far below it (about 52 bytes
// a code byte at best).
uint64_t LzariMaxTextLength(uint64_t nCodeBytes);

// Code for the streaming decoder that arrives in chunks, a file read piece by
// piece say.
class ILzariCodeSource {
public:
    virtual ~ILzariCodeSource() = default;
    // Copies the next bytes of the code, at most nMax (at least 1), to pDst
    // and returns how many; 0 once the code has ended, and from then on.
    virtual uint32_t ReadCode(uint8_t* pDst, uint32_t nMax) = 0;
};

// A code held whole in memory (not copied; it must outlive the source).
class CLzariMemorySource : public ILzariCodeSource {
public:
    CLzariMemorySource(const uint8_t* pCode, uint32_t nLength)
        : m_pCode(pCode), m_nLength(nLength) {}
    uint32_t ReadCode(uint8_t* pDst, uint32_t nMax) override;
    void Rewind() { m_nPos = 0; }

private:
    const uint8_t* m_pCode;
    uint32_t m_nLength;
    uint32_t m_nPos = 0;
};

// Sees every character the encoder codes, in order; for tests and diagnostics.
class ILzariObserver {
public:
    virtual ~ILzariObserver() = default;
    // nChar 0..255 is a literal byte; 256..313 a match of nChar - 253 bytes
    // (3..60) whose distance back is nDistanceCode + 1 (nDistanceCode 0..4035).
    // nDistanceCode is 0 for literals.
    virtual void OnCoded(uint32_t nChar, uint32_t nDistanceCode) = 0;
};

class CLzariCoder {
public:
    CLzariCoder();
    ~CLzariCoder();
    CLzariCoder(const CLzariCoder&) = delete;
    CLzariCoder& operator=(const CLzariCoder&) = delete;

    static constexpr uint32_t WINDOW = 4096;
    static constexpr uint32_t LOOK_AHEAD = 60;
    static constexpr uint32_t THRESHOLD = 2;  // matches this long or shorter go as literals
    static constexpr uint32_t START = WINDOW - LOOK_AHEAD;           // first coding position, 4036
    static constexpr uint32_t CHARS = 256 - THRESHOLD + LOOK_AHEAD;  // 314

    // Appends the LZARI stream of the nLength bytes at pText (may be null when
    // nLength is 0) at the end of `out`. False only when `out` cannot grow; it
    // may then hold part of the stream, which the caller discards.
    bool LzariEncode(const uint8_t* pText, uint32_t nLength, CMemFile& out);
    bool LzariEncode(const uint8_t* pText, uint32_t nLength, ILzariSink& out);
    // The same stream, byte for byte, for a text that the source hands over in
    // pieces as it is produced; the length field is filled in when the text
    // has ended. False also when the text would reach 4 GiB.
    bool LzariEncodeStream(ILzariTextSource& source, CMemFile& out);
    bool LzariEncodeStream(ILzariTextSource& source, ILzariSink& out);

    // Reads an LZARI stream from the current position of `in`. On Ok *ppText is
    // a malloc'd buffer of *pnLength bytes (the stored length, at least 1) that
    // the caller frees; otherwise neither is written and nothing is leaked.
    // A stored length above nMaxLength gives TooLong before anything is
    // allocated. A valid stream never needs more than 2 bytes past the end of
    // `in`; a code that needs more, or whose last meaningful bits lie past the
    // end, gives Truncated. `in` is left after the bytes read.
    LzariResult LzariDecode(CMemFile& in, uint32_t nMaxLength, uint8_t** ppText,
                            uint32_t* pnLength);
    // LzariDecode in two steps, for a caller that reads the text while it is
    // being decoded. First the length field at the current position of `in`
    // (NoText, TooLong or Ok; `in` is left after the field); then the code into
    // the caller's buffer of that length, with the same checks and results as
    // LzariDecode (Stopped when pProgress asks). The buffer stays the caller's.
    LzariResult LzariReadLength(CMemFile& in, uint32_t nMaxLength, uint32_t* pnLength);
    LzariResult LzariDecodeText(CMemFile& in, uint8_t* pText, uint32_t nLength,
                                ILzariProgress* pProgress = nullptr);

    // LzariDecode a piece at a time, for a caller that takes the text as it is
    // decoded and never holds it whole: the decoder holds nCodeBuffer bytes of
    // code and a window plus nTextPiece bytes of text, whatever the length.
    // LzariStreamBegin reads the length field through `source` (NoText,
    // TooLong as LzariReadLength, before anything is allocated for the text;
    // NoMemory when the decoder's buffers cannot be had). Then each
    // LzariStreamNext hands the next piece of the text (*ppPiece, valid until
    // the next call, *pnPiece > 0) with Ok, and Ok with *pnPiece 0 once the
    // whole text is out and its code checked. Any other result (Truncated,
    // Corrupt, the same as LzariDecode's for the same code) ends the decoding
    // and comes back from every later call; the pieces before it are the text
    // up to the fault. LzariStreamEnd (or the next Begin) frees the buffers.
    static constexpr uint32_t STREAM_CODE_BUFFER = 256 * 1024;
    static constexpr uint32_t STREAM_TEXT_PIECE = 64 * 1024;
    LzariResult LzariStreamBegin(ILzariCodeSource& source, uint32_t nMaxLength, uint32_t* pnLength,
                                 uint32_t nCodeBuffer = STREAM_CODE_BUFFER,
                                 uint32_t nTextPiece = STREAM_TEXT_PIECE);
    LzariResult LzariStreamNext(const uint8_t** ppPiece, uint32_t* pnPiece);
    void LzariStreamEnd();

    // Observer of the encoder's characters; null (the default) for none.
    void SetObserver(ILzariObserver* pObserver) { m_pObserver = pObserver; }

private:
    static constexpr uint32_t NIL = WINDOW;  // empty link in the match tree
    static constexpr uint32_t Q1 = 0x8000, Q2 = 0x10000, Q3 = 0x18000, Q4 = 0x20000;
    static constexpr uint32_t MAX_TOTAL = 32767;

    // The arithmetic coder's interval (m_nLow, m_nHigh), owed bits, code value
    // and bit buffers live in one of these for the length of a call.
    struct CEncoderState;
    struct CDecoderState;
    struct SCodeFeed;
    struct SDecodeStream;
    struct SWalk;  // one insertion's walk down the match tree

    void ResetModel();
    void UpdateModel(uint32_t nSym);

    void ResetTree();
    void StartWalk(SWalk& w, uint32_t r);
    bool StepWalk(SWalk& w);
    void ReplaceNode(SWalk& w, uint32_t p);
    uint32_t InsertNode(uint32_t r);
    void InsertTwo(uint32_t rA, uint32_t rB, uint32_t* pnBestA, uint32_t* pnBestB);
    void DeleteNode(uint32_t p);

    void EncodeInterval(CEncoderState& st, uint32_t nCumHigh, uint32_t nCumLow, uint32_t nTotal);
    void EncodeChar(CEncoderState& st, uint32_t nChar);
    void EncodePosition(CEncoderState& st, uint32_t nCode);
    void EncodeEnd(CEncoderState& st);
    template <typename TReader>
    bool EncodeText(TReader& reader, CEncoderState& st);
    void FlushOutput(CEncoderState& st);

    uint32_t DecodeChar(CDecoderState& st);
    uint32_t DecodePosition(CDecoderState& st);
    // Decodes into pBuf (nCap bytes) at nAt, text position nCount, until the
    // text is complete, nAt reaches nStopAt, or the code is at fault.
    LzariResult DecodeSome(CDecoderState& st, uint8_t* pBuf, uint32_t nCap, uint32_t& nAt,
                           uint32_t& nCount, uint32_t nStopAt);
    uint32_t RefillCode(CDecoderState& st, SCodeFeed& f);
    template <typename Fn>
    LzariResult CheckLength(const uint8_t* pField, uint32_t nMaxLength, uint32_t* pnLength,
                            Fn fnTaken);

    uint32_t m_nTextSize = 0;

    // Window and match tree. The tree is walked for every byte coded, so it is
    // kept small (16-bit links, both children of a node side by side) to stay
    // in the first-level cache together with the window.
    static constexpr uint32_t COMPARE_SLACK = 8;  // keys are compared 8 bytes at a time
    // The tail repeats positions 0..58; the slack past it is never compared.
    uint8_t m_abyRing[WINDOW + LOOK_AHEAD - 1 + COMPARE_SLACK];
    // [2 n] left, [2 n + 1] right child of node n; 4097..4352 are the roots,
    // one per first byte, which use only their right child.
    alignas(4) uint16_t m_awChild[2 * (WINDOW + 257)];
    uint16_t m_awParent[WINDOW + 1];
    uint16_t& Left(uint32_t n) { return m_awChild[2 * n]; }
    uint16_t& Right(uint32_t n) { return m_awChild[2 * n + 1]; }

    // Character model (symbols 1..314, most frequent first). The tables run on
    // to whole groups of 8 (frequency 0, cumulative 0) so that searches and
    // updates can work a group at a time.
    static constexpr uint32_t MODEL_SIZE = (CHARS + 1 + 7 + 7) / 8 * 8;
    uint32_t m_anCharToSym[CHARS];
    uint32_t m_anSymToChar[CHARS + 1];
    alignas(16) uint16_t m_awSymFreq[MODEL_SIZE];
    alignas(16) uint16_t m_awSymCum[MODEL_SIZE];

    // Encoder output, gathered into chunks before it goes to the file; bits are
    // stored 8 bytes at a time, so the chunk has that much room past its end.
    static constexpr uint32_t OUT_CHUNK = 4096;
    ILzariSink* m_pOut = nullptr;
    bool m_bOutFailed = false;
    uint8_t m_abyOut[OUT_CHUNK + 16];

    ILzariObserver* m_pObserver = nullptr;
    std::unique_ptr<SDecodeStream> m_pStream;  // a streaming decoding in progress
};
