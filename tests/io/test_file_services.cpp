// The file, in-memory file and safe writer services the document and codec rely on.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "io/File.h"
#include "io/MemFile.h"
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
    const std::string cases[] = {
        dir.File("missing/out.cmp"),  // folder does not exist
        dir.File("plain/out.cmp"),    // parent is a file
        dir.File("folder"),           // target is a folder
    };
    for (const auto& target : cases) {
        std::string err;
        EXPECT_FALSE(WriteFileSafely(target, "x", 1, &err)) << target;
        EXPECT_NE(err.find(target), std::string::npos) << err;
    }
    EXPECT_EQ(ReadBytes(dir.File("plain")), std::vector<uint8_t>{1});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}
