// LockWatch: tells when the session locks and unlocks, from whatever of these the session has:
// GNOME's org.gnome.ScreenSaver and the desktops' org.freedesktop.ScreenSaver (ActiveChanged) on
// the session bus, and logind's LockedHint of this session on the system bus. Its events are
// Locked and Unlocked. Depends on IdleSource and sd-bus (libsystemd).
#pragma once

#include "IdleSource.h"

// Null when the session offers none of them (the watcher then goes on without).
std::unique_ptr<TIdleSource> OpenLockWatch();
