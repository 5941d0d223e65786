#include "Desktop.h"

#include "platform/Settings.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <csignal>

#include <sys/prctl.h>

namespace {

// Windows come and go while we look at them; a BadWindow then just means "not there".
int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

Atom atom(Display *display, const char *name)
{
    return XInternAtom(display, name, False);
}

QByteArray property(Display *display, XWindow window, const char *name, Atom type, int *format = nullptr)
{
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    QByteArray bytes;
    if (XGetWindowProperty(display, window, atom(display, name), 0, 65536, False, type, &actualType,
                           &actualFormat, &count, &after, &data)
            == Success
        && data) {
        // Xlib hands 32-bit items over as longs.
        const qsizetype unit = actualFormat == 32 ? qsizetype(sizeof(long)) : actualFormat / 8;
        bytes = QByteArray(reinterpret_cast<const char *>(data), qsizetype(count) * unit);
        XFree(data);
    }
    if (format)
        *format = actualFormat;
    return bytes;
}

QList<unsigned long> longs(const QByteArray &bytes)
{
    const auto *begin = reinterpret_cast<const unsigned long *>(bytes.constData());
    return QList<unsigned long>(begin, begin + bytes.size() / qsizetype(sizeof(long)));
}

qint64 windowPid(Display *display, XWindow window)
{
    const QList<unsigned long> pid = longs(property(display, window, "_NET_WM_PID", XA_CARDINAL));
    return pid.isEmpty() ? -1 : qint64(pid.first());
}

QString binary(const char *name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

} // namespace

bool waitFor(const std::function<bool()> &condition, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

Desktop::Desktop()
{
    // Under CTest the test's own folders; run by hand, a scratch folder, never the real ones.
    m_home = qEnvironmentVariable("QUORVIN_TEST_HOME");
    if (m_home.isEmpty())
        m_home = m_scratch.path();
    QDir(configHome() + QStringLiteral("/Quorvin")).removeRecursively();
    QDir(dataHome() + QStringLiteral("/Quorvin")).removeRecursively();
    QDir(m_home + QStringLiteral("/files")).removeRecursively();
    for (const char *folder : {"/config", "/data", "/cache", "/runtime", "/files"})
        QDir().mkpath(m_home + QLatin1String(folder));
    QFile::setPermissions(m_home + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

Desktop::~Desktop()
{
    if (m_display)
        XCloseDisplay(m_display);
    for (QProcess *process : {&m_windowManager, &m_xvfb}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(3000)) {
                process->kill();
                process->waitForFinished();
            }
        }
    }
}

void Desktop::prepare(QProcess &process) const
{
    process.setProcessEnvironment(environment());
    // A crashed or timed-out test must not leave a display or an application running.
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

bool Desktop::startProcess(QProcess &process, const QString &program, const QStringList &args)
{
    prepare(process);
    process.setProgram(program);
    process.setArguments(args);
    process.start();
    return process.waitForStarted(5000);
}

QString Desktop::start()
{
    const QString xvfb = binary("Xvfb");
    if (xvfb.isEmpty())
        return QStringLiteral("no X server to be had: Xvfb is not installed (Debian package xvfb)");

    // A display of our own: other tests on a shared display would see our pointer move.
    m_xvfb.setProcessChannelMode(QProcess::SeparateChannels);
    m_xvfb.setStandardErrorFile(QProcess::nullDevice());
    if (!startProcess(m_xvfb, xvfb,
                      {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                       QStringLiteral("0"), QStringLiteral("1920x1080x24"), QStringLiteral("-nolisten"),
                       QStringLiteral("tcp")}))
        return QStringLiteral("no X server to be had: Xvfb did not start");
    if (!waitFor([this] { return m_xvfb.canReadLine() || m_xvfb.state() == QProcess::NotRunning; }, 15000)
        || !m_xvfb.canReadLine())
        return QStringLiteral("no X server to be had: Xvfb did not report a display");
    m_displayName = QLatin1Char(':') + QString::fromLatin1(m_xvfb.readLine().trimmed());
    m_display = XOpenDisplay(m_displayName.toLocal8Bit().constData());
    if (!m_display)
        return QStringLiteral("no X server to be had: cannot open ") + m_displayName;
    XSetErrorHandler(ignoreErrors);
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(m_display, &event, &error, &major, &minor))
        return QStringLiteral("the X server has no XTest extension");

    const QString openbox = binary("openbox");
    if (openbox.isEmpty())
        return QStringLiteral("openbox is not installed (Debian package openbox)");
    m_windowManager.setProcessChannelMode(QProcess::SeparateChannels);
    m_windowManager.setStandardOutputFile(QProcess::nullDevice());
    m_windowManager.setStandardErrorFile(QProcess::nullDevice());
    if (!startProcess(m_windowManager, openbox, {QStringLiteral("--sm-disable")}))
        return QStringLiteral("openbox did not start");
    const XWindow root = DefaultRootWindow(m_display);
    if (!waitFor([&] { return !property(m_display, root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).isEmpty(); },
                 10000))
        return QStringLiteral("openbox did not take over the display");
    moveTo({5, 5});
    return {};
}

QProcessEnvironment Desktop::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_displayName);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("x11"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("HOME"), m_home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
    env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home + QStringLiteral("/runtime"));
    return env;
}

