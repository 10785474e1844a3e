#include "Headless.h"

#include "OceanScene.h"
#include "Platform.h"
#include "SceneHealth.h"
#include "Vadrel.h"
#include "Window.h"

#include <GL/gl.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

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
// of following the wall clock.
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

// What one headless run gathers: the benchmark's frame times, or the screenshot's last frame.
struct TRecording {
  std::vector<double> Seconds;
  double Startup = 0;
  std::vector<std::uint8_t> Pixels;
  int Frames = 0;  // frames drawn
  TFlock::TDrawCounts Creatures;  // of the last frame
};

// One line: the frame rate and frame times of the frames after the warm-up.
void ReportBenchmark(const TOptions& Options, const TSettings& Settings,
                     std::vector<double> Seconds, double Startup, const TFlock::TDrawCounts& Drawn) {
  const std::size_t Warmup = Seconds.size() > 40 ? 20 : 0;
  Seconds.erase(Seconds.begin(), Seconds.begin() + std::ptrdiff_t(Warmup));
  double Total = 0;
  for (const double T : Seconds) Total += T;
  std::sort(Seconds.begin(), Seconds.end());
  const auto Percentile = [&](double P) {
    return Seconds[std::min(Seconds.size() - 1, std::size_t(P * double(Seconds.size())))];
  };
  const int Fish = Settings.BoidCount + 1 > 0 ? Settings.BoidCount + 1 : 0;
  const int Predators = Settings.RivalCount;
  const std::string Creatures =
      std::to_string(Fish + Predators) + " creatures" +
      (Predators > 0 ? " (" + std::to_string(Predators) + " of them predators)" : "");
  char Line[500];
  std::snprintf(Line, sizeof Line,
                "%s at %dx%d, %zu frames counted (%s paths): %.1f frames per second, "
                "frame time median %.2f ms, 95th percentile %.2f ms; start-up to the first frame "
                "%.0f ms; peak memory %.0f MB; last frame %zu creatures in view, %.0f pixels long "
                "on average, %zu triangles\n",
                Creatures.c_str(), Options.Width, Options.Height, Seconds.size(),
                Options.Reference ? "reference" : "fast", double(Seconds.size()) / Total,
                Percentile(0.5) * 1e3, Percentile(0.95) * 1e3, Startup * 1e3,
                double(PeakMemoryBytes()) / (1 << 20), Drawn.Creatures, Drawn.MeanPixels,
                Drawn.Triangles);
  ShowText(Line);
}

// Draws the run's frames into Window's back buffer, each finished before the next: an offscreen
// surface has no display to pace the frames, and the renderer would otherwise queue them (with
// their buffers) without bound. Stops early on a stop signal.
TRecording Record(const TOptions& Options, TOceanScene& Scene, TGLWindow& Window,
                  TFixedStepClock& Clock) {
  const bool Benchmark = Options.Mode == TRunMode::Benchmark;
  TRecording R;
  if (Benchmark) R.Seconds.reserve(std::size_t(Options.Frames));
  TSceneHealth Health;
  for (; R.Frames < Options.Frames && !StopRequested(); Health.AfterFrame(Scene, ++R.Frames)) {
    const auto Start = std::chrono::steady_clock::now();
    Clock.Step();
    Scene.DrawScene();
    Scene.DrawFrameRate();
    glFinish();
    if (Benchmark) {
      R.Seconds.push_back(SecondsSince(Start));
      if (R.Frames == 0) R.Startup = SecondsSince(ProgramStart);
    } else if (R.Frames + 1 == Options.Frames) {
      R.Pixels.resize(std::size_t(Options.Width) * Options.Height * 4);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadBuffer(GL_BACK);
      glReadPixels(0, 0, Options.Width, Options.Height, GL_RGBA, GL_UNSIGNED_BYTE,
                   R.Pixels.data());
    }
    Window.Swap();
  }
  if (const TFlock* Flock = Scene.Flock()) R.Creatures = Flock->LastDrawCounts();
  return R;
}

// Renders with a window and scene of its own, both gone when it returns (the scene after the
// window). False, after a diagnostic line, when the window could not be made.
bool RenderOffscreen(const TOptions& Options, const TSettings& Settings, TRecording& Out) {
  TOceanScene Scene(Settings);
  {
    TFixedStepClock Clock(Options.Seed.has_value());
    TGLWindow Window(32, {TWindowKind::Offscreen, Options.Width, Options.Height, 0});
    if (!Window.Ok()) {
      ShowDiagnostic(Window.Error());
      return false;
    }
    Scene.ResizeScene(Options.Width, Options.Height);
    Scene.InitScene();
    Out = Record(Options, Scene, Window, Clock);
  }
  Scene.FreeScene();
  return true;
}

}  // namespace

int RunHeadless(const TOptions& Options) {
  // Always the offscreen driver: the picture must not depend on a window being visible.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
  const TSettings Settings = LoadSettings(Options);
  TRecording R;
  if (!RenderOffscreen(Options, Settings, R)) return 1;
  const bool Benchmark = Options.Mode == TRunMode::Benchmark;
  if (R.Frames < Options.Frames) {
    ShowDiagnostic("stopped by a signal after " + std::to_string(R.Frames) + " of " +
                   std::to_string(Options.Frames) + " frames" +
                   (Benchmark ? "" : "; " + Options.File + " not written"));
    return 1;
  }
  if (Benchmark) {
    ReportBenchmark(Options, Settings, std::move(R.Seconds), R.Startup, R.Creatures);
    return 0;
  }
  for (std::size_t I = 3; I < R.Pixels.size(); I += 4) R.Pixels[I] = 255;  // an opaque picture
  std::string Error;
  if (!WritePng(Options.File, Options.Width, Options.Height, R.Pixels, Error)) {
    ShowDiagnostic("cannot write " + Options.File + ": " + Error);
    return 1;
  }
  return 0;
}
