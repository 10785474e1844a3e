#include "Visibility.h"

#include <SDL_syswm.h>
#include <wayland-client.h>

#include <poll.h>

namespace {

// How long a frame callback may go unanswered after the swap that committed it while the window
// still counts as seen: many refresh periods, and more than a slow, loaded compositor takes.
constexpr Uint64 UnansweredMs = 1000;

}  // namespace

struct TVisibility::TX11 {
  Display* D = nullptr;
  bool Mapped = true;
  bool Obscured = false;

  ~TX11() {
    if (D) XCloseDisplay(D);
  }
  // Selects the events on W and reads its map state. False when W cannot be watched.
  bool Watch(Window W);
  // Takes in every event that has arrived, never waiting.
  void Read();
};

bool TVisibility::TX11::Watch(Window W) {
  // A window handed to the program may be gone already: Xlib's default handler would end the
  // process. The attributes' round trip brings any error of the selection back before the
  // handler is put back.
  const XErrorHandler Previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  XSelectInput(D, W, VisibilityChangeMask | StructureNotifyMask);
  XWindowAttributes Attributes{};
  const Status Got = XGetWindowAttributes(D, W, &Attributes);
  XSetErrorHandler(Previous);
  // Once selected, every later change is an event; an ancestor unmapped shows as not viewable.
  Mapped = Attributes.map_state == IsViewable;
  return Got != 0;
}

void TVisibility::TX11::Read() {
  while (XPending(D) > 0) {
    XEvent Event;
    XNextEvent(D, &Event);
    if (Event.type == MapNotify) {
      Mapped = true;
    } else if (Event.type == UnmapNotify) {
      Mapped = false;
    } else if (Event.type == VisibilityNotify) {
      // Sent only for a viewable window, also when it becomes viewable again.
      Mapped = true;
      Obscured = Event.xvisibility.state == VisibilityFullyObscured;
    }
  }
}

struct TVisibility::TWayland {
  wl_display* Display = nullptr;
  wl_event_queue* Queue = nullptr;
  wl_surface* Surface = nullptr;   // the window's surface, its callbacks delivered on Queue
  wl_callback* Pending = nullptr;  // asked for and not answered yet
  bool Committed = false;          // Pending went out with the swap at CommittedAt
  Uint64 CommittedAt = 0;

  ~TWayland() {
    if (Pending) wl_callback_destroy(Pending);
    if (Surface) wl_proxy_wrapper_destroy(Surface);
    if (Queue) wl_event_queue_destroy(Queue);
  }
  // Reads what the compositor has sent, never waiting, and handles this queue's part. SDL reads
  // the same connection for its own queue; both follow the prepare-read protocol, so neither
  // loses the other's events.
  void Read();
  static void Done(void* Data, wl_callback* Callback, std::uint32_t Time);
};

void TVisibility::TWayland::Done(void* Data, wl_callback* Callback, std::uint32_t) {
  auto* Self = static_cast<TWayland*>(Data);
  wl_callback_destroy(Callback);
  Self->Pending = nullptr;
}

void TVisibility::TWayland::Read() {
  while (wl_display_prepare_read_queue(Display, Queue) != 0)
    wl_display_dispatch_queue_pending(Display, Queue);
  wl_display_flush(Display);
  pollfd Fd{wl_display_get_fd(Display), POLLIN, 0};
  if (poll(&Fd, 1, 0) > 0)
    wl_display_read_events(Display);
  else
    wl_display_cancel_read(Display);
  wl_display_dispatch_queue_pending(Display, Queue);
}

TVisibility::TVisibility(SDL_Window* Target) {
  SDL_SysWMinfo Info;
  SDL_VERSION(&Info.version);
  if (!Target || !SDL_GetWindowWMInfo(Target, &Info)) return;
  if (Info.subsystem == SDL_SYSWM_X11) {
    // The same server as SDL's, on a connection of our own: SDL keeps its own event masks.
    X11 = std::make_unique<TX11>();
    X11->D = XOpenDisplay(DisplayString(Info.info.x11.display));
    if (!X11->D || !X11->Watch(Info.info.x11.window)) X11.reset();
  } else if (Info.subsystem == SDL_SYSWM_WAYLAND) {
    Wayland = std::make_unique<TWayland>();
    Wayland->Display = Info.info.wl.display;
    Wayland->Queue = wl_display_create_queue(Wayland->Display);
    Wayland->Surface = static_cast<wl_surface*>(wl_proxy_create_wrapper(Info.info.wl.surface));
    if (!Wayland->Queue || !Wayland->Surface) {
      Wayland.reset();
      return;
    }
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(Wayland->Surface), Wayland->Queue);
  }
}

TVisibility::~TVisibility() = default;

void TVisibility::BeforeSwap() {
  if (!Wayland || Wayland->Pending) return;
  static constexpr wl_callback_listener Listener{&TWayland::Done};
  Wayland->Pending = wl_surface_frame(Wayland->Surface);
  Wayland->Committed = false;
  if (Wayland->Pending) wl_callback_add_listener(Wayland->Pending, &Listener, Wayland.get());
}

void TVisibility::AfterSwap() {
  if (!Wayland) return;
  if (Wayland->Pending && !Wayland->Committed) {
    Wayland->Committed = true;
    Wayland->CommittedAt = SDL_GetTicks64();
  }
  wl_display_dispatch_queue_pending(Wayland->Display, Wayland->Queue);
}

bool TVisibility::Seen() {
  if (X11) {
    X11->Read();
    return X11->Mapped && !X11->Obscured;
  }
  if (Wayland) {
    Wayland->Read();
    return !(Wayland->Pending && Wayland->Committed &&
             SDL_GetTicks64() - Wayland->CommittedAt > UnansweredMs);
  }
  return true;
}

// Every connection was read to its end by Seen(): what is readable on its socket now is news.
void TVisibility::Wait(const std::vector<TVisibility*>& Watched, int TimeoutMs) {
  std::vector<pollfd> Fds;
  for (const TVisibility* V : Watched) {
    if (V->X11) Fds.push_back({ConnectionNumber(V->X11->D), POLLIN, 0});
    if (V->Wayland) {
      wl_display_flush(V->Wayland->Display);
      Fds.push_back({wl_display_get_fd(V->Wayland->Display), POLLIN, 0});
    }
  }
  poll(Fds.data(), Fds.size(), TimeoutMs);
}
