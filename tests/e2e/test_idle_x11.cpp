// The idle watcher (`vadrel --idle=3s`) on an X server of its own (Xvfb with -noreset, no session
// bus, no Wayland), driven by XTEST: the scene comes after the idle time, goes at the first input
// and comes back; a screen saver suspended by another client (as video players do) keeps it away;
// SIGTERM ends the watcher, its saver with it, and puts the server's own time back. With
// XScreenSaver running on the display it refuses, unless forced.
#include <gtest/gtest.h>  // before Xlib, whose macros clash with its names

#include "Desktop.h"

#include <X11/extensions/XTest.h>
#include <X11/extensions/scrnsaver.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using namespace std::chrono_literals;

class IdleOnX11 : public ::testing::Test {
protected:
  void SetUp() override {
    Server.emplace("480x300x24");
    ASSERT_EQ(Server->Failure(), "");
    D = Server->Connection();
    ServerTimeout = Timeout();
  }

  // The session the watcher finds on Server: this display alone, no bus, no compositor, no saver
  // daemon.
  static TProcess::TSetting Session(const TXServer& Server) {
    return Server.On({"DBUS_SESSION_BUS_ADDRESS", "XSCREENSAVER_WINDOW"});
  }
  TProcess::TSetting Session() const { return Session(*Server); }
  // The server's own screen-saver time, which the watcher sets to its idle time while it watches.
  int Timeout() {
    int Seconds = 0, Interval = 0, Blanking = 0, Exposures = 0;
    XGetScreenSaver(D, &Seconds, &Interval, &Blanking, &Exposures);
    return Seconds;
  }
  std::string SceneLacks() {
    const TPicture Root = Capture(D, DefaultRootWindow(D));
    LastLack = WhatTheSceneLacks(Root);
    if (!LastLack.empty()) SavePicture(Root, ::testing::TempDir() + "idle-x11.png");
    return LastLack;
  }
  void MovePointer() {
    XTestFakeRelativeMotionEvent(D, 5, 5, CurrentTime);
    XSync(D, False);
  }

  std::optional<TXvfb> Server;
  Display* D = nullptr;
  std::string LastLack;
  int ServerTimeout = 0;
};

TEST_F(IdleOnX11, TheSaverComesAtIdleGoesOnInputAndComesBack) {
  TProcess Watcher(VADREL_PROGRAM, {"--idle=3s", "-detail", "32"}, Session());
  ASSERT_TRUE(WaitFor([&] { return SceneLacks().empty(); }, 90s))
      << "no scene after the idle time: " << LastLack << "; " << Watcher.Stderr();
  // It waits as the lean watcher, which started the program itself as its saver.
  EXPECT_EQ(ProgramOf(Watcher.Id()).filename(), "vadrel-idle");
  ASSERT_EQ(ChildrenOf(Watcher.Id()).size(), 1u);
  const pid_t First = ChildrenOf(Watcher.Id())[0];
  std::ifstream CommandLine("/proc/" + std::to_string(First) + "/cmdline");
  std::string Saver((std::istreambuf_iterator<char>(CommandLine)), {});
  std::replace(Saver.begin(), Saver.end(), '\0', ' ');
  EXPECT_TRUE(Saver.ends_with("/vadrel -detail 32 ")) << "the saver runs as: " << Saver;

  MovePointer();
  EXPECT_TRUE(WaitFor([&] { return !Alive(First); }, 20s)) << "the saver outlived the input";
  EXPECT_TRUE(Watcher.Running()) << Watcher.Stderr();

  ASSERT_TRUE(WaitFor([&] { return SceneLacks().empty() && !ChildrenOf(Watcher.Id()).empty(); },
                      90s))
      << "the saver did not come back: " << LastLack << "; " << Watcher.Stderr();
  const pid_t Second = ChildrenOf(Watcher.Id())[0];
  EXPECT_NE(Second, First);

  kill(Watcher.Id(), SIGTERM);
  EXPECT_EQ(Watcher.WaitForExit(20s), 0) << Watcher.Stderr();
  EXPECT_FALSE(Alive(Second)) << "the saver outlived its watcher";
  EXPECT_EQ(Timeout(), ServerTimeout) << "the server's own screen-saver time was not put back";
  EXPECT_EQ(Watcher.Stderr(), "");
}

