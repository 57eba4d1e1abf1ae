#pragma once
// Test double for the prompt services: records every message, question and
// ended process, answers file choosers and save questions from queues (an
// empty queue means Cancel).
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
    ESaveChoice AskSaveOutput(const std::string& strText, const std::string& strCaption) override;
    void EndProcess(int nStatus) override;

    // Queue the answer of the next chooser: a full path (the name is derived),
    // or std::nullopt for Cancel.
    void QueueChoice(std::optional<std::string> strPath);
    // Queue the answer to the next save question.
    void QueueSaveAnswer(ESaveChoice answer) { m_saveAnswers.push_back(answer); }

    std::vector<Message> messages;
    std::vector<Message> questions;            // every save question asked, in order
    std::vector<FileChooserRequest> requests;  // every chooser shown, in order
    std::optional<int> endStatus;              // set when EndProcess was called

private:
    std::deque<std::optional<std::string>> m_choices;
    std::deque<ESaveChoice> m_saveAnswers;
    IPromptServices* m_pPrevious;
};
