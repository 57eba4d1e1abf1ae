// Save Output to every kind of target a user may name (links, hard links,
// pipes, terminals, read-only files and folders, long names), and when the
// target cannot be written: a missing folder, a parent that is a file, a
// target that is a folder, and a disk that fills up halfway (a file-size limit
// in a child process). A failure is one clear "Error", the existing target
// byte for byte as it was, no temporary file left behind, and the document
// unchanged.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "document/TavroDoc.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/WriteTargets.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

std::set<std::string> Listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        names.insert(e.path().lexically_relative(dir).string());
    }
    return names;
}

struct DocSnapshot {
    char cState;
    const uint8_t* pData;
    Bytes bytes;
    int32_t nFrames;
    bool operator==(const DocSnapshot&) const = default;
};

DocSnapshot Snapshot(const CTavroDoc& doc) {
    const bool bRaw = doc.m_cState == 'i' || doc.m_cState == 'x';
    const uint8_t* p = bRaw ? doc.m_pQcfData : doc.m_pCmpData;
    const size_t n = bRaw ? size_t(doc.RawStreamBytes()) : doc.m_nCmpLength;
    return {doc.m_cState, p, Bytes(p, p + n), doc.m_nCodedFrames};
}

// Saves to strTarget; true when it failed the way it must: false returned, one
// "Error" message naming the target, the document as it was.
bool SaveFailsCleanly(CTavroDoc& doc, CScriptedPrompts& prompts, const std::string& strTarget,
                      std::string* pWhy) {
    const DocSnapshot before = Snapshot(doc);
    prompts.messages.clear();
    prompts.QueueChoice(strTarget);
    const bool bSaved = doc.OnSaveOutput();
    if (bSaved) {
        *pWhy = "Save Output reported success";
    } else if (prompts.messages.size() != 1 || prompts.messages[0].strCaption != "Error" ||
               prompts.messages[0].strText.find(strTarget) == std::string::npos) {
        *pWhy = "not one Error message naming the target";
    } else if (!(Snapshot(doc) == before)) {
        *pWhy = "the document changed";
    } else {
        return true;
    }
    return false;
}

struct Fixture {
    CScriptedPrompts prompts;
    CTempDir dir;
    CTavroDoc raw, cmp;

    Fixture() {
        Bytes frames(2 * QCIF_FRAME_BYTES);
        for (size_t i = 0; i < frames.size(); ++i) {
            frames[i] = uint8_t(i * 7 + i / 176);
        }
        WriteBytes(dir.File("in.qcf"), frames);
        Bytes stream(3000);
        for (size_t i = 0; i < stream.size(); ++i) {
            stream[i] = uint8_t(i * 13 + 5);
        }
        stream[0] = 2;
        stream[1] = 0;
        WriteBytes(dir.File("in.cmp"), stream);
        EXPECT_TRUE(raw.OnOpenDocument(dir.File("in.qcf")));
        EXPECT_TRUE(cmp.OnOpenDocument(dir.File("in.cmp")));
        fs::create_directory(dir.Path() / "out");
        fs::create_directory(dir.Path() / "out" / "folder.cmp");
        WriteBytes(dir.File("out/existing.qcf"), Bytes(50, 0x11));
        WriteBytes(dir.File("out/existing.cmp"), Bytes(50, 0x22));
        WriteBytes(dir.File("out/plain"), Bytes(10, 0x33));
    }
};

Bytes Held(const CTavroDoc& doc) {
    return Snapshot(doc).bytes;
}

TEST(WriteFailures, SaveOutputGoesWhereTheUserPoints) {
    Fixture t;
    for (CTavroDoc* pDoc : {&t.raw, &t.cmp}) {
        for (const SWriteTargetRow& row : WriteTargetRows()) {
            CWriteTarget target(row.kind, t.dir.Path(), pDoc == &t.raw ? "qcf" : "cmp");
            const DocSnapshot before = Snapshot(*pDoc);
            t.prompts.messages.clear();
            t.prompts.QueueChoice(target.Path());
            const bool bSaved = pDoc->OnSaveOutput();
            const std::string strError =
                t.prompts.messages.empty() ? "" : t.prompts.messages[0].strText;
            EXPECT_EQ(target.Check(bSaved, strError, Held(*pDoc)), "")
                << row.szName << " (state " << pDoc->m_cState << ")";
            EXPECT_EQ(Snapshot(*pDoc), before) << row.szName;
        }
    }
    // /dev/stdout of a process whose output is a pipe: the bytes go down the
    // pipe. A link of our own stands for /dev/stdout, so that a faulty writer
    // can only ever replace the link.
    const std::string strStdout = t.dir.File("stdout");
    fs::create_symlink("/proc/self/fd/1", strStdout);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_NE(pid, -1);
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        t.prompts.QueueChoice(strStdout);
        _exit(t.cmp.OnSaveOutput() ? 0 : 1);
    }
    close(fds[1]);
    Bytes piped;
    uint8_t buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) {
        piped.insert(piped.end(), buf, buf + n);
    }
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(piped, Held(t.cmp));
    EXPECT_TRUE(fs::is_symlink(strStdout));
}

