#include "Window.h"

#include "Platform.h"

#include <cstdlib>
#include <cstring>

namespace {

// Drivers that draw nowhere a person could see: the screen saver treats them as "no display".
bool IsInvisibleDriver(const char* Driver) {
  return Driver && (std::strcmp(Driver, "offscreen") == 0 || std::strcmp(Driver, "dummy") == 0);
}

constexpr const char* NoDisplayReason =
    "no display (set DISPLAY, or run it under xvfb-run: "
    "xvfb-run -a -s \"-screen 0 1280x800x24\" ./run.sh)";

// A display is named, or the user picked a driver on purpose (a picked invisible driver is
// refused after start-up).
bool HasDisplayEnvironment() {
  for (const char* Name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"})
    if (const char* Value = std::getenv(Name); Value && *Value) return true;
  return false;
}

}  // namespace

TGLWindow::TVideo::~TVideo() {
  if (Started) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

TGLWindow::TGLWindow(int PixelDepth, const TWindowRequest& Request) : FKind(Request.Kind) {
  if (!Create(PixelDepth, Request)) {
    // Undone in the destructor's order; Error() stays.
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
  if (Visible && !HasDisplayEnvironment()) return Fail("cannot open the window", NoDisplayReason);
  if (Request.Kind == TWindowKind::Foreign) {
    // Checked on a connection of our own first: Xlib ends the process on a window that does not
    // exist, and SDL cannot tell us the size of a window it did not make.
    Foreign = std::make_unique<TXWindow>(Request.ForeignWindow);
    if (!Foreign->Ok()) return Fail("cannot draw into the window", Foreign->Error());
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
  }
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    return Fail("cannot start the video subsystem", SDL_GetError());
  Video.Started = true;
  const char* Driver = SDL_GetCurrentVideoDriver();
  if (Visible && IsInvisibleDriver(Driver)) return Fail("cannot open the window", NoDisplayReason);
  SetMessageBoxesAvailable(!IsInvisibleDriver(Driver) && Request.Kind != TWindowKind::Foreign);
  return true;
}

// Sets the size and creates the SDL window of the request (not shown yet).
bool TGLWindow::MakeWindow(const TWindowRequest& Request) {
  Uint32 Flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  int X = 0, Y = 0;
  switch (Request.Kind) {
    case TWindowKind::FullScreen: {
      SDL_Rect Bounds{};
      if (SDL_GetDisplayBounds(0, &Bounds) != 0)
        return Fail("cannot read the display size", SDL_GetError());
      FWidth = Bounds.w;
      FHeight = Bounds.h;
      Flags |= SDL_WINDOW_BORDERLESS;
      break;
    }
    case TWindowKind::Desktop:
      X = Y = int(SDL_WINDOWPOS_CENTERED);
      Flags |= SDL_WINDOW_RESIZABLE;
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
  }
  // Swap with the display's refresh where the driver can: adaptive first, then plain.
  if (Request.Kind != TWindowKind::Offscreen && SDL_GL_SetSwapInterval(-1) != 0)
    SDL_GL_SetSwapInterval(1);
  return true;
}

bool TGLWindow::MakeCurrent() { return SDL_GL_MakeCurrent(Window.get(), Context.get()) == 0; }

void TGLWindow::Swap() { SDL_GL_SwapWindow(Window.get()); }

bool TGLWindow::Follow(bool& Resized) {
  Resized = false;
  if (!Foreign) return true;
  int Width = 0, Height = 0;
  if (!Foreign->Follow(Width, Height)) return false;
  Resized = Width != FWidth || Height != FHeight;
  FWidth = Width;
  FHeight = Height;
  return true;
}
