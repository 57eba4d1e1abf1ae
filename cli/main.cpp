// tavro-cli: the command-line front end of Tavro.

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "cli/CliPrompts.h"
#include "cli/CliSupport.h"
#include "cli/Command.h"

void CCommand::AddQuietFlag(bool bShortForm) {
    m_pApp->add_flag(bShortForm ? "-q,--quiet" : "--quiet", m_bQuiet,
                     "No progress or summary messages; errors and requested data only");
}

int CCommand::Usage(const std::string& strMessage) const {
    std::fprintf(stderr, "tavro-cli %s: %s\n", m_pApp->get_name().c_str(), strMessage.c_str());
    return kExitUsage;
}

namespace {

// Runs the command with interrupts caught; whatever goes wrong ends as one
// "tavro-cli: ..." line and a status, never as an abort.
int RunCommand(CCommand& cmd) {
    CatchInterrupts();
    int nStatus;
    try {
        nStatus = cmd.Run();
    } catch (const std::bad_alloc&) {
        return CliFail("not enough memory; nothing written");
    } catch (const std::exception& e) {
        return CliFail(std::string(e.what()) + "; nothing written");
    }
    if (nStatus != kExitOk) {
        return nStatus;
    }
    // Data on stdout that never arrived (a full disk, a closed pipe) is a failure.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return CliFail(std::string("cannot write to stdout: ") + std::strerror(errno));
    }
    if (Interrupted()) {
        // Came while the outputs were being completed: they are whole.
        std::fprintf(stderr, "tavro-cli: interrupted after the outputs were complete\n");
        return InterruptedStatus();
    }
    return kExitOk;
}

}  // namespace

int TavroCliMain(int argc, char** argv) {
    InstallCliPrompts();
    CLI::App app{
        "Tavro command line: QCIF video (raw planar YUV 4:2:0, 176x144, .qcf) and its wavelet "
        "codec (.cmp).\nFiles are typed by their extension; commands that read a clip take .qcf, "
        ".yuv or - (raw QCIF on stdin), .y4m, .cmp, or any video FFmpeg reads. Data goes to "
        "stdout, messages to stderr.\nExit status: 0 success, 1 failure (nothing written), 2 usage "
        "error, 130 interrupted (143 for SIGTERM).",
        "tavro-cli"};
    app.set_version_flag("--version", std::string("tavro-cli ") + TAVRO_VERSION);
    app.require_subcommand(1, 1);
    bool bQuiet = false;
    app.add_flag("-q,--quiet", bQuiet, "No progress or summary messages (also per command)");
    app.footer("Run 'tavro-cli COMMAND --help' for the options of a command.");

    std::vector<std::unique_ptr<CCommand>> commands;
    commands.push_back(MakeSampleCommand());
    commands.push_back(MakeInfoCommand());
    commands.push_back(MakeCompressCommand());
    commands.push_back(MakeDecompressCommand());
    commands.push_back(MakeCompareCommand());
    commands.push_back(MakeExportCommand());
    commands.push_back(MakeSweepCommand());
    commands.push_back(MakeConvertCommand());
    commands.push_back(MakeDumpCommand());
    commands.push_back(MakeBdrateCommand());
    for (auto& cmd : commands) {
        cmd->Register(app);
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::string strWhere = "tavro-cli";
        bool bKnown = false;
        for (auto& cmd : commands) {
            if (cmd->m_pApp->parsed()) {
                strWhere += " " + cmd->m_pApp->get_name();
                bKnown = true;
            }
        }
        // CLI11 reports a mistyped command as a missing one; name it instead.
        std::string strFirst;
        for (int i = 1; i < argc && strFirst.empty(); ++i) {
            if (argv[i][0] != '-') {
                strFirst = argv[i];
            }
        }
        if (!bKnown && !strFirst.empty()) {
            std::string strNames;
            for (auto& cmd : commands) {
                strNames += (strNames.empty() ? "" : ", ") + cmd->m_pApp->get_name();
            }
            std::fprintf(stderr, "tavro-cli: unknown command '%s' (commands: %s)\n",
                         strFirst.c_str(), strNames.c_str());
            return kExitUsage;
        }
        // An option kept out of the help (an older spelling) has no name of its
        // own in the parser's message; its check names it.
        std::string strWhat = e.what();
        if (strWhat.rfind(": ", 0) == 0) {
            strWhat.erase(0, 2);
        }
        std::fprintf(stderr, "tavro-cli: %s (see '%s --help')\n", strWhat.c_str(),
                     strWhere.c_str());
        return kExitUsage;
    }

    for (auto& cmd : commands) {
        if (cmd->m_pApp->parsed()) {
            SetCliQuiet(bQuiet || cmd->m_bQuiet);
            return RunCommand(*cmd);
        }
    }
    return kExitUsage;
}
