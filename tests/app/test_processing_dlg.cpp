// The processing dialog around real codec runs. The worker is held at chosen
// frames through the context's frame hook, so the test sees each step of the
// progress display (through the dialog's own 250 ms timer) and can cancel at a
// known point.

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "DialogTestUtil.h"
#include "app/ProcessingDlg.h"
#include "codec/CodecContext.h"
#include "codec/ProgressCell.h"
#include "io/QcifFormat.h"
#include "support/ScriptedPrompts.h"

namespace {

// Holds the worker before each frame until the test lets that frame through.
class CFrameGate {
public:
    void Attach(CCodecContext& context) {
        context.m_onFrameEvent = [this](CCodecContext::FrameEvent event, uint16_t nFrame) {
            if (event != CCodecContext::FrameEvent::FrameBegun) {
                return;
            }
            std::unique_lock lock(m_mutex);
            m_begun.push_back(nFrame);
            m_cv.wait(lock, [&] { return m_nReleased > nFrame; });
        };
    }
    // Lets frames up to nFrame (0-based) through.
    void ReleaseThrough(int nFrame) {
        std::lock_guard lock(m_mutex);
        m_nReleased = std::max(m_nReleased, nFrame + 1);
        m_cv.notify_all();
    }
    std::vector<uint16_t> Begun() {
        std::lock_guard lock(m_mutex);
        return m_begun;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_nReleased = 0;
    std::vector<uint16_t> m_begun;
};

// Opens the gate for good when a test leaves early, before the dialog waits
// for its worker.
struct SGateOpener {
    CFrameGate& gate;
    ~SGateOpener() { gate.ReleaseThrough(70000); }
};

std::vector<uint8_t> Frames(uint32_t nFrames) {
    std::vector<uint8_t> frames(size_t(nFrames) * QCIF_FRAME_BYTES);
    for (size_t i = 0; i < frames.size(); ++i) {
        frames[i] = uint8_t((i * 7 + i / 176 * 3 + i / QCIF_FRAME_BYTES * 11) & 0xFF);
    }
    return frames;
}

void FillCompression(CCodecContext& context, std::vector<uint8_t>& frames, uint32_t nFrames) {
    context.m_bCompress = true;
    context.m_nFrames = nFrames;
    context.m_byThreshold = 10;
    context.m_byQuantiser = 16;
    context.m_pQcf = frames.data();
}

QString Text(QWidget* pDlg, int nId) {
    return Ctl<QLineEdit>(pDlg, nId)->text();
}

}  // namespace

class TestProcessingDlg : public QObject {
    Q_OBJECT
private slots:
    void opensWithCaptionAndValues_data() {
        QTest::addColumn<bool>("compress");
        QTest::addColumn<QString>("caption");
        QTest::newRow("compression") << true << "Compression";
        QTest::newRow("decompression") << false << "Decompression";
    }
    void opensWithCaptionAndValues() {
        QFETCH(bool, compress);
        QFETCH(QString, caption);
        g_nProgress.store(42);
        CCodecContext context;
        context.m_bCompress = compress;
        context.m_nFrames = 300;
        context.m_byThreshold = 12;
        context.m_byQuantiser = 34;
        CProcessingDlg dlg(context);
        QCOMPARE(g_nProgress.load(), 0);  // a new dialog resets the cell
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.windowTitle(), caption);
        QCOMPARE(Text(&dlg, IDC_FRAMES_EDIT), QString("300"));
        QCOMPARE(Text(&dlg, IDC_THRESHOLD_EDIT), QString("12"));
        QCOMPARE(Text(&dlg, IDC_QUANTISER_EDIT), QString("34"));
        for (int nId :
             {IDC_THRESHOLD_EDIT, IDC_QUANTISER_EDIT, IDC_FRAMES_DONE_EDIT, IDC_FRAMES_EDIT}) {
            auto* pEdit = Ctl<QLineEdit>(&dlg, nId);
            QVERIFY(pEdit->isReadOnly());
            QVERIFY(HasReadOnlyLook(pEdit));
        }
        QVERIFY(Ctl<QLineEdit>(&dlg, IDC_FRAMES_DONE_EDIT)->alignment() & Qt::AlignRight);
        QVERIFY(Ctl<QPushButton>(&dlg, IDC_START)->isDefault());
        dlg.reject();
    }