TEST(WriteFailures, TargetsThatCannotBeWritten) {
    Fixture t;
    const std::string out = t.dir.File("out");
    const std::string cases[] = {
        out + "/missing/clip.cmp",    // a folder that does not exist
        out + "/plain/clip.cmp",      // a parent that is a file
        out + "/folder.cmp",          // a target that is a folder
        out + "/plain/sub/clip.cmp",  // deeper below a file
        out + "/lonely.cmp",          // a FIFO no program reads: no waiting in the desktop
    };
    mkfifo((out + "/lonely.cmp").c_str(), 0644);
    const auto listing = Listing(out);
    for (CTavroDoc* pDoc : {&t.raw, &t.cmp}) {
        for (const auto& strTarget : cases) {
            std::string strWhy;
            EXPECT_TRUE(SaveFailsCleanly(*pDoc, t.prompts, strTarget, &strWhy))
                << strTarget << " (state " << pDoc->m_cState << "): " << strWhy;
            EXPECT_EQ(Listing(out), listing) << strTarget << ": a file was left behind";
        }
    }
    EXPECT_EQ(ReadBytes(out + "/plain"), Bytes(10, 0x33));
    EXPECT_TRUE(fs::is_directory(out + "/folder.cmp"));
    EXPECT_TRUE(fs::is_empty(out + "/folder.cmp"));
}

// The disk fills up while the stream is written: the file-size limit makes
// writes fail with EFBIG once the temporary file reaches it (SIGXFSZ ignored).
// Done in a child process so the limit does not touch the test runner.
TEST(WriteFailures, DiskFullHalfwayKeepsTheExistingFile) {
    Fixture t;
    const std::string out = t.dir.File("out");
    struct Case {
        CTavroDoc* pDoc;
        std::string strTarget;
        Bytes existing;
    } const cases[] = {
        {&t.raw, out + "/existing.qcf", Bytes(50, 0x11)},
        {&t.cmp, out + "/existing.cmp", Bytes(50, 0x22)},
        {&t.raw, out + "/new.qcf", {}},
        {&t.raw, out + "/ro/existing.qcf", Bytes(50, 0x33)},  // rewritten in place
    };
    fs::create_directory(out + "/ro");
    WriteBytes(out + "/ro/existing.qcf", Bytes(50, 0x33));
    chmod((out + "/ro").c_str(), 0555);
    for (const auto& c : cases) {
        const auto listing = Listing(out);
        const size_t nHeld =
            c.pDoc->m_cState == 'i' ? size_t(c.pDoc->RawStreamBytes()) : c.pDoc->m_nCmpLength;
        std::fflush(nullptr);
        const pid_t pid = fork();
        ASSERT_NE(pid, -1);
        if (pid == 0) {
            const rlim_t nLimit = nHeld / 2;
            const rlimit limit{nLimit, nLimit};
            signal(SIGXFSZ, SIG_IGN);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                _exit(3);
            }
            std::string strWhy;
            _exit(SaveFailsCleanly(*c.pDoc, t.prompts, c.strTarget, &strWhy) ? 0 : 4);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << c.strTarget;
        EXPECT_EQ(WEXITSTATUS(status), 0) << c.strTarget << ": the save did not fail cleanly";
        EXPECT_EQ(Listing(out), listing) << c.strTarget << ": a file was left behind";
        if (!c.existing.empty()) {
            EXPECT_EQ(ReadBytes(c.strTarget), c.existing) << c.strTarget;
        }
    }
    // Without the limit the same saves succeed: the failure above was the full disk.
    t.prompts.QueueChoice(out + "/existing.cmp");
    EXPECT_TRUE(t.cmp.OnSaveOutput());
    EXPECT_EQ(ReadBytes(out + "/existing.cmp"), Snapshot(t.cmp).bytes);
    t.prompts.QueueChoice(out + "/ro/existing.qcf");
    EXPECT_TRUE(t.raw.OnSaveOutput());
    EXPECT_EQ(ReadBytes(out + "/ro/existing.qcf"), Snapshot(t.raw).bytes);
    chmod((out + "/ro").c_str(), 0755);
}

}  // namespace
