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
        // The read-only edits are drawn on the window's colour, the frame edit on white.
        for (int nId : {IDC_TOTAL_FRAMES_EDIT, IDC_RMSE_EDIT, IDC_PSNR_EDIT}) {
            QVERIFY(Ctl<QLineEdit>(pDlg.get(), nId)->isReadOnly());
            QCOMPARE(DominantColour(Ctl<QLineEdit>(pDlg.get(), nId)),
                     pDlg->palette().color(QPalette::Window));
        }
        auto* pFrameEdit = Ctl<QLineEdit>(pDlg.get(), IDC_COMPARE_FRAME_EDIT);
        QVERIFY(!pFrameEdit->isReadOnly());
        QCOMPARE(DominantColour(pFrameEdit), pDlg->palette().color(QPalette::Base));
        QVERIFY(Ctl<QPushButton>(pDlg.get(), IDOK)->isDefault());
        QVERIFY(Ctl<QPushButton>(pDlg.get(), IDOK)->isEnabled());
    }

    // Each frame alone, by typing its number or stepping to it with the arrows.
    void singleFrameFigures_data() {
        QTest::addColumn<int>("frame");
        QTest::addColumn<QString>("rmse");
        QTest::addColumn<QString>("psnr");
        QTest::newRow("identical frame") << 1 << "Match"
                                         << "Match";
        QTest::newRow("one sample off by one") << 2 << "0.01"
                                               << "93.93";
        QTest::newRow("identical again") << 3 << "Match"
                                         << "Match";
        QTest::newRow("every sample 255 away") << 4 << "255.00"
                                               << "0.00";
    }
    void singleFrameFigures() {
        QFETCH(int, frame);
        QFETCH(QString, rmse);
        QFETCH(QString, psnr);
        for (bool bTyped : {true, false}) {
            auto pDlg = Open(m_strRef, true);
            QVERIFY(pDlg);
            if (bTyped) {
                auto* pEdit = Ctl<QLineEdit>(pDlg.get(), IDC_COMPARE_FRAME_EDIT);
                pEdit->selectAll();
                QTest::keyClicks(pEdit, QString::number(frame));
                QTest::keyClick(pEdit, Qt::Key_Return);  // Enter presses Compare
            } else {
                Spin(pDlg.get(), "up", frame - 1);
                QCOMPARE(Text(pDlg.get(), IDC_COMPARE_FRAME_EDIT), QString::number(frame));
                Press(pDlg.get());
            }
            QVERIFY(pDlg->isVisible());  // Compare never closes the dialog
            QCOMPARE(Text(pDlg.get(), IDC_RMSE_EDIT), rmse);
            QCOMPARE(Text(pDlg.get(), IDC_PSNR_EDIT), psnr);
            QVERIFY(Ctl<QPushButton>(pDlg.get(), IDOK)->isEnabled());
        }
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

    // The keyboard from the first focus on: the focus path (the control focused
    // before the first key and after each), the Compare presses, the frame
    // edit's text at the end, and the first figure shown.
    void keyboard_data() {
        QTest::addColumn<bool>("single");
        QTest::addColumn<QList<QKeyCombination>>("keys");
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<int>("presses");
        QTest::addColumn<QString>("frameText");
        QTest::addColumn<QString>("rmse");
        const QString edit = ControlName(IDC_COMPARE_FRAME_EDIT);
        const QString total = ControlName(IDC_TOTAL_FRAMES_EDIT);
        const QString compare = ControlName(IDOK), cancel = ControlName(IDCANCEL);
        const QString rmse = ControlName(IDC_RMSE_EDIT), psnr = ControlName(IDC_PSNR_EDIT);
        const QKeyCombination tab(Qt::Key_Tab), ret(Qt::Key_Return), space(Qt::Key_Space);
        const QKeyCombination up(Qt::Key_Up), down(Qt::Key_Down);
        QTest::newRow("opens on the frame edit, Tab in table order")
            << false << QList<QKeyCombination>(6, tab)
            << QStringList{edit, total, compare, cancel, rmse, psnr, edit} << 0 << "All"
            << "";
        QTest::newRow("Enter in the frame edit compares, twice")
            << false << QList<QKeyCombination>{ret, ret} << QStringList{edit, edit, edit} << 2
            << "All"
            << "51.00";
        QTest::newRow("Space on Compare, then Enter compares again")
            << false << QList<QKeyCombination>{tab, tab, space, ret}
            << QStringList{edit, total, compare, compare, compare} << 2 << "All"
            << "51.00";
        QTest::newRow("Down at frame 1 leaves All") << false << QList<QKeyCombination>{down, ret}
                                                    << QStringList{edit, edit, edit} << 1 << "All"
                                                    << "51.00";
        QTest::newRow("Up replaces All, Down returns to 1")
            << false << QList<QKeyCombination>{up, ret, down, down, ret}
            << QStringList{edit, edit, edit, edit, edit, edit} << 2 << "1"
            << "Match";
        QTest::newRow("Enter on Cancel closes")
            << true << QList<QKeyCombination>{tab, tab, tab, ret}
            << QStringList{edit, total, compare, cancel, "closed"} << 0 << "1"
            << "";
    }
    void keyboard() {
        QFETCH(bool, single);
        QFETCH(QList<QKeyCombination>, keys);
        QFETCH(QStringList, path);
        QFETCH(int, presses);
        QFETCH(QString, frameText);
        QFETCH(QString, rmse);
        CCompareDlg dlg(
            std::make_unique<CCompareLogic>(m_doc.data(), kFrames, kFrames, m_strRef, single));
        QSignalSpy compares(Ctl<QPushButton>(&dlg, IDOK), &QPushButton::clicked);
        QVERIFY(ShowActive(&dlg));
        QCOMPARE(TypeKeys(&dlg, keys), path);
        QCOMPARE(compares.count(), presses);
        QCOMPARE(Text(&dlg, IDC_COMPARE_FRAME_EDIT), frameText);
        QCOMPARE(Text(&dlg, IDC_RMSE_EDIT), rmse);
        QCOMPARE(dlg.result(), path.last() == "closed" ? IDCANCEL : 0);
    }

    void frameEditTakesDigitsOnly() {
        auto pDlg = Open(m_strRef, true);
        QVERIFY(pDlg);
        auto* pEdit = Ctl<QLineEdit>(pDlg.get(), IDC_COMPARE_FRAME_EDIT);
        pEdit->clear();
        QTest::keyClicks(pEdit, "a3-b");
        QCOMPARE(pEdit->text(), QString("3"));
    }

    void identicalStreamIsAMatch_data() {
        QTest::addColumn<bool>("single");
        QTest::newRow("one frame") << true;
        QTest::newRow("All") << false;
    }
    void identicalStreamIsAMatch() {
        QFETCH(bool, single);
        auto pDlg = Open(m_strSame, single);
        QVERIFY(pDlg);
        Spin(pDlg.get(), "up", single ? 3 : 0);
        Press(pDlg.get());
        QCOMPARE(Text(pDlg.get(), IDC_RMSE_EDIT), QString("Match"));
        QCOMPARE(Text(pDlg.get(), IDC_PSNR_EDIT), QString("Match"));
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
