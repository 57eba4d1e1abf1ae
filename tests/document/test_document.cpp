// Opening, importing, emptying and saving the document, including the
// hostile-input and failed-write paths.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "document/ClipImport.h"
#include "document/TavroDoc.h"
#include "stream/VideoSource.h"
#include "stream/Y4m.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 0) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(i * 31 + seed + (i >> 8));
    }
    return v;
}

// A compressed stream file: header then a few payload bytes.
std::vector<uint8_t> CmpFile(uint16_t nFrames, uint8_t byThreshold, uint8_t byQuantiser) {
    std::vector<uint8_t> v = {static_cast<uint8_t>(nFrames), static_cast<uint8_t>(nFrames >> 8),
                              byThreshold, byQuantiser};
    for (int i = 0; i < 50; ++i) {
        v.push_back(static_cast<uint8_t>(i * 7 + 3));
    }
    return v;
}

// Counts calls and fails every allocation; records the size asked for.
int g_nAllocCalls = 0;
size_t g_nLastAlloc = 0;
void* FailingAlloc(size_t n) {
    ++g_nAllocCalls;
    g_nLastAlloc = n;
    return nullptr;
}

struct AllocatorGuard {
    explicit AllocatorGuard(CTavroDoc::AllocateFn pfn) : pfnOld(CTavroDoc::SetAllocator(pfn)) {
        g_nAllocCalls = 0;
        g_nLastAlloc = 0;
    }
    ~AllocatorGuard() { CTavroDoc::SetAllocator(pfnOld); }
    CTavroDoc::AllocateFn pfnOld;
};

void MakeSparse(const std::string& strPath, uint64_t nLength) {
    WriteBytes(strPath, {});
    ASSERT_EQ(::truncate(strPath.c_str(), static_cast<off_t>(nLength)), 0);
}

// Everything observable about the document, to check that something left it alone.
struct Snapshot {
    const uint8_t* pQcf;
    const uint8_t* pCmp;
    int32_t nStreamFrames, nCodedFrames;
    uint32_t nCmpLength, nThreshold, nQuantiser;
    char cState;
    std::string strPath, strTitle;
    bool operator==(const Snapshot&) const = default;
};
Snapshot Snap(const CTavroDoc& doc) {
    return {doc.m_pQcfData,    doc.m_pCmpData,   doc.m_nStreamFrames, doc.m_nCodedFrames,
            doc.m_nCmpLength,  doc.m_nThreshold, doc.m_nQuantiser,    doc.m_cState,
            doc.GetPathName(), doc.GetTitle()};
}

bool FolderHasTempFiles(const fs::path& dir) {
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().filename().string().rfind(".tavro-", 0) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(Document, ConstructionAndDeleteContents) {
    CTavroDoc doc;
    EXPECT_EQ(doc.m_cState, 'd');
    EXPECT_EQ(doc.m_nStreamFrames, 0);
    EXPECT_EQ(doc.m_nCodedFrames, 0);
    EXPECT_EQ(doc.m_nCmpLength, 0u);
    EXPECT_EQ(doc.m_nThreshold, 1u);
    EXPECT_EQ(doc.m_nQuantiser, 1u);
    EXPECT_FALSE(doc.m_bCompareFile);
    EXPECT_TRUE(doc.GetTitle().empty());

    CScriptedPrompts prompts;
    CTempDir dir;
    WriteBytes(dir.File("a.cmp"), CmpFile(7, 9, 11));
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("a.cmp")));
    doc.m_bCompareFile = true;
    doc.m_strCompareName = "ref.qcf";
    doc.DeleteContents();  // ASan reports a leak if the owned buffer is not released
    EXPECT_EQ(doc.m_cState, 'd');
    EXPECT_EQ(doc.m_nStreamFrames, 0);
    EXPECT_EQ(doc.m_nCodedFrames, 0);
    EXPECT_EQ(doc.m_nCmpLength, 0u);
    EXPECT_EQ(doc.m_nThreshold, 1u);
    EXPECT_EQ(doc.m_nQuantiser, 1u);
    EXPECT_TRUE(doc.m_bCompareFile);  // the comparison choice survives
    EXPECT_EQ(doc.m_strCompareName, "ref.qcf");
}

