#include "Grid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using TFlockList = std::vector<std::unique_ptr<TBoid>>;

constexpr double World = 1000.0;

// 2,000 boids of three colours and mixed radii from one seed; some start exactly on the grid's
// cell borders (multiples of the largest radius) and on the world's edges, where the wrap sends
// them across.
TFlockList MakeFlock(std::uint64_t Seed) {
  RandomSeed(Seed);
  const TColor Colours[] = {{0.99f, 0.99f, 0.99f}, {0.9f, 0.2f, 0.1f}, {0.1f, 0.5f, 0.9f}};
  TFlockList Flock;
  for (int I = 0; I < 2000; ++I) {
    double X = RandomReal() * World, Y = RandomReal() * World;
    if (I % 10 == 0) X = 80.0 * RandomInt(13);  // on a cell border (cells are 80 wide)
    if (I % 10 == 1) Y = 80.0 * RandomInt(13);
    if (I % 10 == 2) X = RandomInt(2) ? 0.0 : World;
    if (I % 10 == 3) Y = RandomInt(2) ? 0.2 : World - 0.2;
    const double View = 20 + 60 * RandomReal(), Separation = 10 + 50 * RandomReal();
    Flock.push_back(std::make_unique<TBoid>(TBoidGene(
        std::make_unique<TColor>(Colours[RandomInt(3)]), RandomReal() * TwoPi, RandomReal(), X, Y,
        0.6 + 0.6 * RandomReal(), 0.3, 0.01 + 0.04 * RandomReal(), 0.05, View, Separation,
        0.5 + RandomReal(), 0.5 + RandomReal(), 0)));
  }
  // The largest reach of all: the cell width the borders above are multiples of.
  Flock[7]->SetViewRadius(80.0);
  return Flock;
}

std::ptrdiff_t IndexOf(const TFlockList& Flock, const TBoid* B) {
  for (std::size_t I = 0; I < Flock.size(); ++I)
    if (Flock[I].get() == B) return std::ptrdiff_t(I);
  return -1;
}

bool Same(double A, double B) { return std::memcmp(&A, &B, sizeof A) == 0; }

// A thousand steps; under AddressSanitizer (which looks for memory faults, not for a difference
// that takes long to show) two hundred keep the sanitized suite quick.
#if defined(__SANITIZE_ADDRESS__)
constexpr int Steps = 200;
#else
constexpr int Steps = 1000;
#endif

TEST(NeighbourGrid, StepsTheFlockExactlyAsTheFullScanDoes) {
  // Both flocks draw the same numbers: the random walk of lonely boids uses the generator too.
  TFlockList Full = MakeFlock(77), Fast = MakeFlock(77);
  TNeighbourGrid Unused, Grid;
  const std::uint64_t Seed = 1234;
  for (int Step = 1; Step <= Steps; ++Step) {
    RandomSeed(Seed + std::uint64_t(Step));
    StepFlock(Full, World, World, TScanPath::Full, Unused);
    RandomSeed(Seed + std::uint64_t(Step));
    StepFlock(Fast, World, World, TScanPath::Grid, Grid);
    if (Step % 100 != 0 && Step > 3) continue;
    for (std::size_t I = 0; I < Full.size(); ++I) {
      const TBoid &A = *Full[I], &B = *Fast[I];
      const double Fields[][2] = {
          {A.X(), B.X()},           {A.Y(), B.Y()},           {A.Heading(), B.Heading()},
          {A.Speed(), B.Speed()},   {A.MateX(), B.MateX()},   {A.MateY(), B.MateY()},
          {A.MateSpeed(), B.MateSpeed()}, {A.MateCount(), B.MateCount()},
          {A.RivalX(), B.RivalX()}, {A.RivalY(), B.RivalY()}, {A.RivalSpeed(), B.RivalSpeed()},
          {A.RivalCount(), B.RivalCount()}};
      for (const auto& F : Fields)
        ASSERT_TRUE(Same(F[0], F[1])) << "step " << Step << ", boid " << I << ", field "
                                      << (&F - Fields) << ": " << F[0] << " vs " << F[1];
      ASSERT_EQ(IndexOf(Full, A.NearestMate()), IndexOf(Fast, B.NearestMate())) << I;
      ASSERT_EQ(IndexOf(Full, A.NearestRival()), IndexOf(Fast, B.NearestRival())) << I;
    }
  }
}

// Boids off the world's edge (as a step larger than the world would leave them) and a flock with
// no reach at all still find every neighbour.
TEST(NeighbourGrid, CandidatesCoverBoidsOffTheEdgeAndTinyRadii) {
  for (const double Radius : {0.0, 1e-9, 30.0}) {
    TFlockList Flock;
    for (const double X : {-500.0, -1.0, 0.0, 5.0, 999.0, 1000.0, 1600.0})
      Flock.push_back(std::make_unique<TBoid>(TBoidGene(std::make_unique<TColor>(), 0, 0.5, X,
                                                        X / 2, 1, 0.5, 0.1, 0.1, Radius, Radius,
                                                        1, 1, 0)));
    TNeighbourGrid Grid;
    Grid.Rebuild(Flock, World, World);
    for (std::size_t I = 0; I < Flock.size(); ++I) {
      const auto Near = Grid.Candidates(*Flock[I]);
      for (std::size_t J = 0; J < Flock.size(); ++J) {
        if (Flock[I]->InRange(*Flock[J], Radius) || I == J) {
          EXPECT_NE(std::find(Near.begin(), Near.end(), J), Near.end())
              << "radius " << Radius << ", boid " << I << " misses " << J;
        }
      }
    }
  }
}

}  // namespace
