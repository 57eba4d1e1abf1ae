// The viewer window around the player: what it shows on opening, where and
// what it draws, and the play loop driven by real clicks that arrive while a
// pass runs (timers fire inside the pass's event pumps).

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QtTest>
#include <functional>

#include "DialogTestUtil.h"
#include "app/PictureButton.h"
#include "app/ViewerDlg.h"
#include "io/QcifFormat.h"

namespace {

// Each frame a different picture: a gradient shifted by the frame number.
std::vector<uint8_t> Frames(uint32_t nFrames) {
    std::vector<uint8_t> frames(size_t(nFrames) * QCIF_FRAME_BYTES);
    for (size_t i = 0; i < frames.size(); ++i) {
        const size_t k = i % QCIF_FRAME_BYTES, f = i / QCIF_FRAME_BYTES;
        frames[i] = uint8_t(k < QCIF_Y_BYTES ? (k % 176) + f * 9 : 128 + (k % 88) - f * 5);
    }
    return frames;
}

void After(int nMs, std::function<void()> f) {
    QTimer::singleShot(nMs, qApp, std::move(f));
}

}  // namespace

class TestViewerDlg : public QObject {
    Q_OBJECT

    // The viewer under test with a log of every frame it draws.
    struct SViewer {
        std::vector<uint8_t> frames;
        std::unique_ptr<CViewerDlg> pDlg;
        std::vector<int> drawn;
        explicit SViewer(uint32_t nFrames, uint32_t nCount = ~0u) : frames(Frames(nFrames)) {
            pDlg = std::make_unique<CViewerDlg>(frames.empty() ? nullptr : frames.data(),
                                                nCount == ~0u ? nFrames : nCount);
            QObject::connect(pDlg.get(), &CViewerDlg::frameDrawn,
                             [this](int n) { drawn.push_back(n); });
            pDlg->show();
        }
        CViewerDlg* operator->() { return pDlg.get(); }
        CViewerDlg* get() { return pDlg.get(); }
        QString Counter() { return Ctl<QLineEdit>(get(), IDC_VIEWER_FRAME_EDIT)->text(); }
        int Slider() { return Ctl<QSlider>(get(), IDC_VIEWER_SLIDER)->value(); }
        void Click(int nId) { QTest::mouseClick(Ctl<QAbstractButton>(get(), nId), Qt::LeftButton); }
        std::vector<int> DrawnSince(size_t n) { return {drawn.begin() + n, drawn.end()}; }
    };
    static std::vector<int> Range(int nFirst, int nLast) {
        std::vector<int> v;
        for (int n = nFirst; n <= nLast; ++n) {
            v.push_back(n);
        }
        return v;
    }

private slots:
    void opensAtFrameOneDrawnAt17_18() {
        SViewer viewer(12);
        QVERIFY(QTest::qWaitForWindowExposed(viewer.get()));
        QCOMPARE(viewer->windowTitle(), QString("QCIF stream viewer"));
        QCOMPARE(viewer.Counter(), QString("1"));
        QCOMPARE(Ctl<QLineEdit>(viewer.get(), IDC_VIEWER_COUNT_EDIT)->text(), QString("12"));
        auto* pSlider = Ctl<QSlider>(viewer.get(), IDC_VIEWER_SLIDER);
        QCOMPARE(pSlider->minimum(), 1);
        QCOMPARE(pSlider->maximum(), 12);
        QCOMPARE(pSlider->value(), 1);
        QCOMPARE(viewer.drawn, std::vector<int>{1});
        QCOMPARE(viewer->Player().GetPlayState(), uint8_t(CPlayer::IDLE));
        QVERIFY(qobject_cast<CPictureButton*>(Ctl<QWidget>(viewer.get(), IDC_VIEWER_START)));
        QVERIFY(qobject_cast<CPictureButton*>(Ctl<QWidget>(viewer.get(), IDCANCEL)));
        QVERIFY(Ctl<QPushButton>(viewer.get(), IDC_VIEWER_LOOP)->isCheckable());
        QVERIFY(Ctl<QPushButton>(viewer.get(), IDC_VIEWER_PAUSE)->isCheckable());

        // The picture's top-left pixel sits at 17,18 and shows the palette
        // colour of the converted frame's top row (stored last, bottom-up).
        auto* pPicture = viewer->findChild<QWidget*>("picture");
        QCOMPARE(pPicture->mapTo(viewer.get(), QPoint(0, 0)), QPoint(17, 18));
        QCOMPARE(pPicture->size(), QSize(176, 144));
        CDitherDisplay display;
        QVERIFY(display.BuildClipTable() && display.BuildDitherTables(8) &&
                display.BuildBitmapInfo());
        const uint8_t* pFrame = viewer.frames.data();
        display.ConvertFrame(pFrame, pFrame + QCIF_U_OFFSET, pFrame + QCIF_V_OFFSET);
        const QImage shot = viewer->grab().toImage();
        for (QPoint at : {QPoint(0, 0), QPoint(175, 0), QPoint(0, 143), QPoint(100, 70)}) {
            const uint8_t byIndex = display.GetImage()[(143 - at.y()) * 176 + at.x()];
            const SPaletteEntry& c = display.GetPalette()[byIndex];
            QCOMPARE(shot.pixel(at + QPoint(17, 18)), qRgb(c.byRed, c.byGreen, c.byBlue));
        }
    }

