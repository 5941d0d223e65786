#include "platform/DesktopBackends.h"

#include <QGuiApplication>
#include <QTimer>

#include "platform/portal/PortalGlobalHotKey.h"
#include "platform/x11/CompositorWatch.h"
#include "platform/x11/X11GlobalHotKey.h"
#include "platform/x11/X11MouseMonitor.h"
#include "platform/x11/X11WindowHints.h"

namespace {

// Tries the portal first and an X grab when it refuses. The grab only sees keys while an X window
// has the keyboard, so the portal's refusal is reported all the same.
class WaylandGlobalHotKey : public GlobalHotKey
{
public:
    explicit WaylandGlobalHotKey(QObject *parent) : GlobalHotKey(parent)
    {
        connect(&m_portal, &GlobalHotKey::activated, this, &GlobalHotKey::activated);
        connect(&m_x11, &GlobalHotKey::activated, this, &GlobalHotKey::activated);
        connect(&m_portal, &GlobalHotKey::registrationFailed, this, [this](const QString &reason) {
            Q_EMIT registrationFailed(reason);
            if (X11WindowHints::isAvailable())
                m_x11.registerHotKey();
        });
    }

    void registerHotKey() override { m_portal.registerHotKey(); }
    void unregisterHotKey() override
    {
        m_portal.unregisterHotKey();
        m_x11.unregisterHotKey();
    }
    bool isRegistered() const override { return m_portal.isRegistered() || m_x11.isRegistered(); }

private:
    PortalGlobalHotKey m_portal;
    X11GlobalHotKey m_x11;
};

// Without a view of other clients' input, another application taking the activation is the sign
// that the user went elsewhere. Focus moving between this application's own windows passes
// through a short inactive moment, so the state is checked again after a pause.
class ActivationLossMonitor final : public GlobalMouseMonitor
{
public:
    ActivationLossMonitor()
    {
        m_settle.setSingleShot(true);
        m_settle.setInterval(150);
        connect(&m_settle, &QTimer::timeout, this, [this] {
            if (m_enabled && QGuiApplication::applicationState() != Qt::ApplicationActive)
                Q_EMIT outsidePress();
        });
        if (qGuiApp) {
            connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
                    [this](Qt::ApplicationState state) {
                        if (m_enabled && state != Qt::ApplicationActive)
                            m_settle.start();
                    });
        }
    }

    Mechanism mechanism() const override { return Mechanism::ActivationLoss; }
    bool isEnabled() const override { return m_enabled; }
    void setEnabled(bool enabled) override
    {
        m_enabled = enabled;
        if (!enabled)
            m_settle.stop();
    }

private:
    QTimer m_settle;
    bool m_enabled = false;
};

} // namespace

std::unique_ptr<GlobalHotKey> createGlobalHotKey(const DesktopSession &session, QObject *parent)
{
    if (session.kind == DesktopSessionKind::wayland)
        return std::make_unique<WaylandGlobalHotKey>(parent);
    if (X11WindowHints::isAvailable())
        return std::make_unique<X11GlobalHotKey>(parent);
    return nullptr;
}

std::unique_ptr<GlobalMouseMonitor> createGlobalMouseMonitor()
{
    if (auto monitor = openX11MouseMonitor())
        return monitor;
    return std::make_unique<ActivationLossMonitor>();
}

void applyFloatingPanelHints(QWindow *window)
{
    X11WindowHints::applyPanelHints(window);
}

void cutToOutlineWithoutCompositor(QWidget *window, std::function<QPainterPath(const QWidget *)> outline)
{
    CompositorWatch::shapeWhenNotComposited(window, std::move(outline));
}
