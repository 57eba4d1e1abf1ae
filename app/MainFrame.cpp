#include "app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSet>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "app/DialogControls.h"
#include "app/ImportVideo.h"
#include "app/LockKeys.h"
#include "app/RecentFileList.h"
#include "app/ShellCommands.h"
#include "app/ShellDialogs.h"
#include "app/ShellResources.h"
#include "app/StatisticsWindows.h"
#include "app/TavroView.h"
#include "document/TavroDoc.h"
#include "io/Prompts.h"

namespace {

// The first local file among dropped URLs, or empty.
QString FirstLocalFile(const QMimeData* pData) {
    if (pData == nullptr || !pData->hasUrls()) {
        return {};
    }
    for (const QUrl& url : pData->urls()) {
        if (url.isLocalFile()) {
            return url.toLocalFile();
        }
    }
    return {};
}

}  // namespace

CMainFrame::CMainFrame(CTavroDoc& doc, IShellDialogs& dialogs, CRecentFileList& recentFiles,
                       QWidget* pParent)
    : QMainWindow(pParent), m_doc(doc), m_dialogs(dialogs), m_recentFiles(recentFiles) {
    InitShellResources();
    setObjectName(QStringLiteral("CMainFrame"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/tavro-256.png")));
    m_pView = new CTavroView(doc, dialogs, this);
    setCentralWidget(m_pView);
    connect(m_pView, &CTavroView::documentOpened, this, &CMainFrame::OnDocumentOpened);
    connect(m_pView, &CTavroView::documentChanged, this, [this] {
        UpdateCommands();
        UpdateCaption();
    });

    m_pStatisticsWindows = new CStatisticsWindows(doc, this);
    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    setAcceptDrops(true);
    resize(640, 480);

    UpdateCommands();
    UpdateCaption();
    UpdateIndicators();
    m_nIndicatorTimer = startTimer(500);
}

void CMainFrame::CreateActions() {
    for (const CShellCommand& command : ShellCommands()) {
        if (command.nId == 0) {
            continue;
        }
        auto* pAction = new QAction(QString::fromUtf8(command.pszText), this);
        pAction->setObjectName(QStringLiteral("cmd%1").arg(command.nId));
        pAction->setStatusTip(QString::fromUtf8(command.pszPrompt));
        pAction->setToolTip(QString::fromUtf8(command.pszTooltip));
        if (command.pszIcon != nullptr) {
            pAction->setIcon(QIcon(QString::fromLatin1(command.pszIcon)));
        }
        // The window's own shortcuts: the item text only labels them.
        pAction->setShortcutContext(Qt::WindowShortcut);
        m_actions.insert(command.nId, pAction);
        addAction(pAction);
        if (command.nId != ID_VIEW_TOOLBAR && command.nId != ID_VIEW_STATUS_BAR) {
            const int nId = command.nId;
            connect(pAction, &QAction::triggered, this, [this, nId] { OnCommand(nId); });
        }
    }
    // The shortcut table in its order: a key already taken by an earlier entry
    // never reaches a later one (Ctrl+S is Save Output's, not Compare Streams').
    QSet<QString> keysTaken;
    for (const CShellAccelerator& accelerator : ShellAccelerators()) {
        const QString strKey = QString::fromLatin1(accelerator.pszKey);
        if (keysTaken.contains(strKey)) {
            continue;
        }
        keysTaken.insert(strKey);
        if (QAction* pAction = m_actions.value(accelerator.nId)) {
            pAction->setShortcut(QKeySequence(strKey));
        }
    }

    QAction* pToolBarToggle = m_actions.value(ID_VIEW_TOOLBAR);
    QAction* pStatusToggle = m_actions.value(ID_VIEW_STATUS_BAR);
    pToolBarToggle->setCheckable(true);
    pStatusToggle->setCheckable(true);

    for (int i = 1; i < m_recentFiles.Size(); ++i) {
        auto* pEntry = new QAction(this);
        pEntry->setObjectName(QStringLiteral("cmd%1").arg(ID_FILE_MRU_FILE1 + i));
        pEntry->setStatusTip(QString::fromLatin1(kRecentEntryPrompt));
        connect(pEntry, &QAction::triggered, this, [this, i] { OnOpenRecentFile(i); });
        m_recentEntries.append(pEntry);
    }
}

void CMainFrame::CreateMenus() {
    for (const char* pszTitle : kMenuTitles) {
        QMenu* pMenu = menuBar()->addMenu(QString::fromUtf8(pszTitle));
        pMenu->setObjectName(QString::fromUtf8(pszTitle).remove(QLatin1Char('&')));
        connect(pMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);
        m_menus.append(pMenu);
        for (const CShellCommand& command : ShellCommands()) {
            if (std::string_view(command.pszMenu) != pszTitle) {
                continue;
            }
            if (command.nId == 0) {
                pMenu->addSeparator();
                continue;
            }
            pMenu->addAction(m_actions.value(command.nId));
            if (command.nId == ID_FILE_MRU_FILE1) {
                pMenu->addActions(m_recentEntries);
            }
        }
    }
}

void CMainFrame::CreateToolBar() {
    m_pToolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    SetControlId(m_pToolBar, AFX_IDW_TOOLBAR);
    m_pToolBar->setIconSize(QSize(31, 31));
    m_pToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_pToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_pToolBar->setMovable(true);
    m_pToolBar->setFloatable(true);
    for (int nId : kToolbarCommands) {
        m_pToolBar->addAction(m_actions.value(nId));
    }
    addToolBar(Qt::TopToolBarArea, m_pToolBar);

    QAction* pToggle = m_actions.value(ID_VIEW_TOOLBAR);
    pToggle->setChecked(true);
    connect(pToggle, &QAction::toggled, m_pToolBar, &QToolBar::setVisible);
    // Closing a floating toolbar by its own close box unticks the item too.
    connect(m_pToolBar, &QToolBar::visibilityChanged, this, [this, pToggle](bool bVisible) {
        if (!isHidden()) {
            pToggle->setChecked(bVisible);
        }
    });
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* pBar = statusBar();
    SetControlId(pBar, AFX_IDW_STATUS_BAR);
    // A normal widget: a hovered command's prompt covers it for as long as the
    // pointer stays, then "Ready" shows again.
    m_pMessagePane = new QLabel(QString::fromLatin1(kIdlePrompt), pBar);
    m_pMessagePane->setObjectName(QStringLiteral("MessagePane"));
    pBar->addWidget(m_pMessagePane, 1);
    for (size_t i = 0; i < m_indicators.size(); ++i) {
        auto* pLabel = new QLabel(QString::fromLatin1(kIndicatorTexts[i]), pBar);
        pLabel->setObjectName(QString::fromLatin1(kIndicatorTexts[i]));
        pLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pLabel->setAlignment(Qt::AlignCenter);
        pLabel->setMinimumWidth(pLabel->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) +
                                12);
        pBar->addPermanentWidget(pLabel);
        m_indicators[i] = pLabel;
    }

    QAction* pToggle = m_actions.value(ID_VIEW_STATUS_BAR);
    pToggle->setChecked(true);
    connect(pToggle, &QAction::toggled, pBar, &QStatusBar::setVisible);
}

QList<QAction*> CMainFrame::RecentFileActions() const {
    QList<QAction*> actions{m_actions.value(ID_FILE_MRU_FILE1)};
    actions.append(m_recentEntries);
    return actions;
}

void CMainFrame::UpdateCommands() {
    for (int nId :
         {ID_COMPRESS, ID_DECOMPRESS, ID_PLAY, ID_COMPARE_FRAMES, ID_COMPARE_STREAMS,
          ID_FILE_SAVE_AS, ID_CHANGE_COMPARE_FILE, ID_PER_FRAME_CHART, ID_COMPARISON_VIEW}) {
        m_actions.value(nId)->setEnabled(m_pView->IsCommandEnabled(nId));
    }
    m_pStatisticsWindows->DocumentChanged();

    const QStringList& files = m_recentFiles.Files();
    QAction* pFirst = m_actions.value(ID_FILE_MRU_FILE1);
    if (files.isEmpty()) {
        pFirst->setText(QString::fromUtf8(FindShellCommand(ID_FILE_MRU_FILE1)->pszText));
        pFirst->setEnabled(false);
    } else {
        pFirst->setText(CRecentFileList::MenuText(0, files[0]) + QStringLiteral("\tCtrl+L"));
        pFirst->setEnabled(true);
    }
    for (int i = 0; i < m_recentEntries.size(); ++i) {
        QAction* pEntry = m_recentEntries[i];
        const bool bUsed = i + 1 < files.size();
        pEntry->setVisible(bUsed);
        if (bUsed) {
            pEntry->setText(CRecentFileList::MenuText(i + 1, files[i + 1]));
        }
    }
}

void CMainFrame::UpdateCaption() {
    const std::string& strTitle = m_doc.GetTitle();
    const QString strDocument = strTitle.empty() ? QString::fromLatin1(kDefaultDocumentName)
                                                 : QString::fromStdString(strTitle);
    setWindowTitle(strDocument + QStringLiteral(" - ") + QString::fromLatin1(kAppTitle));
}

void CMainFrame::UpdateIndicators() {
    const auto states = QueryLockKeys();
    for (size_t i = 0; i < m_indicators.size(); ++i) {
        m_indicators[i]->setEnabled(states.has_value() && (*states)[i]);
    }
}

void CMainFrame::timerEvent(QTimerEvent* pEvent) {
    if (pEvent->timerId() == m_nIndicatorTimer) {
        if (isVisible() && statusBar()->isVisible()) {
            UpdateIndicators();
        }
        return;
    }
    QMainWindow::timerEvent(pEvent);
}

void CMainFrame::keyReleaseEvent(QKeyEvent* pEvent) {
    switch (pEvent->key()) {
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_ScrollLock:
            UpdateIndicators();
            break;
        default:
            break;
    }
    QMainWindow::keyReleaseEvent(pEvent);
}

void CMainFrame::OnCommand(int nId) {
    // A shortcut may arrive before the actions were brought up to date.
    if (m_actions.value(nId) && !m_actions.value(nId)->isEnabled()) {
        return;
    }
    switch (nId) {
        case ID_FILE_OPEN:
            m_pView->OnFileOpen();
            break;
        case ID_FILE_IMPORT_VIDEO:
            // The document redraws its views itself when it takes the frames;
            // an imported clip is no entry for the recent-file list, which
            // opens through File > Open.
            RunImportVideo(this, m_doc);
            break;
        case ID_FILE_SAVE_AS:
            m_pView->OnSaveOutput();
            break;
        case ID_FILE_MRU_FILE1:
            OnOpenRecentFile(0);
            break;
        case ID_APP_EXIT:
            close();
            return;
        case ID_COMPRESS:
            m_pView->OnCompress();
            break;
        case ID_DECOMPRESS:
            m_pView->OnDecompress();
            break;
        case ID_PLAY:
            if (m_pView->IsCommandEnabled(ID_PLAY)) {
                m_doc.OnPlay(m_dialogs);
            }
            break;
        case ID_COMPARE_FRAMES:
        case ID_COMPARE_STREAMS:
            // A comparison file accepted on the way redraws the view at once.
            if (m_pView->IsCommandEnabled(nId)) {
                m_dialogs.RunCompare(m_doc, nId == ID_COMPARE_FRAMES);
            }
            break;
        case ID_CHANGE_COMPARE_FILE:
            m_doc.OnChangeCompareFile();
            break;
        case ID_PER_FRAME_CHART:
            m_pStatisticsWindows->OpenChart();
            break;
        case ID_COMPARISON_VIEW:
            m_pStatisticsWindows->OpenComparisonView();
            break;
        case ID_APP_ABOUT:
            emit aboutRequested();
            break;
        default:
            break;
    }
    UpdateCommands();
    UpdateCaption();
}

void CMainFrame::OnOpenRecentFile(int nIndex) {
    const QStringList& files = m_recentFiles.Files();
    if (nIndex < 0 || nIndex >= files.size()) {
        return;
    }
    const QString strPath = files[nIndex];
    if (!m_doc.SaveModified()) {
        return;
    }
    if (!LoadDocumentFile(strPath)) {
        // A file that no longer opens leaves the list.
        m_recentFiles.Remove(int(m_recentFiles.Files().indexOf(strPath)));
        SaveRecentFiles();
        UpdateCommands();
    }
}

bool CMainFrame::OpenDocumentFile(const QString& strPath) {
    return m_doc.SaveModified() && LoadDocumentFile(strPath);
}

bool CMainFrame::LoadDocumentFile(const QString& strPath) {
    const bool bOpened = m_doc.OnOpenDocument(QFileInfo(strPath).absoluteFilePath().toStdString());
    if (bOpened) {
        OnDocumentOpened(strPath);
    } else {
        m_doc.DiscardEmptyStream();
    }
    m_pView->update();
    UpdateCommands();
    UpdateCaption();
    if (!bOpened) {
        Prompts().MessageBox("Invalid format file.", "Error");
    }
    return bOpened;
}

void CMainFrame::OnDocumentOpened(const QString& strPath) {
    m_recentFiles.Add(strPath);
    SaveRecentFiles();
    UpdateCommands();
    UpdateCaption();
}

void CMainFrame::SaveRecentFiles() {
    QSettings settings;
    m_recentFiles.WriteList(settings);
}

void CMainFrame::closeEvent(QCloseEvent* pEvent) {
    if (!m_doc.SaveModified()) {
        pEvent->ignore();
        return;
    }
    QMainWindow::closeEvent(pEvent);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* pEvent) {
    if (!FirstLocalFile(pEvent->mimeData()).isEmpty()) {
        pEvent->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* pEvent) {
    const QString strPath = FirstLocalFile(pEvent->mimeData());
    if (strPath.isEmpty()) {
        return;
    }
    pEvent->acceptProposedAction();
    activateWindow();
    OpenDocumentFile(strPath);
}

CChartWindow* CMainFrame::ChartWindow() const {
    return m_pStatisticsWindows->Chart();
}

CAnalysisWindow* CMainFrame::ComparisonView() const {
    return m_pStatisticsWindows->ComparisonView();
}
