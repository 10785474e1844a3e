// The idle watcher under a headless GNOME Shell: GNOME's idle monitor starts the saver, input
// through Mutter's remote desktop ends it, GNOME's session manager's inhibitors keep it away, and
// SIGTERM ends the watcher with its saver. GNOME Shell locks only under its display manager, so
// the lock comes from a stand-in for the desktops' org.freedesktop.ScreenSaver on the session's
// bus. One shell (see GnomeSession) serves every test, each leaving it as it found it: its
// watcher, saver, inhibitor and lock ended, the overview closed.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>

#include "GnomeSession.h"
#include "PrivateBus.h"

using namespace std::chrono_literals;

namespace {


class GnomeShell : public ::testing::Test {
public:
  static void TearDownTestSuite() { Shared.reset(); }

protected:
  // The suite's shell, started by its first test.
  void SetUp() override {
    for (const char* Tool : {"/usr/bin/gnome-shell", "/usr/bin/dbus-daemon"})
      if (!std::filesystem::exists(Tool)) GTEST_SKIP() << "no " << Tool;
    if (!Shared) {
      // The lean watcher beside the program, where `vadrel --idle` looks for it.
      Shared.emplace(VADREL_PROGRAM, std::vector<std::string>{VADREL_IDLE_PROGRAM},
                     VADREL_BUILD_DATA_DIR);
      const auto Before = Clock::now();
      StartFailure = Shared->Start();
      if (!StartFailure.empty()) StartFailure += "; " + Shared->ShellErrors();
      RecordProperty("GnomeShellStarts", Shared->ShellStarts());
      RecordProperty("GnomeShellStartMs",
                     int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                                               Before).count()));
    }
    Session = &*Shared;
    ASSERT_EQ(StartFailure, "");
    if (Session->OverviewActive()) {
      ASSERT_EQ(Session->CloseOverview(), "");
    }
  }

  // `vadrel --idle=3s`, once it has handed over to the lean watcher.
  std::unique_ptr<TProcess> StartWatcher() {
    auto Watcher = std::make_unique<TProcess>(
        Session->Program(), std::vector<std::string>{"--idle=3s"}, Session->Setting());
    EXPECT_TRUE(
        WaitFor([&] { return ProgramOf(Watcher->Id()).filename() == "vadrel-idle"; }, 10s))
        << "vadrel --idle did not hand over to the watcher beside it: " << Watcher->Stderr();
    return Watcher;
  }
  // The monitor shows the scene; else what it lacks.
  std::string WhatTheMonitorLacks() {
    std::string Error;
    const TPicture Shot = Session->Screenshot(Error);
    if (Shot.Width != 1280 || Shot.Height != 800) return "a 1280x800 screenshot: " + Error;
    const std::string Lack = WhatTheSceneLacks(Shot);
    if (!Lack.empty()) SavePicture(Shot, ::testing::TempDir() + "gnome-lacking.png");
    return Lack;
  }
  // The saver the watcher runs, or 0.
  static pid_t SaverOf(TProcess& Watcher) {
    const std::vector<pid_t> Children = ChildrenOf(Watcher.Id());
    return Children.empty() ? 0 : Children.front();
  }

  static inline std::optional<TGnomeSession> Shared;
  static inline std::string StartFailure;
  TGnomeSession* Session = nullptr;
};

TEST_F(GnomeShell, TheSaverComesAtIdleEndsOnInputComesBackAndEndsWithTheWatcher) {
  std::unique_ptr<TProcess> Watcher = StartWatcher();
  std::string Lack;
  ASSERT_TRUE(WaitFor([&] { return (Lack = WhatTheMonitorLacks()).empty(); }, 90s))
      << Lack << "; " << Watcher->Stderr();
  ASSERT_NE(SaverOf(*Watcher), 0);

  // A move ends the saver; the session is kept busy while the monitor is looked at, so that the
  // watcher has no idle period to start it again in.
  ASSERT_TRUE(Session->MovePointer(40, 30));
  EXPECT_TRUE(WaitFor([&] { return Session->MovePointer(1, 0) && SaverOf(*Watcher) == 0; }, 20s))
      << Watcher->Stderr();
  // The shell fades a closed window out: the scene may show a moment longer than its program.
  EXPECT_TRUE(WaitFor([&] { return Session->MovePointer(0, 1) && !WhatTheMonitorLacks().empty(); },
                      10s));
  EXPECT_TRUE(Watcher->Running()) << Watcher->Stderr();

  // Left alone again, the session goes idle again.
  EXPECT_TRUE(WaitFor([&] { return (Lack = WhatTheMonitorLacks()).empty(); }, 90s))
      << Lack << "; " << Watcher->Stderr();
  const pid_t Saver = SaverOf(*Watcher);
  ASSERT_NE(Saver, 0);
  kill(Watcher->Id(), SIGTERM);
  EXPECT_EQ(Watcher->WaitForExit(20s), 0) << Watcher->Stderr();
  EXPECT_FALSE(Alive(Saver));
}

