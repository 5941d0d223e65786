// The portal hot key against a fake desktop portal on a private session bus of the test's own.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include "platform/DesktopBackends.h"
#include "platform/portal/PortalGlobalHotKey.h"

namespace {

const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString sessionPath = QStringLiteral("/org/freedesktop/portal/desktop/session/test/1");

// org.freedesktop.portal.GlobalShortcuts as far as the hot key uses it, with the host registry
// when `offersRegistry`. Every call is recorded by name.
class FakePortal : public QDBusVirtualObject
{
public:
    bool offersRegistry = true;
    uint bindAnswer = 0; // 0 granted, 1 the user said no
    QStringList calls;
    QString registeredId;
    QString boundTrigger;

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.path() != portalPath)
            return false;
        const QString member = message.member();
        calls << member;
        if (message.interface() == QLatin1String("org.freedesktop.host.portal.Registry")) {
            if (!offersRegistry)
                return connection.send(message.createErrorReply(QDBusError::UnknownInterface, "no registry"));
            registeredId = message.arguments().value(0).toString();
            return connection.send(message.createReply());
        }
        QVariantMap options;
        if (member == QLatin1String("CreateSession")) {
            options = qdbus_cast<QVariantMap>(message.arguments().value(0));
        } else if (member == QLatin1String("BindShortcuts")) {
            options = qdbus_cast<QVariantMap>(message.arguments().value(3));
            const QDBusArgument shortcuts = message.arguments().value(1).value<QDBusArgument>();
            shortcuts.beginArray();
            while (!shortcuts.atEnd()) {
                QString id;
                QVariantMap properties;
                shortcuts.beginStructure();
                shortcuts >> id >> properties;
                shortcuts.endStructure();
                boundTrigger = properties.value(QStringLiteral("preferred_trigger")).toString();
            }
            shortcuts.endArray();
        } else {
            return false;
        }
        QString sender = message.service().mid(1).replace(u'.', u'_');
        const QString request = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                    .arg(sender, options.value(QStringLiteral("handle_token")).toString());
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        if (member == QLatin1String("CreateSession"))
            response << 0u << QVariantMap {{QStringLiteral("session_handle"), sessionPath}};
        else
            response << bindAnswer << QVariantMap();
        return connection.send(response);
    }

    static void activate(const QDBusConnection &connection, const QString &session, const QString &shortcut)
    {
        QDBusMessage signal =
            QDBusMessage::createSignal(portalPath, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
                                       QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(session)) << shortcut << qulonglong(1) << QVariantMap();
        connection.send(signal);
    }
};

} // namespace

class TestPortalHotKey : public QObject
{
    Q_OBJECT

    QProcess m_daemon;
    QString m_address;

private Q_SLOTS:
    void initTestCase()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address"});
        if (!m_daemon.waitForStarted(5000))
            QSKIP("no dbus-daemon");
        QTRY_VERIFY(m_daemon.canReadLine());
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
        // The application's own session bus is the private one too.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    }

    void cleanupTestCase()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(5000);
    }

    void bindingAndActivation_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<bool>("offersRegistry");
        QTest::addColumn<uint>("bindAnswer");
        QTest::addColumn<QStringList>("calls");
        const QStringList all {"Register", "CreateSession", "BindShortcuts"};
        QTest::newRow("bound") << true << true << 0u << all;
        QTest::newRow("portal without the registry") << true << false << 0u << all;
        QTest::newRow("the user refuses") << true << true << 1u << all;
        QTest::newRow("no portal") << false << true << 0u << QStringList();
    }

    void bindingAndActivation()
    {
        QFETCH(bool, present);
        QFETCH(bool, offersRegistry);
        QFETCH(uint, bindAnswer);
        QFETCH(QStringList, calls);
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        QDBusConnection portalSide = QDBusConnection::connectToBus(m_address, "portal " + name);
        QDBusConnection appSide = QDBusConnection::connectToBus(m_address, "app " + name);
        QVERIFY(portalSide.isConnected() && appSide.isConnected());
        FakePortal portal;
        portal.offersRegistry = offersRegistry;
        portal.bindAnswer = bindAnswer;
        if (present) {
            QVERIFY(portalSide.registerVirtualObject(portalPath, &portal));
            QVERIFY(portalSide.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));
        }

        {
            PortalGlobalHotKey hotKey(appSide);
            QSignalSpy activated(&hotKey, &GlobalHotKey::activated);
            QSignalSpy failed(&hotKey, &GlobalHotKey::registrationFailed);
            hotKey.registerHotKey();
            const bool granted = present && bindAnswer == 0;
            QTRY_VERIFY(hotKey.isRegistered() || !failed.isEmpty());
            QCOMPARE(hotKey.isRegistered(), granted);
            QCOMPARE(portal.calls.mid(0, 3), calls);
            if (present && offersRegistry)
                QCOMPARE(portal.registeredId, QStringLiteral("io.github.quorvin.Quorvin"));
            if (!granted) {
                QCOMPARE(failed.size(), 1);
                QVERIFY(!failed.first().first().toString().isEmpty());
            } else {
                QCOMPARE(portal.boundTrigger, QStringLiteral("CTRL+space"));
                // Only our session and shortcut toggle.
                FakePortal::activate(portalSide, sessionPath, QStringLiteral("other"));
                FakePortal::activate(portalSide, QStringLiteral("/elsewhere"),
                                     PortalGlobalHotKey::shortcutId());
                FakePortal::activate(portalSide, sessionPath, PortalGlobalHotKey::shortcutId());
                QTRY_COMPARE(activated.size(), 1);
            }
        }
        if (present) {
            portalSide.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
            portalSide.unregisterObject(portalPath);
        }
        QDBusConnection::disconnectFromBus("portal " + name);
        QDBusConnection::disconnectFromBus("app " + name);
    }

    void waylandWithoutPortalSaysSo()
    {
        // The session bus has no portal, and this test has no X display to fall back to.
        std::unique_ptr<GlobalHotKey> hotKey =
            createGlobalHotKey({DesktopSessionKind::wayland, false, {}, {}});
        QVERIFY(hotKey);
        QSignalSpy failed(hotKey.get(), &GlobalHotKey::registrationFailed);
        hotKey->registerHotKey();
        QTRY_COMPARE(failed.size(), 1);
        QVERIFY(failed.first().first().toString().contains(QStringLiteral("portal")));
        QVERIFY(!hotKey->isRegistered());
    }
};

QTEST_MAIN(TestPortalHotKey)
#include "tst_portal_hot_key.moc"
