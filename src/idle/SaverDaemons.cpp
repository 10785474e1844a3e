#include "SaverDaemons.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string_view>

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

// One of them running as this user (a daemon of another user's session is none of ours).
std::string DaemonProcessOfThisUser() {
  std::error_code Error;
  for (const auto& Entry : std::filesystem::directory_iterator("/proc", Error)) {
    const std::string Pid = Entry.path().filename();
    struct stat Info{};
    if (!std::isdigit(static_cast<unsigned char>(Pid[0])) ||
        stat(Entry.path().c_str(), &Info) != 0 || Info.st_uid != getuid())
      continue;
    const std::string Program = ProgramName(Entry.path());
    for (const auto& [Name, What] : Daemons)
      if (Program == Name) return std::string(What) + " is running (process " + Pid + ")";
  }
  return {};
}

}  // namespace

std::string RunningSaverDaemon() {
  if (std::string Found = XScreenSaverOnDisplay(); !Found.empty()) return Found;
  return DaemonProcessOfThisUser();
}
