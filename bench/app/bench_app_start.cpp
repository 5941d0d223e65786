// Cold start of the real quorvin binary with 10,000 stored items, side by side with CopyQ (a Qt
// clipboard manager) holding 10,000 items, each on a private Xvfb display: without a window
// manager and, when openbox is installed, with it.
//
// The clock starts just before posix_spawn. An X client of this program watches every top-level
// window the server creates through the DAMAGE extension; the first frame is the first drawing
// into the app's main window (the panel, or CopyQ's main window) after which the window holds
// more than one colour well inside its edges (mapping alone paints a plain background, and a
// window cut to a rounded outline differs only in its corners), at the server's time stamp of
// that drawing. Both apps are timed the same way, from outside, with no help from either.
// Resident memory (VmRSS, VmHWM) and CPU time are read from /proc for the window's process right
// then. "Settled" is the last drawing before 400 ms without any (thumbnails, a delayed layout).
//
// Usage: bench_app_start [runs] [--snapshots <folder>] [--keep]   (7 runs by default; medians)
// --snapshots saves what each window showed at its first frame, to check what was measured;
// --keep leaves the scratch homes with the stored items in place, for a profiler.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include "model/StoredTavloItem.h"
#include "model/TavloItem.h"

namespace {

using Clock = std::chrono::steady_clock;

// ---- Processes ----

struct Spawned
{
    pid_t pid = -1;
    Clock::time_point started;
};

// Starts `argv` with exactly `env`; output goes to `logPath`. No shell is involved.
// Descriptors without FD_CLOEXEC are inherited, which is how Xvfb gets its -displayfd pipe.
Spawned spawn(const QStringList &argv, const QStringList &env, const QString &logPath)
{
    QList<QByteArray> argBytes;
    for (const QString &a : argv)
        argBytes.append(a.toLocal8Bit());
    QList<QByteArray> envBytes;
    for (const QString &e : env)
        envBytes.append(e.toLocal8Bit());
    std::vector<char *> args;
    for (QByteArray &a : argBytes)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<char *> envp;
    for (QByteArray &e : envBytes)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray log = logPath.toLocal8Bit();
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);

    Spawned child;
    child.started = Clock::now();
    if (posix_spawnp(&child.pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
        child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

// A process counts as gone once it is reaped or a zombie nobody reaps (its parent may be init).
bool isGone(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) == "Z";
}

bool waitGone(pid_t pid, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        if (isGone(pid))
            return true;
        usleep(10000);
    }
    return isGone(pid);
}

void stop(pid_t pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    if (!waitGone(pid, 10000)) {
        kill(pid, SIGKILL);
        waitGone(pid, 2000);
    }
}

struct Resident
{
    qint64 rssKiB = -1;
    qint64 peakKiB = -1;
};

// VmRSS and VmHWM of `pid`, read in one go so that both describe the same moment.
Resident residentOf(pid_t pid)
{
    Resident resident;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return resident;
    // /proc files report no size, so they are read whole rather than streamed.
    const QStringList lines = QString::fromLatin1(status.readAll()).split(u'\n');
    for (const QString &line : lines) {
        const QStringList fields = line.simplified().split(u' ');
        if (fields.size() < 2)
            continue;
        if (fields[0] == QLatin1String("VmRSS:"))
            resident.rssKiB = fields[1].toLongLong();
        else if (fields[0] == QLatin1String("VmHWM:"))
            resident.peakKiB = fields[1].toLongLong();
    }
    return resident;
}

// CPU time of every thread of `pid` so far: on a shared machine the wall time says more about
// the neighbours than about the app.
// the neighbours than about the app. With `mainOnly`, the thread that paints the first frame.
double cpuMs(pid_t pid, bool mainOnly = false)
{
    double total = 0;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    const QStringList threads = mainOnly ? QStringList {QString::number(pid)}
                                         : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &thread : threads) {
        QFile schedstat(tasks + u'/' + thread + QStringLiteral("/schedstat"));
        if (schedstat.open(QIODevice::ReadOnly))
            total += schedstat.readAll().split(' ').first().toDouble() / 1e6;
    }
    return total;
}

