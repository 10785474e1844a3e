// X11Idle: the X server's MIT-SCREEN-SAVER extension as an idle source, for any X11 session
// without GNOME. A screen saver suspended by another client (XScreenSaverSuspend, as video
// players do) keeps it from starting. Depends on IdleSource and Xlib with libXss.
//
// It listens to the server's own screen-saver timer, set to the watcher's time while it runs (the
// user's time is put back at its end), with an invisible saver window registered so that the
// server neither blanks nor tiles the screen. The other way, timing the idle time the extension
// reports, would change no server setting, but that time ignores a suspended screen saver and the
// resets players send: it would start the saver over a video. Only the timer honours both.
#pragma once

#include "IdleSource.h"

// Null with Why set (one clause: "DISPLAY is not set", "the X server has no MIT-SCREEN-SAVER")
// when it cannot be used.
std::unique_ptr<TIdleSource> OpenX11Idle(int IdleMs, std::string& Why);
