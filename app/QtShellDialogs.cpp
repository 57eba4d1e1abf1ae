#include "app/QtShellDialogs.h"

#include "app/CompareDlg.h"
#include "app/ParametersDlg.h"
#include "app/ShellCommands.h"

int CQtShellDialogs::RunParameters(CParametersChoice& choice) {
    CParametersDlg dlg(m_pOwner);
    dlg.m_nMaxFrames = choice.m_nMaxFrames;
    dlg.m_nThreshold = choice.m_nThreshold;
    dlg.m_nQuantiser = choice.m_nQuantiser;
    if (dlg.exec() != IDOK) {
        return IDCANCEL;
    }
    choice.m_nFrames = dlg.m_nFrames;
    choice.m_nThreshold = dlg.m_nThreshold;
    choice.m_nQuantiser = dlg.m_nQuantiser;
    return IDOK;
}

// The processing and viewer dialogs are not part of this build yet; CanRun
// keeps their commands disabled.
int CQtShellDialogs::RunProcessing(CCodecContext&, bool& bCancelled) {
    bCancelled = true;
    return IDCANCEL;
}

void CQtShellDialogs::RunViewer(const uint8_t*, uint16_t) {}

void CQtShellDialogs::RunCompare(CTavroDoc& doc, bool bSingleFrame) {
    std::unique_ptr<CCompareLogic> pLogic = BeginCompare(doc, bSingleFrame);
    if (!pLogic) {
        return;  // no comparison file was chosen
    }
    CCompareDlg dlg(std::move(pLogic), m_pOwner);
    dlg.exec();
}

bool CQtShellDialogs::CanRun(int nCommandId) const {
    switch (nCommandId) {
        case ID_COMPRESS:
        case ID_DECOMPRESS:
        case ID_PLAY:
            return false;
        default:
            return true;
    }
}
