#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "io/MemFile.h"
#include "lzari/Lzari.h"
#include "support/CodecClips.h"

namespace {

struct Coded {
    uint32_t nChar;
    uint32_t nDistCode;
    bool operator==(const Coded&) const = default;
};

class CRecorder : public ILzariObserver {
public:
    void OnCoded(uint32_t nChar, uint32_t nDistanceCode) override {
        m_coded.push_back({nChar, nDistanceCode});
    }
    std::vector<Coded> m_coded;
};

// The coder is large; tests share one per fixture, as the codec does.
class LzariTest : public ::testing::Test {
protected:
    Bytes Encode(const Bytes& text, std::vector<Coded>* pCoded = nullptr) {
        CMemFile out(1);
        CRecorder recorder;
        m_coder->SetObserver(pCoded ? &recorder : nullptr);
        EXPECT_TRUE(m_coder->LzariEncode(text.data(), static_cast<uint32_t>(text.size()), out));
        m_coder->SetObserver(nullptr);
        if (pCoded) {
            *pCoded = std::move(recorder.m_coded);
        }
        return Bytes(out.GetBuffer(), out.GetBuffer() + out.GetLength());
    }

    LzariResult Decode(Bytes stream, Bytes* pText, uint32_t nMax = UINT32_MAX,
                       uint32_t* pnPosition = nullptr) {
        CMemFile in;
        in.Attach(stream.data(), static_cast<uint32_t>(stream.size()));
        uint8_t* p = nullptr;
        uint32_t n = 0xDEADBEEF;
        LzariResult result = m_coder->LzariDecode(in, nMax, &p, &n);
        if (pnPosition) {
            *pnPosition = in.GetPosition();
        }
        if (result == LzariResult::Ok) {
            EXPECT_NE(p, nullptr);
            pText->assign(p, p + n);
            std::free(p);
        } else {
            EXPECT_EQ(p, nullptr);
            EXPECT_EQ(n, 0xDEADBEEF);
        }
        // The streaming decoder gives the same result and text, however the
        // code arrives (1..nChunk bytes a read) and whatever its buffers.
        const struct {
            uint32_t nChunk, nCodeBuffer, nPiece;
        } streamings[] = {
            {7, 0, 64}, {1, 100, 100}, {UINT32_MAX, 1000, 5000}, {UINT32_MAX, 1 << 20, 1 << 16}};
        for (const auto& c : streamings) {
            SCOPED_TRACE("streaming, reads of up to " + std::to_string(c.nChunk) + " bytes");
            Bytes text;
            EXPECT_EQ(DecodeStreaming(stream, &text, nMax, c.nChunk, c.nCodeBuffer, c.nPiece),
                      result);
            if (result == LzariResult::Ok) {
                EXPECT_EQ(text, *pText);
            }
        }
        return result;
    }

    LzariResult DecodeStreaming(const Bytes& stream, Bytes* pText, uint32_t nMax, uint32_t nChunk,
                                uint32_t nCodeBuffer, uint32_t nPiece) {
        struct CChunks : ILzariCodeSource {
            const Bytes& code;
            uint32_t nChunk, nAt = 0;
            std::mt19937 rng{7};
            CChunks(const Bytes& c, uint32_t n) : code(c), nChunk(n) {}
            uint32_t ReadCode(uint8_t* pDst, uint32_t nMaxRead) override {
                EXPECT_GE(nMaxRead, 1u);
                const uint32_t n = std::min({uint32_t(code.size()) - nAt, nMaxRead,
                                             1 + uint32_t(rng() % std::min(nChunk, 1u << 30))});
                std::copy_n(code.data() + nAt, n, pDst);
                nAt += n;
                return n;
            }
        } source(stream, nChunk);
        uint32_t nLength = 0;
        LzariResult r = m_coder->LzariStreamBegin(source, nMax, &nLength, nCodeBuffer, nPiece);
        pText->clear();
        while (r == LzariResult::Ok) {
            const uint8_t* p = nullptr;
            uint32_t n = 0;
            r = m_coder->LzariStreamNext(&p, &n);
            if (r != LzariResult::Ok || n == 0) {
                break;
            }
            EXPECT_LE(n, 4096 + std::max(nPiece, 64u) + 60);  // a window, a piece, a match
            pText->insert(pText->end(), p, p + n);
        }
        if (r == LzariResult::Ok) {
            EXPECT_EQ(pText->size(), nLength);
        }
        m_coder->LzariStreamEnd();
        return r;
    }

