#pragma once

#include <QColor>
#include <QEasingCurve>
#include <QFont>
#include <QPalette>
#include <QRectF>

class QPainter;

// Colours, fonts, curves and symbols of the panel card. Colours derive from the
// widget palette at paint time, so the card follows the desktop's light or dark
// theme.
namespace ContentViewStyle {

enum class Tone { primary, secondary, tertiary, accent };

QColor color(const QPalette &palette, Tone tone, qreal opacity = 1.0);
QColor mix(const QColor &from, const QColor &to, qreal progress);

// The desktop's UI font at a size in logical pixels, so figures read as
// on-screen points.
QFont font(qreal pixelSize, QFont::Weight weight = QFont::Normal);
// The small label font used for counts and captions.
QFont captionFont();

QEasingCurve easeOut();
QEasingCurve easeInOut();

// Line-drawn symbols, centred in `box`; `weight` is the stroke width in pixels.
enum class Symbol { chevronDown, infoCircle, trash, trayAndArrowDown };
void drawSymbol(QPainter &painter, Symbol symbol, const QRectF &box, const QColor &color, qreal weight);

} // namespace ContentViewStyle
