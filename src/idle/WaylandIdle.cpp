#include "WaylandIdle.h"

#include <wayland-client.h>

#include "WaylandObject.h"

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using TSeat = TWl<wl_seat, &wl_seat_destroy>;
using TNotifier = TWl<ext_idle_notifier_v1, &ext_idle_notifier_v1_destroy>;
using TNotification = TWl<ext_idle_notification_v1, &ext_idle_notification_v1_destroy>;
using TKdeIdle = TWl<org_kde_kwin_idle, &org_kde_kwin_idle_destroy>;
using TKdeTimeout = TWl<org_kde_kwin_idle_timeout, &org_kde_kwin_idle_timeout_release>;

// The globals this source binds, as the registry announces them (also later ones, so they live as
// long as the connection). Only the first seat is watched: the idle time is the session's, and a
// session with several seats is not a desktop's.
struct TGlobals {
  TRegistry Registry;
  TSeat Seat;
  TNotifier Notifier;
  TKdeIdle KdeIdle;
};

void OnGlobal(void* Data, wl_registry* Registry, std::uint32_t Name, const char* Interface,
              std::uint32_t) {
  auto& G = *static_cast<TGlobals*>(Data);
  const auto Bind = [&](const wl_interface& Which) {
    return wl_registry_bind(Registry, Name, &Which, 1);
  };
  if (!G.Seat && std::strcmp(Interface, wl_seat_interface.name) == 0)
    G.Seat.reset(static_cast<wl_seat*>(Bind(wl_seat_interface)));
  else if (!G.Notifier && std::strcmp(Interface, ext_idle_notifier_v1_interface.name) == 0)
    G.Notifier.reset(static_cast<ext_idle_notifier_v1*>(Bind(ext_idle_notifier_v1_interface)));
  else if (!G.KdeIdle && std::strcmp(Interface, org_kde_kwin_idle_interface.name) == 0)
    G.KdeIdle.reset(static_cast<org_kde_kwin_idle*>(Bind(org_kde_kwin_idle_interface)));
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

constexpr wl_registry_listener RegistryListener = {&OnGlobal, &OnGlobalRemove};

class TWaylandIdle final : public TIdleSource {
public:
  explicit TWaylandIdle(TDisplay Connection) : Display(std::move(Connection)) {}

  // Binds the globals and asks for one notification after IdleMs without input. False, with Why,
  // when the compositor offers no idle protocol or the connection fails.
  bool Watch(int IdleMs, std::string& Why);

  std::string Name() const override {
    return Notification ? "the Wayland compositor's ext_idle_notifier_v1"
                        : "the Wayland compositor's org_kde_kwin_idle";
  }
  std::vector<int> Fds() const override { return {wl_display_get_fd(Display.get())}; }
  // Events that came with the connection's last round trip are already taken off the socket, so
  // its descriptor will not announce them: the watcher is asked to come back at once for them.
  int TimeoutMs() const override { return Pending.empty() ? -1 : 0; }
  bool Dispatch(std::vector<TIdleEvent>& Events) override;

private:
  static void OnIdle(void* Data, ext_idle_notification_v1*) { Tell(Data, TIdleEvent::Idle); }
  static void OnResumed(void* Data, ext_idle_notification_v1*) { Tell(Data, TIdleEvent::Active); }
  static void OnKdeIdle(void* Data, org_kde_kwin_idle_timeout*) { Tell(Data, TIdleEvent::Idle); }
  static void OnKdeResumed(void* Data, org_kde_kwin_idle_timeout*) {
    Tell(Data, TIdleEvent::Active);
  }
  static void Tell(void* Data, TIdleEvent Event) {
    static_cast<TWaylandIdle*>(Data)->Pending.push_back(Event);
  }
  static constexpr ext_idle_notification_v1_listener Listener = {&OnIdle, &OnResumed};
  static constexpr org_kde_kwin_idle_timeout_listener KdeListener = {&OnKdeIdle, &OnKdeResumed};

  bool Bind(std::string& Why);

  // Declared in the order of their making: every object is destroyed before the display.
  TDisplay Display;
  TGlobals Globals;
  TNotification Notification;
  TKdeTimeout KdeTimeout;
  std::vector<TIdleEvent> Pending;
};

bool TWaylandIdle::Bind(std::string& Why) {
  Globals.Registry.reset(wl_display_get_registry(Display.get()));
  wl_registry_add_listener(Globals.Registry.get(), &RegistryListener, &Globals);
  if (wl_display_roundtrip(Display.get()) < 0) {
    Why = "the Wayland display closed the connection";
    return false;
  }
  if (!Globals.Seat) {
    Why = "the compositor offers no seat";
    return false;
  }
  return true;
}

bool TWaylandIdle::Watch(int IdleMs, std::string& Why) {
  if (!Bind(Why)) return false;
  const auto Timeout = std::uint32_t(IdleMs > 0 ? IdleMs : 1);
  if (Globals.Notifier) {
    Notification.reset(ext_idle_notifier_v1_get_idle_notification(Globals.Notifier.get(), Timeout,
                                                                    Globals.Seat.get()));
    ext_idle_notification_v1_add_listener(Notification.get(), &Listener, this);
  } else if (Globals.KdeIdle) {
    KdeTimeout.reset(org_kde_kwin_idle_get_idle_timeout(Globals.KdeIdle.get(), Globals.Seat.get(),
                                                        Timeout));
    org_kde_kwin_idle_timeout_add_listener(KdeTimeout.get(), &KdeListener, this);
  } else {
    Why = "the compositor offers neither ext_idle_notifier_v1 nor org_kde_kwin_idle";
    return false;
  }
  // The round trip proves the request was taken (a refusal is a protocol error).
  if (wl_display_roundtrip(Display.get()) < 0) {
    Why = std::string("the compositor refused the idle notification: ") +
          std::strerror(wl_display_get_error(Display.get()));
    return false;
  }
  return true;
}

bool TWaylandIdle::Dispatch(std::vector<TIdleEvent>& Events) {
  wl_display* D = Display.get();
  // With events already queued there is nothing to read ahead of them: they are dispatched now,
  // and what waits on the socket keeps the descriptor readable for the next call.
  if (wl_display_prepare_read(D) == 0 && wl_display_read_events(D) < 0) return false;
  if (wl_display_dispatch_pending(D) < 0) return false;
  // A full socket (EAGAIN) only delays the few requests this source sends; anything else is a
  // broken connection.
  if (wl_display_flush(D) < 0 && errno != EAGAIN) return false;
  Events.insert(Events.end(), Pending.begin(), Pending.end());
  Pending.clear();
  return true;
}

}  // namespace

std::unique_ptr<TIdleSource> OpenWaylandIdle(int IdleMs, std::string& Why) {
  const char* Name = std::getenv("WAYLAND_DISPLAY");
  if (!Name || !*Name) {
    Why = "WAYLAND_DISPLAY is not set";
    return nullptr;
  }
  TDisplay Display(wl_display_connect(nullptr));
  if (!Display) {
    Why = std::string("cannot connect to the Wayland display ") + Name + ": " +
          std::strerror(errno);
    return nullptr;
  }
  auto Source = std::make_unique<TWaylandIdle>(std::move(Display));
  if (!Source->Watch(IdleMs, Why)) return nullptr;
  return Source;
}
