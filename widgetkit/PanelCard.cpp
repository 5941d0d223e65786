#include "widgetkit/PanelCard.h"

#include <QPainter>
#include <QPainterPath>

#include <vector>

#include "widgetkit/PanelMetrics.h"
#include "widgetkit/PanelStyle.h"

namespace {

constexpr int shadowBlur = 26;
constexpr int shadowOffsetY = 10;

// One pass of a box blur over the alpha channel of a premultiplied black image,
// along rows (or columns when `vertical`).
void boxBlurAlpha(QImage &image, int radius, bool vertical)
{
    const int w = image.width();
    const int h = image.height();
    const int lines = vertical ? w : h;
    const int length = vertical ? h : w;
    const int window = 2 * radius + 1;
    std::vector<int> source(size_t(length), 0);
    for (int line = 0; line < lines; ++line) {
        for (int i = 0; i < length; ++i) {
            const int x = vertical ? line : i;
            const int y = vertical ? i : line;
            source[size_t(i)] = qAlpha(reinterpret_cast<const QRgb *>(image.constScanLine(y))[x]);
        }
        int sum = 0;
        for (int i = -radius; i <= radius; ++i)
            sum += (i >= 0 && i < length) ? source[size_t(i)] : 0;
        for (int i = 0; i < length; ++i) {
            const int x = vertical ? line : i;
            const int y = vertical ? i : line;
            const int alpha = sum / window;
            reinterpret_cast<QRgb *>(image.scanLine(y))[x] = qRgba(0, 0, 0, alpha);
            const int leaving = i - radius;
            const int entering = i + radius + 1;
            if (leaving >= 0)
                sum -= source[size_t(leaving)];
            if (entering < length)
                sum += source[size_t(entering)];
        }
    }
}

QImage makeShadow(const QSize &cardSize, int blur)
{
    const int pad = blur;
    QImage image(cardSize + QSize(2 * pad, 2 * pad), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawRoundedRect(QRectF(QPointF(pad, pad), QSizeF(cardSize)), PanelMetrics::cardCornerRadius,
                                PanelMetrics::cardCornerRadius);
    }
    // Three box passes approximate a Gaussian whose visible reach is about `blur`
    // pixels.
    const int radius = qMax(1, blur / 4);
    for (int pass = 0; pass < 3; ++pass) {
        boxBlurAlpha(image, radius, false);
        boxBlurAlpha(image, radius, true);
    }
    return image;
}

} // namespace

void PanelCard::paint(QPainter &painter, const QRectF &card, const QPalette &palette, qreal dropProgress)
{
    if (card.isEmpty())
        return;
    const QSize shadowSize = card.size().toSize();
    if (m_shadowSize != shadowSize) {
        m_shadow = makeShadow(shadowSize, shadowBlur);
        m_shadowSize = shadowSize;
    }
    painter.save();
    painter.setOpacity(0.18);
    painter.drawImage(card.topLeft() + QPointF(-shadowBlur, -shadowBlur + shadowOffsetY), m_shadow);
    painter.restore();

    QPainterPath shape;
    shape.addRoundedRect(card, PanelMetrics::cardCornerRadius, PanelMetrics::cardCornerRadius);
    // The desktop gives no blur behind windows; a mostly opaque window tone keeps
    // text legible.
    QColor material = palette.color(QPalette::Active, QPalette::Window);
    material.setAlphaF(0.86f);
    painter.fillPath(shape, material);
    painter.fillPath(shape, QColor(0, 0, 0, qRound(0.025 * 255)));

    const QColor restBorder = PanelStyle::color(palette, PanelStyle::Tone::primary, 0.1);
    const QColor dropBorder = PanelStyle::color(palette, PanelStyle::Tone::accent, 0.95);
    const qreal lineWidth = 1 + dropProgress;
    painter.setPen(QPen(PanelStyle::mix(restBorder, dropBorder, dropProgress), lineWidth));
    painter.setBrush(Qt::NoBrush);
    // Stroke centred on the card's outline, as the card's border is.
    painter.drawPath(shape);
}
