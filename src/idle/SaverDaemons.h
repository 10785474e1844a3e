// SaverDaemons: finds a screen-saver daemon that runs display modes itself (XScreenSaver, MATE's,
// Xfce's) already watching this session, with which the idle watcher would fight over the screen.
// A desktop's own lock screen (GNOME Shell's, Cinnamon's, KDE's) is not such a daemon. Depends on
// Xlib (the display's root window) and /proc.
#pragma once

#include <string>

// The daemon running on this X display or as this user, as one clause naming it and how it was
// seen ("XScreenSaver (its version is on the display's root window)"); empty when there is none.
std::string RunningSaverDaemon();
