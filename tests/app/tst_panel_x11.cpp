// Drives the real application on an X server: its window properties and the Control+Space grab.
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

namespace {

int lastXError = 0;

int recordError(Display *, XErrorEvent *event)
{
    lastXError = event->error_code;
    return 0;
}

} // namespace

class TestPanelX11 : public QObject
{
    Q_OBJECT

private:
    Display *m_display = nullptr;
    QTemporaryDir m_home;
    QProcess m_app;

    Atom atom(const char *name) { return XInternAtom(m_display, name, False); }
    Atom atom(const QByteArray &name) { return atom(name.constData()); }

    QList<unsigned long> property(Window window, const char *name, Atom type)
    {
        QList<unsigned long> values;
        Atom actualType = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char *data = nullptr;
        if (XGetWindowProperty(m_display, window, atom(name), 0, 1024, False, type, &actualType, &format,
                               &count, &after, &data)
                == Success
            && data) {
            if (format == 32) {
                const auto *longs = reinterpret_cast<const unsigned long *>(data);
                values = QList<unsigned long>(longs, longs + count);
            }
            XFree(data);
        }
        return values;
    }

    // The panel: a top-level window of our process sized like the horizontal panel.
    Window findPanel(qint64 pid)
    {
        Window root = DefaultRootWindow(m_display);
        Window parent = 0;
        Window *children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        if (!XQueryTree(m_display, root, &root, &parent, &children, &count))
            return 0;
        for (unsigned int i = 0; i < count && !found; ++i) {
            const QList<unsigned long> windowPid = property(children[i], "_NET_WM_PID", XA_CARDINAL);
            XWindowAttributes attributes;
            if (windowPid.value(0) == static_cast<unsigned long>(pid)
                && XGetWindowAttributes(m_display, children[i], &attributes) && attributes.width == 1064
                && attributes.height == 212)
                found = children[i];
        }
        if (children)
            XFree(children);
        return found;
    }

    bool isViewable(Window window)
    {
        XWindowAttributes attributes;
        return XGetWindowAttributes(m_display, window, &attributes) && attributes.map_state == IsViewable;
    }

    void tap(KeySym modifier, KeySym key)
    {
        const KeyCode modifierCode = modifier ? XKeysymToKeycode(m_display, modifier) : 0;
        const KeyCode keyCode = XKeysymToKeycode(m_display, key);
        if (modifierCode)
            XTestFakeKeyEvent(m_display, modifierCode, True, CurrentTime);
        XTestFakeKeyEvent(m_display, keyCode, True, CurrentTime);
        XTestFakeKeyEvent(m_display, keyCode, False, CurrentTime);
        if (modifierCode)
            XTestFakeKeyEvent(m_display, modifierCode, False, CurrentTime);
        XSync(m_display, False);
    }

    QProcessEnvironment appEnvironment(const QString &home = {})
    {
        const QDir dir(home.isEmpty() ? m_home.path() : home);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("x11"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("HOME"), dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        return env;
    }

    bool waitViewable(Window window, bool viewable, int timeoutMs = 3000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (isViewable(window) == viewable)
                return true;
            QTest::qWait(20);
        }
        return false;
    }

    unsigned int lockedModifiers()
    {
        Window root = 0, child = 0;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        XQueryPointer(m_display, DefaultRootWindow(m_display), &root, &child, &rx, &ry, &wx, &wy, &mask);
        return mask;
    }

    bool hotKeyIsFree()
    {
        lastXError = 0;
        XErrorHandler previous = XSetErrorHandler(recordError);
        const KeyCode space = XKeysymToKeycode(m_display, XK_space);
        Window root = DefaultRootWindow(m_display);
        XGrabKey(m_display, space, ControlMask, root, True, GrabModeAsync, GrabModeAsync);
        XSync(m_display, False);
        const bool free = lastXError == 0;
        XUngrabKey(m_display, space, ControlMask, root);
        XSync(m_display, False);
        XSetErrorHandler(previous);
        return free;
    }

