// Start-up of N views side by side at 1280 x 800, as the screen saver covers N monitors: each an
// offscreen window with its context in one share group, its scene set up and its first frame
// finished. Shared: the views draw with one set of assets, loaded once; Own: each view loads its
// own, as every view did before they shared (the same work per view as a lone scene's start-up).
#include <benchmark/benchmark.h>

#include "BenchScene.h"
#include "SceneAssets.h"
#include "Window.h"

#include <GL/gl.h>

#include <memory>
#include <optional>
#include <vector>

namespace {

struct TBenchView {
  std::unique_ptr<TGLWindow> Window;
  std::optional<TOceanScene> Scene;
};

void BM_StartViews(benchmark::State& State) {
  std::optional<TSceneData> Data;
  {
    std::optional<TOceanScene> Probe;  // checks the data is there and sets the scratch folder up
    TGLWindow Check(32, {TWindowKind::Offscreen, 64, 64, 0});
    if (!Check.Ok()) return State.SkipWithError("no GL context");
    if (!SetUpScene(State, Data, 40, Probe)) return;
  }
  const int Count = int(State.range(0));
  const bool Shared = State.range(1) != 0;
  TOptions Options;
  Options.Seed = 1;
  const TSettings Settings = LoadSettings(Options);
  for (auto _ : State) {
    TSceneAssets Assets(MipmapsFor(Settings));
    std::vector<TBenchView> Views(static_cast<std::size_t>(Count));
    for (TBenchView& View : Views) {
      View.Window = std::make_unique<TGLWindow>(32, TWindowRequest{TWindowKind::Offscreen, Width,
                                                                   Height, 0});
      if (Shared)
        View.Scene.emplace(Settings, Assets);
      else
        View.Scene.emplace(Settings);
      View.Scene->ResizeScene(Width, Height);
      View.Scene->InitScene();
      View.Scene->DrawScene();
      glFinish();
    }
    State.PauseTiming();
    for (auto View = Views.rbegin(); View != Views.rend(); ++View) {
      View->Scene.reset();
      View->Window.reset();
    }
    State.ResumeTiming();
  }
}
BENCHMARK(BM_StartViews)
    ->ArgsProduct({{1, 2, 3}, {0, 1}})
    ->ArgNames({"Views", "Shared"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
