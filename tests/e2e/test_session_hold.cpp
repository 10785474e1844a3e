// The session hold against what it holds: the X server's own screen saver (an Xvfb of the test's
// own) and headless sway's idle inhibitor, watched by swayidle as a session's blanking and lock
// are. The test process itself is the hold's client of each.
#include <gtest/gtest.h>  // before Xlib, whose macros clash with its names

#include "SessionHold.h"
#include "Sessions.h"

#include <X11/extensions/scrnsaver.h>

#include <filesystem>

namespace {

using namespace std::chrono_literals;

// A short server time does not bring the server's saver on while held (however often the hold is
// asked: the server counts each suspension); it does after the release, and after the hold's end.
// Without any display there is no hold.
TEST(SessionHold, SuspendsTheXServersScreenSaverWhileHeld) {
  TScopedEnv NoWayland("WAYLAND_DISPLAY", nullptr), NoX("DISPLAY", nullptr);
  std::string Why;
  EXPECT_EQ(OpenSessionHold(Why), nullptr);
  EXPECT_EQ(Why, "WAYLAND_DISPLAY is not set; DISPLAY is not set");

  TXvfb Server("320x200x24");
  ASSERT_EQ(Server.Failure(), "");
  Display* D = Server.Connection();
  TScopedEnv OnX("DISPLAY", Server.Name().c_str());
  std::unique_ptr<TSessionHold> Hold = OpenSessionHold(Why);
  ASSERT_NE(Hold, nullptr) << Why;
  const auto On = [&] {
    XScreenSaverInfo Info{};
    XScreenSaverQueryInfo(D, DefaultRootWindow(D), &Info);
    return Info.state == ScreenSaverOn;
  };

  Hold->Hold(true);
  Hold->Hold(true);
  XSetScreenSaver(D, 1, 0, DontPreferBlanking, AllowExposures);
  EXPECT_FALSE(WaitFor(On, 3s)) << "the screen saver came on while held";
  Hold->Hold(false);
  EXPECT_TRUE(WaitFor(On, 20s)) << "the screen saver stays off after the release";

  Hold->Hold(true);
  Hold.reset();
  EXPECT_TRUE(WaitFor(On, 20s)) << "the screen saver stays off after the hold's end";
}

// swayidle's time does not come while the hold is held, for longer than it takes unheld, and comes
// once it is let go; and nothing of the hold shows on the output.
TEST(SessionHold, OnSwayHoldsOffSwayidleAndShowsNothing) {
  if (!std::filesystem::exists("/usr/bin/swayidle")) GTEST_SKIP() << "no swayidle";
  std::string Missing;
  auto Session = TSwaySession::Open(VADREL_PROGRAM, VADREL_BUILD_DATA_DIR, 1, Missing);
  if (!Session) GTEST_SKIP() << "no " << Missing;
  ASSERT_EQ(Session->Failure(), "");
  const TProcess::TSetting In = Session->Setting();
  const std::string Root = Session->Folder().string();
  TScopedEnv Runtime("XDG_RUNTIME_DIR", (Root + "/run").c_str()), NoX("DISPLAY", nullptr);
  std::string Socket;
  for (const std::string& Each : In.Overrides)
    if (Each.starts_with("WAYLAND_DISPLAY=")) Socket = Each.substr(16);
  TScopedEnv Wayland("WAYLAND_DISPLAY", Socket.c_str());
  std::string Why;
  std::unique_ptr<TSessionHold> Hold = OpenSessionHold(Why);
  ASSERT_NE(Hold, nullptr) << Why;

  const auto Swayidle = [&](const std::string& Mark) {
    return std::make_unique<TProcess>(
        "swayidle", std::vector<std::string>{"-w", "timeout", "3", "touch " + Root + "/" + Mark},
        In);
  };
  const auto Marked = [&](const std::string& Mark) {
    return std::filesystem::exists(Root + "/" + Mark);
  };
  const auto Start = Clock::now();
  std::unique_ptr<TProcess> Control = Swayidle("control");
  ASSERT_TRUE(WaitFor([&] { return Marked("control"); }, 30s)) << Control->Stderr();
  const Clock::duration Quiet = QuietSpan(Clock::now() - Start);
  Control.reset();

  std::string Errors;
  const TPicture Unheld = Session->Capture("HEADLESS-1", Errors);
  Hold->Hold(true);
  const TPicture Held = Session->Capture("HEADLESS-1", Errors);
  ASSERT_FALSE(Held.Rgb.empty()) << Errors;
  EXPECT_TRUE(Held.Rgb == Unheld.Rgb) << "the hold shows on the output";

  std::unique_ptr<TProcess> Watched = Swayidle("held");
  EXPECT_FALSE(WaitFor([&] { return Marked("held"); }, Quiet))
      << "swayidle's time came while held, within " << Quiet / 1ms << " ms";
  Hold->Hold(false);
  EXPECT_TRUE(WaitFor([&] { return Marked("held"); }, Quiet))
      << "swayidle's time did not come after the release: " << Watched->Stderr();
}

}  // namespace
