#include "GnomeSession.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// A bus for this session alone: anyone may connect (the test, as root, talks to nobody's bus)
// and own any name, and nothing is started on demand: the system's activatable services (the
// desktop portals, whose document store mounts itself in the runtime folder, a calendar server)
// would outlive the session, and the tests need none of them.
std::string BusConfig(const std::string& Type, const fs::path& Socket) {
  return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig>\n  <type>" + Type + "</type>\n"
         "  <listen>unix:path=" + Socket.string() + "</listen>\n"
         "  <auth>EXTERNAL</auth>\n"
         "  <policy context=\"default\">\n"
         "    <allow user=\"*\"/>\n    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
         "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n";
}

constexpr const char* StuckMessage = "GNOME Shell hangs, waiting for a child it forked";

}  // namespace

TGnomeSession::TGnomeSession(const std::string& Program, const std::vector<std::string>& Beside,
                             const std::string& DataDir) {
  if (getuid() == 0)
    if (const passwd* Nobody = getpwnam("nobody"))
      User = TProcess::TUser{Nobody->pw_uid, Nobody->pw_gid};
  const fs::path Root = Scratch.Path();
  for (const char* Folder : {"run", "autostart", "share/gnome-session/sessions"})
    fs::create_directories(Root / Folder);
  fs::copy(Program, Root / "vadrel");
  for (const std::string& Each : Beside) fs::copy(Each, Root / fs::path(Each).filename());
  fs::copy(DataDir, Root / "data", fs::copy_options::recursive);
  // gnome-session with neither components nor autostart folders: nothing but the manager.
  std::ofstream(Root / "share/gnome-session/sessions/vadrel-empty.session")
      << "[GNOME Session]\nName=Empty\nRequiredComponents=\n";
  std::ofstream(Root / "system.conf") << BusConfig("system", Root / "system_bus");
  std::ofstream(Root / "session.conf") << BusConfig("session", Root / "session_bus");
  if (User) CopySanitizerFiles();
  HandOver();
  SystemAddress = "unix:path=" + (Root / "system_bus").string();
  SessionAddress = "unix:path=" + (Root / "session_bus").string();
}

// A sanitized build's suite preloads a library and names a suppressions file, both in the build
// folder, which the session's user may not reach: it gets copies.
void TGnomeSession::CopySanitizerFiles() {
  const fs::path Root = Scratch.Path();
  if (const char* Preload = std::getenv("LD_PRELOAD"); Preload && *Preload) {
    fs::copy(Preload, Root / "preload.so");
    SanitizerOverrides.push_back("LD_PRELOAD=" + (Root / "preload.so").string());
  }
  const char* Options = std::getenv("LSAN_OPTIONS");
  const std::string Leaks = Options ? Options : "";
  const std::size_t At = Leaks.find("suppressions=");
  if (At == std::string::npos) return;
  const std::size_t From = At + 13, To = std::min(Leaks.find(':', From), Leaks.size());
  fs::copy(Leaks.substr(From, To - From), Root / "sanitize.supp");
  SanitizerOverrides.push_back("LSAN_OPTIONS=" + Leaks.substr(0, From) +
                               (Root / "sanitize.supp").string() + Leaks.substr(To));
}

// The folder and all in it belong to the session's user; the runtime folder is private to it,
// as the shell and the buses insist.
void TGnomeSession::HandOver() {
  const fs::path Root = Scratch.Path();
  if (User) {
    for (const auto& Entry : fs::recursive_directory_iterator(Root))
      if (lchown(Entry.path().c_str(), User->Uid, User->Gid) != 0) return;
    if (chown(Root.c_str(), User->Uid, User->Gid) != 0) return;
  }
  chmod((Root / "run").c_str(), 0700);
}

TProcess::TSetting TGnomeSession::Setting(std::vector<std::string> Extra) const {
  const std::string Root = Scratch.Path().string();
  Extra.insert(Extra.end(),
               {"DISPLAY", "WAYLAND_DISPLAY=wayland-0", "HOME=" + Root,
                "XDG_RUNTIME_DIR=" + Root + "/run", "XDG_CONFIG_HOME=" + Root + "/config",
                "XDG_SESSION_ID", "XDG_CURRENT_DESKTOP=GNOME",
                "DBUS_SESSION_BUS_ADDRESS=" + SessionAddress,
                "DBUS_SYSTEM_BUS_ADDRESS=" + SystemAddress, "VADREL_DATA=" + Root + "/data",
                "SDL_VIDEODRIVER"});
  Extra.insert(Extra.end(), SanitizerOverrides.begin(), SanitizerOverrides.end());
  return {Extra, User, Root};
}

