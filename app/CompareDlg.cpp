#include "app/CompareDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/DialogControls.h"

CUpDownCtrl::CUpDownCtrl(QWidget* pParent) : QWidget(pParent) {
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    const struct {
        Qt::ArrowType arrow;
        int nDelta;
    } buttons[] = {{Qt::UpArrow, +1}, {Qt::DownArrow, -1}};
    for (const auto& button : buttons) {
        auto* pButton = new QToolButton;
        pButton->setArrowType(button.arrow);
        pButton->setAutoRepeat(true);
        pButton->setFocusPolicy(Qt::NoFocus);
        pButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        pButton->setObjectName(button.nDelta > 0 ? QStringLiteral("up") : QStringLiteral("down"));
        const int nDelta = button.nDelta;
        connect(pButton, &QToolButton::clicked, this, [this, nDelta] { emit stepped(nDelta); });
        pLayout->addWidget(pButton);
    }
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
}

QSize CUpDownCtrl::sizeHint() const {
    const int nWidth = fontMetrics().height();
    return {nWidth, 2 * nWidth};
}

CCompareDlg::CCompareDlg(std::unique_ptr<CCompareLogic> pLogic, QWidget* pParent)
    : QDialog(pParent), m_pLogic(std::move(pLogic)) {
    setWindowTitle(QStringLiteral("Frame Comparison"));

    m_pFrameEdit = MakeEdit(IDC_COMPARE_FRAME_EDIT, 6, false);
    // Digits only; "All" is put there by the dialog, never typed.
    m_pFrameEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    m_pFrameEdit->installEventFilter(this);
    m_pSpin = new CUpDownCtrl;
    SetControlId(m_pSpin, IDC_COMPARE_SPIN);
    m_pSpin->setFixedHeight(m_pFrameEdit->sizeHint().height());
    connect(m_pSpin, &CUpDownCtrl::stepped, this, &CCompareDlg::OnSpin);
    m_pTotalEdit = MakeEdit(IDC_TOTAL_FRAMES_EDIT, 6, true);
    m_pRmseEdit = MakeEdit(IDC_RMSE_EDIT, 8, true);
    m_pPsnrEdit = MakeEdit(IDC_PSNR_EDIT, 8, true);

    auto* pFrameBox = new QHBoxLayout;
    pFrameBox->setSpacing(0);
    pFrameBox->addWidget(m_pFrameEdit);
    pFrameBox->addWidget(m_pSpin);

    auto* pGrid = new QGridLayout;
    pGrid->setHorizontalSpacing(8);
    pGrid->addWidget(MakeLabel(IDC_COMPARE_FRAME_LABEL, "Compare Frame:"), 0, 0);
    pGrid->addLayout(pFrameBox, 0, 1, Qt::AlignLeft);
    pGrid->addWidget(MakeLabel(IDC_TOTAL_FRAMES_LABEL, "Total Frames:"), 0, 3, Qt::AlignRight);
    pGrid->addWidget(m_pTotalEdit, 0, 4);
    pGrid->addWidget(MakeLabel(IDC_RMSE_LABEL, "Root Mean Square Error:"), 1, 0);
    pGrid->addWidget(m_pRmseEdit, 1, 1, Qt::AlignLeft);
    pGrid->addWidget(MakeLabel(IDC_PSNR_LABEL, "Peak Signal to Noise Ratio:"), 2, 0);
    auto* pPsnrBox = new QHBoxLayout;
    pPsnrBox->setSpacing(6);
    pPsnrBox->addWidget(m_pPsnrEdit);
    pPsnrBox->addWidget(MakeLabel(IDC_DB_LABEL, "dB"));
    pPsnrBox->addStretch(1);
    pGrid->addLayout(pPsnrBox, 2, 1, 1, 2);
    pGrid->setColumnStretch(2, 1);
    pGrid->setColumnMinimumWidth(2, fontMetrics().averageCharWidth() * 6);

    m_pCompare = new QPushButton(QStringLiteral("Compare"));
    SetControlId(m_pCompare, IDOK);
    m_pCompare->setDefault(true);
    m_pCancel = new QPushButton(QStringLiteral("Cancel"));
    SetControlId(m_pCancel, IDCANCEL);
    connect(m_pCompare, &QPushButton::clicked, this, &CCompareDlg::OnOK);
    connect(m_pCancel, &QPushButton::clicked, this, &CCompareDlg::reject);

    auto* pButtons = new QVBoxLayout;
    pButtons->addWidget(m_pCompare);
    pButtons->addWidget(m_pCancel);
    pButtons->addStretch(1);

    auto* pLayout = new QHBoxLayout(this);
    pLayout->addLayout(pGrid, 1);
    pLayout->addSpacing(12);
    pLayout->addLayout(pButtons);
    pLayout->setSizeConstraint(QLayout::SetMinimumSize);
    SetTabOrder({m_pFrameEdit, m_pTotalEdit, m_pCompare, m_pCancel, m_pRmseEdit, m_pPsnrEdit});
}

CCompareDlg::~CCompareDlg() = default;

void CCompareDlg::showEvent(QShowEvent* pEvent) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(pEvent);
}

void CCompareDlg::OnInitDialog() {
    m_pLogic->OnInitDialog();
    m_pTotalEdit->setText(QString::fromStdString(m_pLogic->TotalFramesText()));
    m_pFrameEdit->setText(QString::fromStdString(m_pLogic->InitialFrameText()));
    m_pCompare->setEnabled(m_pLogic->IsCompareEnabled());
    m_pFrameEdit->setFocus();
}

void CCompareDlg::OnSpin(int nDelta) {
    if (m_pLogic->SpinMaximum() == 0) {
        return;  // no frame to step through
    }
    const std::string strText = m_pFrameEdit->text().toStdString();
    m_pFrameEdit->setText(QString::fromStdString(m_pLogic->OnSpinStep(strText, nDelta)));
}

bool CCompareDlg::eventFilter(QObject* pWatched, QEvent* pEvent) {
    // The arrow keys in the frame edit step it like the spin arrows.
    if (pWatched == m_pFrameEdit && pEvent->type() == QEvent::KeyPress) {
        const int nKey = static_cast<QKeyEvent*>(pEvent)->key();
        if (nKey == Qt::Key_Up || nKey == Qt::Key_Down) {
            OnSpin(nKey == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QDialog::eventFilter(pWatched, pEvent);
}

void CCompareDlg::OnOK() {
    if (!m_pCompare->isEnabled()) {
        return;
    }
    // Disabling a focused Compare moves the focus on to Cancel, where Enter
    // would close the dialog: a press that ends well gives it back to Compare,
    // so Enter compares again.
    const bool bHadFocus = m_pCompare->hasFocus();
    m_pCompare->setEnabled(false);
    m_pLogic->OnCompare(m_pFrameEdit->text().toStdString());
    m_pRmseEdit->setText(QString::fromStdString(m_pLogic->RmseText()));
    m_pPsnrEdit->setText(QString::fromStdString(m_pLogic->PsnrText()));
    m_pCompare->setEnabled(m_pLogic->IsCompareEnabled());
    if (bHadFocus && m_pCompare->isEnabled()) {
        m_pCompare->setFocus(Qt::OtherFocusReason);
    }
}

void CCompareDlg::accept() {
    OnOK();
}

void CCompareDlg::reject() {
    done(IDCANCEL);
}
