#include "app/AnalysisWindow.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/PictureFiles.h"

namespace {

constexpr int WIDTH = int(QCIF_WIDTH);
constexpr int HEIGHT = int(QCIF_HEIGHT);
constexpr int STRIP_GAP = 8;          // pixels between the pictures of a saved strip
const QColor GAP_COLOUR(64, 64, 64);  // and behind the pictures in the panes
// Zoom steps of the + and - keys and of the wheel.
constexpr int ZOOM_STEPS[] = {1, 2, 3, 4, 6, 8, 12, 16};
constexpr const char* PANE_PARTS[PANE_COUNT + 1] = {"ref", "stream", "diff", "strip"};

int NextZoom(double dZoom, int nDirection) {
    if (nDirection > 0) {
        for (int z : ZOOM_STEPS) {
            if (z > dZoom) {
                return z;
            }
        }
        return CAnalysisWindow::MAX_ZOOM;
    }
    int nBest = 1;
    for (int z : ZOOM_STEPS) {
        if (z < dZoom) {
            nBest = z;
        }
    }
    return nBest;
}

QString PlaneName(EPictureMode mode) {
    switch (mode) {
        case EPictureMode::Y:
            return QStringLiteral(" Y");
        case EPictureMode::U:
            return QStringLiteral(" U");
        case EPictureMode::V:
            return QStringLiteral(" V");
        default:
            return QString();
    }
}

}  // namespace

// One pane: a caption line, then the picture at the window's zoom around the
// window's centre point. Dragging pans, Ctrl+wheel zooms at the pointer, and
// the pointer's position feeds the window's read-out.
class CPaneView : public QWidget {
public:
    CPaneView(CAnalysisWindow* pWindow, int nPane)
        : QWidget(pWindow), m_pWindow(pWindow), m_nPane(nPane) {
        setObjectName(QStringLiteral("Pane%1").arg(nPane));
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        setMinimumSize(120, 90);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }

    void SetCaption(const QString& str) {
        m_strCaption = str;
        UpdateToolTip();
        update();
    }
    QString Caption() const { return m_strCaption; }

