#include "cli/CliPrompts.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "cli/CliSupport.h"

namespace {

class CCliPrompts : public IPromptServices {
public:
    void MessageBox(const std::string& strText, const std::string&) override {
        std::lock_guard lock(m_mutex);
        std::fprintf(stderr, "tavro-cli: %s\n", strText.c_str());
    }
    bool ChooseFile(const FileChooserRequest&, FileChooserResult&) override { return false; }
    ESaveChoice AskSaveOutput(const std::string&, const std::string&) override {
        return ESaveChoice::Cancel;
    }
    // Worker threads may still be running: leave without running static
    // destructors under them, once what was written so far is out. The lock is
    // never given back, so no other thread's message follows this one's.
    void EndProcess(int) override {
        m_mutex.lock();
        std::fflush(nullptr);
        std::_Exit(kExitFailed);
    }

private:
    std::mutex m_mutex;
};

}  // namespace

void InstallCliPrompts() {
    static CCliPrompts prompts;
    SetPrompts(&prompts);
}