TEST(Document, FileTypeIsDecidedByTheNameInAnyCase) {
    struct Case {
        const char* name;
        bool bCompressedContent;  // contents are never inspected
        char cState;
        bool bOpens;
    };
    const Case cases[] = {
        {"clip.qcf", false, 'i', true},      {"CLIP.QCF", false, 'i', true},
        {"clip.QcF", false, 'i', true},      {"clip.cmp", true, 'n', true},
        {"CLIP.CMP", true, 'n', true},       {"clip.cMp", true, 'n', true},
        {"qcf", false, 'i', true},           {"clip.yuv", false, 'd', false},
        {"clip.qcf.bak", false, 'd', false},
    };
    const auto raw = Pattern(2 * QCIF_FRAME_BYTES);
    const auto cmp = CmpFile(3, 4, 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedPrompts prompts;
        CTempDir dir;
        WriteBytes(dir.File(c.name), c.bCompressedContent ? cmp : raw);
        CTavroDoc doc;
        EXPECT_EQ(doc.OnOpenDocument(dir.File(c.name)), c.bOpens);
        EXPECT_EQ(doc.m_cState, c.cState);
        if (c.bOpens) {
            EXPECT_TRUE(prompts.messages.empty());
            EXPECT_EQ(doc.GetPathName(), dir.File(c.name));
            EXPECT_EQ(doc.GetTitle(), c.name);
        } else {
            EXPECT_EQ(prompts.messages,
                      (std::vector<CScriptedPrompts::Message>{{"Unknown File Type.", "Error"}}));
            EXPECT_EQ(doc.m_pQcfData, nullptr);
            EXPECT_EQ(doc.m_nStreamFrames, 0);
        }
    }
}

TEST(Document, RawStreamCountsWholeFramesAndSavesThemOnly) {
    CScriptedPrompts prompts;
    CTempDir dir;
    const auto data = Pattern(3 * QCIF_FRAME_BYTES + 100);
    WriteBytes(dir.File("clip.qcf"), data);
    CTavroDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("clip.qcf")));
    EXPECT_EQ(doc.m_nStreamFrames, 3);
    EXPECT_EQ(doc.m_nCodedFrames, 3);
    EXPECT_EQ(doc.m_nThreshold, 1u);

    const Snapshot before = Snap(doc);
    prompts.QueueChoice(dir.File("out.qcf"));
    ASSERT_TRUE(doc.OnSaveOutput());
    ASSERT_EQ(prompts.requests.size(), 1u);
    const FileChooserRequest& req = prompts.requests[0];
    EXPECT_FALSE(req.bOpen);
    EXPECT_EQ(req.strDefaultExt, "qcf");
    EXPECT_EQ(req.strInitialName, "*.qcf");
    EXPECT_TRUE(req.bHideReadOnly);
    EXPECT_TRUE(req.bOverwritePrompt);
    const auto out = ReadBytes(dir.File("out.qcf"));
    EXPECT_EQ(out.size(), 114048u);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin()));
    EXPECT_EQ(Snap(doc), before);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST(Document, CompressedStreamHeaderAndByteIdenticalSave) {
    CScriptedPrompts prompts;
    CTempDir dir;
    auto data = CmpFile(10, 5, 16);
    ASSERT_EQ(data[0], 0x0A);
    WriteBytes(dir.File("clip.cmp"), data);
    CTavroDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("clip.cmp")));
    EXPECT_EQ(doc.m_cState, 'n');
    EXPECT_EQ(doc.m_nStreamFrames, 10);
    EXPECT_EQ(doc.m_nCodedFrames, 10);
    EXPECT_EQ(doc.m_nThreshold, 5u);
    EXPECT_EQ(doc.m_nQuantiser, 16u);
    EXPECT_EQ(doc.m_nCmpLength, data.size());

    prompts.QueueChoice(dir.File("copy.cmp"));
    ASSERT_TRUE(doc.OnSaveOutput());
    EXPECT_EQ(prompts.requests.at(0).strDefaultExt, "cmp");
    EXPECT_EQ(prompts.requests.at(0).strInitialName, "*.cmp");
    EXPECT_FALSE(prompts.requests.at(0).bOpen);
    EXPECT_EQ(ReadBytes(dir.File("copy.cmp")), data);

    // A frame count in the high byte is read little-endian.
    WriteBytes(dir.File("big.cmp"), CmpFile(0x1234, 255, 1));
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("big.cmp")));
    EXPECT_EQ(doc.m_nCodedFrames, 0x1234);
    EXPECT_EQ(doc.m_nThreshold, 255u);
}

