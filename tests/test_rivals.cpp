// The Rivals setting in the simulation alone (no GL): the school and its predators built as the
// scene builds them and stepped as the flock steps them. The school flees and the predators
// close in by the steering rules alone, chosen through their traits; without rivals the flock is
// the default one, bit for bit.
#include "Flock.h"
#include "Grid.h"
#include "Scene.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

using TBoids = std::vector<std::unique_ptr<TBoid>>;

constexpr double Width = Scene::FlockWorldWidth, Height = Scene::FlockWorldHeight;

// As the scene fills the flock: the school of Fish, then the predators; the school is wary only
// when there are predators.
TBoids MakeFlock(std::uint64_t Seed, int Fish, int Predators) {
  RandomSeed(Seed);
  const TBoidTraits& School = Predators > 0 ? Scene::WaryCreatureTraits : Scene::CreatureTraits;
  TBoids Flock;
  for (int I = 0; I < Fish; ++I) Flock.push_back(NewBoid(0, School, Width, Height));
  for (int I = 0; I < Predators; ++I)
    Flock.push_back(NewBoid(1, Scene::PredatorTraits, Width, Height));
  return Flock;
}

void Step(const TBoids& Flock, TNeighbourGrid& Grid, int Steps) {
  for (int S = 0; S < Steps; ++S) StepFlock(Flock, Width, Height, TScanPath::Grid, Grid);
}

// The shorter way across the wrapping world: a fish that swims over an edge has not fled 1000.
double Across(double D, double Extent) {
  if (D > Extent / 2) return D - Extent;
  if (D < -Extent / 2) return D + Extent;
  return D;
}

bool IsPredator(const TBoid& B) { return B.ModelIndex() == 1; }

// The default flock, stepped from a fixed seed, reduced to one number: every bit of every boid's
// position, heading and speed counts.
std::uint64_t Fingerprint(const TBoids& Flock) {
  std::uint64_t Hash = 14695981039346656037ull;
  for (const auto& B : Flock)
    for (const double V : {B->X(), B->Y(), B->Heading(), B->Speed()}) {
      Hash ^= std::bit_cast<std::uint64_t>(V);
      Hash *= 1099511628211ull;
    }
  return Hash;
}

TEST(Rivals, WithoutRivalsTheFlockIsTheDefaultOneBitForBit) {
  const TBoids Flock = MakeFlock(1, Scene::DefaultBoidCount + 1, 0);
  TNeighbourGrid Grid;
  Step(Flock, Grid, 1000);
  // Recorded from the flock before the setting existed.
  EXPECT_EQ(Fingerprint(Flock), 0x0ea1de457a772c16ull);
}

TEST(Rivals, PredatorsJoinTheSchoolWithoutMovingIt) {
  const TBoids Plain = MakeFlock(3, 41, 0), Hunted = MakeFlock(3, 41, 4);
  ASSERT_EQ(Hunted.size(), 45u);
  for (std::size_t I = 0; I < Hunted.size(); ++I) {
    SCOPED_TRACE(I);
    if (I < Plain.size()) {
      EXPECT_EQ(Hunted[I]->X(), Plain[I]->X()) << "the same draws for the school";
      EXPECT_EQ(Hunted[I]->Heading(), Plain[I]->Heading());
      EXPECT_TRUE(Hunted[I]->SameColor(*Plain[I]));
    } else {
      EXPECT_TRUE(IsPredator(*Hunted[I]));
      EXPECT_FALSE(Hunted[I]->SameColor(*Hunted[0])) << "a predator is every fish's rival";
      EXPECT_TRUE(Hunted[I]->SameColor(*Hunted[41])) << "and its pack's mate";
    }
  }
}

