// The idle watcher (`vadrel --idle=3s`) on Wayland desktops the test starts, headless: sway, which
// offers org_kde_kwin_idle, and KWin, which offers ext_idle_notifier_v1 first. Activity is the
// desktop's own (keys typed through sway's virtual keyboard, KWin's SimulateUserActivity), the
// pictures each output's own. One desktop of each kind serves every test of its suite (Sway/...,
// KWin/...), each test leaving it as it found it (its watcher, saver and windows ended); the test
// that ends the compositor comes last, and a test after it would get a fresh desktop.
#include <gtest/gtest.h>

#include "Sessions.h"

#include <signal.h>

#include <algorithm>
#include <cstdlib>

namespace {

using namespace std::chrono_literals;

constexpr auto SceneTimeout = 90s;  // idle time, start-up and first frames on a loaded machine

struct TDesktop {
  const char* Name;
  std::unique_ptr<TWaylandSession> (*Open)(std::string& Missing);
};

const TDesktop Desktops[] = {
    {"Sway",
     [](std::string& Missing) -> std::unique_ptr<TWaylandSession> {
       return TSwaySession::Open(VADREL_PROGRAM, VADREL_BUILD_DATA_DIR, 1, Missing);
     }},
    {"KWin",
     [](std::string& Missing) -> std::unique_ptr<TWaylandSession> {
       return TKWinSession::Open(VADREL_PROGRAM, VADREL_BUILD_DATA_DIR, 1, Missing);
     }},
};

void PrintTo(const TDesktop& Desktop, std::ostream* Out) { *Out << Desktop.Name; }

// Pixels of the inhibiting window's own colour.
int WindowPixels(const TPicture& P) {
  int Count = 0;
  for (const auto& C : P.Rgb)
    Count += std::abs(C[0] - 200) < 12 && std::abs(C[1] - 60) < 12 && std::abs(C[2] - 60) < 12;
  return Count;
}

class IdleWatcher : public ::testing::TestWithParam<TDesktop> {
public:
  static void TearDownTestSuite() { Shared.reset(); }

protected:
  // The suite's desktop, started by its first test (or again after one ended its compositor).
  void SetUp() override {
    const bool Ended = Shared && Shared->Failure().empty() && !Shared->CompositorRuns();
    if (!Shared || Named != GetParam().Name || Ended) {
      Shared.reset();
      std::string Missing;
      Shared = GetParam().Open(Missing);
      if (!Shared) GTEST_SKIP() << "no " << Missing;
      Named = GetParam().Name;
      // Beside the program, where `vadrel --idle` looks for the watcher it hands over to.
      if (Shared->Failure().empty()) Shared->Copy(VADREL_IDLE_PROGRAM);
      RecordProperty("CompositorStartMs",
                     int(std::chrono::duration_cast<std::chrono::milliseconds>(
                             Shared->StartTime()).count()));
    }
    Session = Shared.get();
    ASSERT_EQ(Session->Failure(), "");
  }

  std::unique_ptr<TProcess> StartWatcher() {
    return std::make_unique<TProcess>(Session->Program(), std::vector<std::string>{"--idle=3s"},
                                      Session->Setting());
  }
  // The scene on every output, its saver the watcher's only child; that child, or 0.
  pid_t WaitForTheSaver(TProcess& Watcher) {
    std::string Lack = "the watcher ended";
    const auto Shown = [&] { return (Lack = Session->WhatTheOutputsLack()).empty(); };
    if (!WaitFor([&] { return !Watcher.Running() || Shown(); }, SceneTimeout) || !Lack.empty() ||
        !Watcher.Running()) {
      ADD_FAILURE() << "no scene: " << Lack << "; " << Watcher.Stderr();
      return 0;
    }
    const std::vector<pid_t> Savers = ChildrenOf(Watcher.Id());
    EXPECT_EQ(Savers.size(), 1u);
    return Savers.empty() ? 0 : Savers[0];
  }

