#pragma once

#include <QObject>
#include <QString>

// A system-wide Control+Space. Backends emit `activated` on the GUI thread for every press.
// Registration failures are not errors for the caller: the application runs on without it.
class GlobalHotKey : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts registering Control+Space; may complete asynchronously.
    virtual void registerHotKey() = 0;
    // Releases the key; safe to call when nothing is registered.
    virtual void unregisterHotKey() = 0;
    virtual bool isRegistered() const = 0;

Q_SIGNALS:
    void activated();
    // Registration did not succeed; `reason` says why in a few words, for the user.
    void registrationFailed(const QString &reason);
};
