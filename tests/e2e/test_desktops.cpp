// The full-screen screen saver on real desktops, each started by the test with its own state: an
// X server with two monitors under a window manager with a panel, and a Wayland compositor (sway,
// headless) with two outputs.
#include <gtest/gtest.h>  // before Xlib, whose macros clash with its names

#include "Desktop.h"
#include "Sessions.h"

#include <X11/extensions/XTest.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/keysym.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

using namespace std::chrono_literals;

// Two monitors of 1280x800 side by side under openbox (an EWMH window manager) with a tint2
// panel along the bottom of each.
class TwoMonitors : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::filesystem::exists("/usr/lib/xorg/Xorg")) GTEST_SKIP() << "no Xorg";
    Desktop.emplace(2560, 800, 2);
    ASSERT_EQ(Desktop->Failure(), "");
    D = Desktop->Connection();
    Panel.emplace("tint2", std::vector<std::string>{}, Desktop->On());
    // The panel: the right monitor's bottom rows are no longer the empty screen's black.
    if (!WaitFor([&] {
          const TPicture Root = Capture(D, DefaultRootWindow(D));
          if (Root.Width != 2560) return false;
          const TPicture Bottom = Root.Part(1280, 790, 1280, 10);
          return Bottom.Mean(0, 10, 0) + Bottom.Mean(0, 10, 2) > 10;
        }, 20s)) {
      SavePicture(Capture(D, DefaultRootWindow(D)), ::testing::TempDir() + "no-panel.png");
      FAIL() << "no panel on the right monitor: " << Panel->Stderr();
    }
  }

  // Count monitors, each showing the scene; else what is wrong (a screen shot saved).
  std::string WhatTheMonitorsLack(std::size_t Count) {
    if (const std::size_t Now = Desktop->Monitors().size(); Now != Count)
      return LastLack = std::to_string(Now) + " monitors";
    return LastLack = Desktop->WhatTheMonitorsLack("two-monitors");
  }

  std::optional<TDummyXorg> Desktop;
  std::optional<TProcess> Panel;
  Display* D = nullptr;
  std::string LastLack;
};

// Also: with the primary monitor's window covered, the other one is still drawn (its frames then
// paced by its own display); uncovered, the first is drawn again.
TEST_F(TwoMonitors, TheSaverCoversEachAboveThePanelAndFollowsAMonitorLeavingAndComing) {
  TProcess Saver(VADREL_PROGRAM, {}, Desktop->On());
  EXPECT_TRUE(WaitFor([&] { return WhatTheMonitorsLack(2).empty(); }, 60s))
      << LastLack << "; " << Saver.Stderr();

  XSetWindowAttributes Attributes{};
  Attributes.override_redirect = True;
  const Window Root = DefaultRootWindow(D);
  const Window Cover = XCreateWindow(D, Root, 0, 0, 1280, 800, 0, CopyFromParent, InputOutput,
                                     CopyFromParent, CWOverrideRedirect, &Attributes);
  XMapRaised(D, Cover);
  XSync(D, False);
  // More new frames than a window takes to notice that it is covered.
  EXPECT_TRUE(WaitForFrames(D, Root, 8, 20s, {1280, 0, 1280, 800}))
      << "the uncovered monitor is not drawn any more";
  XDestroyWindow(D, Cover);
  XSync(D, False);
  EXPECT_TRUE(WaitFor([&] { return WhatTheMonitorsLack(2).empty(); }, 20s))
      << "uncovered: " << LastLack;

  ASSERT_EQ(Desktop->Set("DUMMY1"), "");
  EXPECT_TRUE(WaitFor([&] { return WhatTheMonitorsLack(1).empty(); }, 20s)) << LastLack;
  EXPECT_TRUE(WaitForFrames(D, Root, 5)) << "no new frames on the monitor left";
  ASSERT_TRUE(Saver.Running()) << Saver.Stderr();
  // It comes back once the saver has dropped its view. (Back sooner, within 2 s of leaving, it is
  // not covered again: the saver's new view for it stays where openbox put it, on the left.)
  EXPECT_TRUE(WaitFor([&] { return Desktop->ClientsNamed("Vadrel_Orvane").size() == 1; }, 20s))
      << "the view of the monitor that left is still there";

  ASSERT_EQ(Desktop->Set("DUMMY1", "1280x800", {"--right-of", "DUMMY0"}), "");
  EXPECT_TRUE(WaitFor([&] { return WhatTheMonitorsLack(2).empty(); }, 60s))
      << LastLack << "; " << Saver.Stderr();

  XTestFakeKeyEvent(D, XKeysymToKeycode(D, XK_Escape), True, CurrentTime);
  XTestFakeKeyEvent(D, XKeysymToKeycode(D, XK_Escape), False, CurrentTime);
  XSync(D, False);
  EXPECT_EQ(Saver.WaitForExit(10s), 0) << Saver.Stderr();
  EXPECT_EQ(Saver.Stderr(), "");
}

