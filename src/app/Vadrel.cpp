#include "Vadrel.h"

#include "ExtOpenGL.h"
#include "Platform.h"
#include "Scene.h"
#include "Textures.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <png.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

constexpr int VK_ESCAPE = 27;

constexpr const char* BackdropFile = "C:\\Vadrel_Data\\Vadrel200.bmp";
constexpr const char* CreatureFile = "C:\\Vadrel_Data\\Vadrel.pp1";
constexpr const char* FarCreatureFile = "C:\\Vadrel_Data\\VadrelFar.pp1";
constexpr const char* PredatorFile = "C:\\Vadrel_Data\\Vadrel.pp3";
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
// Reason is a copy: it may come from what is undone.
bool FailCreation(const char* Step, std::string Reason) {
  KillGLWindow();
  ShowDiagnostic(std::string(Step) + ": " + Reason);
  return false;
}

// The user's own configuration file when it sets Key in Section, else the data folder's.
std::string ConfigurationFileWith(std::string_view Section, std::string_view Key) {
  const std::string User = UserConfigFile();
  if (!User.empty() && ReadIniString(User, Section, Key)) return User;
  return MapPath(ConfigFile);
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

namespace {

// Sets ScreenWidth and ScreenHeight and creates the SDL window of the request (not shown yet).
bool MakeWindow(const TWindowRequest& Request) {
  TVadrelState& S = App();
  Uint32 Flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  int X = 0, Y = 0;
  switch (Request.Kind) {
    case TWindowKind::FullScreen: {
      SDL_Rect Bounds{};
      if (SDL_GetDisplayBounds(0, &Bounds) != 0)
        return FailCreation("cannot read the display size", SDL_GetError());
      S.ScreenWidth = Bounds.w;
      S.ScreenHeight = Bounds.h;
      Flags |= SDL_WINDOW_BORDERLESS;
      break;
    }
    case TWindowKind::Desktop:
      X = Y = int(SDL_WINDOWPOS_CENTERED);
      Flags |= SDL_WINDOW_RESIZABLE;
      [[fallthrough]];
    case TWindowKind::Offscreen:
      S.ScreenWidth = Request.Width;
      S.ScreenHeight = Request.Height;
      break;
    case TWindowKind::Foreign:
      if (!S.ForeignWindow->Follow(S.ScreenWidth, S.ScreenHeight))
        return FailCreation("cannot draw into the window", S.ForeignWindow->Error());
      S.WindowHandle.reset(SDL_CreateWindowFrom(reinterpret_cast<const void*>(
          static_cast<std::uintptr_t>(S.ForeignWindow->DrawableId()))));
      if (!S.WindowHandle) return FailCreation("cannot draw into the window", SDL_GetError());
      return true;
  }
  S.WindowHandle.reset(
      SDL_CreateWindow("Vadrel_Orvane", X, Y, S.ScreenWidth, S.ScreenHeight, Flags));
  if (!S.WindowHandle) return FailCreation("cannot create the window", SDL_GetError());
  return true;
}

}  // namespace

bool CreateGLWindow(int PixelDepth, const TWindowRequest& Request) {
  TVadrelState& S = App();
  const bool Visible = Request.Kind != TWindowKind::Offscreen;

  // Without any display SDL would probe each windowing system (some print their own complaints)
  // and then settle on the offscreen driver; say it plainly instead.
  if (Visible && !HasDisplayEnvironment())
    return FailCreation("cannot open the window", NoDisplayReason);

  if (Request.Kind == TWindowKind::Foreign) {
    // Checked on a connection of our own first: Xlib ends the process on a window that does not
    // exist, and SDL cannot tell us the size of a window it did not make.
    S.ForeignWindow = std::make_unique<TXWindow>(Request.ForeignWindow);
    if (!S.ForeignWindow->Ok())
      return FailCreation("cannot draw into the window", S.ForeignWindow->Error());
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
  }

  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
    return FailCreation("cannot start the video subsystem", SDL_GetError());
  S.VideoStarted = true;

  const char* Driver = SDL_GetCurrentVideoDriver();
  if (Visible && IsInvisibleDriver(Driver))
    return FailCreation("cannot open the window", NoDisplayReason);
  SetMessageBoxesAvailable(!IsInvisibleDriver(Driver) && Request.Kind != TWindowKind::Foreign);

  const int ChannelBits = PixelDepth >= 24 ? 8 : PixelDepth >= 15 ? 5 : 4;
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, ChannelBits);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, ChannelBits);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, ChannelBits);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);

  if (!MakeWindow(Request)) return false;

  S.RenderingContext.reset(SDL_GL_CreateContext(S.WindowHandle.get()));
  if (!S.RenderingContext) return FailCreation("cannot create the OpenGL context", SDL_GetError());

  if (SDL_GL_MakeCurrent(S.WindowHandle.get(), S.RenderingContext.get()) != 0)
    return FailCreation("cannot make the OpenGL context current", SDL_GetError());

  if (Request.Kind == TWindowKind::FullScreen || Request.Kind == TWindowKind::Desktop) {
    SDL_ShowWindow(S.WindowHandle.get());
    SDL_RaiseWindow(S.WindowHandle.get());
  }
  if (Visible) {
    // Swap with the display's refresh where the driver can: adaptive first, then plain.
    if (SDL_GL_SetSwapInterval(-1) != 0) SDL_GL_SetSwapInterval(1);
  }
  ResizeScene(S.ScreenWidth, S.ScreenHeight);
  InitScene();
  return true;
}

