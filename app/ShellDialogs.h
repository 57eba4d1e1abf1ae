#pragma once
// Everything modal the main window runs on the document: the three dialogs of
// the document commands, and the comparison dialog. The desktop shows the real
// dialogs (CQtShellDialogs); tests answer them without any window.

#include "document/DocumentCommands.h"

class CTavroDoc;

class IShellDialogs : public IDocumentDialogs {
public:
    // Compare Frames (bSingleFrame) or Compare Streams on the document's raw
    // stream: asks for a comparison file first when none was chosen, then runs
    // the comparison dialog. The document is not changed apart from the
    // comparison-file choice.
    virtual void RunCompare(CTavroDoc& doc, bool bSingleFrame) = 0;
};
