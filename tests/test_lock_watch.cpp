// LockWatch on a real session bus of the test's own, with stand-ins for the desktops' screen-saver
// services: the lock state they tell, combined, and the rule that a service is never started just
// to be asked.
#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>

#include "LockWatch.h"
#include "PrivateBus.h"

namespace {

// The events Watch tells within Seconds, waiting on its descriptors as the watcher does; stops
// early once Count have come.
std::vector<TIdleEvent> EventsOf(TIdleSource& Watch, std::size_t Count, int Seconds = 5) {
  std::vector<TIdleEvent> Events;
  const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(Seconds);
  while (Events.size() < Count && std::chrono::steady_clock::now() < End) {
    std::vector<pollfd> Fds;
    for (int Fd : Watch.Fds()) Fds.push_back({Fd, POLLIN, 0});
    const int Timeout = Watch.TimeoutMs();
    poll(Fds.data(), Fds.size(), Timeout < 0 || Timeout > 100 ? 100 : Timeout);
    if (!Watch.Dispatch(Events)) break;
  }
  return Events;
}

using enum TIdleEvent;
const char* const GnomeName = "org.gnome.ScreenSaver";

TEST(LockWatch, IsNullWhenNoLockServiceRunsAndStartsNoneThatIsOnlyActivatable) {
  TPrivateBus Bus(GnomeName);
  ASSERT_TRUE(Bus.Up());
  EXPECT_EQ(OpenLockWatch(), nullptr);
  EXPECT_FALSE(std::filesystem::exists(Bus.Marker())) << "asking the bus started the service";
}

TEST(LockWatch, ALockUpAtStartIsToldFirstThenEachChange) {
  TPrivateBus Bus;
  ASSERT_TRUE(Bus.Up());
  TScreenSaverStandIn Shield(Bus.Address(), TScreenSaverStandIn::Gnome, true);
  ASSERT_TRUE(Shield.Up());
  std::unique_ptr<TIdleSource> Watch = OpenLockWatch();
  ASSERT_NE(Watch, nullptr);
  EXPECT_NE(Watch->Name().find(GnomeName), std::string::npos) << Watch->Name();
  EXPECT_EQ(EventsOf(*Watch, 1), std::vector{Locked});
  Shield.Set(false);
  EXPECT_EQ(EventsOf(*Watch, 1), std::vector{Unlocked});
  Shield.Set(true);
  EXPECT_EQ(EventsOf(*Watch, 1), std::vector{Locked});
}

// The session is locked while either service says so: each step is (which service, its new
// state, what the watch tells then).
TEST(LockWatch, IsLockedWhileAnyServiceSaysSo) {
  TPrivateBus Bus;
  ASSERT_TRUE(Bus.Up());
  TScreenSaverStandIn GnomeShield(Bus.Address(), TScreenSaverStandIn::Gnome, false);
  TScreenSaverStandIn DesktopShield(Bus.Address(), TScreenSaverStandIn::Desktop, false);
  ASSERT_TRUE(GnomeShield.Up() && DesktopShield.Up());
  std::unique_ptr<TIdleSource> Watch = OpenLockWatch();
  ASSERT_NE(Watch, nullptr);
  EXPECT_EQ(EventsOf(*Watch, 1, 1), std::vector<TIdleEvent>{}) << "unlocked at start";
  struct TStep {
    TScreenSaverStandIn* Service;
    bool Active;
    std::vector<TIdleEvent> Told;
  };
  const TStep Steps[] = {
      {&DesktopShield, true, {Locked}},
      {&GnomeShield, true, {}},
      {&DesktopShield, false, {}},
      {&GnomeShield, false, {Unlocked}},
  };
  for (std::size_t At = 0; At < std::size(Steps); ++At) {
    Steps[At].Service->Set(Steps[At].Active);
    EXPECT_EQ(EventsOf(*Watch, 1, Steps[At].Told.empty() ? 1 : 5), Steps[At].Told) << "step " << At;
  }
}

}  // namespace