    // The same text through LzariEncodeStream, in pieces of 1..9000 bytes.
    Bytes EncodePieces(const Bytes& text, uint32_t nSeed) {
        struct CPieces : ILzariTextSource {
            const Bytes& text;
            std::mt19937 rng;
            size_t nAt = 0;
            CPieces(const Bytes& t, uint32_t n) : text(t), rng(n) {}
            uint32_t NextPiece(const uint8_t** pp) override {
                const size_t n = std::min<size_t>(text.size() - nAt, 1 + rng() % 9000);
                *pp = text.data() + nAt;
                nAt += n;
                return static_cast<uint32_t>(n);
            }
        } pieces(text, nSeed);
        // Into a sink that already holds a header, as a file being written does.
        CByteSink out(Bytes{1, 2, 3});
        EXPECT_TRUE(m_coder->LzariEncodeStream(pieces, out));
        EXPECT_EQ(Bytes(out.bytes.begin(), out.bytes.begin() + 3), (Bytes{1, 2, 3}));
        return Bytes(out.bytes.begin() + 3, out.bytes.end());
    }

    // The two-step decoder: the text it writes, checking that every byte it
    // reports as done is already final. nStopAt: the report at which to stop.
    LzariResult DecodeInSteps(const Bytes& stream, Bytes& text, int nStopAt = -1) {
        CMemFile in;
        in.Attach(const_cast<uint8_t*>(stream.data()), static_cast<uint32_t>(stream.size()));
        uint32_t nLength = 0;
        const LzariResult r = m_coder->LzariReadLength(in, UINT32_MAX, &nLength);
        if (r != LzariResult::Ok) {
            return r;
        }
        text.assign(nLength, 0);
        struct CWatch : ILzariProgress {
            uint32_t nLast = 0;
            int nReports = 0, nStopAt = -1;
            bool OnDecoded(uint32_t nDone) override {
                EXPECT_GE(nDone, nLast);
                nLast = nDone;
                return nReports++ != nStopAt;
            }
        } watch;
        watch.nStopAt = nStopAt;
        const LzariResult result = m_coder->LzariDecodeText(in, text.data(), nLength, &watch);
        EXPECT_EQ(watch.nLast, result == LzariResult::Ok ? nLength : watch.nLast);
        return result;
    }

    std::unique_ptr<CLzariCoder> m_coder = std::make_unique<CLzariCoder>();
};

Bytes Hex(const std::string& str) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < str.size(); i += 3) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(str.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

}  // namespace

TEST_F(LzariTest, KnownStreams) {
    struct {
        const char* name;
        Bytes text;
        const char* stream;
    } const cases[] = {
        {"empty", {}, "00 00 00 00"},
        {"one byte", {0x41}, "01 00 00 00 CA 80"},
        {"abc", {0x61, 0x62, 0x63}, "03 00 00 00 B0 A8 C2 00"},
        {"three spaces", {0x20, 0x20, 0x20}, "03 00 00 00 2F 48 C0"},
        {"AAA", {0x41, 0x41, 0x41}, "03 00 00 00 CB 01 7D"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Encode(c.text), Hex(c.stream));
    }
}

TEST_F(LzariTest, ChosenMatches) {
    // 1000 spaces match the space-filled window at once, then themselves.
    std::vector<Coded> coded;
    Bytes stream = Encode(Bytes(1000, 0x20), &coded);
    EXPECT_EQ(stream.size(), 36u);
    ASSERT_EQ(coded.size(), 17u);
    EXPECT_EQ(coded[0], (Coded{313, 59}));
    for (size_t i = 1; i < 16; ++i) {
        EXPECT_EQ(coded[i], (Coded{313, 0})) << i;
    }
    EXPECT_EQ(coded[16], (Coded{253 + 40, 0}));

    // Of two equally long matches the nearer wins.
    Bytes text = {'Q', 'a', 'b', 'c', 'X', 'a', 'b', 'c', 'Y', 'a', 'b', 'c', 'Z'};
    for (int b = 0x80; b <= 0xF7; ++b) {
        text.push_back(static_cast<uint8_t>(b));
    }
    Encode(text, &coded);
    const std::vector<Coded> expected = {{81, 0},  {97, 0}, {98, 0},  {99, 0}, {88, 0},
                                         {256, 3}, {89, 0}, {256, 3}, {90, 0}};
    ASSERT_EQ(coded.size(), expected.size() + 120);
    EXPECT_EQ(std::vector<Coded>(coded.begin(), coded.begin() + 9), expected);
    for (size_t i = 0; i < 120; ++i) {
        EXPECT_EQ(coded[9 + i], (Coded{static_cast<uint32_t>(0x80 + i), 0}));
    }
}

