// One frame of the default scene at 1280 x 800, as the screen saver draws it: the flock step, the
// 41 creatures, the backdrop and the caustic-lit floor, finished on the GPU (Mesa). The flock
// step alone and the frame without creatures show where the time goes.
#include <benchmark/benchmark.h>

#include "TestSupport.h"
#include "Platform.h"
#include "Vadrel.h"

#include <GL/gl.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int Width = 1280, Height = 800;

// Sets the scene up in a fresh context with Num creatures (-1: none), fixed seed.
bool SetUpScene(benchmark::State& State, int Num) {
  static const bool HaveData = FileExists(MapPath("C:\\Vadrel_Data\\Vadrel.pp1"));
  if (!HaveData) {
    State.SkipWithError("no generated data (build the project first)");
    return false;
  }
  // Benchmarks run more than once; the shipped folder is the one seen before the first run.
  static const std::string Shipped = DataFolder();
  const std::string Folder = "/tmp/vadrel-bench-scene-" + std::to_string(Num);
  std::filesystem::remove_all(Folder);
  std::filesystem::create_directories(Folder);
  for (const auto& Entry : std::filesystem::directory_iterator(Shipped))
    if (Entry.path().filename() != "Vadrel.ini")
      std::filesystem::create_symlink(Entry.path(), std::filesystem::path(Folder) / Entry.path().filename());
  std::ofstream(Folder + "/Vadrel.ini") << "[Section]\nNum=" << Num << "\n";
  setenv("VADREL_DATA", Folder.c_str(), 1);
  App().FlockSeed = 1;
  ResizeScene(Width, Height);
  InitScene();
  return true;
}

void BM_Frame(benchmark::State& State) {
  TGLTestContext GL(Width, Height);
  if (!GL.Ok()) return State.SkipWithError("no GL context");
  if (!SetUpScene(State, int(State.range(0)))) return;
  for (auto _ : State) {
    DrawScene();
    glFinish();
  }
  FreeScene();
}
BENCHMARK(BM_Frame)->Arg(40)->Arg(-1)->ArgName("Num")->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FlockStep(benchmark::State& State) {
  TGLTestContext GL(64, 64);
  if (!GL.Ok()) return State.SkipWithError("no GL context");
  if (!SetUpScene(State, 40)) return;
  for (auto _ : State) App().Flock->Update();
  FreeScene();
}
BENCHMARK(BM_FlockStep)->Unit(benchmark::kMicrosecond);

}  // namespace
