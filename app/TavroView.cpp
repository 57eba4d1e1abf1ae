#include "app/TavroView.h"

#include <QFontMetrics>
#include <QPainter>

#include "app/ShellCommands.h"
#include "app/ShellDialogs.h"
#include "document/TavroDoc.h"
#include "io/Prompts.h"

CTavroView::CTavroView(CTavroDoc& doc, IShellDialogs& dialogs, QWidget* pParent)
    : QWidget(pParent), m_doc(doc), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("CTavroView"));
    // A plain window background, as the summary's text is drawn on the default
    // colours: black on white.
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);
    setAutoFillBackground(true);
    setMinimumSize(200, 120);
    // The document asks for a redraw when it changes behind a command's back,
    // e.g. a comparison file accepted before the comparison dialog opens.
    m_doc.SetViewUpdate([this] { Redraw(); });
}

CTavroView::~CTavroView() {
    m_doc.SetViewUpdate(nullptr);
}

QFont CTavroView::SummaryFont() {
    QFont font(QString::fromLatin1(SUMMARY_FONT_FACE));
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    // The height is the cell's (ascent + descent), so the em is smaller: the
    // largest pixel size of the font found whose cell fits, 18 for Arial's
    // metrics.
    int nPixels = SUMMARY_FONT_HEIGHT;
    for (; nPixels > 1; --nPixels) {
        font.setPixelSize(nPixels);
        const QFontMetrics metrics(font);
        if (metrics.ascent() + metrics.descent() <= SUMMARY_FONT_HEIGHT) {
            break;
        }
    }
    return font;
}

void CTavroView::paintEvent(QPaintEvent*) {
    if (m_doc.m_cState == 'd') {
        return;  // the erased background only
    }
    QPainter painter(this);
    painter.setFont(SummaryFont());
    painter.setPen(palette().color(QPalette::WindowText));
    const int nAscent = QFontMetrics(painter.font()).ascent();
    // Each line's y is the top of its text, so the baseline sits one ascent lower.
    for (const CSummaryLine& line : m_doc.SummaryLines()) {
        painter.drawText(QPoint(line.x, line.y + nAscent), QString::fromStdString(line.strText));
    }
}

void CTavroView::Redraw() {
    update(rect());
    emit documentChanged();
}

void CTavroView::OnFileOpen() {
    FileChooserRequest request;
    request.bOpen = true;
    request.strDefaultExt = "qcf";
    request.strInitialName = "*.qcf; *.cmp";
    request.bHideReadOnly = true;
    request.bOverwritePrompt = true;
    FileChooserResult result;
    if (!Prompts().ChooseFile(request, result) || !m_doc.SaveModified()) {
        return;
    }
    if (m_doc.OnOpenDocument(result.strPathName)) {
        emit documentOpened(QString::fromStdString(result.strPathName));
        Redraw();
        return;
    }
    // The failed open has emptied the document (a file of no whole frame too):
    // show that at once.
    m_doc.DiscardEmptyStream();
    Redraw();
    Prompts().MessageBox("Invalid format file.", "Error");
}

void CTavroView::OnSaveOutput() {
    if (!IsCommandEnabled(ID_FILE_SAVE_AS)) {
        return;
    }
    m_doc.OnSaveOutput();
}

void CTavroView::OnCompress() {
    if (!IsCommandEnabled(ID_COMPRESS)) {
        return;
    }
    m_doc.Compress(m_dialogs);
    Redraw();
}

void CTavroView::OnDecompress() {
    if (!IsCommandEnabled(ID_DECOMPRESS)) {
        return;
    }
    m_doc.Decompress(m_dialogs);
    Redraw();
}

bool CTavroView::IsCommandEnabled(int nId) const {
    switch (nId) {
        case ID_COMPRESS:
        case ID_PLAY:
        case ID_COMPARE_FRAMES:
        case ID_COMPARE_STREAMS:
            return m_doc.OnUpdateRawStreamCommand();
        case ID_DECOMPRESS:
            return m_doc.OnUpdateDecompress();
        case ID_FILE_SAVE_AS:
            return m_doc.OnUpdateSaveOutput();
        case ID_CHANGE_COMPARE_FILE:
            return m_doc.OnUpdateChangeCompareFile();
        case ID_PER_FRAME_CHART:
        case ID_COMPARISON_VIEW:
            return m_doc.OnUpdateRawStreamCommand() && m_doc.m_bCompareFile;
        default:
            return false;
    }
}
