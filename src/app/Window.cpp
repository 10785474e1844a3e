#include "Window.h"

#include "Platform.h"

#include <SDL_syswm.h>
#include <wayland-client.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

// Drivers that draw nowhere a person could see: the screen saver treats them as "no display".
bool IsInvisibleDriver(const char* Driver) {
  return Driver && (std::strcmp(Driver, "offscreen") == 0 || std::strcmp(Driver, "dummy") == 0);
}

bool IsSet(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value && *Value;
}

// Why nothing can be shown; from the build folder, how to run it on a virtual screen too.
std::string NoDisplayReason() {
  std::string Reason = "no display: neither DISPLAY (X11) nor WAYLAND_DISPLAY (Wayland) is set";
  if (IsSet("SDL_VIDEODRIVER")) {
    Reason = std::string("no display: SDL_VIDEODRIVER=") + std::getenv("SDL_VIDEODRIVER") +
             " shows nothing";
  } else if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) {
    Reason = "no display could be opened (";
    for (const char* Name : {"DISPLAY", "WAYLAND_DISPLAY"})
      if (IsSet(Name)) Reason.append(Name).append("=").append(std::getenv(Name)).append(" ");
    Reason.back() = ')';
  }
  if (RunFromBuildTree())
    Reason += "; without one, run it under xvfb-run: "
              "xvfb-run -a -s \"-screen 0 1280x800x24\" ./run.sh";
  return Reason;
}

// A display is named, or the user picked a driver on purpose (a picked invisible driver is
// refused after start-up).
bool HasDisplayEnvironment() {
  return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("SDL_VIDEODRIVER");
}

// libdbus, which SDL uses for input methods and the like, launches a session bus of its own
// (dbus-launch, whose daemons outlive the program) when asked for the session bus where the
// environment names none and $XDG_RUNTIME_DIR/bus does not exist: a display manager's plain X
// session, a test's server. There an address of a kind libdbus does not know makes every such
// request fail at once, launching nothing. A bus the session has is left alone. Only this
// process's environment changes; it starts no other program.
void NeverLaunchASessionBus() {
  if (IsSet("DBUS_SESSION_BUS_ADDRESS")) return;
  if (IsSet("XDG_RUNTIME_DIR")) {
    std::error_code Ignored;
    if (std::filesystem::exists(std::string(std::getenv("XDG_RUNTIME_DIR")) + "/bus", Ignored))
      return;
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", "none-launched:", 1);
}

// On Wayland a raise is an activation: SDL asks the compositor for a token and, once the answer
// is dispatched, asks it to activate the window's surface with that token. Left to the event
// loop, the answer to a window ended early (before the loop got to it) is dispatched by the
// window's own teardown, after its xdg role is gone, and the compositor is then asked to activate
// a surface that is no window any more (sway 1.7 crashes on that). One round trip here has the
// answer handled while the window is whole.
void FinishRaise(SDL_Window* Window) {
  SDL_SysWMinfo Info;
  SDL_VERSION(&Info.version);
  if (SDL_GetWindowWMInfo(Window, &Info) && Info.subsystem == SDL_SYSWM_WAYLAND)
    wl_display_roundtrip(Info.info.wl.display);
}

}  // namespace