    // Where the pictures are drawn, below the caption.
    QRect ImageArea() const {
        const int nTop = fontMetrics().height() + 4;
        return QRect(0, nTop, width(), std::max(0, height() - nTop));
    }
    // Top-left corner of the picture in widget pixels: centred while it fits,
    // else placed so the window's centre point is in the middle, never leaving
    // an empty margin.
    QPoint PictureOrigin() const {
        const QRect area = ImageArea();
        const double z = m_pWindow->EffectiveZoom();
        auto place = [z](int nStart, int nSpan, int nSize, double dCentre) {
            const int nPixels = int(std::lround(nSize * z));
            if (nPixels <= nSpan) {
                return nStart + (nSpan - nPixels) / 2;
            }
            const int n = nStart + int(std::lround(nSpan / 2.0 - dCentre * z));
            return std::clamp(n, nStart + nSpan - nPixels, nStart);
        };
        return QPoint(place(area.left(), area.width(), WIDTH, m_pWindow->Centre().x()),
                      place(area.top(), area.height(), HEIGHT, m_pWindow->Centre().y()));
    }
    QPointF PicturePoint(QPointF widgetPoint) const {
        const QPoint origin = PictureOrigin();
        const double z = m_pWindow->EffectiveZoom();
        return QPointF((widgetPoint.x() - origin.x()) / z, (widgetPoint.y() - origin.y()) / z);
    }
    // The zoom that fits the picture into the area, 1 .. MAX_ZOOM.
    double FitZoom() const {
        const QRect area = ImageArea();
        const double z = std::min(double(area.width()) / WIDTH, double(area.height()) / HEIGHT);
        return std::clamp(z, 1.0, double(CAnalysisWindow::MAX_ZOOM));
    }
    QSize sizeHint() const override {
        return QSize(2 * WIDTH, 2 * HEIGHT + fontMetrics().height() + 4);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = ImageArea();
        painter.setPen(palette().color(QPalette::WindowText));
        const QString strCaption =
            fontMetrics().elidedText(m_strCaption, Qt::ElideMiddle, width() - 4);
        painter.drawText(QRect(2, 0, width() - 4, area.top()), Qt::AlignLeft | Qt::AlignVCenter,
                         strCaption);
        painter.fillRect(area, GAP_COLOUR);
        const QImage& image = m_pWindow->Picture(m_nPane);
        if (image.isNull()) {
            return;
        }
        // Nearest neighbour, never smoothed: at whole zooms every sample is a
        // sharp square.
        painter.setClipRect(area);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        const double z = m_pWindow->EffectiveZoom();
        painter.drawImage(QRect(PictureOrigin(),
                                QSize(int(std::lround(WIDTH * z)), int(std::lround(HEIGHT * z)))),
                          image);
    }
    void resizeEvent(QResizeEvent* pEvent) override {
        UpdateToolTip();
        QWidget::resizeEvent(pEvent);
    }
    void mousePressEvent(QMouseEvent* pEvent) override {
        if (pEvent->button() == Qt::LeftButton) {
            m_dragFrom = pEvent->position();
            m_dragCentre = m_pWindow->Centre();
            m_bDragging = true;
            setCursor(Qt::ClosedHandCursor);
        }
        QWidget::mousePressEvent(pEvent);
    }
    void mouseReleaseEvent(QMouseEvent* pEvent) override {
        m_bDragging = false;
        unsetCursor();
        QWidget::mouseReleaseEvent(pEvent);
    }
    void mouseMoveEvent(QMouseEvent* pEvent) override {
        if (m_bDragging) {
            const QPointF delta = (pEvent->position() - m_dragFrom) / m_pWindow->EffectiveZoom();
            m_pWindow->CentreOn(m_dragCentre - delta);
        }
        const QPointF p = PicturePoint(pEvent->position());
        const bool bInside = ImageArea().contains(pEvent->position().toPoint()) && p.x() >= 0 &&
                             p.y() >= 0 && p.x() < WIDTH && p.y() < HEIGHT;
        m_pWindow->ShowReadout(m_nPane, p, bInside);
    }
    void leaveEvent(QEvent* pEvent) override {
        m_pWindow->ShowReadout(m_nPane, QPointF(), false);
        QWidget::leaveEvent(pEvent);
    }
    void wheelEvent(QWheelEvent* pEvent) override {
        const QPoint angle = pEvent->angleDelta();
        if (pEvent->modifiers() & Qt::ControlModifier) {
            if (angle.y() != 0) {
                m_pWindow->ZoomAt(NextZoom(m_pWindow->EffectiveZoom(), angle.y() > 0 ? 1 : -1),
                                  PicturePoint(pEvent->position()));
            }
        } else {
            // A wheel notch pans 40 screen pixels; Shift turns it sideways.
            QPointF step(angle.x(), angle.y());
            if (pEvent->modifiers() & Qt::ShiftModifier) {
                step = QPointF(step.y(), step.x());
            }
            m_pWindow->CentreOn(m_pWindow->Centre() - step / 3.0 / m_pWindow->EffectiveZoom());
        }
        pEvent->accept();
    }

private:
    // A caption cut short by a narrow pane is there in full as the tooltip.
    void UpdateToolTip() {
        const bool bCut = fontMetrics().horizontalAdvance(m_strCaption) > width() - 4;
        setToolTip(bCut ? m_strCaption : QString());
    }

    CAnalysisWindow* m_pWindow;
    int m_nPane;
    QString m_strCaption;
    bool m_bDragging = false;
    QPointF m_dragFrom;
    QPointF m_dragCentre;
};

