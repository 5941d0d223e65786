#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Where the floating helper panels (preview, About) go relative to the tavlo panel. Pure functions
// over rectangles in Qt's global coordinates (y grows downwards), so they can be tested without
// windows. A panel's rectangle here is its frame, title bar included.
namespace AuxiliaryPanelPlacement {

// Distance kept from every edge of the screen's available area.
inline constexpr int screenMargin = 8;

// The available area the panel should stay in: that of the screen holding the anchor's centre,
// else of the screen the anchor overlaps most, else `primary`; the anchor itself when there is no
// screen at all.
QRect boundsForAnchor(const QRect &anchor, const QList<QRect> &screens, const QRect &primary);

// Top-left corner for a panel of `size` centred over `anchor` with `gap` between the two, or
// below the anchor when there is no room above. Keeps `screenMargin` from the sides (the right
// edge wins on a narrow screen) and from the bottom, and never puts the title bar above the top
// of `bounds`, so the panel can always be moved and closed.
QPoint originBeside(const QRect &anchor, const QSize &size, const QRect &bounds, int gap);

// Top-left corner that centres a panel of `size` in `bounds`, with the top edge kept inside.
QPoint centeredOrigin(const QSize &size, const QRect &bounds);

} // namespace AuxiliaryPanelPlacement
