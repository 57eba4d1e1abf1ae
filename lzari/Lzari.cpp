#include "lzari/Lzari.h"

#include <bit>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------------------
// Models

void CLzariCoder::ResetModel() {
    m_awSymCum[kChars] = 0;
    for (uint32_t nSym = kChars; nSym >= 1; --nSym) {
        const uint32_t nChar = nSym - 1;
        m_anCharToSym[nChar] = nSym;
        m_anSymToChar[nSym] = nChar;
        m_awSymFreq[nSym] = 1;
        m_awSymCum[nSym - 1] = static_cast<uint16_t>(m_awSymCum[nSym] + 1);
    }
    m_awSymFreq[0] = 0;  // sentinel: stops the run search in UpdateModel
    m_anSymToChar[0] = 0;

    // Fixed distance model: nearer distances are more likely.
    m_awPosCum[kWindow] = 0;
    for (uint32_t i = kWindow; i >= 1; --i) {
        m_awPosCum[i - 1] = static_cast<uint16_t>(m_awPosCum[i] + 10000 / (i + 200));
    }
}

void CLzariCoder::UpdateModel(uint32_t nSym) {
    if (m_awSymCum[0] >= kMaxTotal) {
        uint32_t nSum = 0;
        for (uint32_t i = kChars; i >= 1; --i) {
            m_awSymCum[i] = static_cast<uint16_t>(nSum);
            m_awSymFreq[i] = static_cast<uint16_t>((m_awSymFreq[i] + 1) / 2);
            nSum += m_awSymFreq[i];
        }
        m_awSymCum[0] = static_cast<uint16_t>(nSum);
    }
    // Move the character to the front of its run of equal frequencies.
    uint32_t i = nSym;
    while (m_awSymFreq[i] == m_awSymFreq[i - 1]) {
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
    while (i > 0) {
        ++m_awSymCum[--i];
    }
}

// ---------------------------------------------------------------------------
// Match tree: one binary search tree per first byte, keyed by the 60 bytes
// that start at each window position.

void CLzariCoder::ResetTree() {
    for (uint32_t i = kWindow + 1; i <= kWindow + 256; ++i) {
        Right(i) = kNil;
    }
    for (uint32_t i = 0; i < kWindow; ++i) {
        m_awParent[i] = kNil;
    }
}

namespace {

// Index of the first byte in 1 .. kLookAhead - 1 where the keys at a and b
// differ, or kLookAhead when they agree on all of them. Reads up to
// CLzariCoder's compare slack past the keys.
inline uint32_t FirstDifference(const uint8_t* a, const uint8_t* b) {
    constexpr uint32_t kEnd = CLzariCoder::kLookAhead;
    for (uint32_t i = 1; i < kEnd; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) {
            const uint64_t d = x ^ y;
            const uint32_t nByte = std::endian::native == std::endian::little
                                       ? std::countr_zero(d) / 8
                                       : std::countl_zero(d) / 8;
            i += nByte;
            return i < kEnd ? i : kEnd;
        }
    }
    return kEnd;
}

}  // namespace

void CLzariCoder::InsertNode(uint32_t r) {
    const uint8_t* pKey = &m_abyRing[r];
    uint32_t nDir = 1;  // the root's right child
    uint32_t p = kWindow + 1 + pKey[0];
    Right(r) = Left(r) = kNil;
    // The best match so far is chosen without branches: which node wins is
    // data-dependent and would be mispredicted about every other time.
    uint32_t nLen = 0, nPos = m_nMatchPos;
    for (;;) {
        uint16_t& wNext = m_awChild[2 * p + nDir];
        if (wNext == kNil) {
            wNext = static_cast<uint16_t>(r);
            m_awParent[r] = static_cast<uint16_t>(p);
            m_nMatchLen = nLen;
            m_nMatchPos = nPos;
            return;
        }
        p = wNext;
        const uint8_t* pNode = &m_abyRing[p];
        const uint32_t i = FirstDifference(pKey, pNode);
        const uint32_t nDist = (r - p) & (kWindow - 1);
        if (i >= kLookAhead) {
            // Equal keys: no closer match exists, and r takes p's place below.
            nLen = i;
            nPos = nDist;
            break;
        }
        nDir = pKey[i] > pNode[i];  // larger keys go right
        // Longer than the best, or as long and nearer (the nearer of two equally long matches).
        const bool bTake = i > kThreshold && (i > nLen || (i == nLen && nDist < nPos));
        nPos = bTake ? nDist : nPos;
        nLen = bTake ? i : nLen;
    }
    m_nMatchLen = nLen;
    m_nMatchPos = nPos;
    // A full-length match: r replaces p, whose key it equals.
    m_awParent[r] = m_awParent[p];
    Left(r) = Left(p);
    Right(r) = Right(p);
    m_awParent[Left(p)] = static_cast<uint16_t>(r);
    m_awParent[Right(p)] = static_cast<uint16_t>(r);
    const uint32_t nUp = m_awParent[p];
    if (Right(nUp) == p) {
        Right(nUp) = static_cast<uint16_t>(r);
    } else {
        Left(nUp) = static_cast<uint16_t>(r);
    }
    m_awParent[p] = kNil;
}