XWindow Desktop::findWindow(qint64 pid, const QString &title) const
{
    const XWindow root = DefaultRootWindow(m_display);
    for (unsigned long window : longs(property(m_display, root, "_NET_CLIENT_LIST", XA_WINDOW))) {
        if (windowPid(m_display, window) != pid)
            continue;
        const QByteArray name = property(m_display, window, "_NET_WM_NAME", atom(m_display, "UTF8_STRING"));
        if (title.isEmpty() || QString::fromUtf8(name) == title)
            return window;
    }
    return 0;
}

QRect Desktop::geometry(XWindow window) const
{
    XWindowAttributes attributes;
    if (!window || !XGetWindowAttributes(m_display, window, &attributes))
        return {};
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), 0, 0, &x, &y, &child);
    return QRect(x, y, attributes.width, attributes.height);
}

bool Desktop::isViewable(XWindow window) const
{
    XWindowAttributes attributes;
    return window && XGetWindowAttributes(m_display, window, &attributes)
        && attributes.map_state == IsViewable;
}

XWindow Desktop::clipboardOwner() const
{
    return XGetSelectionOwner(m_display, atom(m_display, "CLIPBOARD"));
}

XWindow Desktop::inputFocus() const
{
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(m_display, &focus, &revert);
    return focus == PointerRoot ? 0 : focus;
}

void Desktop::moveTo(QPoint to)
{
    XTestFakeMotionEvent(m_display, -1, to.x(), to.y(), CurrentTime);
    XSync(m_display, False);
    m_pointer = to;
}

void Desktop::glideTo(QPoint to, int steps)
{
    const QPoint from = m_pointer;
    for (int i = 1; i <= steps; ++i) {
        moveTo(from + (to - from) * i / steps);
        QTest::qWait(15);
    }
}

void Desktop::press(int button)
{
    XTestFakeButtonEvent(m_display, unsigned(button), True, CurrentTime);
    XSync(m_display, False);
}

void Desktop::release(int button)
{
    XTestFakeButtonEvent(m_display, unsigned(button), False, CurrentTime);
    XSync(m_display, False);
}

void Desktop::click(QPoint at, int button)
{
    moveTo(at);
    QTest::qWait(30);
    press(button);
    release(button);
}

void Desktop::tap(const char *keysym, const char *modifier)
{
    const KeyCode key = XKeysymToKeycode(m_display, XStringToKeysym(keysym));
    const KeyCode mod = modifier ? XKeysymToKeycode(m_display, XStringToKeysym(modifier)) : 0;
    if (mod)
        XTestFakeKeyEvent(m_display, mod, True, CurrentTime);
    XTestFakeKeyEvent(m_display, key, True, CurrentTime);
    XTestFakeKeyEvent(m_display, key, False, CurrentTime);
    if (mod)
        XTestFakeKeyEvent(m_display, mod, False, CurrentTime);
    XSync(m_display, False);
}

void Desktop::type(const QString &text)
{
    for (const QChar c : text) {
        const char keysym[2] = {char(c.toLatin1()), 0};
        tap(keysym);
    }
}

// --- QuorvinProcess

QuorvinProcess::~QuorvinProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

bool QuorvinProcess::start()
{
    m_panel = 0;
    m_desktop.prepare(m_process);
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start(QStringLiteral(QUORVIN_BINARY), {});
    if (!m_process.waitForStarted(5000))
        return false;
    return waitFor(
        [this] {
            m_panel = m_desktop.findWindow(pid(), QStringLiteral("Quorvin"));
            return m_desktop.isViewable(m_panel);
        },
        15000);
}

bool QuorvinProcess::terminate()
{
    if (m_process.state() == QProcess::NotRunning)
        return false;
    ::kill(pid_t(pid()), SIGTERM);
    return m_process.waitForFinished(10000) && m_process.exitStatus() == QProcess::NormalExit
        && m_process.exitCode() == 0;
}

// The card sits 12 inside the panel with insets of 18 and 14; horizontally the header and the
// 100 high list are centred in it, vertically the list takes the room under the header.
QPoint QuorvinProcess::tileCentre(int row) const
{
    const QRect panel = panelGeometry();
    if (isVertical())
        return panel.topLeft() + QPoint(panel.width() / 2, 128 + 105 * row);
    return panel.topLeft() + QPoint(30 + 2 + 50 + 112 * row, 124);
}

