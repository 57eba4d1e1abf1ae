// The compression-parameters dialog: what the edits start at, what sliders,
// Ok, Cancel and Escape hand back to the caller.

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include "DialogTestUtil.h"
#include "app/ParametersDlg.h"
#include "support/ScriptedPrompts.h"

class TestParametersDlg : public QObject {
    Q_OBJECT

    // A dialog filled the way the Compress command fills it, shown modelessly
    // so the test can drive it.
    static void Open(CParametersDlg& dlg, uint32_t nMaxFrames) {
        dlg.m_nMaxFrames = nMaxFrames;
        dlg.m_nThreshold = 10;
        dlg.m_nQuantiser = 16;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    }

private slots:
    void opensAtWholeStreamAndCallerValues_data() {
        QTest::addColumn<uint>("maxFrames");
        QTest::newRow("one frame") << 1u;
        QTest::newRow("300 frames") << 300u;
        QTest::newRow("largest 16-bit count") << 65535u;
    }
    void opensAtWholeStreamAndCallerValues() {
        QFETCH(uint, maxFrames);
        CParametersDlg dlg;
        Open(dlg, maxFrames);
        QCOMPARE(dlg.windowTitle(), QString("Compression Parameters"));
        const struct {
            int nSlider, nEdit, nMax;
            QString strShown;
        } rows[] = {
            {IDC_FRAMES_SLIDER, IDC_FRAMES_EDIT, int(maxFrames), QString::number(maxFrames)},
            {IDC_THRESHOLD_SLIDER, IDC_THRESHOLD_EDIT, 100, "10"},
            {IDC_QUANTISER_SLIDER, IDC_QUANTISER_EDIT, 100, "16"}};
        for (const auto& row : rows) {
            auto* pSlider = Ctl<QSlider>(&dlg, row.nSlider);
            auto* pEdit = Ctl<QLineEdit>(&dlg, row.nEdit);
            QVERIFY(pSlider && pEdit);
            QCOMPARE(pSlider->minimum(), 1);
            QCOMPARE(pSlider->maximum(), row.nMax);
            QCOMPARE(pEdit->text(), row.strShown);
            QCOMPARE(QString::number(pSlider->value()), row.strShown);
            QVERIFY(pEdit->isReadOnly());
            QVERIFY(HasReadOnlyLook(pEdit));
        }
        // Ok untouched takes the whole stream and the caller's threshold and quantiser.
        QTest::mouseClick(Ctl<QPushButton>(&dlg, IDOK), Qt::LeftButton);
        QCOMPARE(dlg.result(), IDOK);
        QCOMPARE(dlg.m_nFrames, maxFrames);
        QCOMPARE(dlg.m_nThreshold, 10u);
        QCOMPARE(dlg.m_nQuantiser, 16u);
    }

    void slidersDriveTheValuesTakenOver() {
        CParametersDlg dlg;
        Open(dlg, 300);
        auto* pFrames = Ctl<QSlider>(&dlg, IDC_FRAMES_SLIDER);
        pFrames->setSliderPosition(37);  // as a drag would
        QCOMPARE(Ctl<QLineEdit>(&dlg, IDC_FRAMES_EDIT)->text(), QString("37"));

        // Keyboard steps are the slider's own: one position per arrow key.
        auto* pQuantiser = Ctl<QSlider>(&dlg, IDC_QUANTISER_SLIDER);
        pQuantiser->setFocus();
        QTest::keyClick(pQuantiser, Qt::Key_Right);
        QTest::keyClick(pQuantiser, Qt::Key_Right);
        QCOMPARE(Ctl<QLineEdit>(&dlg, IDC_QUANTISER_EDIT)->text(), QString("18"));
        auto* pThreshold = Ctl<QSlider>(&dlg, IDC_THRESHOLD_SLIDER);
        pThreshold->setFocus();
        QTest::keyClick(pThreshold, Qt::Key_Home);
        QCOMPARE(Ctl<QLineEdit>(&dlg, IDC_THRESHOLD_EDIT)->text(), QString("1"));

        QTest::keyClick(&dlg, Qt::Key_Return);  // Ok is the default button
        QCOMPARE(dlg.result(), IDOK);
        QCOMPARE(dlg.m_nFrames, 37u);
        QCOMPARE(dlg.m_nThreshold, 1u);
        QCOMPARE(dlg.m_nQuantiser, 18u);
    }

    void editsCannotBeTypedInto() {
        CParametersDlg dlg;
        Open(dlg, 50);
        auto* pEdit = Ctl<QLineEdit>(&dlg, IDC_FRAMES_EDIT);
        pEdit->setFocus();
        QTest::keyClicks(pEdit, "7");
        QTest::keyClick(pEdit, Qt::Key_Backspace);
        QCOMPARE(pEdit->text(), QString("50"));
    }

    void cancelAndEscapeLeaveTheCallersValues_data() {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Cancel button") << false;
        QTest::newRow("Escape key") << true;
    }
    void cancelAndEscapeLeaveTheCallersValues() {
        QFETCH(bool, escape);
        CParametersDlg dlg;
        Open(dlg, 300);
        Ctl<QSlider>(&dlg, IDC_FRAMES_SLIDER)->setSliderPosition(5);
        Ctl<QSlider>(&dlg, IDC_THRESHOLD_SLIDER)->setSliderPosition(99);
        if (escape) {
            QTest::keyClick(&dlg, Qt::Key_Escape);
        } else {
            QTest::mouseClick(Ctl<QPushButton>(&dlg, IDCANCEL), Qt::LeftButton);
        }
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), IDCANCEL);
        QCOMPARE(dlg.m_nFrames, 1u);
        QCOMPARE(dlg.m_nThreshold, 10u);
        QCOMPARE(dlg.m_nQuantiser, 16u);
    }

    void outOfRangeCallerValueKeepsTheDialogOpen() {
        // A caller value the sliders cannot show is refused at Ok with the range.
        CScriptedPrompts prompts;
        CParametersDlg dlg;
        dlg.m_nMaxFrames = 20;
        dlg.m_nThreshold = 0;
        dlg.m_nQuantiser = 16;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(Ctl<QLineEdit>(&dlg, IDC_THRESHOLD_EDIT)->text(), QString("0"));
        QTest::mouseClick(Ctl<QPushButton>(&dlg, IDOK), Qt::LeftButton);
        QVERIFY(dlg.isVisible());
        QCOMPARE(prompts.messages.size(), size_t(1));
        QVERIFY(prompts.messages[0].strText.find("threshold") != std::string::npos);
        QVERIFY(prompts.messages[0].strText.find("1 to 100") != std::string::npos);
        QCOMPARE(dlg.m_nFrames, 1u);  // nothing taken over
        // Moving the slider makes the value valid again.
        Ctl<QSlider>(&dlg, IDC_THRESHOLD_SLIDER)->setSliderPosition(3);
        QTest::mouseClick(Ctl<QPushButton>(&dlg, IDOK), Qt::LeftButton);
        QCOMPARE(dlg.result(), IDOK);
        QCOMPARE(dlg.m_nThreshold, 3u);
        QCOMPARE(dlg.m_nFrames, 20u);
    }
};

QTEST_MAIN(TestParametersDlg)
#include "test_parameters_dlg.moc"
