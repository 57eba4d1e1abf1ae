// The Tavro desktop workbench.

#include <QApplication>

#include "app/QtPrompts.h"
#include "app/TavroApp.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    CTavroApp::SetIdentity();
    CQtPrompts prompts;
    SetPrompts(&prompts);

    int nStatus = 0;
    {
        CTavroApp app;
        if (app.InitInstance(QApplication::arguments().mid(1))) {
            nStatus = QApplication::exec();
        } else {
            nStatus = app.ExitStatus();
        }
    }
    SetPrompts(nullptr);
    return nStatus;
}
