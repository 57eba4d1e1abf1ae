#include "app/QtShellDialogs.h"

#include "app/CompareDlg.h"
#include "app/ParametersDlg.h"
#include "app/ProcessingDlg.h"
#include "app/ViewerDlg.h"

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

int CQtShellDialogs::RunProcessing(CCodecContext& context, bool& bCancelled) {
    CProcessingDlg dlg(context, m_pOwner);
    const int nResult = dlg.exec() == IDOK ? IDOK : IDCANCEL;
    bCancelled = dlg.m_bCancelled;
    return nResult;
}

void CQtShellDialogs::RunViewer(const uint8_t* pFrames, uint32_t nFrames) {
    CViewerDlg dlg(pFrames, nFrames, m_pOwner);
    dlg.exec();
}

void CQtShellDialogs::RunCompare(CTavroDoc& doc, bool bSingleFrame) {
    std::unique_ptr<CCompareLogic> pLogic = BeginCompare(doc, bSingleFrame);
    if (!pLogic) {
        return;  // no comparison file was chosen
    }
    CCompareDlg dlg(std::move(pLogic), m_pOwner);
    dlg.exec();
}