std::string TGnomeSession::Start() {
  if (std::string Why = StartBus("system", SystemBus, SystemAddress); !Why.empty()) return Why;
  if (std::string Why = StartBus("session", SessionBus, SessionAddress); !Why.empty()) return Why;
  if (std::string Why = StartShell(); !Why.empty()) return Why;
  return StartRemoteDesktop();
}

std::string TGnomeSession::StartBus(const char* Type, std::optional<TProcess>& Daemon,
                                    std::string& Address) {
  const fs::path Config = Scratch.Path() / (std::string(Type) + ".conf");
  Daemon.emplace("dbus-daemon",
                 std::vector<std::string>{"--nofork", "--config-file=" + Config.string()},
                 Setting());
  const fs::path Socket = Address.substr(std::string("unix:path=").size());
  if (!WaitFor([&] { return fs::exists(Socket) || !Daemon->Running(); }, 20s) || !Daemon->Running())
    return std::string("the ") + Type + " bus did not start: " + Daemon->Stderr();
  return {};
}

// GNOME Shell starts its input-method daemon at start-up, running script in the forked child
// before the daemon's program; that child deadlocked on a lock some other thread held at the fork
// in about one start in twenty here, and the shell, waiting for it, then answered nothing ever
// after. Such a shell is replaced, twice at most.
std::string TGnomeSession::StartShell() {
  for (Starts = 1;; ++Starts) {
    Shell.reset();
    Stuck = false;
    ForkedChild.reset();
    // --unsafe-mode: the test may take screenshots and set the overview without owning the
    // names the shell otherwise requires of its callers.
    Shell.emplace("gnome-shell",
                  std::vector<std::string>{"--wayland", "--headless", "--no-x11",
                                           "--virtual-monitor", "1280x800", "--unsafe-mode"},
                  Setting());
    const std::string Why = ShellReady();
    if (!Stuck || Starts == 3) return Why;
  }
}

// A child of the shell that is still the shell's own program seconds after the fork.
bool TGnomeSession::StuckInFork() {
  const fs::path Own = ProgramOf(Shell->Id());
  std::optional<pid_t> Forked;
  for (const pid_t Child : ChildrenOf(Shell->Id()))
    if (ProgramOf(Child) == Own) Forked = Child;
  if (!Forked)
    ForkedChild.reset();
  else if (!ForkedChild || ForkedChild->first != *Forked)
    ForkedChild.emplace(*Forked, Clock::now());
  Stuck = ForkedChild && Clock::now() - ForkedChild->second > 3s;
  return Stuck;
}

std::string TGnomeSession::ShellReady() {
  const auto Up = [&] {
    if (!Bus) Bus = TBus::Open(SessionAddress);
    return Bus && Bus->HasOwner("org.gnome.Mutter.IdleMonitor") &&
           Bus->HasOwner("org.gnome.Shell") &&
           fs::exists(Scratch.Path() / "run/wayland-0");
  };
  if (!WaitFor([&] { return Up() || !Shell->Running() || StuckInFork(); }, 60s) ||
      !Shell->Running())
    return "GNOME Shell did not start: " + Shell->Stderr();
  if (Stuck) return StuckMessage;
  return CloseOverview();
}

// The shell opens its overview at the end of its start-up, which may come after its names are on
// the bus; a person leaves it at the first key, the test tells the shell so, once it is open (or
// has had time to open), and until it stays closed. A failure lists each change in the shell's
// answers with its time.
std::string TGnomeSession::CloseOverview() {
  WaitFor([&] { return OverviewActive() || StuckInFork(); }, 20s);
  const auto Start = Clock::now();
  std::string Answers, Last;
  const auto Closed = [&] {
    if (StuckInFork()) return true;
    std::string Error;
    Bus->Call("org.gnome.Shell", "/org/gnome/Shell", "org.freedesktop.DBus.Properties", "Set",
              Error, "ssv", "org.gnome.Shell", "OverviewActive", "b", 0);
    bool Open = OverviewActive();
    if (!Open) {
      std::this_thread::sleep_for(1s);
      Open = OverviewActive();
    }
    const std::string Answer = !Error.empty() ? Error : Open ? "still open" : "closed";
    if (Answer != Last) {
      const auto Seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - Start);
      Answers += " " + Answer + " at " + std::to_string(Seconds.count()) + " s;";
    }
    Last = Answer;
    return !Open;
  };
  if (!WaitFor(Closed, 30s)) return "the overview stays:" + Answers;
  if (Stuck) return StuckMessage;
  return {};
}

