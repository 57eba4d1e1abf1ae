// The frame comparison dialog on a clip and a reference made from it with
// known differences: which frame a press compares, what the result fields
// show, the spin arrows, and the failure rows that leave Compare disabled.

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "DialogTestUtil.h"
#include "app/CompareDlg.h"
#include "io/QcifFormat.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"

namespace {

constexpr uint32_t kFrames = 5;

// The first kFrames frames of a real clip when the clips are there, else a
// fixed pseudo-random pattern; either way the figures below hold.
std::vector<uint8_t> BaseFrames() {
    std::vector<uint8_t> frames;
    const std::string strClip = DataFile("foreman_100f.qcf");
    if (!strClip.empty()) {
        frames = ReadBytes(strClip);
        frames.resize(size_t(kFrames) * QCIF_FRAME_BYTES);
    } else {
        frames.resize(size_t(kFrames) * QCIF_FRAME_BYTES);
        uint32_t n = 12345;
        for (auto& b : frames) {
            n = n * 1103515245u + 12345u;
            b = uint8_t(n >> 16);
        }
    }
    return frames;
}

// Prompts that also note whether Compare was enabled while a message showed.
class CWatchingPrompts : public CScriptedPrompts {
public:
    QPushButton* pCompare = nullptr;
    std::vector<bool> compareEnabledAtMessage;
    void MessageBox(const std::string& strText, const std::string& strCaption) override {
        compareEnabledAtMessage.push_back(pCompare && pCompare->isEnabled());
        CScriptedPrompts::MessageBox(strText, strCaption);
    }
};

}  // namespace

class TestCompareDlg : public QObject {
    Q_OBJECT

    CTempDir m_dir;
    std::vector<uint8_t> m_doc;  // the document's frames
    std::string m_strRef;        // reference: frame 2 one sample off by one, frame 4 all 255 away
    std::string m_strSame;       // an identical copy

    std::unique_ptr<CCompareDlg> Open(const std::string& strRef, bool bSingleFrame,
                                      uint32_t nCompareFrames = kFrames) {
        auto pDlg = std::make_unique<CCompareDlg>(std::make_unique<CCompareLogic>(
            m_doc.data(), kFrames, nCompareFrames, strRef, bSingleFrame));
        pDlg->show();
        if (!QTest::qWaitForWindowExposed(pDlg.get())) {
            return nullptr;
        }
        return pDlg;
    }
    static QString Text(QWidget* pDlg, int nId) { return Ctl<QLineEdit>(pDlg, nId)->text(); }
    static void Press(CCompareDlg* pDlg) {
        QTest::mouseClick(Ctl<QPushButton>(pDlg, IDOK), Qt::LeftButton);
    }
    static void Spin(CCompareDlg* pDlg, const char* pszArrow, int nTimes = 1) {
        auto* pArrow = Ctl<QWidget>(pDlg, IDC_COMPARE_SPIN)->findChild<QToolButton*>(pszArrow);
        for (int i = 0; i < nTimes; ++i) {
            QTest::mouseClick(pArrow, Qt::LeftButton);
        }
    }

private slots:
    void initTestCase() {
        m_doc = BaseFrames();
        // Frame 4 of the document black, of the reference white: 255 everywhere.
        std::fill_n(m_doc.begin() + 3 * QCIF_FRAME_BYTES, QCIF_FRAME_BYTES, 0);
        std::vector<uint8_t> ref = m_doc;
        uint8_t& bySample = ref[1 * QCIF_FRAME_BYTES + 777];
        bySample = bySample == 255 ? 254 : bySample + 1;
        std::fill_n(ref.begin() + 3 * QCIF_FRAME_BYTES, QCIF_FRAME_BYTES, 255);
        m_strRef = m_dir.File("ref.qcf");
        m_strSame = m_dir.File("same.qcf");
        WriteBytes(m_strRef, ref);
        WriteBytes(m_strSame, m_doc);
    }

    void opensWithCaptionTotalAndFrameText_data() {
        QTest::addColumn<bool>("single");
        QTest::addColumn<uint>("compareFrames");
        QTest::addColumn<QString>("frameText");
        QTest::addColumn<QString>("total");
        QTest::newRow("Compare Frames") << true << kFrames << "1"
                                        << "5";
        QTest::newRow("Compare Streams") << false << kFrames << "All"
                                         << "5";
        QTest::newRow("shorter reference") << false << 3u << "All"
                                           << "3";
        QTest::newRow("longer reference") << true << 9u << "1"
                                          << "5";
    }
    void opensWithCaptionTotalAndFrameText() {
        QFETCH(bool, single);
        QFETCH(uint, compareFrames);
        QFETCH(QString, frameText);
        QFETCH(QString, total);
        auto pDlg = Open(m_strRef, single, compareFrames);
        QVERIFY(pDlg);
        QCOMPARE(pDlg->windowTitle(), QString("Frame Comparison"));
        QCOMPARE(Text(pDlg.get(), IDC_COMPARE_FRAME_EDIT), frameText);
        QCOMPARE(Text(pDlg.get(), IDC_TOTAL_FRAMES_EDIT), total);
        for (int nId : {IDC_TOTAL_FRAMES_EDIT, IDC_RMSE_EDIT, IDC_PSNR_EDIT}) {
            QVERIFY(Ctl<QLineEdit>(pDlg.get(), nId)->isReadOnly());
            QVERIFY(HasReadOnlyLook(Ctl<QLineEdit>(pDlg.get(), nId)));
        }
        auto* pFrameEdit = Ctl<QLineEdit>(pDlg.get(), IDC_COMPARE_FRAME_EDIT);
        QVERIFY(!pFrameEdit->isReadOnly() && !HasReadOnlyLook(pFrameEdit));
        QVERIFY(Ctl<QPushButton>(pDlg.get(), IDOK)->isDefault());
        QVERIFY(Ctl<QPushButton>(pDlg.get(), IDOK)->isEnabled());
    }

