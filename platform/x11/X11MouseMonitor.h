#pragma once

#include <memory>

#include "platform/GlobalMouseMonitor.h"

// XInput 2 raw button presses on the root window, seen on a private X connection. Null when the
// application does not run on xcb or the server lacks XInput 2.1.
std::unique_ptr<GlobalMouseMonitor> openX11MouseMonitor();
