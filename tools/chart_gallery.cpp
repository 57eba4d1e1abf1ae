// Renders the per-frame chart of a stream against a comparison file into a PNG,
// for the screenshot in docs/, through the main window's own menu command:
//   chart_gallery STREAM.qcf REFERENCE.qcf OUT.png [FRAME [OUT.csv]]
// FRAME (default 1) is the frame whose read-out is shown as if pointed at. The
// opened stream enters the recent-file list: run it with XDG_CONFIG_HOME set to
// a scratch folder to keep your own list.

#include <QAction>
#include <QApplication>
#include <QTest>
#include <cstdio>

#include "app/ChartWindow.h"
#include "app/MainFrame.h"
#include "app/ShellCommands.h"
#include "app/TavroApp.h"
#include "document/TavroDoc.h"
#include "support/ScriptedPrompts.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: chart_gallery STREAM.qcf REFERENCE.qcf OUT.png [FRAME [OUT.csv]]\n");
        return 2;
    }
    CScriptedPrompts prompts;
    CTavroApp app(nullptr, CTavroApp::Options{false});
    if (!app.InitInstance({QString::fromLocal8Bit(argv[1])})) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    prompts.QueueChoice(std::string(argv[2]));
    if (app.Document().OnChangeCompareFile() != 1) {
        std::fprintf(stderr, "not accepted as a comparison file: %s\n", argv[2]);
        return 1;
    }
    app.MainFrame()->UpdateCommands();
    app.MainFrame()->Action(ID_PER_FRAME_CHART)->trigger();
    CChartWindow* pWindow = app.MainFrame()->ChartWindow();
    if (pWindow == nullptr) {
        for (const auto& message : prompts.messages) {
            std::fprintf(stderr, "%s\n", message.strText.c_str());
        }
        return 1;
    }
    (void)QTest::qWaitForWindowExposed(pWindow);
    pWindow->ShowReadout(argc > 4 ? std::atoi(argv[4]) : 1);
    QTest::qWait(200);
    if (!pWindow->grab().save(QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "could not write %s\n", argv[3]);
        return 1;
    }
    if (argc > 5) {  // the figures too, through the window's export
        prompts.QueueChoice(std::string(argv[5]));
        if (!pWindow->ExportCsv()) {
            std::fprintf(stderr, "could not write %s\n", argv[5]);
            return 1;
        }
    }
    return 0;
}
