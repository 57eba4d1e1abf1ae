#include "app/ParametersDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/DialogControls.h"

CParametersDlg::CParametersDlg(QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(QStringLiteral("Compression Parameters"));

    m_pFramesSlider = MakeSlider(IDC_FRAMES_SLIDER);
    m_pThresholdSlider = MakeSlider(IDC_THRESHOLD_SLIDER);
    m_pQuantiserSlider = MakeSlider(IDC_QUANTISER_SLIDER);
    m_pFramesEdit = MakeEdit(IDC_FRAMES_EDIT, 5, true);
    m_pThresholdEdit = MakeEdit(IDC_THRESHOLD_EDIT, 5, true);
    m_pQuantiserEdit = MakeEdit(IDC_QUANTISER_EDIT, 5, true);

    auto* pGrid = new QGridLayout;
    pGrid->setHorizontalSpacing(12);
    const struct {
        int nLabelId;
        const char* pszLabel;
        QSlider* pSlider;
        QLineEdit* pEdit;
    } rows[] = {
        {IDC_FRAMES_LABEL, "Frames", m_pFramesSlider, m_pFramesEdit},
        {IDC_THRESHOLD_LABEL, "Threshold", m_pThresholdSlider, m_pThresholdEdit},
        {IDC_QUANTISER_LABEL, "Quantiser", m_pQuantiserSlider, m_pQuantiserEdit},
    };
    int nRow = 0;
    for (const auto& row : rows) {
        QLabel* pLabel = MakeLabel(row.nLabelId, row.pszLabel);
        pLabel->setBuddy(row.pSlider);
        pGrid->addWidget(pLabel, nRow, 0);
        pGrid->addWidget(row.pSlider, nRow, 1);
        pGrid->addWidget(row.pEdit, nRow, 2);
        ++nRow;
    }
    pGrid->setColumnStretch(1, 1);

    m_pOk = new QPushButton(QStringLiteral("Ok"));
    SetControlId(m_pOk, IDOK);
    m_pOk->setDefault(true);
    m_pCancel = new QPushButton(QStringLiteral("Cancel"));
    SetControlId(m_pCancel, IDCANCEL);
    connect(m_pOk, &QPushButton::clicked, this, &CParametersDlg::accept);
    connect(m_pCancel, &QPushButton::clicked, this, &CParametersDlg::reject);

    auto* pButtons = new QHBoxLayout;
    pButtons->addStretch(2);
    pButtons->addWidget(m_pOk);
    pButtons->addStretch(3);
    pButtons->addWidget(m_pCancel);
    pButtons->addStretch(2);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pGrid);
    pLayout->addSpacing(6);
    pLayout->addLayout(pButtons);
    pLayout->setSizeConstraint(QLayout::SetMinimumSize);
    m_pFramesSlider->setMinimumWidth(m_pFramesSlider->fontMetrics().averageCharWidth() * 48);
}

QSlider* CParametersDlg::MakeSlider(int nId) {
    auto* pSlider = new QSlider(Qt::Horizontal);
    SetControlId(pSlider, nId);
    pSlider->setTickPosition(QSlider::TicksBelow);
    pSlider->setTickInterval(1);
    return pSlider;
}

void CParametersDlg::showEvent(QShowEvent* pEvent) {
    // The caller fills the members after construction, so the controls are
    // set up when the dialog first appears.
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(pEvent);
}

void CParametersDlg::OnInitDialog() {
    // The frame count starts at the whole stream, not at m_nFrames.
    m_pFramesEdit->setText(QString::number(m_nMaxFrames));
    m_pFramesSlider->setRange(1, static_cast<int>(m_nMaxFrames));
    m_pFramesSlider->setValue(static_cast<int>(m_nMaxFrames));

    m_pThresholdEdit->setText(QString::number(m_nThreshold));
    m_pThresholdSlider->setRange(1, 100);
    m_pThresholdSlider->setValue(static_cast<int>(m_nThreshold));

    m_pQuantiserEdit->setText(QString::number(m_nQuantiser));
    m_pQuantiserSlider->setRange(1, 100);
    m_pQuantiserSlider->setValue(static_cast<int>(m_nQuantiser));

    // Only user movement from here on updates the edits.
    for (QSlider* pSlider : {m_pFramesSlider, m_pThresholdSlider, m_pQuantiserSlider}) {
        connect(pSlider, &QSlider::valueChanged, this, [this, pSlider] { OnHScroll(pSlider); });
    }
}

void CParametersDlg::OnHScroll(QSlider* pSlider) {
    QLineEdit* pEdit = pSlider == m_pFramesSlider      ? m_pFramesEdit
                       : pSlider == m_pThresholdSlider ? m_pThresholdEdit
                                                       : m_pQuantiserEdit;
    const int nPos = pSlider->value();
    pEdit->setText(QString::number(nPos == 0 ? 1 : nPos));
}

void CParametersDlg::accept() {
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
    // Read back in the order frames, threshold, quantiser; the first value out
    // of range keeps the dialog open.
    const auto nFrames = ReadUIntField(m_pFramesEdit->text(), "frame count", 1, m_nMaxFrames);
    if (!nFrames) {
        return;
    }
    const auto nThreshold = ReadUIntField(m_pThresholdEdit->text(), "threshold", 1, 100);
    if (!nThreshold) {
        return;
    }
    const auto nQuantiser = ReadUIntField(m_pQuantiserEdit->text(), "quantiser", 1, 100);
    if (!nQuantiser) {
        return;
    }
    m_nFrames = *nFrames;
    m_nThreshold = *nThreshold;
    m_nQuantiser = *nQuantiser;
    done(IDOK);
}

void CParametersDlg::reject() {
    done(IDCANCEL);
}
