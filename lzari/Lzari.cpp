#include "lzari/Lzari.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

// Both directions keep their arithmetic-coder state in a local object, not in
// members: the byte stores into the window and the output would otherwise
// force the compiler to reload the state after each one.

namespace {

inline uint64_t LoadBigEndian64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::little) {
        v = __builtin_bswap64(v);
    }
    return v;
}

inline void StoreBigEndian64(uint8_t* p, uint64_t v) {
    if constexpr (std::endian::native == std::endian::little) {
        v = __builtin_bswap64(v);
    }
    std::memcpy(p, &v, 8);
}

// Fixed distance model: nearer distances are more likely. Cum[i] is the sum of
// the frequencies 10000 / (j + 200) of the distance codes j >= i; Cum[0] is the
// total. Bucket[x / 8] is the smallest index i >= 1 with Cum[i] <= x + 7, the
// answer of the decoder's search for any x of that bucket or at most
// BUCKET_SPAN - 1 places after it (each frequency is at least 2, so a bucket of
// 8 values meets at most 4 table entries).
struct SPositionModel {
    static constexpr uint32_t CODES = CLzariCoder::WINDOW;
    static constexpr uint32_t BUCKET_SPAN = 4;
    uint16_t m_awPosCum[CODES + 1 + BUCKET_SPAN - 1] = {};  // zeros past the end
    uint16_t m_awPosBucket[(28568 + 7) / 8] = {};
};

constexpr SPositionModel MakePositionModel() {
    SPositionModel m;
    for (uint32_t i = SPositionModel::CODES; i >= 1; --i) {
        m.m_awPosCum[i - 1] = static_cast<uint16_t>(m.m_awPosCum[i] + 10000 / (i + 200));
    }
    // x rising, the answer falls: one sweep fills every bucket.
    uint32_t i = SPositionModel::CODES;
    for (uint32_t b = 0; b < sizeof(m.m_awPosBucket) / sizeof(m.m_awPosBucket[0]); ++b) {
        while (i > 1 && m.m_awPosCum[i - 1] <= 8 * b + 7) {
            --i;
        }
        m.m_awPosBucket[b] = static_cast<uint16_t>(i);
    }
    return m;
}

constexpr SPositionModel POSITIONS = MakePositionModel();
constexpr uint32_t POSITION_TOTAL = 28568;
static_assert(POSITIONS.m_awPosCum[0] == POSITION_TOTAL);

// Decoder's search in the distance model: the index i in 1..4096 with
// Cum[i] <= x < Cum[i - 1].
inline uint32_t FindPosition(uint32_t x) {
    const uint32_t i = POSITIONS.m_awPosBucket[x >> 3];
    const uint16_t* c = POSITIONS.m_awPosCum + i;
    return i + (c[0] > x) + (c[1] > x) + (c[2] > x) + (c[3] > x);
}

constexpr bool BucketsHoldEveryAnswer() {
    uint32_t i = SPositionModel::CODES;  // the answer for x = 0; it falls as x rises
    for (uint32_t x = 0; x < POSITION_TOTAL; ++x) {
        while (POSITIONS.m_awPosCum[i - 1] <= x) {
            --i;
        }
        const uint32_t b = POSITIONS.m_awPosBucket[x >> 3];
        uint32_t n = b;
        for (uint32_t k = 0; k < SPositionModel::BUCKET_SPAN; ++k) {
            n += POSITIONS.m_awPosCum[b + k] > x;
        }
        if (n != i) {
            return false;
        }
    }
    return true;
}
static_assert(BucketsHoldEveryAnswer());

// Division of n < 2^32 by a fixed d, 2 <= d < 2^15, as a multiplication: with
// m = ceil(2^64 / d) the error m d - 2^64 is below d, so n (m d - 2^64) < 2^64
// keeps n m / 2^64 below the next integer. Where the compiler has no 128-bit
// product, the plain division.
struct SReciprocal {
    explicit SReciprocal(uint32_t d) : qwMul(UINT64_MAX / d + 1) {}
    uint32_t Divide(uint32_t n, [[maybe_unused]] uint32_t d) const {
#ifdef __SIZEOF_INT128__
        return static_cast<uint32_t>((static_cast<unsigned __int128>(n) * qwMul) >> 64);
#else
        return n / d;
#endif
    }
    uint64_t qwMul;
};

// One renormalisation of the 17-bit interval [nLow, nHigh), done at once:
// first the nSettled leading bits that low and high - 1 share leave the top
// (each a bit of output), then nMiddle middle-half expansions follow (low
// 01..., high - 1 10...). Every step maps low, high and the code value alike,
// x -> 2x - c, so the result is one shift and one offset for all three.
struct CRenormalisation {
    uint32_t nSettled;
    uint32_t nMiddle;
    uint32_t nLow, nHigh;

