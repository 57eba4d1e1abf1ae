#include "app/ProcessingDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/DialogControls.h"
#include "codec/CodecContext.h"

namespace {

constexpr int kTimerMs = 250;

}  // namespace

CProcessingDlg::CProcessingDlg(CCodecContext& context, QWidget* pParent)
    : QDialog(pParent), m_context(context), m_job(context) {
    setWindowTitle(QStringLiteral("Processing"));

    m_pStart = new QPushButton(QStringLiteral("Start"));
    SetControlId(m_pStart, IDC_START);
    m_pStart->setDefault(true);
    m_pCancel = new QPushButton(QStringLiteral("Cancel"));
    SetControlId(m_pCancel, IDCANCEL);
    connect(m_pStart, &QPushButton::clicked, this, &CProcessingDlg::OnStart);
    connect(m_pCancel, &QPushButton::clicked, this, &CProcessingDlg::reject);

    m_pThresholdEdit = MakeEdit(IDC_THRESHOLD_EDIT, 5, true);
    m_pQuantiserEdit = MakeEdit(IDC_QUANTISER_EDIT, 5, true);
    m_pFramesDoneEdit = MakeEdit(IDC_FRAMES_DONE_EDIT, 5, true, Qt::AlignRight);
    m_pFramesEdit = MakeEdit(IDC_FRAMES_EDIT, 5, true);
    m_pProgress = new QProgressBar;
    SetControlId(m_pProgress, IDC_PROGRESS_BAR);
    m_pProgress->setRange(0, 100);
    m_pProgress->setTextVisible(false);
    m_pProgress->setMinimumWidth(fontMetrics().averageCharWidth() * 36);

    auto* pButtons = new QVBoxLayout;
    pButtons->addWidget(m_pStart);
    pButtons->addWidget(m_pCancel);

    auto* pGrid = new QGridLayout(this);
    pGrid->addWidget(MakeLabel(IDC_THRESHOLD_LABEL, "Threshold"), 0, 0);
    pGrid->addWidget(m_pThresholdEdit, 0, 1);
    pGrid->addWidget(MakeLabel(IDC_QUANTISER_LABEL, "Quantiser"), 1, 0);
    pGrid->addWidget(m_pQuantiserEdit, 1, 1);
    pGrid->addLayout(pButtons, 0, 2, 2, 2, Qt::AlignRight | Qt::AlignTop);
    pGrid->addWidget(MakeLabel(IDC_PROGRESS_LABEL, "Progress"), 2, 0);
    pGrid->addWidget(m_pFramesDoneEdit, 2, 1);
    pGrid->addWidget(m_pProgress, 2, 2);
    pGrid->addWidget(m_pFramesEdit, 2, 3);
    pGrid->setColumnStretch(2, 1);
    pGrid->setHorizontalSpacing(10);
    pGrid->setSizeConstraint(QLayout::SetMinimumSize);
    SetTabOrder({m_pStart, m_pCancel, m_pThresholdEdit, m_pQuantiserEdit, m_pFramesDoneEdit,
                 m_pFramesEdit});

    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(kTimerMs);
    connect(m_pTimer, &QTimer::timeout, this, &CProcessingDlg::OnTimer);
}

// A dialog torn down around a running worker (at application exit, say) has
// its job stop the run at the next frame and wait for it.
CProcessingDlg::~CProcessingDlg() = default;

void CProcessingDlg::showEvent(QShowEvent* pEvent) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(pEvent);
}

void CProcessingDlg::OnInitDialog() {
    setWindowTitle(m_context.m_bCompress ? QStringLiteral("Compression")
                                         : QStringLiteral("Decompression"));
    m_pFramesEdit->setText(QString::number(m_context.m_nFrames));
    m_pThresholdEdit->setText(QString::number(m_context.m_byThreshold));
    m_pQuantiserEdit->setText(QString::number(m_context.m_byQuantiser));
    m_pStart->setFocus();
}

void CProcessingDlg::OnStart() {
    if (m_bStarted) {
        return;
    }
    m_bStarted = true;
    m_pTimer->start();
    // Disabling Start moves the focus on to Cancel. While the run is under way
    // Enter must not cancel it: Cancel gives up being the default when focused,
    // and Enter goes to the disabled Start, which ignores it. A click or Space
    // still cancels.
    m_pCancel->setAutoDefault(false);
    m_pStart->setDefault(true);
    m_pStart->setEnabled(false);
    // The hand-over point: the context is the UI thread's again once this
    // call is delivered there.
    m_job.Start([this] {
        QMetaObject::invokeMethod(this, &CProcessingDlg::OnProcessingDone, Qt::QueuedConnection);
    });
}

void CProcessingDlg::OnTimer() {
    const int32_t nProgress = m_job.Progress();
    m_pProgress->setValue(nProgress);
    const uint32_t nDone = uint32_t(nProgress) * m_context.m_nFrames / 100u;
    m_pFramesDoneEdit->setText(QString::number(nDone));
}

void CProcessingDlg::OnProcessingDone() {
    m_bDone = true;
    m_job.Finish();  // the worker has nothing left to do but return
    accept();
}

void CProcessingDlg::accept() {
    // Enter goes to Start; only the worker's completion closes with IDOK.
    if (!m_bDone) {
        return;
    }
    // The values shown are read back and checked, in the order frames,
    // quantiser, threshold; only a header carrying 0 can fail here.
    if (!ReadUIntField(m_pFramesEdit->text(), "frame count", 1, 65535) ||
        !ReadUIntField(m_pQuantiserEdit->text(), "quantiser", 1, 255) ||
        !ReadUIntField(m_pThresholdEdit->text(), "threshold", 1, 255)) {
        return;
    }
    done(IDOK);
}

void CProcessingDlg::reject() {
    m_bCancelled = true;
    m_job.RequestCancel();
    if (m_bStarted && !m_bDone) {
        return;  // the worker stops at its next frame and its completion closes us
    }
    done(IDCANCEL);
}