    // What the timer shows before each frame, then the close with IDOK and the
    // compressed stream in the context.
    void progressShownFrameByFrame_data() {
        QTest::addColumn<uint>("frames");
        QTest::addColumn<QList<int>>("percent");
        QTest::addColumn<QStringList>("done");
        QTest::addColumn<uint>("threads");
        QTest::newRow("three frames")
            << 3u << QList<int>{0, 33, 66} << QStringList{"0", "0", "1"} << 1u;
        QTest::newRow("one frame stays at 0") << 1u << QList<int>{0} << QStringList{"0"} << 1u;
        QTest::newRow("seven frames, pipelined")
            << 7u << QList<int>{0, 14, 28, 42, 57, 71, 85}
            << QStringList{"0", "0", "1", "2", "3", "4", "5"} << 3u;
    }
    void progressShownFrameByFrame() {
        QFETCH(uint, frames);
        QFETCH(QList<int>, percent);
        QFETCH(QStringList, done);
        QFETCH(uint, threads);
        std::vector<uint8_t> data = Frames(frames);
        CCodecContext context;
        FillCompression(context, data, frames);
        context.m_nThreads = threads;
        CFrameGate gate;
        gate.Attach(context);
        CProcessingDlg dlg(context);
        SGateOpener opener{gate};
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* pBar = Ctl<QProgressBar>(&dlg, IDC_PROGRESS_BAR);
        QTest::mouseClick(Ctl<QPushButton>(&dlg, IDC_START), Qt::LeftButton);
        for (int i = 0; i < percent.size(); ++i) {
            QTRY_COMPARE_WITH_TIMEOUT(gate.Begun().size(), size_t(i + 1), 5000);
            QTRY_COMPARE_WITH_TIMEOUT(pBar->value(), percent[i], 2000);
            QCOMPARE(Text(&dlg, IDC_FRAMES_DONE_EDIT), done[i]);
            gate.ReleaseThrough(i);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 10000);
        QCOMPARE(dlg.result(), IDOK);
        QVERIFY(!dlg.m_bCancelled);
        QCOMPARE(context.m_nError, CodecError::None);
        QVERIFY(context.m_pCmp != nullptr);
        QVERIFY(context.m_nCmpLength > CMP_HEADER_BYTES);
    }

    // Cancel during the first frame: the dialog stays open showing a full bar
    // and the whole frame count, the worker stops before the second frame, and
    // its completion closes the dialog with IDOK and m_bCancelled set.
    void cancelDuringRunWaitsForTheWorker() {
        std::vector<uint8_t> data = Frames(6);
        CCodecContext context;
        FillCompression(context, data, 6);
        CFrameGate gate;
        gate.Attach(context);
        CProcessingDlg dlg(context);
        SGateOpener opener{gate};
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::mouseClick(Ctl<QPushButton>(&dlg, IDC_START), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(gate.Begun().size(), size_t(1), 5000);

        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.m_bCancelled);
        QCOMPARE(g_nProgress.load(), PROGRESS_CANCEL);
        QTest::mouseClick(Ctl<QPushButton>(&dlg, IDCANCEL), Qt::LeftButton);  // a second request
        dlg.close();                                                          // and the close box
        QVERIFY(dlg.isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(Ctl<QProgressBar>(&dlg, IDC_PROGRESS_BAR)->value(), 100, 2000);
        QCOMPARE(Text(&dlg, IDC_FRAMES_DONE_EDIT), QString("6"));

        gate.ReleaseThrough(0);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 10000);
        QCOMPARE(dlg.result(), IDOK);
        QVERIFY(dlg.m_bCancelled);
        QCOMPARE(gate.Begun(), std::vector<uint16_t>{0});
    }

