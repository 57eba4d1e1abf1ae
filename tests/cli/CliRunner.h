#pragma once
// Runs the built tavro-cli binary and captures what it printed, and a small
// JSON reader to parse its --json output back.

#include <map>
#include <memory>
#include <string>
#include <vector>

struct CliResult {
    int nStatus = -1;  // exit status, or 128 + signal
    std::string strOut;
    std::string strErr;
};

// Runs tavro-cli with the arguments, in strCwd when given.
CliResult RunCli(const std::vector<std::string>& args, const std::string& strCwd = "");

// Runs tavro-cli and sends it nSignal after nDelayMs milliseconds.
CliResult RunCliWithSignal(const std::vector<std::string>& args, int nSignal, int nDelayMs);

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
