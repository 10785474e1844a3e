// Real media players, and the programs that ask for the screen on their behalf, against the idle
// watcher on desktops the test starts, each with a session bus of its own on which the watcher
// serves org.freedesktop.ScreenSaver: VLC 3.0, which shows its video through X11 (under sway
// through Xwayland) and asks that service to keep the screen on; mpv under sway, which holds the
// compositor's idle inhibitor; a client holding an inhibit on each of the service's two paths; and
// the desktop portal's Inhibit, which its GTK backend passes on to the service. While one holds,
// no saver starts (and one started before it goes); once it has quit or died, one starts. The
// players loop a short clip the test writes. The watcher is the lean vadrel-idle with a sleeper
// for its saver: what the saver shows is no matter here. One desktop of each kind serves every
// test of its suite (Sway.*, X11.*); as root its programs run as nobody, since VLC and sway
// refuse root.
#include <gtest/gtest.h>  // before Xlib, whose macros clash with its names

#include "Players.h"
#include "Sessions.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <functional>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto StartTimeout = 60s;  // a player's or a saver's start on a loaded machine

// A desktop of the suite's kind with its session bus, and what its tests ask of it.
class TPlayerDesktop {
public:
  virtual ~TPlayerDesktop() = default;
  // Empty once it is up, else why not; Missing: a program it needs is not installed.
  const std::string& Failure() const { return Why; }
  bool Missing() const { return Absent; }
  virtual TSessionBus& Bus() = 0;
  // The setting of a program in the session, on its bus, Extra on top.
  virtual TProcess::TSetting Setting(std::vector<std::string> Extra = {}) const = 0;
  // The X display that X11 programs show on.
  virtual std::string XDisplay() const = 0;
  // Whether a window of process Player is up.
  virtual bool Shows(pid_t Player) = 0;
  // The watcher and the clip, where the session's user can reach them.
  std::string Watcher, Clip;
  // Two idle periods, or longer where the suite's first watcher took longer to start its saver.
  Clock::duration Quiet{};

protected:
  std::string Why;
  bool Absent = false;
};

class TSwayPlayers final : public TPlayerDesktop {
public:
  TSwayPlayers() {
    std::string Lacking;
    Session = TSwaySession::Open(VADREL_PROGRAM, VADREL_BUILD_DATA_DIR, 1, Lacking);
    if (!Session || !Session->Failure().empty()) {
      Absent = !Session;
      Why = Session ? Session->Failure() : "no " + Lacking;
      return;
    }
    fs::create_directory(Session->Folder() / "dbus");
    SessionBus.emplace(Session->Folder() / "dbus", Session->Setting({"XDG_CURRENT_DESKTOP=sway"}),
                       PortalServices());
    Why = SessionBus->Failure();
    Watcher = Session->Copy(VADREL_IDLE_PROGRAM);
    WriteClip(Clip = (Session->Folder() / "clip.y4m").string());
    // sway's Xwayland display, as the programs sway starts see it.
    const fs::path Shown = Session->Folder() / "display";
    std::string Answer;
    Session->Message({"exec", "printf %s \"$DISPLAY\" >" + Shown.string()}, Answer);
    WaitFor([&] { return fs::exists(Shown) && fs::file_size(Shown) > 0; }, 10s);
    std::getline(std::ifstream(Shown), Display);
    if (Why.empty() && Display.empty()) Why = "sway has no Xwayland display: " + Answer;
  }

  TSessionBus& Bus() override { return *SessionBus; }
  TProcess::TSetting Setting(std::vector<std::string> Extra) const override {
    Extra.insert(Extra.begin(), "DBUS_SESSION_BUS_ADDRESS=" + SessionBus->Address());
    return Session->Setting(std::move(Extra));
  }
  std::string XDisplay() const override { return Display; }
  bool Shows(pid_t Player) override { return Session->Maps(Player); }
  TSwaySession& Sway() { return *Session; }

private:
  std::unique_ptr<TSwaySession> Session;
  std::optional<TSessionBus> SessionBus;  // ends before the session
  std::string Display;
};

// Xvfb under openbox, as root its programs run as nobody.
class TX11Players final : public TPlayerDesktop {
public:
  TX11Players() {
    if (!fs::exists("/usr/bin/openbox")) {
      Absent = true;
      Why = "no openbox";
      return;
    }
    if (getuid() == 0)
      if (const passwd* Nobody = getpwnam("nobody"))
        User = TProcess::TUser{Nobody->pw_uid, Nobody->pw_gid};
    fs::create_directories(Scratch.Path() / "run");
    fs::permissions(Scratch.Path() / "run", fs::perms::owner_all);
    Server.emplace("640x480x24");
    if (!(Why = Server->Failure()).empty()) return;
    if (!(Why = StartOpenbox(WindowManager, Server->Connection(), Server->On())).empty()) return;
    Watcher = Copy(VADREL_IDLE_PROGRAM);
    WriteClip(Clip = (Scratch.Path() / "clip.y4m").string());
    for (const auto& Entry : fs::recursive_directory_iterator(Scratch.Path()))
      Give(Entry.path());
    Give(Scratch.Path());
    fs::create_directory(Scratch.Path() / "dbus");
    SessionBus.emplace(Scratch.Path() / "dbus", Base({}));
    Why = SessionBus->Failure();
  }

