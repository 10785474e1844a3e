// The benchmarks' scene: the shipped data in a scratch folder with a chosen number of creatures,
// and a seeded scene of it set up at 1280 x 800 in the current GL context. Depends on the tests'
// support (scratch folders, GL contexts), the platform layer and the shell's settings.
#pragma once

#include <benchmark/benchmark.h>

#include "Platform.h"
#include "TestSupport.h"
#include "Vadrel.h"

#include <filesystem>
#include <optional>
#include <string>

inline constexpr int Width = 1280, Height = 800;

// The shipped data in a scratch folder, with a Vadrel.ini asking for Num creatures (-1: none);
// VADREL_DATA names the folder while this lives.
class TSceneData {
public:
  explicit TSceneData(int Num) {
    for (const auto& Entry : std::filesystem::directory_iterator(DataFolder()))
      if (Entry.path().filename() != "Vadrel.ini")
        std::filesystem::create_symlink(std::filesystem::absolute(Entry.path()),
                                        Dir.Path() / Entry.path().filename());
    Dir.Write("Vadrel.ini", "[Section]\nNum=" + std::to_string(Num) + "\n");
    // Only now: the links above point into the folder DataFolder() named before.
    Env.emplace("VADREL_DATA", Dir.Path().c_str());
  }

private:
  TTempDir Dir;
  std::optional<TScopedEnv> Env;
};

// Sets a scene up in the current context with Data's creatures and a fixed seed.
inline bool SetUpScene(benchmark::State& State, std::optional<TSceneData>& Data, int Num,
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

