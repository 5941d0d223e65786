#pragma once

#include <memory>

#include "platform/DesktopSession.h"
#include "platform/GlobalHotKey.h"
#include "platform/GlobalMouseMonitor.h"

// Picks the adapter for this session among the backends (x11/, portal/).

// The desktop portal on Wayland (falling back to an X grab if the portal refuses), an X grab on
// X11, none without either. Null when there is no backend.
std::unique_ptr<GlobalHotKey> createGlobalHotKey(const DesktopSession &session, QObject *parent = nullptr);

// The best mouse monitor the running platform allows. Starts disabled.
std::unique_ptr<GlobalMouseMonitor> createGlobalMouseMonitor();
