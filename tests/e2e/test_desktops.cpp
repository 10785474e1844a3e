// The full-screen screen saver on real desktops, each started by the test with its own state: an
// X server with two monitors under a window manager with a panel, and a Wayland compositor (sway,
// headless) with two outputs.
#include <gtest/gtest.h>  // before Xlib, whose macros clash with its names

#include "Desktop.h"
#include "Sessions.h"

#include <X11/extensions/XTest.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/keysym.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Two monitors of 1280x800 side by side under openbox (an EWMH window manager) with a tint2
// panel along the bottom of each.
class TwoMonitors : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::filesystem::exists("/usr/lib/xorg/Xorg")) GTEST_SKIP() << "no Xorg";
    const int N = FreeDisplayNumber(90);
    ASSERT_GE(N, 0);
    Name = ':' + std::to_string(N);
    std::ofstream(Scratch.Path() / "xorg.conf") << DummyXorgConfig(2560, 800);
    // The configuration's name is relative: Xorg takes no other from a user who is not root.
    Server.emplace("/usr/lib/xorg/Xorg",
                   std::vector<std::string>{Name, "-config", "xorg.conf", "-noreset", "-nolisten",
                                            "tcp", "-logfile", (Scratch.Path() / "Xorg.log").string()},
                   TProcess::TSetting{{}, {}, Scratch.Path().string()});
    for (const auto End = Clock::now() + 20s; !D && Clock::now() < End && Server->Running();)
      if (!(D = XOpenDisplay(Name.c_str()))) std::this_thread::sleep_for(100ms);
    ASSERT_NE(D, nullptr) << "Xorg did not start: " << Server->Stderr();
    SetRightMonitor(true);
    Desktop.emplace_back(std::make_unique<TProcess>("openbox", std::vector<std::string>{}, On()));
    Desktop.emplace_back(std::make_unique<TProcess>("tint2", std::vector<std::string>{}, On()));
    if (!WaitFor([&] { return PanelShows(); }, 20s)) {
      SavePicture(Capture(D, DefaultRootWindow(D)), ::testing::TempDir() + "no-panel.png");
      FAIL() << "no panel on the right monitor: " << Desktop[1]->Stderr();
    }
  }
  void TearDown() override {
    if (D) XCloseDisplay(D);
  }

  TProcess::TSetting On() const { return {{"DISPLAY=" + Name}, {}, {}}; }

  void SetRightMonitor(bool On) {
    std::string Errors;
    if (On) {
      RunToEnd("xrandr", {"--addmode", "DUMMY1", "1280x800"}, this->On(), Errors);
      ASSERT_EQ(RunToEnd("xrandr", {"--output", "DUMMY1", "--mode", "1280x800", "--right-of",
                                    "DUMMY0"}, this->On(), Errors), 0) << Errors;
      // A full query, as a display settings tool makes: the dummy driver reports the new
      // output as connected only once it is asked again.
      RunToEnd("xrandr", {}, this->On(), Errors);
    } else {
      ASSERT_EQ(RunToEnd("xrandr", {"--output", "DUMMY1", "--off"}, this->On(), Errors), 0) << Errors;
    }
  }

  // The picture of each monitor, left to right.
  std::vector<TPicture> Monitors() {
    const TPicture Root = Capture(D, DefaultRootWindow(D));
    std::vector<TPicture> Parts;
    for (int X = 0; X + 1280 <= Root.Width; X += 1280) Parts.push_back(Root.Part(X, 0, 1280, 800));
    return Parts;
  }
  // The panel: the right monitor's bottom rows are no longer the empty screen's black.
  bool PanelShows() {
    const std::vector<TPicture> Parts = Monitors();
    return Parts.size() == 2 && Parts[1].Mean(790, 800, 0) + Parts[1].Mean(790, 800, 2) > 10;
  }
  // Every monitor shows the scene; else what one lacks, its picture saved for a person to see.
  std::string WhatTheMonitorsLack(std::size_t Count) {
    const std::vector<TPicture> Parts = Monitors();
    if (Parts.size() != Count) return std::to_string(Parts.size()) + " monitors";
    for (std::size_t I = 0; I < Parts.size(); ++I)
      if (const std::string Lack = WhatTheSceneLacks(Parts[I]); !Lack.empty()) {
        LastLack = "monitor ";
        LastLack += std::to_string(I) + " lacks " + Lack;
        SavePicture(Capture(D, DefaultRootWindow(D)), ::testing::TempDir() + "two-monitors.png");
        return LastLack;
      }
    return {};
  }
  void Tap(KeySym Sym) {
    XTestFakeKeyEvent(D, XKeysymToKeycode(D, Sym), True, CurrentTime);
    XSync(D, False);
    std::this_thread::sleep_for(150ms);
    XTestFakeKeyEvent(D, XKeysymToKeycode(D, Sym), False, CurrentTime);
    XSync(D, False);
  }

  TTempDir Scratch;
  std::string Name;
  std::optional<TProcess> Server;
  std::vector<std::unique_ptr<TProcess>> Desktop;
  Display* D = nullptr;
  std::string LastLack;
};

