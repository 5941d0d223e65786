#include "platform/portal/PortalGlobalHotKey.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

QString newToken()
{
    return QStringLiteral("quorvin%1").arg(QRandomGenerator::global()->generate());
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

PortalGlobalHotKey::PortalGlobalHotKey(QObject *parent)
    : PortalGlobalHotKey(QDBusConnection::sessionBus(), parent)
{ }

PortalGlobalHotKey::PortalGlobalHotKey(const QDBusConnection &bus, QObject *parent)
    : GlobalHotKey(parent), m_bus(bus)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

PortalGlobalHotKey::~PortalGlobalHotKey()
{
    unregisterHotKey();
}

QString PortalGlobalHotKey::shortcutId()
{
    return QStringLiteral("toggle-panel");
}

QString PortalGlobalHotKey::requestPath(const QString &token) const
{
    QString sender = m_bus.baseService();
    sender.remove(0, sender.startsWith(u':') ? 1 : 0);
    sender.replace(u'.', u'_');
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

bool PortalGlobalHotKey::watchResponse(const QString &path, const char *slot)
{
    if (!m_pendingRequest.isEmpty())
        m_bus.disconnect(portalService, m_pendingRequest, requestInterface, QStringLiteral("Response"), this,
                         nullptr);
    m_pendingRequest = path;
    return m_bus.connect(portalService, path, requestInterface, QStringLiteral("Response"), this, slot);
}

void PortalGlobalHotKey::registerHotKey()
{
    if (m_active)
        return;
    if (!m_bus.isConnected()) {
        fail(QStringLiteral("there is no session bus to reach the desktop portal"));
        return;
    }
    m_active = true;
    // A program outside a sandbox tells the portal who it is first; portals that predate the
    // registry answer with an error, and the session is asked for all the same.
    QDBusMessage registration = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.host.portal.Registry"),
        QStringLiteral("Register"));
    registration << applicationId() << QVariantMap();
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(registration), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        if (m_active)
            createSession();
    });
}

QString PortalGlobalHotKey::applicationId()
{
    return QStringLiteral(QUORVIN_APP_ID);
}

void PortalGlobalHotKey::createSession()
{
    // Subscribe before calling so a fast Response cannot be missed.
    const QString token = newToken();
    watchResponse(requestPath(token), SLOT(onCreateSessionResponse(uint, QVariantMap)));

    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface,
                                                       QStringLiteral("CreateSession"));
    call << QVariantMap {{QStringLiteral("handle_token"), token},
                         {QStringLiteral("session_handle_token"), newToken()}};
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        if (w->isError())
            fail(QStringLiteral("the desktop offers no global shortcuts portal"));
    });
}

void PortalGlobalHotKey::onCreateSessionResponse(uint response, const QVariantMap &results)
{
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    m_sessionHandle =
        handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path() : handle.toString();
    if (response != 0 || m_sessionHandle.isEmpty()) {
        fail(QStringLiteral("the desktop portal would not open a shortcuts session"));
        return;
    }
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                  SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));

    const QString token = newToken();
    watchResponse(requestPath(token), SLOT(onBindResponse(uint, QVariantMap)));
    const QList<PortalShortcut> shortcuts = {
        {shortcutId(),
         {{QStringLiteral("description"), QStringLiteral("Show or hide Quorvin")},
          {QStringLiteral("preferred_trigger"), QStringLiteral("CTRL+space")}}}};
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface,
                                                       QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_sessionHandle)) << QVariant::fromValue(shortcuts)
         << QString() << QVariantMap {{QStringLiteral("handle_token"), token}};
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        if (w->isError())
            fail(QStringLiteral("the desktop portal could not bind Control+Space"));
    });
}

void PortalGlobalHotKey::onBindResponse(uint response, const QVariantMap &)
{
    if (response != 0) {
        fail(QStringLiteral("Control+Space was not allowed as a global shortcut"));
        return;
    }
    m_bound = true;
}

void PortalGlobalHotKey::onActivated(const QDBusObjectPath &session, const QString &shortcut, qulonglong,
                                     const QVariantMap &)
{
    if (session.path() == m_sessionHandle && shortcut == shortcutId())
        Q_EMIT activated();
}

void PortalGlobalHotKey::fail(const QString &reason)
{
    unregisterHotKey();
    Q_EMIT registrationFailed(reason);
}

void PortalGlobalHotKey::unregisterHotKey()
{
    if (!m_pendingRequest.isEmpty()) {
        m_bus.disconnect(portalService, m_pendingRequest, requestInterface, QStringLiteral("Response"), this,
                         nullptr);
        m_pendingRequest.clear();
    }
    if (!m_sessionHandle.isEmpty()) {
        m_bus.disconnect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                         SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        m_bus.asyncCall(QDBusMessage::createMethodCall(portalService, m_sessionHandle,
                                                       QStringLiteral("org.freedesktop.portal.Session"),
                                                       QStringLiteral("Close")));
        m_sessionHandle.clear();
    }
    m_bound = false;
    m_active = false;
}
