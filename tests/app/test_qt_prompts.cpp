// The Qt prompt services: how chooser requests map onto Qt's file dialog, the
// default extension of typed names, and message boxes raised from a worker.

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <thread>

#include "app/QtPrompts.h"
#include "support/TestFiles.h"

namespace {

// Calls f with the next modal widget of type T as soon as one is shown.
template <class T = QWidget>
void WhenModalShown(std::function<void(T*)> f) {
    auto* pTimer = new QTimer;
    pTimer->setInterval(10);
    QObject::connect(pTimer, &QTimer::timeout, [pTimer, f] {
        if (T* pModal = qobject_cast<T*>(QApplication::activeModalWidget())) {
            pTimer->stop();
            pTimer->deleteLater();
            f(pModal);
        }
    });
    pTimer->start();
}

}  // namespace

class TestQtPrompts : public QObject {
    Q_OBJECT
private slots:
    void defaultExtension_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bare name") << "/tmp/clip"
                                   << "qcf"
                                   << "/tmp/clip.qcf";
        QTest::newRow("has extension") << "/tmp/clip.cmp"
                                       << "qcf"
                                       << "/tmp/clip.cmp";
        QTest::newRow("dotted folder only") << "/tmp/a.b/clip"
                                            << "qcf"
                                            << "/tmp/a.b/clip.qcf";
        QTest::newRow("no default") << "/tmp/clip"
                                    << ""
                                    << "/tmp/clip";
        QTest::newRow("empty path") << ""
                                    << "qcf"
                                    << "";
    }
    void defaultExtension() {
        QFETCH(QString, path);
        QFETCH(QString, ext);
        QFETCH(QString, expected);
        QCOMPARE(ApplyDefaultExtension(path, ext), expected);
    }

    void chooserSetup_data() {
        QTest::addColumn<QString>("initial");
        QTest::addColumn<QStringList>("filters");
        QTest::addColumn<QString>("selected");
        QTest::newRow("one pattern")
            << "*.qcf" << QStringList{"*.qcf (*.qcf)", "All files (*)"} << "";
        QTest::newRow("two patterns")
            << "*.qcf; *.cmp" << QStringList{"*.qcf, *.cmp (*.qcf *.cmp)", "All files (*)"} << "";
        QTest::newRow("plain name") << "out.cmp" << QStringList{} << "out.cmp";
        QTest::newRow("empty") << "" << QStringList{} << "";
    }
    void chooserSetup() {
        QFETCH(QString, initial);
        QFETCH(QStringList, filters);
        QFETCH(QString, selected);
        FileChooserRequest request;
        request.strDefaultExt = "qcf";
        request.strInitialName = initial.toStdString();
        const QtChooserSetup setup = MakeChooserSetup(request);
        QCOMPARE(setup.nameFilters, filters);
        QCOMPARE(setup.strSelectFile, selected);
        QCOMPARE(setup.strDefaultSuffix, QString("qcf"));
    }

    // A name typed without extension is taken with the default one, in both modes.
    void typedNameGetsDefaultExtension_data() {
        QTest::addColumn<bool>("open");
        QTest::newRow("open") << true;
        QTest::newRow("save") << false;
    }
    void typedNameGetsDefaultExtension() {
        QFETCH(bool, open);
        CTempDir dir;
        WriteBytes(dir.File("clip.qcf"), {1, 2, 3});
        const QString strTyped = QString::fromStdString(dir.File("clip"));

        bool bAsked = false;
        WhenModalShown<QFileDialog>([strTyped, open, &bAsked](QFileDialog* pModal) {
            auto* pName = pModal->findChild<QLineEdit*>("fileNameEdit");
            QVERIFY(pName);
            pName->setText(strTyped);
            if (!open) {
                // Saving over clip.qcf asks first; confirm it.
                WhenModalShown<QMessageBox>([&bAsked](QMessageBox* pBox) {
                    bAsked = true;
                    pBox->button(QMessageBox::Yes)->click();
                });
            }
            QTest::keyClick(pName, Qt::Key_Return);
        });
        FileChooserRequest request;
        request.bOpen = open;
        request.strDefaultExt = "qcf";
        request.strInitialName = "*.qcf";
        FileChooserResult result;
        CQtPrompts prompts;
        const bool bChosen = prompts.ChooseFile(request, result);
        QVERIFY(bChosen);
        QCOMPARE(bAsked, !open);
        QCOMPARE(QString::fromStdString(result.strFileName), QString("clip.qcf"));
        QCOMPARE(QFileInfo(QString::fromStdString(result.strPathName)).canonicalFilePath(),
                 QFileInfo(QString::fromStdString(dir.File("clip.qcf"))).canonicalFilePath());
    }

    void cancelledChooserReturnsFalse() {
        WhenModalShown<QFileDialog>([](QFileDialog* pModal) { pModal->reject(); });
        FileChooserResult result;
        CQtPrompts prompts;
        QVERIFY(!prompts.ChooseFile(FileChooserRequest{}, result));
        QVERIFY(result.strPathName.empty());
    }

    // The question before a result is discarded: three buttons, Save Output...
    // by Enter, Cancel by Escape or the close box, Discard by its own button.
    void saveQuestionAnswers_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("answer");
        QTest::newRow("Enter") << "Enter" << int(ESaveChoice::Save);
        QTest::newRow("Escape") << "Escape" << int(ESaveChoice::Cancel);
        QTest::newRow("close box") << "close" << int(ESaveChoice::Cancel);
        QTest::newRow("Space on Discard") << "Discard" << int(ESaveChoice::Discard);
    }
    void saveQuestionAnswers() {
        QFETCH(QString, how);
        QFETCH(int, answer);
        QStringList buttons;
        QString strText;
        WhenModalShown<QMessageBox>([&](QMessageBox* pBox) {
            strText = pBox->text();
            for (QAbstractButton* pButton : pBox->buttons()) {
                buttons << pButton->text().remove('&');
                if (how == pButton->text()) {
                    pButton->setFocus();
                    QTest::keyClick(pButton, Qt::Key_Space);
                }
            }
            if (how == "close") {
                pBox->close();
            } else if (how != "Discard") {
                QTest::keyClick(pBox, how == "Enter" ? Qt::Key_Return : Qt::Key_Escape);
            }
        });
        CQtPrompts prompts;
        QCOMPARE(int(prompts.AskSaveOutput("Not saved.", "Tavro")), answer);
        QCOMPARE(strText, QString("Not saved."));
        buttons.sort();
        QCOMPARE(buttons, (QStringList{"Cancel", "Discard", "Save Output..."}));
    }

    // A worker thread's message is shown on the user-interface thread, with the
    // caption, the text and OK only, and the worker waits until it is dismissed.
    void messageFromWorkerShownOnUiThread() {
        std::atomic<bool> bReturned{false};
        QString strSeenText, strSeenCaption;
        bool bOnUiThread = false, bWorkerWaiting = false;
        QMessageBox::StandardButtons buttons;
        WhenModalShown<QMessageBox>([&](QMessageBox* pBox) {
            strSeenText = pBox->text();
            strSeenCaption = pBox->windowTitle();
            buttons = pBox->standardButtons();
            bOnUiThread = QThread::currentThread() == qApp->thread();
            bWorkerWaiting = !bReturned;
            pBox->button(QMessageBox::Ok)->click();
        });
        CQtPrompts prompts;
        std::thread worker([&] {
            prompts.MessageBox("Error allocating memory.", "Fatal Error");
            bReturned = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(bReturned, 5000);
        worker.join();
        QCOMPARE(strSeenText, QString("Error allocating memory."));
        QCOMPARE(strSeenCaption, QString("Fatal Error"));
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(bOnUiThread);
        QVERIFY(bWorkerWaiting);
    }
};

QTEST_MAIN(TestQtPrompts)
#include "test_qt_prompts.moc"
