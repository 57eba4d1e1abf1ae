#pragma once
// The application object: start-up in order (settings and the recent-file
// list, the document with its window and view, the desktop's file type, the
// command line, showing the window) and the About command.

#include <QStringList>
#include <memory>

class CMainFrame;
class CRecentFileList;
class CTavroDoc;
class IShellDialogs;

class CTavroApp {
public:
    struct Options {
        // Put the application entry and the .qcf file type into the user's
        // desktop when missing.
        bool bRegisterDesktop = true;
    };

    // pDialogs answers the modal dialogs of the commands; nullptr shows the real ones.
    explicit CTavroApp(IShellDialogs* pDialogs = nullptr);
    CTavroApp(IShellDialogs* pDialogs, Options options);
    ~CTavroApp();

    // Carries out start-up with the program's arguments (without the program
    // name). True: the window is shown and the event loop should run. False:
    // the program ends with ExitStatus() (0 after --help or --version, 1 when the
    // file named on the command line did not open, 2 for unusable arguments).
    bool InitInstance(const QStringList& arguments);
    int ExitStatus() const { return m_nExitStatus; }

    // Help > About: the About box, modal.
    void OnAppAbout();

    CMainFrame* MainFrame() const { return m_pFrame.get(); }
    CTavroDoc& Document() const { return *m_pDoc; }
    CRecentFileList& RecentFiles() const { return *m_pRecentFiles; }

    // The settings' organisation and application names.
    static void SetIdentity();

private:
    Options m_options;
    std::unique_ptr<IShellDialogs> m_pOwnDialogs;
    IShellDialogs* m_pDialogs;
    std::unique_ptr<CTavroDoc> m_pDoc;
    std::unique_ptr<CRecentFileList> m_pRecentFiles;
    std::unique_ptr<CMainFrame> m_pFrame;
    int m_nExitStatus = 0;
};
