#include "Vadrel.h"

#include "Platform.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int VK_ESCAPE = 27;
constexpr int ExitDistance = 30;  // pixels the cursor must leave on both axes at once

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

void ReportFailure(const char* Step, const char* Reason) {
  std::fprintf(stderr, "vadrel: %s: %s\n", Step, Reason);
  std::fflush(stderr);
}

TPoint GetCursorPos() {
  TPoint P;
  SDL_GetGlobalMouseState(&P.X, &P.Y);
  return P;
}

}  // namespace

TVadrelState& App() {
  static TVadrelState State;
  return State;
}

bool CreateGLWindow(int PixelDepth, const TWindowRequest& Request) {
  TVadrelState& S = App();

  // Without any display SDL would probe each windowing system (some print their own complaints)
  // and then settle on the offscreen driver; say it plainly instead.
  if (!Request.Offscreen && !HasDisplayEnvironment()) {
    ReportFailure("cannot open the window", NoDisplayReason);
    return false;
  }

  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    ReportFailure("cannot start the video subsystem", SDL_GetError());
    return false;
  }
  S.VideoStarted = true;

  const char* Driver = SDL_GetCurrentVideoDriver();
  if (!Request.Offscreen && IsInvisibleDriver(Driver)) {
    KillGLWindow();
    ReportFailure("cannot open the window", NoDisplayReason);
    return false;
  }
  SetMessageBoxesAvailable(!IsInvisibleDriver(Driver));

  if (Request.Offscreen) {
    S.ScreenWidth = Request.Width;
    S.ScreenHeight = Request.Height;
  } else {
    SDL_Rect Bounds{};
    if (SDL_GetDisplayBounds(0, &Bounds) != 0) {
      const std::string Reason = SDL_GetError();
      KillGLWindow();
      ReportFailure("cannot read the display size", Reason.c_str());
      return false;
    }
    S.ScreenWidth = Bounds.w;
    S.ScreenHeight = Bounds.h;
  }

  const int ChannelBits = PixelDepth >= 24 ? 8 : PixelDepth >= 15 ? 5 : 4;
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, ChannelBits);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, ChannelBits);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, ChannelBits);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);

  const Uint32 Flags = SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN;
  S.WindowHandle.reset(
      SDL_CreateWindow("Vadrel_Orvane", 0, 0, S.ScreenWidth, S.ScreenHeight, Flags));
  if (!S.WindowHandle) {
    const std::string Reason = SDL_GetError();
    KillGLWindow();
    ReportFailure("cannot create the window", Reason.c_str());
    return false;
  }

  S.RenderingContext.reset(SDL_GL_CreateContext(S.WindowHandle.get()));
  if (!S.RenderingContext) {
    const std::string Reason = SDL_GetError();
    KillGLWindow();
    ReportFailure("cannot create the OpenGL context", Reason.c_str());
    return false;
  }

  if (SDL_GL_MakeCurrent(S.WindowHandle.get(), S.RenderingContext.get()) != 0) {
    const std::string Reason = SDL_GetError();
    KillGLWindow();
    ReportFailure("cannot make the OpenGL context current", Reason.c_str());
    return false;
  }

  if (!Request.Offscreen) {
    SDL_ShowWindow(S.WindowHandle.get());
    SDL_RaiseWindow(S.WindowHandle.get());
  }
  ResizeScene(S.ScreenWidth, S.ScreenHeight);
  InitScene();
  return true;
}

void KillGLWindow() {
  TVadrelState& S = App();
  if (S.WindowHandle) SDL_GL_MakeCurrent(S.WindowHandle.get(), nullptr);
  S.RenderingContext.reset();
  S.WindowHandle.reset();
  if (S.VideoStarted) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    S.VideoStarted = false;
  }
}

void ResizeScene(int Width, int Height) {
  if (Height == 0) Height = 1;
  glViewport(0, 0, Width, Height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, double(Width) / double(Height), 1.0, 100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void WndProc(const SDL_Event& Event) {
  TVadrelState& S = App();
  switch (Event.type) {
    case SDL_WINDOWEVENT:
      if (Event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        ResizeScene(Event.window.data1, Event.window.data2);
      } else if (Event.window.event == SDL_WINDOWEVENT_CLOSE) {
        SDL_Event Quit{};
        Quit.type = SDL_QUIT;
        SDL_PushEvent(&Quit);
      }
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const int Key = VirtualKeyFromSDL(Event.key.keysym.sym);
      if (Key >= 0 && Key < int(S.Keys.size())) S.Keys[std::size_t(Key)] = Event.type == SDL_KEYDOWN;
      break;
    }
    default:
      break;
  }
}

void InitScene() { glClearColor(0.3f, 0.3f, 1.0f, 0.0f); }

void DrawScene() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glClearColor(0.3f, 0.3f, 1.0f, 0.0f);
}

int WinMain() {
  TVadrelState& S = App();
  if (!CreateGLWindow(32)) return 1;

  S.CursorPos = GetCursorPos();
  S.StartCursorPos = S.CursorPos;
  SDL_ShowCursor(SDL_DISABLE);

  bool Done = false;
  while (!Done) {
    SDL_Event Event;
    if (SDL_PollEvent(&Event)) {
      if (Event.type == SDL_QUIT)
        Done = true;
      else
        WndProc(Event);
      continue;
    }
    DrawScene();
    SDL_GL_SwapWindow(S.WindowHandle.get());
    if (S.Keys[VK_ESCAPE]) {
      Done = true;
    } else {
      S.CursorPos = GetCursorPos();
      Done = std::abs(S.StartCursorPos.X - S.CursorPos.X) > ExitDistance &&
             std::abs(S.StartCursorPos.Y - S.CursorPos.Y) > ExitDistance;
    }
  }

  SDL_ShowCursor(SDL_ENABLE);
  KillGLWindow();
  return 0;
}
