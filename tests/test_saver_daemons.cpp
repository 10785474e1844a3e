// The screen-saver daemons the idle watcher will not run beside and the screen lockers behind which
// it starts no saver, found among this user's processes by their programs' names; the desktops'
// own lock screens and the programs that run all the time are neither. (XScreenSaver's mark on the
// display is seen in the end-to-end test.)
#include "SaverDaemons.h"
#include "NamedProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(RunningSaverDaemon, NamesTheDaemonsButNotTheLockScreens) {
  const char* const Display = std::getenv("DISPLAY");
  const std::string DisplayBefore = Display ? Display : "";
  unsetenv("DISPLAY");  // this user's processes alone
  const struct {
    const char* Process;
    const char* Found;  // what the line starts with; nullptr: not a daemon
  } Cases[] = {
      {"xscreensaver", "XScreenSaver is running (process "},
      {"mate-screensaver", "MATE's screen saver (mate-screensaver) is running (process "},
      {"xfce4-screensaver", "Xfce's screen saver (xfce4-screensaver) is running (process "},
      {"gnome-shell", nullptr},
      {"cinnamon-screensaver", nullptr},
      {"kscreenlocker_greet", nullptr},
      {"xscreensaver-settings", nullptr},
      {"mate-screensaver-preferences", nullptr},  // the same first 15 characters as the daemon
  };
  for (const auto& C : Cases) {
    TTempDir Folder;
    const TNamedProcess Process(Folder.Path(), C.Process);
    ASSERT_GT(Process.Id(), 0) << C.Process;
    const std::string Pid = "(process " + std::to_string(Process.Id()) + ")";
    const std::string Found = RunningSaverDaemon();
    if (C.Found) {
      EXPECT_TRUE(Found.starts_with(C.Found)) << C.Process << ": " << Found;
      EXPECT_NE(Found.find(Pid), std::string::npos) << C.Process << ": " << Found;
    } else {
      EXPECT_EQ(Found.find(Pid), std::string::npos) << C.Process << ": " << Found;
    }
  }
  if (!DisplayBefore.empty()) setenv("DISPLAY", DisplayBefore.c_str(), 1);
}

// The lockers' processes by their programs' names. Another locker of this user may run meanwhile
// (the daemons' test starts KDE's greeter): the clause is then checked only when none ran before.
TEST(RunningScreenLocker, NamesTheLockersButNotTheDaemonsThatRunAllTheTime) {
  const struct {
    const char* Process;
    bool Locker;
  } Cases[] = {
      {"swaylock", true},           {"hyprlock", true},
      {"waylock", true},            {"gtklock", true},
      {"i3lock", true},             {"i3lock-color", true},
      {"xsecurelock", true},        {"slock", true},
      {"kscreenlocker_greet", true},  // the same first 15 characters as the next one
      {"kscreenlocker_greeter", false},
      {"swayidle", false},          {"hypridle", false},
      {"light-locker", false},      {"cinnamon-screensaver", false},
      {"xss-lock", false},          {"gnome-shell", false},
  };
  for (const auto& C : Cases) {
    TTempDir Folder;
    const std::string Before = RunningScreenLocker();
    const TNamedProcess Process(Folder.Path(), C.Process);
    ASSERT_GT(Process.Id(), 0) << C.Process;
    const std::string Clause =
        std::string(C.Process) + " is running (process " + std::to_string(Process.Id()) + ")";
    const std::string Found = RunningScreenLocker();
    if (C.Locker && Before.empty()) {
      EXPECT_EQ(Found, Clause);
    } else if (C.Locker) {
      EXPECT_FALSE(Found.empty()) << C.Process;
    } else {
      EXPECT_EQ(Found.find(Clause), std::string::npos) << C.Process << ": " << Found;
    }
  }
}

}  // namespace