TEST(Document, StreamsWithoutAWholeFrameFailTheOpen) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        char cState;  // a buffer that was read stays owned until the next emptying
    };
    const Case cases[] = {
        {"short.qcf", Pattern(QCIF_FRAME_BYTES - 1), 'i'},
        {"empty.qcf", {}, 'i'},
        {"zero.cmp", CmpFile(0, 10, 16), 'n'},
        {"empty.cmp", {}, 'd'},
        {"one.cmp", {1}, 'd'},
        {"three.cmp", {1, 0, 5}, 'd'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedPrompts prompts;
        CTempDir dir;
        WriteBytes(dir.File(c.name), c.bytes);
        CTavroDoc doc;
        EXPECT_FALSE(doc.OnOpenDocument(dir.File(c.name)));
        EXPECT_TRUE(prompts.messages.empty());  // the caller reports it
        EXPECT_EQ(doc.m_cState, c.cState);
        EXPECT_EQ(doc.m_nStreamFrames, 0);
        EXPECT_TRUE(doc.GetTitle().empty());
        // The desktop then empties it, so nothing is offered on a stream of no frame.
        EXPECT_EQ(doc.DiscardEmptyStream(), c.cState != 'd');
        EXPECT_EQ(doc.m_cState, 'd');
        EXPECT_EQ(doc.m_pQcfData, nullptr);
        EXPECT_EQ(doc.m_pCmpData, nullptr);
    }
    // A document that holds frames is left alone.
    CScriptedPrompts prompts;
    CTempDir dir;
    WriteBytes(dir.File("one.qcf"), Pattern(QCIF_FRAME_BYTES));
    CTavroDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("one.qcf")));
    EXPECT_FALSE(doc.DiscardEmptyStream());
    EXPECT_EQ(doc.m_cState, 'i');
}

TEST(Document, ReopeningEmptiesFirstUnlessTheFileCannotBeOpened) {
    CScriptedPrompts prompts;
    CTempDir dir;
    WriteBytes(dir.File("a.qcf"), Pattern(2 * QCIF_FRAME_BYTES));
    WriteBytes(dir.File("b.yuv"), Pattern(2 * QCIF_FRAME_BYTES));
    fs::create_directory(dir.File("folder.qcf"));
    CTavroDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("a.qcf")));
    const Snapshot loaded = Snap(doc);

    // Unreadable: reported with the file's name, the old stream stays.
    for (const char* name : {"missing.qcf", "folder.qcf"}) {
        SCOPED_TRACE(name);
        prompts.messages.clear();
        EXPECT_FALSE(doc.OnOpenDocument(dir.File(name)));
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].strCaption, "Error");
        EXPECT_NE(prompts.messages[0].strText.find(dir.File(name)), std::string::npos);
        EXPECT_EQ(Snap(doc), loaded);
    }

    // Readable but of unknown type: the old stream is already gone.
    prompts.messages.clear();
    EXPECT_FALSE(doc.OnOpenDocument(dir.File("b.yuv")));
    EXPECT_EQ(prompts.messages.at(0).strText, "Unknown File Type.");
    EXPECT_EQ(doc.m_cState, 'd');
    EXPECT_EQ(doc.m_nStreamFrames, 0);
    EXPECT_TRUE(doc.GetPathName().empty());
    EXPECT_TRUE(doc.GetTitle().empty());
}

TEST(Document, SaveOutputShowsNothingWhenEmptyAndWritesNothingOnCancel) {
    CTempDir dir;
    CTavroDoc doc;
    {
        CScriptedPrompts prompts;
        prompts.QueueChoice(dir.File("never.qcf"));
        EXPECT_FALSE(doc.OnSaveOutput());
        EXPECT_TRUE(prompts.requests.empty());
    }
    CScriptedPrompts prompts;
    WriteBytes(dir.File("a.cmp"), CmpFile(1, 2, 3));
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("a.cmp")));
    prompts.QueueChoice(std::nullopt);
    EXPECT_FALSE(doc.OnSaveOutput());
    EXPECT_EQ(prompts.requests.size(), 1u);
    EXPECT_FALSE(fs::exists(dir.File("never.qcf")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1);  // a.cmp alone
    EXPECT_TRUE(prompts.messages.empty());
}

