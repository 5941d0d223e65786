#include "platform/x11/X11MouseMonitor.h"

#include <QGuiApplication>
#include <QSet>
#include <QSocketNotifier>
#include <QWindow>

#include <X11/Xlib-xcb.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

// Watches presses with a private X connection, so Qt's own connection and event queue are never
// touched. Window queries go through the connection's xcb side, whose errors come back as values
// instead of reaching Xlib's process-wide error handler.
class X11RawMouseMonitor final : public GlobalMouseMonitor
{
public:
    static std::unique_ptr<X11RawMouseMonitor> open()
    {
        auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        if (!x11 || !x11->display())
            return nullptr;
        Display *display = XOpenDisplay(DisplayString(x11->display()));
        if (!display)
            return nullptr;
        int opcode = 0, firstEvent = 0, firstError = 0;
        int major = 2, minor = 2;
        // Raw events reach every client regardless of grabs from XInput 2.1 on.
        if (!XQueryExtension(display, "XInputExtension", &opcode, &firstEvent, &firstError)
            || XIQueryVersion(display, &major, &minor) != Success || major < 2 || (major == 2 && minor < 1)) {
            XCloseDisplay(display);
            return nullptr;
        }
        return std::unique_ptr<X11RawMouseMonitor>(new X11RawMouseMonitor(display, opcode));
    }

    ~X11RawMouseMonitor() override
    {
        delete m_notifier;
        XCloseDisplay(m_display);
    }

    Mechanism mechanism() const override { return Mechanism::X11RawEvents; }
    bool isEnabled() const override { return m_enabled; }

    void setEnabled(bool enabled) override
    {
        if (enabled == m_enabled)
            return;
        m_enabled = enabled;
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        if (enabled)
            XISetMask(bits, XI_RawButtonPress);
        XIEventMask mask;
        mask.deviceid = XIAllMasterDevices;
        mask.mask_len = sizeof(bits);
        mask.mask = bits;
        XISelectEvents(m_display, DefaultRootWindow(m_display), &mask, 1);
        XFlush(m_display);
        if (!enabled)
            drain(); // events already queued belong to the closed session
    }

private:
    X11RawMouseMonitor(Display *display, int opcode)
        : m_display(display), m_connection(XGetXCBConnection(display)), m_opcode(opcode)
    {
        m_notifier = new QSocketNotifier(ConnectionNumber(display), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this] { readEvents(); });
    }

    void drain()
    {
        while (XPending(m_display)) {
            XEvent event;
            XNextEvent(m_display, &event);
        }
    }

    void readEvents()
    {
        bool sawPress = false;
        while (XPending(m_display)) {
            XEvent event;
            XNextEvent(m_display, &event);
            XGenericEventCookie *cookie = &event.xcookie;
            if (cookie->type != GenericEvent || cookie->extension != m_opcode
                || !XGetEventData(m_display, cookie))
                continue;
            if (cookie->evtype == XI_RawButtonPress) {
                const int button = static_cast<const XIRawEvent *>(cookie->data)->detail;
                // Left and right only: 2 is the middle button, 4 to 7 are wheel steps.
                if (button == 1 || button == 3)
                    sawPress = true;
            }
            XFreeEventData(m_display, cookie);
        }
        if (sawPress && m_enabled && !pointerIsOverOwnWindow())
            Q_EMIT outsidePress();
    }

    // The top-level window of `window`: its ancestor just below the root (the window manager's
    // frame when there is one). 0 when the window is gone.
    xcb_window_t topLevelOf(xcb_window_t window) const
    {
        for (int depth = 0; depth < 64 && window; ++depth) {
            xcb_query_tree_reply_t *reply =
                xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr);
            if (!reply)
                return 0;
            const xcb_window_t parent = reply->parent;
            const xcb_window_t root = reply->root;
            std::free(reply);
            if (parent == root || parent == XCB_WINDOW_NONE)
                return window;
            window = parent;
        }
        return 0;
    }

    bool pointerIsOverOwnWindow() const
    {
        const xcb_window_t root = DefaultRootWindow(m_display);
        xcb_query_pointer_reply_t *pointer =
            xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, root), nullptr);
        if (!pointer)
            return false;
        const xcb_window_t under = pointer->child;
        std::free(pointer);
        if (under == XCB_WINDOW_NONE)
            return false;
        const QWindowList windows = QGuiApplication::topLevelWindows();
        for (QWindow *window : windows) {
            if (!window->isVisible() || !window->handle())
                continue;
            if (topLevelOf(static_cast<xcb_window_t>(window->winId())) == under)
                return true;
        }
        return false;
    }

    Display *m_display;
    xcb_connection_t *m_connection;
    int m_opcode;
    QSocketNotifier *m_notifier = nullptr;
    bool m_enabled = false;
};

} // namespace

std::unique_ptr<GlobalMouseMonitor> openX11MouseMonitor()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    return X11RawMouseMonitor::open();
}