// However many mates a fish has around it and however many predators it sees, it turns away from
// them and speeds up: no crowd makes it stand its ground or turn on them.
TEST(Rivals, AFishFleesEveryPredatorItSeesWhateverTheCrowd) {
  const struct {
    int Mates, Predators;
  } Cases[] = {{0, 1}, {1, 1}, {40, 1}, {Scene::MaxBoidCount - 1, 1}, {40, Scene::MaxRivalCount}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(::testing::Message() << C.Mates << " mates, " << C.Predators << " predators");
    RandomSeed(5);
    TBoids Flock;
    Flock.push_back(NewBoid(0, Scene::WaryCreatureTraits, Width, Height));
    TBoid& Fish = *Flock.front();
    Fish.SetX(500);
    Fish.SetY(500);
    Fish.SetHeading(Pi / 2);  // along +y; the predators lie to its right, along +x
    const double Reach = Fish.ViewRadius() * 0.9;
    for (int I = 0; I < C.Mates; ++I) {
      Flock.push_back(NewBoid(0, Scene::WaryCreatureTraits, Width, Height));
      const double A = TwoPi * I / C.Mates, R = Reach * (0.2 + 0.8 * (I % 7) / 7.0);
      Flock.back()->SetX(500 + R * std::cos(A));
      Flock.back()->SetY(500 + R * std::sin(A));
    }
    for (int I = 0; I < C.Predators; ++I) {
      Flock.push_back(NewBoid(1, Scene::PredatorTraits, Width, Height));
      const double A = 0.5 * (2.0 * I / C.Predators - 1);  // an arc on its right
      Flock.back()->SetX(500 + Reach * std::cos(A));
      Flock.back()->SetY(500 + Reach * std::sin(A));
    }
    const double Heading = Fish.Heading(), Speed = Fish.Speed();
    Fish.Scan(Flock);
    ASSERT_EQ(Fish.MateCount(), C.Mates);
    ASSERT_EQ(Fish.RivalCount(), C.Predators);
    Fish.Decide();
    EXPECT_NEAR(Fish.Heading(), Heading + Fish.TurnRate(), 1e-12) << "turned away, to the left";
    EXPECT_NEAR(Fish.Speed(), Speed + Fish.Acceleration(), 1e-12) << "and sped up";
  }
}

// Over 50 steps, from a settled flock: the fish that see a predator get farther from it, and a
// predator gets nearer to the mean of the fish it sees. Measured over 20 spans of 50 steps in
// each of ten flocks of the default size with three predators.
TEST(Rivals, TheSchoolFleesAndThePredatorsCloseIn) {
  constexpr int Fish = Scene::DefaultBoidCount + 1, Predators = 3, Span = 50;
  double FishBefore = 0, FishAfter = 0, PredatorBefore = 0, PredatorAfter = 0;
  int FishCount = 0, PredatorCount = 0;
  for (std::uint64_t Seed = 1; Seed <= 10; ++Seed) {
    const TBoids Flock = MakeFlock(Seed, Fish, Predators);
    TNeighbourGrid Grid;
    Step(Flock, Grid, 300);  // the school gathers and the predators find it
    for (int Round = 0; Round < 20; ++Round) {
      struct TWatch {
        std::size_t Fish, Predator;
      };
      std::vector<TWatch> Fleeing;  // each fish that sees a predator, and the nearest it sees
      std::vector<std::vector<std::size_t>> Seen(Flock.size());  // the fish each predator sees
      for (std::size_t F = 0; F < Fish; ++F) {
        const TBoid& B = *Flock[F];
        std::size_t Nearest = 0;  // no predator (index 0 is a fish)
        double Best = B.ViewRadius();
        for (std::size_t P = Fish; P < Flock.size(); ++P) {
          const double D = std::hypot(Flock[P]->X() - B.X(), Flock[P]->Y() - B.Y());
          if (D < Best) Nearest = P, Best = D;
          if (Flock[P]->InRange(B, Flock[P]->ViewRadius())) Seen[P].push_back(F);
        }
        if (Nearest != 0) Fleeing.push_back({F, Nearest});
      }
      const auto Distance = [&](const TWatch& W) {
        const TBoid &A = *Flock[W.Fish], &B = *Flock[W.Predator];
        return std::hypot(Across(A.X() - B.X(), Width), Across(A.Y() - B.Y(), Height));
      };
      const auto ToMean = [&](std::size_t P) {
        double X = 0, Y = 0;
        for (const std::size_t F : Seen[P]) {
          X += Across(Flock[F]->X() - Flock[P]->X(), Width);
          Y += Across(Flock[F]->Y() - Flock[P]->Y(), Height);
        }
        return std::hypot(X, Y) / double(Seen[P].size());
      };
      for (const TWatch& W : Fleeing) FishBefore += Distance(W), ++FishCount;
      for (std::size_t P = Fish; P < Flock.size(); ++P)
        if (!Seen[P].empty()) PredatorBefore += ToMean(P), ++PredatorCount;
      Step(Flock, Grid, Span);
      for (const TWatch& W : Fleeing) FishAfter += Distance(W);
      for (std::size_t P = Fish; P < Flock.size(); ++P)
        if (!Seen[P].empty()) PredatorAfter += ToMean(P);
    }
  }
  ASSERT_GT(FishCount, 100) << "fish met predators often enough to tell";
  ASSERT_GT(PredatorCount, 100);
  const double Fled = FishAfter / FishBefore, Closed = PredatorAfter / PredatorBefore;
  EXPECT_GT(Fled, 1.2) << "fish that see a predator, " << FishCount << " times: from "
                       << FishBefore / FishCount << " to " << FishAfter / FishCount;
  EXPECT_LT(Closed, 0.96) << "predators to the mean of the fish they see, " << PredatorCount
                          << " times: from " << PredatorBefore / PredatorCount << " to "
                          << PredatorAfter / PredatorCount;
}

}  // namespace
