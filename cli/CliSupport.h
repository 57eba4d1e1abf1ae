#pragma once
// Conventions shared by every tavro-cli command: exit statuses, messages,
// file typing, reading inputs and writing outputs.
//
// Data goes to stdout, messages to stderr. A failure prints one line
// "tavro-cli: <what went wrong>" and leaves every output file as it was.

#include <cstdint>
#include <string>
#include <vector>

#include "io/QcifFormat.h"

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;         // bad or unreadable input, a write that failed
constexpr int kExitUsage = 2;          // the command line itself is wrong
constexpr int kExitInterrupted = 130;  // Ctrl+C (128 + SIGINT), nothing written

// Whether informational messages (summaries, progress) are suppressed.
bool CliQuiet();
void SetCliQuiet(bool bQuiet);

// Prints "tavro-cli: <strMessage>" on stderr and returns kExitFailed.
int CliFail(const std::string& strMessage);
// Prints an informational line on stderr unless quiet.
void CliNote(const std::string& strMessage);

// Case-insensitive test of a name's ending, e.g. EndsWithNoCase(p, ".png").
bool EndsWithNoCase(const std::string& strPath, const std::string& strEnding);

// Length and whole-frame count of a raw stream file.
struct QcfFileInfo {
    uint64_t nBytes = 0;
    uint64_t nFrames = 0;  // whole 38016-byte frames
};

// Reads the length of a .qcf file; false with *pError set when it cannot be
// opened or holds no whole frame.
bool ProbeQcfFile(const std::string& strPath, QcfFileInfo& info, std::string* pError);

// Reads the first nFrames frames of a .qcf file into out (nFrames x 38016 bytes).
bool ReadQcfFrames(const std::string& strPath, uint32_t nFrames, std::vector<uint8_t>& out,
                   std::string* pError);

// Header of a compressed stream file and its length.
struct CmpFileInfo {
    uint64_t nBytes = 0;
    uint32_t nFrames = 0;
    uint32_t nThreshold = 0;
    uint32_t nQuantiser = 0;
};

// Reads and checks the 4-byte header of a .cmp file: at least 4 bytes, a frame
// count of 1 or more, threshold and quantiser in 1..255, at most 4 GiB - 1.
bool ProbeCmpFile(const std::string& strPath, CmpFileInfo& info, std::string* pError);
// Reads a whole file (of at most 4 GiB - 1 bytes) into out.
bool ReadWholeFile(const std::string& strPath, std::vector<uint8_t>& out, std::string* pError);

// Checks that an output name has the wanted type; prints the error and returns
// false otherwise.
bool CheckOutputType(const std::string& strPath, EStreamType wanted);
bool CheckInputType(const std::string& strPath, EStreamType wanted);
