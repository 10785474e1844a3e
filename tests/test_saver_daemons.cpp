// The screen-saver daemons the idle watcher will not run beside, found among this user's processes
// by their programs' names, and the desktops' own lock screens, which
// are no such daemon. (XScreenSaver's mark on the display is seen in the end-to-end test.)
#include "SaverDaemons.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

// A process of this user by the name Name: a copy of sleep under that name.
class TNamedProcess {
public:
  TNamedProcess(const std::filesystem::path& Folder, const std::string& Name) {
    const std::filesystem::path Program = Folder / Name;
    std::filesystem::copy_file("/bin/sleep", Program);
    std::string Argument0 = Program.string(), Seconds = "60";
    char* Arguments[] = {Argument0.data(), Seconds.data(), nullptr};
    char* Environment[] = {nullptr};
    if (posix_spawn(&Pid, Argument0.c_str(), nullptr, nullptr, Arguments, Environment) != 0)
      Pid = -1;
    // posix_spawn returns while the kernel still sets up the new program, before its arguments
    // can be read: wait until they can, as they can for any daemon that has started.
    const std::string CommandLine = "/proc/" + std::to_string(Pid) + "/cmdline";
    for (int Tries = 0; Pid > 0 && Tries < 500 && std::ifstream(CommandLine).peek() == EOF; ++Tries)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~TNamedProcess() {
    if (Pid <= 0) return;
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
  }
  TNamedProcess(const TNamedProcess&) = delete;
  TNamedProcess& operator=(const TNamedProcess&) = delete;
  pid_t Id() const { return Pid; }

private:
  pid_t Pid = -1;
};

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

}  // namespace
