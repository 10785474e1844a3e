// One frame of the default scene at 1280 x 800, as the screen saver draws it: the flock step, the
// 41 creatures, the backdrop and the caustic-lit floor, finished on the GPU (Mesa). The flock
// step alone and the frame without creatures show where the time goes.
#include <benchmark/benchmark.h>

#include "BenchScene.h"

#include <GL/gl.h>

#include <optional>

namespace {

void BM_Frame(benchmark::State& State) {
  TGLTestContext GL(Width, Height);
  if (!GL.Ok()) return State.SkipWithError("no GL context");
  std::optional<TSceneData> Data;
  std::optional<TOceanScene> Scene;
  if (!SetUpScene(State, Data, int(State.range(0)), Scene)) return;
  for (auto _ : State) {
    Scene->DrawScene();
    glFinish();
  }
}
BENCHMARK(BM_Frame)->Arg(40)->Arg(-1)->ArgName("Num")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FlockStep(benchmark::State& State) {
  TGLTestContext GL(64, 64);
  if (!GL.Ok()) return State.SkipWithError("no GL context");
  std::optional<TSceneData> Data;
  std::optional<TOceanScene> Scene;
  if (!SetUpScene(State, Data, 40, Scene)) return;
  for (auto _ : State) Scene->Flock()->Update();
}
BENCHMARK(BM_FlockStep)->Unit(benchmark::kMicrosecond);

}  // namespace