void CLzariCoder::DeleteNode(uint32_t p) {
    if (m_awParent[p] == kNil) {
        return;
    }
    uint32_t q;
    if (Right(p) == kNil) {
        q = Left(p);
    } else if (Left(p) == kNil) {
        q = Right(p);
    } else {
        q = Left(p);
        if (Right(q) != kNil) {
            do {
                q = Right(q);
            } while (Right(q) != kNil);
            Right(m_awParent[q]) = Left(q);
            m_awParent[Left(q)] = m_awParent[q];
            Left(q) = Left(p);
            m_awParent[Left(p)] = static_cast<uint16_t>(q);
        }
        Right(q) = Right(p);
        m_awParent[Right(p)] = static_cast<uint16_t>(q);
    }
    const uint32_t nUp = m_awParent[p];
    m_awParent[q] = static_cast<uint16_t>(nUp);
    if (Right(nUp) == p) {
        Right(nUp) = static_cast<uint16_t>(q);
    } else {
        Left(nUp) = static_cast<uint16_t>(q);
    }
    m_awParent[p] = kNil;
}

// ---------------------------------------------------------------------------
// Encoder

bool CLzariCoder::FlushOutput() {
    if (m_nOutCount != 0 && !m_bOutFailed) {
        m_bOutFailed = !m_pOut->Write(m_abyOut, m_nOutCount);
    }
    m_nOutCount = 0;
    return !m_bOutFailed;
}

inline void CLzariCoder::PutBit(uint32_t nBit) {
    if (nBit) {
        m_wBitBuffer = static_cast<uint16_t>(m_wBitBuffer | m_wBitMask);
    }
    m_wBitMask = static_cast<uint16_t>(m_wBitMask >> 1);
    if (m_wBitMask == 0) {
        m_abyOut[m_nOutCount++] = static_cast<uint8_t>(m_wBitBuffer);
        if (m_nOutCount == sizeof(m_abyOut)) {
            FlushOutput();
        }
        m_wBitBuffer = 0;
        m_wBitMask = 0x80;
    }
}

// A bit followed by the bits still owed for middle-half expansions.
inline void CLzariCoder::OutputBit(uint32_t nBit) {
    PutBit(nBit);
    for (; m_nPending > 0; --m_nPending) {
        PutBit(!nBit);
    }
}

// Narrows the interval to [cum[sym], cum[sym-1]) of the total and sends every
// bit that the narrowing has settled.
inline void CLzariCoder::EncodeInterval(uint32_t nCumHigh, uint32_t nCumLow, uint32_t nTotal) {
    const uint32_t nRange = m_nHigh - m_nLow;
    m_nHigh = m_nLow + nRange * nCumHigh / nTotal;
    m_nLow += nRange * nCumLow / nTotal;
    for (;;) {
        if (m_nHigh <= kQ2) {
            OutputBit(0);
        } else if (m_nLow >= kQ2) {
            OutputBit(1);
            m_nLow -= kQ2;
            m_nHigh -= kQ2;
        } else if (m_nLow >= kQ1 && m_nHigh <= kQ3) {
            ++m_nPending;
            m_nLow -= kQ1;
            m_nHigh -= kQ1;
        } else {
            break;
        }
        m_nLow += m_nLow;
        m_nHigh += m_nHigh;
    }
}

inline void CLzariCoder::EncodeChar(uint32_t nChar) {
    const uint32_t nSym = m_anCharToSym[nChar];
    EncodeInterval(m_awSymCum[nSym - 1], m_awSymCum[nSym], m_awSymCum[0]);
    UpdateModel(nSym);
}

inline void CLzariCoder::EncodePosition(uint32_t nCode) {
    EncodeInterval(m_awPosCum[nCode], m_awPosCum[nCode + 1], m_awPosCum[0]);
}

// Selects a quarter of the range that lies wholly inside the final interval,
// so that whatever a decoder reads past the end cannot change the result.
void CLzariCoder::EncodeEnd() {
    ++m_nPending;
    OutputBit(m_nLow < kQ1 ? 0 : 1);
    for (int i = 0; i < 7; ++i) {
        PutBit(0);  // completes a partly filled byte; an empty one stays unwritten
    }
}

