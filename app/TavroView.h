#pragma once
// The main window's client area: draws the document's status summary and
// carries the commands that work on the document's streams (Open, Save Output,
// Compress, Decompress) together with the enabling rules of every stream command.

#include <QWidget>

class CTavroDoc;
class IShellDialogs;

class CTavroView : public QWidget {
    Q_OBJECT
public:
    CTavroView(CTavroDoc& doc, IShellDialogs& dialogs, QWidget* pParent = nullptr);
    ~CTavroView() override;

    CTavroDoc& GetDocument() const { return m_doc; }

    // File > Open: asks for a .qcf or .cmp file and loads it, after asking what
    // to do with an unsaved result. A file that does not load shows "Invalid
    // format file."; the document is then empty.
    void OnFileOpen();
    // File > Save Output: writes the held stream to a file the user names.
    void OnSaveOutput();
    // Process > Compress and Decompress, each followed by a full redraw.
    void OnCompress();
    void OnDecompress();

    // Whether command nId can run now; false for commands the view does not rule.
    bool IsCommandEnabled(int nId) const;

    // The font the summary is drawn in, sized by its cell height.
    static QFont SummaryFont();

signals:
    // The document now holds the file at strPath (emitted after a successful Open).
    void documentOpened(const QString& strPath);
    // The document's contents or parameters changed.
    void documentChanged();

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    void Redraw();

    CTavroDoc& m_doc;
    IShellDialogs& m_dialogs;
};
