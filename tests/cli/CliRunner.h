#pragma once
// Runs the built tavro-cli binary and captures what it printed, and a small
// JSON reader to parse its --json output back.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct CliResult {
    int nStatus = -1;  // exit status, or 128 + signal
    std::string strOut;
    std::string strErr;
};

// Runs tavro-cli with the arguments, in strCwd when given, with standard input
// read from strStdin (default: empty).
CliResult RunCli(const std::vector<std::string>& args, const std::string& strCwd = "",
                 const std::string& strStdin = "/dev/null");

// Runs tavro-cli and sends it nSignal after nDelayMs milliseconds.
CliResult RunCliWithSignal(const std::vector<std::string>& args, int nSignal, int nDelayMs);

// Runs tavro-cli in strCwd with stdout and stderr on pipes and, when nResource
// is not -1, that resource limited to nLimit: RLIMIT_FSIZE stands for a full
// disk (SIGXFSZ ignored, so writes fail with EFBIG), RLIMIT_AS for short memory.
// With strStdout, stdout goes to that file instead (under the same limit).
CliResult RunCliLimited(const std::vector<std::string>& args, const std::string& strCwd,
                        int nResource, uint64_t nLimit, const std::string& strStdout = "");

// Whether the tests run under AddressSanitizer, which cannot live with an
// address-space limit.
bool UnderAddressSanitizer();

// A parsed JSON value. Parsing throws std::runtime_error on malformed text.
struct JsonValue {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool b = false;
    double number = 0.0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    const JsonValue& operator[](const std::string& strKey) const;  // throws when absent
    bool Has(const std::string& strKey) const { return members.count(strKey) != 0; }
};
JsonValue ParseJson(const std::string& strText);

// Splits text into lines (without the line ends).
std::vector<std::string> SplitLines(const std::string& strText);
