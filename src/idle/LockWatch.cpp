#include "LockWatch.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>

#include "Bus.h"

namespace {

constexpr const char* Login = "org.freedesktop.login1";
constexpr const char* LoginSession = "org.freedesktop.login1.Session";

// The session is locked while any of the services it has says so.
class TLockWatch final : public TIdleSource {
public:
  enum TService : std::size_t { Gnome, Desktop, Logind, Services };

  TLockWatch(std::unique_ptr<TBus> OpenedSession, std::unique_ptr<TBus> OpenedSystem)
      : SessionBus(std::move(OpenedSession)), SystemBus(std::move(OpenedSystem)) {
    for (std::size_t At = 0; At < Services; ++At) Watches[At] = {this, TService(At), {}, false};
  }
  TLockWatch(const TLockWatch&) = delete;
  TLockWatch& operator=(const TLockWatch&) = delete;

  // True when at least one service is watched.
  bool Start() {
    // Both are watched: either may be the one that tells.
    const bool OnGnome = WatchScreenSaver(Gnome);
    const bool OnSession = WatchScreenSaver(Desktop) || OnGnome;
    const bool OnSystem = WatchLogind();
    if (!OnSession) SessionBus.reset();
    if (!OnSystem) SystemBus.reset();
    Reported = false;
    Update();  // locked already: Locked comes first
    return OnSession || OnSystem;
  }

  std::string Name() const override { return "the session's lock (" + Watched + ")"; }
  std::vector<int> Fds() const override;
  int TimeoutMs() const override;
  bool Dispatch(std::vector<TIdleEvent>& Events) override;

private:
  struct TWatch {
    TLockWatch* Owner;
    TService Service;
    TBusSlot Slot;
    bool Locked;
  };

  bool WatchScreenSaver(TService Service);
  bool WatchLogind();
  std::string LogindSessionPath() const;
  bool ReadLockedHint();
  static int OnActiveChanged(sd_bus_message* Message, void* Data, sd_bus_error*);
  static int OnLoginChanged(sd_bus_message* Message, void* Data, sd_bus_error*);
  void Update();
  void Name(const char* Service) { Watched.append(Watched.empty() ? "" : ", ").append(Service); }

