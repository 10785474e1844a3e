#include "SaverDaemons.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace {

int IgnoreError(Display*, XErrorEvent*) { return 0; }

// Xlib's errors ignored while it lives (the default handler ends the process).
struct TQuietErrors {
  XErrorHandler Before = XSetErrorHandler(&IgnoreError);
  ~TQuietErrors() { XSetErrorHandler(Before); }
  TQuietErrors() = default;
  TQuietErrors(const TQuietErrors&) = delete;
  TQuietErrors& operator=(const TQuietErrors&) = delete;
};

// XScreenSaver's daemon marks a window of its own, a child of the root window, with its version:
// that tells it runs on this very display, whoever started it.
std::string XScreenSaverOnDisplay() {
  const char* Name = std::getenv("DISPLAY");
  if (!Name || !*Name) return {};
  const std::unique_ptr<Display, int (*)(Display*)> D(XOpenDisplay(Name), &XCloseDisplay);
  if (!D) return {};
  // A child window may go away while it is read: that is no error worth ending for.
  const TQuietErrors Quiet;
  const Atom Version = XInternAtom(D.get(), "_SCREENSAVER_VERSION", True);
  Window RootBack = 0, Parent = 0, *Children = nullptr;
  unsigned Count = 0;
  if (Version == None ||
      !XQueryTree(D.get(), DefaultRootWindow(D.get()), &RootBack, &Parent, &Children, &Count))
    return {};
  const std::unique_ptr<Window, int (*)(void*)> Free(Children, &XFree);
  for (unsigned I = 0; I < Count; ++I) {
    Atom Type = None;
    int Format = 0;
    unsigned long Items = 0, After = 0;
    unsigned char* Data = nullptr;
    if (XGetWindowProperty(D.get(), Children[I], Version, 0, 16, False, XA_STRING, &Type, &Format,
                           &Items, &After, &Data) == Success && Data) {
      XFree(Data);
      if (Type == XA_STRING) return std::string("XScreenSaver is running on display ") + Name;
    }
  }
  return {};
}

// The daemons that run display modes, by their programs' names.
constexpr std::pair<std::string_view, std::string_view> Daemons[] = {
    {"xscreensaver", "XScreenSaver"},
    {"mate-screensaver", "MATE's screen saver (mate-screensaver)"},
    {"xfce4-screensaver", "Xfce's screen saver (xfce4-screensaver)"},
};

// The name of the program process Folder runs: its first argument's last part (the kernel's own
// name for it keeps 15 characters, which would take mate-screensaver-preferences for the daemon).
std::string ProgramName(const std::filesystem::path& Folder) {
  std::string First;
  std::getline(std::ifstream(Folder / "cmdline"), First, '\0');
  return std::filesystem::path(First).filename();
}

// The login a process was started in (the user who logged in, kept across changes of user);
// empty when unset, as for processes outside any login.
std::string LoginOf(const std::filesystem::path& Folder) {
  std::string Uid;
  std::ifstream(Folder / "loginuid") >> Uid;
  return Uid == "4294967295" ? std::string() : Uid;
}

// The first process of this user (see RunningProgram) whose program is one of Programs, as its
// process id and program name.
std::optional<std::pair<std::string, std::string>> FindProgram(
    std::span<const std::string_view> Programs, bool LoginToo) {
  const std::string MyLogin = LoginToo ? LoginOf("/proc/self") : std::string();
  std::error_code Error;
  for (const auto& Entry : std::filesystem::directory_iterator("/proc", Error)) {
    const std::string Pid = Entry.path().filename();
    struct stat Info{};
    if (!std::isdigit(static_cast<unsigned char>(Pid[0])) || stat(Entry.path().c_str(), &Info) != 0)
      continue;
    if (Info.st_uid != getuid() && (MyLogin.empty() || LoginOf(Entry.path()) != MyLogin)) continue;
    const std::string Program = ProgramName(Entry.path());
    if (std::find(Programs.begin(), Programs.end(), Program) != Programs.end())
      return std::pair(Pid, Program);
  }
  return std::nullopt;
}

// A daemon running as this user (a daemon of another user's session is none of ours).
std::string DaemonProcessOfThisUser() {
  std::vector<std::string_view> Names;
  for (const auto& Daemon : Daemons) Names.push_back(Daemon.first);
  const auto Found = FindProgram(Names, false);
  if (!Found) return {};
  for (const auto& [Name, What] : Daemons)
    if (Found->second == Name)
      return std::string(What) + " is running (process " + Found->first + ")";
  return {};
}

// The lockers that run only while the screen is locked. (i3lock-color installs itself as i3lock;
// its own name is there for builds that keep it.) Programs that run all the time and lock when
// told (light-locker, cinnamon-screensaver, xss-lock) are not among them.
constexpr std::string_view Lockers[] = {
    "swaylock", "hyprlock",    "waylock", "gtklock",
    "i3lock",   "i3lock-color", "xsecurelock", "slock",
    "kscreenlocker_greet",
};

}  // namespace

std::string RunningSaverDaemon() {
  if (std::string Found = XScreenSaverOnDisplay(); !Found.empty()) return Found;
  return DaemonProcessOfThisUser();
}

std::string RunningProgram(std::span<const std::string_view> Programs) {
  const auto Found = FindProgram(Programs, true);
  return Found ? Found->second + " is running (process " + Found->first + ")" : std::string();
}

std::string RunningScreenLocker() { return RunningProgram(Lockers); }