bool CLzariCoder::LzariEncode(const uint8_t* pText, uint32_t nLength, CMemFile& out) {
    m_pOut = &out;
    m_bOutFailed = false;
    m_nOutCount = 0;
    m_wBitBuffer = 0;
    m_wBitMask = 0x80;
    m_nLow = 0;
    m_nHigh = kQ4;
    m_nPending = 0;
    m_nTextSize = nLength;

    out.Seek(out.GetLength());
    for (int k = 0; k < 4; ++k) {
        m_abyOut[m_nOutCount++] = static_cast<uint8_t>(nLength >> (8 * k));
    }
    if (nLength == 0) {
        return FlushOutput();
    }

    ResetModel();
    ResetTree();
    // Positions before the text start as spaces; those not yet holding input
    // are zero so that the choice among equal matches is repeatable.
    std::memset(m_abyRing, ' ', kStart);
    std::memset(m_abyRing + kStart, 0, sizeof(m_abyRing) - kStart);

    uint32_t nLen = nLength < kLookAhead ? nLength : kLookAhead;
    std::memcpy(m_abyRing + kStart, pText, nLen);
    uint32_t nNext = nLen;  // next input byte to enter the window
    uint32_t r = kStart;
    uint32_t s = 0;
    for (uint32_t i = 1; i <= kLookAhead; ++i) {
        InsertNode(r - i);
    }
    InsertNode(r);

    while (nLen > 0) {
        if (m_nMatchLen > nLen) {
            m_nMatchLen = nLen;
        }
        uint32_t nCoded;
        if (m_nMatchLen <= kThreshold) {
            nCoded = 1;
            EncodeChar(m_abyRing[r]);
            if (m_pObserver) {
                m_pObserver->OnCoded(m_abyRing[r], 0);
            }
        } else {
            nCoded = m_nMatchLen;
            EncodeChar(255 - kThreshold + m_nMatchLen);
            EncodePosition(m_nMatchPos - 1);
            if (m_pObserver) {
                m_pObserver->OnCoded(255 - kThreshold + m_nMatchLen, m_nMatchPos - 1);
            }
        }
        if (m_bOutFailed) {
            return false;
        }
        uint32_t i = 0;
        for (; i < nCoded && nNext < nLength; ++i) {
            DeleteNode(s);
            const uint8_t by = pText[nNext++];
            m_abyRing[s] = by;
            if (s < kLookAhead - 1) {
                m_abyRing[s + kWindow] = by;
            }
            s = (s + 1) & (kWindow - 1);
            r = (r + 1) & (kWindow - 1);
            InsertNode(r);
        }
        for (; i < nCoded; ++i) {
            DeleteNode(s);
            s = (s + 1) & (kWindow - 1);
            r = (r + 1) & (kWindow - 1);
            if (--nLen != 0) {
                InsertNode(r);
            }
        }
    }
    EncodeEnd();
    return FlushOutput();
}

// ---------------------------------------------------------------------------
// Decoder

// Past the end of the input the last byte's bits are used again; the
// encoder's finishing bits make them irrelevant for a complete stream.
inline uint32_t CLzariCoder::GetBit() {
    m_wBitMask = static_cast<uint16_t>(m_wBitMask >> 1);
    if (m_wBitMask == 0) {
        if (m_nInPos < m_nInEnd) {
            m_wBitBuffer = m_pIn[m_nInPos++];
        } else {
            ++m_nPastEnd;
        }
        m_wBitMask = 0x80;
    }
    return (m_wBitBuffer & m_wBitMask) != 0;
}

inline void CLzariCoder::DecodeRenormalise() {
    for (;;) {
        if (m_nLow >= kQ2) {
            m_nValue -= kQ2;
            m_nLow -= kQ2;
            m_nHigh -= kQ2;
        } else if (m_nLow >= kQ1 && m_nHigh <= kQ3) {
            m_nValue -= kQ1;
            m_nLow -= kQ1;
            m_nHigh -= kQ1;
        } else if (m_nHigh > kQ2) {
            break;
        }
        m_nLow += m_nLow;
        m_nHigh += m_nHigh;
        m_nValue = 2 * m_nValue + GetBit();
    }
}

// Finds the index i in 1..nLast of a descending cumulative table with
// cum[i] <= x < cum[i-1] for the code value, narrows the interval to it and
// takes in the bits that settles. Returns i. The interval always contains the
// code value whatever bits are read, so the search always lands on an index;
// bad input shows only in what the symbols say.
inline uint32_t CLzariCoder::DecodeInterval(const uint16_t* pCum, uint32_t nLast) {
    const uint32_t nRange = m_nHigh - m_nLow;
    const uint32_t x = ((m_nValue - m_nLow + 1) * pCum[0] - 1) / nRange;
    uint32_t i = 1;
    uint32_t j = nLast;
    while (i < j) {
        const uint32_t k = (i + j) / 2;
        if (pCum[k] > x) {
            i = k + 1;
        } else {
            j = k;
        }
    }
    m_nHigh = m_nLow + nRange * pCum[i - 1] / pCum[0];
    m_nLow += nRange * pCum[i] / pCum[0];
    DecodeRenormalise();
    return i;
}