namespace {

Bytes RandomBytes(size_t n, uint32_t nSeed, int nAlphabet = 256) {
    // mt19937 is the same everywhere; the distributions are not.
    std::mt19937 rng(nSeed);
    Bytes bytes(n);
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(rng() % nAlphabet);
    }
    return bytes;
}

// Mostly zeros with sparse small values and repeated phrases, like frame records.
Bytes StructuredBytes(size_t n, uint32_t nSeed) {
    std::mt19937 rng(nSeed);
    Bytes bytes;
    bytes.reserve(n);
    while (bytes.size() < n) {
        switch (rng() % 4) {
            case 0:
                bytes.insert(bytes.end(), rng() % 300, 0);
                break;
            case 1:
                bytes.push_back(static_cast<uint8_t>(rng() % 7));
                break;
            case 2:
                if (bytes.size() > 10) {
                    size_t nBack = 1 + rng() % std::min<size_t>(bytes.size(), 5000);
                    size_t nLen = rng() % 100;
                    for (size_t i = 0; i < nLen; ++i) {
                        bytes.push_back(bytes[bytes.size() - nBack]);
                    }
                }
                break;
            default:
                bytes.push_back(static_cast<uint8_t>(rng()));
        }
    }
    bytes.resize(n);
    return bytes;
}

Bytes Repeated(const Bytes& unit, size_t nTimes) {
    Bytes bytes;
    for (size_t i = 0; i < nTimes; ++i) {
        bytes.insert(bytes.end(), unit.begin(), unit.end());
    }
    return bytes;
}

// Every byte value in turn, then the same walk with a stride of 7.
Bytes AllValues(size_t nRounds) {
    Bytes bytes;
    for (size_t i = 0; i < 256 * nRounds; ++i) {
        bytes.push_back(static_cast<uint8_t>(i < 128 * nRounds ? i : i * 7));
    }
    return bytes;
}

// A few short phrases at random places between random bytes: many matches of
// equal length at different distances.
Bytes EqualMatches(size_t n, uint32_t nSeed) {
    std::mt19937 rng(nSeed);
    const Bytes phrases[] = {{1, 2, 3}, {1, 2, 3, 4}, {1, 2, 4}, {9, 9, 9, 9, 9}};
    Bytes bytes;
    while (bytes.size() < n) {
        const Bytes& phrase = phrases[rng() % 4];
        bytes.insert(bytes.end(), phrase.begin(), phrase.end());
        for (uint32_t k = rng() % 4; k > 0; --k) {
            bytes.push_back(static_cast<uint8_t>(rng() % 16));
        }
    }
    bytes.resize(n);
    return bytes;
}

uint64_t Fnv(const Bytes& bytes, uint64_t h = 14695981039346656037ull) {
    for (uint8_t b : bytes) {
        h = (h ^ b) * 1099511628211ull;
    }
    return h;
}

}  // namespace

// Every match is one the decoder can follow: 3..60 bytes, no longer than the
// text left, at most 4036 back and never behind the last 60 initial spaces.
TEST_F(LzariTest, MatchesStayInsideWindowAndText) {
    const Bytes texts[] = {
        Bytes(5000, 'x'), StructuredBytes(50000, 1), RandomBytes(20000, 2, 3), Bytes(59, ' '),
        Bytes(61, ' '),   RandomBytes(9000, 3, 2),   StructuredBytes(4100, 4),
    };
    uint32_t nFarthest = 0;
    for (const Bytes& text : texts) {
        std::vector<Coded> coded;
        Encode(text, &coded);
        uint64_t nDone = 0;
        for (const Coded& c : coded) {
            if (c.nChar < 256) {
                ASSERT_EQ(c.nChar, text[nDone]);
                ++nDone;
                continue;
            }
            const uint32_t nLen = c.nChar - 253;
            ASSERT_LE(c.nChar, 313u);
            ASSERT_LE(nLen, text.size() - nDone);
            ASSERT_LE(c.nDistCode, 4035u);
            ASSERT_LE(c.nDistCode + 1, nDone + 60);
            nFarthest = std::max(nFarthest, c.nDistCode);
            nDone += nLen;
        }
        EXPECT_EQ(nDone, text.size());
    }
    EXPECT_GE(nFarthest, 4000u) << "the window's far end was not reached";
}

