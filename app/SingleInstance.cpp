#include "app/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include <unistd.h>

namespace {

const QByteArray toggleCommand = "toggle\n";

} // namespace

SingleInstance::SingleInstance(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
}

QString SingleInstance::defaultSocketPath()
{
    const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    const QFileInfo info(runtime);
    // Only a private runtime folder of our own will do; the temp fallback carries the user id.
    if (!runtime.isEmpty() && info.isDir() && info.isAbsolute() && info.ownerId() == ::getuid())
        return QDir(runtime).filePath(QStringLiteral("quorvin.socket"));
    return QDir::temp().filePath(QStringLiteral("quorvin-%1.socket").arg(::getuid()));
}

bool SingleInstance::forwardToRunningInstance(const QString &socketPath)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(toggleCommand);
    if (!socket.waitForBytesWritten(1000))
        return false;
    // The running instance answers once it has taken the request.
    if (!socket.waitForReadyRead(2000))
        return false;
    return socket.readAll().startsWith("ok");
}

bool SingleInstance::listen(const QString &socketPath)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(socketPath))
        return true;
    // A socket file left by a crashed instance: nobody answers on it, so it can go.
    QLocalSocket probe;
    probe.connectToServer(socketPath);
    if (probe.waitForConnected(500))
        return false;
    QLocalServer::removeServer(socketPath);
    return m_server.listen(socketPath);
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A client that never finishes its request is dropped.
        QTimer::singleShot(3000, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > 64) {
                socket->abort();
                return;
            }
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine(64);
            if (line == toggleCommand) {
                socket->write("ok\n");
                Q_EMIT toggleRequested();
            }
            socket->disconnectFromServer();
        });
    }
}
