#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// One running Quorvin per user. A second launch asks the running one to toggle its panel and
// exits; desktops without a global-shortcut facility bind a key to launching the app.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);

    // True when a running instance took the toggle request (this process should then exit).
    static bool forwardToRunningInstance(const QString &socketPath = defaultSocketPath());
    // Starts listening; false when another instance still listens or the socket cannot be made.
    bool listen(const QString &socketPath = defaultSocketPath());

    // $XDG_RUNTIME_DIR/quorvin.socket, falling back to the temporary folder.
    static QString defaultSocketPath();

Q_SIGNALS:
    void toggleRequested();

private:
    void onNewConnection();
    QLocalServer m_server;
};