void KillGLWindow() {
  TVadrelState& S = App();
  if (S.WindowHandle) SDL_GL_MakeCurrent(S.WindowHandle.get(), nullptr);
  S.RenderingContext.reset();
  S.WindowHandle.reset();  // a foreign window is only let go of, never destroyed
  if (S.VideoStarted) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    S.VideoStarted = false;
  }
  S.ForeignWindow.reset();
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
      if (Key == VK_ESCAPE && Event.type == SDL_KEYDOWN) S.EscapePressed = true;
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

  // Without its folder every data file would fail one by one: say so once, naming the folder.
  const std::string Data = DataFolder();
  if (const std::optional<std::string> Problem = FolderProblem(Data))
    throw std::runtime_error("cannot use the data folder " + Data + ": " + *Problem);

  LoadTexture(MapPath(BackdropFile), S.BackdropTexture);

  if (S.RivalsOverride) {
    S.RivalCount = *S.RivalsOverride;
  } else {
    const std::string File = ConfigurationFileWith("Section", "Rivals");
    S.RivalCount = ReadIniInteger(File, "Section", "Rivals", 0);
    if (S.RivalCount > Scene::MaxRivalCount) {
      ShowDiagnostic("Rivals=" + std::to_string(S.RivalCount) + " in " + File +
                     " is more than the screen saver lets hunt; using " +
                     std::to_string(Scene::MaxRivalCount));
      S.RivalCount = Scene::MaxRivalCount;
    }
    S.RivalCount = std::max(S.RivalCount, 0);
  }

  // Without rivals the flock is the plain school: one slot, and the same random draws.
  const bool Rivals = S.RivalCount > 0;
  S.Flock = std::make_unique<TFlock>(Rivals ? 2 : 1, Scene::FlockWorldHeight,
                                     Scene::FlockWorldWidth, MapPath(CreatureFile), false,
                                     S.FlockSeed);
  if (Rivals) S.Flock->LoadModel(1, MapPath(PredatorFile));

  if (S.CountOverride) {
    S.BoidCount = *S.CountOverride;
  } else {
    const std::string File = ConfigurationFileWith("Section", "Num");
    S.BoidCount = ReadIniInteger(File, "Section", "Num", Scene::DefaultBoidCount);
    if (S.BoidCount >= Scene::MaxBoidCount) {
      ShowDiagnostic("Num=" + std::to_string(S.BoidCount) + " in " + File +
                     " is more than the screen saver can animate; using " +
                     std::to_string(Scene::MaxBoidCount - 1));
      S.BoidCount = Scene::MaxBoidCount - 1;
    }
  }
  const TBoidTraits& School = Rivals ? Scene::WaryCreatureTraits : Scene::CreatureTraits;
  if (S.BoidCount >= 0)
    for (std::int32_t I = 0; I <= S.BoidCount; ++I) S.Flock->AddBoid(0, School);
  for (std::int32_t I = 0; I < S.RivalCount; ++I) S.Flock->AddBoid(1, Scene::PredatorTraits);

  S.Terrain = std::make_unique<TAnimate>(MapPath(TerrainFile), Scene::AnimationFrameRate, true);
  // The far creature is optional data: without it every creature is drawn in full.
  if (FileExists(MapPath(FarCreatureFile))) S.Flock->LoadFarModel(0, MapPath(FarCreatureFile));
  S.Flock->SetFarDetailPixels(S.FarDetailPixels);
  S.Flock->SetReferencePaths(S.ReferencePaths);
  S.Terrain->SetReferencePath(S.ReferencePaths);
}

