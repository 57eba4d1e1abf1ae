#pragma once
// Outputs of tavro-cli commands, all through the safe writer: links are
// followed, pipes and devices written directly, an existing file replaced or
// rewritten only once the whole output is ready. "-" means stdout where a
// command says so. Commits happen with interrupts held back, so a Ctrl+C
// either stops a command before any output changed or is reported after
// every output is complete.

#include <initializer_list>
#include <string>
#include <vector>

#include "io/SafeFileWriter.h"

// Refuses an output that is one of the inputs or another output: the same file
// after following links (device and inode), or the same name links lead to for
// a file not made yet. "-" is stdout; empty names are outputs not asked for. Terminals and other
// character devices
// (/dev/null) may be named more than once. Prints the error and returns false.
bool CheckOutputsDistinct(const std::vector<std::string>& inputs,
                          const std::vector<std::string>& outputs);

// Whether strPath names a pipe, FIFO, terminal, device or socket (following
// links): such an output needs no file name extension.
bool IsStreamTarget(const std::string& strPath);

// Opens strPath (or stdout for "-") on the writer, which stops when the command
// is interrupted. False with the writer's error.
bool OpenOutput(CSafeFileWriter& writer, const std::string& strPath);

// Commits the open writers in order (those never opened are skipped), all or
// none as far as the first failure allows; an interrupt that came before
// leaves every target as it was. Held direct writes are sent first, while an
// interrupt can still stop a reader that does not read.
bool CommitOutputs(std::initializer_list<CSafeFileWriter*> writers, std::string* pError);

// Open, write and commit in one.
bool WriteOutput(const std::string& strPath, const void* pData, uint64_t nBytes,
                 std::string* pError);
