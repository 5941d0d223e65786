#pragma once

#include <xcb/xcb.h>

// The X connection Qt's xcb platform opened, shared by the X11 adapters.
namespace X11Connection {

// Null when the application does not run on X11 (offscreen, or before the display is open).
xcb_connection_t *qt();

// XCB_ATOM_NONE when the server cannot be asked.
xcb_atom_t atom(xcb_connection_t *c, const char *name);

} // namespace X11Connection
