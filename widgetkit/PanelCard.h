#pragma once

#include <QImage>
#include <QPalette>
#include <QRectF>

class QPainter;

// The tavlo panel's card: a rounded, mostly opaque surface over a soft shadow, with a border that
// turns to the accent colour while a drag hovers. The blurred shadow is kept for the last size.
class PanelCard
{
public:
    // `dropProgress` is 0 at rest and 1 while a drag hovers; values between animate the border.
    void paint(QPainter &painter, const QRectF &card, const QPalette &palette, qreal dropProgress);

private:
    QImage m_shadow;
    QSize m_shadowSize;
};
