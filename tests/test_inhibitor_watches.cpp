// The inhibitor watches on buses of the test's own: logind's idle inhibitors against a stand-in
// for logind on a private system bus (logind itself needs systemd as the first process), KDE's
// power management against a stand-in for its policy agent, and against the real PowerDevil under
// KWin, inhibited the way a player on Plasma asks.
#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <functional>

#include "Bus.h"
#include "LogindInhibitors.h"
#include "PowerDevil.h"
#include "PrivateBus.h"
#include "Sessions.h"

namespace {

using enum TIdleEvent;
using namespace std::chrono_literals;

// Runs Watch as the watcher's loop does until Done(the events so far) holds after a Dispatch (or
// Timeout); the events it told meanwhile. Met is false when Done never held.
using TDone = std::function<bool(const std::vector<TIdleEvent>&)>;
std::vector<TIdleEvent> Pump(TIdleSource& Watch, const TDone& Done, bool& Met,
                             std::chrono::seconds Timeout = 5s) {
  std::vector<TIdleEvent> Events;
  const auto End = std::chrono::steady_clock::now() + Timeout;
  Met = false;
  while (!Met && std::chrono::steady_clock::now() < End) {
    std::vector<pollfd> Fds;
    for (int Fd : Watch.Fds()) Fds.push_back({Fd, POLLIN, 0});
    poll(Fds.data(), Fds.size(), 100);
    if (!Watch.Dispatch(Events)) break;
    Met = Done(Events);
  }
  return Events;
}

constexpr const char* AgentName = "org.kde.Solid.PowerManagement.PolicyAgent";

TEST(InhibitorWatches, SayWhyTheyCannotWatchAndStartNoService) {
  TPrivateBus Session(AgentName);
  ASSERT_TRUE(Session.Up());
  std::string Why;
  EXPECT_EQ(OpenLogindInhibitors(Why), nullptr);
  EXPECT_EQ(Why, "no system bus");
  EXPECT_EQ(OpenPowerDevil(Why), nullptr);
  EXPECT_EQ(Why, std::string(AgentName) + " is not on the session bus");
  EXPECT_FALSE(std::filesystem::exists(Session.Marker())) << "asking the bus started the agent";
  TPrivateBus System(TPrivateBus::System);
  ASSERT_TRUE(System.Up());
  EXPECT_EQ(OpenLogindInhibitors(Why), nullptr);
  EXPECT_EQ(Why, "org.freedesktop.login1 is not on the system bus");
}

// One step of a watch's life: an inhibitor taken or dropped, whether the watch asks its service
// about that change, what it tells, and what it answers when asked.
struct TStep {
  char Action;  // 'T'ake, 'D'rop, or the agent's session set 'I'nactive or 'A'ctive
  std::size_t Which;
  bool Asks;
  std::vector<TIdleEvent> Told;
  std::string Inhibited;
};

// Runs Steps on Watch, whose service logs each of its calls that matter as Call with their count;
// Act does a step's action on the service.
void RunSteps(TIdleSource& Watch, TStandIn& Service, const std::string& Call,
         const std::vector<TStep>& Steps, const std::function<void(const TStep&)>& Act) {
  int Calls = 1;  // the last call logged: the look at the start
  const auto Logged = [&](const std::vector<TIdleEvent>& = {}) {
    return Service.Logged(Call + " " + std::to_string(Calls), 0);
  };
  for (std::size_t At = 0; At < Steps.size(); ++At) {
    const TStep& Step = Steps[At];
    Act(Step);
    Calls += Step.Asks;
    bool Looked = false;
    EXPECT_EQ(Pump(Watch, Logged, Looked), Step.Told) << "step " << At;
    EXPECT_TRUE(Looked) << "step " << At << ": no " << Call << " " << Calls;
    EXPECT_EQ(Watch.Inhibited(), Step.Inhibited) << "step " << At;
    ++Calls;  // by Inhibited()
  }
  ++Calls;
  EXPECT_FALSE(Logged()) << Call << " " << Calls << ": asked without a change that needs it";
  EXPECT_EQ(Watch.TimeoutMs(), -1) << "a watch that waits must not wake the watcher";
}

// The first inhibitor of the idle kind that blocks with a reason that counts holds the saver off;
// Held comes with the first such one up, not with the next one nor when they go. A change that
// leaves idle unblocked is not even listed.
TEST(InhibitorWatches, LogindTellsTheFirstIdleBlockThatCounts) {
  TPrivateBus Session, System(TPrivateBus::System);
  ASSERT_TRUE(Session.Up() && System.Up());
  TLogindStandIn Logind(System.Address(), {{"sleep:idle", "mpv", "Playing video", "block"},
                                           {"idle", "Rhythmbox", "Playing audio", "block"},
                                           {"idle", "Totem", "Playing a movie", "delay"},
                                           {"shutdown:sleep", "apt", "Installing updates", "block"},
                                           {"idle", "Impress", "Presentation", "block"}});
  ASSERT_TRUE(Logind.Up());
  std::string Why;
  std::unique_ptr<TIdleSource> Watch = OpenLogindInhibitors(Why);
  ASSERT_NE(Watch, nullptr) << Why;
  EXPECT_EQ(Watch->Fds().size(), 1u);
  const std::string Up = "an idle inhibitor of logind is up ";
  RunSteps(*Watch, Logind, "ListInhibitors",
      {
          {'T', 3, false, {}, ""},
          {'T', 1, true, {}, ""},
          {'T', 2, true, {}, ""},
          {'T', 0, true, {Held}, Up + "(mpv: Playing video)"},
          {'T', 4, true, {}, Up + "(mpv: Playing video)"},
          {'D', 0, true, {}, Up + "(Impress: Presentation)"},
          {'D', 4, true, {}, ""},
          {'T', 4, true, {Held}, Up + "(Impress: Presentation)"},
      },
      [&](const TStep& Step) {
        Step.Action == 'T' ? Logind.Take(Step.Which) : Logind.Drop(Step.Which);
      });
}

// The agent's screen inhibition holds the saver off unless every inhibition it lists speaks only
// of sound; with none listed (the session is not the one in front) it holds it off too.
TEST(InhibitorWatches, PowerDevilTellsTheFirstScreenInhibitionThatCounts) {
  TPrivateBus Session;
  ASSERT_TRUE(Session.Up());
  TPolicyAgentStandIn Agent(Session.Address(), {{"mpv", "Playing video", true},
                                                {"Elisa", "Playing audio", true},
                                                {"KTorrent", "Downloading", false},
                                                {"Okular", "Presentation", true}});
  ASSERT_TRUE(Agent.Up());
  std::string Why;
  std::unique_ptr<TIdleSource> Watch = OpenPowerDevil(Why);
  ASSERT_NE(Watch, nullptr) << Why;
  EXPECT_EQ(Watch->Fds().size(), 1u);
  const std::string Up = "an inhibition of KDE's power management is up";
  RunSteps(*Watch, Agent, "HasInhibition",
      {
          {'T', 2, true, {}, ""},
          {'D', 2, true, {}, ""},
          {'T', 1, true, {}, ""},
          {'T', 0, true, {Held}, Up + " (mpv: Playing video)"},
          {'T', 3, true, {}, Up + " (mpv: Playing video)"},
          {'D', 0, true, {}, Up + " (Okular: Presentation)"},
          {'D', 3, true, {}, ""},
          {'D', 1, true, {}, ""},
          {'I', 0, false, {}, Up},
          {'A', 0, false, {}, ""},
          {'T', 3, true, {Held}, Up + " (Okular: Presentation)"},
      },
      [&](const TStep& Step) {
        if (Step.Action == 'I' || Step.Action == 'A') {
          Agent.SetInactive(Step.Action == 'I');
          EXPECT_TRUE(Agent.Logged(Step.Action == 'I' ? "Inactive 1" : "Inactive 0"));
        }
        if (Step.Action == 'T') Agent.Take(Step.Which);
        if (Step.Action == 'D') Agent.Drop(Step.Which);
      });
}

// KDE's PowerDevil itself (with UPower on a system bus of the test's) under a KWin of the test's:
// a player's inhibit of org.freedesktop.ScreenSaver, which KWin hands on to PowerDevil, reaches the
// watch as Held once PowerDevil applies it (some seconds later), and its end as Inhibited() empty.
TEST(PowerDevilUnderKWin, TellsAPlayersScreenSaverInhibit) {
  const std::string Libraries = "/usr/lib/x86_64-linux-gnu/";
  const std::string Agent = Libraries + "libexec/org_kde_powerdevil";
  for (const std::string& Needed : {Agent, std::string("/usr/libexec/upowerd"),
                                    Libraries + "qt5/plugins/platforms/libqwayland-generic.so"})
    if (!std::filesystem::exists(Needed)) GTEST_SKIP() << Needed << " is not installed";
  TTempDir NoData;  // no program of ours runs in the session: only the watch, in the test
  std::string Missing;
  std::unique_ptr<TKWinSession> Desktop =
      TKWinSession::Open("/bin/true", NoData.Path(), 1, Missing);
  if (!Desktop) GTEST_SKIP() << Missing << " is not installed";
  ASSERT_EQ(Desktop->Failure(), "");
  const std::string SessionBus = "unix:path=" + (Desktop->Folder() / "bus").string();
  TPrivateBus System(TPrivateBus::System);
  ASSERT_TRUE(System.Up());
  const std::string OnSystem = "DBUS_SYSTEM_BUS_ADDRESS=" + System.Address();
  TProcess UPower("/usr/libexec/upowerd", {}, Desktop->Setting({OnSystem}));
  const std::unique_ptr<TBus> SystemClient = TBus::Open(System.Address());
  ASSERT_TRUE(WaitFor([&] { return SystemClient->HasOwner("org.freedesktop.UPower"); }, 10s))
      << UPower.Stderr();
  // KDE_DEBUG: a crash ends it instead of starting it again.
  TProcess PowerDevil(Agent, {}, Desktop->Setting({OnSystem, "QT_QPA_PLATFORM=wayland",
                                                   "KDE_DEBUG=1"}));
  const std::unique_ptr<TBus> Player = TBus::Open(SessionBus);
  ASSERT_NE(Player, nullptr);
  ASSERT_TRUE(WaitFor([&] { return Player->HasOwner(AgentName) || !PowerDevil.Running(); }, 30s));
  ASSERT_TRUE(Player->HasOwner(AgentName)) << PowerDevil.Stderr();

  const TScopedEnv OnSession("DBUS_SESSION_BUS_ADDRESS", SessionBus.c_str());
  std::string Why;
  std::unique_ptr<TIdleSource> Watch = OpenPowerDevil(Why);
  ASSERT_NE(Watch, nullptr) << Why;
  EXPECT_EQ(Watch->Inhibited(), "");
  const char* const Saver = "org.freedesktop.ScreenSaver";
  TBusMessage Reply = Player->Call(Saver, "/org/freedesktop/ScreenSaver", Saver, "Inhibit", Why,
                                   "ss", "mpv", "Playing video");
  std::uint32_t Cookie = 0;
  ASSERT_TRUE(Reply && sd_bus_message_read(Reply.get(), "u", &Cookie) >= 0) << Why;
  bool Met = false;
  const auto Told = Pump(
      *Watch, [](const std::vector<TIdleEvent>& Events) { return !Events.empty(); }, Met, 20s);
  EXPECT_EQ(Told, std::vector{Held}) << PowerDevil.Stderr();
  EXPECT_EQ(Watch->Inhibited(),
            "an inhibition of KDE's power management is up (mpv: Playing video)");
  ASSERT_TRUE(
      Player->Call(Saver, "/org/freedesktop/ScreenSaver", Saver, "UnInhibit", Why, "u", Cookie))
      << Why;
  Pump(*Watch, [&](const std::vector<TIdleEvent>&) { return Watch->Inhibited().empty(); }, Met);
  EXPECT_TRUE(Met) << "still inhibited after the player's UnInhibit";
}

}  // namespace
