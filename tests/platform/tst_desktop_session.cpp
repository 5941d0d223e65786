#include <QTest>

#include <map>

#include "platform/DesktopSession.h"
#include "platform/x11/X11GlobalHotKey.h"

Q_DECLARE_METATYPE(DesktopSessionKind)

class TestDesktopSession : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void detection_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("wayland");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("qpa");
        QTest::addColumn<DesktopSessionKind>("kind");
        QTest::addColumn<QString>("forced");
        QTest::addColumn<bool>("refused"); // the app stops with a message instead of starting

        using K = DesktopSessionKind;
        // Session type, Wayland socket, X display, QPA platform; the kind found, the platform forced.
        const auto row = [](const char *tag, const char *type, const char *wayland, const char *display,
                            const char *qpa, K kind, const char *forced, bool refused = false) {
            QTest::newRow(tag) << QString(type) << QString(wayland) << QString(display) << QString(qpa)
                               << kind << QString(forced) << refused;
        };
        row("x11", "x11", "", ":0", "", K::x11, "");
        row("wayland with XWayland", "wayland", "wayland-0", ":0", "", K::wayland, "xcb");
        row("wayland, qt asked for wayland", "wayland", "wayland-0", ":1", "wayland;xcb", K::wayland, "xcb");
        row("wayland, explicit offscreen", "wayland", "wayland-0", ":1", "offscreen", K::wayland, "");
        row("wayland without XWayland", "wayland", "wayland-0", "", "", K::wayland, "", true);
        row("type says x11 despite a wayland socket", "x11", "wayland-0", ":0", "", K::x11, "");
        row("type unset, wayland socket", "", "wayland-1", ":0", "", K::wayland, "xcb");
        row("tty type, X display", "tty", "", ":0", "", K::x11, "");
        row("upper case", "Wayland", "", ":0", "", K::wayland, "xcb");
        row("nothing", "", "", "", "", K::none, "", true);
        row("blank values", "  ", " ", " ", "", K::none, "", true);
        row("nothing, offscreen asked for", "", "", "", "offscreen", K::none, "");
    }

    void detection()
    {
        QFETCH(QString, type);
        QFETCH(QString, wayland);
        QFETCH(QString, display);
        QFETCH(QString, qpa);
        QFETCH(DesktopSessionKind, kind);
        QFETCH(QString, forced);
        QFETCH(bool, refused);
        const std::map<QByteArray, QByteArray> env {{"XDG_SESSION_TYPE", type.toUtf8()},
                                                    {"WAYLAND_DISPLAY", wayland.toUtf8()},
                                                    {"DISPLAY", display.toUtf8()},
                                                    {"QT_QPA_PLATFORM", qpa.toUtf8()}};
        const DesktopSession session = detectDesktopSession([&](const char *name) {
            const auto it = env.find(name);
            return it == env.end() ? QByteArray() : it->second;
        });
        QCOMPARE(session.kind, kind);
        QCOMPARE(QString::fromLatin1(session.forcedQpaPlatform), forced);
        QCOMPARE(session.hasXDisplay, !display.trimmed().isEmpty());
        QCOMPARE(!session.problem.isEmpty(), refused);
    }

    void grabbedModifierStates()
    {
        const quint16 control = 1 << 2;
        const quint16 caps = 1 << 1;
        const quint16 num = 1 << 4;
        const quint16 scroll = 1 << 7;
        // Every lock combination, so Control+Space works with Num Lock (and the others) on.
        QCOMPARE(X11GlobalHotKey::grabModifierStates(control, {caps, num, scroll}),
                 (QList<quint16> {control, control | caps, control | num, control | caps | num,
                                  control | scroll, control | caps | scroll, control | num | scroll,
                                  control | caps | num | scroll}));
        // No Scroll Lock on this keyboard; Num Lock bound to the same bit twice.
        QCOMPARE(X11GlobalHotKey::grabModifierStates(control, {caps, num, 0, num}),
                 (QList<quint16> {control, control | caps, control | num, control | caps | num}));
    }
};

QTEST_APPLESS_MAIN(TestDesktopSession)
#include "tst_desktop_session.moc"
