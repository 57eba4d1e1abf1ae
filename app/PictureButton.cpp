#include "app/PictureButton.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionFocusRect>

CPictureButton::CPictureButton(Glyph glyph, const QString& strCaption, QWidget* pParent)
    : QAbstractButton(pParent), m_glyph(glyph) {
    setText(strCaption);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize CPictureButton::sizeHint() const {
    const QFontMetrics metrics = fontMetrics();
    const int nLine = metrics.height();
    const int nWidth = std::max(metrics.horizontalAdvance(text()) + 2 * nLine, 4 * nLine);
    return {nWidth, nLine * 3};
}

void CPictureButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QPalette& pal = palette();
    const bool bDown = isDown();
    const bool bEnabled = isEnabled();
    QRectF rect = QRectF(this->rect()).adjusted(0.5, 0.5, -0.5, -0.5);

    // Face with a soft vertical gradient; the down look is darker and flatter.
    QLinearGradient face(rect.topLeft(), rect.bottomLeft());
    const QColor base = pal.color(QPalette::Button);
    face.setColorAt(0, bDown ? base.darker(115) : base.lighter(112));
    face.setColorAt(1, bDown ? base.darker(105) : base.darker(108));
    painter.setPen(QPen(pal.color(QPalette::Shadow), 1));
    painter.setBrush(face);
    painter.drawRoundedRect(rect, 3, 3);

    // Bevel: light above and left when up, dark when down.
    const QRectF inner = rect.adjusted(1.5, 1.5, -1.5, -1.5);
    const QColor light = pal.color(QPalette::Light);
    const QColor dark = pal.color(QPalette::Dark);
    painter.setPen(QPen(bDown ? dark : light, 1.2));
    painter.drawLine(inner.bottomLeft(), inner.topLeft());
    painter.drawLine(inner.topLeft(), inner.topRight());
    painter.setPen(QPen(bDown ? light : dark, 1.2));
    painter.drawLine(inner.topRight(), inner.bottomRight());
    painter.drawLine(inner.bottomRight(), inner.bottomLeft());

    const QPointF shift = bDown ? QPointF(1, 1) : QPointF(0, 0);
    const QFontMetrics metrics = fontMetrics();
    const qreal dTextHeight = metrics.height();
    const qreal dGlyph = std::min(rect.height() - dTextHeight - 8, rect.width() - 8);
    const QPointF centre(rect.center().x(), rect.top() + 4 + dGlyph / 2);
    const QRectF glyphBox(centre - QPointF(dGlyph / 2, dGlyph / 2) + shift, QSizeF(dGlyph, dGlyph));

    QColor fill;
    QPainterPath path;
    if (m_glyph == Glyph::Start) {
        fill = QColor(0x2e, 0x9d, 0x3c);
        const QRectF tri =
            glyphBox.adjusted(dGlyph * 0.2, dGlyph * 0.1, -dGlyph * 0.1, -dGlyph * 0.1);
        path.moveTo(tri.topLeft());
        path.lineTo(tri.right(), tri.center().y());
        path.lineTo(tri.bottomLeft());
        path.closeSubpath();
    } else {
        fill = QColor(0xc8, 0x32, 0x2d);
        const QRectF box =
            glyphBox.adjusted(dGlyph * 0.18, dGlyph * 0.18, -dGlyph * 0.18, -dGlyph * 0.18);
        path.addRoundedRect(box, dGlyph * 0.08, dGlyph * 0.08);
    }
    if (!bEnabled) {
        fill = pal.color(QPalette::Disabled, QPalette::ButtonText);
    }
    painter.setPen(QPen(fill.darker(140), 1));
    painter.setBrush(fill);
    painter.drawPath(path);

    painter.setPen(
        pal.color(bEnabled ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const QRectF textRect(rect.left(), rect.bottom() - dTextHeight - 3, rect.width(), dTextHeight);
    painter.drawText(textRect.translated(shift), Qt::AlignCenter, text());

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = this->rect().adjusted(4, 4, -4, -4);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}