// The X server's idle time under the saver, run both ways side by side on a server of the test's
// own where nothing gives input: full screen, and as a hack in a window above it that leaves most
// of it in sight, so that both draw. A saver that kept the session awake (as SDL does unless told
// not to) would reset the server's idle time from its first frames on, and suspend the server's
// own saver: the idle time read before either started must have grown by all the time since, once
// both have drawn many frames, and the server's saver, then set to come on after a second, must
// come on.
TEST(SaverIdle, TheXIdleTimeKeepsGrowingUnderTheHackAndTheFullScreenSaver) {
  TXvfb Server("640x400x24");
  ASSERT_EQ(Server.Failure(), "");
  Display* D = Server.Connection();
  const Window Root = DefaultRootWindow(D);
  std::unique_ptr<XScreenSaverInfo, int (*)(void*)> Info(XScreenSaverAllocInfo(), XFree);
  ASSERT_TRUE(XScreenSaverQueryInfo(D, Root, Info.get()));
  const unsigned long IdleBefore = Info->idle;
  const auto Before = Clock::now();  // once read: the server's time since is at least the clock's

  const TProcess::TSetting On = Server.On({"XSCREENSAVER_WINDOW"});
  TProcess FullScreen(VADREL_PROGRAM, {}, On);
  std::string Lack;
  ASSERT_TRUE(WaitFor([&] { return (Lack = WhatTheSceneLacks(Capture(D, Root))).empty(); }, 40s))
      << Lack << "; " << FullScreen.Stderr();
  XSetWindowAttributes Attributes{};
  Attributes.override_redirect = True;
  const Window Hack = XCreateWindow(D, Root, 0, 0, 320, 200, 0, CopyFromParent, InputOutput,
                                    CopyFromParent, CWOverrideRedirect, &Attributes);
  XMapRaised(D, Hack);
  XSync(D, False);
  char Id[32];
  std::snprintf(Id, sizeof Id, "0x%lx", Hack);
  TProcess HackSaver(VADREL_PROGRAM, {"-window-id", Id}, On);
  ASSERT_TRUE(WaitFor([&] { return (Lack = WhatTheSceneLacks(Capture(D, Hack))).empty(); }, 40s))
      << Lack << "; " << HackSaver.Stderr();
  EXPECT_TRUE(WaitForFrames(D, Hack, 30)) << "the hack does not draw";
  EXPECT_TRUE(WaitForFrames(D, Root, 30, 20s, {0, 200, 640, 200}))
      << "the full-screen saver does not draw";

  XSetScreenSaver(D, 1, 0, DontPreferBlanking, AllowExposures);
  EXPECT_TRUE(WaitFor([&] {
    return XScreenSaverQueryInfo(D, Root, Info.get()) && Info->state == ScreenSaverOn;
  }, 10s, 50ms)) << "the server's own saver did not come on";
  const auto After = Clock::now();  // before the reading
  ASSERT_TRUE(XScreenSaverQueryInfo(D, Root, Info.get()));
  const auto Grown = std::chrono::milliseconds(long(Info->idle) - long(IdleBefore));
  std::printf("X idle time under both: %.1f s, grown by %.3f s in %.3f s\n",
              double(Info->idle) / 1000, std::chrono::duration<double>(Grown).count(),
              std::chrono::duration<double>(After - Before).count());
  // Both clocks count whole milliseconds, the server's perhaps a tick late; a reset loses all the
  // time before it (at least the time a saver takes to start, some 60 ms here).
  EXPECT_GE(Grown + 5ms, After - Before) << "the idle time was reset";
  EXPECT_TRUE(HackSaver.Running()) << HackSaver.Stderr();
  EXPECT_TRUE(FullScreen.Running()) << FullScreen.Stderr();
  EXPECT_EQ(HackSaver.Stderr() + FullScreen.Stderr(), "");
}

