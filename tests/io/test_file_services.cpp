// The file, in-memory file and safe writer services the document and codec rely on.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "io/File.h"
#include "io/MemFile.h"
#include "io/QuoteName.h"
#include "io/SafeFileWriter.h"
#include "support/TestFiles.h"

TEST(MemFile, WriteGrowsAndReadReturnsBytesDelivered) {
    for (uint32_t grow : {1u, 3u, 1024u}) {
        CMemFile f(grow);
        for (int i = 0; i < 5000; ++i) {
            ASSERT_TRUE(f.WriteByte(static_cast<uint8_t>(i * 7)));
        }
        EXPECT_EQ(f.GetLength(), 5000u);
        f.Seek(4990);
        uint8_t buf[32];
        EXPECT_EQ(f.Read(buf, sizeof buf), 10u) << "grow " << grow;
        EXPECT_EQ(buf[0], static_cast<uint8_t>(4990 * 7));
        EXPECT_EQ(f.Read(buf, sizeof buf), 0u);
    }
}

TEST(MemFile, AttachedBufferStaysCallersAndFixedSizeRefusesGrowth) {
    uint8_t data[4] = {1, 2, 3, 4};
    {
        CMemFile f(1024);
        f.Attach(data, sizeof data);
        EXPECT_EQ(f.GetLength(), 4u);
        uint8_t b[8];
        f.Seek(1);
        EXPECT_EQ(f.Read(b, 8), 3u);
        EXPECT_EQ(b[0], 2);
        f.Seek(4);
        EXPECT_FALSE(f.WriteByte(9));  // no growth for a fixed attached buffer
        EXPECT_EQ(f.GetLength(), 4u);
    }  // destruction must not free data (ASan would report it)
    EXPECT_EQ(data[3], 4);

    CMemFile g(1024);
    g.Attach(data, sizeof data);
    EXPECT_EQ(g.Detach(), data);  // hands back the caller's own buffer
    EXPECT_EQ(g.GetLength(), 0u);
}

TEST(MemFile, DetachHandsOverBufferAndLeavesFileEmpty) {
    CMemFile f(1);
    EXPECT_EQ(f.Detach(), nullptr);
    ASSERT_TRUE(f.Write("abc", 3));
    uint8_t* p = f.Detach();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "abc", 3), 0);
    EXPECT_EQ(f.GetLength(), 0u);
    EXPECT_EQ(f.GetPosition(), 0u);
    std::free(p);
    ASSERT_TRUE(f.Write("z", 1));  // usable again after Detach
    EXPECT_EQ(f.GetLength(), 1u);
}

TEST(File, OpenFailsQuietlyAndReadReturnsBytesActuallyRead) {
    CTempDir dir;
    CFile f;
    EXPECT_FALSE(f.Open(dir.File("missing.qcf"), CFile::modeRead));
    EXPECT_FALSE(f.GetError().empty());
    EXPECT_FALSE(f.Open(dir.Path().string(), CFile::modeRead));  // a folder is not a file

    WriteBytes(dir.File("a.bin"), {1, 2, 3, 4, 5});
    ASSERT_TRUE(f.Open(dir.File("a.bin"), CFile::modeRead));
    EXPECT_EQ(f.GetLength(), 5u);
    uint8_t buf[8];
    EXPECT_TRUE(f.Seek(3));
    EXPECT_EQ(f.Read(buf, 8), 2u);
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(f.Read(buf, 8), 0u);
}

TEST(SafeFileWriter, ReplacesTargetOnlyOnCommit) {
    CTempDir dir;
    const std::string target = dir.File("out.qcf");
    WriteBytes(target, {9, 9, 9});
    {
        CSafeFileWriter w;
        ASSERT_TRUE(w.Open(target));
        ASSERT_TRUE(w.Write("abcd", 4));
        EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{9, 9, 9}));
    }  // abandoned: target intact, no temporary left
    EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{9, 9, 9}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    std::string err;
    ASSERT_TRUE(WriteFileSafely(target, "xy", 2, &err)) << err;
    EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{'x', 'y'}));
}

