// Statistics > Change Compare File: the document's choice of a reference stream.
#include "document/TavroDoc.h"
#include "io/File.h"
#include "io/Prompts.h"

int CTavroDoc::OnChangeCompareFile() {
    FileChooserRequest request;
    request.bOpen = true;
    request.strDefaultExt = "qcf";
    request.strInitialName = "*.qcf";
    request.bHideReadOnly = true;
    request.bOverwritePrompt = true;
    FileChooserResult chosen;
    if (!Prompts().ChooseFile(request, chosen)) {
        return 0;
    }

    // A rejected file leaves the last accepted choice in place, so the summary and
    // later comparisons never refer to a file that failed these checks.
    CFile file;
    if (!file.Open(chosen.strPathName, CFile::modeRead)) {
        Prompts().MessageBox("Could not open comparison file", "Error");
        return 0;
    }
    // The count is kept in 16 bits: a file of exactly 65536 frames counts 0.
    const uint16_t nFrames = uint16_t(file.GetLength() / QCIF_FRAME_BYTES);
    if (nFrames == 0) {
        Prompts().MessageBox("The comparison file seems to be invalid.", "Error");
        return 0;
    }
    file.Close();

    m_strComparePath = chosen.strPathName;
    m_strCompareName = chosen.strFileName;
    m_nCompareFrames = nFrames;
    m_bCompareFile = true;
    UpdateAllViews();  // the summary names the new file at once
    return 1;
}
