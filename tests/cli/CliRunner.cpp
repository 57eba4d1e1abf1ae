#include "CliRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

std::string Slurp(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class CJsonParser {
public:
    explicit CJsonParser(const std::string& s) : m_s(s) {}

    JsonValue ParseDocument() {
        JsonValue v = ParseValue();
        SkipSpace();
        if (m_i != m_s.size()) {
            Fail("text after the value");
        }
        return v;
    }

private:
    [[noreturn]] void Fail(const std::string& strWhat) {
        throw std::runtime_error("bad JSON at " + std::to_string(m_i) + ": " + strWhat);
    }
    void SkipSpace() {
        while (m_i < m_s.size() &&
               (m_s[m_i] == ' ' || m_s[m_i] == '\n' || m_s[m_i] == '\t' || m_s[m_i] == '\r')) {
            ++m_i;
        }
    }
    bool Eat(char c) {
        SkipSpace();
        if (m_i < m_s.size() && m_s[m_i] == c) {
            ++m_i;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Eat(c)) {
            Fail(std::string("expected ") + c);
        }
    }
    bool Word(const char* w) {
        size_t n = std::char_traits<char>::length(w);
        if (m_s.compare(m_i, n, w) == 0) {
            m_i += n;
            return true;
        }
        return false;
    }
    std::string ParseString() {
        Expect('"');
        std::string out;
        while (true) {
            if (m_i >= m_s.size()) {
                Fail("unterminated string");
            }
            char c = m_s[m_i++];
            if (c == '"') {
                return out;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                Fail("control character in string");
            }
            if (c == '\\') {
                if (m_i >= m_s.size()) {
                    Fail("bad escape");
                }
                char e = m_s[m_i++];
                switch (e) {
                    case '"':
                        out += '"';
                        break;
                    case '\\':
                        out += '\\';
                        break;
                    case '/':
                        out += '/';
                        break;
                    case 'n':
                        out += '\n';
                        break;
                    case 'r':
                        out += '\r';
                        break;
                    case 't':
                        out += '\t';
                        break;
                    case 'b':
                        out += '\b';
                        break;
                    case 'f':
                        out += '\f';
                        break;
                    case 'u': {
                        if (m_i + 4 > m_s.size()) {
                            Fail("bad \\u escape");
                        }
                        out += static_cast<char>(std::stoi(m_s.substr(m_i, 4), nullptr, 16));
                        m_i += 4;
                        break;
                    }
                    default:
                        Fail("bad escape");
                }
            } else {
                out += c;
            }
        }
    }
    JsonValue ParseValue() {
        SkipSpace();
        if (m_i >= m_s.size()) {
            Fail("missing value");
        }
        JsonValue v;
        char c = m_s[m_i];
        if (c == '{') {
            ++m_i;
            v.kind = JsonValue::Object;
            if (Eat('}')) {
                return v;
            }
            do {
                SkipSpace();
                std::string key = ParseString();
                Expect(':');
                if (v.members.count(key)) {
                    Fail("duplicate key " + key);
                }
                v.members[key] = ParseValue();
            } while (Eat(','));
            Expect('}');
        } else if (c == '[') {
            ++m_i;
            v.kind = JsonValue::Array;
            if (Eat(']')) {
                return v;
            }
            do {
                v.items.push_back(ParseValue());
            } while (Eat(','));
            Expect(']');
        } else if (c == '"') {
            v.kind = JsonValue::String;
            v.text = ParseString();
        } else if (Word("true")) {
            v.kind = JsonValue::Bool;
            v.b = true;
        } else if (Word("false")) {
            v.kind = JsonValue::Bool;
        } else if (Word("null")) {
            v.kind = JsonValue::Null;
        } else {
            size_t nStart = m_i;
            while (m_i < m_s.size() &&
                   std::string("+-0123456789.eE").find(m_s[m_i]) != std::string::npos) {
                ++m_i;
            }
            if (nStart == m_i) {
                Fail("unexpected character");
            }
            std::string num = m_s.substr(nStart, m_i - nStart);
            size_t nUsed = 0;
            v.kind = JsonValue::Number;
            v.number = std::stod(num, &nUsed);
            if (nUsed != num.size()) {
                Fail("bad number " + num);
            }
        }
        return v;
    }

    const std::string& m_s;
    size_t m_i = 0;
};

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& strKey) const {
    auto it = members.find(strKey);
    if (it == members.end()) {
        throw std::runtime_error("JSON member missing: " + strKey);
    }
    return it->second;
}

JsonValue ParseJson(const std::string& strText) {
    return CJsonParser(strText).ParseDocument();
}

std::vector<std::string> SplitLines(const std::string& strText) {
    std::vector<std::string> lines;
    std::istringstream in(strText);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

namespace {

CliResult Run(const std::vector<std::string>& args, const std::string& strCwd,
              const std::string& strStdin, int nSignal, int nDelayMs) {
    char tmpl[] = "/tmp/tavro-cli-run-XXXXXX";
    if (!::mkdtemp(tmpl)) {
        throw std::runtime_error("mkdtemp failed");
    }
    std::string dir = tmpl;
    std::string outPath = dir + "/out";
    std::string errPath = dir + "/err";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, strStdin.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (!strCwd.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, strCwd.c_str());
    }
    std::vector<std::string> argv = {TAVRO_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) {
        cargv.push_back(a.data());
    }
    cargv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, TAVRO_CLI_PATH, &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        throw std::runtime_error("cannot run " TAVRO_CLI_PATH);
    }
    if (nSignal != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(nDelayMs));
        ::kill(pid, nSignal);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    CliResult result;
    result.nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.strOut = Slurp(outPath);
    result.strErr = Slurp(errPath);
    std::filesystem::remove_all(dir);
    return result;
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& args, const std::string& strCwd,
                 const std::string& strStdin) {
    return Run(args, strCwd, strStdin, 0, 0);
}

CliResult RunCliWithSignal(const std::vector<std::string>& args, int nSignal, int nDelayMs) {
    return Run(args, "", "/dev/null", nSignal, nDelayMs);
}

CliResult RunCliLimited(const std::vector<std::string>& args, const std::string& strCwd,
                        int nResource, uint64_t nLimit, const std::string& strStdout) {
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd : {out[0], out[1], err[0], err[1]}) {
            ::close(fd);
        }
        if (!strStdout.empty()) {
            const int fd = ::open(strStdout.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || ::dup2(fd, 1) < 0) {
                _exit(126);
            }
            ::close(fd);
        }
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(nLimit), rlim_t(nLimit)};
        if ((nResource != -1 && ::setrlimit(nResource, &limit) != 0) ||
            (!strCwd.empty() && ::chdir(strCwd.c_str()) != 0)) {
            _exit(126);
        }
        std::vector<char*> argv{const_cast<char*>(TAVRO_CLI_PATH)};
        for (const auto& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(TAVRO_CLI_PATH, argv.data());
        _exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    // Both pipes drained as the tool writes, so a long output never blocks it.
    CliResult r;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* texts[2] = {&r.strOut, &r.strErr};
    for (int nOpen = 2; nOpen > 0;) {
        if (::poll(fds, 2, -1) < 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                continue;
            }
            char buf[65536];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                texts[i]->append(buf, size_t(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --nOpen;
            }
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    r.nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}
