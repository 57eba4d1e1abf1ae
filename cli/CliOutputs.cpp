#include "cli/CliOutputs.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "cli/CliSupport.h"

namespace {

struct SIdentity {
    bool bFile = false;  // dev and ino are known
    dev_t dev = 0;
    ino_t ino = 0;
    std::string strName;   // the name links lead to, for a file not made yet
    bool bShared = false;  // a character device: may be named twice
};

SIdentity IdentityOf(const std::string& strPath) {
    SIdentity id;
    struct stat st;
    const bool bKnown =
        strPath == "-" ? ::fstat(STDOUT_FILENO, &st) == 0 : ::stat(strPath.c_str(), &st) == 0;
    if (bKnown) {
        id.bFile = true;
        id.dev = st.st_dev;
        id.ino = st.st_ino;
        id.bShared = S_ISCHR(st.st_mode);
    } else if (strPath == "-") {
        id.strName = "-";
    } else {
        std::string strFinal = strPath;
        ResolveLinks(strFinal);
        std::error_code ec;
        id.strName =
            std::filesystem::weakly_canonical(std::filesystem::absolute(strFinal, ec), ec).string();
        if (ec) {
            id.strName = strFinal;
        }
    }
    return id;
}

bool Same(const SIdentity& a, const SIdentity& b) {
    if (a.bFile != b.bFile) {
        return false;
    }
    return a.bFile ? a.dev == b.dev && a.ino == b.ino : a.strName == b.strName;
}

std::string Named(const std::string& strPath) {
    return strPath == "-" ? "stdout" : Quoted(strPath);
}

}  // namespace

bool CheckOutputsDistinct(const std::vector<std::string>& inputs,
                          const std::vector<std::string>& outputs) {
    std::vector<SIdentity> seen;
    for (size_t i = 0; i < outputs.size(); ++i) {
        if (outputs[i].empty()) {
            continue;  // an output not asked for
        }
        const SIdentity out = IdentityOf(outputs[i]);
        if (out.bShared) {
            continue;
        }
        for (const std::string& strIn : inputs) {
            if (Same(out, IdentityOf(strIn))) {
                CliFail("output " + Named(outputs[i]) + " is the input " + Named(strIn) +
                        ": writing it would destroy what is being read");
                return false;
            }
        }
        for (size_t j = 0; j < i; ++j) {
            if (!outputs[j].empty() && Same(out, IdentityOf(outputs[j]))) {
                CliFail("outputs " + Named(outputs[j]) + " and " + Named(outputs[i]) +
                        " are the same file: one would overwrite the other");
                return false;
            }
        }
    }
    return true;
}

bool IsStreamTarget(const std::string& strPath) {
    struct stat st;
    return ::stat(strPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

bool OpenOutput(CSafeFileWriter& writer, const std::string& strPath) {
    writer.SetCancelCheck(&Interrupted);
    return strPath == "-" ? writer.OpenDescriptor(STDOUT_FILENO, "stdout") : writer.Open(strPath);
}

bool CommitOutputs(std::initializer_list<CSafeFileWriter*> writers, std::string* pError) {
    for (CSafeFileWriter* pWriter : writers) {
        if (!pWriter->SendHeld()) {
            if (pError) {
                *pError = pWriter->GetError();
            }
            for (CSafeFileWriter* pOther : writers) {
                pOther->Abandon();
            }
            return false;
        }
    }
    // Held back until every output is complete; the writers see an interrupt
    // that came before and leave their targets alone.
    sigset_t held, old;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &held, &old);
    bool bOk = true;
    for (CSafeFileWriter* pWriter : writers) {
        if (pWriter->GetMode() == CSafeFileWriter::EMode::None) {
            continue;  // an output not asked for
        }
        if (!bOk) {
            pWriter->Abandon();
        } else if (!pWriter->Commit()) {
            bOk = false;
            if (pError) {
                *pError = pWriter->GetError();
            }
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return bOk;
}

bool WriteOutput(const std::string& strPath, const void* pData, uint64_t nBytes,
                 std::string* pError) {
    CSafeFileWriter writer;
    if (!OpenOutput(writer, strPath) || !writer.Write(pData, nBytes)) {
        if (pError) {
            *pError = writer.GetError();
        }
        return false;
    }
    return CommitOutputs({&writer}, pError);
}