    // Keys from the first focus on (Qt::Key_Close: the close box): the focus
    // path (the control focused before the first key and after each), and
    // whether a run started and a cancel was asked for. Start runs once; before
    // Start a cancel closes at once, no worker ever starting; during a run only
    // the worker's completion closes the dialog.
    void keyboard_data() {
        QTest::addColumn<QList<QKeyCombination>>("keys");
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<bool>("started");
        QTest::addColumn<bool>("cancelled");
        const QString start = ControlName(IDC_START), cancel = ControlName(IDCANCEL);
        using Keys = QList<QKeyCombination>;
        const QKeyCombination tab(Qt::Key_Tab), ret(Qt::Key_Return), space(Qt::Key_Space);
        QTest::newRow("opens on Start, Tab in table order")
            << Keys(6, tab)
            << QStringList{start,
                           cancel,
                           ControlName(IDC_THRESHOLD_EDIT),
                           ControlName(IDC_QUANTISER_EDIT),
                           ControlName(IDC_FRAMES_DONE_EDIT),
                           ControlName(IDC_FRAMES_EDIT),
                           start}
            << false << false;
        QTest::newRow("Shift+Tab backwards")
            << Keys{Qt::ShiftModifier | Qt::Key_Backtab}
            << QStringList{start, ControlName(IDC_FRAMES_EDIT)} << false << false;
        QTest::newRow("Enter on Cancel before Start")
            << Keys{tab, ret} << QStringList{start, cancel, "closed"} << false << true;
        QTest::newRow("Space on Cancel before Start")
            << Keys{tab, space} << QStringList{start, cancel, "closed"} << false << true;
        QTest::newRow("Escape before Start")
            << Keys{Qt::Key_Escape} << QStringList{start, "closed"} << false << true;
        QTest::newRow("close box before Start")
            << Keys{Qt::Key_Close} << QStringList{start, "closed"} << false << true;
        QTest::newRow("Enter on Start starts, Enter on Cancel then does nothing")
            << Keys{ret, ret} << QStringList{start, cancel, cancel} << true << false;
        QTest::newRow("Space on Cancel during a run asks to cancel")
            << Keys{ret, space} << QStringList{start, cancel, cancel} << true << true;
    }
    void keyboard() {
        QFETCH(QList<QKeyCombination>, keys);
        QFETCH(QStringList, path);
        QFETCH(bool, started);
        QFETCH(bool, cancelled);
        std::vector<uint8_t> data = Frames(2);
        CCodecContext context;
        FillCompression(context, data, 2);
        CFrameGate gate;
        gate.Attach(context);
        CProcessingDlg dlg(context);
        SGateOpener opener{gate};
        QVERIFY(ShowActive(&dlg));
        QCOMPARE(TypeKeys(&dlg, keys), path);
        auto* pStart = Ctl<QPushButton>(&dlg, IDC_START);
        QCOMPARE(!pStart->isEnabled(), started);
        QCOMPARE(dlg.m_bCancelled, cancelled);
        QCOMPARE(dlg.isVisible(), started || !cancelled);
        if (started) {
            QTest::mouseClick(pStart, Qt::LeftButton);  // disabled: no second run
            gate.ReleaseThrough(1);
            QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 10000);
            QCOMPARE(dlg.result(), IDOK);
            QVERIFY(cancelled || gate.Begun() == (std::vector<uint16_t>{0, 1}));
        } else if (cancelled) {
            QCOMPARE(dlg.result(), IDCANCEL);
            QTest::qWait(50);
            QVERIFY(gate.Begun().empty());
            QVERIFY(context.m_pCmp == nullptr);
        }
    }

    // A compressed stream whose header carries 0: the run finishes, the range
    // is reported, and the dialog stays open until Cancel closes it.
    void outOfRangeValueKeepsDialogOpenUntilCancel_data() {
        QTest::addColumn<int>("threshold");
        QTest::addColumn<int>("quantiser");
        QTest::addColumn<QString>("field");
        QTest::newRow("threshold 0") << 0 << 16 << "threshold";
        QTest::newRow("quantiser 0") << 10 << 0 << "quantiser";
    }
    void outOfRangeValueKeepsDialogOpenUntilCancel() {
        QFETCH(int, threshold);
        QFETCH(int, quantiser);
        QFETCH(QString, field);
        CScriptedPrompts prompts;
        uint8_t header[4] = {2, 0, uint8_t(threshold), uint8_t(quantiser)};
        std::vector<uint8_t> out(2 * QCIF_FRAME_BYTES);
        CCodecContext context;
        context.m_bCompress = false;
        context.m_nFrames = 2;
        context.m_byThreshold = uint8_t(threshold);
        context.m_byQuantiser = uint8_t(quantiser);
        context.m_pCmp = header;
        context.m_nCmpLength = sizeof header;
        context.m_pQcf = out.data();
        CProcessingDlg dlg(context);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::mouseClick(Ctl<QPushButton>(&dlg, IDC_START), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(prompts.messages.size(), size_t(1), 5000);
        const QString strText = QString::fromStdString(prompts.messages[0].strText);
        QVERIFY2(strText.contains(field) && strText.contains("1 to 255"), qPrintable(strText));
        QVERIFY(dlg.isVisible());
        QVERIFY(!dlg.m_bCancelled);
        QTest::mouseClick(Ctl<QPushButton>(&dlg, IDCANCEL), Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), IDCANCEL);
        QVERIFY(dlg.m_bCancelled);
    }
};

QTEST_MAIN(TestProcessingDlg)
#include "test_processing_dlg.moc"
