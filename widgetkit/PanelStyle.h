#pragma once

#include <QColor>
#include <QEasingCurve>
#include <QFont>
#include <QPalette>

class QLabel;
class QWidget;

// The look every Quorvin window shares: text tones, fonts and animation curves. Colours derive
// from the palette at paint time, so windows follow the desktop's light or dark theme.
namespace PanelStyle {

enum class Tone { primary, secondary, tertiary, accent };

// Secondary and tertiary text are the window text at these opacities.
inline constexpr qreal secondaryAlpha = 0.5;
inline constexpr qreal tertiaryAlpha = 0.26;

QColor color(const QPalette &palette, Tone tone, qreal opacity = 1.0);
QColor mix(const QColor &from, const QColor &to, qreal progress);
QColor withAlpha(QColor color, qreal alpha);

// The desktop's UI font at a size in logical pixels, so figures read as on-screen points.
QFont font(qreal pixelSize, QFont::Weight weight = QFont::Normal);
// `base` at a size in logical pixels, for painters that start from a widget's own font.
QFont pixelFont(const QFont &base, qreal pixelSize, QFont::Weight weight);
QFont monospacedFont(qreal pixelSize);
// The small label font used for counts and captions.
QFont captionFont();

// Cubic timing curves of the desktop's animations.
QEasingCurve easeIn();
QEasingCurve easeOut();
QEasingCurve easeInOut();

// Gives a label or text view its text colour.
void setTextColor(QWidget *widget, const QColor &color);

// A label showing the symbol of that name ("doc", "link", "folder", ...) in `color`, the
// secondary tone when none is given.
QLabel *symbolLabel(const QString &symbolName, int pixelSize, const QColor &color = {});

} // namespace PanelStyle
