#include "widgetkit/PanelStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>

#include "widgetkit/SymbolPainter.h"

#include <algorithm>

namespace PanelStyle {

QColor color(const QPalette &palette, Tone tone, qreal opacity)
{
    QColor c =
        palette.color(QPalette::Active, tone == Tone::accent ? QPalette::Highlight : QPalette::WindowText);
    if (tone == Tone::secondary)
        c.setAlphaF(float(secondaryAlpha));
    else if (tone == Tone::tertiary)
        c.setAlphaF(float(tertiaryAlpha));
    c.setAlphaF(float(c.alphaF() * opacity));
    return c;
}

QColor mix(const QColor &from, const QColor &to, qreal progress)
{
    const qreal p = std::clamp(progress, 0.0, 1.0);
    const auto lerp = [p](float a, float b) {
        return a + (b - a) * float(p);
    };
    QColor a = from.toRgb();
    QColor b = to.toRgb();
    return QColor::fromRgbF(lerp(a.redF(), b.redF()), lerp(a.greenF(), b.greenF()),
                            lerp(a.blueF(), b.blueF()), lerp(a.alphaF(), b.alphaF()));
}

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

QFont pixelFont(const QFont &base, qreal pixelSize, QFont::Weight weight)
{
    QFont f = base;
    f.setPixelSize(std::max(1, qRound(pixelSize)));
    f.setWeight(weight);
    return f;
}

QFont font(qreal pixelSize, QFont::Weight weight)
{
    return pixelFont(QApplication::font(), pixelSize, weight);
}

QFont monospacedFont(qreal pixelSize)
{
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(std::max(1, qRound(pixelSize)));
    // Some platforms (offscreen, bare X servers) report a proportional font here.
    if (!QFontInfo(f).fixedPitch()) {
        f.setFamilies({QStringLiteral("monospace")});
        f.setStyleHint(QFont::TypeWriter);
    }
    return f;
}

QFont captionFont()
{
    return font(10);
}

namespace {

QEasingCurve cubic(QPointF c1, QPointF c2)
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(c1, c2, QPointF(1, 1));
    return curve;
}

} // namespace

QEasingCurve easeIn()
{
    return cubic({0.42, 0}, {1, 1});
}

QEasingCurve easeOut()
{
    return cubic({0, 0}, {0.58, 1});
}

QEasingCurve easeInOut()
{
    return cubic({0.42, 0}, {0.58, 1});
}

void setTextColor(QWidget *widget, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

QLabel *symbolLabel(const QString &symbolName, int pixelSize, const QColor &color)
{
    auto *label = new QLabel;
    label->setProperty("symbolName", symbolName);
    label->setAlignment(Qt::AlignCenter);
    const QColor tint = color.isValid() ? color : PanelStyle::color(label->palette(), Tone::secondary);
    label->setPixmap(SymbolPainter::pixmap(symbolName, pixelSize, tint, label->devicePixelRatioF()));
    label->setMinimumSize(pixelSize, pixelSize);
    return label;
}

} // namespace PanelStyle
