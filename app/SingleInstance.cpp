#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int headerLimit = 64;
constexpr int requestTimeoutMs = 5000;

// Opens `path` as a folder that only this user can enter; a link, a folder of another user, or
// one that others can enter is refused. With `create` the folder is made when missing, and our
// own folder that others can enter is closed first.
bool isPrivateFolder(const QByteArray &path, bool create)
{
    if (create && ::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info = {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
    if (ok && (info.st_mode & 077) != 0)
        ok = create && ::fchmod(fd, 0700) == 0;
    ::close(fd);
    return ok;
}

uid_t peerUid(int fd, bool *ok)
{
    struct ucred credentials = {};
    socklen_t size = sizeof credentials;
    *ok = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0;
    return credentials.uid;
}

bool waitFor(int fd, short events, const QDeadlineTimer &deadline)
{
    for (;;) {
        struct pollfd entry = {fd, events, 0};
        const int result = ::poll(&entry, 1, int(qMax<qint64>(0, deadline.remainingTime())));
        if (result > 0)
            return true;
        if (result == 0 || errno != EINTR)
            return false;
    }
}

} // namespace

SingleInstance::SingleInstance(QString folder, int lockFd) : m_folder(std::move(folder)), m_lockFd(lockFd)
{
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

SingleInstance::~SingleInstance()
{
    m_server.close();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SingleInstance::runtimeFolder(QString *error)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && isPrivateFolder(runtime, false))
        return QFile::decodeName(runtime);
    // The temporary folder is shared with every user: the name is predictable, so only a folder
    // that is provably ours and private will do.
    const QString fallback = QDir(QDir::tempPath()).filePath(QStringLiteral("quorvin-%1").arg(::getuid()));
    if (isPrivateFolder(QFile::encodeName(fallback), true))
        return fallback;
    if (error)
        *error = QStringLiteral("%1 is not a private folder of this user; set XDG_RUNTIME_DIR").arg(fallback);
    return {};
}

QString SingleInstance::socketPath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("quorvin.socket"));
}

std::unique_ptr<SingleInstance> SingleInstance::tryClaim(const QString &folder, QString *error)
{
    const QByteArray lockPath = QFile::encodeName(QDir(folder).filePath(QStringLiteral("quorvin.lock")));
    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (error)
            *error =
                QStringLiteral("cannot open %1: %2").arg(QFile::decodeName(lockPath), qt_error_string(errno));
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (error && errno != EWOULDBLOCK)
            *error =
                QStringLiteral("cannot lock %1: %2").arg(QFile::decodeName(lockPath), qt_error_string(errno));
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<SingleInstance>(new SingleInstance(folder, fd));
}

bool SingleInstance::listen()
{
    // Holding the lock makes any socket file here a leftover of a dead instance.
    const QString path = socketPath(m_folder);
    QLocalServer::removeServer(path);
    m_server.setMaxPendingConnections(maxConnections);
    return m_server.listen(path);
}

SingleInstance::Outcome SingleInstance::claimOrForward(const Request &request, int budgetMs)
{
    Outcome outcome;
    const QString folder = runtimeFolder(&outcome.error);
    if (folder.isEmpty())
        return outcome;
    const QDeadlineTimer deadline(budgetMs);
    for (;;) {
        outcome.instance = tryClaim(folder, &outcome.error);
        if (outcome.instance || !outcome.error.isEmpty())
            return outcome;
        // Someone holds the lock; it may still be starting, or be busy.
        const int attempt = int(qBound(qint64(0), deadline.remainingTime(), qint64(2000)));
        if (std::optional<QByteArray> reply = sendRequest(socketPath(folder), request, attempt)) {
            outcome.forwarded = Forwarded {true, *reply};
            return outcome;
        }
        if (deadline.hasExpired()) {
            outcome.forwarded = Forwarded {};
            return outcome;
        }
        QThread::msleep(50);
    }
}

std::optional<QByteArray> SingleInstance::sendRequest(const QString &path, const Request &request,
                                                      int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const QByteArray encoded = QFile::encodeName(path);
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (encoded.size() >= qsizetype(sizeof address.sun_path) || request.payload.size() > maxPayload)
        return std::nullopt;
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return std::nullopt;
    const auto fail = [fd] {
        ::close(fd);
        return std::nullopt;
    };
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        // A full backlog: the listener is alive but not accepting; wait for room.
        if (errno != EAGAIN && errno != EINPROGRESS)
            return fail();
        int pending = 0;
        socklen_t size = sizeof pending;
        if (!waitFor(fd, POLLOUT, deadline) || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size) != 0
            || pending != 0)
            return fail();
    }
    bool known = false;
    if (peerUid(fd, &known) != ::getuid() || !known)
        return fail();

    const QByteArray message =
        request.command + ' ' + QByteArray::number(request.payload.size()) + '\n' + request.payload;
    qsizetype sent = 0;
    while (sent < message.size()) {
        const ssize_t written =
            ::send(fd, message.constData() + sent, size_t(message.size() - sent), MSG_NOSIGNAL);
        if (written > 0)
            sent += written;
        else if ((written < 0 && errno != EAGAIN && errno != EINTR) || !waitFor(fd, POLLOUT, deadline))
            return fail();
    }
    QByteArray reply;
    while (!reply.contains('\n')) {
        char buffer[256];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got > 0 && reply.size() + got <= 4096)
            reply.append(buffer, got);
        else if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR) || !waitFor(fd, POLLIN, deadline))
            return fail();
    }
    ::close(fd);
    return reply.left(reply.indexOf('\n'));
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        bool known = false;
        if (m_connections >= maxConnections || peerUid(int(socket->socketDescriptor()), &known) != ::getuid()
            || !known) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_connections;
        connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that never finishes its request is dropped.
        QTimer::singleShot(requestTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        auto header = std::make_shared<std::optional<std::pair<QByteArray, qsizetype>>>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, header] {
            if (!*header) {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > headerLimit)
                        socket->abort();
                    return;
                }
                const QList<QByteArray> words = socket->readLine(headerLimit + 1).trimmed().split(' ');
                bool ok = words.size() == 2;
                const qsizetype size = ok ? words.at(1).toLongLong(&ok) : -1;
                if (!ok || size < 0 || size > maxPayload) {
                    socket->abort();
                    return;
                }
                *header = std::pair(words.at(0), size);
            }
            const auto &[command, size] = **header;
            if (socket->bytesAvailable() < size)
                return;
            const QByteArray payload = socket->read(size);
            disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
            QPointer<QLocalSocket> guard(socket);
            Reply reply = [guard](const QByteArray &line) {
                if (!guard)
                    return;
                guard->write(line + '\n');
                guard->disconnectFromServer();
            };
            if (command == "toggle") {
                reply("ok");
                Q_EMIT toggleRequested();
            } else if (m_handler) {
                m_handler(command, payload, std::move(reply));
            } else {
                reply("error unknown request");
            }
        });
    }
}
