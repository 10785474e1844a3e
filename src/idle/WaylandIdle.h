// WaylandIdle: the Wayland compositor's idle protocols as an idle source: ext_idle_notifier_v1,
// else org_kde_kwin_idle (KWin offers both, sway 1.7 only the second). Compositors hold their idle
// events back while a client holds the protocol's idle inhibitor on a surface they show; KWin 5.27
// does not for inhibitions asked on the session bus (org.freedesktop.ScreenSaver.Inhibit), which
// it hands to Plasma's power management. Depends on IdleSource and libwayland-client.
#pragma once

#include "IdleSource.h"

// Null with Why set (one clause: "WAYLAND_DISPLAY is not set", "the compositor offers neither
// ext_idle_notifier_v1 nor org_kde_kwin_idle") when no Wayland idle protocol can be used.
std::unique_ptr<TIdleSource> OpenWaylandIdle(int IdleMs, std::string& Why);
