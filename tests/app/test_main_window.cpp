// The whole desktop program driven as a user drives it: the real main window,
// its menus, shortcuts, toolbar and status bar, with the commands' modal
// dialogs answered by the test and files in a temporary folder.

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QtTest>
#include <deque>
#include <functional>
#include <optional>

#include "DialogTestUtil.h"
#include "app/AboutDlg.h"
#include "app/CompareDlg.h"
#include "app/MainFrame.h"
#include "app/ParametersDlg.h"
#include "app/ProcessingDlg.h"
#include "app/QtPrompts.h"
#include "app/RecentFileList.h"
#include "app/ShellCommands.h"
#include "app/ShellDialogs.h"
#include "app/TavroApp.h"
#include "app/TavroView.h"
#include "app/ViewerDlg.h"
#include "codec/CodecContext.h"
#include "document/TavroDoc.h"
#include "stats/CompareLogic.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

namespace {

// Frames with a gradient and a square that moves one step a frame, so the
// codec has real work and consecutive frames differ.
std::vector<uint8_t> Frames(int nFrames) {
    std::vector<uint8_t> data(size_t(nFrames) * QCIF_FRAME_BYTES);
    for (int f = 0; f < nFrames; ++f) {
        uint8_t* p = data.data() + size_t(f) * QCIF_FRAME_BYTES;
        for (int y = 0; y < 144; ++y) {
            for (int x = 0; x < 176; ++x) {
                const bool bSquare = x >= 20 + f && x < 60 + f && y >= 40 && y < 80;
                p[y * 176 + x] = bSquare ? 220 : uint8_t((x + 2 * y) / 2);
            }
        }
        std::fill(p + QCIF_U_OFFSET, p + QCIF_V_OFFSET, uint8_t(110 + f % 7));
        std::fill(p + QCIF_V_OFFSET, p + QCIF_FRAME_BYTES, uint8_t(140));
    }
    return data;
}

// Answers the commands' dialogs: parameters from a queue, processing run at
// once on this thread (or cancelled as told), the viewer and the comparison
// recorded.
class CFakeDialogs : public IShellDialogs {
public:
    enum class Processing { Run, CloseBeforeStart, CancelAfterLastFrame };

    std::deque<std::optional<CParametersChoice>> parameters;  // nullopt: Cancel
    Processing processing = Processing::Run;
    std::vector<CParametersChoice> parametersShown;
    std::vector<std::pair<const uint8_t*, uint32_t>> viewerRuns;
    std::vector<std::pair<bool, std::string>> compareRuns;  // single frame?, RMSE text
    std::function<void()> whileComparing;  // runs as the comparison dialog would show

    int RunParameters(CParametersChoice& choice) override {
        parametersShown.push_back(choice);
        if (parameters.empty() || !parameters.front()) {
            if (!parameters.empty()) {
                parameters.pop_front();
            }
            return IDCANCEL;
        }
        const CParametersChoice answer = *parameters.front();
        parameters.pop_front();
        choice.m_nFrames = answer.m_nFrames;
        choice.m_nThreshold = answer.m_nThreshold;
        choice.m_nQuantiser = answer.m_nQuantiser;
        return IDOK;
    }
    int RunProcessing(CCodecContext& context, bool& bCancelled) override {
        if (processing == Processing::CloseBeforeStart) {
            return IDCANCEL;
        }
        context.Run();
        bCancelled = processing == Processing::CancelAfterLastFrame;
        return IDOK;
    }
    void RunViewer(const uint8_t* pFrames, uint32_t nFrames) override {
        viewerRuns.emplace_back(pFrames, nFrames);
    }
    void RunCompare(CTavroDoc& doc, bool bSingleFrame) override {
        std::unique_ptr<CCompareLogic> pLogic = BeginCompare(doc, bSingleFrame);
        if (!pLogic) {
            return;
        }
        if (whileComparing) {
            whileComparing();
        }
        pLogic->OnInitDialog();
        pLogic->OnCompare(pLogic->InitialFrameText());
        compareRuns.emplace_back(bSingleFrame, pLogic->RmseText());
    }
};

// One started program with its window, a scripted user and a folder.
struct CSession {
    CScriptedPrompts prompts;
    CFakeDialogs dialogs;
    CTempDir dir;
    CTavroApp app{&dialogs, CTavroApp::Options{false}};

