#pragma once
// The comparison view: the comparison file (reference), the document's raw
// stream and their difference for one frame at a time, side by side or stacked,
// in true colour or one plane in grey, with the frame's loss figures and a
// read-out of the samples under the pointer.
//
// The panes zoom (1x..16x in whole steps, or fit to the panes) with nearest-
// neighbour pixels, and pan together: each shows the same region of its picture. Keys wherever
// the focus is not in a number field: Left/Down/Page Down step back (Page keys
// by 10), Right/Up/Page Up forward, Home and End go to the first and last frame,
// Space plays or pauses, + and - zoom, 1 is actual size, 0 fits, Escape and
// Ctrl+W close.
//
// Frames come one at a time from CComparisonFrames, so the document may change
// while the window is open: SyncDocument() follows it (the owner calls it after
// each command).

#include <QImage>
#include <QPointF>
#include <QWidget>
#include <array>

#include "playback/FramePictures.h"
#include "stats/ComparisonFrames.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;
class QToolButton;
class CPaneView;
class CDifferenceLegend;

enum EComparisonPane : int { PANE_REFERENCE = 0, PANE_STREAM, PANE_DIFFERENCE, PANE_COUNT };

class CAnalysisWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int MAX_ZOOM = 16;
    static constexpr int DEFAULT_RATE = 30;  // frames per second

    explicit CAnalysisWindow(const CTavroDoc& doc, QWidget* pParent = nullptr);

    // Frames: 1-based; out-of-range numbers are taken to the nearest frame.
    uint32_t Frame() const { return m_frames.Frame(); }
    uint32_t FrameCount() const { return m_frames.Count(); }
    void SetFrame(int nFrame);
    void StepFrames(int nDelta);

    void SetMode(EPictureMode mode);
    EPictureMode Mode() const { return m_mode; }
    void SetDifferenceStyle(EDifferenceStyle style);
    EDifferenceStyle DifferenceStyle() const { return m_style; }
    void SetGain(int nGain);
    int Gain() const { return m_nGain; }
    void SetStacked(bool bStacked);
    bool IsStacked() const { return m_bStacked; }

    // A whole zoom 1..MAX_ZOOM (leaves fit mode), or fit to the panes.
    void SetZoom(int nZoom);
    void SetFit();
    bool IsFit() const { return m_bFit; }
    // The zoom the panes show now: the whole zoom chosen, or in fit mode the
    // largest (1..16, not always whole) at which the picture fits a pane.
    double EffectiveZoom() const;
    // Pans every pane so that picture point (x, y) is at its centre.
    void CentreOn(QPointF picturePoint);
    QPointF Centre() const { return m_centre; }
    // Where the top-left corner of the picture is drawn in a pane (pane pixels).
    QPoint PaneOrigin(int nPane) const;

    void Play();
    void Pause();
    bool IsPlaying() const;
    void SetRate(int nFramesPerSecond);

    // The pictures of the frame shown (176 x 144), and a pane widget.
    const QImage& Picture(int nPane) const { return m_pictures[size_t(nPane)]; }
    QWidget* Pane(int nPane) const;
    // The figures line and the read-out line under the panes.
    QLabel* FiguresLabel() const { return m_pFigures; }
    QLabel* ReadoutLabel() const { return m_pReadout; }
    const CComparisonFrames& Frames() const { return m_frames; }

    // A pane's picture, or all three as arranged (nPane = PANE_COUNT), at the
    // zoom shown taken down to whole pixels; SavePicture asks for a file (suggesting e.g.
    // foreman_f050_diff.png) and writes it. False on Cancel or failure.
    QImage PictureAtZoom(int nPane) const;
    bool SavePicture(int nPane);
    std::string SuggestedName(int nPane) const;

    // Follows the document: a changed stream or comparison file reloads the
    // frame shown (or the nearest one that is left).
    void SyncDocument();

signals:
    void frameChanged(int nFrame);

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    friend class CPaneView;
    void BuildControls();
    void LoadFrame(uint32_t nFrame);
    void RenderPictures();
    void UpdateFrameControls();
    void UpdateCaptions();
    void OnTick();
    void ShowReadout(int nPane, QPointF picturePoint, bool bInside);
    void ZoomAt(int nZoom, QPointF picturePoint);
    bool HandleKey(int nKey, Qt::KeyboardModifiers modifiers);

    CComparisonFrames m_frames;
    EPictureMode m_mode = EPictureMode::Colour;
    EDifferenceStyle m_style = EDifferenceStyle::Signed;
    int m_nGain = 8;
    bool m_bStacked = false;
    bool m_bFit = true;
    int m_nZoom = 1;
    QPointF m_centre{QCIF_WIDTH / 2.0, QCIF_HEIGHT / 2.0};
    std::array<QImage, PANE_COUNT> m_pictures;

    std::array<CPaneView*, PANE_COUNT> m_panes{};
    QWidget* m_pPaneArea = nullptr;
    QComboBox* m_pLayout = nullptr;
    QComboBox* m_pMode = nullptr;
    QComboBox* m_pStyle = nullptr;
    QSpinBox* m_pGain = nullptr;
    QComboBox* m_pZoom = nullptr;
    CDifferenceLegend* m_pLegend = nullptr;
    QPushButton* m_pSave = nullptr;
    QToolButton* m_pPlay = nullptr;
    QSpinBox* m_pRate = nullptr;
    QSlider* m_pSlider = nullptr;
    QSpinBox* m_pFrame = nullptr;
    QLabel* m_pFrameCount = nullptr;
    QLabel* m_pFigures = nullptr;
    QLabel* m_pReadout = nullptr;
    QTimer* m_pTimer = nullptr;
    bool m_bUpdating = false;  // controls being set from code
};
