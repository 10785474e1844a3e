// SaverDaemons: finds a screen-saver daemon that runs display modes itself (XScreenSaver, MATE's,
// Xfce's) already watching this session, with which the idle watcher would fight over the screen,
// and a screen locker that holds the session now (swaylock, i3lock, KDE's greeter...), which no
// session service tells of and behind which the watcher must start no saver. A desktop's own lock
// screen that runs all the time (GNOME Shell's, Cinnamon's, light-locker) is neither. Depends on
// Xlib (the display's root window) and /proc.
#pragma once

#include <span>
#include <string>
#include <string_view>

// The daemon running on this X display or as this user, as one clause naming it and how it was
// seen ("XScreenSaver (its version is on the display's root window)"); empty when there is none.
std::string RunningSaverDaemon();

// A screen locker of this user running now, as one clause ("swaylock is running (process 123)");
// empty when there is none. Lockers run only while the screen is locked, so one running means a
// lock, whichever compositor or X server it covers.
std::string RunningScreenLocker();

// A process of this user running one of Programs (matched by the program's own name, not the
// kernel's 15 characters), in the same clause; empty when there is none. A process counts as this
// user's when it runs as this user or was started in this user's login (a locker that has given up
// its privileges for another user's, as slock does).
std::string RunningProgram(std::span<const std::string_view> Programs);
