#include "platform/GlobalHotKey.h"

#include "platform/PortalGlobalHotKey.h"
#include "platform/X11GlobalHotKey.h"
#include "platform/X11WindowHints.h"

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
                m_x11.registerHotKey(m_identity);
        });
    }

    void registerHotKey(GlobalHotKeyID identity) override
    {
        m_identity = identity;
        m_portal.registerHotKey(identity);
    }
    void unregisterHotKey() override
    {
        m_portal.unregisterHotKey();
        m_x11.unregisterHotKey();
    }
    bool isRegistered() const override { return m_portal.isRegistered() || m_x11.isRegistered(); }

private:
    PortalGlobalHotKey m_portal;
    X11GlobalHotKey m_x11;
    GlobalHotKeyID m_identity;
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
