#include "io/Prompts.h"

#include <cstdio>
#include <cstdlib>

namespace {

class CConsolePrompts : public IPromptServices {
public:
    void MessageBox(const std::string& strText, const std::string& strCaption) override {
        std::fprintf(stderr, "%s: %s\n", strCaption.c_str(), strText.c_str());
    }
    bool ChooseFile(const FileChooserRequest&, FileChooserResult&) override { return false; }
    // Nobody to answer: nothing is discarded.
    ESaveChoice AskSaveOutput(const std::string& strText, const std::string& strCaption) override {
        std::fprintf(stderr, "%s: %s\n", strCaption.c_str(), strText.c_str());
        return ESaveChoice::Cancel;
    }
    void EndProcess(int nStatus) override { std::exit(nStatus); }
};

CConsolePrompts g_consolePrompts;
IPromptServices* g_pPrompts = &g_consolePrompts;

}  // namespace

IPromptServices& Prompts() {
    return *g_pPrompts;
}

IPromptServices* SetPrompts(IPromptServices* p) {
    IPromptServices* pOld = g_pPrompts;
    g_pPrompts = p ? p : &g_consolePrompts;
    return pOld;
}
