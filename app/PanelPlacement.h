#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

#include "model/TavloItem.h"

// Where the tavlo panel goes. Everything here is in Qt's global logical coordinates: origin at the
// top-left of the virtual desktop, y growing downwards. The saved position ("Quorvin.Position.X"
// and "Quorvin.Position.Y") is the panel's top-left corner in these coordinates.
namespace PanelPlacement {

struct Screen
{
    QRect frame; // the whole screen
    QRect available; // without panels and docks
};

struct Layout
{
    QList<Screen> screens;
    int primary = 0; // index of the primary screen, used when the mouse is on none
    QPoint mouse;
};

// Distance between the panel's bottom edge and the bottom of the available area.
inline constexpr int bottomMargin = 42;

// The first screen whose frame contains the mouse, else the primary one; absent without screens.
std::optional<Screen> screenUnderMouse(const Layout &layout);
// The first screen whose frame contains `point`.
std::optional<Screen> screenContaining(const Layout &layout, QPoint point);

// True when `rect` overlaps the available area of at least one screen.
bool rectIsOnSomeScreen(const QRect &rect, const QList<Screen> &screens);

// Centred horizontally in `available`, bottom edge `bottomMargin` above its bottom.
QPoint defaultOrigin(const QRect &available, QSize size);

// Moves a panel of `size` at `origin` inside `available` where it fits; where it does not, it is
// pinned to the left edge and to the bottom edge (it then sticks out at the right or the top).
QPoint clampedOrigin(QPoint origin, QSize size, const QRect &available);

// Launch placement: the saved origin unchanged while the panel there still overlaps some screen,
// else the default placement on the screen under the mouse, else (0, 0).
QPoint initialOrigin(const std::optional<QPoint> &saved, QSize size, const Layout &layout);

// The frame after switching to `newSize`: same centre, then kept inside the screen that holds the
// old centre (or the one under the mouse).
QRect resizedAroundCentre(const QRect &current, QSize newSize, const Layout &layout);

} // namespace PanelPlacement
