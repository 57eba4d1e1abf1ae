#include "cli/CliSupport.h"

#include "cli/CliOutputs.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "io/Fail.h"
#include "io/File.h"
#include "io/QcifFormat.h"
#include "io/QuoteName.h"

namespace {
bool g_bQuiet = false;

// Atomic, not only volatile: worker threads (a codec job's frame writer,
// sweep's points) ask Interrupted() while the handler may store.
std::atomic<int> g_nSignal{0};
std::atomic<void (*)()> g_pfnAction{nullptr};

extern "C" void OnInterrupt(int nSignal) {
    g_nSignal = nSignal;
    // Lock-free atomic loads are safe in a signal handler.
    if (void (*pfnAction)() = g_pfnAction.load()) {
        pfnAction();
    }
}

static_assert(std::atomic<void (*)()>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler needs lock-free atomics");

// Inputs that cannot be read twice (pipes, FIFOs, devices), read whole on
// first use and kept by name.
std::map<std::string, std::vector<uint8_t>>& Streams() {
    static std::map<std::string, std::vector<uint8_t>> streams;
    return streams;
}

bool ReadStream(const std::string& strPath, std::vector<uint8_t>& out, std::string* pError) {
    int fd;
    while ((fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC)) < 0 && errno == EINTR &&
           !Interrupted()) {
    }
    if (fd < 0) {
        return Fail(pError, "cannot open " + Quoted(strPath) + ": " + std::strerror(errno));
    }
    out.clear();
    size_t nUsed = 0;
    for (;;) {
        if (out.size() - nUsed < 65536) {
            out.resize(out.size() * 2 + 65536);
        }
        const ssize_t n = ::read(fd, out.data() + nUsed, out.size() - nUsed);
        if (n > 0) {
            nUsed += size_t(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR || Interrupted()) {
            Fail(pError, "cannot read " + Quoted(strPath) + ": " + std::strerror(errno));
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    out.resize(nUsed);
    out.shrink_to_fit();
    return true;
}

}  // namespace

std::string Quoted(const std::string& strName) {
    return QuoteName(strName);
}

std::string Shown(const std::string& strName) {
    const std::string strQuoted = QuoteName(strName);
    return strQuoted[0] == '"' ? strName : strQuoted;
}

void CatchInterrupts() {
    g_nSignal = 0;
    struct sigaction sa = {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a read that waits on a pipe returns, so the command
    // notices. A second Ctrl+C ends the process at once, as users expect.
    sa.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void SetInterruptAction(void (*pfnAction)()) {
    g_pfnAction.store(pfnAction);
}

bool Interrupted() {
    return g_nSignal != 0;
}

int InterruptedStatus() {
    return g_nSignal == SIGTERM ? 128 + SIGTERM : kExitInterrupted;
}

bool CliQuiet() {
    return g_bQuiet;
}
void SetCliQuiet(bool bQuiet) {
    g_bQuiet = bQuiet;
}

int CliFail(const std::string& strMessage) {
    if (Interrupted()) {
        std::fprintf(stderr, "tavro-cli: interrupted; nothing written\n");
        return InterruptedStatus();
    }
    std::fprintf(stderr, "tavro-cli: %s\n", strMessage.c_str());
    return kExitFailed;
}

void CliNote(const std::string& strMessage) {
    if (!g_bQuiet) {
        std::fprintf(stderr, "%s\n", strMessage.c_str());
    }
}

bool EndsWithNoCase(const std::string& strPath, const std::string& strEnding) {
    if (strPath.size() < strEnding.size()) {
        return false;
    }
    size_t off = strPath.size() - strEnding.size();
    for (size_t i = 0; i < strEnding.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(strPath[off + i])) !=
            std::tolower(static_cast<unsigned char>(strEnding[i]))) {
            return false;
        }
    }
    return true;
}

static const char* TypeWord(EStreamType type) {
    return type == EStreamType::Qcf ? "a raw QCIF stream (.qcf)" : "a compressed stream (.cmp)";
}

bool CheckInputType(const std::string& strPath, EStreamType wanted) {
    if (StreamTypeOf(strPath) != wanted) {
        CliFail(Quoted(strPath) + " is not " + TypeWord(wanted) + ": files are typed by their " +
                "extension");
        return false;
    }
    return true;
}

bool CheckOutputType(const std::string& strPath, EStreamType wanted) {
    if (StreamTypeOf(strPath) != wanted && !IsStreamTarget(strPath)) {
        CliFail("output " + Quoted(strPath) + " must be named as " + TypeWord(wanted));
        return false;
    }
    return true;
}

bool CCliInput::Open(const std::string& strPath, std::string* pError) {
    struct stat st;
    if (::stat(strPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        auto it = Streams().find(strPath);
        if (it == Streams().end()) {
            std::vector<uint8_t> bytes;
            if (!ReadStream(strPath, bytes, pError)) {
                return false;
            }
            it = Streams().emplace(strPath, std::move(bytes)).first;
        }
        m_pStream = &it->second;
        m_nLength = m_pStream->size();
        return true;
    }
    if (!m_file.Open(strPath, CFile::modeRead)) {
        return Fail(pError, "cannot open " + Quoted(strPath) + ": " + m_file.GetError());
    }
    m_nLength = m_file.GetLength();
    return true;
}

bool CCliInput::ReadAt(uint64_t nOffset, uint8_t* p, uint64_t nCount) {
    if (nOffset > m_nLength || nCount > m_nLength - nOffset) {
        return false;
    }
    if (m_pStream) {
        std::memcpy(p, m_pStream->data() + nOffset, size_t(nCount));
        return true;
    }
    if (!m_file.Seek(nOffset)) {
        return false;
    }
    while (nCount > 0) {
        const uint32_t nChunk = nCount > (1u << 30) ? (1u << 30) : uint32_t(nCount);
        if (m_file.Read(p, nChunk) != nChunk) {
            return false;
        }
        p += nChunk;
        nCount -= nChunk;
    }
    return true;
}

bool ProbeQcfFile(const std::string& strPath, QcfFileInfo& info, std::string* pError) {
    CCliInput input;
    if (!input.Open(strPath, pError)) {
        return false;
    }
    info.nBytes = input.Length();
    info.nFrames = info.nBytes / QCIF_FRAME_BYTES;
    if (info.nFrames == 0) {
        return Fail(pError, Quoted(strPath) + " holds no whole frame (" +
                                std::to_string(info.nBytes) + " bytes, a frame is 38016)");
    }
    return true;
}

bool ReadQcfFrames(const std::string& strPath, uint32_t nFrames, std::vector<uint8_t>& out,
                   std::string* pError) {
    CCliInput input;
    if (!input.Open(strPath, pError)) {
        return false;
    }
    out.assign(static_cast<size_t>(nFrames) * QCIF_FRAME_BYTES, 0);
    for (uint32_t n = 0; n < nFrames; ++n) {
        uint8_t* p = out.data() + static_cast<size_t>(n) * QCIF_FRAME_BYTES;
        if (Interrupted() || !input.ReadAt(uint64_t(n) * QCIF_FRAME_BYTES, p, QCIF_FRAME_BYTES)) {
            return Fail(pError,
                        "cannot read frame " + std::to_string(n + 1) + " of " + Quoted(strPath));
        }
    }
    return true;
}

bool ProbeCmpFile(const std::string& strPath, CmpFileInfo& info, std::string* pError) {
    CCliInput input;
    if (!input.Open(strPath, pError)) {
        return false;
    }
    info.nBytes = input.Length();
    uint8_t header[CMP_HEADER_BYTES] = {};
    if (!input.ReadAt(0, header, CMP_HEADER_BYTES)) {
        return Fail(pError, Quoted(strPath) + " is too short for a compressed stream (" +
                                std::to_string(info.nBytes) + " bytes, the header alone is 4)");
    }
    if (info.nBytes > UINT32_MAX) {
        return Fail(pError, Quoted(strPath) + " is too long for a compressed stream (over 4 GiB)");
    }
    SCmpHeader parsed;
    ReadCmpHeader(header, CMP_HEADER_BYTES, parsed);
    info.nFrames = parsed.nFrames;
    info.nThreshold = parsed.byThreshold;
    info.nQuantiser = parsed.byQuantiser;
    if (info.nFrames == 0) {
        return Fail(pError,
                    Quoted(strPath) + " is not a valid compressed stream: its frame count is 0");
    }
    if (info.nThreshold == 0 || info.nQuantiser == 0) {
        return Fail(pError, Quoted(strPath) + " is not a valid compressed stream: threshold " +
                                std::to_string(info.nThreshold) + " and quantiser " +
                                std::to_string(info.nQuantiser) + " must lie in 1..255");
    }
    return true;
}

bool ReadWholeFile(const std::string& strPath, std::vector<uint8_t>& out, std::string* pError) {
    CCliInput input;
    if (!input.Open(strPath, pError)) {
        return false;
    }
    const uint64_t nLength = input.Length();
    if (nLength > UINT32_MAX) {
        return Fail(pError, Quoted(strPath) + " is too long (over 4 GiB)");
    }
    out.assign(static_cast<size_t>(nLength), 0);
    if (nLength > 0 && !input.ReadAt(0, out.data(), nLength)) {
        return Fail(pError, "cannot read " + Quoted(strPath));
    }
    return true;
}
