// tavro-cli against damaged compressed streams and outputs that cannot be
// written. A damaged stream: exit status 1, one line saying why, no output
// file (or, when the damage still decodes, exactly the frames its header
// declares). An output that cannot be written (missing folder, a parent that is
// a file, a target that is a folder, a disk that fills up): exit status 1, one
// line, the existing target byte for byte as it was, no temporary file left.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "CliRunner.h"
#include "cli/Command.h"
#include "codec/CodecRun.h"
#include "io/QcifFormat.h"
#include "support/DamagedStreams.h"
#include "support/TestFiles.h"

namespace {

namespace fs = std::filesystem;


std::set<std::string> Listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        names.insert(e.path().lexically_relative(dir).string());
    }
    return names;
}

// Runs tavro-cli in strCwd with files limited to nLimit bytes (SIGXFSZ ignored,
// so a write past the limit fails with EFBIG as on a full disk). Output and
// errors come back through pipes, which the limit does not reach.
CliResult RunCliDiskFull(const std::vector<std::string>& args, const std::string& strCwd,
                         rlim_t nLimit) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        const rlimit limit{nLimit, nLimit};
        signal(SIGXFSZ, SIG_IGN);
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || chdir(strCwd.c_str()) != 0) {
            _exit(126);
        }
        std::vector<char*> argv{const_cast<char*>(TAVRO_CLI_PATH)};
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execv(TAVRO_CLI_PATH, argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    auto drain = [](int fd) {
        std::string s;
        char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0) {
            s.append(buf, size_t(n));
        }
        close(fd);
        return s;
    };
    CliResult r;
    r.nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.strOut = drain(out[0]);
    r.strErr = drain(err[0]);
    return r;
}

enum class Outcome { Frames, Failed };

// Decompresses the bytes with tavro-cli and checks the outcome either way.
Outcome DecompressDamaged(const CTempDir& dir, const Bytes& cmp, const std::string& strCase) {
    WriteBytes(dir.File("damaged.cmp"), cmp);
    const std::string strOut = dir.File("out.qcf");
    const CliResult r = RunCli({"decompress", "-q", dir.File("damaged.cmp"), strOut});
    if (r.nStatus == 0) {
        const uint32_t nDeclared = cmp[0] | cmp[1] << 8;
        EXPECT_EQ(fs::file_size(strOut), uint64_t(nDeclared) * QCIF_FRAME_BYTES) << strCase;
        fs::remove(strOut);
        return Outcome::Frames;
    }
    EXPECT_EQ(r.nStatus, 1) << strCase << ": " << r.strErr;
    EXPECT_EQ(SplitLines(r.strErr).size(), 1u) << strCase << ": " << r.strErr;
    EXPECT_FALSE(fs::exists(strOut)) << strCase;
    EXPECT_EQ(Listing(dir.Path()), std::set<std::string>{"damaged.cmp"}) << strCase;
    return Outcome::Failed;
}

// The shared table, less the deep bit flips (the document suite replays those;
// here each would cost a process).
TEST(CliHardening, DamagedStreamsAreRefusedOrDecodeToTheirFrames) {
    CTempDir dir;
    ASSERT_LT(DamageBaseStream().size(), 1000u);
    for (const auto& c : DamagedStreams()) {
        if (c.bDeep) {
            continue;
        }
        const Outcome o = DecompressDamaged(dir, c.cmp, c.strName);
        if (c.want != Damage::Either) {
            EXPECT_EQ(o, c.want == Damage::Frames ? Outcome::Frames : Outcome::Failed)
                << c.strName;
        }
    }
}

// A fatal path of the core (here: no memory for the codec's working buffers)
// ends tavro-cli with one "tavro-cli:" line and status 1, and writes nothing.
TEST(CliHardening, FatalPathEndsWithOneLineAndStatus1) {
    CTempDir dir;
    WriteBytes(dir.File("in.qcf"), SampleClip(1));
    std::string args[] = {"tavro-cli", "compress", dir.File("in.qcf"), dir.File("out.cmp")};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data()};
    EXPECT_EXIT(
        {
            CRunLease::SetAllocator([](size_t) -> void* { return nullptr; });
            std::exit(TavroCliMain(4, argv) + 100);  // not reached
        },
        testing::ExitedWithCode(1),
        testing::StrEq("tavro-cli: Error allocating memory for transform matrix.\n"));
    EXPECT_FALSE(fs::exists(dir.File("out.cmp")));
}

TEST(CliHardening, EveryOutputFailsCleanlyWhenItCannotBeWritten) {
    CTempDir dir;
    WriteBytes(dir.File("in.qcf"), SampleClip(DAMAGE_BASE_FRAMES));
    WriteBytes(dir.File("good.cmp"), DamageBaseStream());
    const fs::path out = dir.Path() / "out";
    fs::create_directory(out);
    WriteBytes((out / "plain").string(), Bytes(10, 0x33));

    // Each command with its output's name; the disk-full limit sits well below
    // the output's size.
    struct Output {
        std::vector<std::string> args;  // the output path is appended (or follows --csv)
        std::string strExt;
        bool bCsv;
        rlim_t nLimit;
    } const outputs[] = {
        {{"sample", "-q", "-n", "3"}, "qcf", false, 50000},
        {{"compress", "--quiet", dir.File("in.qcf")}, "cmp", false, 200},
        {{"decompress", "-q", dir.File("good.cmp")}, "qcf", false, 50000},
        {{"export", "-q", dir.File("in.qcf")}, "png", false, 1000},
        {{"compare", "-q", dir.File("in.qcf"), dir.File("in.qcf")}, "csv", true, 20},
    };
    for (const auto& o : outputs) {
        const std::string strExisting = (out / ("existing." + o.strExt)).string();
        const Bytes existing(40, 0x5A);
        WriteBytes(strExisting, existing);
        fs::create_directories(out / ("folder." + o.strExt));
        const std::string targets[] = {
            (out / "missing" / ("x." + o.strExt)).string(),
            (out / "plain" / ("x." + o.strExt)).string(), (out / ("folder." + o.strExt)).string(),
            strExisting,  // with the disk full
        };
        for (const auto& strTarget : targets) {
            const auto before = Listing(out);
            std::vector<std::string> args = o.args;
            if (o.bCsv) {
                args.push_back("--csv");
            }
            args.push_back(strTarget);
            std::string line = args[0] + " -> " + strTarget;
            const CliResult r = strTarget == strExisting
                                    ? RunCliDiskFull(args, dir.Path().string(), o.nLimit)
                                    : RunCli(args, dir.Path().string());
            EXPECT_EQ(r.nStatus, 1) << line << ": " << r.strErr;
            EXPECT_EQ(SplitLines(r.strErr).size(), 1u) << line << ": " << r.strErr;
            EXPECT_EQ(Listing(out), before) << line << ": a file was left behind";
        }
        EXPECT_EQ(ReadBytes(strExisting), existing) << o.args[0];
        EXPECT_TRUE(fs::is_empty(out / ("folder." + o.strExt))) << o.args[0];
        // Without the limit the same command writes its output.
        std::vector<std::string> args = o.args;
        if (o.bCsv) {
            args.push_back("--csv");
        }
        args.push_back(strExisting);
        EXPECT_EQ(RunCli(args, dir.Path().string()).nStatus, 0) << o.args[0];
        EXPECT_NE(ReadBytes(strExisting), existing) << o.args[0];
    }
    EXPECT_EQ(ReadBytes((out / "plain").string()), Bytes(10, 0x33));
}

}  // namespace