  static inline std::unique_ptr<TWaylandSession> Shared;
  static inline std::string Named;  // the desktop Shared is
  TWaylandSession* Session = nullptr;
};

TEST_P(IdleWatcher, StartsTheSaverAtIdleEndsItOnActivityStartsItAgainAndEndsWithIt) {
  const auto Start = Clock::now();
  std::unique_ptr<TProcess> Watcher = StartWatcher();
  EXPECT_TRUE(WaitFor([&] { return ProgramOf(Watcher->Id()).filename() == "vadrel-idle"; }, 10s))
      << "vadrel --idle did not hand over to the watcher beside it";
  ASSERT_TRUE(SaverWithin(*Watcher, SceneTimeout)) << Watcher->Stderr();
  const Clock::duration Quiet = QuietSpan(Clock::now() - Start);
  const pid_t First = WaitForTheSaver(*Watcher);
  ASSERT_GT(First, 0);

  std::string Errors;
  ASSERT_TRUE(Session->Activity(Quiet, Errors)) << Errors;
  EXPECT_FALSE(Alive(First)) << "the saver outlived the activity";
  EXPECT_TRUE(ChildrenOf(Watcher->Id()).empty()) << "a saver started while the user was there";
  EXPECT_EQ(Session->WhereTheSceneShows(), "");
  ASSERT_TRUE(Watcher->Running()) << Watcher->Stderr();

  const pid_t Second = WaitForTheSaver(*Watcher);
  ASSERT_GT(Second, 0);
  EXPECT_NE(Second, First);

  kill(Watcher->Id(), SIGTERM);
  EXPECT_EQ(Watcher->WaitForExit(15s), 0) << Watcher->Stderr();
  EXPECT_FALSE(Alive(Second)) << "the saver outlived its watcher";
  EXPECT_EQ(Watcher->Stderr(), "");
}

// A visible window holding the compositor's idle inhibitor, as a video player does, keeps the
// saver away for longer than a watcher started without it takes to start one; once it is gone the
// saver comes.
TEST_P(IdleWatcher, StartsNoSaverWhileAWindowInhibitsIdle) {
  const auto Start = Clock::now();
  std::unique_ptr<TProcess> Control = StartWatcher();
  ASSERT_TRUE(SaverWithin(*Control, SceneTimeout)) << "no saver without the inhibitor";
  const Clock::duration Quiet = QuietSpan(Clock::now() - Start);
  Control.reset();

  auto Window = std::make_unique<TProcess>(Session->Copy(VADREL_INHIBITING_WINDOW),
                                           std::vector<std::string>{}, Session->Setting());
  const std::string Output = Session->Outputs().front();
  std::string Errors;
  ASSERT_TRUE(WaitFor([&] { return WindowPixels(Session->Capture(Output, Errors)) > 10000; }, 30s))
      << "the window did not show: " << Errors << Window->Stderr()
      << (Session->CompositorRuns() ? "" : "; the compositor ended: ")
      << (Session->CompositorRuns() ? "" : Session->CompositorErrors());
  if (auto* Sway = dynamic_cast<TSwaySession*>(Session)) {
    std::string Tree;
    ASSERT_EQ(Sway->Message({"-t", "get_tree"}, Tree), 0) << Tree;
    ASSERT_NE(Tree.find("\"inhibit_idle\": true"), std::string::npos) << "no inhibitor: " << Tree;
  }

  std::unique_ptr<TProcess> Watcher = StartWatcher();
  EXPECT_FALSE(SaverWithin(*Watcher, Quiet))
      << "a saver started under the inhibitor within " << Quiet / 1ms << " ms";
  EXPECT_EQ(Session->WhereTheSceneShows(), "");
  ASSERT_TRUE(Watcher->Running()) << Watcher->Stderr();

  Window.reset();
  EXPECT_TRUE(SaverWithin(*Watcher, SceneTimeout)) << "no saver once the window went";
}

// A watcher left waiting on a closed connection would wake for ever on its hang-up. Last: it ends
// the suite's compositor.
TEST_P(IdleWatcher, EndsWithOneLineWhenTheCompositorGoes) {
  std::unique_ptr<TProcess> Watcher = StartWatcher();
  std::this_thread::sleep_for(2s);  // under the idle time: it waits for the session
  ASSERT_TRUE(Watcher->Running()) << Watcher->Stderr();
  Session->EndCompositor();
  EXPECT_EQ(Watcher->WaitForExit(15s), 1);
  const std::string Errors = Watcher->Stderr();
  EXPECT_NE(Errors.find("is gone"), std::string::npos) << Errors;
  EXPECT_EQ(std::count(Errors.begin(), Errors.end(), '\n'), 1) << Errors;
}

// A suite for each desktop, so that each runs all its tests on one desktop before the next.
const auto ByName = [](const auto& Info) { return std::string(Info.param.Name); };
INSTANTIATE_TEST_SUITE_P(Sway, IdleWatcher, ::testing::Values(Desktops[0]), ByName);
INSTANTIATE_TEST_SUITE_P(KWin, IdleWatcher, ::testing::Values(Desktops[1]), ByName);

}  // namespace
