// X11Idle: the X server's MIT-SCREEN-SAVER extension as an idle source, for any X11 session
// without GNOME. A screen saver suspended by another client (XScreenSaverSuspend, as video
// players do) keeps it from starting. Depends on IdleSource and Xlib with libXss.
#pragma once

#include "IdleSource.h"

// Null with Why set (one clause: "DISPLAY is not set", "the X server has no MIT-SCREEN-SAVER")
// when it cannot be used.
std::unique_ptr<TIdleSource> OpenX11Idle(int IdleMs, std::string& Why);
