#include "ScreenSaverService.h"

#include "Bus.h"
#include "Inhibitors.h"
#include "Platform.h"
#include "SessionHold.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

namespace {

constexpr const char* Service = "org.freedesktop.ScreenSaver";
// Players use either: VLC and Firefox the first, Chromium the second.
constexpr const char* Paths[] = {"/ScreenSaver", "/org/freedesktop/ScreenSaver"};
// What is kept of a caller's words, for the watcher's reason: the bus lets a caller send megabytes.
constexpr std::size_t KeptLength = 200;

using TClock = std::chrono::steady_clock;

struct TInhibit {
  std::string Caller, Application, Reason;
  bool Counts;  // its reason holds off the saver
};

class TScreenSaverService final : public TIdleSource {
public:
  explicit TScreenSaverService(std::unique_ptr<TBus> Opened) : Bus(std::move(Opened)) {}
  ~TScreenSaverService() override { GiveUp(); }
  TScreenSaverService(const TScreenSaverService&) = delete;
  TScreenSaverService& operator=(const TScreenSaverService&) = delete;

  bool Start(std::string& Why);

  std::string Name() const override { return "the served org.freedesktop.ScreenSaver"; }
  std::vector<int> Fds() const override;
  int TimeoutMs() const override;
  bool Dispatch(std::vector<TIdleEvent>& Events) override;
  std::string Inhibited() override;
  void SaverStarted() override { Activate(true); }
  void SaverEnded() override { Activate(false); }

private:
  static int OnInhibit(sd_bus_message* Call, void* Data, sd_bus_error* Error);
  static int OnUnInhibit(sd_bus_message* Call, void* Data, sd_bus_error* Error);
  static int OnActivity(sd_bus_message* Call, void* Data, sd_bus_error* Error);
  static int OnGetActive(sd_bus_message* Call, void* Data, sd_bus_error* Error);
  static int OnGetActiveTime(sd_bus_message* Call, void* Data, sd_bus_error* Error);
  static int OnCallerChanged(sd_bus_message* Message, void* Data, sd_bus_error* Error);
  static int OnNameLost(sd_bus_message* Message, void* Data, sd_bus_error* Error);
  static const sd_bus_vtable Table[];

  int Inhibit(sd_bus_message* Call, sd_bus_error* Error);
  bool Track(const std::string& Caller);
  void Release(std::uint32_t Cookie);
  void CallerLeft(const std::string& Caller);
  void Recount();
  void Activate(bool On);
  void GiveUp();

  std::unique_ptr<TBus> Bus;
  std::unique_ptr<TSessionHold> Hold;
  std::vector<TBusSlot> Objects;
  TBusSlot Lost;
  bool Serving = false;
  std::map<std::uint32_t, TInhibit> Inhibits;
  std::map<std::string, TBusSlot> Callers;  // each with its watch for the caller's end
  std::uint32_t LastCookie = 0;
  bool Held = false;  // an inhibit that counts is held (and passed on)
  std::optional<TClock::time_point> ActiveSince;
  std::vector<TIdleEvent> Pending;
};

const sd_bus_vtable TScreenSaverService::Table[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD_WITH_ARGS("Inhibit", SD_BUS_ARGS("s", application_name, "s", reason_for_inhibit),
                            SD_BUS_RESULT("u", cookie), &TScreenSaverService::OnInhibit, 0),
    SD_BUS_METHOD_WITH_ARGS("UnInhibit", SD_BUS_ARGS("u", cookie), SD_BUS_NO_RESULT,
                            &TScreenSaverService::OnUnInhibit, 0),
    SD_BUS_METHOD("SimulateUserActivity", "", "", &TScreenSaverService::OnActivity, 0),
    SD_BUS_METHOD("GetActive", "", "b", &TScreenSaverService::OnGetActive, 0),
    SD_BUS_METHOD("GetActiveTime", "", "u", &TScreenSaverService::OnGetActiveTime, 0),
    SD_BUS_SIGNAL_WITH_ARGS("ActiveChanged", SD_BUS_ARGS("b", new_value), 0),
    SD_BUS_VTABLE_END};

// Whether a program that is not running would be started for the name: the desktop's own service.
bool Activatable(const TBus& Bus) {
  std::string Error;
  TBusMessage Reply = Bus.Call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "ListActivatableNames", Error, "");
  if (!Reply || sd_bus_message_enter_container(Reply.get(), 'a', "s") < 0) return false;
  for (const char* Name = nullptr; sd_bus_message_read(Reply.get(), "s", &Name) > 0;)
    if (std::strcmp(Name, Service) == 0) return true;
  return false;
}