// The difference scale: a bar from the most negative to the most positive
// difference told apart (signed), or from 0 to saturation (heat map).
class CDifferenceLegend : public QWidget {
public:
    explicit CDifferenceLegend(QWidget* pParent) : QWidget(pParent) {
        setObjectName(QStringLiteral("Legend"));
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    void Set(EDifferenceStyle style, int nGain) {
        m_style = style;
        m_nGain = nGain;
        setToolTip(
            style == EDifferenceStyle::Heat
                ? QStringLiteral("Heat map: black where the frames agree, brightest "
                                 "from a difference of %1 on")
                      .arg(HeatSaturation(nGain))
                : QStringLiteral("Difference amplified %1 times around mid-grey").arg(nGain));
        updateGeometry();
        update();
    }
    QString LowText() const {
        return m_style == EDifferenceStyle::Heat ? QStringLiteral("0")
                                                 : QStringLiteral("-%1").arg(Reach());
    }
    QString HighText() const {
        return m_style == EDifferenceStyle::Heat
                   ? QStringLiteral(">=%1").arg(HeatSaturation(m_nGain))
                   : QStringLiteral("+%1").arg(Reach());
    }
    QSize sizeHint() const override {
        const QFontMetrics fm = fontMetrics();
        return QSize(fm.horizontalAdvance(QStringLiteral("-128")) +
                         fm.horizontalAdvance(QStringLiteral(">=255")) + BAR_WIDTH + 16,
                     fm.height() + 6);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics fm = fontMetrics();
        const int nLeft = fm.horizontalAdvance(QStringLiteral("-128")) + 6;
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(0, 0, nLeft - 4, height()), Qt::AlignRight | Qt::AlignVCenter,
                         LowText());
        painter.drawText(QRect(nLeft + BAR_WIDTH + 4, 0, width(), height()),
                         Qt::AlignLeft | Qt::AlignVCenter, HighText());
        const int nBarTop = 3, nBarHeight = height() - 6;
        for (int i = 0; i < BAR_WIDTH; ++i) {
            const int nLevel = i * 255 / (BAR_WIDTH - 1);
            QColor colour(nLevel, nLevel, nLevel);
            if (m_style == EDifferenceStyle::Heat) {
                uint8_t rgb[3];
                HeatColour(nLevel, rgb);
                colour = QColor(rgb[0], rgb[1], rgb[2]);
            }
            painter.fillRect(nLeft + i, nBarTop, 1, nBarHeight, colour);
        }
        painter.setPen(QColor(128, 128, 128));
        painter.drawRect(nLeft - 1, nBarTop - 1, BAR_WIDTH + 1, nBarHeight + 1);
    }

private:
    static constexpr int BAR_WIDTH = 128;
    // The difference drawn black (or white) with the signed scale.
    int Reach() const { return (128 + m_nGain - 1) / m_nGain; }
    EDifferenceStyle m_style = EDifferenceStyle::Signed;
    int m_nGain = 8;
};

CAnalysisWindow::CAnalysisWindow(const CTavroDoc& doc, QWidget* pParent)
    : QWidget(pParent, Qt::Window), m_frames(doc) {
    setObjectName(QStringLiteral("AnalysisWindow"));
    for (QImage& image : m_pictures) {
        image = QImage(WIDTH, HEIGHT, QImage::Format_RGB888);
        image.fill(GAP_COLOUR);
    }
    BuildControls();
    m_pTimer = new QTimer(this);
    m_pTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pTimer, &QTimer::timeout, this, &CAnalysisWindow::OnTick);
    SetRate(DEFAULT_RATE);
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* pShortcut = new QShortcut(key, this);
        connect(pShortcut, &QShortcut::activated, this, &QWidget::close);
    }
    SyncDocument();
    m_panes[PANE_REFERENCE]->setFocus();
}

