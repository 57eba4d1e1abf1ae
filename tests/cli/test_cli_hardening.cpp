// tavro-cli against damaged compressed streams, every kind of output target,
// outputs that cannot be written, short memory, pipes as inputs and hostile
// names. A damaged stream: exit status 1, one line saying why, no output
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

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "CliRunner.h"
#include "cli/Command.h"
#include "codec/CodecRun.h"
#include "io/QcifFormat.h"
#include "support/DamagedStreams.h"
#include "support/TestFiles.h"
#include "support/WriteTargets.h"

namespace {

namespace fs = std::filesystem;

std::set<std::string> Listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        names.insert(e.path().lexically_relative(dir).string());
    }
    return names;
}

enum class Outcome { Frames, Failed };

// Decompresses the bytes with tavro-cli on the given threads and checks the
// outcome either way; *pstrErr gets what it printed.
Outcome DecompressDamaged(const CTempDir& dir, const Bytes& cmp, const std::string& strCase,
                          const char* pszThreads, std::string* pstrErr) {
    WriteBytes(dir.File("damaged.cmp"), cmp);
    const std::string strOut = dir.File("out.qcf");
    const CliResult r =
        RunCli({"decompress", "-q", "--threads", pszThreads, dir.File("damaged.cmp"), strOut});
    *pstrErr = r.strErr;
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
// here each would cost a process). The cuts and flips alternate between the
// frame-by-frame decoder (one thread) and the pipeline (three); the hand-built
// cases go through both, which must say the same.
TEST(CliHardening, DamagedStreamsAreRefusedOrDecodeToTheirFrames) {
    CTempDir dir;
    ASSERT_LT(DamageBaseStream().size(), 1000u);
    size_t k = 0;
    for (const auto& c : DamagedStreams()) {
        if (c.bDeep) {
            continue;
        }
        const bool bBoth = c.strName.rfind("cut at ", 0) != 0 && c.strName.rfind("byte ", 0) != 0;
        std::string strErr, strErr3;
        const char* pszThreads = bBoth || ++k % 2 ? "1" : "3";
        const Outcome o = DecompressDamaged(dir, c.cmp, c.strName, pszThreads, &strErr);
        if (bBoth) {
            EXPECT_EQ(DecompressDamaged(dir, c.cmp, c.strName, "3", &strErr3), o) << c.strName;
            EXPECT_EQ(strErr3, strErr) << c.strName;
        }
        if (c.want != Damage::Either) {
            EXPECT_EQ(o, c.want == Damage::Frames ? Outcome::Frames : Outcome::Failed) << c.strName;
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
            const CliResult r = strTarget == strExisting ? RunCliLimited(args, dir.Path().string(),
                                                                         RLIMIT_FSIZE, o.nLimit)
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

TEST(CliHardening, OutputsGoWhereTheUserPoints) {
    CTempDir dir;
    WriteBytes(dir.File("in.qcf"), SampleClip(DAMAGE_BASE_FRAMES));
    WriteBytes(dir.File("good.cmp"), DamageBaseStream());
    struct Command {
        std::vector<std::string> args;  // the output follows
        std::string strExt;
    } const commands[] = {
        {{"compress", "--quiet", dir.File("in.qcf")}, "cmp"},
        {{"decompress", "-q", dir.File("good.cmp")}, "qcf"},
        {{"compare", "-q", dir.File("in.qcf"), dir.File("in.qcf"), "--csv"}, "csv"},
    };
    for (const Command& c : commands) {
        auto with = [&](const std::string& strOut) {
            std::vector<std::string> args = c.args;
            args.push_back(strOut);
            return args;
        };
        ASSERT_EQ(RunCli(with(dir.File("ref." + c.strExt))).nStatus, 0);
        const Bytes expected = ReadBytes(dir.File("ref." + c.strExt));
        for (const SWriteTargetRow& row : WriteTargetRows()) {
            CWriteTarget target(row.kind, dir.Path(), c.strExt);
            const CliResult r = RunCli(with(target.Path()));
            EXPECT_EQ(target.Check(r.nStatus == 0, r.strErr, expected), "")
                << c.args[0] << " to a " << row.szName;
            if (r.nStatus != 0) {
                EXPECT_EQ(r.nStatus, 1) << row.szName;
                EXPECT_EQ(SplitLines(r.strErr).size(), 1u) << r.strErr;
            }
        }
    }
    // /dev/stdout when stdout is a pipe, through a link of our own.
    const std::string strStdout = dir.File("stdout.qcf");
    fs::create_symlink("/proc/self/fd/1", strStdout);
    const CliResult r =
        RunCliLimited({"decompress", "-q", dir.File("good.cmp"), strStdout}, "", -1, 0);
    EXPECT_EQ(r.nStatus, 0) << r.strErr;
    EXPECT_EQ(Bytes(r.strOut.begin(), r.strOut.end()), ReadBytes(dir.File("ref.qcf")));
    EXPECT_TRUE(fs::is_symlink(strStdout));
    // A compression to a pipe waits in a temporary file: when that cannot be
    // written (the disk full), the pipe gets nothing.
    const CliResult full = RunCliLimited({"compress", "--quiet", dir.File("in.qcf"), "/dev/stdout"},
                                         dir.Path().string(), RLIMIT_FSIZE, 200);
    EXPECT_EQ(full.nStatus, 1);
    EXPECT_EQ(SplitLines(full.strErr).size(), 1u) << full.strErr;
    EXPECT_EQ(full.strOut, "");
}

// An output that is an input, or another output, after following links: one
// line, nothing written, the inputs byte for byte as they were.
TEST(CliHardening, NoOutputIsAnInputOrAnotherOutput) {
    CTempDir dir;
    const Bytes clip = SampleClip(DAMAGE_BASE_FRAMES);
    const Bytes stream = DamageBaseStream();
    const std::string in = dir.File("in.qcf"), ref = dir.File("ref.qcf"), cmp = dir.File("a.cmp");
    WriteBytes(in, clip);
    WriteBytes(ref, clip);
    WriteBytes(cmp, stream);
    fs::create_symlink(in, dir.File("in-link.csv"));
    fs::create_symlink(in, dir.File("in-link.cmp"));
    fs::create_symlink(in, dir.File("in-link.png"));
    fs::create_symlink(cmp, dir.File("cmp-link.qcf"));
    fs::create_symlink("x.csv", dir.File("dangling.csv"));
    fs::create_hard_link(in, dir.File("hard.qcf"));
    const std::vector<std::string> cases[] = {
        {"compare", in, ref, "--csv", in},
        {"compare", in, ref, "--stats-file", ref},
        {"compare", in, ref, "--csv", dir.File("in-link.csv")},
        {"compare", in, ref, "--csv", dir.File("x.csv"), "--stats-file", dir.File("x.csv")},
        {"compare", in, ref, "--csv", dir.File("dangling.csv"), "--stats-file", "x.csv"},
        {"compare", in, ref, "--csv", "-", "--stats-file", "-"},
        {"compress", in, dir.File("in-link.cmp")},
        {"decompress", cmp, dir.File("cmp-link.qcf")},
        {"convert", in, dir.File("hard.qcf")},
        {"export", in, dir.File("in-link.png")},
        {"sweep", in, "-t", "50", "-q", "50", "--csv", dir.File("in-link.csv")},
    };
    const auto listing = Listing(dir.Path());
    for (const auto& args : cases) {
        const CliResult r = RunCli(args, dir.Path().string());
        std::string strLine;
        for (const auto& a : args) {
            strLine += a + " ";
        }
        EXPECT_EQ(r.nStatus, 1) << strLine << r.strErr;
        EXPECT_EQ(SplitLines(r.strErr).size(), 1u) << strLine << r.strErr;
        EXPECT_TRUE(r.strErr.find("is the input") != std::string::npos ||
                    r.strErr.find("are the same file") != std::string::npos)
            << strLine << r.strErr;
        EXPECT_EQ(Listing(dir.Path()), listing) << strLine;
        EXPECT_EQ(ReadBytes(in), clip);
        EXPECT_EQ(ReadBytes(ref), clip);
        EXPECT_EQ(ReadBytes(cmp), stream);
    }
    // "-" is stdout: the CSV alone, instead of the report.
    ASSERT_EQ(RunCli({"compare", in, ref, "--csv", dir.File("ref.csv")}).nStatus, 0);
    const CliResult r = RunCli({"compare", in, ref, "--csv", "-"});
    EXPECT_EQ(r.nStatus, 0) << r.strErr;
    const Bytes csv = ReadBytes(dir.File("ref.csv"));
    EXPECT_EQ(r.strOut, std::string(csv.begin(), csv.end()));
}

// Reports that cannot reach stdout (a full disk) fail; memory that runs out
// is one line, never an abort; neither leaves an output behind.
TEST(CliHardening, FullStdoutAndShortMemoryFailInOneLine) {
    CTempDir dir;
    const std::string in = dir.File("in.qcf");
    WriteBytes(in, SampleClip(DAMAGE_BASE_FRAMES));
    WriteBytes(dir.File("good.cmp"), DamageBaseStream());
    const std::vector<std::string> reports[] = {
        {"compare", in, in},
        {"info", in},
        {"info", dir.File("good.cmp")},
        {"dump", in, "-k", "1", "--stage", "indices"},
        {"sweep", "--quiet", in, "-t", "50", "-q", "50", "--no-times"},
    };
    for (const auto& args : reports) {
        const CliResult r =
            RunCliLimited(args, dir.Path().string(), RLIMIT_FSIZE, 0, dir.File("stdout.txt"));
        EXPECT_EQ(r.nStatus, 1) << args[0] << r.strErr;
        EXPECT_NE(r.strErr.find("cannot write to stdout"), std::string::npos) << r.strErr;
        EXPECT_EQ(SplitLines(r.strErr).size(), 1u) << r.strErr;
    }
    if (UnderAddressSanitizer()) {
        GTEST_SKIP() << "an address-space limit does not work under AddressSanitizer";
    }
    // A long clip on paper (a sparse file) and twelve bytes that claim 65535
    // frames with a stated length that would fit them.
    const std::string big = dir.File("big.qcf");
    WriteBytes(big, {});
    fs::resize_file(big, uint64_t(20000) * QCIF_FRAME_BYTES);
    for (const auto& c : DamagedStreams()) {
        if (c.strName == "shortest stream, 12 bytes for 65535 frames") {
            WriteBytes(dir.File("tiny.cmp"), c.cmp);
        }
    }
    const struct {
        std::vector<std::string> args;
        const char* pszSays;
    } hungry[] = {
        {{"sweep", big, "-n", "20000", "--csv", "o.csv"}, "not enough memory"},
        {{"dump", big, "-k", "20000", "--stage", "records", "--out", "."}, "not enough memory"},
        {{"decompress", "tiny.cmp", "o.qcf"}, "\"tiny.cmp\": The compressed stream is truncated"},
    };
    const auto listing = Listing(dir.Path());
    for (const auto& h : hungry) {
        const CliResult r = RunCliLimited(h.args, dir.Path().string(), RLIMIT_AS, 512u << 20);
        EXPECT_EQ(r.nStatus, 1) << h.args[0] << r.strErr;
        EXPECT_NE(r.strErr.find(h.pszSays), std::string::npos) << r.strErr;
        EXPECT_EQ(SplitLines(r.strErr).size(), 1u) << r.strErr;
        EXPECT_EQ(Listing(dir.Path()), listing) << h.args[0];
    }
    // convert and compress hold a frame at a time, so the same limit is no obstacle.
    CliResult r =
        RunCliLimited({"convert", big, "o.y4m"}, dir.Path().string(), RLIMIT_AS, 512u << 20);
    EXPECT_EQ(r.nStatus, 0) << r.strErr;
    EXPECT_EQ(fs::file_size(dir.File("o.y4m")), fs::file_size(big) + 20000 * 6 + 43) << r.strErr;
    r = RunCliLimited({"compress", "--quiet", big, "o.cmp"}, dir.Path().string(), RLIMIT_AS,
                      512u << 20);
    EXPECT_EQ(r.nStatus, 0) << r.strErr;
    const Bytes cmp = ReadBytes(dir.File("o.cmp"));
    ASSERT_GT(cmp.size(), 8u);
    EXPECT_EQ(Bytes(cmp.begin(), cmp.begin() + 4), (Bytes{0x20, 0x4E, 10, 16}));  // 20000 frames
}

// A FIFO is read to its end like a file; one without a writer waits until
// Ctrl+C, which ends the command as an interrupt. Names that would break a
// message line are quoted as a shell would.
TEST(CliHardening, PipesAsInputsAndHostileNames) {
    CTempDir dir;
    const Bytes clip = SampleClip(DAMAGE_BASE_FRAMES);
    WriteBytes(dir.File("in.qcf"), clip);
    const std::string fifo = dir.File("fifo.qcf");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    auto feed = [&](const std::string& strFifo = "", Bytes bytes = {}) {
        return std::thread([&, strFifo, bytes] {
            const std::string& path = strFifo.empty() ? fifo : strFifo;
            const Bytes& data = strFifo.empty() ? clip : bytes;
            int fd = -1;
            for (int i = 0; i < 1000 && fd < 0; ++i) {
                fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);  // ENXIO until a reader comes
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            fcntl(fd, F_SETFL, 0);
            EXPECT_EQ(write(fd, data.data(), data.size()), ssize_t(data.size()));
            close(fd);
        });
    };
    std::thread writer = feed();
    CliResult r = RunCli({"info", fifo});
    writer.join();
    EXPECT_EQ(r.nStatus, 0) << r.strErr;
    EXPECT_NE(r.strOut.find("frames: 3\n"), std::string::npos) << r.strOut;
    writer = feed();
    r = RunCli({"compress", "--quiet", fifo, dir.File("fifo.cmp")});
    writer.join();
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    ASSERT_EQ(RunCli({"compress", "--quiet", dir.File("in.qcf"), dir.File("file.cmp")}).nStatus, 0);
    EXPECT_EQ(ReadBytes(dir.File("fifo.cmp")), ReadBytes(dir.File("file.cmp")));
    // A compressed stream through a pipe is decoded as it comes, on either path.
    const std::string cmpFifo = dir.File("pipe.cmp");
    ASSERT_EQ(mkfifo(cmpFifo.c_str(), 0644), 0);
    ASSERT_EQ(RunCli({"decompress", "-q", dir.File("file.cmp"), dir.File("file.qcf")}).nStatus, 0);
    for (const char* pszThreads : {"1", "2"}) {
        writer = feed(cmpFifo, ReadBytes(dir.File("file.cmp")));
        r = RunCli({"decompress", "-q", "--threads", pszThreads, cmpFifo, dir.File("pipe.qcf")});
        writer.join();
        EXPECT_EQ(r.nStatus, 0) << r.strErr;
        EXPECT_EQ(ReadBytes(dir.File("pipe.qcf")), ReadBytes(dir.File("file.qcf"))) << pszThreads;
    }

    r = RunCliWithSignal({"info", fifo}, SIGINT, 300);
    EXPECT_EQ(r.nStatus, 130) << r.strErr;
    EXPECT_NE(r.strErr.find("interrupted"), std::string::npos) << r.strErr;

    const struct {
        std::string strName;
        const char* pszShown;
    } names[] = {
        {"two\nlines.qcf", "/two\\nlines.qcf'"},
        {"\x1b[31mred.qcf", "/\\x1b[31mred.qcf'"},
    };
    for (const auto& n : names) {
        r = RunCli({"info", dir.File(n.strName)});
        EXPECT_EQ(r.nStatus, 1);
        EXPECT_EQ(SplitLines(r.strErr).size(), 1u) << r.strErr;
        EXPECT_NE(r.strErr.find("$'"), std::string::npos) << r.strErr;
        EXPECT_NE(r.strErr.find(n.pszShown), std::string::npos) << r.strErr;
        EXPECT_EQ(r.strErr.find('\x1b'), std::string::npos) << r.strErr;
    }
}

// Frames past 65535 of a long clip (a sparse file) are within reach.
TEST(CliHardening, FramesPast65535) {
    CTempDir dir;
    const std::string clip = dir.File("long.qcf");
    WriteBytes(clip, {});
    fs::resize_file(clip, uint64_t(65537) * QCIF_FRAME_BYTES);
    const struct {
        std::vector<std::string> args;
        int nStatus;
        const char* pszSays;
    } cases[] = {
        {{"info", clip}, 0, "frames: 65537"},
        {{"compare", clip, clip, "--frame", "65537"}, 0, "frame 65537: Match"},
        {{"export", "-q", clip, dir.File("f.png"), "--frame", "65537"}, 0, ""},
        {{"dump", "--quiet", clip, "-k", "65537", "--stage", "indices"}, 0, "band"},
        {{"compare", clip, clip, "--frame", "65538"}, 1, "not in both"},
        {{"dump", clip, "-k", "65537", "--stage", "records"}, 1, "at most 65535"},
    };
    for (const auto& c : cases) {
        const CliResult r = RunCli(c.args);
        EXPECT_EQ(r.nStatus, c.nStatus) << c.args[0] << ": " << r.strErr;
        EXPECT_NE((r.strOut + r.strErr).find(c.pszSays), std::string::npos) << r.strOut << r.strErr;
    }
    EXPECT_GT(fs::file_size(dir.File("f.png")), 0u);
}

// Every command that writes, killed at a random moment (fixed seeds) with
// SIGKILL, SIGTERM or SIGINT: the target afterwards holds its old bytes or
// the whole new output, never anything else; a command told to stop (130,
// 143) left the old bytes unless it said its outputs were complete; the next
// run to the same target leaves no temporary behind. TAVRO_KILL_TRIALS sets
// the number of trials: a few here, 100 or more for the long run.
TEST(CliHardening, KilledAtRandomMomentsNeverDamagesATarget) {
    CTempDir dir;
    const std::string in = dir.File("in.qcf"), in2 = dir.File("in2.qcf");
    const Bytes clip = SampleClip(40);
    WriteBytes(in, clip);
    Bytes other = clip;
    other[12345] ^= 0x40;
    WriteBytes(in2, other);
    ASSERT_EQ(RunCli({"compress", "--quiet", in, dir.File("in.cmp")}).nStatus, 0);
    const fs::path out = dir.Path() / "out";
    fs::create_directory(out);
    struct Command {
        std::vector<std::string> args;  // the targets in out/ follow
        std::vector<std::string> targets;
        std::vector<std::string> flags;  // placed before each target but the first
    } const commands[] = {
        {{"sample", "-q", "-n", "8"}, {"a.qcf"}, {}},
        {{"compress", "--quiet", in}, {"b.cmp"}, {}},
        {{"decompress", "-q", dir.File("in.cmp")}, {"c.qcf"}, {}},
        {{"convert", "-q", in}, {"d.y4m"}, {}},
        {{"compare", "-q", in, in2, "--csv"}, {"e.csv", "e.txt"}, {"--stats-file"}},
        {{"export", "-q", in, "--frame", "40", "--scale", "4"}, {"f.png"}, {}},
        {{"sweep", "--quiet", in, "-n", "10", "-t", "50", "-q", "40,60", "--no-times", "--csv"},
         {"g.csv"},
         {}},
    };
    auto argsOf = [&](const Command& c) {
        std::vector<std::string> args = c.args;
        for (size_t i = 0; i < c.targets.size(); ++i) {
            if (i > 0) {
                args.push_back(c.flags[i - 1]);
            }
            args.push_back((out / c.targets[i]).string());
        }
        return args;
    };
    // The whole output of each command, and how long a run takes.
    std::vector<std::vector<Bytes>> fresh;
    std::vector<int> durationsMs;
    for (const Command& c : commands) {
        const auto start = std::chrono::steady_clock::now();
        const CliResult r = RunCli(argsOf(c));
        durationsMs.push_back(int(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - start)
                                      .count()));
        ASSERT_EQ(r.nStatus, 0) << c.args[0] << ": " << r.strErr;
        fresh.emplace_back();
        for (const std::string& t : c.targets) {
            fresh.back().push_back(ReadBytes((out / t).string()));
        }
    }
    const char* szTrials = std::getenv("TAVRO_KILL_TRIALS");
    const int nTrials = szTrials ? std::atoi(szTrials) : 7;
    const int signals[] = {SIGKILL, SIGTERM, SIGINT};
    const Bytes old(1000, 0x77);
    int nKilledMidway = 0;
    for (int nTrial = 0; nTrial < nTrials; ++nTrial) {
        const size_t k = size_t(nTrial) % std::size(commands);
        const Command& c = commands[k];
        const int nSignal = signals[(size_t(nTrial) / std::size(commands) + k) % 3];
        std::mt19937 random(1000 + uint32_t(nTrial));
        const int nDelayMs = int(random() % uint32_t(durationsMs[k] * 13 / 10 + 5));
        for (const std::string& t : c.targets) {
            WriteBytes((out / t).string(), old);
        }
        const std::string strTrial = "trial " + std::to_string(nTrial) + ": " + c.args[0] +
                                     " signal " + std::to_string(nSignal) + " after " +
                                     std::to_string(nDelayMs) + " ms";
        const CliResult r = RunCliWithSignal(argsOf(c), nSignal, nDelayMs);
        const bool bStopped = r.nStatus == 128 + nSignal;
        EXPECT_TRUE(r.nStatus == 0 || bStopped) << strTrial << ": " << r.nStatus << r.strErr;
        const bool bComplete = r.nStatus == 0 || r.strErr.find("complete") != std::string::npos;
        for (size_t i = 0; i < c.targets.size(); ++i) {
            const Bytes now = ReadBytes((out / c.targets[i]).string());
            EXPECT_TRUE(now == old || now == fresh[k][i])
                << strTrial << ": " << c.targets[i] << " holds " << now.size() << " other bytes";
            if (nSignal != SIGKILL && bStopped && !bComplete) {
                EXPECT_EQ(now, old)
                    << strTrial << ": told to stop, yet " << c.targets[i] << " changed";
            }
            nKilledMidway += bStopped && now == old;
        }
        // The next run completes and leaves nothing but its targets.
        ASSERT_EQ(RunCli(argsOf(c)).nStatus, 0) << strTrial;
        for (size_t i = 0; i < c.targets.size(); ++i) {
            EXPECT_EQ(ReadBytes((out / c.targets[i]).string()), fresh[k][i]) << strTrial;
        }
        for (const auto& e : fs::directory_iterator(out)) {
            const std::string strName = e.path().filename().string();
            bool bTarget = false;
            for (const Command& any : commands) {
                bTarget = bTarget || std::count(any.targets.begin(), any.targets.end(), strName);
            }
            EXPECT_TRUE(bTarget) << strTrial << ": " << strName << " was left";
        }
    }
    EXPECT_GT(nKilledMidway, 0) << "no kill came before a command finished";
}

}  // namespace