    // Whether the window's bounding shape covers `point` (window coordinates).
    bool shapeCovers(Window window, QPoint point)
    {
        int count = 0, ordering = 0;
        XRectangle *rects = XShapeGetRectangles(m_display, window, ShapeBounding, &count, &ordering);
        bool covered = false;
        for (int i = 0; i < count && !covered; ++i)
            covered = QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height).contains(point);
        if (rects)
            XFree(rects);
        return covered;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            QSKIP("no X display");
        int event = 0, error = 0, major = 0, minor = 0;
        QVERIFY(XTestQueryExtension(m_display, &event, &error, &major, &minor));
        QVERIFY(m_home.isValid());
        QVERIFY(QFile::setPermissions(m_home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void cleanupTestCase()
    {
        if (m_app.state() != QProcess::NotRunning) {
            m_app.kill();
            m_app.waitForFinished();
        }
        if (m_display)
            XCloseDisplay(m_display);
    }

    void panelOnScreenWithHints()
    {
        m_app.setProcessEnvironment(appEnvironment());
        m_app.setProcessChannelMode(QProcess::ForwardedChannels);
        m_app.start(QStringLiteral(QUORVIN_BINARY), {});
        QVERIFY(m_app.waitForStarted());
        Window panel = 0;
        QTRY_VERIFY_WITH_TIMEOUT((panel = findPanel(m_app.processId())) != 0, 15000);
        QVERIFY(waitViewable(panel, true, 10000));

        const QList<unsigned long> state = property(panel, "_NET_WM_STATE", XA_ATOM);
        for (const char *name : {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR",
                                 "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE_ABOVE"})
            QVERIFY2(state.contains(atom(name)), name);
        // Xlib hands 32-bit items over as (sign-extended) longs.
        const QList<unsigned long> desktop = property(panel, "_NET_WM_DESKTOP", XA_CARDINAL);
        QCOMPARE(desktop.size(), 1);
        QCOMPARE(quint32(desktop.at(0)), 0xFFFFFFFFu);
        // It may take the keyboard (a click gives it), but showing it does not.
        XWMHints *hints = XGetWMHints(m_display, panel);
        QVERIFY(hints && (hints->flags & InputHint) && hints->input);
        XFree(hints);
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(m_display, &focus, &revert);
        QVERIFY(focus != panel);
        // Default placement on the 1920x1080 test screen: centred, 42 above the bottom.
        XWindowAttributes attributes;
        QVERIFY(XGetWindowAttributes(m_display, panel, &attributes));
        QCOMPARE(attributes.x + attributes.width / 2, DisplayWidth(m_display, DefaultScreen(m_display)) / 2);
        QCOMPARE(attributes.y + attributes.height + 42, DisplayHeight(m_display, DefaultScreen(m_display)));
    }

    void roundedShapeOnlyWithoutCompositor()
    {
        const Window panel = findPanel(m_app.processId());
        QVERIFY(panel);
        // No compositor on the test display: the corners outside the card are cut away.
        QTRY_VERIFY(!shapeCovers(panel, QPoint(14, 14)));
        QVERIFY(shapeCovers(panel, QPoint(532, 106)) && shapeCovers(panel, QPoint(40, 20)));
        // A compositor appears (someone owns the selection) and goes: the shape follows.
        const Window owner =
            XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 1, 1, 0, 0, 0);
        const Atom selection =
            atom(QByteArray("_NET_WM_CM_S" + QByteArray::number(DefaultScreen(m_display))));
        XSetSelectionOwner(m_display, selection, owner, CurrentTime);
        XSync(m_display, False);
        QTRY_VERIFY_WITH_TIMEOUT(shapeCovers(panel, QPoint(2, 2)), 8000);
        XDestroyWindow(m_display, owner);
        XSync(m_display, False);
        QTRY_VERIFY_WITH_TIMEOUT(!shapeCovers(panel, QPoint(14, 14)), 8000);
    }

    void controlSpaceToggles()
    {
        const Window panel = findPanel(m_app.processId());
        QVERIFY(panel);
        QVERIFY(!hotKeyIsFree());
        tap(XK_Control_L, XK_space);
        QVERIFY(waitViewable(panel, false));
        QTest::qWait(300); // past the debounce
        tap(XK_Control_L, XK_space);
        QVERIFY(waitViewable(panel, true));
        // Shown again with the same hints (window managers drop them on withdraw).
        QVERIFY(property(panel, "_NET_WM_STATE", XA_ATOM).contains(atom("_NET_WM_STATE_STICKY")));
        // A window manager's close request is refused: the panel is only ever hidden.
        XEvent close {};
        close.xclient.type = ClientMessage;
        close.xclient.window = panel;
        close.xclient.message_type = atom("WM_PROTOCOLS");
        close.xclient.format = 32;
        close.xclient.data.l[0] = long(atom("WM_DELETE_WINDOW"));
        close.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, panel, False, NoEventMask, &close);
        XSync(m_display, False);
        QTest::qWait(300);
        QVERIFY(isViewable(panel));
        // Space alone is not the hot key.
        QTest::qWait(300);
        tap(0, XK_space);
        QTest::qWait(300);
        QVERIFY(isViewable(panel));
    }