void CAnalysisWindow::BuildControls() {
    auto combo = [this](const char* pszName, QStringList items) {
        auto* p = new QComboBox(this);
        p->setObjectName(QString::fromLatin1(pszName));
        p->addItems(items);
        p->setFocusPolicy(Qt::TabFocus);  // a click leaves the keys to the frames
        return p;
    };
    m_pLayout = combo("Layout", {QStringLiteral("Side by side"), QStringLiteral("Stacked")});
    m_pMode = combo("Mode", {QStringLiteral("True colour"), QStringLiteral("Y plane"),
                             QStringLiteral("U plane"), QStringLiteral("V plane")});
    m_pStyle = combo("Style", {QStringLiteral("Signed"), QStringLiteral("Heat map")});
    QStringList zooms{QStringLiteral("Fit")};
    for (int z = 1; z <= MAX_ZOOM; ++z) {
        zooms << QStringLiteral("%1x").arg(z);
    }
    m_pZoom = combo("Zoom", zooms);
    m_pGain = new QSpinBox(this);
    m_pGain->setObjectName(QStringLiteral("Gain"));
    m_pGain->setRange(PICTURE_MIN_GAIN, PICTURE_MAX_GAIN);
    m_pGain->setSuffix(QStringLiteral("x"));
    m_pGain->setValue(m_nGain);
    m_pLegend = new CDifferenceLegend(this);
    m_pLegend->Set(m_style, m_nGain);

    m_pSave = new QPushButton(QStringLiteral("Save PNG..."), this);
    m_pSave->setObjectName(QStringLiteral("SavePng"));
    m_pSave->setFocusPolicy(Qt::TabFocus);
    auto* pSaveMenu = new QMenu(m_pSave);
    const char* const SAVE_ITEMS[] = {"Reference picture...", "Stream picture...",
                                      "Difference picture...", "Whole strip..."};
    for (int n = 0; n <= PANE_COUNT; ++n) {
        QAction* pAction = pSaveMenu->addAction(QString::fromLatin1(SAVE_ITEMS[n]));
        connect(pAction, &QAction::triggered, this, [this, n] { SavePicture(n); });
    }
    m_pSave->setMenu(pSaveMenu);

    connect(m_pLayout, &QComboBox::currentIndexChanged, this, [this](int n) {
        if (!m_bUpdating)
            SetStacked(n == 1);
    });
    connect(m_pMode, &QComboBox::currentIndexChanged, this, [this](int n) {
        if (!m_bUpdating)
            SetMode(EPictureMode(n));
    });
    connect(m_pStyle, &QComboBox::currentIndexChanged, this, [this](int n) {
        if (!m_bUpdating)
            SetDifferenceStyle(EDifferenceStyle(n));
    });
    connect(m_pGain, &QSpinBox::valueChanged, this, [this](int n) {
        if (!m_bUpdating)
            SetGain(n);
    });
    connect(m_pZoom, &QComboBox::currentIndexChanged, this, [this](int n) {
        if (m_bUpdating)
            return;
        n == 0 ? SetFit() : SetZoom(n);
    });

    auto label = [this](const char* psz) { return new QLabel(QString::fromLatin1(psz), this); };
    auto* pRow1 = new QHBoxLayout;
    pRow1->addWidget(label("Layout:"));
    pRow1->addWidget(m_pLayout);
    pRow1->addWidget(label("Show:"));
    pRow1->addWidget(m_pMode);
    pRow1->addWidget(label("Zoom:"));
    pRow1->addWidget(m_pZoom);
    pRow1->addStretch(1);
    pRow1->addWidget(m_pSave);
    auto* pRow2 = new QHBoxLayout;
    pRow2->addWidget(label("Difference:"));
    pRow2->addWidget(m_pStyle);
    pRow2->addWidget(label("Gain:"));
    pRow2->addWidget(m_pGain);
    pRow2->addWidget(m_pLegend);
    pRow2->addStretch(1);

    m_pPaneArea = new QWidget(this);
    for (int n = 0; n < PANE_COUNT; ++n) {
        m_panes[size_t(n)] = new CPaneView(this, n);
    }
    auto* pGrid = new QGridLayout(m_pPaneArea);
    pGrid->setContentsMargins(0, 0, 0, 0);

    m_pPlay = new QToolButton(this);
    m_pPlay->setObjectName(QStringLiteral("Play"));
    m_pPlay->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_pPlay->setFocusPolicy(Qt::TabFocus);
    connect(m_pPlay, &QToolButton::clicked, this, [this] { IsPlaying() ? Pause() : Play(); });
    m_pRate = new QSpinBox(this);
    m_pRate->setObjectName(QStringLiteral("Rate"));
    m_pRate->setRange(1, 120);
    m_pRate->setSuffix(QStringLiteral(" fps"));
    connect(m_pRate, &QSpinBox::valueChanged, this, [this](int n) {
        if (!m_bUpdating)
            SetRate(n);
    });
    m_pSlider = new QSlider(Qt::Horizontal, this);
    m_pSlider->setObjectName(QStringLiteral("FrameSlider"));
    m_pSlider->setPageStep(10);
    connect(m_pSlider, &QSlider::valueChanged, this, [this](int n) {
        if (!m_bUpdating)
            SetFrame(n);
    });
    m_pFrame = new QSpinBox(this);
    m_pFrame->setObjectName(QStringLiteral("FrameNumber"));
    m_pFrame->setKeyboardTracking(false);  // a typed number counts once complete
    connect(m_pFrame, &QSpinBox::valueChanged, this, [this](int n) {
        if (!m_bUpdating)
            SetFrame(n);
    });
    m_pFrameCount = new QLabel(this);
    m_pFrameCount->setObjectName(QStringLiteral("FrameCount"));
    auto* pNav = new QHBoxLayout;
    pNav->addWidget(m_pPlay);
    pNav->addWidget(m_pRate);
    pNav->addWidget(m_pSlider, 1);
    pNav->addWidget(label("Frame"));
    pNav->addWidget(m_pFrame);
    pNav->addWidget(m_pFrameCount);

    m_pFigures = new QLabel(this);
    m_pFigures->setObjectName(QStringLiteral("Figures"));
    m_pFigures->setWordWrap(true);
    m_pFigures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pReadout = new QLabel(this);
    m_pReadout->setObjectName(QStringLiteral("Readout"));
    m_pReadout->setWordWrap(true);
    // Two lines kept for the read-out, so the panes do not jump as it changes.
    m_pReadout->setMinimumHeight(2 * m_pReadout->fontMetrics().lineSpacing());
    m_pReadout->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pRow1);
    pLayout->addLayout(pRow2);
    pLayout->addWidget(m_pPaneArea, 1);
    pLayout->addLayout(pNav);
    pLayout->addWidget(m_pFigures);
    pLayout->addWidget(m_pReadout);
    SetStacked(false);
    ShowReadout(0, QPointF(), false);
}