// Headless sway with two outputs of 1280x800 side by side (see Sessions: run by nobody when the
// test is root, with copies of the programs and the data that user can read).
class Sway : public ::testing::Test {
protected:
  void SetUp() override {
    std::string Missing;
    Session = TSwaySession::Open(VADREL_PROGRAM, VADREL_BUILD_DATA_DIR, 2, Missing);
    if (!Session) GTEST_SKIP() << "no " << Missing;
    ASSERT_EQ(Session->Failure(), "");
  }

  std::unique_ptr<TProcess> StartSaver() {
    return std::make_unique<TProcess>(Session->Program(), std::vector<std::string>{},
                                      Session->Setting());
  }
  // swaymsg's answer to Arguments with its white space taken out; empty when it fails.
  std::string SwayMsg(std::vector<std::string> Arguments) {
    std::string Answer;
    if (Session->Message(std::move(Arguments), Answer) != 0) return {};
    std::erase_if(Answer, [](unsigned char C) { return std::isspace(C); });
    return Answer;
  }

  // Waits until Output's picture has changed Count times, each against the one before: the saver
  // has drawn that many new frames there.
  bool WaitForFramesOn(const std::string& Output, int Count) {
    // Uncompressed pictures: grim takes most of its time compressing a PNG.
    const std::string Shot = (Session->Folder() / "frame.ppm").string();
    const auto Take = [&] {
      std::string Errors;
      if (RunToEnd("grim", {"-t", "ppm", "-o", Output, Shot}, Session->Setting(), Errors) != 0)
        return std::string();
      std::stringstream Bytes;
      Bytes << std::ifstream(Shot, std::ios::binary).rdbuf();
      return Bytes.str();
    };
    std::string Last = Take();
    int Changes = 0;
    return WaitFor([&] {
      std::string Now = Take();
      Changes += !Now.empty() && Now != Last;
      Last = std::move(Now);
      return Changes >= Count;
    }, 20s, {});
  }

  std::unique_ptr<TSwaySession> Session;
};