    void controlSpaceWithNumLock()
    {
        const Window panel = findPanel(m_app.processId());
        QVERIFY(panel);
        tap(0, XK_Num_Lock);
        QVERIFY2(lockedModifiers() & Mod2Mask, "Num Lock did not lock");
        QTest::qWait(300);
        tap(XK_Control_L, XK_space);
        const bool hid = waitViewable(panel, false);
        tap(0, XK_Num_Lock);
        QVERIFY(hid);
        QTest::qWait(300);
        tap(XK_Control_L, XK_space);
        QVERIFY(waitViewable(panel, true));
    }

    void secondLaunchToggles()
    {
        const Window panel = findPanel(m_app.processId());
        QVERIFY(panel);
        QTest::qWait(300);
        QProcess second;
        second.setProcessEnvironment(appEnvironment());
        second.start(QStringLiteral(QUORVIN_BINARY), {});
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(waitViewable(panel, false));
        QCOMPARE(m_app.state(), QProcess::Running);
    }

    void terminationReleasesTheKey()
    {
        QVERIFY(!hotKeyIsFree());
        ::kill(pid_t(m_app.processId()), SIGTERM);
        QVERIFY(m_app.waitForFinished(10000));
        QCOMPARE(m_app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_app.exitCode(), 0);
        QVERIFY(hotKeyIsFree());
    }

