#pragma once
// Finding dialog controls by their numeric id in QTest suites, and typing at
// the focused control as a user does.

#include <QApplication>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include "app/DialogControls.h"

template <class T>
T* Ctl(QWidget* pDialog, int nId) {
    return pDialog->findChild<T*>(ControlName(nId));
}

// Shows pDialog and waits until it has the keyboard; false if it never does.
inline bool ShowActive(QWidget* pDialog) {
    pDialog->show();
    pDialog->activateWindow();
    return QTest::qWaitForWindowActive(pDialog);
}

// Sends each key (with its modifiers) to whichever control has the focus, as
// typing does; Qt::Key_Close stands for the close box. Returns the focused
// control's name before the first key and after each one; "closed" once the
// dialog has gone.
inline QStringList TypeKeys(QWidget* pDialog, const QList<QKeyCombination>& keys) {
    auto focus = [pDialog] {
        QWidget* pFocus = QApplication::focusWidget();
        return !pDialog->isVisible() ? QStringLiteral("closed")
               : pFocus != nullptr   ? pFocus->objectName()
                                     : QStringLiteral("none");
    };
    QStringList path{focus()};
    for (const QKeyCombination key : keys) {
        if (!pDialog->isVisible()) {
            break;
        }
        QWidget* pTarget = QApplication::focusWidget() ? QApplication::focusWidget() : pDialog;
        if (key.key() == Qt::Key_Close) {
            pDialog->close();
        } else {
            QTest::keyClick(pTarget, key.key(), key.keyboardModifiers());
        }
        path << focus();
    }
    return path;
}

// Whether an edit has the read-only look: the window's colour behind its text.
inline bool HasReadOnlyLook(QWidget* pEdit) {
    return pEdit->palette().color(QPalette::Base) == pEdit->palette().color(QPalette::Window);
}