// Also: with the primary monitor's window covered, the other one is still drawn (its frames then
// paced by its own display); uncovered, the first is drawn again.
TEST_F(TwoMonitors, TheSaverCoversEachAboveThePanelAndFollowsAMonitorLeavingAndComing) {
  TProcess Saver(VADREL_PROGRAM, {}, On());
  EXPECT_TRUE(WaitFor([&] { return WhatTheMonitorsLack(2).empty(); }, 60s))
      << LastLack << "; " << Saver.Stderr();

  XSetWindowAttributes Attributes{};
  Attributes.override_redirect = True;
  const Window Cover = XCreateWindow(D, DefaultRootWindow(D), 0, 0, 1280, 800, 0,
                                     CopyFromParent, InputOutput, CopyFromParent,
                                     CWOverrideRedirect, &Attributes);
  XMapRaised(D, Cover);
  XSync(D, False);
  std::this_thread::sleep_for(1s);
  const TPicture Before = Monitors()[1];
  std::this_thread::sleep_for(1s);
  EXPECT_NE(Monitors()[1].Rgb, Before.Rgb) << "the uncovered monitor is not drawn any more";
  XDestroyWindow(D, Cover);
  XSync(D, False);
  EXPECT_TRUE(WaitFor([&] { return WhatTheMonitorsLack(2).empty(); }, 20s)) << "uncovered: " << LastLack;

  SetRightMonitor(false);
  std::this_thread::sleep_for(2s);
  ASSERT_TRUE(Saver.Running()) << Saver.Stderr();
  EXPECT_TRUE(WaitFor([&] { return WhatTheMonitorsLack(1).empty(); }, 20s)) << LastLack;

  SetRightMonitor(true);
  EXPECT_TRUE(WaitFor([&] { return WhatTheMonitorsLack(2).empty(); }, 60s))
      << LastLack << "; " << Saver.Stderr();

  Tap(XK_Escape);
  EXPECT_EQ(Saver.WaitForExit(10s), 0) << Saver.Stderr();
  EXPECT_EQ(Saver.Stderr(), "");
}

// The X server's idle time under the saver, on a server of the test's own where nothing gives
// input: -noreset, so that its idle time counts from its start, and its own screen saver set to
// come on after one minute, which it does only if no client resets or suspends it.
TEST(SaverIdle, TheXIdleTimeKeepsGrowingUnderTheHackAndTheFullScreenSaver) {
  const int N = FreeDisplayNumber(90);
  ASSERT_GE(N, 0);
  const std::string Name = ':' + std::to_string(N);
  TProcess Server("Xvfb", {Name, "-noreset", "-nolisten", "tcp", "-screen", "0", "640x400x24",
                           "-s", "1"});
  Display* D = nullptr;
  for (const auto End = Clock::now() + 20s; !D && Clock::now() < End && Server.Running();)
    if (!(D = XOpenDisplay(Name.c_str()))) std::this_thread::sleep_for(100ms);
  ASSERT_NE(D, nullptr) << "Xvfb did not start: " << Server.Stderr();
  const TProcess::TSetting On{{"DISPLAY=" + Name, "WAYLAND_DISPLAY", "XSCREENSAVER_WINDOW"}, {}, {}};
  TProcess Hack(VADREL_PROGRAM, {"-root"}, On);
  TProcess FullScreen(VADREL_PROGRAM, {}, On);
  std::string Lack;
  EXPECT_TRUE(WaitFor([&] { return (Lack = WhatTheSceneLacks(Capture(D, DefaultRootWindow(D)))).empty(); },
                      40s)) << Lack << "; " << FullScreen.Stderr();

  std::unique_ptr<XScreenSaverInfo, int (*)(void*)> Info(XScreenSaverAllocInfo(), XFree);
  unsigned long Idle = 0;
  for (const auto End = Clock::now() + 90s; Idle <= 66000 && Clock::now() < End;) {
    std::this_thread::sleep_for(3s);
    ASSERT_TRUE(XScreenSaverQueryInfo(D, DefaultRootWindow(D), Info.get()));
    EXPECT_GE(Info->idle, Idle) << "the idle time went back";
    Idle = Info->idle;
  }
  std::printf("X idle time reached under both: %.1f s\n", double(Idle) / 1000);
  EXPECT_GT(Idle, 65000u);
  EXPECT_EQ(Info->state, ScreenSaverOn) << "the server's own saver did not come on";
  EXPECT_TRUE(Hack.Running()) << Hack.Stderr();
  EXPECT_TRUE(FullScreen.Running()) << FullScreen.Stderr();
  EXPECT_EQ(Hack.Stderr() + FullScreen.Stderr(), "");
  XCloseDisplay(D);
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
  for (std::size_t At = 0; (At = Tree.find("\"inhibit_idle\":false", At)) != std::string::npos; ++At)
    ++Windows;
  EXPECT_EQ(Windows, 2u) << "one window on each output: " << Tree;

  // The pointer appears mid-screen and rests there for five seconds: its first event is where it
  // is, not a move. Then it moves 100 pixels each way.
  TProcess Mouse(Session->Copy(VADREL_VIRTUAL_POINTER),
                 {"abs", "640", "400", "2560", "800", "sleep", "6000", "move", "100", "100",
                  "sleep", "1000"},
                 Session->Setting());
  std::this_thread::sleep_for(5s);
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
  const double Drawing = CoreShare(Saver->Id(), 3s);
  EXPECT_NE(ShowWorkspaces("empty1", "empty2"), "") << "sway did not switch workspaces";
  std::this_thread::sleep_for(2s);  // a second without an answered frame callback means unseen
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