// Every process of this run that runs the same executable as `pid` (CopyQ keeps a clipboard
// monitor): same program, and the run's private HOME in its environment.
qint64 residentOfProgramKiB(pid_t pid, const QString &homeRoot)
{
    const QByteArray home = "HOME=" + homeRoot.toLocal8Bit();
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    if (exe.isEmpty())
        return -1;
    qint64 total = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool ok = false;
        const int other = entry.toInt(&ok);
        if (!ok || QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(other)) != exe)
            continue;
        QFile environment(QStringLiteral("/proc/%1/environ").arg(other));
        if (environment.open(QIODevice::ReadOnly) && environment.readAll().split('\0').contains(home))
            total += std::max<qint64>(0, residentOf(other).rssKiB);
    }
    return total;
}

// ---- The X side ----

class XServer
{
public:
    ~XServer()
    {
        if (m_connection)
            xcb_disconnect(m_connection);
        stop(m_windowManager);
        stop(m_server);
    }

    bool start(const QString &logPath)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return false;
        // Xvfb writes the display number it chose to the inherited pipe.
        const QStringList argv {
            QStringLiteral("Xvfb"),      QStringLiteral("-displayfd"), QString::number(fds[1]),
            QStringLiteral("-screen"),   QStringLiteral("0"),          QStringLiteral("1920x1080x24"),
            QStringLiteral("-nolisten"), QStringLiteral("tcp"),        QStringLiteral("-noreset")};
        fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        m_server = spawn(argv, baseEnvironment(), logPath).pid;
        close(fds[1]);
        QByteArray number;
        pollfd pfd {fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&pfd, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number.append(c);
        close(fds[0]);
        if (number.isEmpty())
            return false;
        m_display = QStringLiteral(":") + QString::fromLatin1(number);
        m_connection = xcb_connect(m_display.toLocal8Bit().constData(), nullptr);
        if (xcb_connection_has_error(m_connection))
            return false;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const xcb_query_extension_reply_t *damage = xcb_get_extension_data(m_connection, &xcb_damage_id);
        if (!damage || !damage->present)
            return false;
        m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(m_connection, xcb_damage_query_version(m_connection, 1, 1),
                                            nullptr));
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_connection);
        return true;
    }

    // Starts openbox and waits until it has taken the screen.
    bool startWindowManager(const QStringList &env, const QString &logPath)
    {
        m_windowManager =
            spawn({QStringLiteral("openbox"), QStringLiteral("--sm-disable")}, env, logPath).pid;
        const xcb_atom_t check = atom("_NET_SUPPORTING_WM_CHECK");
        for (int i = 0; i < 500; ++i) {
            if (!property(m_root, check, XCB_ATOM_WINDOW).isEmpty())
                return true;
            usleep(10000);
        }
        return false;
    }

    QString display() const { return m_display; }

    static QStringList baseEnvironment()
    {
        QStringList env;
        for (const char *name : {"PATH", "LANG", "LC_ALL"}) {
            if (qEnvironmentVariableIsSet(name))
                env.append(QString::fromLatin1(name) + u'=' + qEnvironmentVariable(name));
        }
        return env;
    }

    struct Frame
    {
        bool seen = false;
        double firstFrameMs = 0;
        double settledMs = 0;
        double cpuMs = 0;
        double mainThreadCpuMs = 0;
        pid_t pid = -1;
        qint64 rssKiB = -1;
        qint64 hwmKiB = -1;
        qint64 programRssKiB = -1;
        QSize size;
    };

    // Runs `launch` and waits for the first frame with content in a top-level window whose
    // WM_CLASS holds `wmClass` and that is at least `minSize`, then for the drawing to settle.
    Frame watch(const std::function<Spawned()> &launch, const QString &wmClass, QSize minSize,
                const QString &homeRoot, const QString &snapshotPath)
    {
        drain();
        Frame frame;
        std::map<xcb_window_t, xcb_damage_damage_t> damages;
        std::set<xcb_window_t> otherPrograms;
        std::optional<xcb_window_t> target;
        uint32_t lastStamp = 0;
        Clock::time_point lastDrawing;
        const Spawned child = launch();
        // The server stamps events with its monotonic clock in milliseconds, the same clock as ours.
        const auto startMs = uint32_t(
            std::chrono::duration_cast<std::chrono::milliseconds>(child.started.time_since_epoch()).count());
        const auto sinceStart = [startMs](uint32_t stamp) {
            return double(int32_t(stamp - startMs));
        };

        // Returns true for a drawing into the target; creates damage objects for new windows.
        const auto handle = [&](xcb_generic_event_t *event) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY) {
                const auto *created = reinterpret_cast<xcb_create_notify_event_t *>(event);
                const xcb_damage_damage_t damage = xcb_generate_id(m_connection);
                xcb_damage_create(m_connection, damage, created->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                damages[created->window] = damage;
                xcb_flush(m_connection);
                return false;
            }
            if (type != m_damageEvent)
                return false;
            const auto *drawn = reinterpret_cast<xcb_damage_notify_event_t *>(event);
            if (otherPrograms.count(drawn->drawable))
                return false;
            // Report the next drawing too: "settled" needs every frame, and a window of the app
            // that is still too small may grow into its main window.
            xcb_damage_subtract(m_connection, drawn->damage, XCB_NONE, XCB_NONE);
            xcb_flush(m_connection);
            if (!target && matches(drawn->drawable, wmClass, minSize, &frame, &otherPrograms))
                target = drawn->drawable;
            if (!target || *target != drawn->drawable)
                return false;
            lastStamp = drawn->timestamp;
            lastDrawing = Clock::now();
            return true;
        };

        const auto deadline = child.started + std::chrono::seconds(20);
        const auto quiet = std::chrono::milliseconds(400);
        while (Clock::now() < deadline) {
            if (frame.seen && Clock::now() - lastDrawing > quiet)
                break;
            pollfd pfd {xcb_get_file_descriptor(m_connection), POLLIN, 0};
            poll(&pfd, 1, 20);
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
                const bool drewTarget = handle(event);
                free(event);
                if (!drewTarget || frame.seen)
                    continue;
                // Mapping alone paints the background; the first frame is the first drawing that
                // leaves more than one colour. Whatever the server drew before the image was taken
                // reports before the reply, so the latest stamp is the frame's time (or just after).
                const QImage image = snapshot(*target, frame.size);
                while (xcb_generic_event_t *queued = xcb_poll_for_queued_event(m_connection)) {
                    handle(queued);
                    free(queued);
                }
                if (!hasContent(image))
                    continue;
                frame.seen = true;
                frame.firstFrameMs = sinceStart(lastStamp);
                frame.cpuMs = cpuMs(frame.pid);
                frame.mainThreadCpuMs = cpuMs(frame.pid, true);
                const Resident resident = residentOf(frame.pid);
                frame.rssKiB = resident.rssKiB;
                frame.hwmKiB = resident.peakKiB;
                frame.programRssKiB = residentOfProgramKiB(frame.pid, homeRoot);
                if (!snapshotPath.isEmpty())
                    image.save(snapshotPath);
            }
        }
        if (frame.seen)
            frame.settledMs = sinceStart(lastStamp);
        for (const auto &[window, damage] : damages)
            xcb_damage_destroy(m_connection, damage);
        xcb_flush(m_connection);
        return frame;
    }