    void keyHeldByAnotherProgram()
    {
        // Someone else owns Control+Space: the app still starts and shows its panel, and says once
        // on stderr (and in the panel) what happened and what to do instead.
        const KeyCode space = XKeysymToKeycode(m_display, XK_space);
        Window root = DefaultRootWindow(m_display);
        XGrabKey(m_display, space, ControlMask, root, True, GrabModeAsync, GrabModeAsync);
        XSync(m_display, False);
        QProcess app;
        app.setProcessEnvironment(appEnvironment());
        app.start(QStringLiteral(QUORVIN_BINARY), {});
        QVERIFY(app.waitForStarted());
        Window panel = 0;
        QTRY_VERIFY_WITH_TIMEOUT((panel = findPanel(app.processId())) != 0, 15000);
        QVERIFY(waitViewable(panel, true, 10000));
        XUngrabKey(m_display, space, ControlMask, root);
        XSync(m_display, False);
        ::kill(pid_t(app.processId()), SIGINT);
        QVERIFY(app.waitForFinished(10000));
        QCOMPARE(app.exitCode(), 0);
        const QStringList lines =
            QString::fromUtf8(app.readAllStandardError()).split(u'\n').filter("quorvin: ");
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains("already taken by another program")
                     && lines.first().contains("\"quorvin\""),
                 qPrintable(lines.first()));
    }

    void simultaneousLaunchesGiveOneInstance()
    {
        QTemporaryDir home;
        std::vector<std::unique_ptr<QProcess>> launches;
        for (int i = 0; i < 10; ++i) {
            launches.push_back(std::make_unique<QProcess>());
            launches.back()->setProcessEnvironment(appEnvironment(home.path()));
            launches.back()->start(QStringLiteral(QUORVIN_BINARY), {});
        }
        const auto running = [&] {
            return std::count_if(launches.begin(), launches.end(),
                                 [](const auto &p) { return p->state() != QProcess::NotRunning; });
        };
        QTRY_COMPARE_WITH_TIMEOUT(running(), 1, 30000);
        QTest::qWait(1000);
        QCOMPARE(running(), 1);
        for (const auto &launch : launches) {
            if (launch->state() == QProcess::NotRunning) {
                QCOMPARE(launch->exitCode(), 0); // handed its toggle over
            } else {
                QTRY_VERIFY_WITH_TIMEOUT(findPanel(launch->processId()) != 0, 15000);
                launch->terminate();
                QVERIFY(launch->waitForFinished(10000));
            }
        }
    }

    void stoppedInstanceMakesLaunchWait()
    {
        QTemporaryDir home;
        QProcess first;
        first.setProcessEnvironment(appEnvironment(home.path()));
        first.start(QStringLiteral(QUORVIN_BINARY), {});
        QTRY_VERIFY_WITH_TIMEOUT(findPanel(first.processId()) != 0, 15000);
        ::kill(pid_t(first.processId()), SIGSTOP);
        QProcess second;
        second.setProcessEnvironment(appEnvironment(home.path()));
        second.start(QStringLiteral(QUORVIN_BINARY), {});
        const bool ended = second.waitForFinished(30000);
        ::kill(pid_t(first.processId()), SIGCONT);
        QVERIFY(ended);
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("did not answer"));
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
        QCOMPARE(first.exitCode(), 0);
    }

    // Quick restarts: start, wait for the panel, SIGTERM; every other round is ended during
    // start-up. Each must end by its own shutdown (exit 0) or, before its handler is in place, by
    // the signal itself: never by an abort, a crash or a sanitizer report. QUORVIN_STORM_ROUNDS
    // sets the count; scripts/storm.sh runs it long under the sanitizer build.
    void restartStorm()
    {
        const int rounds = qEnvironmentVariableIntValue("QUORVIN_STORM_ROUNDS") ?: 6;
        QTemporaryDir home;
        for (int round = 0; round < rounds; ++round) {
            const bool early = round % 2 == 1;
            QProcess app;
            app.setProcessEnvironment(appEnvironment(home.path()));
            app.setProcessChannelMode(QProcess::MergedChannels);
            app.start(QStringLiteral(QUORVIN_BINARY), {});
            QVERIFY(app.waitForStarted());
            if (early)
                QTest::qWait(int(QRandomGenerator::global()->bounded(600)));
            else
                QTRY_VERIFY_WITH_TIMEOUT(findPanel(app.processId()) != 0, 30000);
            ::kill(pid_t(app.processId()), SIGTERM);
            QVERIFY2(app.waitForFinished(30000),
                     qPrintable(QStringLiteral("round %1 did not end").arg(round)));
            const QByteArray output = app.readAll();
            const bool clean = (app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0)
                || (early && app.exitStatus() == QProcess::CrashExit && app.exitCode() == SIGTERM);
            QVERIFY2(clean && !output.contains("Sanitizer") && !output.contains("runtime error"),
                     qPrintable(QStringLiteral("round %1%2: status %3, code %4\n%5")
                                    .arg(round)
                                    .arg(early ? QStringLiteral(" (during start-up)") : QString())
                                    .arg(int(app.exitStatus()))
                                    .arg(app.exitCode())
                                    .arg(QString::fromLocal8Bit(output.right(4000)))));
        }
    }
};

QTEST_GUILESS_MAIN(TestPanelX11)
#include "tst_panel_x11.moc"