inline uint32_t CLzariCoder::DecodeChar() {
    const uint32_t nSym = DecodeInterval(m_awSymCum, kChars);
    const uint32_t nChar = m_anSymToChar[nSym];
    UpdateModel(nSym);
    return nChar;
}

// The distance model's cumulative table is indexed by code + 1.
inline uint32_t CLzariCoder::DecodePosition() {
    return DecodeInterval(m_awPosCum, kWindow) - 1;
}

LzariResult CLzariCoder::LzariDecode(CMemFile& in, uint32_t nMaxLength, uint8_t** ppText,
                                     uint32_t* pnLength) {
    m_wBitBuffer = 0;
    m_wBitMask = 0;
    m_nLow = 0;
    m_nHigh = kQ4;
    m_nValue = 0;
    m_nPending = 0;

    m_pIn = in.GetBuffer();
    m_nInEnd = in.GetLength();
    m_nInPos = in.GetPosition();
    m_nPastEnd = 0;
    if (m_nInPos > m_nInEnd || m_nInEnd - m_nInPos < 4) {
        in.Seek(m_nInEnd > m_nInPos ? m_nInEnd : m_nInPos);
        return LzariResult::NoText;
    }
    m_nTextSize = m_pIn[m_nInPos] | m_pIn[m_nInPos + 1] << 8 | m_pIn[m_nInPos + 2] << 16 |
                  static_cast<uint32_t>(m_pIn[m_nInPos + 3]) << 24;
    m_nInPos += 4;
    in.Seek(m_nInPos);
    if (m_nTextSize == 0) {
        return LzariResult::NoText;
    }
    if (m_nTextSize > nMaxLength) {
        return LzariResult::TooLong;
    }
    uint8_t* pText = static_cast<uint8_t*>(std::malloc(m_nTextSize));
    if (!pText) {
        return LzariResult::NoMemory;
    }
    const uint32_t nCodeStart = m_nInPos;

    for (int i = 0; i < 17; ++i) {
        m_nValue = 2 * m_nValue + GetBit();
    }
    ResetModel();
    std::memset(m_abyRing, ' ', kStart);
    std::memset(m_abyRing + kStart, 0, sizeof(m_abyRing) - kStart);

    LzariResult result = LzariResult::Ok;
    uint32_t r = kStart;
    uint32_t nCount = 0;
    while (nCount < m_nTextSize) {
        const uint32_t nChar = DecodeChar();
        if (nChar < 256) {
            pText[nCount++] = static_cast<uint8_t>(nChar);
            m_abyRing[r] = static_cast<uint8_t>(nChar);
            r = (r + 1) & (kWindow - 1);
        } else {
            const uint32_t nMatch = nChar - (255 - kThreshold);
            const uint32_t nDist = DecodePosition() + 1;
            // The encoder cuts matches to the text that remains and finds them
            // only among the 4036 positions behind the coding position, of
            // which just the last 60 of the initial spaces are ever offered.
            // Found while reading past the end, the fault is the missing code.
            if (nMatch > m_nTextSize - nCount || nDist > kStart ||
                nDist > static_cast<uint64_t>(nCount) + kLookAhead) {
                result = m_nPastEnd > 0 ? LzariResult::Truncated : LzariResult::Corrupt;
                break;
            }
            uint32_t nFrom = (r - nDist) & (kWindow - 1);
            for (uint32_t k = 0; k < nMatch; ++k) {
                const uint8_t by = m_abyRing[nFrom];
                nFrom = (nFrom + 1) & (kWindow - 1);
                pText[nCount++] = by;
                m_abyRing[r] = by;
                r = (r + 1) & (kWindow - 1);
            }
        }
        if (m_nPastEnd > 2) {
            result = LzariResult::Truncated;
            break;
        }
    }
    if (result == LzariResult::Ok) {
        // The encoder writes 15 bits fewer than a decoder reads; those it did
        // write must all be here.
        uint32_t nMaskBits = 0;
        for (uint32_t m = m_wBitMask; m > 1; m >>= 1) {
            ++nMaskBits;
        }
        const uint64_t nBitsRead =
            (static_cast<uint64_t>(m_nInPos - nCodeStart) + m_nPastEnd) * 8 - nMaskBits;
        const uint64_t nBitsHeld = static_cast<uint64_t>(m_nInPos - nCodeStart) * 8;
        if (nBitsRead - 15 > nBitsHeld) {
            result = LzariResult::Truncated;
        }
    }
    in.Seek(m_nInPos);
    if (result != LzariResult::Ok) {
        std::free(pText);
        return result;
    }
    *ppText = pText;
    *pnLength = nCount;
    return result;
}
