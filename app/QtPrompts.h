#pragma once
// The desktop's prompt services: Qt message boxes with a single OK button,
// Qt file dialogs, and ending the process. Safe to call from a worker thread:
// the call is carried out on the user-interface thread while the worker waits.

#include <QString>
#include <QStringList>

#include "io/Prompts.h"

class CQtPrompts : public IPromptServices {
public:
    void MessageBox(const std::string& strText, const std::string& strCaption) override;
    bool ChooseFile(const FileChooserRequest& request, FileChooserResult& result) override;
    // A message box with "Save Output..." (the default), "Discard" and "Cancel".
    ESaveChoice AskSaveOutput(const std::string& strText, const std::string& strCaption) override;
    void EndProcess(int nStatus) override;
};

// How a chooser request maps onto a Qt file dialog; kept apart from the
// dialog itself so it can be checked without one.
struct QtChooserSetup {
    QStringList nameFilters;  // empty: show every file
    QString strSelectFile;    // initial text of the name field
    QString strDefaultSuffix;
};
QtChooserSetup MakeChooserSetup(const FileChooserRequest& request);

// Appends ".ext" to a chosen name that has no extension (folders in the path
// do not count), as typed names are meant to get the default extension.
QString ApplyDefaultExtension(const QString& strPath, const QString& strExt);
