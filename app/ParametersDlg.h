#pragma once
// "Compression Parameters": the frame count, threshold and quantiser of the
// next compression, each chosen on a slider and mirrored into a read-only edit.
// The caller sets m_nMaxFrames, m_nThreshold and m_nQuantiser, runs exec()
// (IDOK or IDCANCEL) and on IDOK reads m_nFrames, m_nThreshold, m_nQuantiser.

#include <QDialog>
#include <cstdint>

class QLineEdit;
class QPushButton;
class QSlider;

class CParametersDlg : public QDialog {
    Q_OBJECT
public:
    explicit CParametersDlg(QWidget* pParent = nullptr);

    uint32_t m_nMaxFrames = 0;  // frames in the loaded raw stream: the frame count's upper bound
    uint32_t m_nQuantiser = 1;  // 1..100
    uint32_t m_nFrames = 1;     // 1..m_nMaxFrames, counted from the first frame
    uint32_t m_nThreshold = 1;  // 1..100

    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent* pEvent) override;

private:
    void OnInitDialog();
    void OnHScroll(QSlider* pSlider);
    QSlider* MakeSlider(int nId);

    bool m_bInitialised = false;
    QSlider* m_pFramesSlider;
    QSlider* m_pThresholdSlider;
    QSlider* m_pQuantiserSlider;
    QLineEdit* m_pFramesEdit;
    QLineEdit* m_pThresholdEdit;
    QLineEdit* m_pQuantiserEdit;
    QPushButton* m_pOk;
    QPushButton* m_pCancel;
};
