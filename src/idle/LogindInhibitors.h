// LogindInhibitors: logind's idle inhibitors (org.freedesktop.login1 on the system bus), which
// players and presentations take on every desktop, as an inhibitor watch of the idle watcher.
// Depends on IdleSource, Inhibitors (which reasons count) and sd-bus (libsystemd).
#pragma once

#include "IdleSource.h"

// An inhibitor holds the saver off when it blocks (mode "block") "idle" among its colon-separated
// kinds and its reason is one that counts (HoldsOffSaver). Held is told when the first such
// inhibitor comes up; the watch waits on the bus's descriptor alone, listing the inhibitors only
// when logind says its blocking ones changed and when asked Inhibited().
// Null with Why set ("no system bus", "org.freedesktop.login1 is not on the system bus").
std::unique_ptr<TIdleSource> OpenLogindInhibitors(std::string& Why);