TEST_F(LzariTest, RoundTrips) {
    const size_t sizes[] = {1,   2,    3,    4,    59,   60,    61,    118,   119,
                            120, 4035, 4036, 4096, 4097, 10007, 65536, 300000};
    uint32_t nSeed = 100;
    for (size_t n : sizes) {
        const Bytes texts[] = {RandomBytes(n, nSeed++), RandomBytes(n, nSeed++, 4),
                               StructuredBytes(n, nSeed++), Bytes(n, 0)};
        for (const Bytes& text : texts) {
            SCOPED_TRACE("size " + std::to_string(n) + " seed " + std::to_string(nSeed));
            const Bytes stream = Encode(text);
            Bytes decoded;
            ASSERT_EQ(Decode(stream, &decoded), LzariResult::Ok);
            ASSERT_EQ(decoded, text);
            // Pieces give the same stream; the decoder in two steps the same text.
            ASSERT_EQ(EncodePieces(text, nSeed), stream);
            ASSERT_EQ(DecodeInSteps(stream, decoded), LzariResult::Ok);
            ASSERT_EQ(decoded, text);
            EXPECT_LE(text.size(), LzariMaxTextLength(stream.size() - 4));
        }
    }
    // An empty text in pieces is its length field alone; a receiver can stop.
    EXPECT_EQ(EncodePieces({}, 1), Encode({}));
    Bytes decoded;
    EXPECT_EQ(DecodeInSteps(Encode(RandomBytes(50000, 9)), decoded, 2), LzariResult::Stopped);
}

TEST_F(LzariTest, LargeTextsAndModelHalving) {
    // Random bytes: every character is a literal, so the model total reaches
    // its limit after 32453 updates and is halved several times over.
    // Zeros code best of all: still well inside the bound on what a code
    // of that length can deliver.
    const Bytes texts[] = {RandomBytes(200000, 7), StructuredBytes(2 * 1024 * 1024, 8),
                           Bytes(4 * 1024 * 1024, 0)};
    for (const Bytes& text : texts) {
        std::vector<Coded> coded;
        Bytes stream = Encode(text, &coded);
        EXPECT_GT(coded.size(), 32454u);
        EXPECT_LE(text.size() * 8, LzariMaxTextLength(stream.size() - 4));
        Bytes decoded;
        ASSERT_EQ(Decode(stream, &decoded), LzariResult::Ok);
        ASSERT_EQ(decoded, text);
    }
}

TEST_F(LzariTest, EncoderAppendsAndDecoderReadsFromPosition) {
    CMemFile file(1);
    const uint8_t header[4] = {1, 0, 10, 16};
    ASSERT_TRUE(file.Write(header, 4));
    const Bytes text = StructuredBytes(3000, 9);
    ASSERT_TRUE(m_coder->LzariEncode(text.data(), static_cast<uint32_t>(text.size()), file));
    const Bytes alone = Encode(text);
    ASSERT_EQ(file.GetLength(), 4 + alone.size());
    EXPECT_TRUE(std::equal(alone.begin(), alone.end(), file.GetBuffer() + 4));

    file.Seek(4);
    uint8_t* p = nullptr;
    uint32_t n = 0;
    ASSERT_EQ(m_coder->LzariDecode(file, UINT32_MAX, &p, &n), LzariResult::Ok);
    EXPECT_EQ(Bytes(p, p + n), text);
    EXPECT_EQ(file.GetPosition(), file.GetLength());
    std::free(p);
}

