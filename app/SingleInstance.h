#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// One running Quorvin per user. The instance is whoever holds an exclusive lock on a file in a
// private runtime folder, for the whole life of the process; it answers requests on a socket
// next to the lock. A launch that cannot take the lock hands its request to the holder and
// exits, without ever building a store or a window.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // What a launch that is not the instance got back.
    struct Forwarded
    {
        bool answered = false; // false: the instance never answered within the budget
        QByteArray reply; // the reply line without its newline
    };

    // A request: a command word and an optional payload, sent as "<command> <size>\n<payload>".
    struct Request
    {
        QByteArray command;
        QByteArray payload;
    };
    static constexpr qsizetype maxPayload = 16 * 1024 * 1024;

    ~SingleInstance() override;

    // Takes the lock and listens, or forwards `request` to the holder, retrying while the holder
    // starts up, for up to `budgetMs`. Exactly one of the two results is set; `error` says why
    // neither was possible (no private folder, for example).
    struct Outcome
    {
        std::unique_ptr<SingleInstance> instance;
        std::optional<Forwarded> forwarded;
        QString error;
    };
    static Outcome claimOrForward(const Request &request, int budgetMs = 10000);

    // Only the lock, without listening: for the step before QApplication exists. `listen()` then
    // opens the socket. Returns null while another process holds the lock.
    static std::unique_ptr<SingleInstance> tryClaim(const QString &folder, QString *error = nullptr);
    bool listen();

    // $XDG_RUNTIME_DIR when it is a private folder of ours, else "quorvin-<uid>" under the
    // temporary folder, created 0700. Empty (and `error` set) when neither can be trusted.
    static QString runtimeFolder(QString *error = nullptr);
    static QString socketPath(const QString &folder);

    // One request over the socket, checking that the listener runs as this user. Nothing when
    // there was no listener, it was someone else's, or it did not answer within `timeoutMs`.
    static std::optional<QByteArray> sendRequest(const QString &socketPath, const Request &request,
                                                 int timeoutMs);

    // Open request connections allowed at once; more are closed on arrival.
    static constexpr int maxConnections = 8;

    // Commands other than "toggle". The handler calls `reply` once, on this thread, with the
    // answer line; the connection may be gone by then.
    using Reply = std::function<void(const QByteArray &)>;
    using Handler = std::function<void(const QByteArray &command, const QByteArray &payload, Reply reply)>;
    void setRequestHandler(Handler handler) { m_handler = std::move(handler); }

Q_SIGNALS:
    void toggleRequested();

private:
    SingleInstance(QString folder, int lockFd);
    void onNewConnection();

    QString m_folder;
    int m_lockFd = -1;
    int m_connections = 0;
    QLocalServer m_server;
    Handler m_handler;
};
