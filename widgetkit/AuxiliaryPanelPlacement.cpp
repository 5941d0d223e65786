#include "widgetkit/AuxiliaryPanelPlacement.h"

#include <algorithm>

namespace AuxiliaryPanelPlacement {

QRect boundsForAnchor(const QRect &anchor, const QList<QRect> &screens, const QRect &primary)
{
    const QPoint centre = anchor.center();
    for (const QRect &screen : screens) {
        if (screen.contains(centre))
            return screen;
    }
    QRect best;
    qint64 bestArea = 0;
    for (const QRect &screen : screens) {
        const QRect overlap = screen.intersected(anchor);
        const qint64 area = qint64(overlap.width()) * overlap.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    if (bestArea > 0)
        return best;
    if (primary.isValid())
        return primary;
    return anchor;
}

QPoint originBeside(const QRect &anchor, const QSize &size, const QRect &bounds, int gap)
{
    const int w = size.width();
    const int h = size.height();
    const int boundsRight = bounds.x() + bounds.width();
    const int boundsBottom = bounds.y() + bounds.height();
    const int anchorBottom = anchor.y() + anchor.height();

    // Centred on the anchor; x + w / 2 rounds like the frame arithmetic of the window system.
    int x = anchor.x() + anchor.width() / 2 - w / 2;
    x = std::max(x, bounds.x() + screenMargin);
    x = std::min(x, boundsRight - w - screenMargin);

    int y = anchor.y() - gap - h;
    if (y < bounds.y() + screenMargin)
        y = anchorBottom + gap;
    y = std::min(y, boundsBottom - screenMargin - h);
    // A panel taller than the screen would lose its title bar above the top edge.
    y = std::max(y, bounds.y());
    return {x, y};
}

QPoint centeredOrigin(const QSize &size, const QRect &bounds)
{
    const int x = bounds.x() + (bounds.width() - size.width()) / 2;
    const int y = bounds.y() + (bounds.height() - size.height()) / 2;
    return {x, std::max(y, bounds.y())};
}

} // namespace AuxiliaryPanelPlacement
