#pragma once
// "Frame Comparison": RMS error and PSNR of the document's raw frames against
// the comparison file, for one frame (the frame edit's number) or for the whole
// stream ("All"). Every figure and text comes from CCompareLogic; this window
// shows them and forwards the frame edit, the spin arrows and Compare.
// Compare (the default button) never closes the dialog; Cancel and Escape do.

#include <QDialog>
#include <memory>

#include "stats/CompareLogic.h"

class QLineEdit;
class QPushButton;
class CUpDownCtrl;

class CCompareDlg : public QDialog {
    Q_OBJECT
public:
    // pLogic: from BeginCompare (or built directly); must not be null.
    explicit CCompareDlg(std::unique_ptr<CCompareLogic> pLogic, QWidget* pParent = nullptr);
    ~CCompareDlg() override;

    CCompareLogic& Logic() { return *m_pLogic; }

    // Enter and the Compare button run a comparison; the dialog stays open.
    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void OnInitDialog();
    void OnOK();
    void OnSpin(int nDelta);

    std::unique_ptr<CCompareLogic> m_pLogic;
    bool m_bInitialised = false;
    QLineEdit* m_pFrameEdit;  // 1032
    CUpDownCtrl* m_pSpin;     // 1035
    QLineEdit* m_pTotalEdit;  // 1043
    QLineEdit* m_pRmseEdit;   // 1038
    QLineEdit* m_pPsnrEdit;   // 1040
    QPushButton* m_pCompare;  // 1
    QPushButton* m_pCancel;   // 2
};

// A pair of arrow buttons that step a buddy edit up or down (the edit's
// contents are decided by the owner through the stepped signal).
class CUpDownCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CUpDownCtrl(QWidget* pParent = nullptr);
    QSize sizeHint() const override;

signals:
    void stepped(int nDelta);
};