  std::unique_ptr<TBus> SessionBus, SystemBus;
  std::array<TWatch, Services> Watches;
  std::string LogindPath;
  std::string Watched;
  bool ReadHintAgain = false;  // logind named LockedHint changed without its value
  bool Reported = false;       // Locked told last (Unlocked, or nothing, otherwise)
  std::vector<TIdleEvent> Pending;
};

bool TLockWatch::WatchScreenSaver(TService Service) {
  const char* Interface =
      Service == Gnome ? "org.gnome.ScreenSaver" : "org.freedesktop.ScreenSaver";
  const char* Path = Service == Gnome ? "/org/gnome/ScreenSaver" : "/org/freedesktop/ScreenSaver";
  if (!SessionBus || !SessionBus->HasOwner(Interface)) return false;
  TWatch& Watch = Watches[Service];
  Watch.Slot = SessionBus->Subscribe(Interface, Path, Interface, "ActiveChanged",
                                     &TLockWatch::OnActiveChanged, &Watch);
  if (!Watch.Slot) return false;
  std::string Error;
  int Active = 0;
  if (TBusMessage Reply = SessionBus->Call(Interface, Path, Interface, "GetActive", Error, ""))
    sd_bus_message_read(Reply.get(), "b", &Active);
  Watch.Locked = Active;
  Name(Interface);
  return true;
}

bool TLockWatch::WatchLogind() {
  if (!SystemBus || !SystemBus->HasOwner(Login)) return false;
  LogindPath = LogindSessionPath();
  if (LogindPath.empty()) return false;
  TWatch& Watch = Watches[Logind];
  Watch.Slot = SystemBus->Subscribe(Login, LogindPath.c_str(), "org.freedesktop.DBus.Properties",
                                    "PropertiesChanged", &TLockWatch::OnLoginChanged, &Watch);
  if (!Watch.Slot || !ReadLockedHint()) return false;
  Name("logind's LockedHint");
  return true;
}

// This process's session; else the one $XDG_SESSION_ID names; else (a user service runs outside
// every session) the user's graphical session.
std::string TLockWatch::LogindSessionPath() const {
  std::string Error;
  const char* Manager = "/org/freedesktop/login1";
  const char* ManagerInterface = "org.freedesktop.login1.Manager";
  TBusMessage Reply = SystemBus->Call(Login, Manager, ManagerInterface, "GetSessionByPID", Error,
                                      "u", std::uint32_t(getpid()));
  const char* Id = std::getenv("XDG_SESSION_ID");
  if (!Reply && Id && *Id)
    Reply = SystemBus->Call(Login, Manager, ManagerInterface, "GetSession", Error, "s", Id);
  const char* Path = nullptr;
  if (Reply && sd_bus_message_read(Reply.get(), "o", &Path) >= 0 && Path) return Path;
  Reply = SystemBus->Call(Login, "/org/freedesktop/login1/user/self",
                          "org.freedesktop.DBus.Properties", "Get", Error, "ss",
                          "org.freedesktop.login1.User", "Display");
  if (Reply && sd_bus_message_read(Reply.get(), "v", "(so)", &Id, &Path) >= 0 && Path &&
      std::strcmp(Path, "/") != 0)
    return Path;
  return {};
}

bool TLockWatch::ReadLockedHint() {
  std::string Error;
  TBusMessage Reply = SystemBus->Call(Login, LogindPath.c_str(), "org.freedesktop.DBus.Properties",
                                      "Get", Error, "ss", LoginSession, "LockedHint");
  int Locked = 0;
  if (!Reply || sd_bus_message_read(Reply.get(), "v", "b", &Locked) < 0) return false;
  Watches[Logind].Locked = Locked;
  return true;
}

int TLockWatch::OnActiveChanged(sd_bus_message* Message, void* Data, sd_bus_error*) {
  auto& Watch = *static_cast<TWatch*>(Data);
  int Active = 0;
  if (sd_bus_message_read(Message, "b", &Active) < 0) return 0;
  Watch.Locked = Active;
  Watch.Owner->Update();
  return 0;
}

int TLockWatch::OnLoginChanged(sd_bus_message* Message, void* Data, sd_bus_error*) {
  auto& Watch = *static_cast<TWatch*>(Data);
  int Locked = 0;
  switch (PropertyChange(Message, LoginSession, "LockedHint", 'b', &Locked)) {
  case TPropertyChange::Unchanged:
    return 0;
  case TPropertyChange::Changed:
    Watch.Locked = Locked;
    break;
  case TPropertyChange::Invalidated:
    Watch.Owner->ReadHintAgain = true;
    break;
  }
  Watch.Owner->Update();
  return 0;
}

void TLockWatch::Update() {
  bool Locked = false;
  for (const TWatch& Watch : Watches) Locked |= Watch.Slot && Watch.Locked;
  if (Locked == Reported) return;
  Reported = Locked;
  Pending.push_back(Locked ? TIdleEvent::Locked : TIdleEvent::Unlocked);
}

std::vector<int> TLockWatch::Fds() const {
  std::vector<int> Fds;
  for (const auto* Bus : {SessionBus.get(), SystemBus.get()})
    if (Bus) Fds.push_back(Bus->Fd());
  return Fds;
}

int TLockWatch::TimeoutMs() const {
  if (!Pending.empty()) return 0;
  int Soonest = -1;
  for (const auto* Bus : {SessionBus.get(), SystemBus.get()})
    if (const int Ms = Bus ? Bus->TimeoutMs() : -1; Ms >= 0 && (Soonest < 0 || Ms < Soonest))
      Soonest = Ms;
  return Soonest;
}

bool TLockWatch::Dispatch(std::vector<TIdleEvent>& Events) {
  for (const auto* Bus : {SessionBus.get(), SystemBus.get()})
    if (Bus && !Bus->Process()) return false;
  if (ReadHintAgain) {
    ReadHintAgain = false;
    ReadLockedHint();
    Update();
  }
  Events.insert(Events.end(), Pending.begin(), Pending.end());
  Pending.clear();
  return true;
}

}  // namespace

std::unique_ptr<TIdleSource> OpenLockWatch() {
  std::string Why;
  auto Watch = std::make_unique<TLockWatch>(TBus::Open(TBus::TKind::Session, Why),
                                            TBus::Open(TBus::TKind::System, Why));
  if (!Watch->Start()) return nullptr;
  return Watch;
}
