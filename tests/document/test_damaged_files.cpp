// Damaged .cmp files, exhaustively, through the document: open, then Decompress
// with a dialog that runs the codec at once. Whatever the damage, the document
// either holds exactly the frames the header declares, or reports one clear
// "Error" and keeps its compressed stream as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codec/ZeroRun.h"
#include "fuzz/FuzzChecks.h"
#include "support/CodecClips.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

namespace {

constexpr uint32_t kFrames = 3;

// Three frames of the sample clip, coarsely coded: a few hundred bytes.
const Bytes& ValidStream() {
    static const Bytes cmp = [] {
        const CodedStream coded = Compress(SampleClip(kFrames), kFrames, 100, 100);
        EXPECT_TRUE(coded.bResult);
        return coded.cmp;
    }();
    return cmp;
}

uint32_t StatedLength(const Bytes& cmp) {
    uint32_t n;
    std::memcpy(&n, &cmp[4], 4);  // little-endian host, as the build requires
    return n;
}

enum class Outcome { Frames, Failed, NotOpened };

// Opens the bytes as a .cmp file and decompresses them; checks everything that
// must hold and says which way it went. Failures of the properties are added
// to the current test with the case name.
Outcome OpenAndDecompress(const Bytes& cmp, const std::string& strCase) {
    CScriptedPrompts prompts;
    CTempDir dir;
    const std::string strPath = dir.File("damaged.cmp");
    WriteBytes(strPath, cmp);
    CTavroDoc doc;
    const bool bOpened = doc.OnOpenDocument(strPath);
    EXPECT_FALSE(prompts.endStatus) << strCase;
    if (cmp.size() < CMP_HEADER_BYTES) {
        EXPECT_FALSE(bOpened) << strCase;
        EXPECT_EQ(doc.m_cState, 'd') << strCase;
        return Outcome::NotOpened;
    }
    EXPECT_EQ(doc.m_cState, 'n') << strCase;
    const int32_t nDeclared = cmp[0] | cmp[1] << 8;
    EXPECT_EQ(bOpened, nDeclared > 0) << strCase;
    if (doc.m_cState != 'n' || doc.m_nCmpLength != cmp.size()) {
        ADD_FAILURE() << strCase << ": not held as read";
        return Outcome::NotOpened;
    }

    fuzzchecks::CSyncDialogs dialogs;
    const uint8_t* pCmpBefore = doc.m_pCmpData;
    prompts.messages.clear();
    doc.Decompress(dialogs);
    EXPECT_TRUE(dialogs.bWorkspaceClear) << strCase;
    EXPECT_FALSE(prompts.endStatus) << strCase;
    if (doc.m_cState == 'x') {
        EXPECT_TRUE(prompts.messages.empty()) << strCase;
        EXPECT_EQ(doc.m_nStreamFrames, nDeclared) << strCase;
        EXPECT_EQ(doc.m_nCodedFrames, nDeclared) << strCase;
        EXPECT_EQ(doc.m_pCmpData, nullptr) << strCase;
        // The whole declared buffer is there to read (the sanitizer build checks).
        uint32_t nSum = 0;
        for (uint64_t k = 0; k < doc.RawStreamBytes(); k += 997) {
            nSum += doc.m_pQcfData[k];
        }
        EXPECT_LT(nSum, UINT32_MAX);
        return Outcome::Frames;
    }
    EXPECT_EQ(doc.m_cState, 'n') << strCase;
    EXPECT_EQ(doc.m_pCmpData, pCmpBefore) << strCase;
    EXPECT_EQ(doc.m_nCmpLength, cmp.size()) << strCase;
    EXPECT_EQ(0, std::memcmp(doc.m_pCmpData, cmp.data(), cmp.size())) << strCase;
    EXPECT_EQ(doc.m_pQcfData, nullptr) << strCase;
    // One clear reason, one line.
    if (prompts.messages.size() != 1) {
        ADD_FAILURE() << strCase << ": " << prompts.messages.size() << " messages";
    } else {
        const auto& m = prompts.messages[0];
        EXPECT_EQ(m.strCaption, "Error") << strCase;
        EXPECT_GT(m.strText.size(), 10u) << strCase;
        EXPECT_EQ(m.strText.find('\n'), std::string::npos) << strCase;
    }
    return Outcome::Failed;
}

TEST(DamagedFiles, TheUndamagedStreamDecodes) {
    ASSERT_LT(ValidStream().size(), 1000u);
    EXPECT_EQ(OpenAndDecompress(ValidStream(), "valid"), Outcome::Frames);
}

TEST(DamagedFiles, TruncatedAtEveryOffset) {
    const Bytes& good = ValidStream();
    for (size_t n = 0; n < good.size(); ++n) {
        const Bytes cut(good.begin(), good.begin() + n);
        const Outcome o = OpenAndDecompress(cut, "cut at " + std::to_string(n));
        // The coder may finish from the bytes it reads ahead as zeros, so a cut in
        // the last two bytes can still decode; anything shorter cannot.
        if (n + 2 < good.size()) {
            EXPECT_NE(o, Outcome::Frames) << "cut at " << n;
        }
    }
}

TEST(DamagedFiles, EverySingleBitFlipOfHeaderAndFirstPayloadBytes) {
    const Bytes& good = ValidStream();
    const size_t nEnd = std::min<size_t>(good.size(), CMP_HEADER_BYTES + 256);
    int nFailed = 0;
    for (size_t i = 0; i < nEnd; ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes bad = good;
            bad[i] ^= static_cast<uint8_t>(1u << bit);
            const std::string strCase = "byte " + std::to_string(i) + " bit " + std::to_string(bit);
            nFailed += OpenAndDecompress(bad, strCase) == Outcome::Failed;
        }
    }
    // Most flips of the coded data are caught; the rest decode to other pictures.
    EXPECT_GT(nFailed, int(nEnd));
}

