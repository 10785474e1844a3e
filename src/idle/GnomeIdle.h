// GnomeIdle: GNOME's idle monitor (org.gnome.Mutter.IdleMonitor on the session bus, GNOME on
// Wayland and on X11) as an idle source, with GNOME's session manager asked for inhibitors.
// Depends on IdleSource and sd-bus (libsystemd).
#pragma once

#include "IdleSource.h"

// Null with Why set (one clause: "no session bus", "org.gnome.Mutter.IdleMonitor is not on the
// session bus") when GNOME's idle monitor cannot be used.
// While the session stays idle without the saver running (an inhibitor said no, the saver ended
// by itself or at the lock), it tells Idle again each IdleMs, so that the saver starts once it may.
std::unique_ptr<TIdleSource> OpenGnomeIdle(int IdleMs, std::string& Why);
