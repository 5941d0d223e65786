#include "app/PanelPlacement.h"

#include <algorithm>
#include <cmath>

namespace PanelPlacement {

std::optional<Screen> screenContaining(const Layout &layout, QPoint point)
{
    for (const Screen &screen : layout.screens) {
        if (screen.frame.contains(point))
            return screen;
    }
    return std::nullopt;
}

std::optional<Screen> screenUnderMouse(const Layout &layout)
{
    if (auto screen = screenContaining(layout, layout.mouse))
        return screen;
    if (layout.screens.isEmpty())
        return std::nullopt;
    const int primary = layout.primary >= 0 && layout.primary < layout.screens.size() ? layout.primary : 0;
    return layout.screens.at(primary);
}

bool rectIsOnSomeScreen(const QRect &rect, const QList<Screen> &screens)
{
    return std::any_of(screens.begin(), screens.end(),
                       [&](const Screen &screen) { return screen.available.intersects(rect); });
}

QPoint defaultOrigin(const QRect &available, QSize size)
{
    // Floor, not truncation, so odd differences round the same way on both sides of zero.
    const int x = available.x() + static_cast<int>(std::floor((available.width() - size.width()) / 2.0));
    const int y = available.y() + available.height() - bottomMargin - size.height();
    return {x, y};
}

QPoint clampedOrigin(QPoint origin, QSize size, const QRect &available)
{
    const int left = available.x();
    const int right = available.x() + available.width();
    const int top = available.y();
    const int bottom = available.y() + available.height();
    // Per axis: inside when it fits; otherwise the left edge, or the bottom edge, wins.
    const int x = std::min(std::max(left, right - size.width()), std::max(origin.x(), left));
    const int y =
        std::max(std::min(bottom - size.height(), top), std::min(origin.y(), bottom - size.height()));
    return {x, y};
}

QPoint initialOrigin(const std::optional<QPoint> &saved, QSize size, const Layout &layout)
{
    if (saved && rectIsOnSomeScreen(QRect(*saved, size), layout.screens))
        return *saved;
    if (auto screen = screenUnderMouse(layout))
        return defaultOrigin(screen->available, size);
    return {0, 0};
}

QRect resizedAroundCentre(const QRect &current, QSize newSize, const Layout &layout)
{
    // Centre in doubles: QRect::center() rounds towards the top-left for even sizes.
    const double cx = current.x() + current.width() / 2.0;
    const double cy = current.y() + current.height() / 2.0;
    QPoint origin(static_cast<int>(std::floor(cx - newSize.width() / 2.0)),
                  static_cast<int>(std::floor(cy - newSize.height() / 2.0)));
    const QPoint centre(static_cast<int>(std::floor(cx)), static_cast<int>(std::floor(cy)));
    std::optional<Screen> screen = screenContaining(layout, centre);
    if (!screen)
        screen = screenUnderMouse(layout);
    if (screen)
        origin = clampedOrigin(origin, newSize, screen->available);
    return {origin, newSize};
}

} // namespace PanelPlacement
