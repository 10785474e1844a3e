#include "Vadrel.h"

#include "ExtOpenGL.h"
#include "Platform.h"
#include "Scene.h"
#include "Textures.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <png.h>

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int VK_ESCAPE = 27;

constexpr const char* BackdropFile = "C:\\Vadrel_Data\\Vadrel200.bmp";
constexpr const char* CreatureFile = "C:\\Vadrel_Data\\Vadrel.pp1";
constexpr const char* ConfigFile = "C:\\Vadrel_Data\\Vadrel.ini";
constexpr const char* TerrainFile = "C:\\Vadrel_Data\\Vadrel.pp2";

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

// Undoes what CreateGLWindow built so far and says which step failed and why: its one way out.
bool FailCreation(const char* Step, const std::string& Reason) {
  KillGLWindow();
  ShowDiagnostic(std::string(Step) + ": " + Reason);
  return false;
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
  if (!Request.Offscreen && !HasDisplayEnvironment())
    return FailCreation("cannot open the window", NoDisplayReason);

  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    return FailCreation("cannot start the video subsystem", SDL_GetError());
  S.VideoStarted = true;

  const char* Driver = SDL_GetCurrentVideoDriver();
  if (!Request.Offscreen && IsInvisibleDriver(Driver))
    return FailCreation("cannot open the window", NoDisplayReason);
  SetMessageBoxesAvailable(!IsInvisibleDriver(Driver));

  if (Request.Offscreen) {
    S.ScreenWidth = Request.Width;
    S.ScreenHeight = Request.Height;
  } else {
    SDL_Rect Bounds{};
    if (SDL_GetDisplayBounds(0, &Bounds) != 0)
      return FailCreation("cannot read the display size", SDL_GetError());
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
  if (!S.WindowHandle) return FailCreation("cannot create the window", SDL_GetError());

  S.RenderingContext.reset(SDL_GL_CreateContext(S.WindowHandle.get()));
  if (!S.RenderingContext) return FailCreation("cannot create the OpenGL context", SDL_GetError());

  if (SDL_GL_MakeCurrent(S.WindowHandle.get(), S.RenderingContext.get()) != 0)
    return FailCreation("cannot make the OpenGL context current", SDL_GetError());

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
  gluPerspective(Scene::FieldOfViewDegrees, double(Width) / double(Height), Scene::NearPlane,
                 Scene::FarPlane);
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

void InitScene() {
  TVadrelState& S = App();
  glClearColor(Scene::ClearColor[0], Scene::ClearColor[1], Scene::ClearColor[2],
               Scene::ClearColor[3]);
  glShadeModel(GL_SMOOTH);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, Scene::AlphaReference);
  glEnable(GL_FOG);
  glFogi(GL_FOG_MODE, GL_EXP2);
  glFogfv(GL_FOG_COLOR, Scene::FogColor);
  glFogf(GL_FOG_DENSITY, Scene::FogDensity);
  glHint(GL_FOG_HINT, GL_NICEST);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

  LoadTexture(MapPath(BackdropFile), S.BackdropTexture);

  S.Flock = std::make_unique<TFlock>(1, Scene::FlockWorldHeight, Scene::FlockWorldWidth,
                                     MapPath(CreatureFile), false, S.FlockSeed);

  S.BoidCount = ReadIniInteger(MapPath(ConfigFile), "Section", "Num", Scene::DefaultBoidCount);
  if (S.BoidCount >= Scene::MaxBoidCount) {
    ShowDiagnostic("Num=" + std::to_string(S.BoidCount) + " in " + MapPath(ConfigFile) +
                   " is more than the screen saver can animate; using " +
                   std::to_string(Scene::MaxBoidCount - 1));
    S.BoidCount = Scene::MaxBoidCount - 1;
  }
  if (S.BoidCount >= 0)
    for (std::int32_t I = 0; I <= S.BoidCount; ++I) S.Flock->AddBoid(0, Scene::CreatureTraits);

  S.Terrain = std::make_unique<TAnimate>(MapPath(TerrainFile), Scene::AnimationFrameRate, true);
}

namespace {

// The backdrop is textured only because the models leave unit 0 texturing on; it mirrors the
// picture left to right.
void DrawBackdrop(std::uint32_t Texture) {
  ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
  glPushMatrix();
  const float* Backdrop = Scene::BackdropTranslation;
  glTranslatef(Backdrop[0], Backdrop[1], Backdrop[2]);
  glBindTexture(GL_TEXTURE_2D, Texture);
  glColor3f(1.0f, 1.0f, 1.0f);
  constexpr float Half = Scene::BackdropHalfWidth;
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3f(Half, Scene::BackdropBottom, 0.0f);
  glTexCoord2f(0.0f, 1.0f);
  glVertex3f(Half, Scene::BackdropTop, 0.0f);
  glTexCoord2f(1.0f, 1.0f);
  glVertex3f(-Half, Scene::BackdropTop, 0.0f);
  glTexCoord2f(1.0f, 0.0f);
  glVertex3f(-Half, Scene::BackdropBottom, 0.0f);
  glEnd();
  glPopMatrix();
  glDisable(GL_TEXTURE_2D);
}

void DrawTerrain(TAnimate& Terrain) {
  glPushMatrix();
  const float* At = Scene::TerrainTranslation;
  glTranslatef(At[0], At[1], At[2]);
  glRotatef(Scene::TerrainTiltDegrees, 1.0f, 0.0f, 0.0f);
  glScalef(Scene::TerrainScale, Scene::TerrainScale, Scene::TerrainScale);
  glColor3f(1.0f, 1.0f, 1.0f);
  Terrain.Draw();
  glPopMatrix();
  // The caustic unit, left active by the terrain: off until the terrain binds it again.
  glDisable(GL_TEXTURE_2D);
}

}  // namespace

void DrawScene() {
  TVadrelState& S = App();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glClearColor(Scene::ClearColor[0], Scene::ClearColor[1], Scene::ClearColor[2],
               Scene::ClearColor[3]);
  glLoadIdentity();
  const float* Camera = Scene::CameraTranslation;
  glTranslatef(Camera[0], Camera[1], Camera[2]);

  glPushMatrix();
  glRotatef(Scene::FlockTiltDegrees, 1.0f, 0.0f, 0.0f);
  S.Flock->Update();
  S.Flock->Draw();
  glPopMatrix();

  DrawBackdrop(S.BackdropTexture);
  DrawTerrain(*S.Terrain);
}

void FreeScene() {
  TVadrelState& S = App();
  S.Flock.reset();
  S.Terrain.reset();
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
  FreeScene();
  return 0;
}

// ---- Headless mode -----------------------------------------------------------------------------

const char* const UsageText =
    "usage: vadrel [--screenshot FILE.png [--frames N] [--size WxH] [--seed S]]";

namespace {

template <typename T>
bool ParseNumber(const std::string& Text, T& Value) {
  const char* End = Text.data() + Text.size();
  const auto [Ptr, Ec] = std::from_chars(Text.data(), End, Value);
  return Ec == std::errc() && Ptr == End;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& Arguments,
                      std::optional<TScreenshotOptions>& Options, std::string& Error) {
  Options.reset();
  if (Arguments.empty()) return true;
  TScreenshotOptions O;
  bool HaveFile = false;
  for (std::size_t I = 0; I < Arguments.size(); ++I) {
    const std::string& Arg = Arguments[I];
    const bool HasValue = I + 1 < Arguments.size();
    const std::string Value = HasValue ? Arguments[I + 1] : std::string();
    if (Arg == "--screenshot" && HasValue) {
      O.File = Value;
      HaveFile = !Value.empty();
    } else if (Arg == "--frames" && HasValue) {
      if (!ParseNumber(Value, O.Frames) || O.Frames < 1 || O.Frames > 1000000) {
        Error = "--frames takes a whole number from 1 to 1000000";
        return false;
      }
    } else if (Arg == "--size" && HasValue) {
      const std::size_t X = Value.find('x');
      if (X == std::string::npos || !ParseNumber(Value.substr(0, X), O.Width) ||
          !ParseNumber(Value.substr(X + 1), O.Height) || O.Width < 1 || O.Height < 1 ||
          O.Width > 8192 || O.Height > 8192) {
        Error = "--size takes WIDTHxHEIGHT, each from 1 to 8192";
        return false;
      }
    } else if (Arg == "--seed" && HasValue) {
      std::uint64_t Seed = 0;
      if (!ParseNumber(Value, Seed)) {
        Error = "--seed takes a whole number";
        return false;
      }
      O.Seed = Seed;
    } else {
      Error = HasValue || Arg.rfind("--", 0) != 0 ? "unknown option " + Arg
                                                   : "option " + Arg + " needs a value";
      return false;
    }
    ++I;
  }
  if (!HaveFile) {
    Error = "--screenshot FILE.png is required";
    return false;
  }
  Options = O;
  return true;
}

bool WritePng(const std::string& File, int Width, int Height, const std::vector<std::uint8_t>& Rgba,
              std::string& Error) {
  png_image Image{};
  Image.version = PNG_IMAGE_VERSION;
  Image.width = png_uint_32(Width);
  Image.height = png_uint_32(Height);
  Image.format = PNG_FORMAT_RGBA;
  // A negative row stride writes the last row first: GL's bottom-up rows come out top-down.
  const png_int_32 Stride = -png_int_32(Width * 4);
  if (!png_image_write_to_file(&Image, File.c_str(), 0, Rgba.data(), Stride, nullptr)) {
    Error = Image.message;
    return false;
  }
  return true;
}

int RunScreenshot(const TScreenshotOptions& Options) {
  TVadrelState& S = App();
  // Always the offscreen driver: the picture must not depend on a window being visible.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  S.FlockSeed = Options.Seed;
  TWindowRequest Request;
  Request.Offscreen = true;
  Request.Width = Options.Width;
  Request.Height = Options.Height;
  // With a seed the animation clock advances by one fixed step per frame instead of following the
  // wall clock, so the same command writes the same picture on every run.
  std::int64_t Ticks = 0;
  const std::int64_t TicksPerFrame = PerformanceFrequency() / Scene::HeadlessFrameRate;
  struct TClockGuard {
    bool Active;
    ~TClockGuard() {
      if (Active) SetPerformanceCounter({});
    }
  } ClockGuard{Options.Seed.has_value()};
  if (ClockGuard.Active) SetPerformanceCounter([&Ticks] { return Ticks; });
  if (!CreateGLWindow(32, Request)) return 1;

  std::vector<std::uint8_t> Pixels(std::size_t(Options.Width) * Options.Height * 4);
  for (int Frame = 0; Frame < Options.Frames; ++Frame) {
    Ticks += TicksPerFrame;
    DrawScene();
    if (Frame + 1 == Options.Frames) {
      glFinish();
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadBuffer(GL_BACK);
      glReadPixels(0, 0, Options.Width, Options.Height, GL_RGBA, GL_UNSIGNED_BYTE, Pixels.data());
    }
    SDL_GL_SwapWindow(S.WindowHandle.get());
  }
  KillGLWindow();
  FreeScene();

  for (std::size_t I = 3; I < Pixels.size(); I += 4) Pixels[I] = 255;  // an opaque picture
  std::string Error;
  if (!WritePng(Options.File, Options.Width, Options.Height, Pixels, Error)) {
    ShowDiagnostic("cannot write " + Options.File + ": " + Error);
    return 1;
  }
  return 0;
}
