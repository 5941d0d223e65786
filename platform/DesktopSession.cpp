#include "platform/DesktopSession.h"

#include <QString>
#include <QtGlobal>

DesktopSession detectDesktopSession(const std::function<QByteArray(const char *)> &env)
{
    DesktopSession session;
    const QByteArray type = env("XDG_SESSION_TYPE").trimmed().toLower();
    const bool hasWaylandDisplay = !env("WAYLAND_DISPLAY").trimmed().isEmpty();
    session.hasXDisplay = !env("DISPLAY").trimmed().isEmpty();

    if (type == "wayland")
        session.kind = DesktopSessionKind::wayland;
    else if (type == "x11")
        session.kind = DesktopSessionKind::x11;
    else if (hasWaylandDisplay) // tty sessions started by hand often leave the type unset
        session.kind = DesktopSessionKind::wayland;
    else if (session.hasXDisplay)
        session.kind = DesktopSessionKind::x11;

    // Wayland gives clients no say over their position or stacking, so a placed, always-on-top
    // panel needs XWayland. An explicit non-Wayland choice (offscreen, xcb, ...) is respected.
    const QByteArray requested = env("QT_QPA_PLATFORM").trimmed();
    if (session.kind == DesktopSessionKind::wayland && session.hasXDisplay
        && (requested.isEmpty() || requested.startsWith("wayland")))
        session.forcedQpaPlatform = "xcb";
    // Said plainly here, rather than left to the platform plugin's abort.
    const bool platformChosen = !requested.isEmpty() && !requested.startsWith("wayland");
    if (session.kind == DesktopSessionKind::wayland && !session.hasXDisplay && !platformChosen)
        session.problem = QStringLiteral("this Wayland session has no X server (DISPLAY is not set). Quorvin "
                                         "places its panel through XWayland: enable XWayland in your "
                                         "compositor, or log in to an X11 session.");
    else if (session.kind == DesktopSessionKind::none && requested.isEmpty())
        session.problem =
            QStringLiteral("no graphical session was found (neither DISPLAY nor WAYLAND_DISPLAY "
                           "is set). Start Quorvin from a desktop session.");
    return session;
}

DesktopSession currentDesktopSession()
{
    return detectDesktopSession([](const char *name) { return qgetenv(name); });
}
