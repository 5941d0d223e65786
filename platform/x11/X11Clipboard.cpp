#include "platform/x11/X11Clipboard.h"

#include <QDeadlineTimer>
#include <QGuiApplication>

#include <cstdlib>
#include <memory>
#include <poll.h>
#include <xcb/xcb.h>

namespace X11Clipboard {

namespace {

template<typename T>
using Owned = std::unique_ptr<T, decltype(&std::free)>;

class Session
{
public:
    Session()
    {
        // Only where Qt itself talks to X; elsewhere (offscreen, Wayland) Qt's clipboard is safe.
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            return;
        int screenNumber = 0;
        m_connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(m_connection))
            return;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < screenNumber && screens.rem; ++i)
            xcb_screen_next(&screens);
        if (!screens.rem)
            return;
        m_window = xcb_generate_id(m_connection);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screens.data->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
        m_ready = true;
    }
    ~Session()
    {
        if (m_connection)
            xcb_disconnect(m_connection);
    }

    bool ready() const { return m_ready; }

    xcb_atom_t atom(const QByteArray &name)
    {
        Owned<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(
                m_connection, xcb_intern_atom(m_connection, 0, uint16_t(name.size()), name.data()), nullptr),
            &std::free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    QByteArray atomName(xcb_atom_t atom)
    {
        Owned<xcb_get_atom_name_reply_t> reply(
            xcb_get_atom_name_reply(m_connection, xcb_get_atom_name(m_connection, atom), nullptr),
            &std::free);
        return reply
            ? QByteArray(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()))
            : QByteArray();
    }

    bool hasOwner(xcb_atom_t selection)
    {
        Owned<xcb_get_selection_owner_reply_t> reply(
            xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, selection),
                                          nullptr),
            &std::free);
        return reply && reply->owner != XCB_NONE;
    }

    // The next event of `type` for our window, or null when the deadline passes.
    Owned<xcb_generic_event_t> waitFor(uint8_t type, const QDeadlineTimer &deadline)
    {
        xcb_flush(m_connection);
        for (;;) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
                Owned<xcb_generic_event_t> owned(event, &std::free);
                if ((event->response_type & 0x7f) == type)
                    return owned;
            }
            if (xcb_connection_has_error(m_connection) || deadline.hasExpired())
                return {nullptr, &std::free};
            struct pollfd entry = {xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&entry, 1, int(qMax<qint64>(1, deadline.remainingTime())));
        }
    }

    // Asks for `target` and reads the answer into `reply`: atoms for TARGETS, bytes otherwise.
    void request(const QByteArray &target, const QDeadlineTimer &deadline, qsizetype maxBytes, Reply &reply)
    {
        const xcb_atom_t clipboard = atom("CLIPBOARD");
        if (!hasOwner(clipboard)) {
            reply.status = Status::empty;
            return;
        }
        const xcb_atom_t property = atom("QUORVIN_CLIPBOARD");
        const xcb_atom_t incr = atom("INCR");
        xcb_convert_selection(m_connection, m_window, clipboard, atom(target), property, XCB_CURRENT_TIME);
        Owned<xcb_generic_event_t> event = waitFor(XCB_SELECTION_NOTIFY, deadline);
        if (!event) {
            reply.status = Status::noAnswer;
            return;
        }
        if (reinterpret_cast<xcb_selection_notify_event_t *>(event.get())->property == XCB_ATOM_NONE) {
            reply.status = Status::empty;
            return;
        }
        bool incremental = false;
        for (;;) {
            Owned<xcb_get_property_reply_t> chunk(
                xcb_get_property_reply(m_connection,
                                       xcb_get_property(m_connection, 1, m_window, property,
                                                        XCB_GET_PROPERTY_TYPE_ANY, 0,
                                                        uint32_t(maxBytes / 4 + 1)),
                                       nullptr),
                &std::free);
            if (!chunk) {
                reply.status = Status::noAnswer;
                return;
            }
            const int length = xcb_get_property_value_length(chunk.get());
            if (!incremental && chunk->type == incr) {
                incremental = true; // deleting the property asked for the first piece
            } else if (chunk->bytes_after > 0 || reply.data.size() + length > maxBytes) {
                reply.status = Status::tooLarge;
                return;
            } else if (chunk->type == XCB_ATOM_ATOM && !incremental) {
                const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(chunk.get()));
                for (int i = 0; i < length / 4 && i < 512; ++i)
                    reply.targets.append(QString::fromLatin1(atomName(atoms[i])));
            } else {
                reply.data.append(static_cast<const char *>(xcb_get_property_value(chunk.get())), length);
            }
            if (!incremental || (length == 0 && chunk->type != incr)) {
                reply.status = Status::answered;
                return;
            }
            // The next piece is announced by a new value of the property.
            for (;;) {
                Owned<xcb_generic_event_t> change = waitFor(XCB_PROPERTY_NOTIFY, deadline);
                if (!change) {
                    reply.status = Status::noAnswer;
                    return;
                }
                const auto *notify = reinterpret_cast<xcb_property_notify_event_t *>(change.get());
                if (notify->atom == property && notify->state == XCB_PROPERTY_NEW_VALUE)
                    break;
            }
        }
    }

private:
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_window = 0;
    bool m_ready = false;
};

} // namespace

Reply targets(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    Reply reply;
    Session session;
    if (session.ready())
        session.request("TARGETS", deadline, 64 * 1024, reply);
    return reply;
}

Reply read(const QString &target, int timeoutMs, qsizetype maxBytes)
{
    const QDeadlineTimer deadline(timeoutMs);
    Reply reply;
    Session session;
    if (session.ready())
        session.request(target.toLatin1(), deadline, maxBytes, reply);
    return reply;
}

QStringList mimeFormats(const QStringList &targets)
{
    QStringList formats;
    for (const QString &target : targets) {
        if (target == QLatin1String("UTF8_STRING"))
            formats << QStringLiteral("text/plain;charset=utf-8");
        else if (target == QLatin1String("STRING"))
            formats << QStringLiteral("text/plain;charset=ISO-8859-1");
        else if (target.contains(u'/') || target == QLatin1String("_NETSCAPE_URL"))
            formats << target;
    }
    formats.removeDuplicates();
    return formats;
}

QString targetFor(const QString &mimeFormat, const QStringList &targets)
{
    if (targets.contains(mimeFormat))
        return mimeFormat;
    if (mimeFormat == QLatin1String("text/plain;charset=utf-8")
        && targets.contains(QLatin1String("UTF8_STRING")))
        return QStringLiteral("UTF8_STRING");
    if (mimeFormat == QLatin1String("text/plain;charset=ISO-8859-1")
        && targets.contains(QLatin1String("STRING")))
        return QStringLiteral("STRING");
    return {};
}

} // namespace X11Clipboard