// Beside it, on a server of its own where nothing is suspended, a watcher set up the same way
// starts its saver: two idle times after that, none has come over the suspended screen saver.
TEST_F(IdleOnX11, NoSaverWhileTheScreenSaverIsSuspended) {
  std::optional<TXvfb> Unsuspended("480x300x24");
  ASSERT_EQ(Unsuspended->Failure(), "");
  XScreenSaverSuspend(D, True);
  XSync(D, False);
  TProcess Watcher(VADREL_PROGRAM, {"--idle=2s"}, Session());
  std::optional<TProcess> Control(std::in_place, VADREL_PROGRAM,
                                  std::vector<std::string>{"--idle=2s"}, Session(*Unsuspended));
  ASSERT_TRUE(WaitFor([&] { return !ChildrenOf(Control->Id()).empty(); }, 30s))
      << "no saver where the screen saver is not suspended: " << Control->Stderr();
  Control.reset();
  Unsuspended.reset();
  EXPECT_FALSE(WaitFor([&] { return !ChildrenOf(Watcher.Id()).empty(); }, 4s))
      << "a saver started over a suspended screen saver";
  EXPECT_TRUE(Watcher.Running()) << Watcher.Stderr();
  XScreenSaverSuspend(D, False);
  XSync(D, False);
  EXPECT_TRUE(WaitFor([&] { return !ChildrenOf(Watcher.Id()).empty(); }, 30s))
      << "no saver once the suspension ended: " << Watcher.Stderr();
}

// A watcher that begins while the server's own screen saver is on (the session idle since before
// it began, or a watcher before it ended mid-saver) hears no On before the next input: it must
// start the saver at once, not leave the server's blank screen.
TEST_F(IdleOnX11, StartsAtOnceWhenTheServersScreenSaverIsAlreadyOn) {
  XSetScreenSaver(D, 1, 0, PreferBlanking, DefaultExposures);
  XForceScreenSaver(D, ScreenSaverActive);
  XSync(D, False);
  TProcess Watcher(VADREL_PROGRAM, {"--idle=60"}, Session());
  EXPECT_TRUE(WaitFor([&] { return SceneLacks().empty(); }, 40s))
      << "no scene: " << LastLack << "; " << Watcher.Stderr();
}

// The session's end: the server goes, and the watcher says so in its one line, exit 1.
TEST_F(IdleOnX11, EndsInOneLineWhenTheDisplayCloses) {
  TProcess Watcher(VADREL_PROGRAM, {"--idle=60"}, Session());
  ASSERT_TRUE(WaitFor([&] { return Timeout() != ServerTimeout; }, 20s, 20ms))
      << "the watcher does not watch: " << Watcher.Stderr();
  Server->Disconnect();
  D = nullptr;
  kill(Server->Process().Id(), SIGTERM);
  EXPECT_EQ(Watcher.WaitForExit(20s), 1);
  EXPECT_EQ(Watcher.Stderr(),
            "vadrel: the X server's MIT-SCREEN-SAVER extension is gone; the idle watcher ends\n");
}

// XScreenSaver's daemon runs display modes itself: the watcher refuses beside it, in one line, and
// with --force runs anyway. The daemon will not run as root: as root it runs as nobody.
TEST_F(IdleOnX11, RefusesBesideXScreenSaverUnlessForced) {
  if (!std::filesystem::exists("/usr/bin/xscreensaver")) GTEST_SKIP() << "no xscreensaver";
  TTempDir Home;
  std::optional<TProcess::TUser> User;
  if (getuid() == 0) {
    User = TProcess::TUser{65534, 65534};
    ASSERT_EQ(chown(Home.Path().c_str(), 65534, 65534), 0);
  }
  std::ofstream(Home.Path() / ".xscreensaver") << "mode: off\nsplash: False\nlock: False\n";
  TProcess::TSetting Daemons = Server->On({"HOME=" + Home.Path().string()});
  Daemons.User = User;
  TProcess Daemon("xscreensaver", {"-no-splash"}, Daemons);
  std::string Errors;
  ASSERT_TRUE(WaitFor([&] {
    return RunToEnd("xscreensaver-command", {"-time"}, Daemons, Errors) == 0;
  }, 30s)) << "the daemon did not come up: " << Daemon.Stderr();

  EXPECT_EQ(RunToEnd(VADREL_PROGRAM, {"--idle=2s"}, Session(), Errors), 1);
  EXPECT_EQ(std::count(Errors.begin(), Errors.end(), '\n'), 1) << Errors;
  EXPECT_TRUE(Errors.starts_with("vadrel: XScreenSaver is running on display " + Server->Name()))
      << Errors;
  EXPECT_NE(Errors.find("--idle --force"), std::string::npos) << Errors;

  TProcess Forced(VADREL_PROGRAM, {"--idle=2s", "--force"}, Session());
  EXPECT_TRUE(WaitFor([&] { return !ChildrenOf(Forced.Id()).empty(); }, 30s))
      << "forced, no saver at idle: " << Forced.Stderr();
  EXPECT_TRUE(Forced.Running()) << Forced.Stderr();
}

}  // namespace
