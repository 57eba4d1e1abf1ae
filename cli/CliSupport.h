#pragma once
// Conventions shared by every tavro-cli command: exit statuses, messages,
// interrupts, file typing and reading inputs (outputs: CliOutputs.h).
//
// Data goes to stdout, messages to stderr. A failure prints one line
// "tavro-cli: <what went wrong>" and leaves every output file as it was.
// Names in messages are quoted as a shell would when they hold control
// characters, so a message stays one line.

#include <cstdint>
#include <string>
#include <vector>

#include "io/File.h"
#include "io/QcifFormat.h"

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;         // bad or unreadable input, a write that failed
constexpr int kExitUsage = 2;          // the command line itself is wrong
constexpr int kExitInterrupted = 130;  // Ctrl+C (128 + SIGINT), nothing written; 143 for SIGTERM

// Whether informational messages (summaries, progress) are suppressed.
bool CliQuiet();
void SetCliQuiet(bool bQuiet);

// Prints "tavro-cli: <strMessage>" on stderr and returns kExitFailed; after an
// interrupt (which is what made the step fail) says so instead and returns
// the interrupt's status.
int CliFail(const std::string& strMessage);
// Prints an informational line on stderr unless quiet.
void CliNote(const std::string& strMessage);

// A name for a message: in double quotes, or $'...' with escapes.
std::string Quoted(const std::string& strName);
// A name shown bare (summaries, notes) unless it needs a shell's quoting.
std::string Shown(const std::string& strName);

// Ctrl+C (SIGINT) and SIGTERM, caught for the whole command: each step that
// waits or loops checks Interrupted() and the command ends with nothing
// written and status 130 (143 for SIGTERM). A second signal ends the process
// at once. Also ignores SIGPIPE, so a closed pipe is a reported write failure.
void CatchInterrupts();
bool Interrupted();
int InterruptedStatus();
// An action the signal handler also runs (a running codec job is asked to
// cancel); it must be async-signal-safe. Null for none.
void SetInterruptAction(void (*pfnAction)());

// Case-insensitive test of a name's ending, e.g. EndsWithNoCase(p, ".png").
bool EndsWithNoCase(const std::string& strPath, const std::string& strEnding);

// Inputs: a regular file is read where needed; a pipe, FIFO or device is read
// to its end on first use and kept, so it is measured and read like a file.

class CCliInput {
public:
    // False with *pError naming the file when it cannot be opened or read.
    bool Open(const std::string& strPath, std::string* pError);
    uint64_t Length() const { return m_nLength; }
    // Reads exactly nCount bytes at nOffset; false past the end or on error.
    bool ReadAt(uint64_t nOffset, uint8_t* p, uint64_t nCount);

private:
    CFile m_file;
    const std::vector<uint8_t>* m_pStream = nullptr;  // a stream, read whole
    uint64_t m_nLength = 0;
};

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

// Checks that an output name has the wanted type (a pipe or device may have
// any name); prints the error and returns false otherwise.
bool CheckOutputType(const std::string& strPath, EStreamType wanted);
bool CheckInputType(const std::string& strPath, EStreamType wanted);
