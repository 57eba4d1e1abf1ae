#include "app/ShellResources.h"

#include <QtGlobal>

// Outside any namespace, as Qt's resource initialiser requires.
void InitShellResources() {
    static const bool bDone = [] {
        Q_INIT_RESOURCE(tavro);
        return true;
    }();
    (void)bDone;
}
