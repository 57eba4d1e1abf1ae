#pragma once
// Finding dialog controls by their numeric id in QTest suites.

#include <QWidget>

#include "app/DialogControls.h"

template <class T>
T* Ctl(QWidget* pDialog, int nId) {
    return pDialog->findChild<T*>(ControlName(nId));
}
