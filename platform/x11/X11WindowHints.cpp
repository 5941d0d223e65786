#include "platform/x11/X11WindowHints.h"
#include "platform/x11/X11Connection.h"

#include <QGuiApplication>
#include <QList>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

QList<xcb_atom_t> readAtoms(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property)
{
    QList<xcb_atom_t> atoms;
    auto *reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (!reply)
        return atoms;
    if (reply->type == XCB_ATOM_ATOM && reply->format == 32) {
        const auto *data = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
        atoms = QList<xcb_atom_t>(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return atoms;
}

bool isMapped(xcb_connection_t *c, xcb_window_t window)
{
    auto *reply = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    if (!reply)
        return false;
    const bool mapped = reply->map_state != XCB_MAP_STATE_UNMAPPED;
    std::free(reply);
    return mapped;
}

void sendToWindowManager(xcb_connection_t *c, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
                         std::initializer_list<quint32> data)
{
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    int i = 0;
    for (quint32 value : data)
        event.data.data32[i++] = value;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
}

} // namespace

namespace X11WindowHints {

bool isAvailable()
{
    return X11Connection::qt() != nullptr;
}

void applyPanelHints(QWindow *window)
{
    xcb_connection_t *c = X11Connection::qt();
    if (!c || !window)
        return;
    const auto id = xcb_window_t(window->winId());
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_atom_t netWmState = X11Connection::atom(c, "_NET_WM_STATE");
    const xcb_atom_t netWmDesktop = X11Connection::atom(c, "_NET_WM_DESKTOP");
    const QList<xcb_atom_t> wanted = {X11Connection::atom(c, "_NET_WM_STATE_STICKY"),
                                      X11Connection::atom(c, "_NET_WM_STATE_SKIP_TASKBAR"),
                                      X11Connection::atom(c, "_NET_WM_STATE_SKIP_PAGER")};
    if (!screen || netWmState == XCB_ATOM_NONE || wanted.contains(XCB_ATOM_NONE))
        return;
    const quint32 allDesktops = 0xFFFFFFFF;

    QList<xcb_atom_t> atoms = readAtoms(c, id, netWmState);
    for (xcb_atom_t atom : wanted) {
        if (!atoms.contains(atom))
            atoms.append(atom);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, netWmState, XCB_ATOM_ATOM, 32, quint32(atoms.size()),
                        atoms.constData());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, netWmDesktop, XCB_ATOM_CARDINAL, 32, 1, &allDesktops);

    if (isMapped(c, id)) {
        constexpr quint32 add = 1;
        constexpr quint32 sourceApplication = 1;
        sendToWindowManager(c, screen->root, id, netWmState, {add, wanted.at(0), 0, sourceApplication});
        sendToWindowManager(c, screen->root, id, netWmState,
                            {add, wanted.at(1), wanted.at(2), sourceApplication});
        sendToWindowManager(c, screen->root, id, netWmDesktop, {allDesktops, sourceApplication});
    }
    xcb_flush(c);
}

} // namespace X11WindowHints