    explicit CSession(const QStringList& arguments = {}, bool bStart = true) {
        QSettings().clear();
        if (bStart && app.InitInstance(arguments)) {
            Frame()->activateWindow();
            (void)QTest::qWaitForWindowActive(Frame());
        }
    }
    CMainFrame* Frame() const { return app.MainFrame(); }
    CTavroDoc& Doc() const { return app.Document(); }
    QAction* Action(int nId) const { return Frame()->Action(nId); }
    std::string Write(const std::string& strName, int nFrames) {
        WriteBytes(dir.File(strName), Frames(nFrames));
        return dir.File(strName);
    }
    void Trigger(int nId) { Action(nId)->trigger(); }
    void Key(int nKey, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        QTest::keyClick(Frame(), Qt::Key(nKey), modifiers);
    }
    // Open through File > Open with the chooser answering strPath.
    void OpenByMenu(const std::string& strPath) {
        prompts.QueueChoice(strPath);
        Trigger(ID_FILE_OPEN);
    }
    // Drags a file onto the window and drops it there; true when both were taken.
    bool Drop(const std::string& strPath) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(strPath))});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(Frame(), &enter);
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Frame(), &drop);
        return enter.isAccepted() && drop.isAccepted();
    }
    QStringList Summary() const {
        QStringList lines;
        for (const CSummaryLine& line : Doc().SummaryLines()) {
            lines << QString::fromStdString(line.strText);
        }
        return lines;
    }
    // The commands enabled right now, out of the seven the document rules.
    QList<int> Enabled() const {
        QList<int> ids;
        for (int nId : {ID_FILE_SAVE_AS, ID_COMPRESS, ID_DECOMPRESS, ID_PLAY, ID_COMPARE_FRAMES,
                        ID_COMPARE_STREAMS, ID_CHANGE_COMPARE_FILE}) {
            if (Action(nId)->isEnabled()) {
                ids << nId;
            }
        }
        return ids;
    }
};

// Rows of the view's picture that hold some ink (not the white background).
QList<int> InkedRows(QWidget* pView) {
    const QImage image = pView->grab().toImage();
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                rows << y;
                break;
            }
        }
    }
    return rows;
}

// Counts the paint events a widget receives.
class CPaintCounter : public QObject {
public:
    explicit CPaintCounter(QWidget* pWidget) { pWidget->installEventFilter(this); }
    int nPaints = 0;
    bool eventFilter(QObject*, QEvent* pEvent) override {
        nPaints += pEvent->type() == QEvent::Paint;
        return false;
    }
};

