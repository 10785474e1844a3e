// ScreenSaverService: org.freedesktop.ScreenSaver, served by the idle watcher on the session bus
// of a desktop that has no screen-saver service of its own (sway, Hyprland, river, i3, Openbox...),
// so that the players and browsers that ask it to keep the screen on are heard. It serves the two
// object paths that players use, tracks each inhibit's caller (an inhibit ends with its caller),
// and while any inhibit that counts is held it passes it on to the session's own idle machinery
// (SessionHold), which the player would otherwise have reached itself. An inhibit coming up and a
// reported user activity are told to the watcher as Held. Depends on Bus (sd-bus), Inhibitors and
// SessionHold.
#pragma once

#include "IdleSource.h"

#include <cstddef>
#include <memory>
#include <string>

// The most inhibits one caller may hold at once; more are refused with a D-Bus error.
inline constexpr std::size_t MostInhibitsPerCaller = 64;
// The most inhibits held at once by all callers together.
inline constexpr std::size_t MostInhibits = 1024;

// Takes the name on the session bus and serves it, passing held inhibits on to the session's own
// idle machinery where it has one (OpenSessionHold); null, with Why, when there is no session bus,
// when another program owns the name or can be started for it (the desktop's own service, which
// is never taken over), or when the bus refuses. The name is given up when the service ends, or
// to a program that asks to replace it.
std::unique_ptr<TIdleSource> OpenScreenSaverService(std::string& Why);
