#include "GnomeIdle.h"

#include <vector>

#include "Bus.h"

namespace {

constexpr const char* Monitor = "org.gnome.Mutter.IdleMonitor";
constexpr const char* MonitorPath = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr const char* SessionManager = "org.gnome.SessionManager";
constexpr unsigned InhibitIdle = 8;  // GNOME's inhibitor flag for "the session going idle"

// Mutter's watches: an idle watch fires each time the idle time reaches its interval, a user-active
// watch once, at the next input. All of them belong to this connection: they die with it.
class TGnomeIdle final : public TIdleSource {
public:
  TGnomeIdle(std::unique_ptr<TBus> Opened, int Interval)
      : Bus(std::move(Opened)), IdleMs(Interval) {}
  ~TGnomeIdle() override {
    for (std::uint32_t Watch : {IdleWatch, ActiveWatch, AgainWatch}) Remove(Watch);
  }
  TGnomeIdle(const TGnomeIdle&) = delete;
  TGnomeIdle& operator=(const TGnomeIdle&) = delete;

  bool Start(std::string& Why) {
    Fired = Bus->Subscribe(Monitor, MonitorPath, Monitor, "WatchFired", &TGnomeIdle::OnFired, this);
    // GNOME Shell restarted (as it can be on X11) comes back without this connection's watches.
    Replaced = Bus->Subscribe(std::string("type='signal',sender='org.freedesktop.DBus',"
                                          "member='NameOwnerChanged',arg0='") + Monitor + "'",
                              &TGnomeIdle::OnReplaced, this);
    IdleWatch = AddIdleWatch(std::uint64_t(IdleMs), Why);
    return Fired && Replaced && IdleWatch;
  }

  std::string Name() const override {
    return "GNOME's idle monitor (org.gnome.Mutter.IdleMonitor)";
  }
  std::vector<int> Fds() const override { return {Bus->Fd()}; }
  int TimeoutMs() const override { return Bus->TimeoutMs(); }
  bool Dispatch(std::vector<TIdleEvent>& Events) override;
  std::string Inhibited() override;
  void SaverStarted() override { SaverRuns = true; }
  void SaverEnded() override;

private:
  static int OnFired(sd_bus_message* Message, void* Data, sd_bus_error*) {
    std::uint32_t Watch = 0;
    if (sd_bus_message_read(Message, "u", &Watch) >= 0)
      static_cast<TGnomeIdle*>(Data)->Pending.push_back(Watch);
    return 0;
  }
  static int OnReplaced(sd_bus_message* Message, void* Data, sd_bus_error*) {
    const char *Name = nullptr, *Before = nullptr, *After = nullptr;
    if (sd_bus_message_read(Message, "sss", &Name, &Before, &After) >= 0 && *After)
      static_cast<TGnomeIdle*>(Data)->Rewatch = true;
    return 0;
  }
  void WatchAnew();
  void OnWatch(std::uint32_t Watch, std::vector<TIdleEvent>& Events);
  void Remind(std::uint64_t IdleNowMs);

  // The new watch's id, 0 (never a watch's) when the call fails.
  std::uint32_t WatchOf(TBusMessage Reply) {
    std::uint32_t Watch = 0;
    if (Reply) sd_bus_message_read(Reply.get(), "u", &Watch);
    return Watch;
  }
  std::uint32_t AddIdleWatch(std::uint64_t IntervalMs, std::string& Why) {
    return WatchOf(Bus->Call(Monitor, MonitorPath, Monitor, "AddIdleWatch", Why, "t", IntervalMs));
  }
  std::uint32_t AddActiveWatch(std::string& Why) {
    return WatchOf(Bus->Call(Monitor, MonitorPath, Monitor, "AddUserActiveWatch", Why, ""));
  }
  void Remove(std::uint32_t& Watch) {
    if (!Watch) return;
    std::string Error;
    Bus->Call(Monitor, MonitorPath, Monitor, "RemoveWatch", Error, "u", Watch);
    Watch = 0;
  }
  std::uint64_t IdleTimeMs() {
    std::string Error;
    TBusMessage Reply = Bus->Call(Monitor, MonitorPath, Monitor, "GetIdletime", Error, "");
    std::uint64_t Ms = 0;
    if (Reply) sd_bus_message_read(Reply.get(), "t", &Ms);
    return Ms;
  }