// A sink that fills up stops both encoders at the chunk it refuses, with
// false, whether the stream would have fitted in its first chunk or not.
TEST_F(LzariTest, EncoderStopsWhenTheSinkIsFull) {
    const Bytes text = RandomBytes(20000, 12);
    const size_t nWhole = Encode(text).size();
    for (size_t nRoom : {size_t{0}, size_t{3}, size_t{4100}, nWhole - 1}) {
        SCOPED_TRACE("room " + std::to_string(nRoom));
        for (bool bStream : {false, true}) {
            CByteSink sink({}, nRoom);
            struct COnePiece : ILzariTextSource {
                const Bytes* pText;
                bool bGiven = false;
                uint32_t NextPiece(const uint8_t** pp) override {
                    *pp = pText->data();
                    return std::exchange(bGiven, true) ? 0 : static_cast<uint32_t>(pText->size());
                }
            } piece;
            piece.pText = &text;
            EXPECT_FALSE(bStream ? m_coder->LzariEncodeStream(piece, sink)
                                 : m_coder->LzariEncode(text.data(), 20000, sink));
            EXPECT_EQ(sink.nAppends, static_cast<int>(nRoom / 4096 + 1));
        }
    }
}

TEST_F(LzariTest, RefusesMissingOrOversizedText) {
    struct {
        const char* stream;
        uint32_t nMax;
        LzariResult expected;
    } const cases[] = {
        {"", 100, LzariResult::NoText},
        {"01 00 00", 100, LzariResult::NoText},
        {"00 00 00 00", 100, LzariResult::NoText},
        {"00 00 00 00 CA 80", 100, LzariResult::NoText},
        {"01 00 00 00 CA 80", 0, LzariResult::TooLong},
        {"FF FF FF FF CA 80", 1u << 30, LzariResult::TooLong},
        {"01 00 00 00", 100, LzariResult::Truncated},
        {"FF FF FF 0F", 0x0FFFFFFF, LzariResult::Truncated},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stream);
        Bytes text;
        EXPECT_EQ(Decode(Hex(c.stream), &text, c.nMax), c.expected);
    }
}

// A stored length that disagrees with the code: shorter, the first 60-byte
// match of 1000 spaces runs past the text end; longer, the code runs out.
TEST_F(LzariTest, LengthFieldDisagreeingWithCode) {
    struct {
        Bytes text;
        uint8_t byStoredLength;
        LzariResult expected;
    } const cases[] = {
        {Bytes(1000, ' '), 30, LzariResult::Corrupt},
        {Bytes(1000, ' '), 59, LzariResult::Corrupt},
        {Bytes(100, ' '), 60, LzariResult::Ok},
        {{0x41}, 2, LzariResult::Truncated},
        {{0x61, 0x62, 0x63}, 200, LzariResult::Truncated},
    };
    for (const auto& c : cases) {
        Bytes stream = Encode(c.text);
        stream[0] = c.byStoredLength;
        stream[1] = 0;
        Bytes decoded;
        EXPECT_EQ(Decode(stream, &decoded), c.expected) << int(c.byStoredLength);
        if (c.expected == LzariResult::Ok) {
            EXPECT_EQ(decoded, Bytes(c.text.begin(), c.text.begin() + c.byStoredLength));
        }
    }
}

// A valid stream needs at most two bytes past its end; every shorter prefix of
// a stream is reported, never decoded into wrong text.
TEST_F(LzariTest, EveryTruncationIsReported) {
    const Bytes texts[] = {
        {0x41}, {0x61, 0x62, 0x63}, StructuredBytes(700, 10), RandomBytes(300, 11)};
    for (const Bytes& text : texts) {
        const Bytes stream = Encode(text);
        for (size_t n = 0; n < stream.size(); ++n) {
            SCOPED_TRACE("prefix " + std::to_string(n) + " of " + std::to_string(stream.size()));
            Bytes decoded;
            const LzariResult result = Decode(Bytes(stream.begin(), stream.begin() + n), &decoded);
            EXPECT_EQ(result, n < 4 ? LzariResult::NoText : LzariResult::Truncated);
        }
        // Trailing bytes after a complete stream change nothing.
        Bytes longer = stream;
        longer.insert(longer.end(), {0xFF, 0x00, 0xAA});
        Bytes decoded;
        uint32_t nPosition = 0;
        ASSERT_EQ(Decode(longer, &decoded, UINT32_MAX, &nPosition), LzariResult::Ok);
        EXPECT_EQ(decoded, text);
        EXPECT_LE(nPosition, stream.size() + 2);
    }
}