namespace {

// The backdrop is textured only because the models leave unit 0 texturing on; it mirrors the
// picture left to right. On a view wider than 4:3 the quad and its texture coordinates widen alike
// about the centre (the texture repeats), so the picture keeps its scale and fills the width.
void DrawBackdrop(std::uint32_t Texture) {
  ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
  glPushMatrix();
  const float* Backdrop = Scene::BackdropTranslation;
  glTranslatef(Backdrop[0], Backdrop[1], Backdrop[2]);
  glBindTexture(GL_TEXTURE_2D, Texture);
  glColor3f(1.0f, 1.0f, 1.0f);
  GLint Viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, Viewport);  // set with the projection by ResizeScene
  const float Widening =
      float(Scene::BackdropWidening(double(Viewport[2]) / double(std::max(Viewport[3], 1))));
  const float Half = Scene::BackdropHalfWidth * Widening;
  // u runs from the right side to the left: the mirror. At 4:3 or narrower, 0 to 1.
  const float FirstU = (1.0f - Widening) / 2.0f, LastU = (1.0f + Widening) / 2.0f;
  glBegin(GL_QUADS);
  glTexCoord2f(FirstU, 0.0f);
  glVertex3f(Half, Scene::BackdropBottom, 0.0f);
  glTexCoord2f(FirstU, 1.0f);
  glVertex3f(Half, Scene::BackdropTop, 0.0f);
  glTexCoord2f(LastU, 1.0f);
  glVertex3f(-Half, Scene::BackdropTop, 0.0f);
  glTexCoord2f(LastU, 0.0f);
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

void DrawFrameRate() {
  TVadrelState& S = App();
  if (!S.ShowFrameRate) return;
  if (!S.FrameClock) S.FrameClock = std::make_unique<TPerfTimer>();
  S.FrameRate.Frame(S.FrameClock->Elapsed());
  DrawOverlayText(S.FrameRate.Text(), S.ScreenWidth, S.ScreenHeight);
}

namespace {

void ApplySettings(const TOptions& Options) {
  TVadrelState& S = App();
  S.CountOverride = Options.Count;
  S.RivalsOverride = Options.Rivals;
  S.ShowFrameRate = Options.ShowFrameRate;
  S.FlockSeed = Options.Seed;
  S.ReferencePaths = Options.Reference;
  S.FarDetailPixels = Options.FarDetailPixels.value_or(Scene::FarDetailPixels);
  SetFullMipmapChains(Options.Reference);
}

TWindowRequest WindowRequestFor(const TOptions& Options) {
  TWindowRequest Request;
  if (Options.Mode == TRunMode::Hack) {
    Request.Kind = TWindowKind::Foreign;
    Request.ForeignWindow = Options.WindowId.value_or(0);
  } else if (Options.Mode == TRunMode::Window) {
    Request.Kind = TWindowKind::Desktop;
    Request.Width = Options.Width;
    Request.Height = Options.Height;
  }
  return Request;
}

// The viewport follows a window someone else resizes (SDL hears nothing of it). False when the
// window is gone.
bool FollowForeignWindow() {
  TVadrelState& S = App();
  int Width = 0, Height = 0;
  if (!S.ForeignWindow->Follow(Width, Height)) return false;
  if (Width != S.ScreenWidth || Height != S.ScreenHeight) {
    S.ScreenWidth = Width;
    S.ScreenHeight = Height;
    ResizeScene(Width, Height);
  }
  return true;
}

// The screen saver's hidden pointer, shown again on every way out of the loop, an error included
// (before the window goes).
class THiddenCursor {
public:
  explicit THiddenCursor(bool Hide) : Hidden(Hide) {
    if (Hidden) SDL_ShowCursor(SDL_DISABLE);
  }
  ~THiddenCursor() {
    if (Hidden) SDL_ShowCursor(SDL_ENABLE);
  }
  THiddenCursor(const THiddenCursor&) = delete;
  THiddenCursor& operator=(const THiddenCursor&) = delete;

private:
  bool Hidden;
};

#ifndef NDEBUG
// Debug builds look at the running scene every this many frames (a prime, so that no cycle of
// the animation or of the 32 caustic frames can line up with it).
constexpr int HealthCheckFrames = 293;

// Debug builds: every HealthCheckFrames frames, one diagnostic line for a GL error and one when
// the terrain's caustic frame (or, on an animated terrain, its clock) has not moved since the
// last look.
class TSceneHealth {
public:
  void AfterFrame(int Frame) {
    if (++Frames % HealthCheckFrames != 0) return;
    for (GLenum Error; (Error = glGetError()) != GL_NO_ERROR;)
      ShowDiagnostic("GL error " + std::to_string(Error) + " by frame " + std::to_string(Frame));
    const TModel& Terrain = App().Terrain->Model();
    const float Clock = Terrain.CurrentFrame();
    const int Caustic = Terrain.MaterialCount() > 0 ? Terrain.Material(0).CausticFrame : -1;
    // A terrain of one frame stands still by design (every step puts it back at frame 1).
    if (Looked && Clock == LastClock && Terrain.TotalFrames() > 1.0f)
      ShowDiagnostic("the animation clock stands at " + std::to_string(Clock) + " by frame " +
                     std::to_string(Frame));
    if (Looked && Caustic == LastCaustic && ExtOpenGL::HasMultitexture())
      ShowDiagnostic("the caustic frame stands at " + std::to_string(Caustic) + " by frame " +
                     std::to_string(Frame));
    Looked = true;
    LastClock = Clock;
    LastCaustic = Caustic;
  }

private:
  int Frames = 0;
  bool Looked = false;
  float LastClock = 0;
  int LastCaustic = 0;
};
#else
class TSceneHealth {
public:
  void AfterFrame(int) {}
};
#endif

// The exit rules, tested at the end of each frame. The saver ends on Escape or a large mouse
// move, the desktop window on Escape; a hack leaves input to its daemon.
bool ExitRuleFired(TRunMode Mode) {
  TVadrelState& S = App();
  const bool Escape = S.Keys[VK_ESCAPE] || S.EscapePressed;
  S.EscapePressed = false;
  if (Mode == TRunMode::Hack) return false;
  if (Escape) return true;
  if (Mode != TRunMode::Saver) return false;
  S.CursorPos = GetCursorPos();
  return std::abs(S.StartCursorPos.X - S.CursorPos.X) > ExitDistance &&
         std::abs(S.StartCursorPos.Y - S.CursorPos.Y) > ExitDistance;
}

}  // namespace

int WinMain(const TOptions& Options) {
  TVadrelState& S = App();
  ApplySettings(Options);
  if (!CreateGLWindow(32, WindowRequestFor(Options))) return 1;

  S.CursorPos = GetCursorPos();
  S.StartCursorPos = S.CursorPos;
  {
    const THiddenCursor Cursor(Options.Mode == TRunMode::Saver);
    TSceneHealth Health;
    bool Done = false;
    for (int Frame = 1; !Done && !StopRequested();) {
      SDL_Event Event;
      if (SDL_PollEvent(&Event)) {
        if (Event.type == SDL_QUIT)
          Done = true;
        else
          WndProc(Event);
        continue;
      }
      if (S.ForeignWindow && !FollowForeignWindow()) {
        ShowDiagnostic("the window it was drawing into is gone");
        break;
      }
      DrawScene();
      DrawFrameRate();
      SDL_GL_SwapWindow(S.WindowHandle.get());
      Health.AfterFrame(Frame++);
      Done = ExitRuleFired(Options.Mode);
      if (!Done) SleepUnlessStopped(Options.DelayMicroseconds);
    }
  }
  KillGLWindow();
  FreeScene();
  return 0;
}

// ---- Headless mode -----------------------------------------------------------------------------

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

namespace {

// From static initialisation, which follows the loading of the program and its libraries.
const auto ProgramStart = std::chrono::steady_clock::now();

double SecondsSince(std::chrono::steady_clock::time_point Start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

// While it lives, a seeded run's animation clock advances by one fixed step per Step() instead
// of following the wall clock, so the same command draws the same frames on every run.
class TFixedStepClock {
public:
  explicit TFixedStepClock(bool Active) : FActive(Active) {
    if (FActive) SetPerformanceCounter([this] { return FTicks; });
  }
  ~TFixedStepClock() {
    if (FActive) SetPerformanceCounter({});
  }
  TFixedStepClock(const TFixedStepClock&) = delete;
  TFixedStepClock& operator=(const TFixedStepClock&) = delete;
  void Step() { FTicks += FTicksPerFrame; }

private:
  bool FActive;
  std::int64_t FTicks = 0;
  std::int64_t FTicksPerFrame = PerformanceFrequency() / Scene::HeadlessFrameRate;
};

// One line: the frame rate and frame times of the frames after the warm-up.
void ReportBenchmark(const TOptions& Options, std::vector<double> Seconds, double Startup) {
  const std::size_t Warmup = Seconds.size() > 40 ? 20 : 0;
  Seconds.erase(Seconds.begin(), Seconds.begin() + std::ptrdiff_t(Warmup));
  double Total = 0;
  for (const double T : Seconds) Total += T;
  std::sort(Seconds.begin(), Seconds.end());
  const auto Percentile = [&](double P) {
    return Seconds[std::min(Seconds.size() - 1, std::size_t(P * double(Seconds.size())))];
  };
  const int Fish = App().BoidCount + 1 > 0 ? App().BoidCount + 1 : 0;
  const int Predators = App().RivalCount;
  const std::string Creatures =
      std::to_string(Fish + Predators) + " creatures" +
      (Predators > 0 ? " (" + std::to_string(Predators) + " of them predators)" : "");
  char Line[400];
  std::snprintf(Line, sizeof Line,
                "%s at %dx%d, %zu frames counted (%s paths): %.1f frames per second, "
                "frame time median %.2f ms, 95th percentile %.2f ms; start-up to the first frame "
                "%.0f ms; peak memory %.0f MB\n",
                Creatures.c_str(), Options.Width, Options.Height,
                Seconds.size(), Options.Reference ? "reference" : "fast",
                double(Seconds.size()) / Total, Percentile(0.5) * 1e3, Percentile(0.95) * 1e3,
                Startup * 1e3, double(PeakMemoryBytes()) / (1 << 20));
  ShowText(Line);
}

}  // namespace

int RunHeadless(const TOptions& Options) {
  TVadrelState& S = App();
  // Always the offscreen driver: the picture must not depend on a window being visible.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  ApplySettings(Options);
  TWindowRequest Request;
  Request.Kind = TWindowKind::Offscreen;
  Request.Width = Options.Width;
  Request.Height = Options.Height;
  TFixedStepClock Clock(Options.Seed.has_value());
  if (!CreateGLWindow(32, Request)) return 1;

  const bool Benchmark = Options.Mode == TRunMode::Benchmark;
  std::vector<double> Seconds;
  if (Benchmark) Seconds.reserve(std::size_t(Options.Frames));
  double Startup = 0;
  std::vector<std::uint8_t> Pixels;
  TSceneHealth Health;
  int Frame = 0;
  for (; Frame < Options.Frames && !StopRequested(); Health.AfterFrame(++Frame)) {
    const auto Start = std::chrono::steady_clock::now();
    Clock.Step();
    DrawScene();
    DrawFrameRate();
    // Each frame is finished before the next: an offscreen surface has no display to pace the
    // frames, and the renderer would otherwise queue them (with their buffers) without bound.
    glFinish();
    if (Benchmark) {
      Seconds.push_back(SecondsSince(Start));
      if (Frame == 0) Startup = SecondsSince(ProgramStart);
    } else if (Frame + 1 == Options.Frames) {
      Pixels.resize(std::size_t(Options.Width) * Options.Height * 4);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadBuffer(GL_BACK);
      glReadPixels(0, 0, Options.Width, Options.Height, GL_RGBA, GL_UNSIGNED_BYTE, Pixels.data());
    }
    SDL_GL_SwapWindow(S.WindowHandle.get());
  }
  KillGLWindow();
  FreeScene();
  if (Frame < Options.Frames) {
    ShowDiagnostic("stopped by a signal after " + std::to_string(Frame) + " of " +
                   std::to_string(Options.Frames) + " frames" +
                   (Benchmark ? "" : "; " + Options.File + " not written"));
    return 1;
  }
  if (Benchmark) {
    ReportBenchmark(Options, std::move(Seconds), Startup);
    return 0;
  }

  for (std::size_t I = 3; I < Pixels.size(); I += 4) Pixels[I] = 255;  // an opaque picture
  std::string Error;
  if (!WritePng(Options.File, Options.Width, Options.Height, Pixels, Error)) {
    ShowDiagnostic("cannot write " + Options.File + ": " + Error);
    return 1;
  }
  return 0;
}
