// One frame of the default scene at 1280 x 800, as the screen saver draws it: the flock step, the
// 41 creatures, the backdrop and the caustic-lit floor, finished on the GPU (Mesa). The flock
// step alone and the frame without creatures show where the time goes.
#include <benchmark/benchmark.h>

#include "TestSupport.h"
#include "Platform.h"
#include "Vadrel.h"

#include <GL/gl.h>

#include <filesystem>
#include <optional>
#include <string>

namespace {

constexpr int Width = 1280, Height = 800;

// The shipped data in a scratch folder, with a Vadrel.ini asking for Num creatures (-1: none);
// VADREL_DATA names the folder while this lives.
class TSceneData {
public:
  explicit TSceneData(int Num) {
    for (const auto& Entry : std::filesystem::directory_iterator(DataFolder()))
      if (Entry.path().filename() != "Vadrel.ini")
        std::filesystem::create_symlink(Entry.path(), Dir.Path() / Entry.path().filename());
    Dir.Write("Vadrel.ini", "[Section]\nNum=" + std::to_string(Num) + "\n");
    // Only now: the links above point into the folder DataFolder() named before.
    Env.emplace("VADREL_DATA", Dir.Path().c_str());
  }

private:
  TTempDir Dir;
  std::optional<TScopedEnv> Env;
};

// Sets a scene up in the current context with Data's creatures and a fixed seed.
bool SetUpScene(benchmark::State& State, std::optional<TSceneData>& Data, int Num,
                std::optional<TOceanScene>& Scene) {
  static const bool HaveData = FileExists(MapPath("C:\\Vadrel_Data\\Vadrel.pp1"));
  if (!HaveData) {
    State.SkipWithError("no generated data (build the project first)");
    return false;
  }
  Data.emplace(Num);
  TOptions Options;
  Options.Seed = 1;
  Scene.emplace(LoadSettings(Options));
  Scene->ResizeScene(Width, Height);
  Scene->InitScene();
  return true;
}

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
