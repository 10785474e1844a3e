// Inhibitors: which of the reasons that programs give when they ask the screen to stay on hold off
// the saver. Shared by every inhibitor watch (the served org.freedesktop.ScreenSaver, logind's idle
// inhibitors, KDE's PowerDevil) so that a reason counts the same wherever it was asked. Plain C++.
#pragma once

#include <string_view>

// False only for a reason that speaks of sound and not of pictures ("Playing audio", "music"):
// a music player keeps the screen on only where the user has said so in the player, and the
// saver is what the user chose for an unattended screen. Any other reason, an empty one too,
// holds the saver off.
bool HoldsOffSaver(std::string_view Reason);
