#include "Bus.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr std::uint64_t CallTimeoutUs = 5'000'000;

}  // namespace

TPropertyChange PropertyChange(sd_bus_message* Message, const char* Interface,
                               const char* Property, char Type, void* Value) {
  const char* Of = nullptr;
  if (sd_bus_message_read(Message, "s", &Of) < 0 || std::strcmp(Of, Interface) != 0 ||
      sd_bus_message_enter_container(Message, 'a', "{sv}") < 0)
    return TPropertyChange::Unchanged;
  TPropertyChange Change = TPropertyChange::Unchanged;
  const char Signature[] = {Type, '\0'};
  while (sd_bus_message_enter_container(Message, 'e', "sv") > 0) {
    const char* Name = nullptr;
    if (sd_bus_message_read(Message, "s", &Name) < 0) return Change;
    if (std::strcmp(Name, Property) == 0 && sd_bus_message_read(Message, "v", Signature, Value) >= 0)
      Change = TPropertyChange::Changed;
    else if (sd_bus_message_skip(Message, "v") < 0)
      return Change;
    sd_bus_message_exit_container(Message);
  }
  sd_bus_message_exit_container(Message);
  char** Invalidated = nullptr;
  if (sd_bus_message_read_strv(Message, &Invalidated) >= 0 && Invalidated) {
    for (char** Name = Invalidated; *Name; ++Name) {
      if (std::strcmp(*Name, Property) == 0) Change = TPropertyChange::Invalidated;
      std::free(*Name);
    }
    std::free(static_cast<void*>(Invalidated));
  }
  return Change;
}

std::unique_ptr<TBus> TBus::Open(TKind Kind, std::string& Why) {
  sd_bus* Opened = nullptr;
  const int R = Kind == TKind::Session ? sd_bus_open_user(&Opened) : sd_bus_open_system(&Opened);
  if (R < 0 || !Opened) {
    Why = Kind == TKind::Session ? "no session bus" : "no system bus";
    return nullptr;
  }
  std::unique_ptr<TBus> Bus(new TBus(Opened));
  sd_bus_set_method_call_timeout(Opened, CallTimeoutUs);
  // sd-bus connects without waiting; a bus whose socket is there but does not answer is found
  // here rather than at the first use.
  if (!Bus->HasOwner("org.freedesktop.DBus")) {
    Why = Kind == TKind::Session ? "no session bus" : "no system bus";
    return nullptr;
  }
  return Bus;
}

std::unique_ptr<TBus> TBus::Open(const std::string& Address) {
  sd_bus* Opened = nullptr;
  if (sd_bus_new(&Opened) < 0) return nullptr;
  std::unique_ptr<TBus> Bus(new TBus(Opened));
  if (sd_bus_set_address(Opened, Address.c_str()) < 0 || sd_bus_set_bus_client(Opened, 1) < 0 ||
      sd_bus_start(Opened) < 0 || !Bus->HasOwner("org.freedesktop.DBus"))
    return nullptr;
  sd_bus_set_method_call_timeout(Opened, CallTimeoutUs);
  return Bus;
}

bool TBus::HasOwner(const char* Name) const {
  std::string Error;
  TBusMessage Reply = Call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "NameHasOwner", Error, "s", Name);
  int Has = 0;
  return Reply && sd_bus_message_read(Reply.get(), "b", &Has) >= 0 && Has;
}

TBusMessage TBus::Replied(int R, sd_bus_error& Fault, sd_bus_message* Reply, const char* Member,
                          std::string& Error) {
  TBusMessage Owned(Reply);
  if (R < 0) {
    Error = std::string(Member) + " failed: " +
            (sd_bus_error_is_set(&Fault) && Fault.message ? Fault.message : "no reply");
    Owned.reset();
  }
  sd_bus_error_free(&Fault);
  return Owned;
}

TBusSlot TBus::Subscribe(const char* Sender, const char* Path, const char* Interface,
                         const char* Member, sd_bus_message_handler_t Handler, void* Data) const {
  sd_bus_slot* Slot = nullptr;
  if (sd_bus_match_signal(Connection.get(), &Slot, Sender, Path, Interface, Member, Handler, Data) <
      0)
    return nullptr;
  return TBusSlot(Slot);
}

TBusSlot TBus::Subscribe(const std::string& Rule, sd_bus_message_handler_t Handler,
                         void* Data) const {
  sd_bus_slot* Slot = nullptr;
  if (sd_bus_add_match(Connection.get(), &Slot, Rule.c_str(), Handler, Data) < 0) return nullptr;
  return TBusSlot(Slot);
}

int TBus::TimeoutMs() const {
  std::uint64_t Until = 0;
  if (sd_bus_get_timeout(Connection.get(), &Until) < 0 || Until == UINT64_MAX) return -1;
  timespec Now{};
  clock_gettime(CLOCK_MONOTONIC, &Now);
  const std::uint64_t NowUs =
      std::uint64_t(Now.tv_sec) * 1'000'000 + std::uint64_t(Now.tv_nsec) / 1000;
  if (Until <= NowUs) return 0;
  return int((Until - NowUs + 999) / 1000);
}

bool TBus::Process() const {
  for (;;) {
    const int R = sd_bus_process(Connection.get(), nullptr);
    if (R < 0) return false;
    if (R == 0) return sd_bus_is_open(Connection.get()) > 0;
  }
}
