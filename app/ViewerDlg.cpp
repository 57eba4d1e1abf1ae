#include "app/ViewerDlg.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QThread>
#include <QVBoxLayout>
#include <cstring>

#include "app/DialogControls.h"
#include "app/PictureButton.h"
#include "io/QcifFormat.h"

namespace {

constexpr int kWidth = 176;
constexpr int kHeight = 144;
// The picture's top-left corner in the dialog at zoom 1, as in the classic layout.
constexpr int kPictureX = 17;
constexpr int kPictureY = 18;
constexpr int kFramePad = 6;  // between that border and the picture
constexpr int kMaxZoom = 3;

}  // namespace

// The picture: the last converted frame, scaled by the zoom, with a context
// menu for the zoom.
class CPictureView : public QWidget {
public:
    explicit CPictureView(CViewerDlg& dlg) : m_dlg(dlg) {
        setObjectName(QStringLiteral("picture"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (m_dlg.Picture().isNull()) {
            painter.fillRect(rect(), Qt::black);
            return;
        }
        painter.drawImage(rect(), m_dlg.Picture());
    }
    void contextMenuEvent(QContextMenuEvent* pEvent) override {
        QMenu menu(this);
        auto* pGroup = new QActionGroup(&menu);
        for (int nZoom = 1; nZoom <= kMaxZoom; ++nZoom) {
            QAction* pAction = menu.addAction(QStringLiteral("Zoom %1x").arg(nZoom));
            pAction->setCheckable(true);
            pAction->setChecked(nZoom == m_dlg.Zoom());
            pAction->setData(nZoom);
            pGroup->addAction(pAction);
        }
        if (QAction* pChosen = menu.exec(pEvent->globalPos())) {
            m_dlg.SetZoom(pChosen->data().toInt());
        }
    }

private:
    CViewerDlg& m_dlg;
};

CViewerDlg::CViewerDlg(const uint8_t* pFrames, uint32_t nFrames, QWidget* pParent)
    : QDialog(pParent), m_player(*this, pFrames, nFrames) {
    setWindowTitle(QStringLiteral("QCIF stream viewer"));

    m_pPicture = new CPictureView(*this);
    m_pPicture->setFixedSize(kWidth, kHeight);
    auto* pFrame = new QFrame;
    pFrame->setObjectName(QStringLiteral("pictureFrame"));
    pFrame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    pFrame->setLineWidth(1);
    pFrame->setMidLineWidth(0);
    auto* pFrameLayout = new QVBoxLayout(pFrame);
    pFrameLayout->setContentsMargins(kFramePad, kFramePad, kFramePad, kFramePad);
    pFrameLayout->addWidget(m_pPicture);

    m_pStart = new CPictureButton(CPictureButton::Glyph::Start, QStringLiteral("Start"));
    SetControlId(m_pStart, IDC_VIEWER_START);
    m_pCancel = new CPictureButton(CPictureButton::Glyph::Cancel, QStringLiteral("Cancel"));
    SetControlId(m_pCancel, IDCANCEL);
    m_pLoop = new QPushButton(QStringLiteral("Loop"));
    SetControlId(m_pLoop, IDC_VIEWER_LOOP);
    m_pPause = new QPushButton(QStringLiteral("Pause"));
    SetControlId(m_pPause, IDC_VIEWER_PAUSE);
    for (QPushButton* pToggle : {m_pLoop, m_pPause}) {
        pToggle->setCheckable(true);
        pToggle->setAutoDefault(false);
    }

    m_pSlider = new QSlider(Qt::Horizontal);
    SetControlId(m_pSlider, IDC_VIEWER_SLIDER);
    m_pSlider->setTickPosition(QSlider::TicksBelow);
    m_pCurrentEdit = new QLineEdit;
    SetControlId(m_pCurrentEdit, IDC_VIEWER_FRAME_EDIT);
    m_pCountEdit = new QLineEdit;
    SetControlId(m_pCountEdit, IDC_VIEWER_COUNT_EDIT);
    m_pCountEdit->setAlignment(Qt::AlignCenter);
    for (QLineEdit* pEdit : {m_pCurrentEdit, m_pCountEdit}) {
        SetReadOnlyLook(pEdit);
        SizeEditForDigits(pEdit, 5);
    }

    auto* pButtons = new QVBoxLayout;
    pButtons->addWidget(m_pStart, 0, Qt::AlignHCenter);
    pButtons->addSpacing(4);
    pButtons->addWidget(m_pLoop);
    pButtons->addWidget(m_pPause);
    pButtons->addStretch(1);
    pButtons->addWidget(m_pCancel, 0, Qt::AlignHCenter);

    auto* pTop = new QHBoxLayout;
    pTop->setSpacing(12);
    pTop->addWidget(pFrame, 0, Qt::AlignLeft | Qt::AlignTop);
    pTop->addLayout(pButtons);

    auto* pBottom = new QHBoxLayout;
    pBottom->addWidget(m_pCurrentEdit);
    pBottom->addWidget(m_pSlider, 1);
    pBottom->addWidget(m_pCountEdit);

    auto* pLayout = new QVBoxLayout(this);
    // Margins put the picture at 17,18 at zoom 1.
    const int nLeft = kPictureX - kFramePad - pFrame->frameWidth();
    const int nTop = kPictureY - kFramePad - pFrame->frameWidth();
    pLayout->setContentsMargins(nLeft, nTop, nLeft, nLeft);
    pLayout->addLayout(pTop);
    pLayout->addLayout(pBottom);
    // The dialog follows its contents, growing and shrinking with the zoom.
    pLayout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_pStart, &QAbstractButton::clicked, this, [this] { m_player.OnStart(); });
    connect(m_pCancel, &QAbstractButton::clicked, this, &CViewerDlg::reject);
    connect(m_pLoop, &QAbstractButton::clicked, this, [this] { m_player.OnLoop(); });
    connect(m_pPause, &QAbstractButton::clicked, this,
            [this](bool bChecked) { m_player.OnPause(bChecked); });
    // Every interaction with the slider reaches the player, also one that leaves
    // the position as it was (Home at frame 1, a click on the thumb): it stops a
    // running pass and redraws. Keys, page clicks, the wheel and drags arrive as
    // actions; programmatic moves block signals, so only the user's count.
    auto onScroll = [this] { m_player.OnHScroll(uint32_t(m_pSlider->sliderPosition())); };
    connect(m_pSlider, &QAbstractSlider::actionTriggered, this, onScroll);
    connect(m_pSlider, &QAbstractSlider::sliderPressed, this, onScroll);
    connect(m_pSlider, &QAbstractSlider::sliderReleased, this, onScroll);
}

CViewerDlg::~CViewerDlg() {
    // Torn down without a Cancel (e.g. with its parent): still release once.
    ReleaseDisplay();
}

void CViewerDlg::showEvent(QShowEvent* pEvent) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(pEvent);
}

