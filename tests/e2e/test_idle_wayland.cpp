// The idle watcher (`vadrel --idle=3s`) on Wayland desktops the test starts, headless: sway, which
// offers org_kde_kwin_idle, and KWin, which offers ext_idle_notifier_v1 first. Activity is the
// desktop's own (keys typed through sway's virtual keyboard, KWin's SimulateUserActivity), the
// pictures each output's own.
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
protected:
  void SetUp() override {
    std::string Missing;
    Session = GetParam().Open(Missing);
    if (!Session) GTEST_SKIP() << "no " << Missing;
    ASSERT_EQ(Session->Failure(), "");
    // Beside the program, where `vadrel --idle` looks for the watcher it hands over to.
    Session->Copy(VADREL_IDLE_PROGRAM);
    RecordProperty("CompositorStartMs",
                   int(std::chrono::duration_cast<std::chrono::milliseconds>(Session->StartTime())
                           .count()));
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
  std::unique_ptr<TWaylandSession> Session;
};

TEST_P(IdleWatcher, StartsTheSaverAtIdleEndsItOnActivityStartsItAgainAndEndsWithIt) {
  std::unique_ptr<TProcess> Watcher = StartWatcher();
  EXPECT_TRUE(WaitFor([&] { return ProgramOf(Watcher->Id()).filename() == "vadrel-idle"; }, 10s))
      << "vadrel --idle did not hand over to the watcher beside it";
  const pid_t First = WaitForTheSaver(*Watcher);
  ASSERT_GT(First, 0);

  std::string Errors;
  ASSERT_TRUE(Session->Activity(8s, Errors)) << Errors;  // more than twice the idle time
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
// saver away for several idle times; once it is gone the saver comes.
TEST_P(IdleWatcher, StartsNoSaverWhileAWindowInhibitsIdle) {
  auto Window = std::make_unique<TProcess>(Session->Copy(VADREL_INHIBITING_WINDOW),
                                           std::vector<std::string>{}, Session->Setting());
  const std::string Output = Session->Outputs().front();
  std::string Errors;
  ASSERT_TRUE(WaitFor([&] { return WindowPixels(Session->Capture(Output, Errors)) > 10000; }, 30s))
      << "the window did not show: " << Errors << Window->Stderr();
  if (auto* Sway = dynamic_cast<TSwaySession*>(Session.get())) {
    std::string Tree;
    ASSERT_EQ(Sway->Message({"-t", "get_tree"}, Tree), 0) << Tree;
    ASSERT_NE(Tree.find("\"inhibit_idle\": true"), std::string::npos) << "no inhibitor: " << Tree;
  }

  std::unique_ptr<TProcess> Watcher = StartWatcher();
  for (const auto End = Clock::now() + 15s; Clock::now() < End; std::this_thread::sleep_for(1s))
    ASSERT_TRUE(ChildrenOf(Watcher->Id()).empty()) << "a saver started under the inhibitor";
  EXPECT_EQ(Session->WhereTheSceneShows(), "");
  ASSERT_TRUE(Watcher->Running()) << Watcher->Stderr();

  Window.reset();
  EXPECT_GT(WaitForTheSaver(*Watcher), 0);
}

// A watcher left waiting on a closed connection would wake for ever on its hang-up.
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

INSTANTIATE_TEST_SUITE_P(Desktops, IdleWatcher, ::testing::ValuesIn(Desktops),
                         [](const auto& Info) { return std::string(Info.param.Name); });

}  // namespace
