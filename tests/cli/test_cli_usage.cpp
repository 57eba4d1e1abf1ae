// Command lines that must be refused or answered without touching any file.

#include <gtest/gtest.h>

#include <filesystem>

#include "CliRunner.h"
#include "support/TestFiles.h"

namespace {

struct UsageCase {
    std::vector<std::string> args;
    int nStatus;
    const char* szInStdout;  // expected in stdout (nullptr: stdout empty)
    const char* szInStderr;  // expected in stderr (nullptr: stderr empty)
};

TEST(CliUsage, StatusAndMessages) {
    const UsageCase cases[] = {
        {{}, 2, nullptr, "subcommand"},
        {{"frobnicate"}, 2, nullptr, "frobnicate"},
        {{"--version"}, 0, "tavro-cli 1.", nullptr},
        {{"--help"}, 0, "sample", nullptr},
        {{"sample"}, 2, nullptr, "OUT"},
        {{"sample", "a.qcf", "--frames", "0"}, 2, nullptr, "--frames"},
        {{"sample", "a.qcf", "--frames", "65536"}, 2, nullptr, "--frames"},
        {{"sample", "a.qcf", "-n", "ten"}, 2, nullptr, "--frames"},
        {{"sample", "a.qcf", "b.qcf"}, 2, nullptr, "b.qcf"},
        {{"sample", "--help"}, 0, "--frames", nullptr},
        {{"info"}, 2, nullptr, "FILE"},
        {{"info", "--help"}, 0, "--json", nullptr},
        {{"info", "x.qcf", "--bogus"}, 2, nullptr, "--bogus"},
        {{"compress", "--help"},
         0,
         "-t,--threshold N            Threshold, widens the dead zone "
         "(1 to 255, default 10)",
         nullptr},
        {{"compress", "x.qcf", "y.cmp", "-q", "0"}, 2, nullptr, "from 1 to 255"},
        {{"export", "x.qcf", "y.png", "-k", "x"}, 2, nullptr, "not a whole number of 1 or more"},
        // Older spellings stay for scripts, out of the help.
        {{"dump", "x.qcf", "-k", "1", "--stage", "pyramid", "--zoom", "9"}, 2, nullptr, "--zoom"},
    };
    CTempDir dir;
    for (const auto& c : cases) {
        std::string line;
        for (auto& a : c.args) {
            line += a + " ";
        }
        SCOPED_TRACE("tavro-cli " + line);
        CliResult r = RunCli(c.args, dir.Path().string());
        EXPECT_EQ(r.nStatus, c.nStatus) << r.strErr;
        if (c.szInStdout) {
            EXPECT_NE(r.strOut.find(c.szInStdout), std::string::npos) << r.strOut;
        } else {
            EXPECT_EQ(r.strOut, "");
        }
        if (c.szInStderr) {
            EXPECT_NE(r.strErr.find(c.szInStderr), std::string::npos) << r.strErr;
            // One clear line, not a page of help.
            EXPECT_EQ(SplitLines(r.strErr).size(), 1u) << r.strErr;
        } else {
            EXPECT_EQ(r.strErr, "");
        }
        EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << "a refused command wrote a file";
    }
    // Ranges in words, never the parser's types; the old spellings are not shown.
    for (const char* pszCommand : {"sample", "info", "compress", "decompress", "compare", "export",
                                   "sweep", "convert", "dump", "bdrate"}) {
        const CliResult r = RunCli({pszCommand, "--help"});
        EXPECT_EQ(r.strOut.find("INT"), std::string::npos) << r.strOut;
        EXPECT_EQ(r.strOut.find("TEXT"), std::string::npos) << r.strOut;
        EXPECT_EQ(r.strOut.find("--zoom"), std::string::npos) << r.strOut;
    }
}

}  // namespace