TEST(Document, FailedSaveKeepsTargetAndDocumentAndLeavesNoTempFile) {
    CScriptedPrompts prompts;
    CTempDir dir;
    WriteBytes(dir.File("a.qcf"), Pattern(QCIF_FRAME_BYTES));
    WriteBytes(dir.File("plain"), {1, 2, 3});
    fs::create_directory(dir.File("taken.qcf"));
    WriteBytes(dir.File("taken.qcf/inside"), {9, 9});
    CTavroDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(dir.File("a.qcf")));
    const Snapshot before = Snap(doc);

    for (const char* target : {"nofolder/out.qcf", "plain/out.qcf", "taken.qcf"}) {
        SCOPED_TRACE(target);
        prompts.messages.clear();
        prompts.QueueChoice(dir.File(target));
        EXPECT_FALSE(doc.OnSaveOutput());
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].strCaption, "Error");
        EXPECT_NE(prompts.messages[0].strText.find(dir.File(target)), std::string::npos);
        EXPECT_EQ(Snap(doc), before);
        EXPECT_FALSE(FolderHasTempFiles(dir.Path()));
    }
    EXPECT_EQ(ReadBytes(dir.File("plain")), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_TRUE(fs::is_directory(dir.File("taken.qcf")));
    EXPECT_EQ(ReadBytes(dir.File("taken.qcf/inside")), (std::vector<uint8_t>{9, 9}));

    // An existing file is replaced only by a complete write.
    WriteBytes(dir.File("old.qcf"), {7, 7, 7});
    prompts.QueueChoice(dir.File("old.qcf"));
    EXPECT_TRUE(doc.OnSaveOutput());
    EXPECT_EQ(ReadBytes(dir.File("old.qcf")).size(), QCIF_FRAME_BYTES);
    EXPECT_FALSE(FolderHasTempFiles(dir.Path()));
}

