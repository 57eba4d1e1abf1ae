#include "app/TavroApp.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSettings>
#include <cstdio>

#include "app/AboutDlg.h"
#include "app/DesktopIntegration.h"
#include "app/MainFrame.h"
#include "app/QtShellDialogs.h"
#include "app/RecentFileList.h"
#include "app/ShellCommands.h"
#include "document/TavroDoc.h"

CTavroApp::CTavroApp(IShellDialogs* pDialogs) : CTavroApp(pDialogs, Options{}) {}

CTavroApp::CTavroApp(IShellDialogs* pDialogs, Options options)
    : m_options(options),
      m_pDialogs(pDialogs),
      m_pDoc(std::make_unique<CTavroDoc>()),
      m_pRecentFiles(std::make_unique<CRecentFileList>(4)) {
    if (m_pDialogs == nullptr) {
        m_pOwnDialogs = std::make_unique<CQtShellDialogs>();
        m_pDialogs = m_pOwnDialogs.get();
    }
}

// The window goes first: it refers to the document and the dialogs.
CTavroApp::~CTavroApp() {
    m_pFrame.reset();
}

void CTavroApp::SetIdentity() {
    QCoreApplication::setOrganizationName(QString::fromLatin1(kAppTitle));
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVRO_VERSION));
}

bool CTavroApp::InitInstance(const QStringList& arguments) {
    // The settings live under the program's own name, the recent-file list
    // of four entries among them.
    SetIdentity();
    {
        QSettings settings;
        m_pRecentFiles->ReadList(settings);
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Tavro: compress, decompress, compare and play QCIF video streams (.qcf, .cmp)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A .qcf or .cmp file to open."),
                                 QStringLiteral("[file]"));
    if (!parser.parse(QStringList{QCoreApplication::applicationFilePath()} + arguments)) {
        std::fprintf(stderr, "tavro: %s\n%s", qPrintable(parser.errorText()),
                     qPrintable(parser.helpText()));
        m_nExitStatus = 2;
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        m_nExitStatus = 0;
        return false;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("%s\n", qPrintable(CAboutDlg::AboutText().section(QLatin1Char('\n'), 0, 0)));
        m_nExitStatus = 0;
        return false;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        std::fprintf(stderr, "tavro: one file at a time, got %d\n%s", int(files.size()),
                     qPrintable(parser.helpText()));
        m_nExitStatus = 2;
        return false;
    }

    // One document, one window, one view for the whole run.
    m_pFrame = std::make_unique<CMainFrame>(*m_pDoc, *m_pDialogs, *m_pRecentFiles);
    if (auto* pQtDialogs = dynamic_cast<CQtShellDialogs*>(m_pDialogs)) {
        pQtDialogs->SetOwner(m_pFrame.get());
    }
    QObject::connect(m_pFrame.get(), &CMainFrame::aboutRequested, [this] { OnAppAbout(); });

    if (m_options.bRegisterDesktop) {
        RegisterForUser();
    }

    if (!files.isEmpty() && !m_pFrame->OpenDocumentFile(files.front())) {
        m_nExitStatus = 1;
        return false;
    }

    m_pFrame->show();
    return true;
}

void CTavroApp::OnAppAbout() {
    CAboutDlg dlg(m_pFrame.get());
    dlg.exec();
}
