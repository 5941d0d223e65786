#include "widgetkit/SymbolPainter.h"

#include <QHash>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>

namespace SymbolPainter {

namespace {

void ensureThemeFallback()
{
    static const bool done = [] {
        // Without a desktop session the theme is often unset; Adwaita is the usual Debian theme.
        if (QIcon::fallbackThemeName().isEmpty())
            QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
        return true;
    }();
    Q_UNUSED(done);
}

// Symbols are drawn in a 20 x 20 design box and scaled into the target box.
QPainterPath linePath(const QString &symbol)
{
    QPainterPath path;
    if (symbol == u"chevron.down") {
        path.moveTo(3, 7);
        path.lineTo(10, 14);
        path.lineTo(17, 7);
    } else if (symbol == u"info.circle") {
        path.addEllipse(QPointF(10, 10), 8.5, 8.5);
        path.moveTo(10, 9);
        path.lineTo(10, 14.5);
        path.moveTo(8.3, 9);
        path.lineTo(10, 9);
        path.moveTo(8.3, 14.5);
        path.lineTo(11.7, 14.5);
        path.addEllipse(QPointF(10, 6), 0.35, 0.35);
    } else if (symbol == u"trash") {
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
    } else if (symbol == u"tray.and.arrow.down") {
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
    }
    return path;
}

void strokeLines(QPainter &painter, const QPainterPath &path, const QRectF &box, const QColor &color,
                 qreal weight)
{
    const qreal side = qMin(box.width(), box.height());
    if (side <= 0)
        return;
    const qreal scale = side / 20.0;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.center() - QPointF(side / 2, side / 2));
    painter.scale(scale, scale);
    painter.setPen(QPen(color, weight / scale, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

void drawFallback(QPainter &p, const QRectF &r, const QString &symbol, const QColor &color)
{
    const qreal s = std::min(r.width(), r.height());
    const QPointF c = r.center();
    const QRectF box(c.x() - s / 2, c.y() - s / 2, s, s);
    QPen pen(color, std::max<qreal>(1.0, s / 12), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    if (const QPainterPath lines = linePath(symbol); !lines.isEmpty()) {
        strokeLines(p, lines, box, color, pen.widthF());
    } else if (symbol == u"xmark") {
        pen.setWidthF(std::max<qreal>(1.5, s / 6));
        p.setPen(pen);
        const qreal d = s * 0.35;
        p.drawLine(QPointF(c.x() - d, c.y() - d), QPointF(c.x() + d, c.y() + d));
        p.drawLine(QPointF(c.x() + d, c.y() - d), QPointF(c.x() - d, c.y() + d));
    } else if (symbol == u"play.fill" || symbol == u"play.rectangle.fill") {
        QPainterPath triangle;
        if (symbol == u"play.rectangle.fill") {
            const QRectF body(box.left(), box.top() + s * 0.15, s, s * 0.7);
            p.setPen(Qt::NoPen);
            p.setBrush(color);
            p.drawRoundedRect(body, s * 0.15, s * 0.15);
            triangle.moveTo(c.x() - s * 0.12, c.y() - s * 0.17);
            triangle.lineTo(c.x() + s * 0.18, c.y());
            triangle.lineTo(c.x() - s * 0.12, c.y() + s * 0.17);
            triangle.closeSubpath();
            p.fillPath(triangle, Qt::white);
            return;
        }
        triangle.moveTo(box.left() + s * 0.2, box.top() + s * 0.1);
        triangle.lineTo(box.right() - s * 0.1, c.y());
        triangle.lineTo(box.left() + s * 0.2, box.bottom() - s * 0.1);
        triangle.closeSubpath();
        p.fillPath(triangle, color);
    } else if (symbol.startsWith(u"exclamationmark.triangle")) {
        QPainterPath triangle;
        triangle.moveTo(c.x(), box.top() + s * 0.06);
        triangle.lineTo(box.right() - s * 0.04, box.bottom() - s * 0.08);
        triangle.lineTo(box.left() + s * 0.04, box.bottom() - s * 0.08);
        triangle.closeSubpath();
        p.fillPath(triangle, color);
        p.setPen(QPen(Qt::white, std::max<qreal>(1.0, s / 9), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(c.x(), box.top() + s * 0.35), QPointF(c.x(), box.top() + s * 0.62));
        p.drawPoint(QPointF(c.x(), box.top() + s * 0.76));
    } else if (symbol == u"link") {
        p.save();
        p.translate(c);
        p.rotate(-45);
        const QRectF left(-s * 0.45, -s * 0.16, s * 0.5, s * 0.32);
        const QRectF right(-s * 0.05, -s * 0.16, s * 0.5, s * 0.32);
        p.drawRoundedRect(left, s * 0.16, s * 0.16);
        p.drawRoundedRect(right, s * 0.16, s * 0.16);
        p.restore();
    } else if (symbol == u"text.quote") {
        QFont font = p.font();
        font.setPixelSize(int(s * 1.4));
        font.setBold(true);
        p.setFont(font);
        p.drawText(box.adjusted(0, s * 0.2, 0, s * 0.2), Qt::AlignCenter, QStringLiteral("\u201C"));
    } else if (symbol == u"folder") {
        QPainterPath path;
        path.moveTo(box.left() + s * 0.05, box.top() + s * 0.2);
        path.lineTo(box.left() + s * 0.4, box.top() + s * 0.2);
        path.lineTo(box.left() + s * 0.5, box.top() + s * 0.3);
        path.lineTo(box.right() - s * 0.05, box.top() + s * 0.3);
        path.lineTo(box.right() - s * 0.05, box.bottom() - s * 0.15);
        path.lineTo(box.left() + s * 0.05, box.bottom() - s * 0.15);
        path.closeSubpath();
        p.drawPath(path);
    } else if (symbol == u"questionmark.square.dashed") {
        p.setPen(QPen(color, std::max<qreal>(1.0, s / 14), Qt::DashLine));
        p.drawRoundedRect(box.adjusted(s * 0.08, s * 0.08, -s * 0.08, -s * 0.08), s * 0.15, s * 0.15);
        QFont font = p.font();
        font.setPixelSize(int(s * 0.55));
        font.setBold(true);
        p.setFont(font);
        p.setPen(color);
        p.drawText(box, Qt::AlignCenter, QStringLiteral("?"));
    } else {
        // A page with a folded corner stands in for every document kind.
        QPainterPath page;
        const QRectF sheet = box.adjusted(s * 0.18, s * 0.06, -s * 0.18, -s * 0.06);
        const qreal fold = s * 0.2;
        page.moveTo(sheet.topLeft());
        page.lineTo(sheet.right() - fold, sheet.top());
        page.lineTo(sheet.right(), sheet.top() + fold);
        page.lineTo(sheet.bottomRight());
        page.lineTo(sheet.bottomLeft());
        page.closeSubpath();
        p.drawPath(page);
        if (symbol == u"photo") {
            p.drawEllipse(QPointF(sheet.left() + sheet.width() * 0.35, sheet.top() + sheet.height() * 0.4),
                          s * 0.06, s * 0.06);
            p.drawLine(QPointF(sheet.left() + s * 0.08, sheet.bottom() - s * 0.12),
                       QPointF(sheet.right() - s * 0.08, sheet.bottom() - s * 0.3));
        } else if (symbol == u"film") {
            p.drawRect(sheet.adjusted(s * 0.1, s * 0.25, -s * 0.1, -s * 0.25));
        } else if (symbol == u"waveform") {
            for (int i = 0; i < 4; ++i) {
                const qreal x = sheet.left() + sheet.width() * (0.25 + i * 0.17);
                const qreal h = s * (i % 2 ? 0.28 : 0.16);
                p.drawLine(QPointF(x, c.y() - h / 2), QPointF(x, c.y() + h / 2));
            }
        }
    }
}

} // namespace

void stroke(QPainter &painter, const QString &symbol, const QRectF &box, const QColor &color, qreal weight)
{
    strokeLines(painter, linePath(symbol), box, color, weight);
}

QString themeIconName(const QString &symbol)
{
    static const QHash<QString, QString> names {
        {QStringLiteral("doc"), QStringLiteral("text-x-generic")},
        {QStringLiteral("photo"), QStringLiteral("image-x-generic")},
        {QStringLiteral("folder"), QStringLiteral("folder")},
        {QStringLiteral("film"), QStringLiteral("video-x-generic")},
        {QStringLiteral("waveform"), QStringLiteral("audio-x-generic")},
        {QStringLiteral("questionmark.square.dashed"), QStringLiteral("image-missing")},
        {QStringLiteral("exclamationmark.triangle"), QStringLiteral("dialog-warning")},
    };
    return names.value(symbol);
}

void paint(QPainter &painter, const QRectF &rect, const QString &symbol, qreal pixelSize, const QColor &color)
{
    const QRectF target(rect.center().x() - pixelSize / 2, rect.center().y() - pixelSize / 2, pixelSize,
                        pixelSize);
    const QPixmap image =
        pixmap(symbol, pixelSize, color, painter.device() ? painter.device()->devicePixelRatioF() : 1.0);
    painter.drawPixmap(target.topLeft(), image);
}

QPixmap pixmap(const QString &symbol, qreal pixelSize, const QColor &color, qreal devicePixelRatio)
{
    ensureThemeFallback();
    static QHash<QString, QPixmap> cache;
    const QString key = QStringLiteral("%1|%2|%3|%4")
                            .arg(symbol)
                            .arg(qRound(pixelSize * 4))
                            .arg(color.rgba())
                            .arg(qRound(devicePixelRatio * 100));
    if (const auto found = cache.constFind(key); found != cache.cend())
        return found.value();

    const int side = std::max(1, qRound(pixelSize * devicePixelRatio));
    QPixmap result;
    const QString iconName = themeIconName(symbol);
    if (!iconName.isEmpty()) {
        const QIcon icon = QIcon::fromTheme(iconName);
        if (!icon.isNull())
            result = icon.pixmap(QSize(side, side));
        if (!result.isNull() && result.width() != side)
            result = result.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    if (result.isNull()) {
        result = QPixmap(side, side);
        result.fill(Qt::transparent);
        QPainter p(&result);
        p.setRenderHint(QPainter::Antialiasing);
        drawFallback(p, QRectF(0, 0, side, side), symbol, color);
    }
    result.setDevicePixelRatio(devicePixelRatio);
    if (cache.size() > 512)
        cache.clear();
    cache.insert(key, result);
    return result;
}

} // namespace SymbolPainter