    void startPlaysThePassAndAgainFromOne() {
        SViewer viewer(8);
        viewer.Click(IDC_VIEWER_START);
        QCOMPARE(viewer.DrawnSince(1), Range(1, 8));
        QCOMPARE(viewer.Counter(), QString("8"));
        QCOMPARE(viewer.Slider(), 8);
        QCOMPARE(viewer->Player().GetPlayState(), uint8_t(CPlayer::IDLE));
        viewer.Click(IDC_VIEWER_START);
        QCOMPARE(viewer.DrawnSince(9), Range(1, 8));
        // A repaint after the pass shows the last frame, not one past it.
        QCOMPARE(viewer->LastFrameDrawn(), uint16_t(8));
    }

    // Cancel during a pass: the pass stops after the frame on screen, the
    // dialog closes and the display is released once.
    void cancelDuringPassClosesAfterThatFrame_data() {
        QTest::addColumn<int>("how");
        QTest::newRow("Cancel button") << 0;
        QTest::newRow("Escape") << 1;
        QTest::newRow("close box") << 2;
    }
    void cancelDuringPassClosesAfterThatFrame() {
        QFETCH(int, how);
        SViewer viewer(300);
        After(120, [&] {
            if (how == 0) {
                viewer.Click(IDCANCEL);
            } else if (how == 1) {
                QTest::keyClick(viewer.get(), Qt::Key_Escape);
            } else {
                viewer->close();
            }
        });
        viewer.Click(IDC_VIEWER_START);  // returns when the pass has ended
        QVERIFY(!viewer->isVisible());
        QCOMPARE(viewer->result(), IDCANCEL);
        QCOMPARE(viewer->DisplayReleases(), 1);
        QVERIFY(viewer.drawn.size() > 2 && viewer.drawn.back() < 300);
        QCOMPARE(viewer.drawn.back(), viewer.Counter().toInt());
    }

    void cancelWhileIdleClosesAtOnce() {
        SViewer viewer(5);
        viewer.Click(IDCANCEL);
        QVERIFY(!viewer->isVisible());
        QCOMPARE(viewer->result(), IDCANCEL);
        QCOMPARE(viewer->DisplayReleases(), 1);
        viewer.pDlg.reset();  // destroying it releases nothing more
    }

    // Pause leaves the frame on screen; releasing Pause, or Start, shows it
    // once more and continues from it.
    void pauseAndResumeContinueFromTheSameFrame_data() {
        QTest::addColumn<bool>("resumeWithStart");
        QTest::newRow("Pause released") << false;
        QTest::newRow("Start") << true;
    }
    void pauseAndResumeContinueFromTheSameFrame() {
        QFETCH(bool, resumeWithStart);
        SViewer viewer(300);
        After(100, [&] { viewer.Click(IDC_VIEWER_PAUSE); });
        viewer.Click(IDC_VIEWER_START);
        const int nPaused = viewer.drawn.back();
        QVERIFY(nPaused > 1 && nPaused < 300);
        QCOMPARE(viewer.Counter(), QString::number(nPaused));
        QVERIFY(Ctl<QPushButton>(viewer.get(), IDC_VIEWER_PAUSE)->isChecked());
        QCOMPARE(viewer->Player().GetPlayState(), uint8_t(CPlayer::IDLE));

        const size_t nBefore = viewer.drawn.size();
        After(100, [&] { viewer.Click(IDCANCEL); });
        viewer.Click(resumeWithStart ? IDC_VIEWER_START : IDC_VIEWER_PAUSE);
        QVERIFY(!Ctl<QPushButton>(viewer.get(), IDC_VIEWER_PAUSE)->isChecked());
        QCOMPARE(viewer.drawn[nBefore], nPaused);
        QCOMPARE(viewer.drawn[nBefore + 1], nPaused + 1);
        QVERIFY(!viewer->isVisible());
    }

