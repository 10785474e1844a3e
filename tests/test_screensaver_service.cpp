// The served org.freedesktop.ScreenSaver on a real bus of the test's own, called by clients as
// players call it: inhibits on both object paths, each caller's own, ended by UnInhibit or by the
// caller leaving; bad calls answered with errors; the name never taken from the desktop and given
// up to it; the saver's state and reported activity. Which reasons hold the saver off.
#include <gtest/gtest.h>

#include <poll.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

#include "Bus.h"
#include "Inhibitors.h"
#include "Platform.h"
#include "PrivateBus.h"
#include "ScreenSaverService.h"

namespace {

using namespace std::chrono_literals;
constexpr const char* Name = "org.freedesktop.ScreenSaver";
constexpr const char* Old = "/ScreenSaver";
constexpr const char* New = "/org/freedesktop/ScreenSaver";

// A call's answer, filled in when its reply is taken.
struct TAnswer {
  bool Done = false;
  std::string Error;  // the D-Bus error's name
  std::uint32_t Number = 0;
};

// A program on the bus that calls the service as a player would, without waiting: the test pumps
// the service and the client together until what it expects has come.
class TClient {
public:
  explicit TClient(const std::string& Address) : Bus(TBus::Open(Address)) {}
  template <typename... TArgs>
  std::shared_ptr<TAnswer> Call(const char* Path, const char* Member, const char* Types,
                                TArgs... Args) {
    auto Answer = std::make_shared<TAnswer>();
    Answers.push_back(Answer);
    sd_bus_call_method_async(Bus->Get(), nullptr, Name, Path, Name, Member, &TClient::Replied,
                             Answer.get(), Types, Args...);
    return Answer;
  }
  // Sends a call and never reads its reply, as a stuck program would.
  void Send(const char* Member, const char* Types, const char* A, const char* B) {
    sd_bus_message* Message = nullptr;
    sd_bus_message_new_method_call(Bus->Get(), &Message, Name, Old, Name, Member);
    sd_bus_message_append(Message, Types, A, B);
    sd_bus_send(Bus->Get(), Message, nullptr);
    sd_bus_message_unref(Message);
  }
  std::unique_ptr<TBus> Bus;

private:
  static int Replied(sd_bus_message* Reply, void* Data, sd_bus_error*) {
    auto& Answer = *static_cast<TAnswer*>(Data);
    Answer.Done = true;
    if (const sd_bus_error* Error = sd_bus_message_get_error(Reply))
      Answer.Error = Error->name;
    else if (sd_bus_message_has_signature(Reply, "u"))
      sd_bus_message_read(Reply, "u", &Answer.Number);
    else if (sd_bus_message_has_signature(Reply, "b"))
      sd_bus_message_read(Reply, "b", &Answer.Number);
    return 0;
  }
  std::vector<std::shared_ptr<TAnswer>> Answers;
};

class ScreenSaverService : public ::testing::Test {
protected:
  void SetUp() override {
    // No display: nothing of the test's own session is held.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    ASSERT_TRUE(Bus.Up());
    Previous = SetDiagnosticSink([this](const std::string& Line) { Lines.push_back(Line); });
  }
  void TearDown() override { SetDiagnosticSink(Previous); }
  void Serve() {
    std::string Why;
    Service = OpenScreenSaverService(Why);
    ASSERT_NE(Service, nullptr) << Why;
  }
  std::unique_ptr<TClient> Client() { return std::make_unique<TClient>(Bus.Address()); }
  // Runs the service's side and the clients' until Done (at most five seconds).
  bool Pump(const std::function<bool()>& Done, std::initializer_list<TClient*> Clients) {
    for (const auto End = std::chrono::steady_clock::now() + 5s;
         std::chrono::steady_clock::now() < End;) {
      std::vector<pollfd> Fds;
      for (const int Fd : Service->Fds()) Fds.push_back({Fd, POLLIN, 0});
      for (TClient* Each : Clients) Fds.push_back({Each->Bus->Fd(), POLLIN, 0});
      poll(Fds.data(), Fds.size(), 20);
      EXPECT_TRUE(Service->Dispatch(Events));
      for (TClient* Each : Clients) Each->Bus->Process();
      if (Done()) return true;
    }
    return false;
  }
  bool Answered(const std::shared_ptr<TAnswer>& Answer, std::initializer_list<TClient*> Clients) {
    return Pump([&] { return Answer->Done; }, Clients);
  }

