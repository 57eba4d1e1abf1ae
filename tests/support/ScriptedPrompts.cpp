#include "support/ScriptedPrompts.h"

#include "io/File.h"

CScriptedPrompts::CScriptedPrompts() : m_pPrevious(SetPrompts(this)) {}

CScriptedPrompts::~CScriptedPrompts() {
    SetPrompts(m_pPrevious);
}

void CScriptedPrompts::MessageBox(const std::string& strText, const std::string& strCaption) {
    messages.push_back({strText, strCaption});
}

bool CScriptedPrompts::ChooseFile(const FileChooserRequest& request, FileChooserResult& result) {
    requests.push_back(request);
    if (m_choices.empty()) {
        return false;
    }
    auto choice = m_choices.front();
    m_choices.pop_front();
    if (!choice) {
        return false;
    }
    result.strPathName = *choice;
    result.strFileName = FileNameOf(*choice);
    return true;
}

ESaveChoice CScriptedPrompts::AskSaveOutput(const std::string& strText,
                                            const std::string& strCaption) {
    questions.push_back({strText, strCaption});
    if (m_saveAnswers.empty()) {
        return ESaveChoice::Cancel;
    }
    const ESaveChoice answer = m_saveAnswers.front();
    m_saveAnswers.pop_front();
    return answer;
}

void CScriptedPrompts::EndProcess(int nStatus) {
    endStatus = nStatus;
}

void CScriptedPrompts::QueueChoice(std::optional<std::string> strPath) {
    m_choices.push_back(std::move(strPath));
}