TEST(DamagedFiles, LengthFieldAndHeaderValues) {
    const Bytes& good = ValidStream();
    const uint32_t nTrue = StatedLength(good);
    auto withLength = [&](uint32_t n) {
        Bytes b = good;
        std::memcpy(&b[4], &n, 4);
        return b;
    };
    auto withFrames = [&](uint16_t n) {
        Bytes b = good;
        b[0] = uint8_t(n);
        b[1] = uint8_t(n >> 8);
        return b;
    };
    auto withByte = [&](size_t at, uint8_t v) {
        Bytes b = good;
        b[at] = v;
        return b;
    };
    struct Case {
        const char* name;
        Bytes cmp;
        Outcome want;
    } const cases[] = {
        {"length 0", withLength(0), Outcome::Failed},
        {"length 1", withLength(1), Outcome::Failed},
        {"length true-1", withLength(nTrue - 1), Outcome::Failed},
        {"length true+1", withLength(nTrue + 1), Outcome::Failed},
        {"length 0xFFFFFFFF", withLength(0xFFFFFFFF), Outcome::Failed},
        {"frames 0", withFrames(0), Outcome::Failed},
        {"frames 1", withFrames(1), Outcome::Frames},
        {"frames true+1", withFrames(kFrames + 1), Outcome::Failed},
        {"frames 65535", withFrames(65535), Outcome::Failed},
        {"threshold 0", withByte(2, 0), Outcome::Failed},
        {"quantiser 0", withByte(3, 0), Outcome::Failed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OpenAndDecompress(c.cmp, c.name), c.want) << c.name;
    }
}

// The largest stream buffer the document asked for.
size_t g_nLargestAllocation = 0;
void* RecordingAllocate(size_t n) {
    g_nLargestAllocation = std::max(g_nLargestAllocation, n);
    return std::malloc(n);
}

// A header that declares more frames than its data can hold is refused before
// the frames are allocated; the shortest data that can hold them is accepted.
TEST(DamagedFiles, FrameCountBeyondTheDataIsRefusedBeforeAllocating) {
    // Two frames whose coefficients are all zero: the shortest records there are.
    CMemFile records;
    const Bytes zeros(2 * QCIF_FRAME_BYTES, 0);
    ASSERT_TRUE(EncodeZeroRuns(records, zeros.data(), 2 * QCIF_FRAME_BYTES));
    ASSERT_TRUE(EncodeZeroRuns(records, zeros.data(), QCIF_FRAME_BYTES));
    ASSERT_EQ(records.GetLength(), MinRecordStreamLength(2));
    CMemFile out;
    const uint8_t header[4] = {2, 0, 10, 16};
    out.Write(header, 4);
    CLzariCoder coder;
    ASSERT_TRUE(coder.LzariEncode(records.GetBuffer(), records.GetLength(), out));
    const Bytes shortest(out.GetBuffer(), out.GetBuffer() + out.GetLength());

    struct Case {
        uint16_t nFrames;
        Outcome want;
        size_t nMaxAllocation;
    } const cases[] = {
        {2, Outcome::Frames, 2 * QCIF_FRAME_BYTES},
        {1, Outcome::Frames, QCIF_FRAME_BYTES},
        {3, Outcome::Failed, 0},
        {65535, Outcome::Failed, 0},
    };
    for (const auto& c : cases) {
        Bytes cmp = shortest;
        cmp[0] = uint8_t(c.nFrames);
        cmp[1] = uint8_t(c.nFrames >> 8);
        g_nLargestAllocation = 0;
        const auto pfnOld = CTavroDoc::SetAllocator(RecordingAllocate);
        const std::string strCase = std::to_string(c.nFrames) + " frames";
        EXPECT_EQ(OpenAndDecompress(cmp, strCase), c.want) << strCase;
        CTavroDoc::SetAllocator(pfnOld);
        // The file itself is read whole; nothing bigger is asked for a refused one.
        EXPECT_LE(g_nLargestAllocation, std::max(c.nMaxAllocation, cmp.size())) << strCase;
    }
}

}  // namespace