TEST(Document, OutOfMemoryIsFatalAndHugeFilesAreAskedForWhole) {
    struct Case {
        const char* name;
        uint64_t nLength;
        const char* message;  // nullptr: refused before any allocation
    };
    const Case cases[] = {
        {"a.qcf", 3 * QCIF_FRAME_BYTES, "Error allocating memory to m_pQcfData."},
        {"a.cmp", 100, "Error allocating memory to m_pCmpData."},
        // Sparse files: no disk space used, but a size that no 32-bit count holds.
        {"huge.qcf", (5ull << 30) + 7, "Error allocating memory to m_pQcfData."},
        {"huge.cmp", (4ull << 30), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedPrompts prompts;
        CTempDir dir;
        MakeSparse(dir.File(c.name), c.nLength);
        AllocatorGuard guard(FailingAlloc);
        CTavroDoc doc;
        EXPECT_FALSE(doc.OnOpenDocument(dir.File(c.name)));
        EXPECT_EQ(doc.m_cState, 'd');
        if (c.message) {
            EXPECT_EQ(g_nAllocCalls, 1);
            EXPECT_EQ(g_nLastAlloc, c.nLength);
            EXPECT_EQ(prompts.messages,
                      (std::vector<CScriptedPrompts::Message>{{c.message, "Fatal Error"}}));
            EXPECT_EQ(prompts.endStatus, std::optional<int>(1));
        } else {
            EXPECT_EQ(g_nAllocCalls, 0);
            EXPECT_TRUE(prompts.messages.empty());
            EXPECT_FALSE(prompts.endStatus.has_value());
        }
    }
}

// File > Import Video...: a readable clip replaces the stream as an opened .qcf
// would; anything else (cancelled, unreadable, damaged, empty, compressed)
// leaves the document as it was, an unsaved result included.
TEST(Document, ImportReplacesTheStreamOrLeavesItAlone) {
    CTempDir dir;
    const std::vector<uint8_t> frames = Pattern(2 * QCIF_FRAME_BYTES, 9);
    std::vector<uint8_t> y4m;
    AppendY4mStream(frames.data(), 2, y4m);
    WriteBytes(dir.File("clip.y4m"), y4m);
    std::vector<uint8_t> broken = y4m;
    broken[y4m.size() - QCIF_FRAME_BYTES - 6] = 'X';  // the second frame's line
    WriteBytes(dir.File("broken.y4m"), broken);
    std::vector<uint8_t> raw = frames;
    raw.resize(raw.size() + 100, 1);  // bytes after the last whole frame are dropped
    WriteBytes(dir.File("clip.yuv"), raw);
    WriteBytes(dir.File("tiny.yuv"), Pattern(10));
    WriteBytes(dir.File("c.cmp"), CmpFile(1, 10, 16));
    WriteBytes(dir.File("damaged.mp4"), Pattern(5000, 3));
    WriteBytes(dir.File("held.qcf"), Pattern(3 * QCIF_FRAME_BYTES));
    // A CIF .y4m is scaled through FFmpeg; flat planes stay flat, so the
    // result is known without a scaler of our own.
    const std::string strCifHeader = "YUV4MPEG2 W352 H288 F25:1 Ip C420jpeg\n";
    std::vector<uint8_t> cif(strCifHeader.begin(), strCifHeader.end());
    std::vector<uint8_t> flat;
    for (int k = 0; k < 2; ++k) {
        const std::string strFrame = "FRAME\n";
        cif.insert(cif.end(), strFrame.begin(), strFrame.end());
        cif.insert(cif.end(), 352 * 288, 90);
        cif.insert(cif.end(), 176 * 144, 100);
        cif.insert(cif.end(), 176 * 144, 160);
        flat.insert(flat.end(), QCIF_Y_BYTES, 90);
        flat.insert(flat.end(), QCIF_CHROMA_BYTES, 100);
        flat.insert(flat.end(), QCIF_CHROMA_BYTES, 160);
    }
    WriteBytes(dir.File("cif.y4m"), cif);

    struct Case {
        const char* pszName;
        bool bCancel;
        const char* pszError;  // nullptr: imported
        uint64_t nExpected;    // the progress bar's frame count
        const std::vector<uint8_t>* pFrames;
    } const cases[] = {
        {"clip.y4m", true, "", 2, nullptr},  // cancelled: no message
        {"missing.mkv", false, "missing.mkv", 0, nullptr},
        {"damaged.mp4", false, "damaged.mp4", 0, nullptr},
        {"c.cmp", false, "\"c.cmp\" is a compressed stream: open it with File > Open.", 0, nullptr},
        {"broken.y4m", false, "broken.y4m\": frame 2 does not start with a FRAME line.", 2,
         nullptr},
        {"tiny.yuv", false, "\"tiny.yuv\" holds no whole frame.", 0, nullptr},
        {"clip.y4m", false, nullptr, 2, &frames},
        {"clip.yuv", false, nullptr, 2, &frames},
        {"cif.y4m", false, nullptr, 2, &flat},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        if (std::string(c.pszName) == "cif.y4m" && !VideoImportAvailable()) {
            continue;
        }
        CScriptedPrompts prompts;
        CTavroDoc doc;
        ASSERT_TRUE(doc.OnOpenDocument(dir.File("held.qcf")));
        doc.SetModifiedFlag();
        const Snapshot before = Snap(doc);
        CClipImport import;
        std::string strError;
        bool bImported = import.Open(dir.File(c.pszName), &strError);
        EXPECT_EQ(import.ExpectedFrames(), bImported ? c.nExpected : 0);
        if (bImported && c.bCancel) {
            import.RequestCancel();
        }
        bImported = bImported && import.Run();
        strError += import.GetError();
        bImported = bImported && import.Deliver(doc);
        EXPECT_TRUE(prompts.messages.empty());  // the caller shows the one message
        if (c.pszError) {
            EXPECT_FALSE(bImported);
            EXPECT_NE(strError.find(c.pszError), std::string::npos) << strError;
            EXPECT_TRUE(Snap(doc) == before);
            EXPECT_TRUE(doc.IsModified());
            continue;
        }
        ASSERT_TRUE(bImported) << strError;
        EXPECT_EQ(doc.m_cState, 'i');
        EXPECT_EQ(doc.m_nStreamFrames, 2);
        EXPECT_EQ(doc.m_nCodedFrames, 2);
        EXPECT_FALSE(doc.IsModified());
        EXPECT_EQ(doc.GetTitle(), c.pszName);
        EXPECT_EQ(std::vector<uint8_t>(doc.m_pQcfData, doc.m_pQcfData + doc.RawStreamBytes()),
                  *c.pFrames);
        EXPECT_EQ(import.FramesRead(), 2u);
        EXPECT_FALSE(import.Truncated());
        EXPECT_FALSE(import.Deliver(doc));  // the frames went once
    }
}