    void allFramesAndSpinReplacingAll() {
        auto pDlg = Open(m_strRef, false);
        QVERIFY(pDlg);
        Press(pDlg.get());
        // Means over 5 frames: RMSE (sqrt(1/38016) + 255) / 5, PSNR 4 x 93.9304678 / 5.
        QCOMPARE(Text(pDlg.get(), IDC_RMSE_EDIT), QString("51.00"));
        QCOMPARE(Text(pDlg.get(), IDC_PSNR_EDIT), QString("75.14"));

        // The arrows replace "All" with a number; later presses compare that frame.
        Spin(pDlg.get(), "up");
        QCOMPARE(Text(pDlg.get(), IDC_COMPARE_FRAME_EDIT), QString("2"));
        Press(pDlg.get());
        QCOMPARE(Text(pDlg.get(), IDC_RMSE_EDIT), QString("0.01"));
        // The arrows stop at the ends of 1..5.
        Spin(pDlg.get(), "up", 9);
        QCOMPARE(Text(pDlg.get(), IDC_COMPARE_FRAME_EDIT), QString("5"));
        Spin(pDlg.get(), "down", 9);
        QCOMPARE(Text(pDlg.get(), IDC_COMPARE_FRAME_EDIT), QString("1"));
        QTest::keyClick(Ctl<QLineEdit>(pDlg.get(), IDC_COMPARE_FRAME_EDIT), Qt::Key_Up);
        QCOMPARE(Text(pDlg.get(), IDC_COMPARE_FRAME_EDIT), QString("2"));
    }

