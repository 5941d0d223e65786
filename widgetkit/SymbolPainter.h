#pragma once

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QString>

class QPainter;

// The app's symbols by their names ("doc", "photo", "link", "xmark", ...): drawn from the desktop
// icon theme where it has a fitting freedesktop icon, else drawn here, so a bare system still shows
// a glyph. Monochrome symbols take `color`.
namespace SymbolPainter {

// The freedesktop icon name used for a symbol, or empty when the symbol is always drawn.
QString themeIconName(const QString &symbol);

// Paints the symbol centred in `rect` at `pixelSize` (its nominal height).
void paint(QPainter &painter, const QRectF &rect, const QString &symbol, qreal pixelSize,
           const QColor &color);

// Paints a line-drawn symbol ("chevron.down", "info.circle", "trash", "tray.and.arrow.down")
// centred in `box` with strokes `weight` pixels wide, uncached, so it can follow an animation.
void stroke(QPainter &painter, const QString &symbol, const QRectF &box, const QColor &color, qreal weight);

// The same as a cached pixmap at the device pixel ratio.
QPixmap pixmap(const QString &symbol, qreal pixelSize, const QColor &color, qreal devicePixelRatio);

} // namespace SymbolPainter
