// One flock step (Scan, Decide, Move and the wrap, for every boid in list order) on the scene's
// 1000 x 1000 world with the scene's boid values, for the configured 41 boids and for ten times
// as many. The generator is seeded to a fixed value, so every run steps the same flocks.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "Boid.h"

namespace {

constexpr double World = 1000.0;

std::vector<std::unique_ptr<TBoid>> MakeFlock(int Count) {
  RandomSeed(20240601);
  std::vector<std::unique_ptr<TBoid>> Flock;
  for (int I = 0; I < Count; ++I) {
    const double Heading = RandomReal() * 2 * Pi;
    const double Speed = RandomInt(1);
    const double X = RandomReal() * World;
    const double Y = RandomReal() * World;
    Flock.push_back(std::make_unique<TBoid>(
        TBoidGene(std::make_unique<TColor>(0.99f, 0.99f, 0.99f), Heading, Speed, X, Y, 0.8, 0.5,
                  0.01, 0.05, 60.0, 50.0, 1.0, 1.0, 0)));
  }
  return Flock;
}

void Wrap(TBoid& B) {
  if (B.X() > World) B.SetX(B.X() - World);
  if (B.X() < 0) B.SetX(B.X() + World);
  if (B.Y() > World) B.SetY(B.Y() - World);
  if (B.Y() < 0) B.SetY(B.Y() + World);
}

void BM_FlockStep(benchmark::State& State) {
  auto Flock = MakeFlock(int(State.range(0)));
  for (auto _ : State) {
    for (auto& B : Flock) {
      B->Scan(Flock);
      B->Decide();
      B->Move();
      Wrap(*B);
    }
    benchmark::ClobberMemory();
  }
  State.counters["boids"] = double(Flock.size());
}

}  // namespace

BENCHMARK(BM_FlockStep)->Arg(41)->Arg(400)->Unit(benchmark::kMicrosecond);
