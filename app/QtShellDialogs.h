#pragma once
// The real dialogs behind the document commands: the compression parameters,
// the processing run, the viewer and the comparison.

#include "app/ShellDialogs.h"

class QWidget;

class CQtShellDialogs : public IShellDialogs {
public:
    // Dialogs are centred over pOwner (may be nullptr).
    explicit CQtShellDialogs(QWidget* pOwner = nullptr) : m_pOwner(pOwner) {}
    void SetOwner(QWidget* pOwner) { m_pOwner = pOwner; }

    int RunParameters(CParametersChoice& choice) override;
    int RunProcessing(CCodecContext& context, bool& bCancelled) override;
    void RunViewer(const uint8_t* pFrames, uint32_t nFrames) override;
    void RunCompare(CTavroDoc& doc, bool bSingleFrame) override;

private:
    QWidget* m_pOwner;
};