    void sliderDuringPassAndWhileIdle() {
        SViewer viewer(300);
        After(100, [&] { Ctl<QSlider>(viewer.get(), IDC_VIEWER_SLIDER)->setSliderPosition(250); });
        viewer.Click(IDC_VIEWER_START);
        // The slider's frame is drawn and becomes the next start.
        QCOMPARE(viewer.drawn.back(), 250);
        QCOMPARE(viewer.Counter(), QString("250"));
        QCOMPARE(viewer->Player().GetStartFrame(), 250u);

        // While idle it only shows the chosen frame; Start keeps its start.
        Ctl<QSlider>(viewer.get(), IDC_VIEWER_SLIDER)->setSliderPosition(40);
        QCOMPARE(viewer.drawn.back(), 40);
        QCOMPARE(viewer.Counter(), QString("40"));
        const size_t nBefore = viewer.drawn.size();
        viewer.Click(IDC_VIEWER_START);
        QCOMPARE(viewer.DrawnSince(nBefore), Range(250, 300));
    }

    // Any slider interaction redraws the slider's frame and stops a running
    // pass, also one that leaves the position as it was.
    void everySliderInteractionScrolls_data() {
        QTest::addColumn<int>("key");   // 0: a click on the thumb
        QTest::addColumn<int>("from");  // the slider's frame before; 0: during a pass
        QTest::newRow("Home at frame 1") << int(Qt::Key_Home) << 1;
        QTest::newRow("End at the last frame") << int(Qt::Key_End) << 300;
        QTest::newRow("Left at frame 1") << int(Qt::Key_Left) << 1;
        QTest::newRow("click on the thumb") << 0 << 120;
        QTest::newRow("click on the thumb during a pass") << 0 << 0;
    }
    void everySliderInteractionScrolls() {
        QFETCH(int, key);
        QFETCH(int, from);
        SViewer viewer(300);
        QVERIFY(QTest::qWaitForWindowExposed(viewer.get()));
        auto* pSlider = Ctl<QSlider>(viewer.get(), IDC_VIEWER_SLIDER);
        pSlider->setSliderPosition(std::max(from, 1));
        size_t nBefore = 0;
        auto interact = [&] {
            nBefore = viewer.drawn.size();
            pSlider->setFocus();
            QStyleOptionSlider thumb;
            thumb.initFrom(pSlider);
            thumb.minimum = pSlider->minimum();
            thumb.maximum = pSlider->maximum();
            thumb.sliderPosition = pSlider->value();
            thumb.tickPosition = pSlider->tickPosition();
            const QRect rect = pSlider->style()->subControlRect(QStyle::CC_Slider, &thumb,
                                                                QStyle::SC_SliderHandle, pSlider);
            key ? QTest::keyClick(pSlider, Qt::Key(key))
                : QTest::mouseClick(pSlider, Qt::LeftButton, {}, rect.center());
        };
        if (from == 0) {
            After(120, interact);
            viewer.Click(IDC_VIEWER_START);  // returns once the pass has stopped
        } else {
            interact();
        }
        const int nFrame = pSlider->value();
        QVERIFY(nFrame >= 1 && nFrame <= 300 && (from > 0 || nFrame < 300));
        QVERIFY2(viewer.drawn.size() > nBefore, "no redraw");
        QCOMPARE(viewer.drawn.back(), nFrame);
        QCOMPARE(viewer.Counter(), QString::number(nFrame));
        QCOMPARE(viewer->Player().GetPlayState(), uint8_t(CPlayer::IDLE));
        QCOMPARE(viewer->Player().GetStartFrame(), from ? 1u : uint32_t(nFrame));
    }

    // Loop on: a one-frame stream shows frame 1 again and again, pumping events
    // each time, so a later click still stops it.
    void loopOnOneFrameKeepsPumping() {
        SViewer viewer(1);
        viewer.Click(IDC_VIEWER_LOOP);
        QVERIFY(viewer->Player().IsLooping());
        After(200, [&] { viewer.Click(IDC_VIEWER_PAUSE); });
        viewer.Click(IDC_VIEWER_START);
        QVERIFY(viewer.drawn.size() > 4);
        QVERIFY(
            std::all_of(viewer.drawn.begin(), viewer.drawn.end(), [](int n) { return n == 1; }));
        QCOMPARE(viewer->Player().GetPlayState(), uint8_t(CPlayer::IDLE));
    }

