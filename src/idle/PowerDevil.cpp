#include "PowerDevil.h"

#include "Bus.h"
#include "Inhibitors.h"

#include <cstdlib>
#include <string_view>

namespace {

constexpr const char* Agent = "org.kde.Solid.PowerManagement.PolicyAgent";
constexpr const char* AgentPath = "/org/kde/Solid/PowerManagement/PolicyAgent";
constexpr std::uint32_t ChangeScreenSettings = 4;  // the agent's policy of the screen's power

class TPowerDevil final : public TIdleSource {
public:
  explicit TPowerDevil(std::unique_ptr<TBus> Opened) : Bus(std::move(Opened)) {}

  bool Start() {
    Changed = Bus->Subscribe(Agent, AgentPath, Agent, "InhibitionsChanged",
                             &TPowerDevil::OnChanged, this);
    Holding = !Reason().empty();
    return Changed != nullptr;
  }

  std::string Name() const override {
    return "KDE's power management (org.kde.Solid.PowerManagement.PolicyAgent)";
  }
  std::vector<int> Fds() const override { return {Bus->Fd()}; }
  int TimeoutMs() const override { return Bus->TimeoutMs(); }
  bool Dispatch(std::vector<TIdleEvent>& Events) override;
  std::string Inhibited() override { return Reason(); }

private:
  static int OnChanged(sd_bus_message* Message, void* Data, sd_bus_error*);
  std::string Reason() const;
  bool HasInhibition() const;

  std::unique_ptr<TBus> Bus;
  TBusSlot Changed;
  bool Looked = true;    // no change since the last look
  bool Added = false;    // and among the changes, an inhibition added
  bool Holding = false;  // the saver was held off at the last look
};

// InhibitionsChanged(a(ss) added, as removed): the added ones as (application, reason).
int TPowerDevil::OnChanged(sd_bus_message* Message, void* Data, sd_bus_error*) {
  auto& Watch = *static_cast<TPowerDevil*>(Data);
  Watch.Looked = false;
  if (sd_bus_message_enter_container(Message, 'a', "(ss)") > 0) {
    const char *Who = nullptr, *Why = nullptr;
    Watch.Added |= sd_bus_message_read(Message, "(ss)", &Who, &Why) > 0;
  }
  return 0;
}

// Signals that arrive during the look are queued: process until none is left.
bool TPowerDevil::Dispatch(std::vector<TIdleEvent>& Events) {
  for (;;) {
    if (!Bus->Process()) return false;
    if (Looked) return true;
    const bool Was = Holding, Grew = Added;
    Looked = true;
    Added = false;
    Holding = !Reason().empty();
    if (Holding && !Was && Grew) Events.push_back(TIdleEvent::Held);
  }
}

bool TPowerDevil::HasInhibition() const {
  std::string Error;
  TBusMessage Reply =
      Bus->Call(Agent, AgentPath, Agent, "HasInhibition", Error, "u", ChangeScreenSettings);
  int Has = 0;
  return Reply && sd_bus_message_read(Reply.get(), "b", &Has) >= 0 && Has;
}

// "an inhibition of KDE's power management is up (mpv: Playing video)", or without the
// parenthesis when the agent lists none (the session is not the one in front).
std::string TPowerDevil::Reason() const {
  // Not there yet (Plasma starts it beside the watcher) or gone: asked, it might be started.
  if (!Bus->HasOwner(Agent) || !HasInhibition()) return {};
  const std::string Up = "an inhibition of KDE's power management is up";
  std::string Error;
  TBusMessage Reply = Bus->Call(Agent, AgentPath, Agent, "ListInhibitions", Error, "");
  if (!Reply || sd_bus_message_enter_container(Reply.get(), 'a', "(ss)") < 0) return Up;
  const char *Who = nullptr, *Why = nullptr;
  bool Listed = false;
  while (sd_bus_message_read(Reply.get(), "(ss)", &Who, &Why) > 0) {
    if (HoldsOffSaver(Why)) return Up + " (" + Who + ": " + Why + ")";
    Listed = true;
  }
  return Listed ? std::string() : Up;
}

}  // namespace

std::unique_ptr<TIdleSource> OpenPowerDevil(std::string& Why) {
  std::unique_ptr<TBus> Bus = TBus::Open(TBus::TKind::Session, Why);
  if (!Bus) return nullptr;
  // On Plasma the agent may come up after the watcher: its signals are followed from the start.
  const char* Desktop = std::getenv("XDG_CURRENT_DESKTOP");
  const bool Plasma = Desktop && std::string_view(Desktop).find("KDE") != std::string_view::npos;
  if (!Plasma && !Bus->HasOwner(Agent)) {
    Why = std::string(Agent) + " is not on the session bus";
    return nullptr;
  }
  auto Watch = std::make_unique<TPowerDevil>(std::move(Bus));
  if (!Watch->Start()) {
    Why = "cannot follow KDE's power management";
    return nullptr;
  }
  return Watch;
}
