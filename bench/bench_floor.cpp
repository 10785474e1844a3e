// The floor's and the backdrop's cost in the default frame, and the floor's triangles per view
// shape. Shares: each iteration draws the whole frame, the frame without the floor and the frame
// without the backdrop in turn, each finished on the GPU (Mesa), so that a drift in the machine's
// speed moves all three alike; a part's share is what leaving it out saves. Shapes: the frame at
// 16:10, 16:9, 21:9, 4:3 and portrait, with the floor's triangles it sent out of the model's.
#include <benchmark/benchmark.h>

#include "BenchScene.h"

#include <GL/gl.h>

#include <array>
#include <chrono>
#include <optional>

namespace {

// Seconds to draw one frame of Parts, finished.
double TimedFrame(TOceanScene& Scene, TSceneParts Parts) {
  const auto Start = std::chrono::steady_clock::now();
  Scene.DrawScene(Parts);
  glFinish();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

void BM_FloorAndBackdropShare(benchmark::State& State) {
  TGLTestContext GL(Width, Height);
  if (!GL.Ok()) return State.SkipWithError("no GL context");
  std::optional<TSceneData> Data;
  std::optional<TOceanScene> Scene;
  if (!SetUpScene(State, Data, 40, Scene)) return;
  std::array<double, 3> Total{};  // whole, without the floor, without the backdrop
  for (auto _ : State) {
    Total[0] += TimedFrame(*Scene, {});
    Total[1] += TimedFrame(*Scene, {.Floor = false});
    Total[2] += TimedFrame(*Scene, {.Backdrop = false});
  }
  const double Frames = double(State.iterations());
  State.counters["frame_ms"] = 1000 * Total[0] / Frames;
  State.counters["floor_ms"] = 1000 * (Total[0] - Total[1]) / Frames;
  State.counters["backdrop_ms"] = 1000 * (Total[0] - Total[2]) / Frames;
  State.counters["floor_%"] = 100 * (Total[0] - Total[1]) / Total[0];
  State.counters["backdrop_%"] = 100 * (Total[0] - Total[2]) / Total[0];
}
BENCHMARK(BM_FloorAndBackdropShare)->Unit(benchmark::kMillisecond)->UseRealTime();

// The default frame at Width x Height.
void BM_FloorByShape(benchmark::State& State) {
  const int W = int(State.range(0)), H = int(State.range(1));
  TGLTestContext GL(W, H);
  if (!GL.Ok()) return State.SkipWithError("no GL context");
  std::optional<TSceneData> Data;
  std::optional<TOceanScene> Scene;
  if (!SetUpScene(State, Data, 40, Scene)) return;
  Scene->ResizeScene(W, H);
  for (auto _ : State) {
    Scene->DrawScene();
    glFinish();
  }
  State.counters["floor_triangles"] = double(Scene->FloorTriangles());
  State.counters["of"] = double(Scene->Terrain()->Model().TriangleCount());
}
BENCHMARK(BM_FloorByShape)
    ->Args({1280, 800})
    ->Args({1920, 1080})
    ->Args({2560, 1080})
    ->Args({1024, 768})
    ->Args({800, 1280})
    ->ArgNames({"w", "h"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
