#include "app/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <cstdio>
#include <cstdlib>

namespace {

// Runs f on the user-interface thread; a worker waits until it is done.
template <class F>
void OnUiThread(F&& f) {
    QCoreApplication* pApp = QCoreApplication::instance();
    if (pApp == nullptr || QThread::currentThread() == pApp->thread()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(pApp, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

bool HasWildcard(const QString& str) {
    return str.contains(QLatin1Char('*')) || str.contains(QLatin1Char('?'));
}

}  // namespace

QtChooserSetup MakeChooserSetup(const FileChooserRequest& request) {
    QtChooserSetup setup;
    setup.strDefaultSuffix = QString::fromStdString(request.strDefaultExt);
    const QString strInitial = QString::fromStdString(request.strInitialName);
    if (HasWildcard(strInitial)) {
        // A pattern such as "*.qcf; *.cmp" in the name field filters the list.
        QStringList patterns =
            strInitial.split(QRegularExpression(QStringLiteral("[;\\s]+")), Qt::SkipEmptyParts);
        setup.nameFilters << QStringLiteral("%1 (%2)").arg(patterns.join(QStringLiteral(", ")),
                                                           patterns.join(QLatin1Char(' ')));
        setup.nameFilters << QStringLiteral("All files (*)");
    } else {
        setup.strSelectFile = strInitial;
    }
    return setup;
}

QString ApplyDefaultExtension(const QString& strPath, const QString& strExt) {
    if (strExt.isEmpty() || strPath.isEmpty()) {
        return strPath;
    }
    const QString strName = QFileInfo(strPath).fileName();
    if (strName.isEmpty() || strName.contains(QLatin1Char('.'))) {
        return strPath;
    }
    return strPath + QLatin1Char('.') + strExt;
}

void CQtPrompts::MessageBox(const std::string& strText, const std::string& strCaption) {
    OnUiThread([&] {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
            std::fprintf(stderr, "%s: %s\n", strCaption.c_str(), strText.c_str());
            return;
        }
        QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(strCaption),
                        QString::fromStdString(strText), QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    });
}

ESaveChoice CQtPrompts::AskSaveOutput(const std::string& strText, const std::string& strCaption) {
    ESaveChoice answer = ESaveChoice::Cancel;
    OnUiThread([&] {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
            std::fprintf(stderr, "%s: %s\n", strCaption.c_str(), strText.c_str());
            return;
        }
        QMessageBox box(QMessageBox::Warning, QString::fromStdString(strCaption),
                        QString::fromStdString(strText), QMessageBox::NoButton,
                        QApplication::activeWindow());
        QPushButton* pSave =
            box.addButton(QStringLiteral("Save Output..."), QMessageBox::AcceptRole);
        QPushButton* pDiscard =
            box.addButton(QStringLiteral("Discard"), QMessageBox::DestructiveRole);
        QPushButton* pCancel = box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(pSave);
        box.setEscapeButton(pCancel);
        box.exec();
        answer = box.clickedButton() == pSave      ? ESaveChoice::Save
                 : box.clickedButton() == pDiscard ? ESaveChoice::Discard
                                                   : ESaveChoice::Cancel;
    });
    return answer;
}

bool CQtPrompts::ChooseFile(const FileChooserRequest& request, FileChooserResult& result) {
    bool bChosen = false;
    OnUiThread([&] {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
            return;
        }
        const QtChooserSetup setup = MakeChooserSetup(request);
        QFileDialog dialog(QApplication::activeWindow());
        dialog.setWindowTitle(!request.strTitle.empty() ? QString::fromStdString(request.strTitle)
                              : request.bOpen           ? QStringLiteral("Open")
                                                        : QStringLiteral("Save As"));
        dialog.setAcceptMode(request.bOpen ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
        dialog.setFileMode(request.bOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        // Qt's dialog has no "open as read-only" box, so hiding it needs nothing.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.bOverwritePrompt);
        dialog.setDefaultSuffix(setup.strDefaultSuffix);
        if (!setup.nameFilters.isEmpty()) {
            dialog.setNameFilters(setup.nameFilters);
        }
        if (!setup.strSelectFile.isEmpty()) {
            dialog.selectFile(setup.strSelectFile);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return;
        }
        const QString strPath =
            ApplyDefaultExtension(dialog.selectedFiles().constFirst(), setup.strDefaultSuffix);
        result.strPathName = QDir::toNativeSeparators(strPath).toStdString();
        result.strFileName = QFileInfo(strPath).fileName().toStdString();
        bChosen = true;
    });
    return bChosen;
}

void CQtPrompts::EndProcess(int nStatus) {
    std::fflush(nullptr);
    // Exit from the user-interface thread, so no widget is torn down under a
    // running event loop of another thread; a calling worker stays blocked.
    OnUiThread([nStatus] { std::exit(nStatus); });
}
