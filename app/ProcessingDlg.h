#pragma once
// "Compression" / "Decompression": runs one codec run on a worker thread.
//
// The caller fills a CCodecContext, constructs the dialog on it (which resets
// the progress cell), runs exec() and reads the outcome: IDOK once the worker
// has finished (also after a cancel request, so check m_bCancelled), IDCANCEL
// when the dialog was closed before Start or after a failed validation. A run
// counts only with IDOK and m_bCancelled clear.
//
// Start (the default button) starts the run as a CCodecJob on a worker thread,
// and a 250 ms timer that shows the progress cell in the bar and the frames
// done in edit 1016. Cancel before Start closes at once; during a run
// it only requests a cancel and the worker's completion closes the dialog.
// On completion the shown values are validated (frames 1..65535, threshold and
// quantiser 1..255); a value out of range is reported and keeps the dialog open
// until Cancel, so such a run is never accepted.

#include <QDialog>

#include "codec/CodecRun.h"

class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

class CProcessingDlg : public QDialog {
    Q_OBJECT
public:
    // context: the run's codec context, filled by the caller; it belongs to the
    // worker from Start until the dialog closes. Resets its progress cell.
    explicit CProcessingDlg(CCodecContext& context, QWidget* pParent = nullptr);
    // Waits for a worker that is still running (asking it to stop first).
    ~CProcessingDlg() override;

    CCodecContext& m_context;
    bool m_bCancelled = false;  // the user asked to cancel; read after exec()

    void accept() override;
    // Cancel, Escape and the close box.
    void reject() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void OnInitDialog();
    void OnStart();
    void OnTimer();
    void OnProcessingDone();

    bool m_bInitialised = false;
    bool m_bStarted = false;  // Start was pressed
    bool m_bDone = false;     // the worker's completion was handled
    CCodecJob m_job;
    QTimer* m_pTimer;
    QPushButton* m_pStart;         // 1015
    QPushButton* m_pCancel;        // 2
    QLineEdit* m_pThresholdEdit;   // 1005
    QLineEdit* m_pQuantiserEdit;   // 1006
    QLineEdit* m_pFramesDoneEdit;  // 1016
    QProgressBar* m_pProgress;     // 1013
    QLineEdit* m_pFramesEdit;      // 1011
};