    CRenormalisation(uint32_t low, uint32_t high) {
        // At most 17; the OR'ed bit caps the count when low == high - 1.
        nSettled = __builtin_clz(((low ^ (high - 1)) << 15) | (1u << 14));
        const uint32_t l1 = (low << nSettled) & 0x1FFFF;
        const uint32_t h1 = (((high - 1) << nSettled) & 0x1FFFF) + (1u << nSettled);
        // Leading places (bit 15 down) where low holds 1 and high - 1 holds 0.
        const uint32_t y = (~l1 | (h1 - 1)) & 0xFFFF;
        nMiddle = __builtin_clz((y << 16) | (1u << 15));
        nLow = 0x10000 + ((l1 - 0x10000) << nMiddle);
        nHigh = 0x10000 + ((h1 - 0x10000) << nMiddle);
    }
    // The same map for a value inside the interval, before the new bits enter.
    uint32_t Map(uint32_t v) const {
        return 0x10000 + ((((v << nSettled) & 0x1FFFF) - 0x10000) << nMiddle);
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// Models

void CLzariCoder::ResetModel() {
    std::memset(m_awSymFreq, 0, sizeof(m_awSymFreq));
    std::memset(m_awSymCum, 0, sizeof(m_awSymCum));
    for (uint32_t nSym = CHARS; nSym >= 1; --nSym) {
        const uint32_t nChar = nSym - 1;
        m_anCharToSym[nChar] = nSym;
        m_anSymToChar[nSym] = nChar;
        m_awSymFreq[nSym] = 1;
        m_awSymCum[nSym - 1] = static_cast<uint16_t>(m_awSymCum[nSym] + 1);
    }
    m_awSymFreq[0] = 0;  // sentinel: stops the run search in UpdateModel
    m_anSymToChar[0] = 0;
}

inline void CLzariCoder::UpdateModel(uint32_t nSym) {
    if (m_awSymCum[0] >= MAX_TOTAL) [[unlikely]] {
        uint32_t nSum = 0;
        for (uint32_t i = CHARS; i >= 1; --i) {
            m_awSymCum[i] = static_cast<uint16_t>(nSum);
            m_awSymFreq[i] = static_cast<uint16_t>((m_awSymFreq[i] + 1) / 2);
            nSum += m_awSymFreq[i];
        }
        m_awSymCum[0] = static_cast<uint16_t>(nSum);
    }
    // Move the character to the front of its run of equal frequencies. The
    // frequencies never rise with the index, so when the one 8 places back
    // still equals, so do all in between.
    const uint16_t wFreq = m_awSymFreq[nSym];
    uint32_t i = nSym;
    while (i > 8 && m_awSymFreq[i - 8] == wFreq) {
        i -= 8;
    }
    while (m_awSymFreq[i - 1] == wFreq) {
        --i;
    }
    if (i < nSym) {
        const uint32_t nCharI = m_anSymToChar[i];
        const uint32_t nCharS = m_anSymToChar[nSym];
        m_anSymToChar[i] = nCharS;
        m_anSymToChar[nSym] = nCharI;
        m_anCharToSym[nCharI] = nSym;
        m_anCharToSym[nCharS] = i;
    }
    ++m_awSymFreq[i];
    // Add 1 to cum[0 .. i-1], eight entries at a time (the tables run on to
    // whole groups; lanes at i and beyond add 0).
    typedef int16_t V8 __attribute__((vector_size(16)));
    const V8 vLane = {0, 1, 2, 3, 4, 5, 6, 7};
    for (uint32_t j = 0; j < i; j += 8) {
        V8 v;
        std::memcpy(&v, m_awSymCum + j, sizeof(v));
        v -= vLane + static_cast<int16_t>(j) < static_cast<int16_t>(i);  // true lanes are -1
        std::memcpy(m_awSymCum + j, &v, sizeof(v));
    }
}

// ---------------------------------------------------------------------------
// Match tree: one binary search tree per first byte, keyed by the 60 bytes
// that start at each window position.

void CLzariCoder::ResetTree() {
    for (uint32_t i = WINDOW + 1; i <= WINDOW + 256; ++i) {
        Right(i) = NIL;
    }
    for (uint32_t i = 0; i < WINDOW; ++i) {
        m_awParent[i] = NIL;
    }
}

// One insertion's walk down its tree. The best match so far is kept as
// (length << 12) | (4095 - distance): the larger number is the longer match,
// or of two equally long the nearer one, so the best is a running maximum
// without branches. Lengths of 1 and 2 may come out too; the caller codes
// those as literals, as it does when there is no match.
struct CLzariCoder::SWalk {
    // Key bytes 1..8 as one big-endian number: one comparison orders two keys
    // when they differ there (nearly always), and the highest differing bit
    // gives the matched length.
    uint64_t qwKey;
    // Indexes as 64-bit numbers fold into the loads' addressing.
    size_t r;
    size_t nNext;  // the node to visit next
    size_t nSlot;  // m_awChild index of the link that leads to it
    uint32_t nBest;
};

[[gnu::always_inline]] inline void CLzariCoder::StartWalk(SWalk& w, uint32_t r) {
    w.qwKey = LoadBigEndian64(m_abyRing + r + 1);
    w.r = r;
    w.nSlot = 2 * (WINDOW + 1 + m_abyRing[r]) + 1;  // the root's right child
    w.nNext = m_awChild[w.nSlot];
    Right(r) = Left(r) = NIL;
    w.nBest = 0;
}

// Visits one node; false once r is in the tree (as a new leaf, or in the
// place of a node whose key it equals). The walk's state is kept small so
// that two walks fit the registers together.
[[gnu::always_inline]] inline bool CLzariCoder::StepWalk(SWalk& w) {
    constexpr uint32_t RIGHT_SHIFT = std::endian::native == std::endian::little ? 16 : 0;
    if (w.nNext == NIL) {
        m_awChild[w.nSlot] = static_cast<uint16_t>(w.r);
        m_awParent[w.r] = static_cast<uint16_t>(w.nSlot / 2);
        return false;
    }
    const size_t p = w.nNext;
    // Both children in one load, made while the keys are compared; the
    // comparison then picks one by a conditional move.
    uint32_t nChildren;
    std::memcpy(&nChildren, &m_awChild[2 * p], sizeof(nChildren));
    const size_t nRightChild = (nChildren >> RIGHT_SHIFT) & 0xFFFF;
    const size_t nLeftChild = (nChildren >> (16 - RIGHT_SHIFT)) & 0xFFFF;
    const uint64_t qwNode = LoadBigEndian64(m_abyRing + 1 + p);
    uint32_t nLen;
    if (w.qwKey != qwNode) [[likely]] {
        nLen = 1 + __builtin_clzll(w.qwKey ^ qwNode) / 8;
        const bool bRight = w.qwKey > qwNode;  // larger keys go right
        w.nNext = bRight ? nRightChild : nLeftChild;
        w.nSlot = 2 * p + bRight;
    } else {
        const uint8_t* pKey = m_abyRing + w.r;
        const uint8_t* pNode = m_abyRing + p;
        nLen = LOOK_AHEAD;
        bool bRight = false;
        for (uint32_t i = 9; i < LOOK_AHEAD; i += 8) {
            const uint64_t a = LoadBigEndian64(pKey + i);
            const uint64_t b = LoadBigEndian64(pNode + i);
            if (a != b) {
                nLen = i + __builtin_clzll(a ^ b) / 8;
                bRight = a > b;
                break;
            }
        }
        if (nLen >= LOOK_AHEAD) {
            // Equal keys (a difference past byte 59 does not count): no closer
            // match exists, and r takes the place of p.
            ReplaceNode(w, static_cast<uint32_t>(p));
            return false;
        }
        w.nNext = bRight ? nRightChild : nLeftChild;
        w.nSlot = 2 * p + bRight;
    }
    const uint32_t nScore = nLen << 12 | (WINDOW - 1 - ((w.r - p) & (WINDOW - 1)));
    w.nBest = nScore > w.nBest ? nScore : w.nBest;
    return true;
}

void CLzariCoder::ReplaceNode(SWalk& w, uint32_t p) {
    const uint32_t r = static_cast<uint32_t>(w.r);
    w.nBest = LOOK_AHEAD << 12 | (WINDOW - 1 - ((r - p) & (WINDOW - 1)));
    const uint32_t nUp = m_awParent[p];
    const uint32_t nLeft = Left(p), nRight = Right(p);
    m_awParent[r] = static_cast<uint16_t>(nUp);
    Left(r) = static_cast<uint16_t>(nLeft);
    Right(r) = static_cast<uint16_t>(nRight);
    m_awParent[nLeft] = static_cast<uint16_t>(r);
    m_awParent[nRight] = static_cast<uint16_t>(r);
    m_awChild[2 * nUp + (Right(nUp) == p)] = static_cast<uint16_t>(r);
    m_awParent[p] = NIL;
}

// Inserts position r; returns its best match.
[[gnu::always_inline]] inline uint32_t CLzariCoder::InsertNode(uint32_t r) {
    SWalk w;
    StartWalk(w, r);
    while (StepWalk(w)) {
    }
    return w.nBest;
}

// Two insertions into different trees, whose walks cannot meet: visiting
// their nodes in turn overlaps two chains of dependent loads.
[[gnu::always_inline]] inline void CLzariCoder::InsertTwo(uint32_t rA, uint32_t rB,
                                                          uint32_t* pnBestA, uint32_t* pnBestB) {
    SWalk a, b;
    StartWalk(a, rA);
    StartWalk(b, rB);
    for (;;) {
        if (!StepWalk(a)) {
            while (StepWalk(b)) {
            }
            break;
        }
        if (!StepWalk(b)) {
            while (StepWalk(a)) {
            }
            break;
        }
    }
    *pnBestA = a.nBest;
    *pnBestB = b.nBest;
}

[[gnu::always_inline]] inline void CLzariCoder::DeleteNode(uint32_t p) {
    const uint32_t nUp = m_awParent[p];
    if (nUp == NIL) {
        return;
    }
    const uint32_t nLeft = Left(p), nRight = Right(p);
    uint32_t q;
    if (nLeft == NIL || nRight == NIL) {
        q = nLeft ^ nRight ^ NIL;  // the only child, or none
    } else {
        // In-order predecessor: the rightmost node of the left subtree.
        q = nLeft;
        if (Right(q) != NIL) {
            do {
                q = Right(q);
            } while (Right(q) != NIL);
            const uint32_t nUpQ = m_awParent[q];
            Right(nUpQ) = Left(q);
            m_awParent[Left(q)] = static_cast<uint16_t>(nUpQ);
            Left(q) = static_cast<uint16_t>(nLeft);
            m_awParent[nLeft] = static_cast<uint16_t>(q);
        }
        Right(q) = static_cast<uint16_t>(nRight);
        m_awParent[nRight] = static_cast<uint16_t>(q);
    }
    m_awParent[q] = static_cast<uint16_t>(nUp);
    m_awChild[2 * nUp + (Right(nUp) == p)] = static_cast<uint16_t>(q);
    m_awParent[p] = NIL;
}

// ---------------------------------------------------------------------------
// Encoder

struct CLzariCoder::CEncoderState {
    uint32_t m_nLow = 0;
    uint32_t m_nHigh = Q4;
    uint32_t m_nPending = 0;     // middle-half expansions whose bits are still owed
    uint64_t m_qwBitBuffer = 0;  // bits not yet in a whole byte, from the top
    uint32_t m_nBitCount = 0;    // how many (0..7 between calls)
    uint32_t m_nOut = 0;         // bytes waiting in m_abyOut
    uint8_t* m_pOut = nullptr;

    // Appends the nCount (0..32) low bits of nValue, most significant first.
    // Stores 8 bytes at the output position; only whole bytes count.
    void Put(uint32_t nValue, uint32_t nCount) {
        m_qwBitBuffer |= static_cast<uint64_t>(nValue)
                         << (63 - m_nBitCount - nCount) << 1;  // no shift by 64
        m_nBitCount += nCount;
        StoreBigEndian64(m_pOut + m_nOut, m_qwBitBuffer);
        m_nOut += m_nBitCount >> 3;
        m_qwBitBuffer <<= m_nBitCount & ~7u;
        m_nBitCount &= 7;
    }
};

void CLzariCoder::FlushOutput(CEncoderState& st) {
    if (st.m_nOut != 0 && !m_bOutFailed) {
        m_bOutFailed = !m_pOut->Append(m_abyOut, st.m_nOut);
    }
    st.m_nOut = 0;
}

// Narrows the interval to [cum[sym], cum[sym-1]) of the total and sends every
// bit that the narrowing has settled: the first followed by the bits owed for
// earlier middle-half expansions (its opposite), then the rest.
[[gnu::always_inline]] inline void CLzariCoder::EncodeInterval(CEncoderState& st, uint32_t nCumHigh,
                                                               uint32_t nCumLow, uint32_t nTotal) {
    const uint32_t nRange = st.m_nHigh - st.m_nLow;
    const uint32_t nHigh = st.m_nLow + nRange * nCumHigh / nTotal;
    const uint32_t nLow = st.m_nLow + nRange * nCumLow / nTotal;
    const CRenormalisation norm(nLow, nHigh);
    const uint32_t n = norm.nSettled;
    const uint32_t nPrefix = nLow >> (17 - n);
    if (st.m_nPending == 0 || n == 0) [[likely]] {
        st.Put(nPrefix, n);
    } else {
        const uint32_t nFirst = nPrefix >> (n - 1);
        const uint32_t nFill = nFirst ? 0 : 0xFFFFFFFF;
        uint32_t nOwed = st.m_nPending;
        if (nOwed + n <= 32) {
            // First bit, the owed bits, the rest: one value.
            const uint32_t nRest = nPrefix & ((1u << (n - 1)) - 1);
            const uint32_t nOwedBits = static_cast<uint32_t>(nFill & ((1ull << nOwed) - 1));
            st.Put(
                static_cast<uint32_t>(((uint64_t{nFirst} << nOwed | nOwedBits) << (n - 1)) | nRest),
                n + nOwed);
        } else {
            st.Put(nFirst, 1);
            for (; nOwed != 0; nOwed -= nOwed < 32 ? nOwed : 32) {
                if (st.m_nOut >= OUT_CHUNK) {
                    FlushOutput(st);
                }
                const uint32_t k = nOwed < 32 ? nOwed : 32;
                st.Put(static_cast<uint32_t>(nFill >> (32 - k)), k);
            }
            if (st.m_nOut >= OUT_CHUNK) {
                FlushOutput(st);
            }
            st.Put(nPrefix & ((1u << (n - 1)) - 1), n - 1);
        }
        st.m_nPending = 0;
    }
    st.m_nPending += norm.nMiddle;
    st.m_nLow = norm.nLow;
    st.m_nHigh = norm.nHigh;
}

[[gnu::always_inline]] inline void CLzariCoder::EncodeChar(CEncoderState& st, uint32_t nChar) {
    const uint32_t nSym = m_anCharToSym[nChar];
    EncodeInterval(st, m_awSymCum[nSym - 1], m_awSymCum[nSym], m_awSymCum[0]);
    UpdateModel(nSym);
}

// The total is a constant here, so the divisions become multiplications.
[[gnu::always_inline]] inline void CLzariCoder::EncodePosition(CEncoderState& st, uint32_t nCode) {
    EncodeInterval(st, POSITIONS.m_awPosCum[nCode], POSITIONS.m_awPosCum[nCode + 1],
                   POSITION_TOTAL);
}

// Selects a quarter of the range that lies wholly inside the final interval,
// so that whatever a decoder reads past the end cannot change the result.
void CLzariCoder::EncodeEnd(CEncoderState& st) {
    if (st.m_nOut >= OUT_CHUNK) {
        FlushOutput(st);
    }
    // One more owed bit: the chosen quarter's second bit.
    ++st.m_nPending;
    const uint32_t nBit = st.m_nLow < Q1 ? 0 : 1;
    st.Put(nBit, 1);
    for (uint32_t nOwed = st.m_nPending; nOwed != 0; nOwed -= nOwed < 32 ? nOwed : 32) {
        if (st.m_nOut >= OUT_CHUNK) {
            FlushOutput(st);
        }
        const uint32_t k = nOwed < 32 ? nOwed : 32;
        st.Put(nBit ? 0 : 0xFFFFFFFFu >> (32 - k), k);
    }
    st.m_nPending = 0;
    if (st.m_nOut >= OUT_CHUNK) {
        FlushOutput(st);
    }
    st.Put(0, 7);  // completes a partly filled byte; an empty one stays unwritten
}

namespace {

// The text of LzariEncode: one buffer.
struct SBufferText {
    const uint8_t* pText;
    uint32_t nLength;
    bool Has(uint32_t i) const { return i < nLength; }
    uint8_t At(uint32_t i) const { return pText[i]; }
    // A match is never longer than the text left.
    uint32_t Clamp(uint32_t nPos, uint32_t nMatch) const {
        return nMatch > nLength - nPos ? nLength - nPos : nMatch;
    }
};

// The text of LzariEncodeStream, taken from the source as the coder reaches
// it. The coder reads at most a look-ahead (and two) past its position and
// never behind it, so besides the current piece only the latest bytes of the
// earlier pieces are kept.
class CStreamText {
public:
    explicit CStreamText(ILzariTextSource& source) : m_source(source) {}
    bool Has(uint32_t i) {
        while (i >= m_qwEnd && !m_bEnded) {
            Fetch();
        }
        return i < m_qwEnd;
    }
    uint8_t At(uint32_t i) const {
        return !m_bEnded && i >= m_nPieceAt ? m_pPiece[i - m_nPieceAt] : m_abyKept[i % KEPT];
    }
    uint32_t Clamp(uint32_t nPos, uint32_t nMatch) {
        return nMatch == 0 || Has(nPos + nMatch - 1) ? nMatch
                                                     : static_cast<uint32_t>(m_qwEnd - nPos);
    }
    uint32_t Length() const { return static_cast<uint32_t>(m_qwEnd); }
    // The text reached 4 GiB, more than the length field holds.
    bool TooLong() const { return m_bTooLong; }

private:
    static constexpr uint32_t KEPT = 256;
    // Keeps the latest bytes of the current piece (it is valid only until the
    // next call), then takes the next one.
    void Fetch() {
        const uint32_t nKeep = m_nPiece < KEPT ? m_nPiece : KEPT;
        for (uint32_t k = m_nPiece - nKeep; k < m_nPiece; ++k) {
            m_abyKept[(m_nPieceAt + k) % KEPT] = m_pPiece[k];
        }
        const uint8_t* p = nullptr;
        const uint32_t n = m_source.NextPiece(&p);
        if (n == 0 || m_qwEnd + n > UINT32_MAX) {
            m_bTooLong = n != 0;
            m_bEnded = true;
            return;
        }
        m_nPieceAt = static_cast<uint32_t>(m_qwEnd);
        m_nPiece = n;
        m_pPiece = p;
        m_qwEnd += n;
    }
    ILzariTextSource& m_source;
    uint8_t m_abyKept[KEPT] = {};
    const uint8_t* m_pPiece = nullptr;
    uint32_t m_nPieceAt = 0;  // text position of the current piece's first byte
    uint32_t m_nPiece = 0;
    uint64_t m_qwEnd = 0;  // bytes taken in
    bool m_bEnded = false;
    bool m_bTooLong = false;
};

}  // namespace

// The coding loop, the same for a whole text and one that arrives in pieces.
// False when the output cannot grow.
template <typename TText>
bool CLzariCoder::EncodeText(TText& text, CEncoderState& st) {
    ResetModel();
    ResetTree();
    // Positions before the text start as spaces; those not yet holding input
    // are zero so that the choice among equal matches is repeatable.
    std::memset(m_abyRing, ' ', START);
    std::memset(m_abyRing + START, 0, sizeof(m_abyRing) - START);

    for (uint32_t i = 0; i < LOOK_AHEAD && text.Has(i); ++i) {
        m_abyRing[START + i] = text.At(i);
    }
    for (uint32_t i = 1; i <= LOOK_AHEAD; ++i) {
        InsertNode(START - i);
    }

    // The tree work is the same whatever the coder chooses: for each text
    // position j from 1 on, the oldest window position leaves the tree, the
    // input byte 59 ahead of j enters the window in its place, and j's window
    // position enters the tree (the text's last position excepted). So it runs
    // on its own, up to one position ahead of the coding position, and takes
    // two positions at once when their keys lie in different trees.
    uint32_t anBest[64];     // best match of text position j at [j % 64]
    uint32_t nInserted = 0;  // positions 0..nInserted are in the tree
    anBest[0] = InsertNode(START);
    auto fnLeaving = [](uint32_t j) { return (j + WINDOW - 1) & (WINDOW - 1); };
    auto fnEntering = [](uint32_t j) { return (START + j) & (WINDOW - 1); };
    auto fnTakeByte = [&](uint32_t j) {
        if (text.Has(j + LOOK_AHEAD - 1)) {
            const uint32_t s = fnLeaving(j);
            const uint8_t by = text.At(j + LOOK_AHEAD - 1);
            m_abyRing[s] = by;
            if (s < LOOK_AHEAD - 1) {
                m_abyRing[s + WINDOW] = by;
            }
        }
    };

    for (uint32_t nPos = 0; text.Has(nPos);) {
        while (nInserted < nPos) {
            const uint32_t j = nInserted + 1;
            const uint32_t rA = fnEntering(j), rB = fnEntering(j + 1);
            if (text.Has(j + 1) && m_abyRing[rA] != m_abyRing[rB]) {
                // Everything as for j, then j + 1, but the walks side by side.
                // The window byte that j + 1 brings in lies past j's key; the
                // node leaving for j + 1 must stay for j's walk if it lies in
                // j's tree (the walk of j + 1 is in another tree either way).
                const uint32_t sB = fnLeaving(j + 1);
                DeleteNode(fnLeaving(j));
                fnTakeByte(j);
                const bool bLate = m_abyRing[sB] == m_abyRing[rA];
                fnTakeByte(j + 1);
                if (!bLate) {
                    DeleteNode(sB);
                }
                InsertTwo(rA, rB, &anBest[j % 64], &anBest[(j + 1) % 64]);
                if (bLate) {
                    DeleteNode(sB);
                }
                nInserted += 2;
            } else {
                DeleteNode(fnLeaving(j));
                fnTakeByte(j);
                anBest[j % 64] = InsertNode(rA);
                nInserted += 1;
            }
        }

        // A match is never longer than the text left.
        const uint32_t nBest = anBest[nPos % 64];
        uint32_t nMatchLen = nBest >> 12;
        const uint32_t nMatchPos = WINDOW - 1 - (nBest & (WINDOW - 1));
        nMatchLen = text.Clamp(nPos, nMatchLen);
        if (nMatchLen <= THRESHOLD) {
            const uint8_t by = text.At(nPos);
            EncodeChar(st, by);
            if (m_pObserver) {
                m_pObserver->OnCoded(by, 0);
            }
            nPos += 1;
        } else {
            EncodeChar(st, 255 - THRESHOLD + nMatchLen);
            EncodePosition(st, nMatchPos - 1);
            if (m_pObserver) {
                m_pObserver->OnCoded(255 - THRESHOLD + nMatchLen, nMatchPos - 1);
            }
            nPos += nMatchLen;
        }
        if (st.m_nOut >= OUT_CHUNK) {
            FlushOutput(st);
            if (m_bOutFailed) {
                return false;
            }
        }
    }
    EncodeEnd(st);
    return true;
}

bool CLzariCoder::LzariEncode(const uint8_t* pText, uint32_t nLength, CMemFile& out) {
    CMemFileSink sink(out);
    return LzariEncode(pText, nLength, sink);
}

bool CLzariCoder::LzariEncode(const uint8_t* pText, uint32_t nLength, ILzariSink& out) {
    m_pOut = &out;
    m_bOutFailed = false;
    m_nTextSize = nLength;
    CEncoderState st;
    st.m_pOut = m_abyOut;

    for (int k = 0; k < 4; ++k) {
        m_abyOut[st.m_nOut++] = static_cast<uint8_t>(nLength >> (8 * k));
    }
    SBufferText text{pText, nLength};
    if (nLength != 0 && !EncodeText(text, st)) {
        return false;
    }
    FlushOutput(st);
    return !m_bOutFailed;
}

bool CLzariCoder::LzariEncodeStream(ILzariTextSource& source, CMemFile& out) {
    CMemFileSink sink(out);
    return LzariEncodeStream(source, sink);
}

bool CLzariCoder::LzariEncodeStream(ILzariTextSource& source, ILzariSink& out) {
    m_pOut = &out;
    m_bOutFailed = false;
    CEncoderState st;
    st.m_pOut = m_abyOut;

    // The length field is written when the text has ended.
    const uint64_t nFieldAt = out.Length();
    for (int k = 0; k < 4; ++k) {
        m_abyOut[st.m_nOut++] = 0;
    }
    CStreamText text(source);
    if (text.Has(0) && !EncodeText(text, st)) {
        return false;
    }
    FlushOutput(st);
    if (m_bOutFailed || text.TooLong()) {
        return false;
    }
    m_nTextSize = text.Length();
    uint8_t field[4];
    for (int k = 0; k < 4; ++k) {
        field[k] = static_cast<uint8_t>(m_nTextSize >> (8 * k));
    }
    return out.Overwrite(nFieldAt, field, 4);
}

// ---------------------------------------------------------------------------
// Decoder

// The code of a streaming decoding: a buffer that the source refills between
// runs of characters, of which the bytes already taken are dropped on each
// refill. A run is kept short enough never to read past the bytes there.
struct CLzariCoder::SCodeFeed {
    static constexpr uint32_t MIN_AHEAD = 48;  // bytes ahead of the code position for a run
    static constexpr uint32_t MAX_BITS = 40;   // a character and its distance take fewer bits
    ILzariCodeSource* pSource = nullptr;
    uint8_t* pBuf = nullptr;
    uint32_t nCap = 0;
    uint64_t qwDropped = 0;  // code bytes dropped before pBuf[0]
    bool bEnded = false;     // the source has no more
};

struct CLzariCoder::CDecoderState {
    uint32_t m_nLow = 0;
    uint32_t m_nHigh = Q4;
    uint32_t m_nValue = 0;    // the 17-bit code value window
    uint64_t m_qwBitPos = 0;  // code bits taken so far, counted from m_pCode
    const uint8_t* m_pCode = nullptr;
    uint32_t m_nCodeLength = 0;  // code bytes at m_pCode
    uint8_t m_byPastEnd = 0;     // what reads past the end see: the last byte again
    // Bit positions (from m_pCode) where the code ends and where it is
    // certainly truncated (2 bytes further); unknown, so never reached, until
    // the code has ended.
    uint64_t m_qwPastEndBits = UINT64_MAX;
    uint64_t m_qwTruncatedBits = UINT64_MAX;
    SReciprocal m_charTotal{CHARS};  // of the character model's total (its reset value)

    void SetEnd(uint64_t nBytes) {
        m_qwPastEndBits = nBytes * 8;
        m_qwTruncatedBits = nBytes * 8 + 16;
    }

    // The next nCount (0..17) code bits as a number.
    uint32_t Take(uint32_t nCount) {
        const uint64_t nByte = m_qwBitPos >> 3;
        uint64_t w;
        if (nByte + 8 <= m_nCodeLength) [[likely]] {
            w = LoadBigEndian64(m_pCode + nByte);
        } else {
            w = 0;
            for (uint64_t k = nByte; k < nByte + 8; ++k) {
                w = w << 8 | (k < m_nCodeLength ? m_pCode[k] : m_byPastEnd);
            }
        }
        const uint32_t nBits =
            static_cast<uint32_t>(((w << (m_qwBitPos & 7)) >> 1) >> (63 - nCount));
        m_qwBitPos += nCount;
        return nBits;
    }

    // Narrows to [cum[i], cum[i-1]) of the total and takes in the bits that
    // settles. The interval always contains the code value whatever bits are
    // read, so bad input shows only in what the symbols say.
    template <typename Divide>
    void Narrow(uint32_t nRange, uint32_t nCumHigh, uint32_t nCumLow, Divide fnDivide) {
        const uint32_t nHighNew = m_nLow + fnDivide(nRange * nCumHigh);
        const uint32_t nLowNew = m_nLow + fnDivide(nRange * nCumLow);
        const CRenormalisation norm(nLowNew, nHighNew);
        m_nValue = norm.Map(m_nValue) + Take(norm.nSettled + norm.nMiddle);
        m_nLow = norm.nLow;
        m_nHigh = norm.nHigh;
    }
};

// A streaming decoding in progress: the coder state between two pieces, the
// code buffer and the text buffer (the window behind the text handed out, and
// room for the next piece).
struct CLzariCoder::SDecodeStream {
    CDecoderState st;
    SCodeFeed feed;
    uint8_t* pText = nullptr;
    uint32_t nTextCap = 0;
    uint32_t nAt = 0;     // text bytes in pText
    uint32_t nCount = 0;  // text bytes decoded
    bool bDone = false;
    LzariResult result = LzariResult::Ok;

    ~SDecodeStream() {
        std::free(feed.pBuf);
        std::free(pText);
    }
};

CLzariCoder::CLzariCoder() = default;
CLzariCoder::~CLzariCoder() = default;

// Finds the symbol i with cum[i] <= x < cum[i-1], x = ((value - low + 1)
// total - 1) / range. Since cum[i] <= x exactly when cum[i] range <= (value -
// low + 1) total - 1 (every product stays below 2^32), the search needs no
// division. The table falls with i, so groups of 8 whose last entry still lies
// above x are passed whole, and the group that holds i is counted without
// branches.
[[gnu::always_inline]] inline uint32_t CLzariCoder::DecodeChar(CDecoderState& st) {
    const uint32_t nRange = st.m_nHigh - st.m_nLow;
    const uint32_t nTotal = m_awSymCum[0];
    const uint32_t nScaled = (st.m_nValue - st.m_nLow + 1) * nTotal - 1;
    uint32_t i = 1;
    while (m_awSymCum[i + 7] * nRange > nScaled) {
        i += 8;
    }
    uint32_t nAbove = 0;
    for (uint32_t k = 0; k < 7; ++k) {
        nAbove += m_awSymCum[i + k] * nRange > nScaled;
    }
    i += nAbove;
    st.Narrow(nRange, m_awSymCum[i - 1], m_awSymCum[i],
              [&](uint32_t n) { return st.m_charTotal.Divide(n, nTotal); });
    const uint32_t nChar = m_anSymToChar[i];
    UpdateModel(i);
    // Ready, off the decoding chain, by the time the next character needs it.
    st.m_charTotal = SReciprocal(m_awSymCum[0]);
    return nChar;
}

// The distance model's cumulative table is indexed by code + 1.
[[gnu::always_inline]] inline uint32_t CLzariCoder::DecodePosition(CDecoderState& st) {
    const uint32_t nRange = st.m_nHigh - st.m_nLow;
    const uint32_t x = ((st.m_nValue - st.m_nLow + 1) * POSITION_TOTAL - 1) / nRange;
    const uint32_t i = FindPosition(x);
    st.Narrow(nRange, POSITIONS.m_awPosCum[i - 1], POSITIONS.m_awPosCum[i],
              [](uint32_t n) { return n / POSITION_TOTAL; });
    return i - 1;
}

uint64_t LzariMaxTextLength(uint64_t nCodeBytes) {
    // A literal of frequency f out of a total T <= 32767, with the other 313
    // characters at 1 or more, leaves the interval no wider than
    // range * (32767 - 313) / 32767 + 1 with range > 2^15: 0.0138 bit of the
    // code at least, 72.5 characters a bit. The code gives 8 bits a byte, two
    // bytes read past its end included, less the 15 bits that stay in the
    // interval; 600 a byte covers it with room.
    return 600 * (nCodeBytes + 2);
}

LzariResult CLzariCoder::LzariReadLength(CMemFile& in, uint32_t nMaxLength, uint32_t* pnLength) {
    const uint8_t* pIn = in.GetBuffer();
    const uint32_t nInEnd = in.GetLength();
    const uint32_t nInPos = in.GetPosition();
    if (nInPos > nInEnd || nInEnd - nInPos < 4) {
        in.Seek(nInEnd > nInPos ? nInEnd : nInPos);
        return LzariResult::NoText;
    }
    return CheckLength(pIn + nInPos, nMaxLength, pnLength, [&] { in.Seek(nInPos + 4); });
}

template <typename Fn>
LzariResult CLzariCoder::CheckLength(const uint8_t* pField, uint32_t nMaxLength, uint32_t* pnLength,
                                     Fn fnTaken) {
    m_nTextSize =
        pField[0] | pField[1] << 8 | pField[2] << 16 | static_cast<uint32_t>(pField[3]) << 24;
    fnTaken();
    if (m_nTextSize == 0) {
        return LzariResult::NoText;
    }
    if (m_nTextSize > nMaxLength) {
        return LzariResult::TooLong;
    }
    *pnLength = m_nTextSize;
    return LzariResult::Ok;
}

LzariResult CLzariCoder::LzariDecode(CMemFile& in, uint32_t nMaxLength, uint8_t** ppText,
                                     uint32_t* pnLength) {
    uint32_t nLength = 0;
    const LzariResult r = LzariReadLength(in, nMaxLength, &nLength);
    if (r != LzariResult::Ok) {
        return r;
    }
    uint8_t* pText = static_cast<uint8_t*>(std::malloc(nLength));
    if (!pText) {
        return LzariResult::NoMemory;
    }
    const LzariResult result = LzariDecodeText(in, pText, nLength);
    if (result != LzariResult::Ok) {
        std::free(pText);
        return result;
    }
    *ppText = pText;
    *pnLength = nLength;
    return result;
}

[[gnu::always_inline]] inline LzariResult CLzariCoder::DecodeSome(CDecoderState& state,
                                                                  uint8_t* pBuf, uint32_t nCap,
                                                                  uint32_t& nAt, uint32_t& nCount,
                                                                  uint32_t nStopAt) {
    CDecoderState st = state;  // a local copy: byte stores cannot alias it
    const uint32_t nTextSize = m_nTextSize;
    // nAt and nCount rise together: the text ends at buffer place nEndAt.
    const uint32_t nDelta = nCount - nAt;  // wraps; added back below
    const uint64_t nTextEndAt = uint64_t{nAt} + (nTextSize - nCount);
    const uint32_t nLimit = nTextEndAt < nStopAt ? static_cast<uint32_t>(nTextEndAt) : nStopAt;
    LzariResult result = LzariResult::Ok;
    uint32_t i = nAt;
    while (i < nLimit) {
        const uint32_t nChar = DecodeChar(st);
        if (nChar < 256) {
            pBuf[i++] = static_cast<uint8_t>(nChar);
        } else {
            const uint32_t nMatch = nChar - (255 - THRESHOLD);
            const uint32_t nDist = DecodePosition(st) + 1;
            const uint32_t nDone = i + nDelta;
            // The encoder cuts matches to the text that remains and finds them
            // only among the 4036 positions behind the coding position, of
            // which just the last 60 of the initial spaces are ever offered.
            // Found while reading past the end, the fault is the missing code.
            if (nMatch > nTextSize - nDone || nDist > START ||
                nDist > static_cast<uint64_t>(nDone) + LOOK_AHEAD) {
                result = st.m_qwBitPos > st.m_qwPastEndBits ? LzariResult::Truncated
                                                            : LzariResult::Corrupt;
                break;
            }
            uint8_t* pDst = pBuf + i;
            if (nDist <= nDone) {
                // The window is the text already written (the buffer keeps a
                // whole window behind it): copy from it, a group of 8 at a time
                // when the source stays 8 behind and the buffer has the room.
                const uint8_t* pSrc = pDst - nDist;
                if (nDist >= 8 && nCap - i >= (nMatch + 7) / 8 * 8) {
                    for (uint32_t k = 0; k < nMatch; k += 8) {
                        std::memcpy(pDst + k, pSrc + k, 8);
                    }
                } else if (nDist == 1) {
                    std::memset(pDst, *pSrc, nMatch);
                } else {
                    for (uint32_t k = 0; k < nMatch; ++k) {
                        pDst[k] = pSrc[k];
                    }
                }
            } else {
                // Reaches back into the spaces before the text, which is all
                // in the buffer from its start.
                for (uint32_t k = 0; k < nMatch; ++k) {
                    pDst[k] = nDone + k < nDist ? ' ' : pBuf[i + k - nDist];
                }
            }
            i += nMatch;
        }
        if (st.m_qwBitPos > st.m_qwTruncatedBits) {
            result = LzariResult::Truncated;
            break;
        }
    }
    nCount = i + nDelta;
    nAt = i;
    state = st;
    return result;
}

// After the last character: the encoder writes 15 bits fewer than a decoder
// reads; those it did write must all be there.
static bool CodeComplete(uint64_t nBitsTaken, uint64_t nCodeBytes) {
    const uint64_t nBytesReached = (nBitsTaken + 7) / 8;
    const uint64_t nBytesHeld = nBytesReached < nCodeBytes ? nBytesReached : nCodeBytes;
    return nBitsTaken - 15 <= nBytesHeld * 8;
}

LzariResult CLzariCoder::LzariDecodeText(CMemFile& in, uint8_t* pText, uint32_t nLength,
                                         ILzariProgress* pProgress) {
    const uint8_t* pIn = in.GetBuffer();
    const uint32_t nInEnd = in.GetLength();
    const uint32_t nInPos = in.GetPosition() < nInEnd ? in.GetPosition() : nInEnd;
    m_nTextSize = nLength;
    CDecoderState st;
    st.m_pCode = pIn + nInPos;
    st.m_nCodeLength = nInEnd - nInPos;
    st.m_byPastEnd = st.m_nCodeLength ? st.m_pCode[st.m_nCodeLength - 1] : 0;
    // Past the end the last byte's bits are used again; the encoder's finishing
    // bits make them irrelevant for a complete stream, which never needs more
    // than 2 bytes there.
    st.SetEnd(st.m_nCodeLength);
    st.m_nValue = st.Take(17);
    ResetModel();

    LzariResult result = LzariResult::Ok;
    uint32_t nCount = 0;
    // Progress goes out every few KiB, so a reader waits little and costs little.
    constexpr uint32_t PROGRESS_STEP = 8192;
    uint32_t nReportAt = pProgress ? PROGRESS_STEP : UINT32_MAX;
    while (true) {
        uint32_t nAt = nCount;
        result = DecodeSome(st, pText, nLength, nAt, nCount, nReportAt);
        if (result != LzariResult::Ok || nCount == nLength) {
            break;
        }
        if (!pProgress->OnDecoded(nCount)) {
            result = LzariResult::Stopped;
            break;
        }
        nReportAt = nCount + PROGRESS_STEP;
    }
    if (result == LzariResult::Ok && !CodeComplete(st.m_qwBitPos, st.m_nCodeLength)) {
        result = LzariResult::Truncated;
    }
    const uint64_t nBytesReached = (st.m_qwBitPos + 7) / 8;
    in.Seek(nInPos + static_cast<uint32_t>(nBytesReached < st.m_nCodeLength ? nBytesReached
                                                                            : st.m_nCodeLength));
    if (pProgress) {
        pProgress->OnDecoded(nCount);
    }
    return result;
}

LzariResult CLzariCoder::LzariStreamBegin(ILzariCodeSource& source, uint32_t nMaxLength,
                                          uint32_t* pnLength, uint32_t nCodeBuffer,
                                          uint32_t nTextPiece) {
    m_pStream.reset();
    auto pStream = std::unique_ptr<SDecodeStream>(new (std::nothrow) SDecodeStream);
    if (!pStream) {
        return LzariResult::NoMemory;
    }
    SDecodeStream& s = *pStream;
    s.feed.nCap = nCodeBuffer < 2 * SCodeFeed::MIN_AHEAD ? 2 * SCodeFeed::MIN_AHEAD : nCodeBuffer;
    s.feed.pBuf = static_cast<uint8_t*>(std::malloc(s.feed.nCap));
    if (!s.feed.pBuf) {
        return LzariResult::NoMemory;
    }
    s.feed.pSource = &source;
    uint32_t nHave = 0;
    while (nHave < 4) {
        const uint32_t n = source.ReadCode(s.feed.pBuf + nHave, s.feed.nCap - nHave);
        if (n == 0) {
            return LzariResult::NoText;
        }
        nHave += n < s.feed.nCap - nHave ? n : s.feed.nCap - nHave;
    }
    uint32_t nLength = 0;
    if (const LzariResult r = CheckLength(s.feed.pBuf, nMaxLength, &nLength, [] {});
        r != LzariResult::Ok) {
        return r;
    }
    // Text pieces of nTextPiece bytes, after a whole window kept for matches,
    // with room for the longest match (copied 8 bytes at a time) past a piece.
    const uint32_t nPiece = nTextPiece < 64 ? 64 : nTextPiece;
    s.nTextCap = WINDOW + nPiece + LOOK_AHEAD + 8;
    s.pText = static_cast<uint8_t*>(std::malloc(s.nTextCap));
    if (!s.pText) {
        return LzariResult::NoMemory;
    }
    s.st.m_byPastEnd = nHave > 4 ? s.feed.pBuf[nHave - 1] : 0;
    std::memmove(s.feed.pBuf, s.feed.pBuf + 4, nHave - 4);
    s.st.m_pCode = s.feed.pBuf;
    s.st.m_nCodeLength = nHave - 4;
    RefillCode(s.st, s.feed);
    s.st.m_nValue = s.st.Take(17);
    ResetModel();
    m_pStream = std::move(pStream);
    *pnLength = nLength;
    return LzariResult::Ok;
}

// Once less than half the buffer is left ahead of the code position, drops
// the code bytes taken and refills the buffer, at least until a run of
// characters can go on (or the code has ended). Returns how many characters
// may be decoded before the next call (all, once the code has ended).
uint32_t CLzariCoder::RefillCode(CDecoderState& st, SCodeFeed& f) {
    if (f.bEnded) {
        return UINT32_MAX;
    }
    const uint32_t nByte = static_cast<uint32_t>(st.m_qwBitPos >> 3);
    if (st.m_nCodeLength - nByte < f.nCap / 2) {
        std::memmove(f.pBuf, f.pBuf + nByte, st.m_nCodeLength - nByte);
        f.qwDropped += nByte;
        st.m_qwBitPos -= uint64_t{nByte} * 8;
        st.m_nCodeLength -= nByte;
        do {
            const uint32_t nRoom = f.nCap - st.m_nCodeLength;
            const uint32_t n = f.pSource->ReadCode(f.pBuf + st.m_nCodeLength, nRoom);
            if (n == 0) {
                f.bEnded = true;
                st.SetEnd(st.m_nCodeLength);
                return UINT32_MAX;
            }
            st.m_nCodeLength += n < nRoom ? n : nRoom;
            st.m_byPastEnd = f.pBuf[st.m_nCodeLength - 1];
        } while (st.m_nCodeLength < SCodeFeed::MIN_AHEAD);
    }
    // Every Take of the run finds its 8 bytes in the buffer.
    return static_cast<uint32_t>(((st.m_nCodeLength - 9) * uint64_t{8} - st.m_qwBitPos) /
                                 SCodeFeed::MAX_BITS);
}

LzariResult CLzariCoder::LzariStreamNext(const uint8_t** ppPiece, uint32_t* pnPiece) {
    *pnPiece = 0;
    if (!m_pStream) {
        return LzariResult::NoText;
    }
    SDecodeStream& s = *m_pStream;
    if (s.bDone) {
        return s.result;
    }
    // Keep the window behind the text handed out.
    if (s.nAt > WINDOW) {
        std::memmove(s.pText, s.pText + s.nAt - WINDOW, WINDOW);
        s.nAt = WINDOW;
    }
    const uint32_t nFrom = s.nAt;
    const uint32_t nStopAt = s.nTextCap - (LOOK_AHEAD + 8);
    CDecoderState& st = s.st;
    LzariResult result = LzariResult::Ok;
    while (result == LzariResult::Ok && s.nAt < nStopAt && s.nCount < m_nTextSize) {
        // Each character gives at least one byte of text.
        const uint32_t nChars = RefillCode(st, s.feed);
        const uint32_t nRunStop = nStopAt - s.nAt < nChars ? nStopAt : s.nAt + nChars;
        result = DecodeSome(st, s.pText, s.nTextCap, s.nAt, s.nCount, nRunStop);
    }
    if (result == LzariResult::Ok && s.nCount == m_nTextSize) {
        const uint64_t nCodeBytes =
            s.feed.bEnded ? s.feed.qwDropped + st.m_nCodeLength : UINT64_MAX;
        if (!CodeComplete(s.feed.qwDropped * 8 + st.m_qwBitPos, nCodeBytes)) {
            result = LzariResult::Truncated;
        }
        s.bDone = true;
    }
    if (result != LzariResult::Ok) {
        s.bDone = true;
        s.result = result;
        return result;
    }
    *ppPiece = s.pText + nFrom;
    *pnPiece = s.nAt - nFrom;
    return LzariResult::Ok;
}

void CLzariCoder::LzariStreamEnd() {
    m_pStream.reset();
}

uint32_t CLzariMemorySource::ReadCode(uint8_t* pDst, uint32_t nMax) {
    const uint32_t n = m_nLength - m_nPos < nMax ? m_nLength - m_nPos : nMax;
    if (n) {
        std::memcpy(pDst, m_pCode + m_nPos, n);
        m_nPos += n;
    }
    return n;
}
