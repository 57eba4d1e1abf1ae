// Renders the comparison view and the per-frame chart into PNG files, for the
// screenshots in docs/, through the main window's own commands:
//   analysis_gallery STREAM.cmp REFERENCE.qcf OUTDIR [SUFFIX] [--screen]
// The compressed stream is opened and decompressed, REFERENCE chosen as the
// comparison file, and the view opened on frame 50 (or the last frame). Pictures
// (SUFFIX is appended to each name, e.g. "@2x"):
//   analysis-side       side by side, true colour, signed difference at gain 8
//   analysis-stacked-y  stacked, the Y plane, signed difference at gain 8
//   analysis-zoom4      side by side, true colour, 4x on a detail
//   analysis-heat       side by side, the Y plane, heat map at gain 8, 2x
//   analysis-strip      the whole strip as Save PNG writes it at 2x
//   chart-marked        the chart window with the view's frame marked
//   chart-export        the chart as Save PNG writes it (1200 x 750)
// With --screen the chart and then the comparison view are opened where the
// program places them, and the whole screen is captured after each as
// chart-screen and analysis-screen (to see that they fit).
// Run it with XDG_CONFIG_HOME set to a scratch folder to keep your recent files.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTest>
#include <cstdio>

#include "app/AnalysisWindow.h"
#include "app/ChartWindow.h"
#include "app/MainFrame.h"
#include "app/ShellCommands.h"
#include "app/TavroApp.h"
#include "codec/CodecContext.h"
#include "document/DocumentCommands.h"
#include "document/TavroDoc.h"
#include "support/ScriptedPrompts.h"

namespace {

// Runs the document's processing at once, on this thread.
class CImmediateDialogs : public IDocumentDialogs {
public:
    int RunParameters(CParametersChoice&) override { return IDCANCEL; }
    int RunProcessing(CCodecContext& context, bool& bCancelled) override {
        context.Run();
        bCancelled = false;
        return IDOK;
    }
    void RunViewer(const uint8_t*, uint32_t) override {}
};

bool Save(QWidget* pWidget, const QString& strDir, const QString& strName,
          const QString& strSuffix) {
    QTest::qWait(150);
    const QString strPath = strDir + "/" + strName + strSuffix + ".png";
    if (!pWidget->grab().save(strPath)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(strPath));
        return false;
    }
    std::printf("wrote %s\n", qPrintable(strPath));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: analysis_gallery STREAM.cmp REFERENCE.qcf OUTDIR [SUFFIX]\n");
        return 2;
    }
    const QString strDir = QString::fromLocal8Bit(argv[3]);
    const QString strSuffix = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString();
    const bool bScreen = argc > 5 && QString::fromLocal8Bit(argv[5]) == QStringLiteral("--screen");
    QDir().mkpath(strDir);
    CScriptedPrompts prompts;
    CTavroApp app(nullptr, CTavroApp::Options{false});
    if (!app.InitInstance({QString::fromLocal8Bit(argv[1])})) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    CTavroDoc& doc = app.Document();
    CImmediateDialogs dialogs;
    doc.Decompress(dialogs);
    prompts.QueueChoice(std::string(argv[2]));
    if (doc.m_cState != 'x' || doc.OnChangeCompareFile() != 1) {
        std::fprintf(stderr, "could not decompress %s against %s\n", argv[1], argv[2]);
        return 1;
    }
    CMainFrame* pFrame = app.MainFrame();
    pFrame->UpdateCommands();
    if (bScreen) {
        pFrame->Action(ID_PER_FRAME_CHART)->trigger();
        if (pFrame->ChartWindow() == nullptr) {
            std::fprintf(stderr, "no chart\n");
            return 1;
        }
        auto grabScreen = [&](QWidget* pWindow, const char* pszName) {
            (void)QTest::qWaitForWindowExposed(pWindow);
            QTest::qWait(300);
            const QString strPath = strDir + "/" + pszName + strSuffix + ".png";
            if (!pWindow->screen()->grabWindow(0).save(strPath)) {
                std::fprintf(stderr, "could not write %s\n", qPrintable(strPath));
                return false;
            }
            std::printf("wrote %s\n", qPrintable(strPath));
            return true;
        };
        if (!grabScreen(pFrame->ChartWindow(), "chart-screen")) {
            return 1;
        }
        pFrame->Action(ID_COMPARISON_VIEW)->trigger();
        if (pFrame->ComparisonView() == nullptr) {
            std::fprintf(stderr, "no comparison view\n");
            return 1;
        }
        pFrame->ComparisonView()->SetFrame(50);
        return grabScreen(pFrame->ComparisonView(), "analysis-screen") ? 0 : 1;
    }
    pFrame->Action(ID_COMPARISON_VIEW)->trigger();
    CAnalysisWindow* pView = pFrame->ComparisonView();
    if (pView == nullptr) {
        for (const auto& message : prompts.messages) {
            std::fprintf(stderr, "%s\n", message.strText.c_str());
        }
        return 1;
    }
    (void)QTest::qWaitForWindowExposed(pView);
    pView->SetFrame(50);
    pView->SetGain(8);
    bool bOk = true;

    pView->resize(1130, 470);
    pView->SetFit();
    bOk &= Save(pView, strDir, "analysis-side", strSuffix);

    pView->SetStacked(true);
    pView->SetMode(EPictureMode::Y);
    pView->resize(480, 960);
    bOk &= Save(pView, strDir, "analysis-stacked-y", strSuffix);

    pView->SetStacked(false);
    pView->SetMode(EPictureMode::Colour);
    pView->resize(1130, 470);
    pView->SetZoom(4);
    pView->CentreOn(QPointF(92, 52));  // foreman's eyes and mouth
    bOk &= Save(pView, strDir, "analysis-zoom4", strSuffix);

    pView->SetMode(EPictureMode::Y);
    pView->SetDifferenceStyle(EDifferenceStyle::Heat);
    pView->SetZoom(2);
    pView->CentreOn(QPointF(88, 72));
    bOk &= Save(pView, strDir, "analysis-heat", strSuffix);

    pView->SetMode(EPictureMode::Colour);
    pView->SetDifferenceStyle(EDifferenceStyle::Signed);
    if (strSuffix.isEmpty()) {  // pixels, not a screen: the same at every scale
        const QString strPath = strDir + "/analysis-strip.png";
        bOk &= pView->PictureAtZoom(PANE_COUNT).save(strPath);
        std::printf("wrote %s\n", qPrintable(strPath));
    }

    pFrame->Action(ID_PER_FRAME_CHART)->trigger();
    CChartWindow* pChart = pFrame->ChartWindow();
    if (pChart == nullptr) {
        std::fprintf(stderr, "no chart\n");
        return 1;
    }
    (void)QTest::qWaitForWindowExposed(pChart);
    pChart->ShowReadout(int(pView->Frame()));
    bOk &= Save(pChart, strDir, "chart-marked", strSuffix);
    if (strSuffix.isEmpty()) {
        const QString strPath = strDir + "/chart-export.png";
        bOk &= pChart->ChartImage(QSize(1200, 750)).save(strPath);
        std::printf("wrote %s\n", qPrintable(strPath));
    }
    return bOk ? 0 : 1;
}