TEST_F(GnomeShell, AnIdleInhibitorKeepsTheSaverAwayUntilItEnds) {
  ASSERT_EQ(Session->StartSessionManager(), "");
  ASSERT_TRUE(Session->MovePointer(1, 0));  // a whole idle period before the saver
  const auto Start = Clock::now();
  ASSERT_TRUE(SaverWithin(*StartWatcher(), 90s)) << "no saver without the inhibitor";
  const Clock::duration Quiet = QuietSpan(Clock::now() - Start);

  auto Inhibitor = std::make_unique<TProcess>(
      "gnome-session-inhibit", std::vector<std::string>{"--inhibit", "idle", "sleep", "600"},
      Session->Setting());
  ASSERT_TRUE(WaitFor([&] { return Session->IdleInhibited(); }, 20s))
      << "no inhibitor: " << Inhibitor->Stderr() << "; " << Session->SessionManagerErrors();

  std::unique_ptr<TProcess> Watcher = StartWatcher();
  EXPECT_FALSE(SaverWithin(*Watcher, Quiet))
      << "a saver under the inhibitor within " << Quiet / 1ms << " ms: " << Watcher->Stderr();
  EXPECT_TRUE(Watcher->Running()) << Watcher->Stderr();
  EXPECT_NE(WhatTheMonitorLacks(), "");

  // The session still idle, the saver starts once nothing holds it back.
  Inhibitor.reset();
  ASSERT_TRUE(WaitFor([&] { return !Session->IdleInhibited(); }, 20s))
      << "the inhibitor outlived gnome-session-inhibit: " << Session->SessionManagerErrors();
  EXPECT_TRUE(SaverWithin(*Watcher, 90s)) << "no saver once the inhibitor went";
}

TEST_F(GnomeShell, ALockEndsTheSaverAndKeepsItAway) {
  TScreenSaverStandIn Lock(Session->SessionBusAddress(), TScreenSaverStandIn::Desktop, false);
  ASSERT_TRUE(Lock.Up());
  ASSERT_TRUE(Session->MovePointer(1, 0));  // a whole idle period before the saver
  const auto Start = Clock::now();
  std::unique_ptr<TProcess> Watcher = StartWatcher();
  ASSERT_TRUE(SaverWithin(*Watcher, 90s)) << "no saver: " << Watcher->Stderr();
  const Clock::duration Quiet = QuietSpan(Clock::now() - Start);

  Lock.Set(true);
  EXPECT_TRUE(WaitFor([&] { return SaverOf(*Watcher) == 0; }, 20s))
      << "the lock left the saver: " << Watcher->Stderr();
  // A person at the lock screen, gone again: the session's next idle period, under the lock.
  ASSERT_TRUE(Session->MovePointer(1, 0));
  EXPECT_FALSE(SaverWithin(*Watcher, Quiet))
      << "a saver under the lock within " << Quiet / 1ms << " ms: " << Watcher->Stderr();
  EXPECT_TRUE(Watcher->Running()) << Watcher->Stderr();

  // Unlocked, the same comes and goes bring the saver.
  Lock.Set(false);
  ASSERT_TRUE(Session->MovePointer(-1, 0));
  EXPECT_TRUE(SaverWithin(*Watcher, 90s)) << "no saver after the unlock: " << Watcher->Stderr();
}

}  // namespace
