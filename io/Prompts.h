#pragma once
// What the core needs from the user's desktop: message boxes, file choosers and
// ending the process. The core calls only this interface; the desktop app
// implements it with Qt, the command line with stderr, tests with a scripted fake.

#include <string>

struct FileChooserRequest {
    bool bOpen = true;             // open mode (true) or save mode (false)
    std::string strDefaultExt;     // appended to a typed name without extension, e.g. "qcf"
    std::string strInitialName;    // initial text of the name field, e.g. "*.qcf"
    bool bHideReadOnly = true;     // hide the read-only check box
    bool bOverwritePrompt = true;  // ask before replacing an existing file (save mode)
    std::string strTitle;          // the chooser's title; empty: "Open" or "Save As"
};

struct FileChooserResult {
    std::string strPathName;  // full path
    std::string strFileName;  // name without its folder
};

// The answer to the question whether to save a result before it is discarded.
enum class ESaveChoice { Save, Discard, Cancel };

class IPromptServices {
public:
    virtual ~IPromptServices() = default;
    // Blocking message with a single OK button; returns when dismissed.
    virtual void MessageBox(const std::string& strText, const std::string& strCaption) = 0;
    // True when the user confirmed a file (result filled), false on Cancel.
    virtual bool ChooseFile(const FileChooserRequest& request, FileChooserResult& result) = 0;
    // Blocking question with three buttons, "Save Output...", "Discard" and
    // "Cancel" (Escape and the close box mean Cancel); returns the answer.
    virtual ESaveChoice AskSaveOutput(const std::string& strText,
                                      const std::string& strCaption) = 0;
    // Ends the process with the status. A test double may return instead, so
    // callers return at once after calling it.
    virtual void EndProcess(int nStatus) = 0;
};

// The process-wide prompt services. Defaults to stderr messages, choosers and
// questions that always cancel, and std::exit.
IPromptServices& Prompts();
// Installs p (nullptr restores the default); returns the previous services.
IPromptServices* SetPrompts(IPromptServices* p);
