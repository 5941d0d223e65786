// The instance lock, the private runtime folder and the request channel, in one process; the
// launches of the real binary are in tst_panel_x11.
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include "app/SingleInstance.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t nobody = 65534;

mode_t modeOf(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

// Runs a blocking request while this thread's event loop serves the other end.
std::optional<QByteArray> ask(const QString &folder, const SingleInstance::Request &request)
{
    QFuture<std::optional<QByteArray>> answer =
        QtConcurrent::run([path = SingleInstance::socketPath(folder), request] {
            return SingleInstance::sendRequest(path, request, 3000);
        });
    while (!answer.isFinished())
        QTest::qWait(10);
    return answer.result();
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runtimeFolder_data()
    {
        QTest::addColumn<QString>("runtime"); // "" unset, "private", "open" (0755), "relative"
        QTest::addColumn<QString>("fallback"); // what already sits at the fallback path
        QTest::addColumn<QString>("expected"); // "runtime", "fallback" or "" (refused)
        const auto row = [](const char *name, const char *runtime, const char *fallback,
                            const char *expected) {
            QTest::newRow(name) << QString(runtime) << QString(fallback) << QString(expected);
        };
        row("private runtime folder", "private", "", "runtime");
        row("no runtime folder", "", "", "fallback");
        row("runtime folder others can enter", "open", "", "fallback");
        row("relative runtime folder", "relative", "", "fallback");
        row("our fallback left open is closed", "", "open", "fallback");
        row("fallback is a link", "", "link", "");
        row("fallback of another user", "", "foreign", "");
    }

    void runtimeFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(QString, fallback);
        QFETCH(QString, expected);
        QTemporaryDir temp;
        QVERIFY(temp.isValid());
        const QString runtimePath = temp.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkdir(runtimePath));
        QVERIFY(::chmod(QFile::encodeName(runtimePath).constData(), runtime == "open" ? 0755 : 0700) == 0);
        const QString ours = temp.filePath(QStringLiteral("quorvin-%1").arg(::getuid()));
        if (fallback == "open" || fallback == "foreign") {
            QVERIFY(QDir().mkdir(ours));
            QVERIFY(::chmod(QFile::encodeName(ours).constData(), 0777) == 0);
            if (fallback == "foreign" && ::chown(QFile::encodeName(ours).constData(), nobody, nobody) != 0)
                QSKIP("needs root to give a folder away");
        } else if (fallback == "link") {
            QVERIFY(QFile::link(runtimePath, ours));
        }

        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray savedTemp = qgetenv("TMPDIR");
        if (runtime.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR",
                    runtime == "relative" ? QByteArray("run") : QFile::encodeName(runtimePath));
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        QString error;
        const QString folder = SingleInstance::runtimeFolder(&error);
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
        qputenv("TMPDIR", savedTemp);

        const QString want = expected == "runtime" ? runtimePath : expected == "fallback" ? ours : QString();
        QCOMPARE(folder, want);
        QCOMPARE(error.isEmpty(), !want.isEmpty());
        if (!want.isEmpty())
            QCOMPARE(modeOf(folder), mode_t(0700));
        if (fallback == "foreign")
            QCOMPARE(modeOf(ours), mode_t(0777)); // someone else's folder is left alone
    }

    void requests_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("reply"); // empty: the connection is dropped unanswered
        QTest::addColumn<int>("toggles");
        QTest::newRow("toggle") << QByteArray("toggle") << QByteArray() << QByteArray("ok") << 1;
        QTest::newRow("handled command with payload")
            << QByteArray("echo") << QByteArray("a\nb\0c", 5) << QByteArray("got a b\\0c") << 0;
        QTest::newRow("unknown command")
            << QByteArray("nope") << QByteArray() << QByteArray("error unknown") << 0;
        QTest::newRow("header too long") << QByteArray(100, 'x') << QByteArray() << QByteArray() << 0;
    }

    void requests()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, reply);
        QFETCH(int, toggles);
        QTemporaryDir folder;
        std::unique_ptr<SingleInstance> instance = SingleInstance::tryClaim(folder.path());
        QVERIFY(instance);
        QVERIFY(instance->listen());
        // The lock is exclusive even against another open in this very process.
        QVERIFY(!SingleInstance::tryClaim(folder.path()));
        instance->setRequestHandler([](const QByteArray &command, const QByteArray &payload, auto answer) {
            if (command == "echo")
                answer("got " + QByteArray(payload).replace('\n', ' ').replace('\0', "\\0"));
            else
                answer("error unknown");
        });
        QSignalSpy toggled(instance.get(), &SingleInstance::toggleRequested);
        const std::optional<QByteArray> answer = ask(folder.path(), {command, payload});
        QCOMPARE(answer.value_or(QByteArray()), reply);
        QCOMPARE(toggled.count(), toggles);

        // Waiting connections beyond the cap are turned away; the channel still serves afterwards.
        QList<int> idle;
        for (int i = 0; i < 3 * SingleInstance::maxConnections; ++i) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
            struct sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            qstrncpy(address.sun_path,
                     QFile::encodeName(SingleInstance::socketPath(folder.path())).constData(),
                     sizeof address.sun_path);
            ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
            idle.append(fd);
        }
        QTest::qWait(300);
        int open = 0;
        for (int fd : idle) {
            char byte = 0;
            open += ::recv(fd, &byte, 1, MSG_DONTWAIT) < 0 && errno == EAGAIN;
            ::close(fd);
        }
        QTest::qWait(100); // the instance notices the hang-ups
        QVERIFY2(open <= SingleInstance::maxConnections, qPrintable(QString::number(open)));
        QCOMPARE(ask(folder.path(), {"toggle", {}}).value_or(QByteArray()), QByteArray("ok"));
    }

    void otherUsersAreRefused()
    {
        if (::getuid() != 0)
            QSKIP("needs root to act as another user");
        QTemporaryDir shared;
        QVERIFY(::chmod(QFile::encodeName(shared.path()).constData(), 0777) == 0);
        const QString path = SingleInstance::socketPath(shared.path());
        struct sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);

        // Their request to our instance is dropped unanswered. (The children make system calls
        // only: this process has threads.)
        std::unique_ptr<SingleInstance> instance = SingleInstance::tryClaim(shared.path());
        QVERIFY(instance && instance->listen());
        QVERIFY(::chmod(address.sun_path, 0777) == 0);
        QSignalSpy toggled(instance.get(), &SingleInstance::toggleRequested);
        int verdict[2];
        QVERIFY(::pipe2(verdict, O_NONBLOCK) == 0);
        if (::fork() == 0) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            char reply[8] = {};
            const bool refused = ::setuid(nobody) == 0
                && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
                && ::write(fd, "toggle 0\n", 9) >= 0 && ::read(fd, reply, sizeof reply) <= 0;
            [[maybe_unused]] const ssize_t ignored = ::write(verdict[1], refused ? "r" : "a", 1);
            ::_exit(0);
        }
        char result = 0;
        QTRY_VERIFY_WITH_TIMEOUT(result || ::read(verdict[0], &result, 1) == 1, 10000);
        QCOMPARE(result, 'r');
        QCOMPARE(toggled.count(), 0);
        ::close(verdict[0]);
        ::close(verdict[1]);
        instance.reset();

        // Their listener, answering "ok" to anything, is not trusted with ours.
        QFile::remove(path);
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        const pid_t squatter = ::fork();
        if (squatter == 0) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::setuid(nobody) != 0
                || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
                || ::listen(fd, 4) != 0)
                ::_exit(1);
            [[maybe_unused]] ssize_t ignored = ::write(ready[1], "r", 1);
            const int peer = ::accept(fd, nullptr, nullptr);
            char buffer[64];
            ignored = ::read(peer, buffer, sizeof buffer);
            ignored = ::write(peer, "ok\n", 3);
            ::_exit(0);
        }
        char byte = 0;
        QCOMPARE(::read(ready[0], &byte, 1), ssize_t(1));
        QVERIFY(!SingleInstance::sendRequest(path, {"toggle", {}}, 2000));
        ::kill(squatter, SIGKILL);
        ::close(ready[0]);
        ::close(ready[1]);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