TEST_F(LzariTest, DamagedStreamsAreSafe) {
    const Bytes text = StructuredBytes(5000, 12);
    const Bytes stream = Encode(text);
    std::mt19937 rng(13);
    int nReported = 0;
    uint64_t nOutcomes = 0;
    for (int trial = 0; trial < 400; ++trial) {
        Bytes damaged = stream;
        if (trial % 2 == 0) {
            // Flip a bit in the code (not the length).
            size_t nAt = 4 + rng() % (damaged.size() - 4);
            damaged[nAt] ^= static_cast<uint8_t>(1u << (rng() % 8));
        } else {
            // Random code of random length behind a random length.
            damaged = RandomBytes(4 + rng() % 2000, rng());
            damaged[3] = 0;
            damaged[2] &= 0x0F;
        }
        Bytes decoded;
        const LzariResult result = Decode(damaged, &decoded, 1u << 20);
        nOutcomes = Fnv(decoded, nOutcomes * 31 + static_cast<uint64_t>(result));
        if (result == LzariResult::Ok) {
            const uint32_t nStored = damaged[0] | damaged[1] << 8 | damaged[2] << 16;
            EXPECT_EQ(decoded.size(), nStored);
        } else {
            ++nReported;
        }
    }
    // Most damage is noticed: random code usually runs out or refers outside the window.
    EXPECT_GT(nReported, 200);
    // Which result each damaged stream gives, and its text when it decodes, as
    // recorded from the bit-serial decoder.
    EXPECT_EQ(nOutcomes, 0xb781b5f9b202257full);
}

// Pins the exact output for texts long enough to halve the model many times and
// to wrap the window, so that speed work cannot change a single byte unnoticed.
// The values were recorded from the bit-serial coder with the byte-by-byte
// tree compare, after it reproduced every known stream above; the round trips
// alone would not notice a symmetric change. The texts stress each fast path:
// long runs of one byte and 60-byte repeats (full-length matches, where the new
// node replaces the old), 59- and 61-byte repeats, all byte values, repeats at
// the window's far end (4035 and 4036 back) and just past it (4037), and many
// equally long matches (the nearer wins).
TEST_F(LzariTest, PinnedOutputOfLongTexts) {
    struct {
        const char* name;
        Bytes text;
        size_t nLength;
        uint64_t nHash;
    } const cases[] = {
        {"random", RandomBytes(100000, 31), 100214, 0x6a4f186bd9a9af93ull},
        {"random of 5", RandomBytes(100000, 32, 5), 35707, 0x5c87ba5a94c86b2bull},
        {"structured", StructuredBytes(300000, 33), 11535, 0xe28bdc280fdc289bull},
        {"zeros", Bytes(150000, 0), 3054, 0x578ae86dd6bcdd7full},
        {"FF run", Bytes(70001, 0xFF), 1484, 0xc8dd88667d5cd2abull},
        {"60-byte repeats", Repeated(RandomBytes(60, 41), 3000), 3859, 0x3d13a0f551083bb3ull},
        {"59-byte repeats", Repeated(RandomBytes(59, 42), 2000), 2599, 0xf9e4b39de2d5f9e7ull},
        {"61-byte repeats", Repeated(RandomBytes(61, 43), 2000), 2684, 0x6ed560db8b9746deull},
        {"all values", AllValues(300), 2464, 0xab34c458968e1b5dull},
        {"4035 back", Repeated(RandomBytes(4035, 44), 5), 4764, 0xf5ee2c932fb7a124ull},
        {"4036 back", Repeated(RandomBytes(4036, 45), 5), 4769, 0x4e0e0859b9eff007ull},
        {"4037 back", Repeated(RandomBytes(4037, 46), 5), 20218, 0x38d2ab4e443f5a1cull},
        {"equal matches", EqualMatches(200000, 47), 70199, 0xdbad472da142e54cull},
        {"binary", RandomBytes(100000, 48, 2), 15926, 0x997b2f0d89054badull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes stream = Encode(c.text);
        EXPECT_EQ(stream.size(), c.nLength);
        EXPECT_EQ(Fnv(stream), c.nHash);
        EXPECT_TRUE(EncodePieces(c.text, 5) == stream);
        Bytes decoded;
        ASSERT_EQ(Decode(stream, &decoded), LzariResult::Ok);
        EXPECT_TRUE(decoded == c.text);
    }
}