    // Keys from the first focus on: the focus path (the control focused before
    // the first key and after each; not checked when empty), the Compare
    // presses, and what the frame edit and the result fields show at the end.
    // Compare never closes the dialog.
    void keyboard_data() {
        QTest::addColumn<bool>("same");  // the reference is an identical copy
        QTest::addColumn<bool>("single");
        QTest::addColumn<QList<QKeyCombination>>("keys");
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<int>("presses");
        QTest::addColumn<QStringList>("shown");  // frame edit, RMSE, PSNR
        const QString edit = ControlName(IDC_COMPARE_FRAME_EDIT);
        const QString total = ControlName(IDC_TOTAL_FRAMES_EDIT);
        const QString compare = ControlName(IDOK), cancel = ControlName(IDCANCEL);
        const QString rmse = ControlName(IDC_RMSE_EDIT), psnr = ControlName(IDC_PSNR_EDIT);
        using Keys = QList<QKeyCombination>;
        const QKeyCombination tab(Qt::Key_Tab), ret(Qt::Key_Return), space(Qt::Key_Space);
        const QKeyCombination up(Qt::Key_Up), down(Qt::Key_Down);
        const QKeyCombination selectAll(Qt::ControlModifier | Qt::Key_A);
        const QStringList all{"All", "51.00", "75.14"};  // means over the 5 frames
        QTest::newRow("opens on the frame edit, Tab in table order")
            << false << false << Keys(6, tab)
            << QStringList{edit, total, compare, cancel, rmse, psnr, edit} << 0
            << QStringList{"All", "", ""};
        QTest::newRow("Enter in the frame edit compares, twice")
            << false << false << Keys{ret, ret} << QStringList{edit, edit, edit} << 2 << all;
        QTest::newRow("Space on Compare, then Enter compares again")
            << false << false << Keys{tab, tab, space, ret}
            << QStringList{edit, total, compare, compare, compare} << 2 << all;
        QTest::newRow("Down at frame 1 leaves All")
            << false << false << Keys{down, ret} << QStringList{edit, edit, edit} << 1 << all;
        QTest::newRow("Up replaces All, Down returns to 1")
            << false << false << Keys{up, ret, down, down, ret} << QStringList(6, edit) << 2
            << QStringList{"1", "Match", "Match"};
        QTest::newRow("Enter on Cancel closes")
            << false << true << Keys{tab, tab, tab, ret}
            << QStringList{edit, total, compare, cancel, "closed"} << 0 << QStringList{"1", "", ""};
        QTest::newRow("digits only")
            << false << true << Keys{selectAll, Qt::Key_A, Qt::Key_3, Qt::Key_Minus}
            << QStringList{} << 0 << QStringList{"3", "", ""};
        // Each frame alone, typed or stepped to: 1 and 3 identical, 2 one sample
        // off by one, 4 every sample 255 away.
        const QStringList figures[] = {
            {"Match", "Match"}, {"0.01", "93.93"}, {"Match", "Match"}, {"255.00", "0.00"}};
        for (int n = 1; n <= 4; ++n) {
            const QStringList shown = QStringList{QString::number(n)} + figures[n - 1];
            QTest::addRow("frame %d typed", n)
                << false << true << Keys{selectAll, Qt::Key(Qt::Key_0 + n), ret} << QStringList{}
                << 1 << shown;
            QTest::addRow("frame %d stepped", n)
                << false << true << Keys(n - 1, up) + Keys{ret} << QStringList{} << 1 << shown;
        }
        QTest::newRow("identical stream, one frame")
            << true << true << Keys{up, up, up, ret} << QStringList{} << 1
            << QStringList{"4", "Match", "Match"};
        QTest::newRow("identical stream, All") << true << false << Keys{ret} << QStringList{} << 1
                                               << QStringList{"All", "Match", "Match"};
    }
    void keyboard() {
        QFETCH(bool, same);
        QFETCH(bool, single);
        QFETCH(QList<QKeyCombination>, keys);
        QFETCH(QStringList, path);
        QFETCH(int, presses);
        QFETCH(QStringList, shown);
        CCompareDlg dlg(std::make_unique<CCompareLogic>(m_doc.data(), kFrames, kFrames,
                                                        same ? m_strSame : m_strRef, single));
        QSignalSpy compares(Ctl<QPushButton>(&dlg, IDOK), &QPushButton::clicked);
        QVERIFY(ShowActive(&dlg));
        const QStringList seen = TypeKeys(&dlg, keys);
        if (!path.isEmpty()) {
            QCOMPARE(seen, path);
        }
        QCOMPARE(compares.count(), presses);
        QCOMPARE((QStringList{Text(&dlg, IDC_COMPARE_FRAME_EDIT), Text(&dlg, IDC_RMSE_EDIT),
                              Text(&dlg, IDC_PSNR_EDIT)}),
                 shown);
        QCOMPARE(dlg.isVisible(), seen.last() != "closed");
        QCOMPARE(Ctl<QPushButton>(&dlg, IDOK)->isEnabled(), true);
    }

    // The comparison file goes away, or shrinks, while the dialog is open:
    // Compare is disabled during the press and stays disabled; the results keep
    // what the last good press showed.
    void failedPressLeavesCompareDisabled_data() {
        QTest::addColumn<bool>("vanished");
        QTest::addColumn<int>("messages");
        QTest::newRow("file removed") << true << 1;
        QTest::newRow("file cut to one frame") << false << 0;
    }
    void failedPressLeavesCompareDisabled() {
        QFETCH(bool, vanished);
        QFETCH(int, messages);
        const std::string strPath = m_dir.File("going.qcf");
        std::filesystem::copy_file(m_strRef, strPath,
                                   std::filesystem::copy_options::overwrite_existing);
        CWatchingPrompts prompts;
        auto pDlg = Open(strPath, false);
        QVERIFY(pDlg);
        prompts.pCompare = Ctl<QPushButton>(pDlg.get(), IDOK);
        Press(pDlg.get());
        QCOMPARE(Text(pDlg.get(), IDC_RMSE_EDIT), QString("51.00"));

        if (vanished) {
            std::filesystem::remove(strPath);
        } else {
            std::filesystem::resize_file(strPath, QCIF_FRAME_BYTES);
        }
        Press(pDlg.get());
        QCOMPARE(int(prompts.messages.size()), messages);
        if (messages) {
            QCOMPARE(prompts.messages[0].strText, std::string("Could not open comparison file"));
            QCOMPARE(prompts.messages[0].strCaption, std::string("Error"));
            QCOMPARE(prompts.compareEnabledAtMessage, std::vector<bool>{false});
        }
        QVERIFY(!Ctl<QPushButton>(pDlg.get(), IDOK)->isEnabled());
        QCOMPARE(Text(pDlg.get(), IDC_RMSE_EDIT), QString("51.00"));
        QCOMPARE(Text(pDlg.get(), IDC_PSNR_EDIT), QString("75.14"));
        // Enter cannot press a disabled Compare either.
        QTest::keyClick(pDlg.get(), Qt::Key_Return);
        QCOMPARE(int(prompts.messages.size()), messages);
        QTest::keyClick(pDlg.get(), Qt::Key_Escape);
        QVERIFY(!pDlg->isVisible());
        QCOMPARE(pDlg->result(), IDCANCEL);
    }
};

QTEST_MAIN(TestCompareDlg)
#include "test_compare_dlg.moc"
