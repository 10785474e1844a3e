// Bus: one connection to a D-Bus bus through sd-bus, owned for its whole life, with the few things
// the idle sources ask of a bus: whether a name is there, calls, signal subscriptions, and being
// waited on from the watcher's loop (and, for a service of the watcher's, the bare connection). Never starts a bus: a session without one has none. Depends
// on sd-bus (libsystemd).
#pragma once

#include <systemd/sd-bus.h>

#include <memory>
#include <string>

// What a PropertiesChanged signal (s interface, a{sv} changed, as invalidated) says of one property
// of Interface.
enum class TPropertyChange : unsigned char { Unchanged, Changed, Invalidated };
// Changed with its new value read into Value (a variant of the one-letter Type: 'b' into an int,
// 's' into a const char* that lives as long as Message); Invalidated when it is named without its
// value. The message is read to its end.
TPropertyChange PropertyChange(sd_bus_message* Message, const char* Interface,
                               const char* Property, char Type, void* Value);

struct TBusUnref {
  void operator()(sd_bus* Bus) const { sd_bus_flush_close_unref(Bus); }
  void operator()(sd_bus_message* Message) const { sd_bus_message_unref(Message); }
  void operator()(sd_bus_slot* Slot) const { sd_bus_slot_unref(Slot); }
};
using TBusMessage = std::unique_ptr<sd_bus_message, TBusUnref>;
using TBusSlot = std::unique_ptr<sd_bus_slot, TBusUnref>;

class TBus {
public:
  enum class TKind : unsigned char { Session, System };
  // Null with Why set ("no session bus", "no system bus") when the bus cannot be reached. The
  // session bus is the one DBUS_SESSION_BUS_ADDRESS names, else $XDG_RUNTIME_DIR/bus.
  static std::unique_ptr<TBus> Open(TKind Kind, std::string& Why);
  // The bus at Address ("unix:path=..."), as a client of it; null when it does not answer.
  static std::unique_ptr<TBus> Open(const std::string& Address);

  // Whether a client owns Name now. Names that are only activatable count as absent: asking them
  // anything would start them.
  bool HasOwner(const char* Name) const;

  // A method call that waits for its reply (at most five seconds). Null with Error set (one
  // clause) when it fails.
  template <typename... TArgs>
  TBusMessage Call(const char* Destination, const char* Path, const char* Interface,
                   const char* Member, std::string& Error, const char* Types, TArgs... Args) const {
    sd_bus_error Fault = SD_BUS_ERROR_NULL;
    sd_bus_message* Reply = nullptr;
    const int R = sd_bus_call_method(Connection.get(), Destination, Path, Interface, Member,
                                     &Fault, &Reply, Types, Args...);
    return Replied(R, Fault, Reply, Member, Error);
  }

  // Handler is called, from Process, for each signal that matches; the subscription lasts as long
  // as the slot.
  TBusSlot Subscribe(const char* Sender, const char* Path, const char* Interface,
                     const char* Member, sd_bus_message_handler_t Handler, void* Data) const;

  // The same for a match rule of the bus's own syntax ("type='signal',...,arg0='...'").
  TBusSlot Subscribe(const std::string& Rule, sd_bus_message_handler_t Handler, void* Data) const;

  // The connection itself, for a service that serves objects and owns a name on it.
  sd_bus* Get() const { return Connection.get(); }
  int Fd() const { return sd_bus_get_fd(Connection.get()); }
  // Milliseconds until Process must run even without input; -1: only on input.
  int TimeoutMs() const;
  // Handles everything that has arrived, never blocking. False when the connection is gone.
  bool Process() const;

private:
  explicit TBus(sd_bus* Opened) : Connection(Opened) {}
  static TBusMessage Replied(int R, sd_bus_error& Fault, sd_bus_message* Reply, const char* Member,
                             std::string& Error);

  std::unique_ptr<sd_bus, TBusUnref> Connection;
};