  TSessionBus& Bus() override { return *SessionBus; }
  TProcess::TSetting Setting(std::vector<std::string> Extra) const override {
    Extra.insert(Extra.begin(), "DBUS_SESSION_BUS_ADDRESS=" + SessionBus->Address());
    return Base(std::move(Extra));
  }
  std::string XDisplay() const override { return Server->Name(); }
  // Openbox manages its window (the only client there is).
  bool Shows(pid_t) override {
    return !RootWindows(Server->Connection(), "_NET_CLIENT_LIST").empty();
  }

private:
  TProcess::TSetting Base(std::vector<std::string> Extra) const {
    const std::string Root = Scratch.Path().string();
    Extra.insert(Extra.begin(), {"HOME=" + Root, "XDG_RUNTIME_DIR=" + Root + "/run",
                                 "XSCREENSAVER_WINDOW"});
    TProcess::TSetting S = Server->On(std::move(Extra));
    S.User = User;
    S.Folder = Root;
    return S;
  }
  std::string Copy(const std::string& File) {
    const fs::path To = Scratch.Path() / fs::path(File).filename();
    fs::copy(File, To);
    return To.string();
  }
  void Give(const fs::path& Path) const {
    if (User && chown(Path.c_str(), User->Uid, User->Gid) != 0) ADD_FAILURE() << Path;
  }
  TTempDir Scratch;
  TStrayReaper Strays{Scratch.Path()};  // after every process below ended, before the folder goes
  std::optional<TProcess::TUser> User;
  std::optional<TXvfb> Server;
  std::optional<TProcess> WindowManager;
  std::optional<TSessionBus> SessionBus;
};

class Players : public ::testing::Test {
public:
  static void TearDownTestSuite() { Shared.reset(); }

protected:
  // The suite's desktop, started by its first test, which also times a watcher's first saver.
  template <typename TDesktop>
  void Open(const char* Name) {
    if (!Shared || Named != Name) {
      Shared.reset();
      Shared = std::make_unique<TDesktop>();
      Named = Name;
    }
    Desk = Shared.get();
    if (Desk->Missing()) GTEST_SKIP() << Desk->Failure();
    ASSERT_EQ(Desk->Failure(), "");
    if (Desk->Quiet != Clock::duration::zero()) return;
    const auto Start = Clock::now();
    std::unique_ptr<TProcess> Control = StartWatcher();
    ASSERT_TRUE(SaverWithin(*Control, StartTimeout)) << "no saver without a player: "
                                                     << Control->Stderr();
    Desk->Quiet = QuietSpan(Clock::now() - Start);
  }

  // A watcher of the session, once it serves org.freedesktop.ScreenSaver (which VLC looks for
  // only as it starts).
  std::unique_ptr<TProcess> StartWatcher() {
    auto Watcher = std::make_unique<TProcess>(
        Desk->Watcher, std::vector<std::string>{"3", "/bin/sleep", "600"}, Desk->Setting());
    EXPECT_TRUE(WaitFor([&] {
      return Desk->Bus().Owned("org.freedesktop.ScreenSaver") || !Watcher->Running();
    }, 10s) && Watcher->Running()) << "the watcher does not serve the screen saver's name: "
                                   << Watcher->Stderr();
    return Watcher;
  }

  // With What holding the screen on: a saver that Watcher started before it goes, none starts for
  // the quiet span; once Release has ended it, a saver comes within that span.
  void ExpectHeldUntil(TProcess& Watcher, const std::string& What,
                       const std::function<void()>& Release) {
    EXPECT_TRUE(WaitFor([&] { return ChildrenOf(Watcher.Id()).empty(); }, 5s))
        << "a saver started before " << What << " outlived its hold";
    EXPECT_FALSE(SaverWithin(Watcher, Desk->Quiet))
        << "a saver started within " << Desk->Quiet / 1ms << " ms while " << What << " held";
    ASSERT_TRUE(Watcher.Running()) << Watcher.Stderr();
    Release();
    EXPECT_TRUE(SaverWithin(Watcher, Desk->Quiet)) << "no saver once " << What << " ended";
  }

  // Plays the clip, looped, until quit (SIGTERM, as a user quits it), once its window is up.
  void ExpectHeldWhilePlaying(TProcess& Watcher, const std::string& Player,
                              std::vector<std::string> Arguments,
                              std::vector<std::string> Extra = {}) {
    Arguments.push_back(Desk->Clip);
    auto Playing = std::make_unique<TProcess>(Player, Arguments, Desk->Setting(std::move(Extra)));
    ASSERT_TRUE(WaitFor([&] { return Desk->Shows(Playing->Id()) || !Playing->Running(); },
                        StartTimeout) && Playing->Running())
        << Player << " shows no window: " << Playing->Stderr();
    ExpectHeldUntil(Watcher, Player, [&] {
      kill(Playing->Id(), SIGTERM);
      EXPECT_NE(Playing->WaitForExit(20s), -1) << Player << " did not quit";
    });
  }