// Also: the saver never inhibits idle (a lock scheduled after it must come), and while its
// windows are hidden it draws nothing.
TEST_F(Sway, TheSaverFillsBothOutputsLeavesIdleAloneRestsWhileHiddenAndEndsOnAMoveOrAKey) {
  std::unique_ptr<TProcess> Saver = StartSaver();
  std::string Lack;
  EXPECT_TRUE(WaitFor([&] { return (Lack = Session->WhatTheOutputsLack()).empty(); }, 60s))
      << Lack << "; " << Saver->Stderr();
  const std::string Tree = SwayMsg({"-t", "get_tree"});
  EXPECT_EQ(Tree.find("\"inhibit_idle\":true"), std::string::npos) << Tree;
  std::size_t Windows = 0;
  for (std::size_t At = 0; (At = Tree.find("\"inhibit_idle\":false", At)) != std::string::npos;
       ++At)
    ++Windows;
  EXPECT_EQ(Windows, 2u) << "one window on each output: " << Tree;

  // The pointer appears mid-screen and rests there: its first event is where it is, not a move.
  // Once sway has the pointer, and the saver has drawn frames since, it still runs. Then the
  // pointer moves 100 pixels each way.
  // Pointer and frames come within 0.3 s here, the move 2 s after the pointer.
  TProcess Mouse(Session->Copy(VADREL_VIRTUAL_POINTER),
                 {"abs", "640", "400", "2560", "800", "sleep", "2000", "move", "100", "100",
                  "sleep", "1000"},
                 Session->Setting());
  EXPECT_TRUE(WaitFor([&] {
    return SwayMsg({"-t", "get_inputs"}).find(":virtual_pointer\"") != std::string::npos;
  }, 10s, 20ms)) << "sway has no virtual pointer";
  EXPECT_TRUE(WaitForFramesOn("HEADLESS-1", 5)) << "the saver does not draw";
  ASSERT_TRUE(Saver->Running()) << "ended by a resting pointer: " << Saver->Stderr();
  EXPECT_EQ(Saver->WaitForExit(10s), 0) << Saver->Stderr();
  EXPECT_EQ(Mouse.WaitForExit(10s), 0) << Mouse.Stderr();
  EXPECT_EQ(Saver->Stderr(), "");

  Saver = StartSaver();
  EXPECT_TRUE(WaitFor([&] { return Session->WhatTheOutputsLack().empty(); }, 60s))
      << Saver->Stderr();
  // Both windows hidden behind another workspace on each output. (Headless outputs ignore
  // "dpms off": sway still reports them on and keeps answering frame callbacks.)
  const auto ShowWorkspaces = [&](const std::string& First, const std::string& Second) {
    return SwayMsg({"focus output HEADLESS-1; workspace " + First +
                    "; focus output HEADLESS-2; workspace " + Second});
  };
  const double Drawing = CoreShare(Saver->Id(), 1s);
  EXPECT_NE(ShowWorkspaces("empty1", "empty2"), "") << "sway did not switch workspaces";
  // A second without an answered frame callback means unseen.
  EXPECT_TRUE(WaitUntilResting(Saver->Id())) << "hidden, the saver still draws";
  const double Hidden = CoreShare(Saver->Id(), 3s);
  std::printf("processor of the saver: %.1f %% of a core drawing, %.2f %% hidden\n",
              Drawing * 100, Hidden * 100);
  EXPECT_GT(Drawing, 0.1);
  EXPECT_LT(Hidden, 0.03);
  ShowWorkspaces("1", "2");
  EXPECT_TRUE(WaitFor([&] { return (Lack = Session->WhatTheOutputsLack()).empty(); }, 30s))
      << "shown again: " << Lack << "; " << Saver->Stderr();
  // A start delay: a key typed by a client that has just connected can be lost. The virtual
  // keyboard then stays until the saver has gone: sway switches the focused client's keymap back
  // when it goes, and SDL 2.26 can crash on that switch (see Sessions), which is not what this
  // test is about.
  TProcess Typing("wtype", {"-s", "1000", "-k", "Escape", "-s", "20000"}, Session->Setting());
  EXPECT_EQ(Saver->WaitForExit(10s), 0) << Saver->Stderr();
  EXPECT_EQ(Saver->Stderr(), "");
}

// The README's swayidle recipe, seconds for minutes and a mark for the lock: the saver starts once
// the session is idle, and the lock's time still comes while it runs (it holds no inhibitor, and
// swayidle -w, which waits for each command, is not held up by it) and ends it.
TEST_F(Sway, TheReadmesSwayidleRecipeStartsTheSaverAndEndsItForTheLock) {
  if (!std::filesystem::exists("/usr/bin/swayidle")) GTEST_SKIP() << "no swayidle";
  const std::string Root = Session->Folder().string(), Mark = Root + "/locked";
  TProcess Idle("swayidle",
                {"-w", "timeout", "3", "pidof swaylock || vadrel &", "timeout", "12",
                 "pkill -x -f vadrel; touch " + Mark},
                Session->Setting({"PATH=" + Root + ":" + std::getenv("PATH")}));
  std::string Lack;
  EXPECT_TRUE(WaitFor([&] { return (Lack = Session->WhatTheOutputsLack()).empty(); }, 40s))
      << "no saver: " << Lack << "; " << Idle.Stderr();
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(Mark); }, 40s))
      << "the lock's time never came while the saver ran";
  EXPECT_TRUE(WaitFor([&] { return !Session->WhatTheOutputsLack().empty(); }, 10s))
      << "the saver is still on the screen after the lock's time";
}

}  // namespace
