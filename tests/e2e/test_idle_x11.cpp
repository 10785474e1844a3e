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
    const int N = FreeDisplayNumber(120);
    ASSERT_GE(N, 0);
    Name = ':' + std::to_string(N);
    Server.emplace("Xvfb", std::vector<std::string>{Name, "-screen", "0", "480x300x24", "-noreset",
                                                    "-nolisten", "tcp"});
    for (const auto End = Clock::now() + 20s; !D && Clock::now() < End && Server->Running();)
      if (!(D = XOpenDisplay(Name.c_str()))) std::this_thread::sleep_for(100ms);
    ASSERT_NE(D, nullptr) << "Xvfb did not start: " << Server->Stderr();
    int Interval = 0, Blanking = 0, Exposures = 0;
    XGetScreenSaver(D, &ServerTimeout, &Interval, &Blanking, &Exposures);
  }
  void TearDown() override {
    if (D) XCloseDisplay(D);
  }

  // The session the watcher finds: this display alone, no bus, no compositor, no saver daemon.
  TProcess::TSetting Session() const {
    return {{"DISPLAY=" + Name, "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
             "XSCREENSAVER_WINDOW"},
            {},
            {}};
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

  std::string Name, LastLack;
  std::optional<TProcess> Server;
  Display* D = nullptr;
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
  int Timeout = 0, Interval = 0, Blanking = 0, Exposures = 0;
  XGetScreenSaver(D, &Timeout, &Interval, &Blanking, &Exposures);
  EXPECT_EQ(Timeout, ServerTimeout) << "the server's own screen-saver time was not put back";
  EXPECT_EQ(Watcher.Stderr(), "");
}

TEST_F(IdleOnX11, NoSaverWhileTheScreenSaverIsSuspended) {
  XScreenSaverSuspend(D, True);
  XSync(D, False);
  TProcess Watcher(VADREL_PROGRAM, {"--idle=2s"}, Session());
  // Several idle periods.
  EXPECT_FALSE(WaitFor([&] { return !ChildrenOf(Watcher.Id()).empty(); }, 12s))
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
  std::this_thread::sleep_for(2s);
  XCloseDisplay(D);
  D = nullptr;
  kill(Server->Id(), SIGTERM);
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
  TProcess Daemon("xscreensaver", {"-no-splash"},
                  {{"DISPLAY=" + Name, "HOME=" + Home.Path().string()}, User, {}});
  std::string Errors;
  ASSERT_TRUE(WaitFor([&] {
    return RunToEnd("xscreensaver-command", {"-time"},
                    {{"DISPLAY=" + Name, "HOME=" + Home.Path().string()}, User, {}}, Errors) == 0;
  }, 30s)) << "the daemon did not come up: " << Daemon.Stderr();

  EXPECT_EQ(RunToEnd(VADREL_PROGRAM, {"--idle=2s"}, Session(), Errors), 1);
  EXPECT_EQ(std::count(Errors.begin(), Errors.end(), '\n'), 1) << Errors;
  EXPECT_TRUE(Errors.starts_with("vadrel: XScreenSaver is running on display " + Name)) << Errors;
  EXPECT_NE(Errors.find("--idle --force"), std::string::npos) << Errors;

  TProcess Forced(VADREL_PROGRAM, {"--idle=2s", "--force"}, Session());
  std::this_thread::sleep_for(3s);
  EXPECT_TRUE(Forced.Running()) << Forced.Stderr();
}

}  // namespace