    // Start during a pass runs a nested pass; Cancel in it closes the dialog
    // once, and the outer pass ends too.
    void nestedPassesReleaseOnce() {
        SViewer viewer(300);
        After(80, [&] {
            After(80, [&] { viewer.Click(IDCANCEL); });
            viewer.Click(IDC_VIEWER_START);
        });
        viewer.Click(IDC_VIEWER_START);
        QVERIFY(!viewer->isVisible());
        QCOMPARE(viewer->DisplayReleases(), 1);
        QCOMPARE(viewer->Player().GetPlayState(), uint8_t(CPlayer::CLOSE_PENDING));
    }

    void zeroFramesDrawNothingAndNeverSpin() {
        SViewer viewer(0);
        QCOMPARE(Ctl<QLineEdit>(viewer.get(), IDC_VIEWER_COUNT_EDIT)->text(), QString("0"));
        viewer.Click(IDC_VIEWER_LOOP);   // Loop on
        viewer.Click(IDC_VIEWER_START);  // returns at once
        QVERIFY(viewer.drawn.empty());
        QTest::keyClick(viewer.get(), Qt::Key_Escape);
        QVERIFY(!viewer->isVisible());
        QCOMPARE(viewer->DisplayReleases(), 1);
    }

    void zoomByKeysAndContextMenu() {
        SViewer viewer(3);
        QVERIFY(QTest::qWaitForWindowExposed(viewer.get()));
        auto* pPicture = viewer->findChild<QWidget*>("picture");
        const QSize dialog1 = viewer->size();
        const struct {
            Qt::Key key;
            int nZoom;
        } steps[] = {{Qt::Key_Plus, 2},  {Qt::Key_Plus, 3},  {Qt::Key_Plus, 3},
                     {Qt::Key_Minus, 2}, {Qt::Key_Minus, 1}, {Qt::Key_Minus, 1}};
        for (const auto& step : steps) {
            QTest::keyClick(viewer.get(), step.key);
            QCOMPARE(viewer->Zoom(), step.nZoom);
            QCOMPARE(pPicture->size(), QSize(176, 144) * step.nZoom);
            // The dialog fits the picture, growing with the zoom.
            const QRect picture(pPicture->mapTo(viewer.get(), QPoint(0, 0)), pPicture->size());
            QVERIFY(viewer->rect().contains(picture));
            QCOMPARE(viewer->width() > dialog1.width(), step.nZoom > 1);
            QCOMPARE(viewer->height() > dialog1.height(), step.nZoom > 1);
        }
        QCOMPARE(viewer->size(), dialog1);

        // The context menu offers 1x, 2x and 3x.
        QStringList offered;
        After(50, [&] {
            auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(pMenu);
            for (QAction* pAction : pMenu->actions()) {
                offered << pAction->text();
            }
            pMenu->setActiveAction(pMenu->actions().at(2));
            QTest::keyClick(pMenu, Qt::Key_Return);
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                pPicture->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(pPicture, &event);
        QCOMPARE(offered, (QStringList{"Zoom 1x", "Zoom 2x", "Zoom 3x"}));
        QCOMPARE(viewer->Zoom(), 3);
        QCOMPARE(pPicture->size(), QSize(528, 432));
        // The picture scales the same frame.
        const QImage shot = pPicture->grab().toImage();
        QCOMPARE(shot.pixel(3 * 100 + 1, 3 * 70 + 2), viewer->Picture().pixel(100, 70));
    }

    void pictureButtonsHaveUpAndDownLooks() {
        CPictureButton button(CPictureButton::Glyph::Start, "Start");
        button.resize(button.sizeHint());
        const QImage up = button.grab().toImage();
        button.setDown(true);
        const QImage down = button.grab().toImage();
        QVERIFY(up != down);
        CPictureButton cancel(CPictureButton::Glyph::Cancel, "Start");
        cancel.resize(button.sizeHint());
        QVERIFY(cancel.grab().toImage() != up);
    }
};

QTEST_MAIN(TestViewerDlg)
#include "test_viewer_dlg.moc"
