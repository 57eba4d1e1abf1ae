#pragma once
// Finding dialog controls by their numeric id in QTest suites, typing at the
// focused control as a user does, and the colour a control is drawn in.

#include <QApplication>
#include <QImage>
#include <QMap>
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
// typing does. Returns the focused control's name before the first key and
// after each one; "closed" once the dialog has gone.
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
        QTest::keyClick(pTarget, key.key(), key.keyboardModifiers());
        path << focus();
    }
    return path;
}

// The colour that covers most of a control as drawn.
inline QColor DominantColour(QWidget* pWidget) {
    const QImage image = pWidget->grab().toImage();
    QMap<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    QRgb best = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > counts.value(best)) {
            best = it.key();
        }
    }
    return QColor::fromRgb(best);
}
