#include "platform/x11/X11GlobalHotKey.h"
#include "platform/x11/X11Connection.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr quint32 keysymSpace = 0x0020;
constexpr quint32 keysymNumLock = 0xff7f;
constexpr quint32 keysymScrollLock = 0xff14;

struct KeyboardMap
{
    quint8 minKeycode = 0;
    int keysymsPerKeycode = 0;
    QList<quint32> keysyms;

    bool keycodeHas(quint8 keycode, quint32 keysym) const
    {
        if (keycode < minKeycode || keysymsPerKeycode <= 0)
            return false;
        const qsizetype first = qsizetype(keycode - minKeycode) * keysymsPerKeycode;
        for (int i = 0; i < keysymsPerKeycode && first + i < keysyms.size(); ++i) {
            if (keysyms.at(first + i) == keysym)
                return true;
        }
        return false;
    }

    quint8 keycodeFor(quint32 keysym) const
    {
        if (keysymsPerKeycode <= 0)
            return 0;
        for (qsizetype i = 0; i < keysyms.size(); ++i) {
            if (keysyms.at(i) == keysym)
                return quint8(minKeycode + i / keysymsPerKeycode);
        }
        return 0;
    }
};

KeyboardMap readKeyboardMap(xcb_connection_t *c)
{
    KeyboardMap map;
    const xcb_setup_t *setup = xcb_get_setup(c);
    map.minKeycode = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto *reply = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, quint8(count)), nullptr);
    if (!reply)
        return map;
    map.keysymsPerKeycode = reply->keysyms_per_keycode;
    const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(reply);
    const int length = xcb_get_keyboard_mapping_keysyms_length(reply);
    map.keysyms = QList<quint32>(syms, syms + length);
    std::free(reply);
    return map;
}

// The modifier bit (Mod1..Mod5 etc.) that a lock key with `keysym` is bound to, or 0.
quint16 modifierMaskFor(xcb_connection_t *c, const KeyboardMap &map, quint32 keysym)
{
    auto *reply = xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
    if (!reply)
        return 0;
    quint16 mask = 0;
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8 && !mask; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[modifier * perModifier + i];
            if (code && map.keycodeHas(code, keysym)) {
                mask = quint16(1u << modifier);
                break;
            }
        }
    }
    std::free(reply);
    return mask;
}

} // namespace

X11GlobalHotKey::X11GlobalHotKey(QObject *parent) : GlobalHotKey(parent) { }

X11GlobalHotKey::~X11GlobalHotKey()
{
    unregisterHotKey();
}

QList<quint16> X11GlobalHotKey::grabModifierStates(quint16 control, QList<quint16> lockMasks)
{
    lockMasks.removeAll(0);
    QList<quint16> states;
    const int subsets = 1 << lockMasks.size();
    for (int subset = 0; subset < subsets; ++subset) {
        quint16 state = control;
        for (int bit = 0; bit < lockMasks.size(); ++bit) {
            if (subset & (1 << bit))
                state |= lockMasks.at(bit);
        }
        states.append(state);
    }
    std::sort(states.begin(), states.end());
    states.erase(std::unique(states.begin(), states.end()), states.end());
    return states;
}

void X11GlobalHotKey::registerHotKey()
{
    if (isRegistered())
        return;
    m_connection = X11Connection::qt();
    if (!m_connection) {
        Q_EMIT registrationFailed(QStringLiteral("there is no X display to register Control+Space with"));
        return;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
    const KeyboardMap map = readKeyboardMap(m_connection);
    m_keycode = map.keycodeFor(keysymSpace);
    if (!screen || !m_keycode) {
        Q_EMIT registrationFailed(QStringLiteral("the keyboard has no Space key"));
        return;
    }
    m_root = screen->root;
    const quint16 numLock = modifierMaskFor(m_connection, map, keysymNumLock);
    const quint16 scrollLock = modifierMaskFor(m_connection, map, keysymScrollLock);
    m_lockMask = quint16(XCB_MOD_MASK_LOCK | numLock | scrollLock);

    const QList<quint16> states =
        grabModifierStates(XCB_MOD_MASK_CONTROL, {quint16(XCB_MOD_MASK_LOCK), numLock, scrollLock});
    QList<xcb_void_cookie_t> cookies;
    for (quint16 state : states) {
        cookies.append(xcb_grab_key_checked(m_connection, 1, m_root, state, m_keycode, XCB_GRAB_MODE_ASYNC,
                                            XCB_GRAB_MODE_ASYNC));
    }
    // One round trip for all of them; a grab another client holds fails with BadAccess.
    bool plainGrabbed = false;
    for (qsizetype i = 0; i < cookies.size(); ++i) {
        if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookies.at(i))) {
            std::free(error);
            continue;
        }
        m_grabbedModifiers.append(states.at(i));
        if (states.at(i) == XCB_MOD_MASK_CONTROL)
            plainGrabbed = true;
    }
    if (!plainGrabbed) {
        unregisterHotKey();
        Q_EMIT registrationFailed(QStringLiteral("Control+Space is already taken by another program (input "
                                                 "methods such as IBus and Fcitx take it by default)"));
        return;
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
}

void X11GlobalHotKey::unregisterHotKey()
{
    if (m_grabbedModifiers.isEmpty())
        return;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    // The connection is gone once the platform integration is torn down.
    if (m_connection && X11Connection::qt() == m_connection) {
        for (quint16 state : std::as_const(m_grabbedModifiers))
            xcb_ungrab_key(m_connection, m_keycode, m_root, state);
        xcb_flush(m_connection);
    }
    m_grabbedModifiers.clear();
    m_keyDown = false;
}

bool X11GlobalHotKey::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || !message)
        return false;
    auto *event = static_cast<xcb_generic_event_t *>(message);
    const quint8 type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    auto *key = reinterpret_cast<xcb_key_press_event_t *>(event);
    if (key->detail != m_keycode)
        return false;
    // The grab reports to our own window instead of the root while that window has the keyboard,
    // so the key is recognised on any window of ours.
    if (type == XCB_KEY_RELEASE) {
        m_keyDown = false;
        return key->event == m_root;
    }
    const quint16 modifiers = key->state & ~m_lockMask & 0xff;
    if (modifiers != XCB_MOD_MASK_CONTROL)
        return false;
    // Holding the keys auto-repeats presses without releases; one toggle per physical press.
    if (m_keyDown)
        return true;
    m_keyDown = true;
    Q_EMIT activated();
    return true;
}