bool TGnomeSession::OverviewActive() {
  std::string Error;
  TBusMessage Reply = Bus->Call("org.gnome.Shell", "/org/gnome/Shell",
                                "org.freedesktop.DBus.Properties", "Get", Error, "ss",
                                "org.gnome.Shell", "OverviewActive");
  int Active = 1;
  return !Reply || sd_bus_message_read(Reply.get(), "v", "b", &Active) < 0 || Active;
}

std::string TGnomeSession::StartRemoteDesktop() {
  std::string Error;
  TBusMessage Reply = Bus->Call("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                                "org.gnome.Mutter.RemoteDesktop", "CreateSession", Error, "");
  const char* Path = nullptr;
  if (!Reply || sd_bus_message_read(Reply.get(), "o", &Path) < 0)
    return "no remote-desktop session: " + Error;
  RemoteSession = Path;
  if (!Bus->Call("org.gnome.Mutter.RemoteDesktop", Path, "org.gnome.Mutter.RemoteDesktop.Session",
                 "Start", Error, ""))
    return "the remote-desktop session did not start: " + Error;
  // Its first key is lost.
  constexpr unsigned ShiftL = 0xffe1;
  TapKey(ShiftL);
  return {};
}

bool TGnomeSession::MovePointer(double Dx, double Dy) {
  std::string Error;
  return Bus->Call("org.gnome.Mutter.RemoteDesktop", RemoteSession.c_str(),
                   "org.gnome.Mutter.RemoteDesktop.Session", "NotifyPointerMotionRelative", Error,
                   "dd", Dx, Dy) != nullptr;
}

bool TGnomeSession::TapKey(unsigned Keysym) {
  std::string Error;
  bool Sent = true;
  for (int Pressed : {1, 0})
    Sent &= Bus->Call("org.gnome.Mutter.RemoteDesktop", RemoteSession.c_str(),
                      "org.gnome.Mutter.RemoteDesktop.Session", "NotifyKeyboardKeysym", Error,
                      "ub", Keysym, Pressed) != nullptr;
  return Sent;
}

bool TGnomeSession::IdleInhibited() {
  std::string Error;
  constexpr std::uint32_t Idle = 8;
  TBusMessage Reply = Bus->Call("org.gnome.SessionManager", "/org/gnome/SessionManager",
                                "org.gnome.SessionManager", "IsInhibited", Error, "u", Idle);
  int Inhibited = 0;
  return Reply && sd_bus_message_read(Reply.get(), "b", &Inhibited) >= 0 && Inhibited;
}

TPicture TGnomeSession::Screenshot(std::string& Error) {
  const fs::path File = Scratch.Path() / "shot.png";
  fs::remove(File);
  TBusMessage Reply = Bus->Call("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot",
                                "org.gnome.Shell.Screenshot", "Screenshot", Error, "bbs", 0, 0,
                                File.c_str());
  int Done = 0;
  const char* Used = nullptr;
  if (!Reply || sd_bus_message_read(Reply.get(), "bs", &Done, &Used) < 0 || !Done) {
    if (Error.empty()) Error = "the shell took no screenshot";
    return {};
  }
  return ReadPicture(File.string());
}

std::string TGnomeSession::StartSessionManager() {
  if (SessionManager && SessionManager->Running()) return {};
  const std::string Root = Scratch.Path().string();
  SessionManager.emplace("/usr/libexec/gnome-session-binary",
                         std::vector<std::string>{"--builtin", "--session=vadrel-empty",
                                                  "--autostart=" + Root + "/autostart"},
                         Setting({"XDG_DATA_DIRS=" + Root + "/share:/usr/local/share:/usr/share"}));
  const auto Up = [&] {
    return Bus->HasOwner("org.gnome.SessionManager") || !SessionManager->Running();
  };
  if (!WaitFor(Up, 30s) || !SessionManager->Running())
    return "GNOME's session manager did not start: " + SessionManager->Stderr();
  return {};
}