TEST(SafeFileWriter, UnwritableTargetsFailWithReasonAndLeaveNothing) {
    CTempDir dir;
    WriteBytes(dir.File("plain"), {1});
    std::filesystem::create_directory(dir.File("folder"));
    std::filesystem::create_symlink("loop2", dir.File("loop1"));
    std::filesystem::create_symlink("loop1", dir.File("loop2"));
    const std::string cases[] = {
        dir.File("missing/out.cmp"),  // folder does not exist
        dir.File("plain/out.cmp"),    // parent is a file
        dir.File("folder"),           // target is a folder
        dir.File("loop1"),            // links that name each other
    };
    for (const auto& target : cases) {
        std::string err;
        EXPECT_FALSE(WriteFileSafely(target, "x", 1, &err)) << target;
        EXPECT_NE(err.find(target), std::string::npos) << err;
    }
    EXPECT_EQ(ReadBytes(dir.File("plain")), std::vector<uint8_t>{1});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 4);
}

// Temporaries of killed writers go with the next write into the folder; those
// of a live writer (it holds a lock) and other names stay.
TEST(SafeFileWriter, RemovesOnlyAbandonedTemporaries) {
    CTempDir dir;
    for (const char* szName :
         {".tavro-AbC123", ".tavro-Live42", ".tavro-short", "x.tavro-123456"}) {
        WriteBytes(dir.File(szName), {7});
    }
    const int fdLive = ::open(dir.File(".tavro-Live42").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fdLive, LOCK_EX), 0);
    std::string err;
    ASSERT_TRUE(WriteFileSafely(dir.File("out.qcf"), "x", 1, &err)) << err;
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
        names.insert(e.path().filename().string());
    }
    EXPECT_EQ(names, (std::set<std::string>{".tavro-Live42", ".tavro-short", "x.tavro-123456",
                                            "out.qcf"}));
    ::close(fdLive);
}

// A cancel request seen before the target changes stops the write: the
// target as it was, nothing left beside it, in both ways of writing a file.
TEST(SafeFileWriter, CancelBeforeCommitLeavesTheTarget) {
    CTempDir dir;
    std::filesystem::create_directory(dir.File("ro"));
    WriteBytes(dir.File("out.qcf"), {1, 2});
    WriteBytes(dir.File("ro/out.qcf"), {1, 2});
    ::chmod(dir.File("ro").c_str(), 0555);
    static bool s_bCancel;
    for (const std::string& target : {dir.File("out.qcf"), dir.File("ro/out.qcf")}) {
        CSafeFileWriter w;
        w.SetCancelCheck([] { return s_bCancel; });
        s_bCancel = false;
        ASSERT_TRUE(w.Open(target));
        ASSERT_TRUE(w.Write("abc", 3));
        s_bCancel = true;
        EXPECT_FALSE(w.Write("d", 1));
        EXPECT_FALSE(w.Commit());
        EXPECT_NE(w.GetError().find("cancel"), std::string::npos) << w.GetError();
        EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{1, 2}));
    }
    ::chmod(dir.File("ro").c_str(), 0755);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

TEST(QuoteName, PlainNamesInQuotesOthersEscapedAsAShellWould) {
    const struct {
        const char* szName;
        const char* szQuoted;
    } cases[] = {
        {"clip.qcf", "\"clip.qcf\""},
        {"caf\xc3\xa9 clip.qcf", "\"caf\xc3\xa9 clip.qcf\""},  // UTF-8 stays readable
        {"two\nlines.qcf", "$'two\\nlines.qcf'"},
        {"\x1b[31mred.qcf", "$'\\x1b[31mred.qcf'"},
        {"tab\t'q'.qcf", "$'tab\\t\\'q\\'.qcf'"},
        {"bad\xff.qcf", "$'bad\\xff.qcf'"},         // not UTF-8
        {"c1\xc2\x9b.qcf", "$'c1\\xc2\\x9b.qcf'"},  // 8-bit escape introducer
        {"bidi\xe2\x80\xae.qcf", "$'bidi\\xe2\\x80\\xae.qcf'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QuoteName(c.szName), c.szQuoted);
    }
}