void CAnalysisWindow::SyncDocument() {
    if (!m_frames.Sync()) {
        return;
    }
    QString strStream = QString::fromStdString(m_frames.StreamName());
    if (!m_frames.Parameters().empty()) {
        strStream += QStringLiteral(" (%1)").arg(QString::fromStdString(m_frames.Parameters()));
    }
    const QString strReference = QString::fromStdString(m_frames.ReferenceName());
    setWindowTitle(QStringLiteral("Comparison View - %1 against %2").arg(strStream, strReference));
    m_panes[PANE_REFERENCE]->SetCaption(QStringLiteral("Reference: ") + strReference);
    m_panes[PANE_STREAM]->SetCaption(QStringLiteral("Stream: ") + strStream);
    UpdateCaptions();
    const uint32_t nCount = m_frames.Count();
    if (nCount == 0) {
        Pause();
        for (QImage& image : m_pictures) {
            image.fill(GAP_COLOUR);
        }
        m_pFigures->setText(QStringLiteral(
            "Nothing to compare: the document holds no raw stream, or no comparison file."));
        UpdateFrameControls();
        for (CPaneView* pPane : m_panes) {
            pPane->update();
        }
        return;
    }
    const uint32_t nFrame = std::clamp<uint32_t>(m_frames.Frame(), 1, nCount);
    UpdateFrameControls();
    LoadFrame(nFrame);
}

