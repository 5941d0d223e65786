#pragma once

#include <QPainterPath>
#include <functional>
#include <memory>

#include "platform/DesktopSession.h"
#include "platform/GlobalHotKey.h"
#include "platform/GlobalMouseMonitor.h"

// Picks the adapter for this session among the backends (x11/, portal/).

// The desktop portal on Wayland (falling back to an X grab if the portal refuses), an X grab on
// X11, none without either. Null when there is no backend.
std::unique_ptr<GlobalHotKey> createGlobalHotKey(const DesktopSession &session, QObject *parent = nullptr);

// The best mouse monitor the running platform allows. Starts disabled.
std::unique_ptr<GlobalMouseMonitor> createGlobalMouseMonitor();

class QWidget;
class QWindow;

// What the floating panels ask of the desktop. Windows reach the backends only through these, so
// they build and run headless; each is a no-op where the session has no such facility.

// Keeps `window` on every workspace and out of task bars and pagers.
void applyFloatingPanelHints(QWindow *window);

// Without a compositing manager the transparent pixels of `window` show black, so it is cut to
// `outline` (asked again on every resize) until one appears.
void cutToOutlineWithoutCompositor(QWidget *window, std::function<QPainterPath(const QWidget *)> outline);
