// PowerDevil: KDE's power management (org.kde.Solid.PowerManagement.PolicyAgent on the session
// bus) as an inhibitor watch of the idle watcher. On Plasma, KWin hands the inhibits that players
// ask of org.freedesktop.ScreenSaver on to it, so this is where they are seen. Depends on
// IdleSource, Inhibitors (which reasons count) and sd-bus (libsystemd).
#pragma once

#include "IdleSource.h"

// The saver is held off while the agent keeps the screen's settings from changing (HasInhibition
// of ChangeScreenSettings, which PowerDevil grants a few seconds after it was asked, and also while
// the session is not the one in front) and, of the inhibitions it lists, none at all or one whose
// reason counts (HoldsOffSaver): the list does not say which inhibition is of the screen. Held is
// told when that starts with an inhibition added. The watch waits on the bus's descriptor alone.
// Null with Why set ("no session bus", "org.kde.Solid.PowerManagement.PolicyAgent is not on the
// session bus"), unless the session is Plasma's (XDG_CURRENT_DESKTOP), which starts the agent
// beside the watcher: it is then followed from when it comes. A name that is only activatable
// counts as absent.
std::unique_ptr<TIdleSource> OpenPowerDevil(std::string& Why);
