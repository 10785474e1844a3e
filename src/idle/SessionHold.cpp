#include "SessionHold.h"

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <wayland-client.h>

#include "WaylandObject.h"

#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

namespace {

using TCompositor = TWl<wl_compositor, &wl_compositor_destroy>;
using TShm = TWl<wl_shm, &wl_shm_destroy>;
using TInhibitManager =
    TWl<zwp_idle_inhibit_manager_v1, &zwp_idle_inhibit_manager_v1_destroy>;
using TLayerShell = TWl<zwlr_layer_shell_v1, &zwlr_layer_shell_v1_destroy>;
using TSurface = TWl<wl_surface, &wl_surface_destroy>;
using TBuffer = TWl<wl_buffer, &wl_buffer_destroy>;
using TLayerSurface = TWl<zwlr_layer_surface_v1, &zwlr_layer_surface_v1_destroy>;
using TInhibitor = TWl<zwp_idle_inhibitor_v1, &zwp_idle_inhibitor_v1_destroy>;

struct TGlobals {
  TRegistry Registry;
  TCompositor Compositor;
  TShm Shm;
  TInhibitManager Inhibits;
  TLayerShell Layers;
};

void OnGlobal(void* Data, wl_registry* Registry, std::uint32_t Name, const char* Interface,
              std::uint32_t) {
  auto& G = *static_cast<TGlobals*>(Data);
  const auto Bind = [&](auto& Global, const wl_interface& Which) {
    using T = typename std::remove_reference_t<decltype(Global)>::element_type;
    if (!Global && std::strcmp(Interface, Which.name) == 0)
      Global.reset(static_cast<T*>(wl_registry_bind(Registry, Name, &Which, 1)));
  };
  Bind(G.Compositor, wl_compositor_interface);
  Bind(G.Shm, wl_shm_interface);
  Bind(G.Inhibits, zwp_idle_inhibit_manager_v1_interface);
  Bind(G.Layers, zwlr_layer_shell_v1_interface);
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

constexpr wl_registry_listener RegistryListener = {&OnGlobal, &OnGlobalRemove};

// A descriptor owned once.
struct TFd {
  int Fd;
  ~TFd() {
    if (Fd >= 0) close(Fd);
  }
};

// One pixel of ARGB, all zero: fully transparent. The pool's memory goes with its descriptor and
// the pool; the buffer keeps what it needs.
TBuffer TransparentPixel(wl_shm* Shm) {
  const TFd Memory{memfd_create("vadrel-hold", MFD_CLOEXEC)};
  if (Memory.Fd < 0 || ftruncate(Memory.Fd, 4) != 0) return nullptr;
  wl_shm_pool* Pool = wl_shm_create_pool(Shm, Memory.Fd, 4);
  TBuffer Pixel(wl_shm_pool_create_buffer(Pool, 0, 1, 1, 4, WL_SHM_FORMAT_ARGB8888));
  wl_shm_pool_destroy(Pool);
  return Pixel;
}

// The compositor's idle inhibitor (zwp_idle_inhibit_manager_v1), held on a surface of our own
// while On. Compositors count an inhibitor only while its surface is shown, so the surface is a
// layer surface of one transparent pixel on the background layer, with an empty input region and
// no keyboard focus. Without a layer shell it is a bare surface with no role: wlroots compositors
// count an inhibitor on a surface that is no window of theirs as shown.
class TWaylandHold final : public TSessionHold {
public:
  explicit TWaylandHold(TDisplay Connection) : Display(std::move(Connection)) {}

  // Binds the globals. False, with Why, when the compositor offers no idle inhibitor.
  bool Bind(std::string& Why);

  std::string Name() const override { return "the Wayland compositor's idle inhibitor"; }
  std::vector<int> Fds() const override { return {wl_display_get_fd(Display.get())}; }
  bool Dispatch() override;
  void Hold(bool On) override;

private:
  void Make();
  static void OnConfigure(void* Data, zwlr_layer_surface_v1* Layer, std::uint32_t Serial,
                          std::uint32_t, std::uint32_t);
  static void OnClosed(void* Data, zwlr_layer_surface_v1*);
  static constexpr zwlr_layer_surface_v1_listener LayerListener = {&OnConfigure, &OnClosed};

  // Declared in the order of their making: every object is destroyed before the display, the
  // inhibitor and the role before their surface, the surface before its buffer.
  TDisplay Display;
  TGlobals Globals;
  TBuffer Pixel;
  TSurface Surface;
  TLayerSurface Layer;
  TInhibitor Inhibitor;
};

bool TWaylandHold::Bind(std::string& Why) {
  Globals.Registry.reset(wl_display_get_registry(Display.get()));
  wl_registry_add_listener(Globals.Registry.get(), &RegistryListener, &Globals);
  if (wl_display_roundtrip(Display.get()) < 0) {
    Why = "the Wayland display closed the connection";
    return false;
  }
  if (!Globals.Compositor || !Globals.Inhibits) {
    Why = "the Wayland compositor offers no zwp_idle_inhibit_manager_v1";
    return false;
  }
  return true;
}

void TWaylandHold::OnConfigure(void* Data, zwlr_layer_surface_v1* Layer, std::uint32_t Serial,
                               std::uint32_t, std::uint32_t) {
  auto& Self = *static_cast<TWaylandHold*>(Data);
  zwlr_layer_surface_v1_ack_configure(Layer, Serial);
  wl_surface_attach(Self.Surface.get(), Self.Pixel.get(), 0, 0);
  wl_surface_commit(Self.Surface.get());
}

// Its output went: the layer surface is not shown again. The inhibitor stays on the bare surface,
// where wlroots compositors still count it, until the hold ends.
void TWaylandHold::OnClosed(void* Data, zwlr_layer_surface_v1*) {
  static_cast<TWaylandHold*>(Data)->Layer.reset();
}

void TWaylandHold::Make() {
  Surface.reset(wl_compositor_create_surface(Globals.Compositor.get()));
  wl_region* Nowhere = wl_compositor_create_region(Globals.Compositor.get());
  wl_surface_set_input_region(Surface.get(), Nowhere);
  wl_region_destroy(Nowhere);
  if (Globals.Layers && Globals.Shm) Pixel = TransparentPixel(Globals.Shm.get());
  if (Pixel) {
    Layer.reset(zwlr_layer_shell_v1_get_layer_surface(Globals.Layers.get(), Surface.get(), nullptr,
                                                      ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND,
                                                      "vadrel-hold"));
    zwlr_layer_surface_v1_add_listener(Layer.get(), &LayerListener, this);
    zwlr_layer_surface_v1_set_size(Layer.get(), 1, 1);
  }
  // Without a buffer: the layer surface's first commit asks for its configure, whose answer
  // attaches the pixel.
  wl_surface_commit(Surface.get());
  Inhibitor.reset(
      zwp_idle_inhibit_manager_v1_create_inhibitor(Globals.Inhibits.get(), Surface.get()));
}

void TWaylandHold::Hold(bool On) {
  if (On == bool(Inhibitor)) return;
  if (On) {
    Make();
  } else {
    Inhibitor.reset();
    Layer.reset();
    Surface.reset();
    Pixel.reset();
  }
  // The first round trip brings the configure, the second has the compositor take its answer.
  wl_display_roundtrip(Display.get());
  if (On) wl_display_roundtrip(Display.get());
}

bool TWaylandHold::Dispatch() {
  wl_display* D = Display.get();
  if (wl_display_prepare_read(D) == 0 && wl_display_read_events(D) < 0) return false;
  if (wl_display_dispatch_pending(D) < 0) return false;
  // A full socket (EAGAIN) only delays the few requests this sends; anything else is a broken
  // connection.
  return wl_display_flush(D) >= 0 || errno == EAGAIN;
}

std::unique_ptr<TSessionHold> OpenWaylandHold(std::string& Why) {
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
  auto Hold = std::make_unique<TWaylandHold>(std::move(Display));
  if (!Hold->Bind(Why)) return nullptr;
  return Hold;
}

// The X server's screen saver, suspended (MIT-SCREEN-SAVER 1.1) on a connection of our own: the
// server keeps its saver and DPMS off while any client holds a suspension, and ends one with the
// connection that asked for it.
struct TXClose {
  void operator()(Display* D) const { XCloseDisplay(D); }
};
using TXDisplay = std::unique_ptr<Display, TXClose>;

class TX11Hold final : public TSessionHold {
public:
  explicit TX11Hold(TXDisplay Connection) : Owned(std::move(Connection)), D(Owned.get()) {
    XSetIOErrorExitHandler(D, &ConnectionBroke, this);
  }

  std::string Name() const override { return "the X server's screen saver, suspended"; }
  std::vector<int> Fds() const override { return {ConnectionNumber(D)}; }
  bool Dispatch() override;
  void Hold(bool On) override;

private:
  // Xlib ends the process when the connection breaks, unless told otherwise.
  static void ConnectionBroke(Display*, void* Self) { static_cast<TX11Hold*>(Self)->Gone = true; }
  bool Closed();

  TXDisplay Owned;
  Display* D;
  bool Held = false;
  bool Gone = false;
};

// Whether the server has closed the connection (read before Xlib, which would end the process).
bool TX11Hold::Closed() {
  if (Gone) return true;
  char Byte = 0;
  const ssize_t Read = recv(ConnectionNumber(D), &Byte, 1, MSG_PEEK | MSG_DONTWAIT);
  Gone = Read == 0 || (Read < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
  return Gone;
}

bool TX11Hold::Dispatch() {
  // Nothing is selected: what arrives can only be an error of a request, which the connection's
  // error handler has seen.
  while (!Closed() && XPending(D) > 0) {
    XEvent Event;
    XNextEvent(D, &Event);
  }
  return !Gone;
}

void TX11Hold::Hold(bool On) {
  if (On == Held || Closed()) return;
  XScreenSaverSuspend(D, On ? True : False);
  XSync(D, False);
  Held = On;
}

std::unique_ptr<TSessionHold> OpenX11Hold(std::string& Why) {
  const char* Name = std::getenv("DISPLAY");
  if (!Name || !*Name) {
    Why = "DISPLAY is not set";
    return nullptr;
  }
  TXDisplay D(XOpenDisplay(Name));
  if (!D) {
    Why = std::string("cannot open the X display ") + Name;
    return nullptr;
  }
  int Events = 0, Errors = 0, Major = 0, Minor = 0;
  if (!XScreenSaverQueryExtension(D.get(), &Events, &Errors) ||
      !XScreenSaverQueryVersion(D.get(), &Major, &Minor) || Major * 100 + Minor < 101) {
    Why = "the X server cannot suspend its screen saver (no MIT-SCREEN-SAVER 1.1)";
    return nullptr;
  }
  return std::make_unique<TX11Hold>(std::move(D));
}

}  // namespace

std::unique_ptr<TSessionHold> OpenSessionHold(std::string& Why) {
  std::string Wayland, X11;
  if (auto Hold = OpenWaylandHold(Wayland)) return Hold;
  if (auto Hold = OpenX11Hold(X11)) return Hold;
  Why = Wayland + "; " + X11;
  return nullptr;
}
