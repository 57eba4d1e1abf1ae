#include "app/ImportVideo.h"

#include <QEventLoop>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "app/DialogControls.h"
#include "codec/CodecContext.h"
#include "document/ClipImport.h"
#include "document/TavroDoc.h"
#include "io/Prompts.h"

namespace {

constexpr int kTimerMs = 250;  // as the processing dialog polls its run

// What the chooser lists first; "All files" comes next, for every other kind
// FFmpeg reads.
constexpr const char* kVideoPatterns =
    "*.mp4; *.mkv; *.mov; *.avi; *.webm; *.mpg; *.y4m; *.yuv; *.qcf";

}  // namespace

CImportVideoDlg::CImportVideoDlg(CClipImport& import, QWidget* pParent)
    : QDialog(pParent), m_import(import) {
    setWindowTitle(QStringLiteral("Import Video"));

    m_pCancel = new QPushButton(QStringLiteral("Cancel"));
    SetControlId(m_pCancel, IDCANCEL);
    m_pCancel->setAutoDefault(false);
    connect(m_pCancel, &QPushButton::clicked, this, &CImportVideoDlg::reject);

    const uint64_t nExpected = m_import.ExpectedFrames();
    m_pFramesReadEdit = MakeEdit(IDC_FRAMES_DONE_EDIT, 5, true, Qt::AlignRight);
    m_pFramesReadEdit->setText(QStringLiteral("0"));
    m_pFramesEdit = MakeEdit(IDC_FRAMES_EDIT, 5, true);
    m_pFramesEdit->setText(nExpected ? QString::number(nExpected) : QStringLiteral("?"));
    m_pProgress = new QProgressBar;
    SetControlId(m_pProgress, IDC_PROGRESS_BAR);
    m_pProgress->setRange(0, nExpected ? 100 : 0);  // 0..0: busy, length unknown
    m_pProgress->setTextVisible(false);
    m_pProgress->setMinimumWidth(fontMetrics().averageCharWidth() * 36);

    auto* pFile = new QLabel(QString::fromStdString(m_import.FileName()));
    pFile->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* pGrid = new QGridLayout(this);
    pGrid->addWidget(new QLabel(QStringLiteral("Reading")), 0, 0);
    pGrid->addWidget(pFile, 0, 1, 1, 2);
    pGrid->addWidget(m_pCancel, 0, 3, Qt::AlignRight | Qt::AlignTop);
    pGrid->addWidget(MakeLabel(IDC_PROGRESS_LABEL, "Progress"), 1, 0);
    pGrid->addWidget(m_pFramesReadEdit, 1, 1);
    pGrid->addWidget(m_pProgress, 1, 2);
    pGrid->addWidget(m_pFramesEdit, 1, 3);
    pGrid->setColumnStretch(2, 1);
    pGrid->setHorizontalSpacing(10);
    pGrid->setSizeConstraint(QLayout::SetMinimumSize);

    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(kTimerMs);
    connect(m_pTimer, &QTimer::timeout, this, &CImportVideoDlg::OnTimer);
}

CImportVideoDlg::~CImportVideoDlg() {
    if (m_worker.joinable()) {
        m_import.RequestCancel();
        m_worker.join();
    }
}

bool CImportVideoDlg::Run(int nShowAfterMs) {
    m_worker = std::thread([this] {
        m_bRead = m_import.Run();
        QMetaObject::invokeMethod(this, &CImportVideoDlg::OnDone, Qt::QueuedConnection);
    });
    // A short import ends before the dialog would show: the window takes no
    // input meanwhile, and what the user typed is delivered afterwards.
    {
        QEventLoop loop;
        m_pWaitLoop = &loop;
        QTimer::singleShot(nShowAfterMs, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        m_pWaitLoop = nullptr;
    }
    if (!m_bDone) {
        m_pTimer->start();
        OnTimer();
        exec();  // OnDone closes it
        m_pTimer->stop();
    }
    m_worker.join();
    return m_bRead && !m_bCancelled;
}

void CImportVideoDlg::OnTimer() {
    const uint64_t nRead = m_import.FramesRead();
    m_pFramesReadEdit->setText(QString::number(nRead));
    const uint64_t nExpected = m_import.ExpectedFrames();
    if (nExpected != 0) {
        // An estimate may fall short: the bar waits at its end.
        m_pProgress->setValue(int(std::min<uint64_t>(nRead * 100 / nExpected, 99)));
    }
}

void CImportVideoDlg::OnDone() {
    m_bDone = true;
    if (m_pWaitLoop) {
        m_pWaitLoop->quit();
    } else if (isVisible()) {
        accept();
    }
}

void CImportVideoDlg::reject() {
    m_bCancelled = true;
    m_import.RequestCancel();
    if (m_bDone) {
        QDialog::reject();
        return;
    }
    m_pCancel->setEnabled(false);  // the worker stops at its next frame and closes us
}

bool RunImportVideo(QWidget* pParent, CTavroDoc& doc) {
    FileChooserRequest request;
    request.bOpen = true;
    request.strTitle = "Import Video";
    request.strInitialName = kVideoPatterns;
    FileChooserResult result;
    if (!Prompts().ChooseFile(request, result) || !doc.SaveModified()) {
        return false;
    }
    CClipImport import;
    std::string strError;
    if (!import.Open(result.strPathName, &strError)) {
        Prompts().MessageBox(strError, "Error");
        return false;
    }
    bool bRead = false;
    {
        CImportVideoDlg dlg(import, pParent);
        bRead = dlg.Run();
        if (dlg.Cancelled()) {
            return false;
        }
    }
    if (!bRead || !import.Deliver(doc)) {
        Prompts().MessageBox(import.GetError(), "Error");
        return false;
    }
    if (import.Truncated()) {
        Prompts().MessageBox("\"" + import.FileName() + "\" holds more than " +
                                 std::to_string(CODEC_MAX_FRAMES) +
                                 " frames, the most a stream can hold; the first " +
                                 std::to_string(CODEC_MAX_FRAMES) + " were imported.",
                             "Tavro");
    }
    return true;
}
