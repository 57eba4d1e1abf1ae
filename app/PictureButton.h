#pragma once
// A push button drawn entirely from our own artwork: a glyph with the caption
// under it, in an "up" look (raised bevel) and a "down" look (sunken bevel,
// contents shifted) while pressed. Painted with vectors, so it is sharp at any
// screen scale.

#include <QAbstractButton>

class CPictureButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Glyph { Start, Cancel };

    CPictureButton(Glyph glyph, const QString& strCaption, QWidget* pParent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    Glyph m_glyph;
};
