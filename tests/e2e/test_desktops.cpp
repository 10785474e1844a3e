// The full-screen screen saver on real desktops, each started by the test with its own state: an
// X server with two monitors under a window manager with a panel.
#include <gtest/gtest.h>  // before Xlib, whose macros clash with its names

#include "Desktop.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A display number no X server uses.
int FreeDisplayNumber() {
  for (int N = 90; N < 200; ++N)
    if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(N)) &&
        !std::filesystem::exists("/tmp/.X" + std::to_string(N) + "-lock"))
      return N;
  return -1;
}

// Xorg with the dummy video driver: monitors that are RandR outputs, as on a real desktop.
constexpr const char* DummyXorgConfig = R"(Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0 - 1000.0
  VertRefresh 5.0 - 200.0
  Modeline "1280x800" 83.50 1280 1352 1480 1680 800 803 809 831 -hsync +vsync
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes "1280x800"
    Virtual 2560 800
  EndSubSection
EndSection
)";

// Two monitors of 1280x800 side by side under openbox (an EWMH window manager) with a tint2
// panel along the bottom of each.
class TwoMonitors : public ::testing::Test {
protected:
  void SetUp() override {
    if (!std::filesystem::exists("/usr/lib/xorg/Xorg")) GTEST_SKIP() << "no Xorg";
    const int N = FreeDisplayNumber();
    ASSERT_GE(N, 0);
    Name = ':' + std::to_string(N);
    std::ofstream(Scratch.Path() / "xorg.conf") << DummyXorgConfig;
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
  template <typename TTest>
  static bool WaitFor(TTest Test, Clock::duration Timeout) {
    for (const auto End = Clock::now() + Timeout; Clock::now() < End;
         std::this_thread::sleep_for(250ms))
      if (Test()) return true;
    return false;
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

TEST_F(TwoMonitors, TheSaverCoversEachAboveThePanelAndFollowsAMonitorLeavingAndComing) {
  TProcess Saver(VADREL_PROGRAM, {}, On());
  EXPECT_TRUE(WaitFor([&] { return WhatTheMonitorsLack(2).empty(); }, 60s))
      << LastLack << "; " << Saver.Stderr();

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

}  // namespace