  void VlcHoldsUntilItQuits() {
    if (!fs::exists("/usr/bin/vlc")) GTEST_SKIP() << "no vlc";
    std::unique_ptr<TProcess> Watcher = StartWatcher();
    ExpectHeldWhilePlaying(*Watcher, "vlc",
                           {"-I", "dummy", "--no-audio", "--loop", "--no-video-title-show"},
                           {"DISPLAY=" + Desk->XDisplay()});
  }

  static inline std::unique_ptr<TPlayerDesktop> Shared;
  static inline std::string Named;  // the desktop Shared is
  TPlayerDesktop* Desk = nullptr;
};

class Sway : public Players {
protected:
  void SetUp() override { Open<TSwayPlayers>("Sway"); }
};

class X11 : public Players {
protected:
  void SetUp() override { Open<TX11Players>("X11"); }
};

// VLC 3.0 has no window of its own on today's Wayland compositors (only the long-gone xdg_shell
// and wl_shell): sway shows it through Xwayland, and it reaches the session only through D-Bus.
TEST_F(Sway, VlcHoldsOffTheSaverUntilItQuits) { VlcHoldsUntilItQuits(); }

TEST_F(X11, VlcHoldsOffTheSaverUntilItQuits) { VlcHoldsUntilItQuits(); }

// mpv holds the compositor's idle inhibitor on its window and asks no D-Bus service.
TEST_F(Sway, MpvHoldsOffTheSaverUntilItQuits) {
  if (!fs::exists("/usr/bin/mpv")) GTEST_SKIP() << "no mpv";
  std::unique_ptr<TProcess> Watcher = StartWatcher();
  ExpectHeldWhilePlaying(*Watcher, "mpv",
                         {"--no-audio", "--no-terminal", "--loop-file=inf", "--vo=wlshm"});
}

// Players ask at either path; a holder that dies without taking its inhibit back releases it.
TEST_F(Sway, AnInhibitOnEitherPathHoldsOffTheSaverUntilItsHolderDies) {
  for (const char* Path : {"/ScreenSaver", "/org/freedesktop/ScreenSaver"}) {
    SCOPED_TRACE(Path);
    std::unique_ptr<TProcess> Watcher = StartWatcher();
    THeldInhibit Client(Desk->Bus().Address(), Desk->Setting().User, Path);
    ASSERT_EQ(Client.Failure(), "");
    ExpectHeldUntil(*Watcher, std::string("an inhibit at ") + Path, [&] { Client.Kill(); });
  }
}

// A player whose inhibit the watcher takes asks nobody else: the watcher holds the compositor's
// idle inhibitor for it, so the session's own idle daemon waits too, and its time comes once the
// inhibit is gone.
TEST_F(Sway, AServedInhibitHoldsOffSwayidleToo) {
  if (!fs::exists("/usr/bin/swayidle")) GTEST_SKIP() << "no swayidle";
  std::unique_ptr<TProcess> Watcher = StartWatcher();
  THeldInhibit Client(Desk->Bus().Address(), Desk->Setting().User, "/ScreenSaver");
  ASSERT_EQ(Client.Failure(), "");
  const fs::path Mark =
      static_cast<TSwayPlayers&>(*Desk).Sway().Folder() / "swayidle-time";
  TProcess Idle("swayidle", {"-w", "timeout", "3", "touch " + Mark.string()}, Desk->Setting());
  EXPECT_FALSE(WaitFor([&] { return fs::exists(Mark); }, Desk->Quiet))
      << "swayidle's time came while the inhibit was held";
  Client.Kill();
  EXPECT_TRUE(WaitFor([&] { return fs::exists(Mark); }, Desk->Quiet))
      << "swayidle's time never came after the release: " << Idle.Stderr();
}

// Sandboxed players ask the desktop portal, whose GTK backend, without GNOME's session manager,
// passes an idle inhibit on to org.freedesktop.ScreenSaver; the portal ends it when its asker goes.
TEST_F(Sway, ThePortalsInhibitHoldsOffTheSaverUntilItsAskerDies) {
  if (PortalServices().empty()) GTEST_SKIP() << "no xdg-desktop-portal with its GTK backend";
  std::unique_ptr<TProcess> Watcher = StartWatcher();
  THeldInhibit Client(Desk->Bus().Address(), Desk->Setting().User, THeldInhibit::PortalPath);
  ASSERT_EQ(Client.Failure(), "");
  ExpectHeldUntil(*Watcher, "the portal's inhibit", [&] { Client.Kill(); });
}

}  // namespace
