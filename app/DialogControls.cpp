#include "app/DialogControls.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionFrame>

#include "io/Prompts.h"

void SetControlId(QWidget* pWidget, int nId) {
    pWidget->setObjectName(ControlName(nId));
}

QString ControlName(int nId) {
    return QStringLiteral("ctl%1").arg(nId);
}

void SizeEditForDigits(QLineEdit* pEdit, int nDigits) {
    const QFontMetrics metrics(pEdit->font());
    const int nText = metrics.horizontalAdvance(QString(nDigits, QLatin1Char('0')));
    QStyleOptionFrame option;
    option.initFrom(pEdit);
    // Frame and text margins come from the style, so the width holds at any scale.
    const QSize size = pEdit->style()->sizeFromContents(
        QStyle::CT_LineEdit, &option, QSize(nText + 2 * metrics.averageCharWidth(), 0), pEdit);
    pEdit->setFixedWidth(size.width());
}

std::string RangeMessage(const char* pszField, uint32_t nMin, uint32_t nMax) {
    return QStringLiteral("The %1 must be a whole number from %2 to %3.")
        .arg(QLatin1String(pszField))
        .arg(nMin)
        .arg(nMax)
        .toStdString();
}

std::optional<uint32_t> ReadUIntField(const QString& strText, const char* pszField, uint32_t nMin,
                                      uint32_t nMax) {
    bool bOk = false;
    const qulonglong nValue = strText.trimmed().toULongLong(&bOk);
    if (!bOk || nValue < nMin || nValue > nMax) {
        Prompts().MessageBox(RangeMessage(pszField, nMin, nMax), "Tavro");
        return std::nullopt;
    }
    return static_cast<uint32_t>(nValue);
}

void SetReadOnlyLook(QLineEdit* pEdit) {
    pEdit->setReadOnly(true);
    QPalette palette = pEdit->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setBrush(group, QPalette::Base, palette.brush(group, QPalette::Window));
    }
    pEdit->setPalette(palette);
}

void SetTabOrder(std::initializer_list<QWidget*> controls) {
    QWidget* pPrevious = nullptr;
    for (QWidget* pControl : controls) {
        if (pPrevious != nullptr) {
            QWidget::setTabOrder(pPrevious, pControl);
        }
        pPrevious = pControl;
    }
}

QLabel* MakeLabel(int nId, const char* pszText) {
    auto* pLabel = new QLabel(QString::fromLatin1(pszText));
    SetControlId(pLabel, nId);
    return pLabel;
}

QLineEdit* MakeEdit(int nId, int nDigits, bool bReadOnly, Qt::Alignment alignment) {
    auto* pEdit = new QLineEdit;
    SetControlId(pEdit, nId);
    if (bReadOnly) {
        SetReadOnlyLook(pEdit);
    }
    pEdit->setAlignment(alignment);
    SizeEditForDigits(pEdit, nDigits);
    return pEdit;
}