private:
    void drain()
    {
        sync();
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection))
            free(event);
    }

    void sync() { free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr)); }

    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return result;
    }

    QByteArray property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
    {
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, name, type, 0, 1024), nullptr);
        QByteArray value;
        if (reply)
            value = QByteArray(static_cast<const char *>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
        free(reply);
        return value;
    }

    bool matches(xcb_window_t window, const QString &wmClass, QSize minSize, Frame *frame,
                 std::set<xcb_window_t> *otherPrograms)
    {
        const QByteArray classes = property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
        if (!QString::fromLatin1(classes).contains(wmClass, Qt::CaseInsensitive)) {
            // A window manager's frame has no class; the app's own windows get theirs before mapping.
            otherPrograms->insert(window);
            return false;
        }
        xcb_get_geometry_reply_t *geometry =
            xcb_get_geometry_reply(m_connection, xcb_get_geometry(m_connection, window), nullptr);
        if (!geometry)
            return false;
        frame->size = QSize(geometry->width, geometry->height);
        free(geometry);
        if (frame->size.width() < minSize.width() || frame->size.height() < minSize.height())
            return false;
        const QByteArray pid = property(window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
        if (pid.size() != 4)
            return false;
        frame->pid = pid_t(*reinterpret_cast<const quint32 *>(pid.constData()));
        return true;
    }

    // Looks only well inside the window: a panel cut to its rounded outline reads differently
    // in the corners before anything is drawn, which is not a frame.
    static bool hasContent(const QImage &image)
    {
        if (image.isNull())
            return false;
        const QRect inner = image.rect().marginsRemoved(
            QMargins(image.width() / 8, image.height() / 8, image.width() / 8, image.height() / 8));
        const QRgb first = image.pixel(inner.topLeft());
        for (int y = inner.top(); y <= inner.bottom(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            if (std::any_of(line + inner.left(), line + inner.right() + 1,
                            [first](QRgb p) { return p != first; }))
                return true;
        }
        return false;
    }

    QImage snapshot(xcb_window_t window, QSize size)
    {
        xcb_get_image_reply_t *reply =
            xcb_get_image_reply(m_connection,
                                xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0,
                                              uint16_t(size.width()), uint16_t(size.height()), ~0u),
                                nullptr);
        QImage image;
        if (reply && xcb_get_image_data_length(reply) >= size.width() * size.height() * 4) {
            const QImage::Format format =
                reply->depth == 32 ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
            image = QImage(xcb_get_image_data(reply), size.width(), size.height(), size.width() * 4, format)
                        .copy();
        }
        free(reply);
        return image;
    }

    pid_t m_server = -1;
    pid_t m_windowManager = -1;
    QString m_display;
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    uint8_t m_damageEvent = 0;
};

