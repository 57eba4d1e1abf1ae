#pragma once
// The main window: menus, shortcuts, toolbar and status bar around the view,
// the recent-file list in the File menu, the caption, and opening files that
// arrive by the recent-file list, the command line or a drop on the window.

#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <array>

class QAction;
class QLabel;
class QMenu;
class QToolBar;
class CAnalysisWindow;
class CChartWindow;
class CStatisticsWindows;
class CRecentFileList;
class CTavroDoc;
class CTavroView;
class IShellDialogs;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame(CTavroDoc& doc, IShellDialogs& dialogs, CRecentFileList& recentFiles,
               QWidget* pParent = nullptr);

    CTavroView* View() const { return m_pView; }
    // The action of command nId (menu item, shortcut and toolbar button share it).
    QAction* Action(int nId) const { return m_actions.value(nId); }
    QToolBar* ToolBar() const { return m_pToolBar; }
    QMenu* Menu(int nIndex) const { return m_menus.value(nIndex); }
    // The status bar's message pane and its Caps, Num and Scroll Lock indicators.
    QLabel* MessagePane() const { return m_pMessagePane; }
    QLabel* Indicator(int nLockKey) const { return m_indicators[size_t(nLockKey)]; }
    // The menu actions of the recent-file entries (the first is ID_FILE_MRU_FILE1).
    QList<QAction*> RecentFileActions() const;
    // The per-frame chart window last opened, and the comparison view, while open.
    CChartWindow* ChartWindow() const;
    CAnalysisWindow* ComparisonView() const;

    // Opens a file for the recent-file list, the command line and dropped
    // files, as File > Open does: after asking what to do with an unsaved
    // result, the document takes it, the caption shows its name, it goes first
    // in the recent-file list and the view redraws. False when the user kept the
    // unsaved result, or after "Invalid format file." when the file did not load.
    bool OpenDocumentFile(const QString& strPath);

    // Enables every command by the document's state, and fills the recent-file
    // entries. Runs after every command and before a menu opens.
    void UpdateCommands();
    // "<document> - Tavro"; a document without a file is "Untitled".
    void UpdateCaption();
    // Lights the lock indicators that are on (greyed when off or unknown).
    void UpdateIndicators();

signals:
    // Help > About was chosen.
    void aboutRequested();

protected:
    // Exit and the close box: an unsaved result is not thrown away unasked.
    void closeEvent(QCloseEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;
    void keyReleaseEvent(QKeyEvent* pEvent) override;
    void timerEvent(QTimerEvent* pEvent) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void OnCommand(int nId);
    void OnOpenRecentFile(int nIndex);
    // OpenDocumentFile once an unsaved result has been dealt with.
    bool LoadDocumentFile(const QString& strPath);
    void OnDocumentOpened(const QString& strPath);
    void SaveRecentFiles();

    CTavroDoc& m_doc;
    IShellDialogs& m_dialogs;
    CRecentFileList& m_recentFiles;
    CTavroView* m_pView;
    QToolBar* m_pToolBar = nullptr;
    QLabel* m_pMessagePane = nullptr;
    std::array<QLabel*, 3> m_indicators{};
    QMap<int, QAction*> m_actions;
    QList<QMenu*> m_menus;
    QList<QAction*> m_recentEntries;  // entries 2.. of the recent-file list
    int m_nIndicatorTimer = 0;
    CStatisticsWindows* m_pStatisticsWindows = nullptr;
};
