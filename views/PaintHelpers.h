#pragma once

#include <QColor>
#include <QFont>

#include <algorithm>

// Small conversions shared by the painted cells and cards.
inline QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

// Sizes in the design are logical pixels, not points.
inline QFont pixelFont(const QFont &base, qreal pixels, QFont::Weight weight)
{
    QFont font = base;
    font.setPixelSize(std::max(1, qRound(pixels)));
    font.setWeight(weight);
    return font;
}