void CAnalysisWindow::SetFrame(int nFrame) {
    const uint32_t nCount = m_frames.Count();
    if (nCount == 0) {
        return;
    }
    LoadFrame(uint32_t(std::clamp<int64_t>(nFrame, 1, nCount)));
}

void CAnalysisWindow::StepFrames(int nDelta) {
    SetFrame(int(m_frames.Frame()) + nDelta);
}

void CAnalysisWindow::LoadFrame(uint32_t nFrame) {
    std::string strError;
    if (!m_frames.Load(nFrame, &strError)) {
        Pause();
        m_pFigures->setText(QString::fromStdString(strError));
        UpdateFrameControls();
        return;
    }
    RenderPictures();
    // A long line breaks between the figures of the frame and of each plane only.
    QStringList parts = QString::fromStdString(FiguresText(m_frames.Figures())).split(" | ");
    for (QString& strPart : parts) {
        strPart.replace(QLatin1Char(' '), QChar(0x00A0));
    }
    m_pFigures->setText(parts.join(QStringLiteral(" | ")));
    UpdateFrameControls();
    emit frameChanged(int(nFrame));
}

void CAnalysisWindow::RenderPictures() {
    if (m_frames.Frame() == 0) {
        return;
    }
    RenderFramePicture(m_frames.Reference(), m_mode, m_pictures[PANE_REFERENCE].bits());
    RenderFramePicture(m_frames.Stream(), m_mode, m_pictures[PANE_STREAM].bits());
    RenderDifferencePicture(m_frames.Stream(), m_frames.Reference(), m_mode, m_style, m_nGain,
                            m_pictures[PANE_DIFFERENCE].bits());
    for (CPaneView* pPane : m_panes) {
        pPane->update();
    }
}

