#include "platform/x11/X11KeyboardFocus.h"
#include "platform/x11/X11Connection.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

// The first 32-bit value of a window-typed property, 0 when absent.
quint32 windowProperty(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property)
{
    auto *reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, XCB_ATOM_WINDOW, 0, 1), nullptr);
    if (!reply)
        return 0;
    quint32 value = 0;
    if (reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        value = *static_cast<const quint32 *>(xcb_get_property_value(reply));
    std::free(reply);
    return value;
}

bool isViewable(xcb_connection_t *c, xcb_window_t window)
{
    auto *reply = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    const bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(reply);
    return viewable;
}

} // namespace

X11KeyboardFocus &X11KeyboardFocus::instance()
{
    static auto *focus = new X11KeyboardFocus;
    return *focus;
}

X11KeyboardFocus::X11KeyboardFocus()
{
    xcb_connection_t *c = X11Connection::qt();
    if (!c)
        return;
    m_root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    m_activeAtom = X11Connection::atom(c, "_NET_ACTIVE_WINDOW");
    // Hear when the window manager activates another window; keep whatever Qt listens to there.
    auto *attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, m_root), nullptr);
    if (attributes) {
        const quint32 mask = attributes->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
        std::free(attributes);
        xcb_change_window_attributes(c, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
}

bool X11KeyboardFocus::isOurs(quint32 window) const
{
    const QWindowList windows = QGuiApplication::allWindows();
    return std::any_of(windows.cbegin(), windows.cend(),
                       [window](QWindow *w) { return w->handle() && quint32(w->winId()) == window; });
}

void X11KeyboardFocus::note(quint32 window)
{
    // 0 is None and 1 PointerRoot: no window to go back to.
    if (window > 1 && window != m_root && !isOurs(window))
        m_previous = window;
}

quint32 X11KeyboardFocus::activeWindow() const
{
    xcb_connection_t *c = X11Connection::qt();
    return c && m_activeAtom ? windowProperty(c, m_root, m_activeAtom) : 0;
}

void X11KeyboardFocus::rememberFocusedWindow()
{
    xcb_connection_t *c = X11Connection::qt();
    if (!c)
        return;
    if (const quint32 active = activeWindow()) {
        note(active);
        return;
    }
    auto *reply = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    if (reply) {
        note(reply->focus);
        std::free(reply);
    }
}

void X11KeyboardFocus::take(QWindow *window)
{
    if (!window || !X11Connection::qt() || window->isActive())
        return;
    rememberFocusedWindow();
    window->requestActivate();
}

void X11KeyboardFocus::handBack()
{
    xcb_connection_t *c = X11Connection::qt();
    QWindow *focused = QGuiApplication::focusWindow();
    if (!c || !focused || !m_previous || !isViewable(c, m_previous))
        return;
    if (activeWindow()) {
        // A window manager runs: ask it, as a pager would, so it keeps its own idea of the
        // active window right.
        xcb_client_message_event_t message {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = m_previous;
        message.type = m_activeAtom;
        message.data.data32[0] = 2;
        message.data.data32[1] = XCB_CURRENT_TIME;
        message.data.data32[2] = quint32(focused->winId());
        xcb_send_event(c, 0, m_root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&message));
    } else {
        xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, m_previous, XCB_CURRENT_TIME);
    }
    xcb_flush(c);
}

bool X11KeyboardFocus::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || !message || !m_activeAtom)
        return false;
    auto *event = static_cast<xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    auto *property = reinterpret_cast<xcb_property_notify_event_t *>(event);
    if (property->window == m_root && property->atom == m_activeAtom)
        note(activeWindow());
    return false;
}
