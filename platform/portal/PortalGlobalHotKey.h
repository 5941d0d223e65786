#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QVariantMap>

#include "platform/GlobalHotKey.h"

// Control+Space through the desktop portal's GlobalShortcuts interface, for Wayland sessions
// where an X grab only sees keys while an X window has focus. The desktop may show the user a
// dialog to confirm or change the trigger; until then, or when refused, nothing fires.
class PortalGlobalHotKey : public GlobalHotKey
{
    Q_OBJECT

public:
    explicit PortalGlobalHotKey(QObject *parent = nullptr);
    explicit PortalGlobalHotKey(const QDBusConnection &bus, QObject *parent = nullptr);
    ~PortalGlobalHotKey() override;

    void registerHotKey() override;
    void unregisterHotKey() override;
    bool isRegistered() const override { return m_bound; }

    // The shortcut id used with the portal.
    static QString shortcutId();
    // Who we are to the portal: the desktop entry's name.
    static QString applicationId();

private Q_SLOTS:
    void onCreateSessionResponse(uint response, const QVariantMap &results);
    void onBindResponse(uint response, const QVariantMap &results);
    void onActivated(const QDBusObjectPath &session, const QString &shortcut, qulonglong timestamp,
                     const QVariantMap &options);

private:
    void createSession();
    QString requestPath(const QString &token) const;
    bool watchResponse(const QString &path, const char *slot);
    void fail(const QString &reason);

    QDBusConnection m_bus;
    QString m_sessionHandle;
    QString m_pendingRequest;
    bool m_bound = false;
    bool m_active = false;
};
