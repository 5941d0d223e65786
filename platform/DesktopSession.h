#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// What kind of graphical session the process runs in, judged from the environment the session
// manager sets up rather than from the Qt platform plugin (which may be forced to xcb).
enum class DesktopSessionKind { x11, wayland, none };

struct DesktopSession
{
    DesktopSessionKind kind = DesktopSessionKind::none;
    bool hasXDisplay = false; // DISPLAY is set: an X server (or XWayland) is reachable
    // Qt platform plugin to force before QApplication exists, or empty to leave Qt's choice.
    QByteArray forcedQpaPlatform;
    // Why the panel cannot be shown in this session, for the user; empty when it can.
    QString problem;
};

// `env` returns the value of an environment variable, empty when unset.
DesktopSession detectDesktopSession(const std::function<QByteArray(const char *)> &env);

// The same over the process environment.
DesktopSession currentDesktopSession();