TGLWindow::TVideo::~TVideo() {
  if (Started) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

TGLWindow::TGLWindow(int PixelDepth, const TWindowRequest& Request) : FKind(Request.Kind) {
  if (!Create(PixelDepth, Request)) {
    // Undone in the destructor's order; Error() stays.
    FVisibility.reset();
    Context.reset();
    Window.reset();
    if (Video.Started) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    Video.Started = false;
    Foreign.reset();
  }
}

TGLWindow::~TGLWindow() {
  // Another window's context, current on this thread, stays current.
  if (Window && SDL_GL_GetCurrentContext() == Context.get())
    SDL_GL_MakeCurrent(Window.get(), nullptr);
}

// Says which step failed and why. Reason is a copy: it may come from what is undone.
bool TGLWindow::Fail(const char* Step, std::string Reason) {
  FError = std::string(Step) + ": " + Reason;
  return false;
}

bool TGLWindow::StartVideo(const TWindowRequest& Request) {
  const bool Visible = Request.Kind != TWindowKind::Offscreen;
  // Without any display SDL would probe each windowing system (some print their own complaints)
  // and then settle on the offscreen driver; say it plainly instead.
  if (Visible && !HasDisplayEnvironment())
    return Fail("cannot open the window", NoDisplayReason());
  if (Request.Kind == TWindowKind::Foreign) {
    if (!IsSet("DISPLAY"))
      return Fail("cannot draw into the window",
                  "-root and -window-id draw into an X window, and DISPLAY names no X display");
    // Checked on a connection of our own first: Xlib ends the process on a window that does not
    // exist, and SDL cannot tell us the size of a window it did not make.
    Foreign = std::make_unique<TXWindow>(Request.ForeignWindow);
    if (!Foreign->Ok()) return Fail("cannot draw into the window", Foreign->Error());
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
  }
  // A full-screen window on one monitor stays when another monitor's window takes the focus.
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  // A screen saver runs when nobody is there: it must not keep the session awake as SDL would
  // by default (resetting and suspending the X server's saver, inhibiting idle on Wayland and
  // over D-Bus), or the screen never blanks and a lock scheduled after it never comes. Above the
  // environment's SDL_VIDEO_ALLOW_SCREENSAVER too.
  SDL_SetHintWithPriority(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1", SDL_HINT_OVERRIDE);
  NeverLaunchASessionBus();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    return Fail("cannot start the video subsystem", SDL_GetError());
  Video.Started = true;
  const char* Driver = SDL_GetCurrentVideoDriver();
  if (Visible && IsInvisibleDriver(Driver))
    return Fail("cannot open the window", NoDisplayReason());
  SetMessageBoxesAvailable(!IsInvisibleDriver(Driver) && Request.Kind != TWindowKind::Foreign);
  return true;
}

// Sets the size and creates the SDL window of the request (not shown yet).
bool TGLWindow::MakeWindow(const TWindowRequest& Request) {
  Uint32 Flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  int X = 0, Y = 0;
  switch (Request.Kind) {
    case TWindowKind::FullScreen: {
      // Full-screen state is asked of the desktop (on X11 its window manager's _NET_WM_STATE,
      // on Wayland the shell's full-screen request), which puts the window above its panels;
      // the display's mode is never changed.
      SDL_Rect Bounds{Request.X, Request.Y, Request.Width, Request.Height};
      if (Bounds.w <= 0 && SDL_GetDisplayBounds(0, &Bounds) != 0)
        return Fail("cannot read the display size", SDL_GetError());
      X = FX = Bounds.x;
      Y = FY = Bounds.y;
      FWidth = Bounds.w;
      FHeight = Bounds.h;
      Flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_ALLOW_HIGHDPI;
      break;
    }
    case TWindowKind::Desktop:
      X = Y = int(SDL_WINDOWPOS_CENTERED);
      Flags |= SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
      [[fallthrough]];
    case TWindowKind::Offscreen:
      FWidth = Request.Width;
      FHeight = Request.Height;
      break;
    case TWindowKind::Foreign:
      if (!Foreign->Follow(FWidth, FHeight))
        return Fail("cannot draw into the window", Foreign->Error());
      Window.reset(SDL_CreateWindowFrom(
          reinterpret_cast<const void*>(static_cast<std::uintptr_t>(Foreign->DrawableId()))));
      if (!Window) return Fail("cannot draw into the window", SDL_GetError());
      return true;
  }
  Window.reset(SDL_CreateWindow("Vadrel_Orvane", X, Y, FWidth, FHeight, Flags));
  if (!Window) return Fail("cannot create the window", SDL_GetError());
  return true;
}

bool TGLWindow::Create(int PixelDepth, const TWindowRequest& Request) {
  if (!StartVideo(Request)) return false;
  const int ChannelBits = PixelDepth >= 24 ? 8 : PixelDepth >= 15 ? 5 : 4;
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, ChannelBits);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, ChannelBits);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, ChannelBits);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  // A context made while another window's is current joins its share group: textures and the
  // like are made once for all of a program's windows.
  SDL_GL_SetAttribute(SDL_GL_SHARE_WITH_CURRENT_CONTEXT, SDL_GL_GetCurrentContext() ? 1 : 0);
  if (!MakeWindow(Request)) return false;

  Context.reset(SDL_GL_CreateContext(Window.get()));
  if (!Context) return Fail("cannot create the OpenGL context", SDL_GetError());
  if (SDL_GL_MakeCurrent(Window.get(), Context.get()) != 0) {
    const std::string Reason = SDL_GetError();
    Context.reset();
    return Fail("cannot make the OpenGL context current", Reason);
  }
  if (Request.Kind == TWindowKind::FullScreen || Request.Kind == TWindowKind::Desktop) {
    SDL_ShowWindow(Window.get());
    SDL_RaiseWindow(Window.get());
    FinishRaise(Window.get());
  }
  if (Request.Kind != TWindowKind::Offscreen) {
    SetPaced(true);
    FVisibility = std::make_unique<TVisibility>(Window.get());
  }
  // Read once shown: on Wayland the output's scale is known only then.
  FPixelWidth = FWidth;
  FPixelHeight = FHeight;
  if (!Foreign) SDL_GL_GetDrawableSize(Window.get(), &FPixelWidth, &FPixelHeight);
  return true;
}

std::uint32_t TGLWindow::Id() const { return SDL_GetWindowID(Window.get()); }

void TGLWindow::SetPaced(bool Paced) {
  // Adaptive first, then plain.
  if (!Paced)
    SDL_GL_SetSwapInterval(0);
  else if (SDL_GL_SetSwapInterval(-1) != 0)
    SDL_GL_SetSwapInterval(1);
}

bool TGLWindow::MakeCurrent() { return SDL_GL_MakeCurrent(Window.get(), Context.get()) == 0; }

void TGLWindow::Swap() {
  if (FVisibility) FVisibility->BeforeSwap();
  SDL_GL_SwapWindow(Window.get());
  if (FVisibility) FVisibility->AfterSwap();
}

bool TGLWindow::Follow(bool& Resized) {
  Resized = false;
  int Width = 0, Height = 0;
  if (!Foreign) {
    SDL_GL_GetDrawableSize(Window.get(), &Width, &Height);
  } else if (Foreign->Follow(Width, Height)) {
    FWidth = Width;
    FHeight = Height;
  } else {
    return false;
  }
  Resized = Width != FPixelWidth || Height != FPixelHeight;
  FPixelWidth = Width;
  FPixelHeight = Height;
  return true;
}