void CViewerDlg::OnInitDialog() {
    m_player.OnInitDialog();
    // A failure here ends the process through the prompt services; where that
    // returns, the viewer simply draws nothing.
    m_bDisplayReady =
        m_display.BuildClipTable() && m_display.BuildDitherTables(8) && m_display.BuildBitmapInfo();
    m_player.OnPaint();  // frame 1
}

void CViewerDlg::SetZoom(int nZoom) {
    m_nZoom = std::clamp(nZoom, 1, kMaxZoom);
    m_pPicture->setFixedSize(kWidth * m_nZoom, kHeight * m_nZoom);
    // Resize now, also while a pass holds the event loop: from the picture's
    // frame up to the dialog.
    for (QWidget* pWidget = m_pPicture->parentWidget(); pWidget != nullptr;
         pWidget = pWidget == this ? nullptr : pWidget->parentWidget()) {
        if (pWidget->layout() != nullptr) {
            pWidget->layout()->activate();
        }
    }
}

void CViewerDlg::keyPressEvent(QKeyEvent* pEvent) {
    switch (pEvent->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:  // + without Shift on many layouts
            SetZoom(m_nZoom + 1);
            return;
        case Qt::Key_Minus:
            SetZoom(m_nZoom - 1);
            return;
        default:
            QDialog::keyPressEvent(pEvent);
    }
}

void CViewerDlg::DrawFrame(uint16_t nFrame, const uint8_t* pFrame) {
    if (!m_bDisplayReady || m_bReleased) {
        return;
    }
    m_display.ConvertFrame(pFrame, pFrame + QCIF_U_OFFSET, pFrame + QCIF_V_OFFSET);
    const uint8_t* pIndices = m_display.GetImage();
    if (pIndices == nullptr) {
        return;
    }
    if (m_image.isNull()) {
        m_image = QImage(kWidth, kHeight, QImage::Format_Indexed8);
        QList<QRgb> colours;
        for (const SPaletteEntry& entry : m_display.GetPalette()) {
            colours.append(qRgb(entry.byRed, entry.byGreen, entry.byBlue));
        }
        m_image.setColorTable(colours);
    }
    // The converted image is stored bottom row first.
    for (int y = 0; y < kHeight; ++y) {
        std::memcpy(m_image.scanLine(y), pIndices + size_t(kHeight - 1 - y) * kWidth, kWidth);
    }
    ++m_nFramesDrawn;
    m_nLastDrawn = nFrame;
    emit frameDrawn(nFrame);
    if (m_pPicture->isVisible()) {
        m_pPicture->repaint();  // the play loop holds the event loop: draw now
    }
}

void CViewerDlg::ShowFrameCount(uint16_t nFrames) {
    m_pCountEdit->setText(QString::number(nFrames));
}

void CViewerDlg::ShowCurrentFrame(uint16_t nFrame) {
    m_pCurrentEdit->setText(QString::number(nFrame));
}

void CViewerDlg::SetSliderRange(uint16_t nMin, uint16_t nMax) {
    const QSignalBlocker blocker(m_pSlider);
    m_pSlider->setRange(nMin, nMax);
    m_pSlider->setTickInterval(std::max(1, (nMax - nMin) / 200));
    m_pSlider->setPageStep(std::max(1, (nMax - nMin) / 10));
}

void CViewerDlg::SetSliderPos(uint16_t nFrame) {
    const QSignalBlocker blocker(m_pSlider);
    m_pSlider->setValue(nFrame);
}

void CViewerDlg::UncheckPause() {
    m_pPause->setChecked(false);
}

void CViewerDlg::Sleep(uint32_t nMilliseconds) {
    QThread::msleep(nMilliseconds);
}

void CViewerDlg::PumpOneEvent() {
    // Qt offers no single-event dispatch; what is pending now is let through,
    // and any handler among it may call back into the player.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void CViewerDlg::ReleaseDisplay() {
    if (m_bReleased) {
        return;
    }
    m_bReleased = true;
    ++m_nReleases;
    m_display.ReleaseDisplay();
}

void CViewerDlg::EndDialog() {
    done(IDCANCEL);
}

void CViewerDlg::reject() {
    m_player.OnCancel();
}