// Runs f on the next modal dialog of type T once it shows.
template <class T, class F>
void WhenModal(F f) {
    QTimer::singleShot(0, [f] {
        auto* pDialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (pDialog == nullptr) {
            WhenModal<T>(f);  // not shown yet
            return;
        }
        f(pDialog);
    });
}

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    // The command table as a user sees it: menus, item texts, shortcut labels,
    // the shortcuts that really work, prompts and tooltips.
    void menusShortcutsPromptsAndTooltips() {
        CSession s;
        QStringList titles;
        for (QAction* pMenu : s.Frame()->menuBar()->actions()) {
            titles << pMenu->text();
        }
        QCOMPARE(titles,
                 (QStringList{"&File", "&Process", "&Display", "Statistics", "&View", "&Help"}));

        const struct {
            int nMenu;
            int nId;
            QString strText, strShortcut, strPrompt, strTooltip;
        } rows[] = {
            {0, 57601, "&Open...\tCtrl+O", "Ctrl+O", "Open an existing document", "Open"},
            {0, 32798, "&Import Video...", "", "", "Import Video"},
            {0, 57604, "Save Output...\tCtrl+S", "Ctrl+S", "Save the output data", "Save"},
            {0, 57616, "Last File\tCtrl+L", "Ctrl+L", "Open the most-recently used document",
             "Open last file"},
            {0, 57665, "E&xit\tCtrl+X", "Ctrl+X", "Quit application", "Exit"},
            {1, 32771, "&Compress\tCtrl+C", "Ctrl+C", "", "Compress"},
            {1, 32772, "&Decompress\tCtrl+D", "Ctrl+D", "", "Decompress"},
            {2, 32777, "Play\tCtrl+P", "Ctrl+P", "Play the loaded QCIF stream", "Play QCIF Stream"},
            {3, 32795, "Compare Frames\tCtrl+F", "Ctrl+F",
             "Calculate RMS Error and Peak SNR for a given frame", "Compare Frames"},
            {3, 32794, "Compare Streams\tCtrl+S", "",
             "Calculate the mean RMS Error and Peak SNR for a given stream", "Compare Streams"},
            {3, 32793, "Change Compare File\tCtrl+A", "Ctrl+A",
             "Select another stream to against which to compare", "Change Comparison File"},
            {3, 32796, "Per-frame Chart...", "", "", "Per-frame Chart"},
            {4, 59392, "&Toolbar", "", "Show or hide the toolbar", "Toggle ToolBar"},
            {4, 59393, "&Status Bar", "", "Show or hide the status bar", "Toggle StatusBar"},
            {5, 57664, "&About Tavro...\tF1", "F1", "", "About"},
        };
        for (const auto& row : rows) {
            QAction* pAction = s.Action(row.nId);
            QVERIFY2(pAction, qPrintable(row.strText));
            QVERIFY2(s.Frame()->Menu(row.nMenu)->actions().contains(pAction),
                     qPrintable(row.strText));
            QCOMPARE(pAction->text(), row.strText);
            QCOMPARE(pAction->shortcut().toString(), row.strShortcut);
            QCOMPARE(pAction->toolTip(), row.strTooltip);
            if (row.strPrompt.isEmpty()) {
                QVERIFY(pAction->statusTip().size() > 20);  // our own sentence
            } else {
                QCOMPARE(pAction->statusTip(), row.strPrompt);
            }
        }
        // Statistics: the three comparison items, then the chart as an addition.
        QStringList statisticsItems;
        for (QAction* pAction : s.Frame()->Menu(3)->actions()) {
            statisticsItems << pAction->text();
        }
        QCOMPARE(statisticsItems, (QStringList{"Compare Frames\tCtrl+F", "Compare Streams\tCtrl+S",
                                               "Change Compare File\tCtrl+A", "Per-frame Chart...",
                                               "Comparison View..."}));
        // The File menu's layout: Open, Import, Save, separator, recent files, separator, Exit.
        QStringList fileItems;
        for (QAction* pAction : s.Frame()->Menu(0)->actions()) {
            if (pAction->isVisible()) {
                fileItems << (pAction->isSeparator() ? "-" : pAction->text());
            }
        }
        QCOMPARE(fileItems,
                 (QStringList{"&Open...\tCtrl+O", "&Import Video...", "Save Output...\tCtrl+S", "-",
                              "Last File\tCtrl+L", "-", "E&xit\tCtrl+X"}));

        // Ten toolbar buttons with their pictures, no separators.
        QList<int> buttons;
        for (QAction* pAction : s.Frame()->ToolBar()->actions()) {
            QVERIFY(!pAction->isSeparator());
            QVERIFY(!pAction->icon().isNull());
            QCOMPARE(pAction->icon().availableSizes().value(0), QSize(31, 31));
            buttons << pAction->objectName().mid(3).toInt();
        }
        QCOMPARE(buttons, (QList<int>{57616, 57601, 57604, 32777, 32771, 32772, 32795, 32794, 32793,
                                      57665}));
        QCOMPARE(s.Frame()->ToolBar()->iconSize(), QSize(31, 31));

        // The status bar: the idle message and the three lock indicators.
        QCOMPARE(s.Frame()->MessagePane()->text(), QString("Ready"));
        QCOMPARE(s.Frame()->Indicator(0)->text(), QString("CAP"));
        QCOMPARE(s.Frame()->Indicator(1)->text(), QString("NUM"));
        QCOMPARE(s.Frame()->Indicator(2)->text(), QString("SCRL"));
        // Hovering a command shows its prompt; leaving it shows "Ready" again.
        QStatusTipEvent tip(s.Action(ID_FILE_OPEN)->statusTip());
        QApplication::sendEvent(s.Frame(), &tip);
        QCOMPARE(s.Frame()->statusBar()->currentMessage(), QString("Open an existing document"));
        QStatusTipEvent leave{QString()};
        QApplication::sendEvent(s.Frame(), &leave);
        QVERIFY(s.Frame()->statusBar()->currentMessage().isEmpty());
        QVERIFY(s.Frame()->MessagePane()->isVisible());
    }

    void startsEmptyWithEveryStreamCommandDisabled() {
        CSession s;
        QCOMPARE(s.Frame()->windowTitle(), QString("Untitled - Tavro"));
        QCOMPARE(s.Doc().m_cState, 'd');
        QCOMPARE(s.Enabled(), QList<int>{});
        QVERIFY(!s.Action(ID_FILE_MRU_FILE1)->isEnabled());  // empty recent-file list
        for (int nId :
             {ID_FILE_OPEN, ID_APP_EXIT, ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_APP_ABOUT}) {
            QVERIFY(s.Action(nId)->isEnabled());
        }
        QCOMPARE(InkedRows(s.Frame()->View()), QList<int>{});  // a blank view
        // Shortcuts of disabled commands do nothing.
        s.Key(Qt::Key_S);
        s.Key(Qt::Key_C);
        s.Key(Qt::Key_P);
        QVERIFY(s.prompts.requests.empty());
        QVERIFY(s.dialogs.parametersShown.empty());
        QVERIFY(s.dialogs.viewerRuns.empty());
    }

    void openThroughTheMenuShowsTheStream() {
        CSession s;
        const std::string strClip = s.Write("clip.qcf", 3);
        s.OpenByMenu(strClip);
        QCOMPARE(s.prompts.requests.size(), size_t(1));
        const FileChooserRequest& request = s.prompts.requests[0];
        QVERIFY(request.bOpen);
        QCOMPARE(request.strDefaultExt, std::string("qcf"));
        QCOMPARE(request.strInitialName, std::string("*.qcf; *.cmp"));

        QCOMPARE(s.Frame()->windowTitle(), QString("clip.qcf - Tavro"));
        QCOMPARE(s.Summary(),
                 (QStringList{"Qcif stream loaded.", "QCF Stream length: 114048.",
                              "Frames in stream: 3.", "No Comparison File Selected."}));
        QCOMPARE(s.Enabled(), (QList<int>{ID_FILE_SAVE_AS, ID_COMPRESS, ID_PLAY, ID_COMPARE_FRAMES,
                                          ID_COMPARE_STREAMS}));
        // Four lines of 20-pixel text, the first starting at y = 25, 25 apart.
        const QList<int> rows = InkedRows(s.Frame()->View());
        QVERIFY(!rows.isEmpty());
        QVERIFY2(rows.first() >= 25 && rows.first() < 32,
                 qPrintable(QString::number(rows.first())));
        QVERIFY2(rows.last() >= 100 && rows.last() < 125, qPrintable(QString::number(rows.last())));
        for (int y = 25; y < 125; y += 25) {
            QVERIFY(
                std::any_of(rows.begin(), rows.end(), [y](int r) { return r >= y && r < y + 20; }));
        }
        // Height 20 is the cell (ascent + descent): an em of 18 pixels in Arial's metrics.
        const QFontMetrics metrics(CTavroView::SummaryFont());
        QCOMPARE(metrics.ascent() + metrics.descent(), 20);
        QCOMPARE(CTavroView::SummaryFont().pixelSize(), 18);
        QCOMPARE(QFontInfo(CTavroView::SummaryFont()).family(), QString("Liberation Sans"));

        // The file went first into the recent-file list, and into the settings.
        QCOMPARE(s.app.RecentFiles().Files(), QStringList{QString::fromStdString(strClip)});
        QVERIFY(s.Action(ID_FILE_MRU_FILE1)->isEnabled());
        QCOMPARE(s.Action(ID_FILE_MRU_FILE1)->text(),
                 CRecentFileList::MenuText(0, QString::fromStdString(strClip)) + "\tCtrl+L");
        QSettings settings;
        QCOMPARE(settings.value("Recent File List/File1").toString(),
                 QString::fromStdString(strClip));
    }

    void failedOpenEmptiesTheDocumentFailedImportKeepsIt() {
        CSession s;
        s.OpenByMenu(s.Write("clip.qcf", 2));
        const struct {
            const char* pszName;
            std::vector<CScriptedPrompts::Message> messages;
            bool bEmptied;
            bool bImport = false;  // File > Import Video... instead of Open
        } rows[] = {
            // A failed import says why once and keeps the stream.
            {"short.yuv", {{"\"short.yuv\" holds no whole frame.", "Error"}}, false, true},
            {"c.cmp",
             {{"\"c.cmp\" is a compressed stream: open it with File > Open.", "Error"}},
             false,
             true},
            {"notes.txt",
             {{"Unknown File Type.", "Error"}, {"Invalid format file.", "Error"}},
             true},
            // Less than one frame: no command may be offered on a stream of no frame.
            {"short.qcf", {{"Invalid format file.", "Error"}}, true},
        };
        for (const auto& row : rows) {
            WriteBytes(s.dir.File(row.pszName), std::vector<uint8_t>(100, 7));
            s.prompts.messages.clear();
            if (row.bImport) {
                s.prompts.QueueChoice(s.dir.File(row.pszName));
                s.Trigger(ID_FILE_IMPORT_VIDEO);
            } else {
                s.OpenByMenu(s.dir.File(row.pszName));
            }
            QCOMPARE(s.prompts.messages, row.messages);
            QCOMPARE(s.Frame()->windowTitle(),
                     QString(row.bEmptied ? "Untitled - Tavro" : "clip.qcf - Tavro"));
            QCOMPARE(s.Doc().m_cState, row.bEmptied ? 'd' : 'i');
            if (row.bEmptied) {
                QCOMPARE(s.Enabled(), QList<int>{});
                QCOMPARE(InkedRows(s.Frame()->View()), QList<int>{});
            }
        }
        QCOMPARE(s.app.RecentFiles().Files().size(), 1);  // failures are not remembered
    }

    // Open, compress with chosen parameters, save, decompress, save, play and
    // compare, all through shortcuts and menu commands.
    void compressDecompressSavePlayCompare() {
        CSession s;
        s.OpenByMenu(s.Write("clip.qcf", 100));
        s.dialogs.parameters.push_back(CParametersChoice{0, 30, 10, 20});
        s.Key(Qt::Key_C);  // Compress
        QCOMPARE(s.dialogs.parametersShown.size(), size_t(1));
        QCOMPARE(s.dialogs.parametersShown[0].m_nMaxFrames, 100u);
        QCOMPARE(s.dialogs.parametersShown[0].m_nThreshold, 10u);
        QCOMPARE(s.dialogs.parametersShown[0].m_nQuantiser, 16u);
        QCOMPARE(s.Doc().m_cState, 's');
        const uint32_t nCmpLength = s.Doc().m_nCmpLength;
        const QStringList summary = s.Summary();
        QCOMPARE(summary.mid(0, 7),
                 (QStringList{"Compressed data computed from Qcif stream.", "Frames in stream: 10.",
                              "Threshold: 20.", "Quantiser: 30.", "QCF Stream length: 380160.",
                              "Input RGB Stream length: 760320.",
                              QString("CMP Stream length: %1.").arg(nCmpLength)}));
        QCOMPARE(summary[7],
                 QString("Average Bytes per frame: %1.").arg(nCmpLength / 10.0, 0, 'f', 2));
        QCOMPARE(summary[8],
                 QString("Compression ratio (RGB/CMP): %1.").arg(760320.0 / nCmpLength, 0, 'f', 2));
        QCOMPARE(s.Enabled(), (QList<int>{ID_FILE_SAVE_AS, ID_DECOMPRESS}));
        QCOMPARE(InkedRows(s.Frame()->View()).last() / 25, 250 / 25);  // ten lines

        // Save Output (Ctrl+S) writes the compressed stream, header first.
        s.prompts.QueueChoice(s.dir.File("clip.cmp"));
        s.Key(Qt::Key_S);
        QCOMPARE(s.prompts.requests.back().bOpen, false);
        QCOMPARE(s.prompts.requests.back().strDefaultExt, std::string("cmp"));
        const std::vector<uint8_t> cmp = ReadBytes(s.dir.File("clip.cmp"));
        QCOMPARE(cmp.size(), size_t(nCmpLength));
        QCOMPARE((std::vector<uint8_t>(cmp.begin(), cmp.begin() + 4)),
                 (std::vector<uint8_t>{10, 0, 20, 30}));

        s.Key(Qt::Key_D);  // Decompress
        QCOMPARE(s.Doc().m_cState, 'x');
        QCOMPARE(s.Summary()[0], QString("Qcif stream extracted from compressed data."));
        QCOMPARE(s.Summary()[6], QString("CMP Stream length: %1.").arg(nCmpLength));
        QCOMPARE(s.Enabled(), (QList<int>{ID_FILE_SAVE_AS, ID_COMPRESS, ID_PLAY, ID_COMPARE_FRAMES,
                                          ID_COMPARE_STREAMS}));
        s.prompts.QueueChoice(s.dir.File("back.qcf"));
        s.Trigger(ID_FILE_SAVE_AS);
        QCOMPARE(ReadBytes(s.dir.File("back.qcf")).size(), size_t(380160));

        s.Key(Qt::Key_P);  // Play
        QCOMPARE(s.dialogs.viewerRuns.size(), size_t(1));
        QCOMPARE(s.dialogs.viewerRuns[0].first, s.Doc().m_pQcfData);
        QCOMPARE(s.dialogs.viewerRuns[0].second, uint16_t(10));

        // A new Compress offers the ten frames held now; cancelling it changes nothing.
        s.dialogs.parameters.push_back(std::nullopt);
        s.Trigger(ID_COMPRESS);
        QCOMPARE(s.dialogs.parametersShown.back().m_nMaxFrames, 10u);
        QCOMPARE(s.Doc().m_cState, 'x');

        // Compare Frames asks for the comparison file first; then Change Compare
        // File is enabled and the summary names the file.
        QVERIFY(!s.Action(ID_CHANGE_COMPARE_FILE)->isEnabled());
        // The view redraws as soon as the file is accepted, before the dialog shows.
        CPaintCounter paints(s.Frame()->View());
        QCoreApplication::processEvents();
        paints.nPaints = 0;
        int nPaintsBeforeDialog = -1;
        s.dialogs.whileComparing = [&] {
            QCoreApplication::processEvents();
            nPaintsBeforeDialog = paints.nPaints;
        };
        s.prompts.QueueChoice(s.Write("ref.qcf", 10));
        s.Key(Qt::Key_F);
        QVERIFY(nPaintsBeforeDialog > 0);
        s.dialogs.whileComparing = nullptr;
        QCOMPARE(s.dialogs.compareRuns.size(), size_t(1));
        QCOMPARE(s.dialogs.compareRuns[0].first, true);
        QVERIFY(!s.dialogs.compareRuns[0].second.empty());
        QVERIFY(s.Action(ID_CHANGE_COMPARE_FILE)->isEnabled());
        QCOMPARE(s.Summary().last(), QString("Comparison File:  ref.qcf."));
        // Compare Streams only through its menu item or button.
        s.Trigger(ID_COMPARE_STREAMS);
        QCOMPARE(s.dialogs.compareRuns.size(), size_t(2));
        QCOMPARE(s.dialogs.compareRuns[1].first, false);
        // Change Compare File (Ctrl+A) to another file.
        s.prompts.QueueChoice(s.Write("other.qcf", 4));
        s.Key(Qt::Key_A);
        QCOMPARE(s.Summary().last(), QString("Comparison File:  other.qcf."));
    }

    // A compression's result that has not been saved: each way of discarding
    // it asks first, and does what the answer says.
    void unsavedResultIsAskedFor() {
        enum Path { MenuOpen, MenuImport, Drop, RecentEntry, Exit };
        for (Path path : {MenuOpen, MenuImport, Drop, RecentEntry, Exit}) {
            for (ESaveChoice answer :
                 {ESaveChoice::Cancel, ESaveChoice::Discard, ESaveChoice::Save}) {
                CSession s;
                s.OpenByMenu(s.Write("clip.qcf", 3));
                s.dialogs.parameters.push_back(CParametersChoice{0, 16, 3, 10});
                s.Trigger(ID_COMPRESS);
                const std::string strOther = s.Write("other.qcf", 2);
                s.prompts.QueueSaveAnswer(answer);
                if (path == MenuOpen || path == MenuImport) {
                    s.prompts.QueueChoice(strOther);
                }
                s.prompts.QueueChoice(s.dir.File("kept.cmp"));  // if Save Output... is chosen
                if (path == MenuOpen || path == MenuImport) {
                    s.Trigger(path == MenuOpen ? ID_FILE_OPEN : ID_FILE_IMPORT_VIDEO);
                } else if (path == Drop) {
                    QVERIFY(s.Drop(strOther));
                } else {
                    s.Key(path == RecentEntry ? Qt::Key_L : Qt::Key_X);  // Ctrl+L: clip.qcf again
                }
                QCOMPARE(s.prompts.questions.size(), size_t(1));
                QVERIFY(s.prompts.messages.empty());
                const bool bGoneOn = answer != ESaveChoice::Cancel;
                QCOMPARE(s.Frame()->isVisible(), path != Exit || !bGoneOn);
                QCOMPARE(s.Doc().m_cState, path == Exit || !bGoneOn ? 's' : 'i');
                QCOMPARE(s.Doc().IsModified(),
                         path == Exit ? answer != ESaveChoice::Save : !bGoneOn);
                QCOMPARE(std::filesystem::exists(s.dir.File("kept.cmp")),
                         answer == ESaveChoice::Save);
                if (path == MenuImport && bGoneOn) {
                    // Named by its source, but no entry for the recent-file list.
                    QCOMPARE(s.Frame()->windowTitle(), QString("other.qcf - Tavro"));
                    QCOMPARE(s.app.RecentFiles().Files().size(), 1);
                }
            }
        }
    }

    void ctrlSAlwaysMeansSaveOutput() {
        CSession s;
        s.OpenByMenu(s.Write("clip.qcf", 2));
        s.prompts.QueueChoice(std::nullopt);
        s.Key(Qt::Key_S);
        QCOMPARE(s.prompts.requests.size(), size_t(2));
        QCOMPARE(s.prompts.requests.back().bOpen, false);  // the save chooser
        QVERIFY(s.dialogs.compareRuns.empty());
        QVERIFY(s.prompts.messages.empty());
    }

    void cancelledRunsKeepTheStream() {
        for (auto mode : {CFakeDialogs::Processing::CloseBeforeStart,
                          CFakeDialogs::Processing::CancelAfterLastFrame}) {
            CSession s;
            s.OpenByMenu(s.Write("clip.qcf", 100));
            s.dialogs.processing = mode;
            s.dialogs.parameters.push_back(CParametersChoice{0, 30, 7, 20});
            s.Trigger(ID_COMPRESS);
            QCOMPARE(s.Doc().m_cState, 'i');
            QCOMPARE(s.Summary()[2], QString("Frames in stream: 100."));
            // Play shows only the frames chosen for the cancelled run.
            s.Trigger(ID_PLAY);
            QCOMPARE(s.dialogs.viewerRuns.back().second, uint16_t(7));

            // A cancelled decompression keeps the compressed stream.
            s.dialogs.processing = CFakeDialogs::Processing::Run;
            s.dialogs.parameters.push_back(CParametersChoice{0, 16, 3, 10});
            s.Trigger(ID_COMPRESS);
            QCOMPARE(s.Doc().m_cState, 's');
            const uint32_t nLength = s.Doc().m_nCmpLength;
            s.dialogs.processing = mode;
            s.Trigger(ID_DECOMPRESS);
            QCOMPARE(s.Doc().m_cState, 's');
            QCOMPARE(s.Doc().m_nCmpLength, nLength);
            QCOMPARE(s.Enabled(), (QList<int>{ID_FILE_SAVE_AS, ID_DECOMPRESS}));
        }
    }

    void droppedCompressedFileOpensAsCompressed() {
        CSession s;
        // A .cmp made by the program itself.
        s.OpenByMenu(s.Write("clip.qcf", 4));
        s.dialogs.parameters.push_back(CParametersChoice{0, 16, 4, 10});
        s.Trigger(ID_COMPRESS);
        s.prompts.QueueChoice(s.dir.File("drop.cmp"));
        s.Trigger(ID_FILE_SAVE_AS);

        QVERIFY(s.Drop(s.dir.File("drop.cmp")));
        QCOMPARE(s.Doc().m_cState, 'n');
        QCOMPARE(s.Frame()->windowTitle(), QString("drop.cmp - Tavro"));
        QCOMPARE(s.Summary()[0], QString("Compressed data loaded."));
        QCOMPARE(s.Enabled(), (QList<int>{ID_FILE_SAVE_AS, ID_DECOMPRESS}));
        QCOMPARE(QFileInfo(s.app.RecentFiles().Files().value(0)).fileName(), QString("drop.cmp"));
    }

    void recentFileListKeepsFourAndOpensThem() {
        CSession s;
        std::vector<std::string> paths;
        for (int i = 1; i <= 5; ++i) {
            paths.push_back(s.Write("clip" + std::to_string(i) + ".qcf", i));
            s.OpenByMenu(paths.back());
        }
        QList<QAction*> entries = s.Frame()->RecentFileActions();
        QStringList texts;
        for (QAction* pEntry : entries) {
            if (pEntry->isVisible()) {
                texts << pEntry->text().section('\t', 0, 0).section('/', -1);
            }
        }
        QCOMPARE(texts, (QStringList{"clip5.qcf", "clip4.qcf", "clip3.qcf", "clip2.qcf"}));
        QCOMPARE(entries[1]->statusTip(), QString("Open this document"));

        // The third entry opens clip3 and moves it first.
        entries[2]->trigger();
        QCOMPARE(s.Doc().m_nStreamFrames, 3);
        QCOMPARE(s.Frame()->windowTitle(), QString("clip3.qcf - Tavro"));
        QCOMPARE(QFileInfo(s.app.RecentFiles().Files()[0]).fileName(), QString("clip3.qcf"));

        // A new start reads the list back; Ctrl+L opens the newest.
        CScriptedPrompts prompts;
        CFakeDialogs dialogs;
        {
            CTavroApp again(&dialogs, CTavroApp::Options{false});
            QVERIFY(again.InitInstance({}));
            QCOMPARE(again.RecentFiles().Files(), s.app.RecentFiles().Files());
            again.MainFrame()->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(again.MainFrame()));
            QTest::keyClick(again.MainFrame(), Qt::Key_L, Qt::ControlModifier);
            QCOMPARE(again.Document().m_nStreamFrames, 3);
            QCOMPARE(again.MainFrame()->windowTitle(), QString("clip3.qcf - Tavro"));

            // An entry whose file has gone shows the failure and leaves the list.
            std::filesystem::remove(paths[4]);
            QList<QAction*> againEntries = again.MainFrame()->RecentFileActions();
            againEntries[1]->trigger();  // clip5
            QCOMPARE(prompts.messages.back().strText, std::string("Invalid format file."));
            QCOMPARE(again.RecentFiles().Files().size(), 3);
        }
    }

    void commandLine() {
        CTempDir dir;
        WriteBytes(dir.File("clip.qcf"), Frames(2));
        WriteBytes(dir.File("bad.txt"), Frames(1));
        const struct {
            QStringList arguments;
            bool bRuns;
            int nStatus;
            char cState;
        } rows[] = {
            {{}, true, 0, 'd'},
            {{QString::fromStdString(dir.File("clip.qcf"))}, true, 0, 'i'},
            {{QString::fromStdString(dir.File("bad.txt"))}, false, 1, 'd'},
            {{QString::fromStdString(dir.File("missing.qcf"))}, false, 1, 'd'},
            {{"--version"}, false, 0, 'd'},
            {{"a.qcf", "b.qcf"}, false, 2, 'd'},
            {{"--no-such-option"}, false, 2, 'd'},
        };
        for (const auto& row : rows) {
            CSession s(row.arguments, false);
            const bool bRuns = s.app.InitInstance(row.arguments);
            QCOMPARE(bRuns, row.bRuns);
            QCOMPARE(s.app.ExitStatus(), row.nStatus);
            QCOMPARE(s.Doc().m_cState, row.cState);
            if (row.nStatus == 1) {
                QCOMPARE(s.prompts.messages.back().strText, std::string("Invalid format file."));
            }
            if (row.cState == 'i') {
                QCOMPARE(s.Frame()->windowTitle(), QString("clip.qcf - Tavro"));
                QVERIFY(s.Frame()->isVisible());
            }
        }
    }

    void viewTogglesAndExit() {
        CSession s;
        QVERIFY(s.Frame()->ToolBar()->isVisible());
        s.Trigger(ID_VIEW_TOOLBAR);
        QVERIFY(!s.Frame()->ToolBar()->isVisible());
        QVERIFY(!s.Action(ID_VIEW_TOOLBAR)->isChecked());
        s.Trigger(ID_VIEW_STATUS_BAR);
        QVERIFY(!s.Frame()->statusBar()->isVisible());
        s.Trigger(ID_VIEW_TOOLBAR);
        s.Trigger(ID_VIEW_STATUS_BAR);
        QVERIFY(s.Frame()->ToolBar()->isVisible());
        QVERIFY(s.Frame()->statusBar()->isVisible());
        s.Key(Qt::Key_X);  // Exit, not a clipboard command
        QVERIFY(!s.Frame()->isVisible());
    }

    void aboutBox() {
        CSession s;
        QString strTitle, strText;
        QSize banner;
        WhenModal<CAboutDlg>([&](CAboutDlg* pDlg) {
            strTitle = pDlg->windowTitle();
            strText = pDlg->findChild<QLabel*>("AboutText")->text();
            banner = Ctl<QLabel>(pDlg, IDC_ABOUT_BANNER)->pixmap().size();
            QTest::mouseClick(Ctl<QPushButton>(pDlg, IDOK), Qt::LeftButton);
        });
        s.Key(Qt::Key_F1, Qt::NoModifier);
        QCOMPARE(strTitle, QString("About Tavro"));
        QCOMPARE(strText.section('\n', 0, 0), QString("Tavro version 1.0"));
        QCOMPARE(banner, QSize(455, 79));
    }

    // The real parameters, processing and viewer dialogs behind Compress,
    // Decompress and Play, answered by clicks.
    void realDialogsCompressDecompressPlay() {
        CScriptedPrompts prompts;
        CTempDir dir;
        QSettings().clear();
        CTavroApp app(nullptr, CTavroApp::Options{false});
        QVERIFY(app.InitInstance({}));
        WriteBytes(dir.File("clip.qcf"), Frames(12));
        QVERIFY(app.MainFrame()->OpenDocumentFile(QString::fromStdString(dir.File("clip.qcf"))));

        WhenModal<CParametersDlg>([](CParametersDlg* pDlg) {
            Ctl<QSlider>(pDlg, IDC_FRAMES_SLIDER)->setSliderPosition(5);  // frames
            QTest::mouseClick(Ctl<QPushButton>(pDlg, IDOK), Qt::LeftButton);
        });
        // Start, then the run closes the dialog by itself.
        WhenModal<CProcessingDlg>([](CProcessingDlg* pDlg) {
            QTest::mouseClick(Ctl<QPushButton>(pDlg, IDC_START), Qt::LeftButton);
        });
        app.MainFrame()->Action(ID_COMPRESS)->trigger();
        QCOMPARE(app.Document().m_cState, 's');
        QCOMPARE(app.Document().m_nCodedFrames, 5);
        QCOMPARE(app.Document().m_nThreshold, 10u);
        QCOMPARE(app.Document().m_nQuantiser, 16u);

        // Cancel before Start keeps the compressed stream.
        WhenModal<CProcessingDlg>([](CProcessingDlg* pDlg) {
            QTest::mouseClick(Ctl<QPushButton>(pDlg, IDCANCEL), Qt::LeftButton);
        });
        app.MainFrame()->Action(ID_DECOMPRESS)->trigger();
        QCOMPARE(app.Document().m_cState, 's');
        WhenModal<CProcessingDlg>([](CProcessingDlg* pDlg) {
            QTest::mouseClick(Ctl<QPushButton>(pDlg, IDC_START), Qt::LeftButton);
        });
        app.MainFrame()->Action(ID_DECOMPRESS)->trigger();
        QCOMPARE(app.Document().m_cState, 'x');
        QCOMPARE(app.Document().m_nStreamFrames, 5);

        uint32_t nShown = 0;
        WhenModal<CViewerDlg>([&nShown](CViewerDlg* pDlg) {
            nShown = Ctl<QLineEdit>(pDlg, IDC_VIEWER_COUNT_EDIT)->text().toUInt();
            QTest::mouseClick(Ctl<QAbstractButton>(pDlg, IDCANCEL), Qt::LeftButton);
        });
        app.MainFrame()->Action(ID_PLAY)->trigger();
        QCOMPARE(nShown, 5u);
    }

    // The real comparison dialog behind Compare Frames, answered by clicks.
    void realComparisonDialog() {
        CScriptedPrompts prompts;
        CTempDir dir;
        QSettings().clear();
        CTavroApp app(nullptr, CTavroApp::Options{false});
        QVERIFY(app.InitInstance({}));
        WriteBytes(dir.File("clip.qcf"), Frames(5));
        WriteBytes(dir.File("ref.qcf"), Frames(3));
        QVERIFY(app.MainFrame()->OpenDocumentFile(QString::fromStdString(dir.File("clip.qcf"))));
        prompts.QueueChoice(dir.File("ref.qcf"));
        QString strTotal, strRmse;
        WhenModal<CCompareDlg>([&](CCompareDlg* pDlg) {
            QTest::mouseClick(Ctl<QPushButton>(pDlg, IDOK), Qt::LeftButton);
            strTotal = Ctl<QLineEdit>(pDlg, IDC_TOTAL_FRAMES_EDIT)->text();
            strRmse = Ctl<QLineEdit>(pDlg, IDC_RMSE_EDIT)->text();
            QTest::mouseClick(Ctl<QPushButton>(pDlg, IDCANCEL), Qt::LeftButton);
        });
        app.MainFrame()->Action(ID_COMPARE_FRAMES)->trigger();
        QCOMPARE(strTotal, QString("3"));  // the shorter of the two streams
        QVERIFY(!strRmse.isEmpty());
        QVERIFY(app.MainFrame()->Action(ID_CHANGE_COMPARE_FILE)->isEnabled());
    }

    // A name typed without extension in the real Open dialog is looked for
    // with .qcf.
    void typedNameGetsTheDefaultExtension() {
        CTempDir dir;
        WriteBytes(dir.File("clip.qcf"), Frames(2));
        CQtPrompts qtPrompts;
        IPromptServices* pPrevious = SetPrompts(&qtPrompts);
        {
            CFakeDialogs dialogs;
            QSettings().clear();
            CTavroApp app(&dialogs, CTavroApp::Options{false});
            QVERIFY(app.InitInstance({}));
            const QString strDir = QString::fromStdString(dir.Path().string());
            WhenModal<QFileDialog>([strDir](QFileDialog* pDlg) {
                pDlg->setDirectory(strDir);
                auto* pName = pDlg->findChild<QLineEdit*>("fileNameEdit");
                pName->setText("clip");
                QTest::keyClick(pName, Qt::Key_Return);
            });
            app.MainFrame()->Action(ID_FILE_OPEN)->trigger();
            QCOMPARE(app.Document().m_cState, 'i');
            QCOMPARE(QString::fromStdString(app.Document().GetPathName()).section('/', -1),
                     QString("clip.qcf"));
            QCOMPARE(app.MainFrame()->windowTitle(), QString("clip.qcf - Tavro"));
        }
        SetPrompts(pPrevious);
    }
};

int main(int argc, char* argv[]) {
    // Settings and desktop files of the tests stay in a folder of their own.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    QApplication application(argc, argv);
    CTavroApp::SetIdentity();
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_main_window.moc"
