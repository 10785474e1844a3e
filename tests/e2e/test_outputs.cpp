// The full-screen screen saver as monitors come, go and change under it: outputs of a nested
// sway unplugged, plugged in and resized, and an X server's monitors rearranged by RandR, a
// portrait one among them, and one of its windows minimized by the window manager. After each
// change every monitor must show the scene again, and still show it a moment later; the time it
// took is printed (the goal is two seconds; this shared machine's load makes it no assertion).
#include <gtest/gtest.h>  // before Xlib, whose macros clash with its names

#include "Desktop.h"
#include "Sessions.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace {

using namespace std::chrono_literals;

// How long after a change a monitor may go without the scene before the test fails, and how long
// it must then go on showing it.
constexpr Clock::duration Deadline = 10s, Lasting = 2s;

// Looks from the change on until Lack() is empty: the seconds it took (from the change to the end
// of the round of pictures that showed every monitor covered: at most that long), or -1 with Why
// set when that did not happen or did not last.
double SecondsUntilCovered(const std::function<std::string()>& Lack, std::string& Why) {
  const auto Change = Clock::now();
  double Took = -1;
  while (Took < 0 && Clock::now() - Change <= Deadline)
    if ((Why = Lack()).empty()) Took = std::chrono::duration<double>(Clock::now() - Change).count();
  if (Took < 0) return -1;
  std::this_thread::sleep_for(Lasting);
  if (!(Why = Lack()).empty()) {
    Why = "covered after " + std::to_string(Took) + " s, but not later: " + Why;
    return -1;
  }
  return Took;
}

// Each output of the inner sway shows the scene; else what the first that does not lacks.
std::string WhatTheOutputsLack(TNestedSwaySession& Session, std::size_t Count) {
  const std::vector<std::string> Outputs = Session.Outputs();
  if (Outputs.size() != Count) return std::to_string(Outputs.size()) + " outputs";
  for (const std::string& Output : Outputs) {
    std::string Errors;
    const TPicture Picture = Session.Capture(Output, Errors);
    if (const std::string Lack = WhatTheSceneLacks(Picture); !Lack.empty()) {
      SavePicture(Picture, ::testing::TempDir() + "nested-" + Output + ".png");
      return Output + " lacks " + Lack + " " + Errors;
    }
  }
  return {};
}

TEST(NestedSway, EveryOutputShowsTheSceneAgainAfterAnUnplugAPlugAndTheResizes) {
  std::string Missing;
  const auto Session = TNestedSwaySession::Open(VADREL_PROGRAM, VADREL_BUILD_DATA_DIR, 3, Missing);
  if (!Session) GTEST_SKIP() << "no " << Missing;
  ASSERT_EQ(Session->Failure(), "");
  TProcess Saver(Session->Program(), {}, Session->Setting());
  std::string Why;
  ASSERT_TRUE(WaitFor([&] { return (Why = WhatTheOutputsLack(*Session, 3)).empty(); }, 60s))
      << Why << "; " << Saver.Stderr();
  // The middle one goes (the others get wider), one comes (all get narrower), the first goes.
  const struct {
    const char* What;
    std::function<bool(std::string&)> Change;
    std::size_t Outputs;
  } Steps[] = {
      {"WL-2 unplugged", [&](std::string& E) { return Session->Unplug("WL-2", E); }, 2},
      {"an output plugged in", [&](std::string& E) { return Session->Plug(E); }, 3},
      {"WL-1 unplugged", [&](std::string& E) { return Session->Unplug("WL-1", E); }, 2},
  };
  for (const auto& Step : Steps) {
    std::string Errors;
    ASSERT_TRUE(Step.Change(Errors)) << Step.What << ": " << Errors;
    const double Took =
        SecondsUntilCovered([&] { return WhatTheOutputsLack(*Session, Step.Outputs); }, Why);
    std::printf("%s: every output covered after %.2f s\n", Step.What, Took);
    EXPECT_GE(Took, 0) << Step.What << ": " << Why << "; " << Saver.Stderr();
    ASSERT_TRUE(Saver.Running()) << Saver.Stderr();
  }
}

TEST(DummyXorg, EveryMonitorShowsTheSceneAgainAfterLayoutChangesAndAMinimizedWindow) {
  TDummyXorg X(3840, 1280);
  if (X.Failure().starts_with("no Xorg")) GTEST_SKIP() << X.Failure();
  ASSERT_EQ(X.Failure(), "");
  // Three monitors, the right one portrait.
  ASSERT_EQ(X.Set("DUMMY1", "1280x800", {"--right-of", "DUMMY0"}), "");
  ASSERT_EQ(X.Set("DUMMY2", "800x1280", {"--right-of", "DUMMY1"}), "");
  TProcess Saver(VADREL_PROGRAM, {}, X.On());
  std::string Why;
  ASSERT_TRUE(WaitFor([&] { return (Why = X.WhatTheMonitorsLack("xorg-start")).empty(); }, 60s))
      << Why << "; " << Saver.Stderr();
  // Each layout in a quick run of changes, as a display settings tool applies one.
  const struct {
    const char* What;
    std::function<std::string()> Change;
  } Steps[] = {
      {"the middle one off, the portrait one moved next to the first", [&] {
         return X.Set("DUMMY1") + X.Set("DUMMY2", "800x1280", {"--pos", "1280x0"});
       }},
      {"the portrait one off, the middle one back in its place", [&] {
         return X.Set("DUMMY2") + X.Set("DUMMY1", "1280x800", {"--pos", "1280x0"});
       }},
      {"the portrait one back on the right", [&] {
         return X.Set("DUMMY2", "800x1280", {"--pos", "2560x0"});
       }},
      {"the two on the right swapped round", [&] {
         return X.Set("DUMMY2", "800x1280", {"--pos", "1280x0"}) +
                X.Set("DUMMY1", "1280x800", {"--pos", "2080x0"});
       }},
      {"one of its windows minimized", [&] {
         std::vector<Window> Windows;
         WaitFor([&] { return (Windows = X.ClientsNamed("Vadrel_Orvane")).size() == 3; }, 5s);
         if (Windows.size() != 3) return std::to_string(Windows.size()) + " windows";
         XIconifyWindow(X.Connection(), Windows[1], DefaultScreen(X.Connection()));
         XSync(X.Connection(), False);
         return std::string();
       }},
  };
  for (const auto& Step : Steps) {
    ASSERT_EQ(Step.Change(), "") << Step.What << "; " << Saver.Stderr();
    const double Took = SecondsUntilCovered([&] { return X.WhatTheMonitorsLack("xorg"); }, Why);
    std::printf("%s: every monitor covered after %.2f s\n", Step.What, Took);
    EXPECT_GE(Took, 0) << Step.What << ": " << Why << "; " << Saver.Stderr();
    ASSERT_TRUE(Saver.Running()) << Saver.Stderr();
  }
}

}  // namespace