  TPrivateBus Bus;
  std::unique_ptr<TIdleSource> Service;
  std::vector<TIdleEvent> Events;
  std::vector<std::string> Lines;
  TDiagnosticSink Previous;
};

TEST_F(ScreenSaverService, InhibitsOnBothPathsAreEachCallersOwnAndEndWithTheCaller) {
  Serve();
  auto Vlc = Client(), Chromium = Client();
  auto First = Vlc->Call(Old, "Inhibit", "ss", "vlc", "Playing some media.");
  ASSERT_TRUE(Answered(First, {Vlc.get()}));
  ASSERT_EQ(First->Error, "");
  EXPECT_EQ(Events, std::vector{TIdleEvent::Held}) << "the first inhibit ends a running saver";
  EXPECT_EQ(Service->Inhibited(),
            "an inhibit is held on org.freedesktop.ScreenSaver (vlc: Playing some media.)");
  auto Second = Chromium->Call(New, "Inhibit", "ss", "chromium", "Playing video");
  ASSERT_TRUE(Answered(Second, {Chromium.get()}));
  EXPECT_NE(Second->Number, First->Number);
  EXPECT_EQ(Events.size(), 1u) << "a second inhibit is no news";

  // Nobody ends another's inhibit, nor one that does not exist.
  for (const std::uint32_t Cookie : {First->Number, 0u, 12345u}) {
    auto Refused = Chromium->Call(New, "UnInhibit", "u", Cookie);
    ASSERT_TRUE(Answered(Refused, {Chromium.get()}));
    EXPECT_EQ(Refused->Error, "org.freedesktop.DBus.Error.InvalidArgs") << Cookie;
  }
  auto Released = Vlc->Call(Old, "UnInhibit", "u", First->Number);
  ASSERT_TRUE(Answered(Released, {Vlc.get()}));
  EXPECT_EQ(Released->Error, "");
  EXPECT_NE(Service->Inhibited(), "") << "Chromium's inhibit ended with VLC's";

  Chromium.reset();  // it quits without releasing
  EXPECT_TRUE(Pump([&] { return Service->Inhibited().empty(); }, {Vlc.get()}));
}

// A caller cannot make the service hold without end: its inhibits are capped, and one that sends
// thousands and never reads a reply leaves the service answering others.
TEST_F(ScreenSaverService, AFloodingCallerIsCappedAndOthersStillAnswered) {
  Serve();
  auto Flood = Client(), Other = Client();
  for (int Each = 0; Each < 3000; ++Each) Flood->Send("Inhibit", "ss", "flood", "video");
  auto Mine = Other->Call(New, "Inhibit", "ss", "other", "video");
  ASSERT_TRUE(Answered(Mine, {Other.get()}));
  EXPECT_EQ(Mine->Error, "");
  auto Capped = Flood->Call(Old, "Inhibit", "ss", "flood", "video");
  ASSERT_TRUE(Answered(Capped, {Flood.get()}));
  EXPECT_EQ(Capped->Error, "org.freedesktop.DBus.Error.LimitsExceeded");
  Flood.reset();
  auto Again = Other->Call(New, "UnInhibit", "u", Mine->Number);
  ASSERT_TRUE(Answered(Again, {Other.get()}));
  EXPECT_TRUE(Pump([&] { return Service->Inhibited().empty(); }, {Other.get()}));
}

TEST_F(ScreenSaverService, SoundAloneDoesNotHoldTheSaverOff) {
  Serve();
  auto Music = Client();
  auto Answer = Music->Call(Old, "Inhibit", "ss", "rhythmbox", "Playing audio");
  ASSERT_TRUE(Answered(Answer, {Music.get()}));
  EXPECT_EQ(Answer->Error, "");
  EXPECT_EQ(Service->Inhibited(), "");
  EXPECT_TRUE(Events.empty());
}

TEST_F(ScreenSaverService, TellsTheSaversStateAndReportedActivity) {
  Serve();
  auto Player = Client();
  std::vector<std::pair<std::string, int>> Signals;
  const auto OnSignal = [](sd_bus_message* Message, void* Data, sd_bus_error*) {
    int Active = -1;
    sd_bus_message_read(Message, "b", &Active);
    static_cast<decltype(Signals)*>(Data)->emplace_back(sd_bus_message_get_path(Message), Active);
    return 0;
  };
  const TBusSlot Watch =
      Player->Bus->Subscribe(Name, nullptr, Name, "ActiveChanged", OnSignal, &Signals);
  Service->SaverStarted();
  ASSERT_TRUE(Pump([&] { return Signals.size() == 2; }, {Player.get()}));
  EXPECT_EQ(Signals, (decltype(Signals){{Old, 1}, {New, 1}}));
  auto Active = Player->Call(New, "GetActive", "");
  auto Time = Player->Call(Old, "GetActiveTime", "");
  ASSERT_TRUE(Answered(Time, {Player.get()}));
  EXPECT_EQ(Active->Number, 1u);
  EXPECT_EQ(Time->Error, "");
  Service->SaverEnded();
  ASSERT_TRUE(Pump([&] { return Signals.size() == 4; }, {Player.get()}));
  EXPECT_EQ(Signals.back(), (std::pair<std::string, int>(New, 0)));

  auto Poke = Player->Call(Old, "SimulateUserActivity", "");
  ASSERT_TRUE(Answered(Poke, {Player.get()}));
  EXPECT_EQ(Events, std::vector{TIdleEvent::Held});
}

// The desktop's own service is never taken over, and gets the name when it comes later.
TEST_F(ScreenSaverService, TheDesktopsOwnServiceKeepsOrTakesTheName) {
  {
    TScreenSaverStandIn Desktop(Bus.Address(), TScreenSaverStandIn::Desktop, false);
    ASSERT_TRUE(Desktop.Up());
    std::string Why;
    EXPECT_EQ(OpenScreenSaverService(Why), nullptr);
    EXPECT_EQ(Why, "org.freedesktop.ScreenSaver is the desktop's own");
  }
  Serve();
  auto Player = Client();
  auto Held = Player->Call(Old, "Inhibit", "ss", "mpv", "video");
  ASSERT_TRUE(Answered(Held, {Player.get()}));
  const int Taken = sd_bus_request_name(Player->Bus->Get(), Name, SD_BUS_NAME_REPLACE_EXISTING);
  ASSERT_GE(Taken, 0);
  EXPECT_TRUE(Pump([&] { return Service->Inhibited().empty(); }, {Player.get()}));
  EXPECT_EQ(Lines, std::vector<std::string>{"another program took org.freedesktop.ScreenSaver; "
                                            "its inhibits are its own"});
}

TEST(Inhibitors, ReasonsThatHoldTheSaverOff) {
  const std::pair<const char*, bool> Cases[] = {
      {"", true},
      {"Playing some media.", true},
      {"Playing video", true},
      {"video-playing", true},
      {"Presentation", true},
      {"Playing audio", false},
      {"audio-playing", false},
      {"Music is playing", false},
      {"Playing audio and video", true},
  };
  for (const auto& [Reason, Holds] : Cases) EXPECT_EQ(HoldsOffSaver(Reason), Holds) << Reason;
}

}  // namespace
