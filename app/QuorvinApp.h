#pragma once

#include <QObject>

#include <functional>
#include <memory>

#include "platform/DesktopSession.h"

class AppDelegate;
class SingleInstance;
class UnixSignalWatcher;

// The application as a whole: builds the delegate with the real main view, hot key and auxiliary
// windows, and ties "Quit Quorvin", SIGTERM/SIGINT and second launches to it.
class QuorvinApp : public QObject
{
    Q_OBJECT

public:
    QuorvinApp(const DesktopSession &session, std::unique_ptr<SingleInstance> instance);
    ~QuorvinApp() override;

    void start();
    // Ends the event loop; the shutdown sequence runs from aboutToQuit.
    static void quit();
    AppDelegate *delegate() const { return m_delegate.get(); }
    // A request from another launch ("add", "add-text"); returns the reply line.
    QByteArray handleRequest(const QByteArray &command, const QByteArray &payload);

private:
    std::unique_ptr<AppDelegate> m_delegate;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<UnixSignalWatcher> m_signals;
    std::function<QByteArray(const QByteArray &, const QByteArray &)> m_requests;
};
