#pragma once
// Test double for the prompt services: records every message and ended
// process, answers file choosers from a queue (an empty queue means Cancel).
// Installs itself for its lifetime.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "io/Prompts.h"

class CScriptedPrompts : public IPromptServices {
public:
    struct Message {
        std::string strText;
        std::string strCaption;
        bool operator==(const Message&) const = default;
    };

    CScriptedPrompts();
    ~CScriptedPrompts() override;

    void MessageBox(const std::string& strText, const std::string& strCaption) override;
    bool ChooseFile(const FileChooserRequest& request, FileChooserResult& result) override;
    void EndProcess(int nStatus) override;

    // Queue the answer of the next chooser: a full path (the name is derived),
    // or std::nullopt for Cancel.
    void QueueChoice(std::optional<std::string> strPath);

    std::vector<Message> messages;
    std::vector<FileChooserRequest> requests;  // every chooser shown, in order
    std::optional<int> endStatus;              // set when EndProcess was called

private:
    std::deque<std::optional<std::string>> m_choices;
    IPromptServices* m_pPrevious;
};
