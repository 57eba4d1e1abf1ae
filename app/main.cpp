// The Tavro desktop workbench.

#include <QApplication>
#include <QMainWindow>

#include "app/QtPrompts.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavro"));
    QApplication::setApplicationVersion(QStringLiteral(TAVRO_VERSION));

    CQtPrompts prompts;
    SetPrompts(&prompts);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Untitled - Tavro"));
    window.resize(640, 480);
    window.show();

    const int nStatus = QApplication::exec();
    SetPrompts(nullptr);
    return nStatus;
}
