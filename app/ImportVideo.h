#pragma once
// File > Import Video...: asks for a clip of any kind (any video FFmpeg reads,
// .y4m, raw .yuv or .qcf), then, after the unsaved-result question, reads it
// into the document's raw stream on a worker thread (CClipImport).
//
// A short import finishes before anything shows; a longer one shows "Import
// Video", the processing dialog's progress row (frames read, bar, frames
// expected) with Cancel. Cancel, Escape and the close box ask the worker to
// stop at its next frame, and its completion closes the dialog. A cancelled
// import leaves the document as it was without a message; a failed one shows
// one "Error" box and leaves it as it was too.

#include <QDialog>
#include <atomic>
#include <thread>

class QEventLoop;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class CClipImport;
class CTavroDoc;

class CImportVideoDlg : public QDialog {
    Q_OBJECT
public:
    // import: opened, not yet run; it belongs to the worker while Run works.
    CImportVideoDlg(CClipImport& import, QWidget* pParent = nullptr);
    // Asks a worker that still runs to stop, and waits for it.
    ~CImportVideoDlg() override;

    // Runs the import, showing the dialog when it takes longer than
    // nShowAfterMs; returns once the worker has finished. True when the frames
    // were read to the end and the user did not cancel.
    bool Run(int nShowAfterMs = 400);
    bool Cancelled() const { return m_bCancelled; }

    // Cancel, Escape and the close box.
    void reject() override;

private:
    void OnTimer();
    void OnDone();

    CClipImport& m_import;
    std::thread m_worker;
    std::atomic<bool> m_bRead{false};
    bool m_bDone = false;
    bool m_bCancelled = false;
    QEventLoop* m_pWaitLoop = nullptr;  // set while a short import is waited for
    QTimer* m_pTimer;
    QPushButton* m_pCancel;
    QLineEdit* m_pFramesReadEdit;
    QProgressBar* m_pProgress;
    QLineEdit* m_pFramesEdit;
};

// The whole command. True when the document now holds the imported frames.
bool RunImportVideo(QWidget* pParent, CTavroDoc& doc);
