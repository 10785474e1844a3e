// GnomeIdle on real buses of the test's own: what it says when the session has no bus, or a bus
// without GNOME's idle monitor; and the watches it keeps on a stand-in for the monitor (under
// GNOME Shell itself it is tested end to end).
#include <gtest/gtest.h>

#include <poll.h>

#include <cstdlib>
#include <optional>

#include "GnomeIdle.h"
#include "PrivateBus.h"

namespace {

TEST(GnomeIdle, SaysWhyItCannotWatch) {
  TPrivateBus Bus;
  ASSERT_TRUE(Bus.Up());
  TTempDir Empty;
  const std::string NoSocket = "unix:path=" + (Empty.Path() / "bus").string();
  const struct {
    std::string Address;
    std::string Why;
  } Cases[] = {
      {Bus.Address(), "org.gnome.Mutter.IdleMonitor is not on the session bus"},
      {NoSocket, "no session bus"},
  };
  for (const auto& Case : Cases) {
    setenv("DBUS_SESSION_BUS_ADDRESS", Case.Address.c_str(), 1);
    std::string Why;
    EXPECT_EQ(OpenGnomeIdle(3000, Why), nullptr) << Case.Address;
    EXPECT_EQ(Why, Case.Why) << Case.Address;
  }
}


// The watches GnomeIdle keeps on a stand-in for Mutter's monitor, as the monitor is asked, and
// what the source tells of them.
class GnomeIdleOnAMonitor : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Bus.Up());
    Monitor.emplace(Bus.Address());
    ASSERT_TRUE(Monitor->Up());
    std::string Why;
    Source = OpenGnomeIdle(3000, Why);
    ASSERT_NE(Source, nullptr) << Why;
    ASSERT_TRUE(Monitor->Logged("AddIdleWatch 3000 -> 1"));
  }
  // What the source tells within a second (the watcher's loop, short).
  std::vector<TIdleEvent> Told() {
    std::vector<TIdleEvent> Events;
    for (int Round = 0; Round < 10 && Events.empty(); ++Round) {
      std::vector<pollfd> Fds;
      for (int Fd : Source->Fds()) Fds.push_back({Fd, POLLIN, 0});
      poll(Fds.data(), Fds.size(), 100);
      EXPECT_TRUE(Source->Dispatch(Events));
    }
    return Events;
  }

  TPrivateBus Bus;
  std::optional<TIdleMonitorStandIn> Monitor;
  std::unique_ptr<TIdleSource> Source;
};

using enum TIdleEvent;

TEST_F(GnomeIdleOnAMonitor, IdleThenActiveFromTheUserActiveWatchAndEveryWatchRemovedAtTheEnd) {
  Monitor->SetIdleTime(3000);
  Monitor->Fire(1);
  EXPECT_EQ(Told(), std::vector{Idle});
  EXPECT_TRUE(Monitor->Logged("AddUserActiveWatch -> 2"));
  Source->SaverStarted();
  Monitor->Fire(2);
  EXPECT_EQ(Told(), std::vector{Active});
  Source.reset();
  EXPECT_TRUE(Monitor->Logged("RemoveWatch 1"));
}

// Input between the idle watch firing and the user-active watch being added: the idle time tells.
TEST_F(GnomeIdleOnAMonitor, InputBeforeTheActiveWatchCameIsNoIdle) {
  Monitor->SetIdleTime(40);
  Monitor->Fire(1);
  EXPECT_EQ(Told(), std::vector<TIdleEvent>{});
  EXPECT_TRUE(Monitor->Logged("RemoveWatch 2"));
}

// The saver not started (an inhibitor said no): Idle again one idle period later, until input.
TEST_F(GnomeIdleOnAMonitor, IdleIsToldAgainEachPeriodWhileTheSaverIsNotRunning) {
  Monitor->SetIdleTime(3000);
  Monitor->Fire(1);
  EXPECT_EQ(Told(), std::vector{Idle});
  ASSERT_TRUE(Monitor->Logged("AddIdleWatch 6000 -> 3"));
  Monitor->SetIdleTime(6000);
  Monitor->Fire(3);
  EXPECT_EQ(Told(), std::vector{Idle});
  EXPECT_TRUE(Monitor->Logged("RemoveWatch 3"));
  ASSERT_TRUE(Monitor->Logged("AddIdleWatch 9000 -> 4"));
  Monitor->Fire(2);
  EXPECT_EQ(Told(), std::vector{Active});
  EXPECT_TRUE(Monitor->Logged("RemoveWatch 4"));
}

// GNOME Shell restarted: the new monitor knows none of the old watches.
TEST_F(GnomeIdleOnAMonitor, ANewMonitorGetsTheIdleWatchAgain) {
  Monitor.reset();
  Monitor.emplace(Bus.Address());
  ASSERT_TRUE(Monitor->Up());
  EXPECT_EQ(Told(), std::vector<TIdleEvent>{});
  EXPECT_TRUE(Monitor->Logged("AddIdleWatch 3000 -> 1"));
}

}  // namespace