  std::unique_ptr<TBus> Bus;
  int IdleMs;
  TBusSlot Fired, Replaced;
  bool Rewatch = false;  // the monitor has a new owner, which knows none of the watches
  std::vector<std::uint32_t> Pending;  // fired watches not yet handled
  std::uint32_t IdleWatch = 0;
  std::uint32_t ActiveWatch = 0;  // set from Idle until Active
  std::uint32_t AgainWatch = 0;   // one more idle period while the saver is not running
  bool SaverRuns = false;
};

bool TGnomeIdle::Dispatch(std::vector<TIdleEvent>& Events) {
  // Handling a watch calls the monitor, and signals that arrive meanwhile are queued: process
  // until neither is left.
  for (;;) {
    if (!Bus->Process()) return false;
    if (Rewatch) WatchAnew();
    if (Pending.empty()) return true;
    const std::vector<std::uint32_t> Watches = std::move(Pending);
    Pending.clear();
    for (std::uint32_t Watch : Watches) OnWatch(Watch, Events);
  }
}

// The watches as they were, on the new monitor; Idle is told again when it fires.
void TGnomeIdle::WatchAnew() {
  Rewatch = false;
  Pending.clear();
  std::string Why;
  IdleWatch = AddIdleWatch(std::uint64_t(IdleMs), Why);
  AgainWatch = 0;
  if (ActiveWatch) ActiveWatch = AddActiveWatch(Why);
}

void TGnomeIdle::OnWatch(std::uint32_t Watch, std::vector<TIdleEvent>& Events) {
  if (!Watch) return;
  if (Watch == ActiveWatch) {
    ActiveWatch = 0;  // one-shot: Mutter has removed it
    Remove(AgainWatch);
    Events.push_back(TIdleEvent::Active);
    return;
  }
  if (Watch != IdleWatch && Watch != AgainWatch) return;
  if (Watch == AgainWatch) {
    Remove(AgainWatch);  // idle watches outlive their firing
    if (SaverRuns || !ActiveWatch) return;
  }
  std::string Why;
  if (!ActiveWatch) {
    ActiveWatch = AddActiveWatch(Why);
    // Input between the idle watch firing and the new watch would be missed by it: the idle
    // time tells.
    if (const std::uint64_t Now = IdleTimeMs(); ActiveWatch && Now < std::uint64_t(IdleMs)) {
      Remove(ActiveWatch);
      return;
    }
  }
  Events.push_back(TIdleEvent::Idle);
  if (!SaverRuns) Remind(IdleTimeMs());
}

// While the session stays idle without the saver (an inhibitor said no, or the saver ended by
// itself), Idle is told again one idle period later, so that it starts once it may.
void TGnomeIdle::Remind(std::uint64_t IdleNowMs) {
  std::string Why;
  Remove(AgainWatch);
  if (ActiveWatch) AgainWatch = AddIdleWatch(IdleNowMs + std::uint64_t(IdleMs), Why);
}

void TGnomeIdle::SaverEnded() {
  SaverRuns = false;
  Remind(IdleTimeMs());
}

std::string TGnomeIdle::Inhibited() {
  if (!Bus->HasOwner(SessionManager)) return {};
  std::string Error;
  TBusMessage Reply = Bus->Call(SessionManager, "/org/gnome/SessionManager", SessionManager,
                                "IsInhibited", Error, "u", InhibitIdle);
  int Inhibited = 0;
  if (!Reply || sd_bus_message_read(Reply.get(), "b", &Inhibited) < 0 || !Inhibited) return {};
  return "an inhibitor is up (org.gnome.SessionManager)";
}

}  // namespace

std::unique_ptr<TIdleSource> OpenGnomeIdle(int IdleMs, std::string& Why) {
  std::unique_ptr<TBus> Bus = TBus::Open(TBus::TKind::Session, Why);
  if (!Bus) return nullptr;
  if (!Bus->HasOwner(Monitor)) {
    Why = "org.gnome.Mutter.IdleMonitor is not on the session bus";
    return nullptr;
  }
  auto Source = std::make_unique<TGnomeIdle>(std::move(Bus), IdleMs);
  if (!Source->Start(Why)) return nullptr;
  return Source;
}
