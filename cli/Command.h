#pragma once
// One tavro-cli command: its options on the parser, and what it does.

#include <CLI/CLI.hpp>
#include <memory>
#include <string>
#include <vector>

class CCommand {
public:
    virtual ~CCommand() = default;
    // Adds the subcommand with its options and help to the tool's parser.
    virtual void Register(CLI::App& app) = 0;
    // Runs the command after a successful parse; returns the exit status.
    virtual int Run() = 0;

    CLI::App* m_pApp = nullptr;  // the subcommand, set by Register
    bool m_bQuiet = false;       // --quiet given on this command

protected:
    // --quiet, with -q as its short form unless the command uses -q otherwise.
    void AddQuietFlag(bool bShortForm);
    // A usage error found after parsing: "tavro-cli <command>: <message>", status 2.
    int Usage(const std::string& strMessage) const;
};

// The whole tool: parses the command line, runs the command, returns the exit status.
int TavroCliMain(int argc, char** argv);

std::unique_ptr<CCommand> MakeSampleCommand();
std::unique_ptr<CCommand> MakeInfoCommand();
std::unique_ptr<CCommand> MakeCompressCommand();
std::unique_ptr<CCommand> MakeDecompressCommand();
std::unique_ptr<CCommand> MakeCompareCommand();
std::unique_ptr<CCommand> MakeExportCommand();
std::unique_ptr<CCommand> MakeSweepCommand();
std::unique_ptr<CCommand> MakeConvertCommand();
std::unique_ptr<CCommand> MakeDumpCommand();
std::unique_ptr<CCommand> MakeBdrateCommand();