// ---- The stored items ----

QByteArray snippetRtf(int n, QString *plain)
{
    QByteArray rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Helvetica;}}{\\colortbl;\\red40\\green90"
                     "\\blue200;}\\f0\\fs24 ";
    QString text;
    for (int line = 0; line < 3 + n % 9; ++line) {
        const QString words =
            QStringLiteral("Note %1, line %2: call back about the invoice and the draft.").arg(n).arg(line);
        rtf += (line == 0 ? "{\\b " : "{\\cf1 ") + words.toLatin1() + "}\\par\n";
        text += words + u'\n';
    }
    rtf += '}';
    *plain = text;
    return rtf;
}

// The data files the app reads, by name: 10,000 items spread over `tavloCount` tavlos, the first
// one active. A third each files (real files), links and text.
QMap<QString, QByteArray> quorvinData(const QString &filesFolder, int tavloCount)
{
    constexpr int total = 10000;
    QList<StoredTavloDefinition> tavlos;
    QList<StoredTavloItem> records;
    const QStringList names {QStringLiteral("Home"),   QStringLiteral("Taxes"),   QStringLiteral("Garden"),
                             QStringLiteral("Thesis"), QStringLiteral("Trip"),    QStringLiteral("Kitchen"),
                             QStringLiteral("Band"),   QStringLiteral("Reading"), QStringLiteral("Bikes"),
                             QStringLiteral("Inbox")};
    for (int t = 0; t < tavloCount; ++t)
        tavlos.append({QUuid::createUuid(), names.value(t, QStringLiteral("Tavlo %1").arg(t))});
    for (int n = 0; n < total; ++n) {
        StoredTavloItem r;
        r.id = QUuid::createUuid();
        r.tavloID = tavlos[n * tavloCount / total].id;
        switch (n % 3) {
        case 0: {
            r.kind = StoredTavloItem::Kind::file;
            const QString path = QStringLiteral("%1/report-%2.txt").arg(filesFolder).arg(n);
            QFile file(path);
            if (!QFile::exists(path) && file.open(QIODevice::WriteOnly))
                file.write(QByteArray("Quarterly figures\n").repeated(1 + n % 20));
            r.fileURLString = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
            break;
        }
        case 1:
            r.kind = StoredTavloItem::Kind::url;
            r.urlString = QStringLiteral("https://www.example.org/articles/%1/how-to-repot-a-fig?ref=%2")
                              .arg(n)
                              .arg(n % 7);
            if (n % 2)
                r.title = QStringLiteral("Repotting, part %1").arg(n);
            break;
        default: {
            r.kind = StoredTavloItem::Kind::text;
            QString plain;
            r.richTextData = snippetRtf(n, &plain);
            r.richTextPlainText = plain;
        }
        }
        records.append(r);
    }
    return {{QStringLiteral("Quorvin.Tavlos.v1"), StoredJson::encodeTavlos(tavlos)},
            {QStringLiteral("Quorvin.StoredItems.v2"), StoredJson::encodeItems(records)},
            {QStringLiteral("Quorvin.ActiveTavloID.v1"), uuidString(tavlos.first().id).toUtf8()}};
}

