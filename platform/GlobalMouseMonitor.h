#pragma once

#include <QObject>

// Tells when the user presses the left or right mouse button outside every window of this
// application, without grabbing or consuming the press. Presses on this application's own windows
// are left to an application event filter, which sees them with their target.
class GlobalMouseMonitor : public QObject
{
    Q_OBJECT

public:
    enum class Mechanism {
        // XInput 2 raw button events on the root window: every press in every X client.
        X11RawEvents,
        // No way to see other clients' presses (Wayland): the application losing the activation to
        // another application stands in for a press there.
        ActivationLoss,
    };

    virtual Mechanism mechanism() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

Q_SIGNALS:
    void outsidePress();

protected:
    GlobalMouseMonitor() = default;
};
