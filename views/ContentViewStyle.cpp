#include "views/ContentViewStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

namespace ContentViewStyle {

QColor color(const QPalette &palette, Tone tone, qreal opacity)
{
    QColor c;
    switch (tone) {
    case Tone::primary:
        c = palette.color(QPalette::Active, QPalette::WindowText);
        break;
    case Tone::secondary:
        c = palette.color(QPalette::Active, QPalette::WindowText);
        c.setAlphaF(0.5f);
        break;
    case Tone::tertiary:
        c = palette.color(QPalette::Active, QPalette::WindowText);
        c.setAlphaF(0.26f);
        break;
    case Tone::accent:
        c = palette.color(QPalette::Active, QPalette::Highlight);
        break;
    }
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

QFont font(qreal pixelSize, QFont::Weight weight)
{
    QFont f = QApplication::font();
    f.setPixelSize(qMax(1, qRound(pixelSize)));
    f.setWeight(weight);
    return f;
}

QFont captionFont()
{
    return font(10);
}

QEasingCurve easeOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

QEasingCurve easeInOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

namespace {

// Symbols are drawn in a 20 x 20 design box and scaled into the target box.
QPainterPath symbolPath(Symbol symbol)
{
    QPainterPath path;
    switch (symbol) {
    case Symbol::chevronDown:
        path.moveTo(3, 7);
        path.lineTo(10, 14);
        path.lineTo(17, 7);
        break;
    case Symbol::infoCircle:
        path.addEllipse(QPointF(10, 10), 8.5, 8.5);
        path.moveTo(10, 9);
        path.lineTo(10, 14.5);
        path.moveTo(8.3, 9);
        path.lineTo(10, 9);
        path.moveTo(8.3, 14.5);
        path.lineTo(11.7, 14.5);
        path.addEllipse(QPointF(10, 6), 0.35, 0.35);
        break;
    case Symbol::trash:
        path.moveTo(3, 5);
        path.lineTo(17, 5);
        path.moveTo(7.5, 5);
        path.lineTo(7.5, 3);
        path.lineTo(12.5, 3);
        path.lineTo(12.5, 5);
        path.moveTo(4.6, 5);
        path.lineTo(5.6, 17.5);
        path.lineTo(14.4, 17.5);
        path.lineTo(15.4, 5);
        path.moveTo(8.2, 8);
        path.lineTo(8.4, 14.5);
        path.moveTo(11.8, 8);
        path.lineTo(11.6, 14.5);
        break;
    case Symbol::trayAndArrowDown:
        // The tray: a wide open box whose floor has a raised lip in the middle.
        path.moveTo(1.5, 11);
        path.lineTo(1.5, 17.5);
        path.lineTo(18.5, 17.5);
        path.lineTo(18.5, 11);
        path.moveTo(1.5, 11.5);
        path.lineTo(6, 11.5);
        path.lineTo(7, 13.5);
        path.lineTo(13, 13.5);
        path.lineTo(14, 11.5);
        path.lineTo(18.5, 11.5);
        // The arrow falling into it.
        path.moveTo(10, 1.5);
        path.lineTo(10, 10);
        path.moveTo(6.8, 7);
        path.lineTo(10, 10.2);
        path.lineTo(13.2, 7);
        break;
    }
    return path;
}

} // namespace

void drawSymbol(QPainter &painter, Symbol symbol, const QRectF &box, const QColor &color, qreal weight)
{
    const qreal side = qMin(box.width(), box.height());
    if (side <= 0)
        return;
    const qreal scale = side / 20.0;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.center() - QPointF(side / 2, side / 2));
    painter.scale(scale, scale);
    QPen pen(color, weight / scale, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(symbolPath(symbol));
    painter.restore();
}

} // namespace ContentViewStyle
