#include "LogindInhibitors.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "Bus.h"
#include "Inhibitors.h"

namespace {

constexpr const char* Login = "org.freedesktop.login1";
constexpr const char* ManagerPath = "/org/freedesktop/login1";
constexpr const char* Manager = "org.freedesktop.login1.Manager";
constexpr const char* Properties = "org.freedesktop.DBus.Properties";

// Whether the colon-separated list Kinds ("shutdown:sleep:idle") names Kind.
bool Names(std::string_view Kinds, std::string_view Kind) {
  while (!Kinds.empty()) {
    const std::size_t End = std::min(Kinds.find(':'), Kinds.size());
    if (Kinds.substr(0, End) == Kind) return true;
    Kinds.remove_prefix(std::min(End + 1, Kinds.size()));
  }
  return false;
}

class TLogindInhibitors final : public TIdleSource {
public:
  explicit TLogindInhibitors(std::unique_ptr<TBus> Opened) : Bus(std::move(Opened)) {}

  bool Start() {
    Changed = Bus->Subscribe(Login, ManagerPath, Properties, "PropertiesChanged",
                             &TLogindInhibitors::OnChanged, this);
    Holding = !Reason().empty();
    return Changed != nullptr;
  }

  std::string Name() const override {
    return "logind's idle inhibitors (org.freedesktop.login1)";
  }
  std::vector<int> Fds() const override { return {Bus->Fd()}; }
  int TimeoutMs() const override { return Bus->TimeoutMs(); }
  bool Dispatch(std::vector<TIdleEvent>& Events) override;
  std::string Inhibited() override { return Reason(); }

private:
  static int OnChanged(sd_bus_message* Message, void* Data, sd_bus_error*);
  std::string Reason() const;

  std::unique_ptr<TBus> Bus;
  TBusSlot Changed;
  bool Relist = false;  // logind's blocking inhibitors changed since the last look
  // What they block includes idle, as far as the change told (only a value without it spares
  // listing them).
  bool IdleBlocked = true;
  bool Holding = false;  // an inhibitor that counts was up at the last look
};

// PropertiesChanged(s interface, a{sv} changed, as invalidated): logind sends it with
// BlockInhibited (the kinds that blocking inhibitors hold, "sleep:idle") each time a blocking
// inhibitor starts or stops, even when the value stays.
int TLogindInhibitors::OnChanged(sd_bus_message* Message, void* Data, sd_bus_error*) {
  auto& Watch = *static_cast<TLogindInhibitors*>(Data);
  const char* Kinds = nullptr;
  switch (PropertyChange(Message, Manager, "BlockInhibited", 's', &Kinds)) {
  case TPropertyChange::Unchanged:
    break;
  case TPropertyChange::Changed:
    Watch.Relist = true;
    Watch.IdleBlocked = Names(Kinds, "idle");
    break;
  case TPropertyChange::Invalidated:
    Watch.Relist = Watch.IdleBlocked = true;
    break;
  }
  return 0;
}

// Signals that arrive during the listing are queued: process until none is left.
bool TLogindInhibitors::Dispatch(std::vector<TIdleEvent>& Events) {
  for (;;) {
    if (!Bus->Process()) return false;
    if (!Relist) return true;
    Relist = false;
    const bool Was = Holding;
    Holding = IdleBlocked && !Reason().empty();
    if (Holding && !Was) Events.push_back(TIdleEvent::Held);
  }
}

// ListInhibitors -> a(ssssuu): what, who, why, mode, uid, pid. The first that counts, as
// "an idle inhibitor of logind is up (mpv: Playing video)"; empty when none does or logind does
// not answer.
std::string TLogindInhibitors::Reason() const {
  std::string Error;
  TBusMessage Reply = Bus->Call(Login, ManagerPath, Manager, "ListInhibitors", Error, "");
  if (!Reply || sd_bus_message_enter_container(Reply.get(), 'a', "(ssssuu)") < 0) return {};
  const char *What = nullptr, *Who = nullptr, *Why = nullptr, *Mode = nullptr;
  std::uint32_t Uid = 0, Pid = 0;
  while (sd_bus_message_read(Reply.get(), "(ssssuu)", &What, &Who, &Why, &Mode, &Uid, &Pid) > 0)
    if (std::strcmp(Mode, "block") == 0 && Names(What, "idle") && HoldsOffSaver(Why))
      return std::string("an idle inhibitor of logind is up (") + Who + ": " + Why + ")";
  return {};
}

}  // namespace

std::unique_ptr<TIdleSource> OpenLogindInhibitors(std::string& Why) {
  std::unique_ptr<TBus> Bus = TBus::Open(TBus::TKind::System, Why);
  if (!Bus) return nullptr;
  if (!Bus->HasOwner(Login)) {
    Why = "org.freedesktop.login1 is not on the system bus";
    return nullptr;
  }
  auto Watch = std::make_unique<TLogindInhibitors>(std::move(Bus));
  if (!Watch->Start()) {
    Why = "cannot follow logind's inhibitors";
    return nullptr;
  }
  return Watch;
}