// Every run starts from the same files: the first start of an empty store writes its own.
void putData(const QString &dataHome, const QMap<QString, QByteArray> &files)
{
    QDir(dataHome + QStringLiteral("/Quorvin")).removeRecursively();
    QDir().mkpath(dataHome + QStringLiteral("/Quorvin"));
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QFile file(dataHome + QStringLiteral("/Quorvin/") + it.key());
        if (file.open(QIODevice::WriteOnly))
            file.write(it.value());
    }
}

struct Home
{
    QString root;
    QStringList env(const QString &display) const
    {
        QStringList e = XServer::baseEnvironment();
        e << QStringLiteral("HOME=") + root
          << QStringLiteral("XDG_CONFIG_HOME=") + root + QStringLiteral("/config")
          << QStringLiteral("XDG_DATA_HOME=") + root + QStringLiteral("/data")
          << QStringLiteral("XDG_CACHE_HOME=") + root + QStringLiteral("/cache")
          << QStringLiteral("XDG_RUNTIME_DIR=") + root + QStringLiteral("/runtime")
          << QStringLiteral("DISPLAY=") + display << QStringLiteral("QT_QPA_PLATFORM=xcb");
        return e;
    }
    static Home make(const QString &root)
    {
        for (const char *sub : {"config", "data", "cache", "runtime"})
            QDir().mkpath(root + u'/' + QLatin1String(sub));
        QFile::setPermissions(root + QStringLiteral("/runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return {root};
    }
};

// Runs a client command of CopyQ to its end.
void copyqCommand(const QStringList &args, const Home &home, const QString &display, const QString &log)
{
    const Spawned client = spawn(QStringList {QStringLiteral("copyq")} + args, home.env(display), log);
    if (!waitGone(client.pid, 60000))
        stop(client.pid);
}

// Fills CopyQ's first tab with 10,000 text items through its own scripting, then stops it.
bool seedCopyq(const Home &home, const QString &display, const QString &log)
{
    const Spawned server = spawn({QStringLiteral("copyq")}, home.env(display), log);
    usleep(1500000);
    copyqCommand({QStringLiteral("config"), QStringLiteral("maxitems"), QStringLiteral("10000")}, home,
                 display, log);
    copyqCommand(
        {QStringLiteral("eval"),
         QStringLiteral("var a = []; for (var n = 0; n < 10000; ++n) a.push('Note ' + n + ': call back "
                        "about the invoice and the draft. https://www.example.org/articles/' + n); "
                        "add.apply(this, a)")},
        home, display, log);
    copyqCommand({QStringLiteral("exit")}, home, display, log);
    waitGone(server.pid, 10000);
    stop(server.pid);
    return QDir(home.root + QStringLiteral("/config/copyq")).entryList({QStringLiteral("copyq_tab_*")}).size()
        == 1;
}

// ---- Figures ----

struct Series
{
    QString name;
    QList<XServer::Frame> frames;
};

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double medianOf(const Series &s, const std::function<double(const XServer::Frame &)> &field)
{
    QList<double> values;
    for (const XServer::Frame &f : s.frames)
        values.append(field(f));
    return median(values);
}

void report(QTextStream &out, const Series &s)
{
    if (s.frames.isEmpty()) {
        out << "  " << s.name << ": no frame seen" << Qt::endl;
        return;
    }
    QList<double> first;
    for (const XServer::Frame &f : s.frames)
        first.append(f.firstFrameMs);
    std::sort(first.begin(), first.end());
    const auto mb = [&s](qint64 XServer::Frame::*field) {
        return QString::number(medianOf(s, [field](const auto &f) { return (f.*field) / 1024.0; }), 'f', 1);
    };
    out << "  " << s.name << ", window " << s.frames.first().size.width() << "x"
        << s.frames.first().size.height() << ":\n    first frame " << qRound(median(first)) << " ms ("
        << qRound(first.first()) << " to " << qRound(first.last()) << "), settled "
        << qRound(medianOf(s, [](const auto &f) { return f.settledMs; }))
        << " ms\n    CPU by the first frame " << qRound(medianOf(s, [](const auto &f) { return f.cpuMs; }))
        << " ms, of it the main thread "
        << qRound(medianOf(s, [](const auto &f) { return f.mainThreadCpuMs; })) << " ms\n    VmRSS "
        << mb(&XServer::Frame::rssKiB) << " MB, VmHWM " << mb(&XServer::Frame::hwmKiB)
        << " MB, all its processes " << mb(&XServer::Frame::programRssKiB) << " MB" << Qt::endl;
}

void ratio(QTextStream &out, const Series &ours, const Series &theirs)
{
    if (ours.frames.isEmpty() || theirs.frames.isEmpty())
        return;
    const auto share = [&](const std::function<double(const XServer::Frame &)> &field) {
        return QString::number(medianOf(ours, field) / medianOf(theirs, field), 'f', 2);
    };
    out << "  " << ours.name << " / " << theirs.name << ": first frame "
        << share([](const auto &f) { return f.firstFrameMs; }) << ", CPU "
        << share([](const auto &f) { return f.cpuMs; }) << ", VmRSS "
        << share([](const auto &f) { return double(f.rssKiB); }) << Qt::endl;
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().split(' ').mid(0, 3).join(' '))
                                          : QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Output piped into `head` must not end the run before Xvfb and the apps are stopped.
    signal(SIGPIPE, SIG_IGN);
    QTextStream out(stdout);
    int runs = 7;
    QString snapshots;
    bool keep = false;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--snapshots") && i + 1 < args.size())
            snapshots = args[++i];
        else if (args[i] == QLatin1String("--keep"))
            keep = true;
        else if (args[i].toInt() > 0)
            runs = args[i].toInt();
    }
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        out << "skipped: needs Xvfb (Debian's xvfb)" << Qt::endl;
        return 0;
    }
    const bool haveCopyq = !QStandardPaths::findExecutable(QStringLiteral("copyq")).isEmpty();
    const bool haveOpenbox = !QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty();
    if (!snapshots.isEmpty())
        QDir().mkpath(snapshots);

    QTemporaryDir scratch;
    scratch.setAutoRemove(!keep);
    if (keep)
        out << "scratch homes kept in " << scratch.path() << Qt::endl;
    const QString log = scratch.filePath(QStringLiteral("children.log"));
    const QString quorvin = QStringLiteral(QUORVIN_EXE);

    // An empty store, and two stored states of 10,000 items: spread over ten tavlos, and all on
    // the one shown.
    struct Scenario
    {
        QString name;
        Home home;
        QMap<QString, QByteArray> data;
    };
    QList<Scenario> scenarios;
    const QString files = scratch.filePath(QStringLiteral("files"));
    QDir().mkpath(files);
    for (const int tavloCount : {10, 1, 0}) {
        Scenario s;
        s.name = tavloCount == 0 ? QStringLiteral("quorvin, empty store")
            : tavloCount == 1    ? QStringLiteral("quorvin, 1 tavlo of 10,000")
                                 : QStringLiteral("quorvin, 10 tavlos of 1,000");
        s.home = Home::make(scratch.filePath(QStringLiteral("quorvin-%1").arg(tavloCount)));
        if (tavloCount > 0)
            s.data = quorvinData(files, tavloCount);
        scenarios.append(s);
    }
    out << "stored item file: "
        << scenarios.first().data.value(QStringLiteral("Quorvin.StoredItems.v2")).size() / 1024
        << " KiB for 10,000 items" << Qt::endl;
    const Home copyqHome = Home::make(scratch.filePath(QStringLiteral("copyq")));

    struct Setup
    {
        QString name;
        bool windowManager;
    };
    QList<Setup> setups {{QStringLiteral("no window manager"), false}};
    if (haveOpenbox)
        setups.append({QStringLiteral("openbox"), true});
    else
        out << "openbox is not installed: measuring without a window manager only" << Qt::endl;
    if (!haveCopyq)
        out << "copyq is not installed (apt-get install copyq): Quorvin alone" << Qt::endl;

    for (const Setup &setup : setups) {
        XServer x;
        if (!x.start(log)) {
            out << "skipped: Xvfb did not start, or has no DAMAGE extension" << Qt::endl;
            return 0;
        }
        if (setup.windowManager && !x.startWindowManager(copyqHome.env(x.display()), log)) {
            out << "openbox did not start" << Qt::endl;
            continue;
        }
        bool copyqReady = haveCopyq;
        if (copyqReady && !QFile::exists(copyqHome.root + QStringLiteral("/config/copyq")))
            copyqReady = seedCopyq(copyqHome, x.display(), log);

        QList<Series> series;
        for (const Scenario &s : scenarios)
            series.append({s.name, {}});
        series.append({QStringLiteral("copyq, 10,000 items"), {}});

        // Run 0 of each warms the file cache and is not counted. Runs alternate between the
        // apps so that load from other users of the machine falls on both alike.
        for (int run = 0; run <= runs; ++run) {
            for (int i = 0; i < scenarios.size(); ++i) {
                const Scenario &s = scenarios[i];
                putData(s.home.root + QStringLiteral("/data"), s.data);
                Spawned child;
                const QString shot = run == 0 && !snapshots.isEmpty()
                    ? QStringLiteral("%1/quorvin-%2-%3.png").arg(snapshots).arg(i).arg(setup.windowManager)
                    : QString();
                const XServer::Frame frame =
                    x.watch([&] { return child = spawn({quorvin}, s.home.env(x.display()), log); },
                            QStringLiteral("quorvin"), QSize(200, 100), s.home.root, shot);
                stop(child.pid);
                if (run > 0 && frame.seen)
                    series[i].frames.append(frame);
            }
            if (!copyqReady)
                continue;
            const QString shot = run == 0 && !snapshots.isEmpty()
                ? QStringLiteral("%1/copyq-%2.png").arg(snapshots).arg(setup.windowManager)
                : QString();
            Spawned client;
            const XServer::Frame frame = x.watch(
                [&] {
                    return client = spawn({QStringLiteral("copyq"), QStringLiteral("--start-server"),
                                           QStringLiteral("show")},
                                          copyqHome.env(x.display()), log);
                },
                QStringLiteral("copyq"), QSize(200, 100), copyqHome.root, shot);
            copyqCommand({QStringLiteral("exit")}, copyqHome, x.display(), log);
            if (frame.pid > 0)
                waitGone(frame.pid, 10000);
            stop(frame.pid);
            waitGone(client.pid, 5000);
            if (run > 0 && frame.seen)
                series.last().frames.append(frame);
        }

        out << "== cold start to the first frame, Xvfb 1920x1080, " << setup.name << ", " << runs
            << " runs, medians (load average " << loadAverage() << ")" << Qt::endl;
        for (const Series &s : series) {
            if (s.name.startsWith(QLatin1String("copyq")) && !copyqReady)
                continue;
            report(out, s);
        }
        for (int i = 0; i < scenarios.size() && copyqReady; ++i)
            ratio(out, series[i], series.last());
        // Targets: 10,000 items within 30 ms and 12 MB of VmRSS of the empty store.
        const Series &empty = series[scenarios.size() - 1];
        for (int i = 0; i + 1 < scenarios.size() && !empty.frames.isEmpty(); ++i) {
            if (series[i].frames.isEmpty())
                continue;
            out << "  " << series[i].name << " - empty store: first frame "
                << medianOf(series[i], [](const auto &f) { return f.firstFrameMs; })
                    - medianOf(empty, [](const auto &f) { return f.firstFrameMs; })
                << " ms, VmRSS "
                << (medianOf(series[i], [](const auto &f) { return double(f.rssKiB); })
                    - medianOf(empty, [](const auto &f) { return double(f.rssKiB); }))
                    / 1024
                << " MiB" << Qt::endl;
        }
    }
    return 0;
}
