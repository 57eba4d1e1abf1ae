#pragma once
// "QCIF stream viewer": plays raw QCIF frames with Start, Pause, Loop, a
// position slider and Cancel. The play loop and its state machine are
// CPlayer's; this window supplies the platform side (drawing through the
// dithered 8-bit display, the 23 ms sleep, letting pending events through,
// counter and slider) and forwards its controls to the player.
//
// Beyond the classic 176 x 144 picture (zoom 1x, drawn at 17,18): zoom 2x and
// 3x through the + and - keys or the picture's context menu; the dialog grows
// and shrinks to fit.

#include <QDialog>
#include <QImage>
#include <cstdint>

#include "playback/DitherDisplay.h"
#include "playback/Player.h"

class QLineEdit;
class QPushButton;
class QSlider;
class CPictureButton;
class CPictureView;

class CViewerDlg : public QDialog, private IPlayerHooks {
    Q_OBJECT
public:
    // pFrames: nFrames raw frames back to back, not owned; they must outlive
    // the dialog. The viewer never changes them.
    CViewerDlg(const uint8_t* pFrames, uint32_t nFrames, QWidget* pParent = nullptr);
    ~CViewerDlg() override;

    const CPlayer& Player() const { return m_player; }
    // 1, 2 or 3.
    int Zoom() const { return m_nZoom; }
    void SetZoom(int nZoom);
    // How often the display was released (once, however the dialog closes).
    int DisplayReleases() const { return m_nReleases; }
    // Frames converted and drawn so far, and the last one drawn (1-based).
    int FramesDrawn() const { return m_nFramesDrawn; }
    uint16_t LastFrameDrawn() const { return m_nLastDrawn; }
    // The picture as shown at zoom 1 (null before the first frame).
    const QImage& Picture() const { return m_image; }

    void reject() override;  // Cancel, Escape and the close box
    // Enter: the viewer has no OK button, and ending it from Enter in the
    // middle of a pass would leave the pass running on a closed dialog.
    void accept() override {}

signals:
    void frameDrawn(int nFrame);

protected:
    void showEvent(QShowEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    void OnInitDialog();

    // IPlayerHooks
    void DrawFrame(uint16_t nFrame, const uint8_t* pFrame) override;
    void ShowFrameCount(uint16_t nFrames) override;
    void ShowCurrentFrame(uint16_t nFrame) override;
    void SetSliderRange(uint16_t nMin, uint16_t nMax) override;
    void SetSliderPos(uint16_t nFrame) override;
    void UncheckPause() override;
    void Sleep(uint32_t nMilliseconds) override;
    void PumpOneEvent() override;
    void ReleaseDisplay() override;
    void EndDialog() override;

    CPlayer m_player;
    CDitherDisplay m_display;
    bool m_bInitialised = false;
    bool m_bDisplayReady = false;
    bool m_bReleased = false;
    int m_nReleases = 0;
    int m_nFramesDrawn = 0;
    uint16_t m_nLastDrawn = 0;
    int m_nZoom = 1;
    QImage m_image;

    CPictureView* m_pPicture;
    CPictureButton* m_pStart;   // 1027
    QPushButton* m_pLoop;       // 1020
    QPushButton* m_pPause;      // 1024
    CPictureButton* m_pCancel;  // 2
    QSlider* m_pSlider;         // 1029
    QLineEdit* m_pCurrentEdit;  // 1023
    QLineEdit* m_pCountEdit;    // 1022
};