bool TScreenSaverService::Start(std::string& Why) {
  if (Bus->HasOwner(Service) || Activatable(*Bus)) {
    Why = std::string(Service) + " is the desktop's own";
    return false;
  }
  sd_bus* Connection = Bus->Get();
  for (const char* Path : Paths) {
    sd_bus_slot* Slot = nullptr;
    if (sd_bus_add_object_vtable(Connection, &Slot, Path, Service, Table, this) < 0) {
      Why = std::string("cannot serve ") + Path;
      return false;
    }
    Objects.emplace_back(Slot);
  }
  Lost = Bus->Subscribe("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                        "NameLost", &TScreenSaverService::OnNameLost, this);
  // Another program asking for the name later gets it: it is the desktop's own service.
  const int R = sd_bus_request_name(Connection, Service, SD_BUS_NAME_ALLOW_REPLACEMENT);
  if (R < 0 || !Lost) {
    Why = R == -EEXIST ? std::string(Service) + " is the desktop's own"
                       : std::string("cannot own ") + Service + ": " + std::strerror(-R);
    return false;
  }
  Serving = true;
  // A session without idle machinery of its own to tell (a bare X server without the extension)
  // is served all the same: its inhibits still hold off the saver.
  std::string NoHold;
  Hold = OpenSessionHold(NoHold);
  return true;
}

std::vector<int> TScreenSaverService::Fds() const {
  std::vector<int> Fds{Bus->Fd()};
  if (Hold)
    for (const int Fd : Hold->Fds()) Fds.push_back(Fd);
  return Fds;
}

int TScreenSaverService::TimeoutMs() const {
  const int Mine = Pending.empty() ? Bus->TimeoutMs() : 0;
  const int Its = Hold ? Hold->TimeoutMs() : -1;
  return Mine < 0 ? Its : Its < 0 ? Mine : std::min(Mine, Its);
}

bool TScreenSaverService::Dispatch(std::vector<TIdleEvent>& Events) {
  if (!Bus->Process()) return false;
  // The compositor or X server went away: the session is ending, and its own idle source tells.
  if (Hold && !Hold->Dispatch()) Hold.reset();
  if (!Serving && !Objects.empty()) GiveUp();
  Events.insert(Events.end(), Pending.begin(), Pending.end());
  Pending.clear();
  return true;
}

std::string TScreenSaverService::Inhibited() {
  for (const auto& [Cookie, Each] : Inhibits)
    if (Each.Counts)
      return "an inhibit is held on " + std::string(Service) + " (" + Each.Application + ": " +
             Each.Reason + ")";
  return {};
}

int TScreenSaverService::OnInhibit(sd_bus_message* Call, void* Data, sd_bus_error* Error) {
  return static_cast<TScreenSaverService*>(Data)->Inhibit(Call, Error);
}

int TScreenSaverService::Inhibit(sd_bus_message* Call, sd_bus_error* Error) {
  const char *Application = nullptr, *Reason = nullptr;
  if (const int R = sd_bus_message_read(Call, "ss", &Application, &Reason); R < 0) return R;
  const char* Sender = sd_bus_message_get_sender(Call);
  if (!Sender) return sd_bus_error_set(Error, SD_BUS_ERROR_ACCESS_DENIED, "no caller to track");
  const std::string Caller = Sender;
  std::size_t Mine = 0;
  for (const auto& [Cookie, Each] : Inhibits) Mine += Each.Caller == Caller;
  if (Mine >= MostInhibitsPerCaller || Inhibits.size() >= MostInhibits)
    return sd_bus_error_setf(Error, SD_BUS_ERROR_LIMITS_EXCEEDED,
                             "%s holds %zu inhibits; release one first", Sender, Mine);
  if (!Track(Caller))
    return sd_bus_error_set(Error, SD_BUS_ERROR_NAME_HAS_NO_OWNER, "the caller has left");
  // Cookies are never 0 (callers take 0 for none) and not reused while held.
  do ++LastCookie;
  while (LastCookie == 0 || Inhibits.contains(LastCookie));
  Inhibits[LastCookie] = {Caller, std::string(Application).substr(0, KeptLength),
                          std::string(Reason).substr(0, KeptLength), HoldsOffSaver(Reason)};
  Recount();
  return sd_bus_reply_method_return(Call, "u", LastCookie);
}

// Watches Caller's end, once per caller. False when it has already left (its inhibit would never
// end).
bool TScreenSaverService::Track(const std::string& Caller) {
  if (Callers.contains(Caller)) return true;
  TBusSlot Watch = Bus->Subscribe("type='signal',sender='org.freedesktop.DBus',"
                                  "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
                                  "arg0='" + Caller + "'",
                                  &TScreenSaverService::OnCallerChanged, this);
  if (!Watch || !Bus->HasOwner(Caller.c_str())) return false;
  Callers.emplace(Caller, std::move(Watch));
  return true;
}

int TScreenSaverService::OnUnInhibit(sd_bus_message* Call, void* Data, sd_bus_error* Error) {
  auto& Self = *static_cast<TScreenSaverService*>(Data);
  std::uint32_t Cookie = 0;
  if (const int R = sd_bus_message_read(Call, "u", &Cookie); R < 0) return R;
  const char* Sender = sd_bus_message_get_sender(Call);
  const auto Found = Self.Inhibits.find(Cookie);
  // Another caller's cookie is as unknown as one never given: nobody ends another's inhibit.
  if (Found == Self.Inhibits.end() || !Sender || Found->second.Caller != Sender)
    return sd_bus_error_setf(Error, SD_BUS_ERROR_INVALID_ARGS, "no inhibit of yours has cookie %u",
                             Cookie);
  Self.Release(Cookie);
  return sd_bus_reply_method_return(Call, "");
}

void TScreenSaverService::Release(std::uint32_t Cookie) {
  const std::string Caller = Inhibits.at(Cookie).Caller;
  Inhibits.erase(Cookie);
  bool Holds = false;
  for (const auto& [Each, Inhibit] : Inhibits) Holds = Holds || Inhibit.Caller == Caller;
  if (!Holds) Callers.erase(Caller);
  Recount();
}

void TScreenSaverService::CallerLeft(const std::string& Caller) {
  std::erase_if(Inhibits, [&](const auto& Each) { return Each.second.Caller == Caller; });
  Callers.erase(Caller);
  Recount();
}

int TScreenSaverService::OnCallerChanged(sd_bus_message* Message, void* Data, sd_bus_error*) {
  const char *Name = nullptr, *Before = nullptr, *After = nullptr;
  if (sd_bus_message_read(Message, "sss", &Name, &Before, &After) >= 0 && Name && After &&
      !*After)
    static_cast<TScreenSaverService*>(Data)->CallerLeft(Name);
  return 0;
}

// Passes the change on and tells the watcher when the first inhibit that counts comes up.
void TScreenSaverService::Recount() {
  bool Now = false;
  for (const auto& [Cookie, Each] : Inhibits) Now = Now || Each.Counts;
  if (Now == Held) return;
  Held = Now;
  if (Held) Pending.push_back(TIdleEvent::Held);
  if (Hold) Hold->Hold(Held);
}

int TScreenSaverService::OnActivity(sd_bus_message* Call, void* Data, sd_bus_error*) {
  static_cast<TScreenSaverService*>(Data)->Pending.push_back(TIdleEvent::Held);
  return sd_bus_reply_method_return(Call, "");
}

int TScreenSaverService::OnGetActive(sd_bus_message* Call, void* Data, sd_bus_error*) {
  return sd_bus_reply_method_return(Call, "b",
                                    int(static_cast<TScreenSaverService*>(Data)->ActiveSince
                                            .has_value()));
}

int TScreenSaverService::OnGetActiveTime(sd_bus_message* Call, void* Data, sd_bus_error*) {
  const auto& Since = static_cast<TScreenSaverService*>(Data)->ActiveSince;
  const auto Seconds =
      Since ? std::chrono::duration_cast<std::chrono::seconds>(TClock::now() - *Since).count() : 0;
  return sd_bus_reply_method_return(Call, "u", std::uint32_t(Seconds));
}

void TScreenSaverService::Activate(bool On) {
  if (On == ActiveSince.has_value()) return;
  ActiveSince = On ? std::optional(TClock::now()) : std::nullopt;
  if (!Serving) return;
  for (const char* Path : Paths)
    sd_bus_emit_signal(Bus->Get(), Path, Service, "ActiveChanged", "b", int(On));
}

int TScreenSaverService::OnNameLost(sd_bus_message* Message, void* Data, sd_bus_error*) {
  const char* Name = nullptr;
  if (sd_bus_message_read(Message, "s", &Name) >= 0 && Name && std::strcmp(Name, Service) == 0)
    static_cast<TScreenSaverService*>(Data)->Serving = false;
  return 0;
}

// The name has gone to the desktop's own service (or the watcher ends): what was held here is no
// longer asked of anyone, so nothing is held for it either.
void TScreenSaverService::GiveUp() {
  if (!Objects.empty() && !Serving)
    ShowDiagnostic(std::string("another program took ") + Service + "; its inhibits are its own");
  if (Serving) sd_bus_release_name(Bus->Get(), Service);
  Serving = false;
  Objects.clear();
  Inhibits.clear();
  Callers.clear();
  Recount();
}

}  // namespace

std::unique_ptr<TIdleSource> OpenScreenSaverService(std::string& Why) {
  std::unique_ptr<TBus> Bus = TBus::Open(TBus::TKind::Session, Why);
  if (!Bus) return nullptr;
  auto Served = std::make_unique<TScreenSaverService>(std::move(Bus));
  if (!Served->Start(Why)) return nullptr;
  return Served;
}
