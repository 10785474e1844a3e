// One flock step (Scan, Decide, Move and the wrap, for every boid in list order) with the scene's
// boid values, the plain full scan against the neighbour grid. Arguments: the number of boids;
// the world (0: the scene's 1000 x 1000, 1: grown with the count so that as many neighbours are
// in view as in the default scene of 41); the path (0: full scan, 1: grid). The generator is
// seeded, so every run steps the same flocks.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "Grid.h"
#include "Scene.h"

namespace {

std::vector<std::unique_ptr<TBoid>> MakeFlock(int Count, double World) {
  RandomSeed(20240601);
  const TBoidTraits& T = Scene::CreatureTraits;
  std::vector<std::unique_ptr<TBoid>> Flock;
  for (int I = 0; I < Count; ++I) {
    const double Heading = RandomReal() * 2 * Pi;
    const double Speed = RandomInt(1);
    const double X = RandomReal() * World;
    const double Y = RandomReal() * World;
    Flock.push_back(std::make_unique<TBoid>(
        TBoidGene(std::make_unique<TColor>(T.Color), Heading, Speed, X, Y, T.MaxSpeed, T.MinSpeed,
                  T.TurnRate, T.Acceleration, T.ViewRadius, T.SeparationRadius, T.PursueRatio,
                  T.FleeRatio, 0)));
  }
  return Flock;
}

void BM_FlockStep(benchmark::State& State) {
  const int Count = int(State.range(0));
  const double World =
      State.range(1) == 0 ? Scene::FlockWorldWidth
                          : Scene::FlockWorldWidth * std::sqrt(Count / double(Scene::DefaultBoidCount + 1));
  const TScanPath Path = State.range(2) == 0 ? TScanPath::Full : TScanPath::Grid;
  auto Flock = MakeFlock(Count, World);
  TNeighbourGrid Grid;
  for (auto _ : State) {
    StepFlock(Flock, World, World, Path, Grid);
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(BM_FlockStep)
    ->ArgNames({"boids", "grown", "grid"})
    ->ArgsProduct({{41, 1000, 10000}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);