void CAnalysisWindow::UpdateFrameControls() {
    m_bUpdating = true;
    const int nCount = int(m_frames.Count());
    const int nFrame = int(std::min<uint32_t>(m_frames.Frame(), m_frames.Count()));
    for (QWidget* p : std::initializer_list<QWidget*>{m_pSlider, m_pFrame, m_pPlay}) {
        p->setEnabled(nCount > 0);
    }
    m_pSlider->setRange(1, std::max(1, nCount));
    m_pFrame->setRange(1, std::max(1, nCount));
    m_pSlider->setValue(std::max(1, nFrame));
    m_pFrame->setValue(std::max(1, nFrame));
    m_pFrameCount->setText(QStringLiteral("of %1").arg(nCount));
    const bool bPlaying = IsPlaying();
    m_pPlay->setText(bPlaying ? QStringLiteral("Pause") : QStringLiteral("Play"));
    m_pPlay->setIcon(
        style()->standardIcon(bPlaying ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    m_bUpdating = false;
}

void CAnalysisWindow::UpdateCaptions() {
    const QString strPlane = PlaneName(m_mode);
    const QString strDiff =
        m_style == EDifferenceStyle::Heat
            ? QStringLiteral("Heat map%1 x%2: |stream - reference|").arg(strPlane).arg(m_nGain)
            : QStringLiteral("Difference%1 x%2: stream - reference").arg(strPlane).arg(m_nGain);
    m_panes[PANE_DIFFERENCE]->SetCaption(strDiff);
    m_pLegend->Set(m_style, m_nGain);
    m_bUpdating = true;
    m_pLayout->setCurrentIndex(m_bStacked ? 1 : 0);
    m_pMode->setCurrentIndex(int(m_mode));
    m_pStyle->setCurrentIndex(int(m_style));
    m_pGain->setValue(m_nGain);
    m_pZoom->setCurrentIndex(m_bFit ? 0 : m_nZoom);
    m_bUpdating = false;
}

void CAnalysisWindow::SetMode(EPictureMode mode) {
    m_mode = mode;
    UpdateCaptions();
    RenderPictures();
}

void CAnalysisWindow::SetDifferenceStyle(EDifferenceStyle style) {
    m_style = style;
    UpdateCaptions();
    RenderPictures();
}

void CAnalysisWindow::SetGain(int nGain) {
    m_nGain = std::clamp(nGain, PICTURE_MIN_GAIN, PICTURE_MAX_GAIN);
    UpdateCaptions();
    RenderPictures();
}

void CAnalysisWindow::SetStacked(bool bStacked) {
    m_bStacked = bStacked;
    auto* pGrid = static_cast<QGridLayout*>(m_pPaneArea->layout());
    for (CPaneView* pPane : m_panes) {
        pGrid->removeWidget(pPane);
    }
    for (int n = 0; n < PANE_COUNT; ++n) {
        pGrid->addWidget(m_panes[size_t(n)], bStacked ? n : 0, bStacked ? 0 : n);
    }
    for (int n = 0; n < PANE_COUNT; ++n) {
        pGrid->setColumnStretch(n, bStacked ? (n == 0) : 1);
        pGrid->setRowStretch(n, bStacked ? 1 : (n == 0));
    }
    UpdateCaptions();
}

QWidget* CAnalysisWindow::Pane(int nPane) const {
    return m_panes[size_t(nPane)];
}

QPoint CAnalysisWindow::PaneOrigin(int nPane) const {
    return m_panes[size_t(nPane)]->PictureOrigin();
}

double CAnalysisWindow::EffectiveZoom() const {
    return m_bFit ? m_panes[PANE_REFERENCE]->FitZoom() : m_nZoom;
}

void CAnalysisWindow::SetZoom(int nZoom) {
    m_nZoom = std::clamp(nZoom, 1, MAX_ZOOM);
    m_bFit = false;
    UpdateCaptions();
    for (CPaneView* pPane : m_panes) {
        pPane->update();
    }
}

void CAnalysisWindow::SetFit() {
    m_bFit = true;
    CentreOn(QPointF(WIDTH / 2.0, HEIGHT / 2.0));
    UpdateCaptions();
}

void CAnalysisWindow::ZoomAt(int nZoom, QPointF picturePoint) {
    // The picture point under the pointer stays where it is.
    const double dOld = EffectiveZoom();
    SetZoom(nZoom);
    CentreOn(picturePoint + (m_centre - picturePoint) * (dOld / EffectiveZoom()));
}

void CAnalysisWindow::CentreOn(QPointF picturePoint) {
    m_centre = QPointF(std::clamp(picturePoint.x(), 0.0, double(WIDTH)),
                       std::clamp(picturePoint.y(), 0.0, double(HEIGHT)));
    for (CPaneView* pPane : m_panes) {
        pPane->update();
    }
}

void CAnalysisWindow::Play() {
    if (m_frames.Count() == 0) {
        return;
    }
    if (m_frames.Frame() >= m_frames.Count()) {
        SetFrame(1);  // from the start again after a pass to the end
    }
    m_pTimer->start();
    UpdateFrameControls();
}

void CAnalysisWindow::Pause() {
    m_pTimer->stop();
    UpdateFrameControls();
}

bool CAnalysisWindow::IsPlaying() const {
    return m_pTimer != nullptr && m_pTimer->isActive();
}

void CAnalysisWindow::SetRate(int nFramesPerSecond) {
    const int nRate = std::clamp(nFramesPerSecond, 1, 120);
    m_pTimer->setInterval(1000 / nRate);
    m_bUpdating = true;
    m_pRate->setValue(nRate);
    m_bUpdating = false;
}

void CAnalysisWindow::OnTick() {
    if (m_frames.Frame() >= m_frames.Count()) {
        Pause();
        return;
    }
    LoadFrame(m_frames.Frame() + 1);
}

void CAnalysisWindow::ShowReadout(int nPane, QPointF picturePoint, bool bInside) {
    (void)nPane;
    if (!bInside || m_frames.Frame() == 0) {
        m_pReadout->setText(QStringLiteral(
            "Point at a picture to read its samples. Drag to pan; Ctrl+wheel, + and - zoom, 1 is "
            "actual size, 0 fits; arrows, Page Up/Down, Home and End step through the frames; "
            "Space plays."));
        return;
    }
    m_pReadout->setText(QString::fromStdString(PixelReadoutText(
        m_frames.Stream(), m_frames.Reference(), int(picturePoint.x()), int(picturePoint.y()))));
}

bool CAnalysisWindow::HandleKey(int nKey, Qt::KeyboardModifiers modifiers) {
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return false;
    }
    switch (nKey) {
        case Qt::Key_Right:
        case Qt::Key_Up:
            StepFrames(1);
            return true;
        case Qt::Key_Left:
        case Qt::Key_Down:
            StepFrames(-1);
            return true;
        case Qt::Key_PageUp:
            StepFrames(10);
            return true;
        case Qt::Key_PageDown:
            StepFrames(-10);
            return true;
        case Qt::Key_Home:
            SetFrame(1);
            return true;
        case Qt::Key_End:
            SetFrame(int(m_frames.Count()));
            return true;
        case Qt::Key_Space:
            IsPlaying() ? Pause() : Play();
            return true;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            SetZoom(NextZoom(EffectiveZoom(), 1));
            return true;
        case Qt::Key_Minus:
            SetZoom(NextZoom(EffectiveZoom(), -1));
            return true;
        case Qt::Key_0:
            SetFit();
            return true;
        case Qt::Key_1:
            SetZoom(1);
            return true;
        default:
            return false;
    }
}

void CAnalysisWindow::keyPressEvent(QKeyEvent* pEvent) {
    if (!HandleKey(pEvent->key(), pEvent->modifiers())) {
        QWidget::keyPressEvent(pEvent);
    }
}

QImage CAnalysisWindow::PictureAtZoom(int nPane) const {
    const int z = std::max(1, int(EffectiveZoom()));
    const QSize size(WIDTH * z, HEIGHT * z);
    if (nPane >= 0 && nPane < PANE_COUNT) {
        return m_pictures[size_t(nPane)].scaled(size, Qt::IgnoreAspectRatio,
                                                Qt::FastTransformation);
    }
    const QSize strip = m_bStacked ? QSize(size.width(), 3 * size.height() + 2 * STRIP_GAP)
                                   : QSize(3 * size.width() + 2 * STRIP_GAP, size.height());
    QImage image(strip, QImage::Format_RGB888);
    image.fill(GAP_COLOUR);
    QPainter painter(&image);
    for (int n = 0; n < PANE_COUNT; ++n) {
        const QPoint at = m_bStacked ? QPoint(0, n * (size.height() + STRIP_GAP))
                                     : QPoint(n * (size.width() + STRIP_GAP), 0);
        painter.drawImage(at, PictureAtZoom(n));
    }
    return image;
}

std::string CAnalysisWindow::SuggestedName(int nPane) const {
    return SuggestPictureName(m_frames.StreamName(), m_frames.Frame(), m_frames.Count(),
                              PANE_PARTS[std::clamp(nPane, 0, int(PANE_COUNT))]);
}

bool CAnalysisWindow::SavePicture(int nPane) {
    if (m_frames.Frame() == 0) {
        return false;
    }
    std::string strPath;
    if (!AskSavePath("png", SuggestedName(nPane), strPath)) {
        return false;
    }
    return WritePng(PictureAtZoom(nPane), strPath);
}
