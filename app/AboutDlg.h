#pragma once
// "About Tavro": the banner, the application icon, the version line and a few
// words on what the program is for; OK closes it.

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);

    // The text of the box; its first line is the version.
    static QString AboutText();
};