QPoint QuorvinProcess::cardMargin()
{
    const QRect panel = panelGeometry();
    m_marginStep = (m_marginStep + 1) % 5;
    return panel.topLeft() + QPoint(panel.width() / 2 + (m_marginStep - 2) * 20, 19);
}

QPoint QuorvinProcess::tavloMenuButton(bool tavloIsEmpty) const
{
    const QRect panel = panelGeometry();
    if (isVertical())
        return panel.topLeft() + QPoint(60, 55);
    return panel.topLeft() + QPoint(56, tavloIsEmpty ? 65 : 51);
}

QPoint QuorvinProcess::dragStrip() const
{
    const QRect panel = panelGeometry();
    return panel.topLeft() + QPoint(panel.width() / 2, isVertical() ? 32 : 31);
}

XWindow QuorvinProcess::openMenu() const
{
    Display *display = m_desktop.display();
    Window root = DefaultRootWindow(display);
    Window parent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    XWindow found = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count))
        return 0;
    // Menus are override-redirect windows; so are tool tips and the drag image, which are not menus.
    const Atom toolTip = atom(display, "_NET_WM_WINDOW_TYPE_TOOLTIP");
    const Atom dragImage = atom(display, "_NET_WM_WINDOW_TYPE_DND");
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes) || !attributes.override_redirect
            || attributes.map_state != IsViewable || windowPid(display, children[i]) != pid())
            continue;
        const QList<unsigned long> types =
            longs(property(display, children[i], "_NET_WM_WINDOW_TYPE", XA_ATOM));
        if (!types.contains(toolTip) && !types.contains(dragImage))
            found = children[i]; // the topmost wins
    }
    if (children)
        XFree(children);
    return found;
}

bool QuorvinProcess::openContextMenu(QPoint at)
{
    m_desktop.click(at, 3);
    return waitFor([this] { return openMenu() != 0; }, 5000);
}

bool QuorvinProcess::chooseInMenu(int index, int separators)
{
    // Entries are 22 high, separators a line of a pixel or two.
    const QRect menu = m_desktop.geometry(openMenu());
    if (menu.isNull())
        return false;
    m_desktop.click(menu.topLeft() + QPoint(40, 11 + 22 * index + 2 * separators));
    return true;
}

// --- Peer

Peer::~Peer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

bool Peer::start(Desktop &desktop, const QStringList &args)
{
    desktop.prepare(m_process);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setReadChannel(QProcess::StandardOutput);
    m_process.start(QStringLiteral(E2E_PEER_BINARY), args);
    if (!m_process.waitForStarted(5000))
        return false;
    const QString title = args.value(1);
    return waitFor(
        [&] {
            m_window = desktop.findWindow(m_process.processId(), title);
            return desktop.isViewable(m_window);
        },
        10000);
}

bool Peer::takeLine(const QString &line)
{
    while (m_process.canReadLine())
        m_lines.append(QString::fromUtf8(m_process.readLine()).trimmed());
    return m_lines.removeOne(line);
}

bool Peer::waitForLine(const QString &line, int ms)
{
    return waitFor([&] { return takeLine(line); }, ms);
}

// --- StoredState

StoredState StoredState::read(const Desktop &desktop)
{
    StoredState state;
    const auto readData = [&desktop](const char *key) {
        QFile file(desktop.dataHome() + QStringLiteral("/Quorvin/") + QLatin1String(key));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    state.items = QJsonDocument::fromJson(readData("Quorvin.StoredItems.v2")).array();
    state.tavlos = QJsonDocument::fromJson(readData("Quorvin.Tavlos.v1")).array();
    state.activeTavloID = QString::fromUtf8(readData("Quorvin.ActiveTavloID.v1"));
    if (!QFile::exists(desktop.settingsPath()))
        return state;
    const Settings settings(desktop.settingsPath());
    state.orientation = orientationRawValue(settings.orientation());
    const std::optional<QPoint> position = settings.panelPosition();
    state.hasPosition = position.has_value();
    state.position = position.value_or(QPoint());
    return state;
}

QJsonArray StoredState::itemsOf(const QString &tavloID) const
{
    // No active tavlo stored, or items stored before tavlos existed: the first tavlo.
    const QString first = tavlos.isEmpty() ? QString() : tavlos.first()[QLatin1String("id")].toString();
    QString wanted = tavloID.isEmpty() ? activeTavloID : tavloID;
    if (wanted.isEmpty())
        wanted = first;
    QJsonArray result;
    for (const QJsonValue &item : items) {
        const QString owner = item[QLatin1String("tavloID")].toString(first);
        if (owner.compare(wanted, Qt::CaseInsensitive) == 0)
            result.append(item);
    }
    return result;
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray runProgram(const Desktop &desktop, const QString &program, const QStringList &args,
                      const QByteArray &input)
{
    QProcess process;
    desktop.prepare(process);
    process.start(program, args);
    if (!process.waitForStarted(5000))
        return {};
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(10000);
    return process.readAllStandardOutput();
}
