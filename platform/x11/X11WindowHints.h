#pragma once

#include <QWindow>

// EWMH hints for the tavlo panel on X11: on every desktop, left out of taskbars and pagers.
// No-ops on other platforms.
namespace X11WindowHints {

// True when the application runs on the xcb platform.
bool isAvailable();

// Adds _NET_WM_STATE_STICKY, _SKIP_TASKBAR and _SKIP_PAGER and sets _NET_WM_DESKTOP to all
// desktops. Before the window is mapped this writes the properties (Qt merges its own states into
// them when it maps); once mapped it also asks the window manager, which owns them then.
void applyPanelHints(QWindow *window);

} // namespace X11WindowHints
