#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Boid.h"

namespace {

const TColor White{0.99f, 0.99f, 0.99f};
const TColor Other{0.99f, 0.99f, 0.98f};

// A boid with the scene's values (limits 0.5..0.8, turn 0.01, acceleration 0.05, view 60,
// separation 50, ratios 1.0) unless the spec says otherwise.
struct TSpec {
  double X = 0, Y = 0, Heading = 0, Speed = 0.7;
  TColor Color = White;
  double SeparationRadius = 50;
};

std::unique_ptr<TBoid> MakeBoid(const TSpec& S) {
  return std::make_unique<TBoid>(TBoidGene(std::make_unique<TColor>(S.Color), S.Heading, S.Speed,
                                           S.X, S.Y, 0.8, 0.5, 0.01, 0.05, 60.0,
                                           S.SeparationRadius, 1.0, 1.0, 0));
}

using TList = std::vector<std::unique_ptr<TBoid>>;

TList MakeFlock(const std::vector<TSpec>& Specs) {
  TList Flock;
  for (const TSpec& S : Specs) Flock.push_back(MakeBoid(S));
  return Flock;
}

void Step(TList& Flock) {
  for (auto& B : Flock) {
    B->Scan(Flock);
    B->Decide();
    B->Move();
  }
}

}  // namespace

// ---- Setter rules ----

TEST(BoidSetters, HeadingIsWrappedOnce) {
  struct TCase {
    double Value, Expected;
  };
  const TCase Cases[] = {
      {TwoPi + 0.1, 0.1}, {-0.1, TwoPi - 0.1}, {TwoPi, TwoPi}, {0.0, 0.0}, {3.0, 3.0},
      {2 * TwoPi + 1.0, TwoPi + 1.0},  // one correction only
  };
  auto B = MakeBoid({});
  for (const TCase& C : Cases) {
    B->SetHeading(C.Value);
    EXPECT_NEAR(B->Heading(), C.Expected, 1e-12) << C.Value;
  }
  B->SetHeading(TwoPi);
  EXPECT_EQ(B->Heading(), TwoPi);
}

TEST(BoidSetters, SpeedTakesAbsoluteValueThenMaximumThenMinimum) {
  struct TCase {
    double Min, Max, Value, Expected;
  };
  const TCase Cases[] = {
      {0.5, 0.8, -0.3, 0.5}, {0.5, 0.8, 1.2, 0.8}, {0.5, 0.8, -0.7, 0.7}, {0.5, 0.8, 0.6, 0.6},
      {0.5, 0.8, 0.8, 0.8},  {0.5, 0.8, 0.5, 0.5},
      // MinSpeed above MaxSpeed: the minimum wins whatever the value.
      {0.9, 0.8, 0.85, 0.9}, {0.9, 0.8, 0.1, 0.9}, {0.9, 0.8, 5.0, 0.9},
  };
  auto B = MakeBoid({});
  for (const TCase& C : Cases) {
    B->SetMinSpeed(C.Min);
    B->SetMaxSpeed(C.Max);
    B->SetSpeed(C.Value);
    EXPECT_EQ(B->Speed(), C.Expected) << C.Min << ".." << C.Max << " set to " << C.Value;
  }
}

TEST(BoidSetters, DecelerateBelowZeroMakesTheSpeedPositive) {
  auto B = MakeBoid({});
  B->SetMinSpeed(0.0);
  B->SetSpeed(0.02);
  B->SetAcceleration(0.05);
  B->Decelerate();
  EXPECT_NEAR(B->Speed(), 0.03, 1e-15);
  B->Accelerate();
  EXPECT_NEAR(B->Speed(), 0.08, 1e-15);
}

TEST(BoidSetters, TurnRateIsBroughtIntoOneWholeTurn) {
  struct TCase {
    double Value, Expected;
  };
  const TCase Cases[] = {
      {7.0, 7.0 - TwoPi}, {-1.0, TwoPi - 1.0}, {TwoPi, TwoPi}, {0.0, 0.0},
      {0.01, 0.01},       {20.0, 20.0 - 3 * TwoPi}, {-13.0, 3 * TwoPi - 13.0},
  };
  auto B = MakeBoid({});
  for (const TCase& C : Cases) {
    B->SetTurnRate(C.Value);
    EXPECT_NEAR(B->TurnRate(), C.Expected, 1e-12) << C.Value;
  }
}

TEST(BoidSetters, TurnRateOfAbsurdSizeDoesNotHang) {
  auto B = MakeBoid({});
  for (double Value : {1e300, -1e300, 1e17}) {
    B->SetTurnRate(Value);
    EXPECT_GE(B->TurnRate(), 0.0) << Value;
    EXPECT_LE(B->TurnRate(), TwoPi) << Value;
  }
#ifdef NDEBUG
  B->SetTurnRate(INFINITY);  // a misuse (asserted in debug builds) that must not loop for ever
  EXPECT_EQ(B->TurnRate(), 0.0);
#endif
}

TEST(BoidSetters, MagnitudesAreStoredAsAbsoluteValues) {
  TBoidGene Gene(std::make_unique<TColor>(White), 1.0, -0.6, -5.0, -6.0, -0.8, -0.5, 0.01, -0.05,
                 -60.0, -50.0, -1.5, -0.5, 3);
  // The gene keeps what it was given.
  EXPECT_EQ(Gene.MaxSpeed(), -0.8);
  EXPECT_EQ(Gene.ViewRadius(), -60.0);
  EXPECT_EQ(Gene.FleeRatio(), -0.5);
  TBoid B(std::move(Gene));
  EXPECT_EQ(B.MaxSpeed(), 0.8);
  EXPECT_EQ(B.MinSpeed(), 0.5);
  EXPECT_EQ(B.Speed(), 0.6);
  EXPECT_EQ(B.Acceleration(), 0.05);
  EXPECT_EQ(B.ViewRadius(), 60.0);
  EXPECT_EQ(B.SeparationRadius(), 50.0);
  EXPECT_EQ(B.PursueRatio(), 1.5);
  EXPECT_EQ(B.FleeRatio(), 0.5);
  // Positions are stored as given.
  EXPECT_EQ(B.X(), -5.0);
  EXPECT_EQ(B.Y(), -6.0);
}

// ---- Creation ----

TEST(BoidCreation, StartSpeedIsClampedByTheBoidsOwnLimits) {
  auto B = MakeBoid({.Speed = 0.0});
  EXPECT_EQ(B->Speed(), 0.5);
  EXPECT_EQ(B->NearestMate(), nullptr);
  EXPECT_EQ(B->NearestRival(), nullptr);
  EXPECT_EQ(B->MateCount(), 0.0);
  EXPECT_EQ(B->RivalCount(), 0.0);
}

TEST(BoidCreation, ColourAndModelIndexPassFromTheGene) {
  std::unique_ptr<TBoid> B;
  const TColor* Handed = nullptr;
  {
    TBoidGene Gene(std::make_unique<TColor>(0.1f, 0.2f, 0.3f), 0, 0, 0, 0, 0.8, 0.5, 0.01, 0.05,
                   60, 50, 1, 1, 7);
    Handed = Gene.Color();
    B = std::make_unique<TBoid>(std::move(Gene));
    EXPECT_EQ(Gene.Color(), nullptr);
  }
  // The gene is gone; the colour lives on with the boid.
  EXPECT_EQ(B->Color(), Handed);
  EXPECT_EQ(B->Color()->Green, 0.2f);
  EXPECT_EQ(B->ModelIndex(), 7);
}

// ---- Geometry ----

TEST(BoidGeometry, AngleToInEveryQuadrantAndOnTheAxes) {
  struct TCase {
    double PX, PY, Expected;
  };
  const TCase Cases[] = {
      {15, 5, 0.0},          {10, 15, Pi / 2},      {5, 5, Pi},            {10, -5, 3 * Pi / 2},
      {13, 8, Pi / 4},       {7, 8, 3 * Pi / 4},    {7, 2, 5 * Pi / 4},    {13, 2, 7 * Pi / 4},
  };
  auto B = MakeBoid({.X = 10, .Y = 5, .Heading = 1.0});
  for (const TCase& C : Cases)
    EXPECT_NEAR(B->AngleTo(C.PX, C.PY), C.Expected, 1e-12) << C.PX << "," << C.PY;
}

// Regression: the bearing to a neighbour on the boid's own spot divided zero by zero.
TEST(BoidGeometry, AngleToCoincidentPointIsTheCurrentHeading) {
  auto B = MakeBoid({.X = 10, .Y = 5, .Heading = 1.25});
  EXPECT_EQ(B->AngleTo(10, 5), 1.25);
  // So close that the squared distance underflows to zero although the points differ.
  auto C = MakeBoid({.X = 0, .Y = 0, .Heading = 2.5});
  EXPECT_EQ(C->AngleTo(1e-170, 0), 2.5);
}

TEST(BoidGeometry, InRangeIsStrict) {
  auto A = MakeBoid({.X = 0, .Y = 0});
  auto B = MakeBoid({.X = 3, .Y = 4});
  EXPECT_FALSE(A->InRange(*B, 5.0));
  EXPECT_TRUE(A->InRange(*B, 5.000001));
  EXPECT_EQ(A->DistanceTo(*B), 5.0);
}

TEST(BoidGeometry, SameColorComparesEachSingleComponentExactly) {
  struct TCase {
    TColor Color;
    bool Same;
  };
  const TCase Cases[] = {
      {{0.99f, 0.99f, 0.99f}, true},   {{0.99f, 0.99f, 0.98f}, false},
      {{0.99f, 0.98f, 0.99f}, false},  {{0.98f, 0.99f, 0.99f}, false},
      {{std::nextafter(0.99f, 1.0f), 0.99f, 0.99f}, false},
  };
  auto A = MakeBoid({});
  for (const TCase& C : Cases) {
    auto B = MakeBoid({.Color = C.Color});
    EXPECT_EQ(A->SameColor(*B), C.Same) << C.Color.Red << "," << C.Color.Green << "," << C.Color.Blue;
    EXPECT_EQ(B->SameColor(*A), C.Same);
  }
}

TEST(BoidMotion, MoveStepsAlongTheHeadingWithoutWrapping) {
  auto B = MakeBoid({.X = 999.9, .Y = 2.0, .Heading = 0.0, .Speed = 0.7});
  B->Move();
  EXPECT_NEAR(B->X(), 1000.6, 1e-12);
  EXPECT_EQ(B->Y(), 2.0);
  B->SetHeading(3 * Pi / 2);
  B->Move();
  EXPECT_NEAR(B->X(), 1000.6, 1e-12);
  EXPECT_NEAR(B->Y(), 1.3, 1e-12);
}

// ---- Turning ----

TEST(BoidTurning, TowardsAndAwayTurnTheDocumentedWay) {
  struct TCase {
    const char* Name;
    double Heading, PX, PY, Towards, Away;
  };
  const TCase Cases[] = {
      {"dead ahead (d = 0)", 0.0, 10, 0, TwoPi - 0.01, 0.01},
      {"to the left", 0.0, 0, 10, 0.01, TwoPi - 0.01},
      {"to the right", Pi / 2, 10, 0, Pi / 2 - 0.01, Pi / 2 + 0.01},
      {"behind, d = +pi", 0.0, -10, 0, TwoPi - 0.01, 0.01},
      {"behind, d = -pi", Pi, 10, 0, Pi + 0.01, Pi - 0.01},
      {"shorter way through 0", 0.1, 10 * std::cos(6.2), 10 * std::sin(6.2), 0.09, 0.11},
      {"on the boid's own spot", 1.0, 0, 0, 1.0, 1.0},
  };
  for (const TCase& C : Cases) {
    auto T = MakeBoid({.Heading = C.Heading});
    T->TurnTowards(C.PX, C.PY);
    EXPECT_NEAR(T->Heading(), C.Towards, 1e-12) << C.Name;
    auto A = MakeBoid({.Heading = C.Heading});
    A->TurnAwayFrom(C.PX, C.PY);
    EXPECT_NEAR(A->Heading(), C.Away, 1e-12) << C.Name;
  }
}

// ---- Scan ----

TEST(BoidScan, RadiiAreStrict) {
  struct TCase {
    const char* Name;
    TSpec Neighbour;
    bool Nearest, Counted;
  };
  const TCase Cases[] = {
      {"mate inside separation", {.X = 49.5}, true, true},
      {"mate at separation radius", {.X = 50}, false, true},
      {"mate at view radius", {.Y = -60}, false, false},
      {"rival inside view", {.X = -59.5, .Color = Other}, true, true},
      {"rival at view radius", {.Y = 60, .Color = Other}, false, false},
  };
  for (const TCase& C : Cases) {
    TList Flock = MakeFlock({{}, C.Neighbour});
    TBoid& Self = *Flock[0];
    Self.Scan(Flock);
    const bool Mate = Self.SameColor(*Flock[1]);
    EXPECT_EQ((Mate ? Self.NearestMate() : Self.NearestRival()) == Flock[1].get(), C.Nearest)
        << C.Name;
    EXPECT_EQ(Mate ? Self.MateCount() : Self.RivalCount(), C.Counted ? 1.0 : 0.0) << C.Name;
    EXPECT_EQ(Mate ? Self.NearestRival() : Self.NearestMate(), nullptr) << C.Name;
  }
}

TEST(BoidScan, SkipsItselfByIdentityNotByPosition) {
  TList Flock = MakeFlock({{.X = 5, .Y = 5}, {.X = 5, .Y = 5, .Speed = 0.6}});
  Flock[0]->Scan(Flock);
  EXPECT_EQ(Flock[0]->MateCount(), 1.0);
  EXPECT_EQ(Flock[0]->NearestMate(), Flock[1].get());
  EXPECT_EQ(Flock[0]->MateSpeed(), 0.6);
}

TEST(BoidScan, TiesGoToTheEarlierBoidInListOrder) {
  for (const TColor& Color : {White, Other}) {
    TList Flock = MakeFlock({{}, {.X = 30, .Color = Color}, {.Y = -30, .Color = Color},
                             {.X = -40, .Color = Color}});
    TBoid& Self = *Flock[0];
    auto Nearest = [&] {
      Self.Scan(Flock);
      return Color.Blue == White.Blue ? Self.NearestMate() : Self.NearestRival();
    };
    TBoid* First = Flock[1].get();
    TBoid* Second = Flock[2].get();
    EXPECT_EQ(Nearest(), First);
    std::swap(Flock[1], Flock[2]);
    EXPECT_EQ(Nearest(), Second);
    // A later boid that is strictly closer still wins.
    Flock[3]->SetX(-29.0);
    EXPECT_EQ(Nearest(), Flock[3].get());
  }
}

TEST(BoidScan, SummarisesNeighboursInViewOrStandsInWithOwnValues) {
  TList Flock = MakeFlock({
      {.X = 100, .Y = 100, .Speed = 0.55},
      {.X = 110, .Y = 100, .Speed = 0.6},
      {.X = 120, .Y = 110, .Speed = 0.8},
      {.X = 100, .Y = 70, .Speed = 0.7, .Color = Other},
      {.X = 300, .Y = 300, .Speed = 0.5},                  // out of view
      {.X = 100, .Y = 161, .Speed = 0.5, .Color = Other},  // out of view
  });
  TBoid& Self = *Flock[0];
  Self.Scan(Flock);
  EXPECT_EQ(Self.MateCount(), 2.0);
  EXPECT_DOUBLE_EQ(Self.MateX(), 115.0);
  EXPECT_DOUBLE_EQ(Self.MateY(), 105.0);
  EXPECT_DOUBLE_EQ(Self.MateSpeed(), 0.7);
  EXPECT_EQ(Self.NearestMate(), Flock[1].get());
  EXPECT_EQ(Self.RivalCount(), 1.0);
  EXPECT_EQ(Self.RivalX(), 100.0);
  EXPECT_EQ(Self.RivalY(), 70.0);
  EXPECT_EQ(Self.RivalSpeed(), 0.7);
  EXPECT_EQ(Self.NearestRival(), Flock[3].get());

  // Alone in view: both summaries are the boid's own state, and nothing is nearest.
  TBoid& Far = *Flock[4];
  Far.Scan(Flock);
  EXPECT_EQ(Far.MateCount(), 0.0);
  EXPECT_EQ(Far.RivalCount(), 0.0);
  for (double V : {Far.MateX(), Far.RivalX()}) EXPECT_EQ(V, 300.0);
  for (double V : {Far.MateY(), Far.RivalY()}) EXPECT_EQ(V, 300.0);
  for (double V : {Far.MateSpeed(), Far.RivalSpeed()}) EXPECT_EQ(V, 0.5);
  EXPECT_EQ(Far.NearestMate(), nullptr);
  EXPECT_EQ(Far.NearestRival(), nullptr);
}

TEST(BoidScan, CandidateScanMatchesTheFullScanBitForBit) {
  RandomSeed(99);
  const TColor Colors[] = {White, Other, {0.2f, 0.5f, 0.9f}};
  TList Flock;
  for (int I = 0; I < 300; ++I) {
    // Some boids look for mates farther than they can see.
    Flock.push_back(MakeBoid({.X = RandomReal() * 400, .Y = RandomReal() * 400,
                              .Heading = RandomReal() * TwoPi, .Speed = 0.5 + 0.3 * RandomReal(),
                              .Color = Colors[RandomInt(3)],
                              .SeparationRadius = I % 7 == 0 ? 75.0 : 50.0}));
  }
  // A coarse grid, as a faster search would use; candidates in ascending list order.
  constexpr double Cell = 80;
  auto CellOf = [&](const TBoid& B) {
    return std::pair<int, int>(int(std::floor(B.X() / Cell)), int(std::floor(B.Y() / Cell)));
  };
  for (int Round = 0; Round < 3; ++Round) {
    for (auto& B : Flock) {
      const auto [CX, CY] = CellOf(*B);
      std::vector<std::size_t> Candidates;
      for (std::size_t I = 0; I < Flock.size(); ++I) {
        const auto [OX, OY] = CellOf(*Flock[I]);
        if (std::abs(OX - CX) <= 1 && std::abs(OY - CY) <= 1) Candidates.push_back(I);
      }
      B->Scan(Flock, Candidates);
      const double Fast[] = {B->MateCount(), B->MateX(), B->MateY(), B->MateSpeed(),
                             B->RivalCount(), B->RivalX(), B->RivalY(), B->RivalSpeed()};
      TBoid* FastMate = B->NearestMate();
      TBoid* FastRival = B->NearestRival();
      B->Scan(Flock);
      const double Full[] = {B->MateCount(), B->MateX(), B->MateY(), B->MateSpeed(),
                             B->RivalCount(), B->RivalX(), B->RivalY(), B->RivalSpeed()};
      for (int K = 0; K < 8; ++K) ASSERT_EQ(Fast[K], Full[K]) << "field " << K;
      ASSERT_EQ(FastMate, B->NearestMate());
      ASSERT_EQ(FastRival, B->NearestRival());
      B->Decide();
      B->Move();
    }
  }
}

// ---- Decide ----

namespace {

enum class TChoice { AvoidThenPursue, Flee, Avoid, Follow, Nothing };

// The boid under test (index 0) with Mates mates and Rivals rivals around it, all in view.
TList DecideWorld(int Mates, int Rivals, double MateDistance) {
  std::vector<TSpec> Specs{{.X = 500, .Y = 500, .Heading = 1.0, .Speed = 0.65}};
  for (int I = 0; I < Mates; ++I) {
    const double A = 2.0 + 0.7 * I;
    Specs.push_back({.X = 500 + MateDistance * std::cos(A), .Y = 500 + MateDistance * std::sin(A),
                     .Heading = 2.0, .Speed = 0.6});
  }
  for (int I = 0; I < Rivals; ++I) {
    const double A = 0.3 + 0.9 * I;
    Specs.push_back({.X = 500 + (20 + 5 * I) * std::cos(A), .Y = 500 + (20 + 5 * I) * std::sin(A),
                     .Heading = 0.5, .Speed = 0.6, .Color = Other});
  }
  return MakeFlock(Specs);
}

void RunChoice(TBoid& B, TChoice Choice) {
  switch (Choice) {
    case TChoice::AvoidThenPursue: B.Avoid(); B.Pursue(); break;
    case TChoice::Flee: B.Flee(); break;
    case TChoice::Avoid: B.Avoid(); break;
    case TChoice::Follow: B.FollowMates(); break;
    case TChoice::Nothing: break;
  }
}

std::vector<double> StateOf(const TList& Flock) {
  std::vector<double> State;
  for (const auto& B : Flock) {
    State.push_back(B->Heading());
    State.push_back(B->Speed());
  }
  return State;
}

}  // namespace

TEST(BoidDecide, ChoosesByTheRatioOfMatesPlusOneToRivals) {
  struct TCase {
    int Mates, Rivals;
    double Pursue, Flee;
    TChoice Expected;
    double MateDistance = 30;
  };
  const TCase Cases[] = {
      {1, 1, 1.0, 1.0, TChoice::AvoidThenPursue},  // r = 2
      {0, 2, 1.0, 1.0, TChoice::Flee},             // r = 0.5
      {0, 1, 1.0, 1.0, TChoice::Nothing},          // r = 1 exactly
      {1, 1, 2.0, 0.5, TChoice::Nothing},          // r = PursueRatio exactly
      {0, 2, 2.0, 0.5, TChoice::Nothing},          // r = FleeRatio exactly
      {2, 1, 2.0, 0.5, TChoice::AvoidThenPursue},  // r = 3
      {0, 3, 2.0, 0.5, TChoice::Flee},             // r = 1/3
      {1, 2, 2.0, 0.5, TChoice::Nothing},          // r = 1
      {1, 0, 1.0, 1.0, TChoice::Avoid},            // mate inside separation
      {1, 0, 1.0, 1.0, TChoice::Follow, 55},       // mate in view only
      {0, 0, 1.0, 1.0, TChoice::Follow},           // alone: wanders
  };
  for (const TCase& C : Cases) {
    const std::string Name = std::to_string(C.Mates) + " mates, " + std::to_string(C.Rivals) +
                             " rivals, ratios " + std::to_string(C.Pursue) + "/" +
                             std::to_string(C.Flee);
    auto Outcome = [&](std::function<void(TBoid&)> Act) {
      TList Flock = DecideWorld(C.Mates, C.Rivals, C.MateDistance);
      Flock[0]->SetPursueRatio(C.Pursue);
      Flock[0]->SetFleeRatio(C.Flee);
      Flock[0]->Scan(Flock);
      RandomSeed(5);
      Act(*Flock[0]);
      return StateOf(Flock);
    };
    const auto Decided = Outcome([](TBoid& B) { B.Decide(); });
    EXPECT_EQ(Decided, Outcome([&](TBoid& B) { RunChoice(B, C.Expected); })) << Name;
    // Every other choice would have shown: the world tells them apart.
    for (TChoice Alternative : {TChoice::AvoidThenPursue, TChoice::Flee, TChoice::Avoid,
                                TChoice::Follow, TChoice::Nothing}) {
      if (Alternative == C.Expected) continue;
      const auto Alt = Outcome([&](TBoid& B) { RunChoice(B, Alternative); });
      if (Alt == Decided) {
        ADD_FAILURE() << Name << ": choice " << int(Alternative) << " is indistinguishable";
      }
    }
  }
}

// ---- Avoid ----

TEST(BoidAvoid, RivalHalfHurriesTheRivalAndTurnsTwiceMateHalfDoesNot) {
  struct TCase {
    const char* Name;
    TSpec Neighbour;
    double Heading, Speed, NeighbourSpeed;
  };
  // The boid is at the origin, heading 0 at speed 0.7; the neighbour moves at 0.7.
  const TCase Cases[] = {
      {"rival ahead beyond its separation", {.X = 55, .Color = Other}, 0.02, 0.6, 0.75},
      {"rival ahead within its separation", {.X = 40, .Color = Other}, 0.01, 0.65, 0.7},
      {"rival behind, same way", {.X = -40, .Color = Other}, 0.01, 0.75, 0.7},
      {"rival ahead, coming the other way", {.X = 40, .Heading = Pi, .Color = Other}, 0.01, 0.65, 0.7},
      {"rival behind, going the other way", {.X = -40, .Heading = Pi, .Color = Other}, 0.01, 0.7, 0.7},
      // A mate 30 ahead on the same heading: one turn left, one deceleration.
      {"mate dead ahead within its separation", {.X = 30}, 0.01, 0.65, 0.7},
      {"mate ahead beyond its separation", {.X = 30, .SeparationRadius = 20}, 0.01, 0.6, 0.7},
      {"mate behind, same way", {.X = -40}, 0.01, 0.75, 0.7},
      {"mate ahead, coming the other way", {.X = 40, .Heading = Pi}, 0.01, 0.65, 0.7},
  };
  for (const TCase& C : Cases) {
    TList Flock = MakeFlock({{.Heading = 0.0, .Speed = 0.7}, C.Neighbour});
    TBoid& Self = *Flock[0];
    Self.Scan(Flock);
    ASSERT_TRUE(Self.NearestMate() == Flock[1].get() || Self.NearestRival() == Flock[1].get())
        << C.Name;
    Self.Avoid();
    EXPECT_NEAR(Self.Heading(), C.Heading, 1e-12) << C.Name;
    EXPECT_NEAR(Self.Speed(), C.Speed, 1e-12) << C.Name;
    EXPECT_NEAR(Flock[1]->Speed(), C.NeighbourSpeed, 1e-12) << C.Name;
    EXPECT_EQ(Flock[1]->Heading(), C.Neighbour.Heading) << C.Name;
  }
}

TEST(BoidAvoid, MateDeadAheadThroughDecide) {
  TList Flock = MakeFlock({{.Heading = 0.0, .Speed = 0.7}, {.X = 30, .Heading = 0.0}});
  Flock[0]->Scan(Flock);
  Flock[0]->Decide();
  EXPECT_NEAR(Flock[0]->Heading(), 0.01, 1e-15);
  EXPECT_NEAR(Flock[0]->Speed(), 0.65, 1e-15);
}

// Regression: a neighbour on the boid's very spot has no bearing; it must not turn the
// heading or speed into NaN.
TEST(BoidAvoid, CoincidentNeighboursKeepFiniteHeadingsAndSpeeds) {
  for (const TColor& Color : {White, Other}) {
    for (double OtherHeading : {0.5, 0.5 + Pi}) {
      TList Flock = MakeFlock({{.X = 200, .Y = 200, .Heading = 0.5},
                               {.X = 200, .Y = 200, .Heading = OtherHeading, .Color = Color}});
      for (auto& B : Flock) {
        B->SetPursueRatio(0.5);  // a lone rival then gives r = 1 > 0.5: avoid and pursue
      }
      for (int I = 0; I < 2000; ++I) {
        Step(Flock);
        for (auto& B : Flock) {
          ASSERT_TRUE(std::isfinite(B->Heading())) << "step " << I;
          ASSERT_TRUE(std::isfinite(B->Speed())) << "step " << I;
          ASSERT_TRUE(std::isfinite(B->X()) && std::isfinite(B->Y())) << "step " << I;
        }
        // Put them back on one spot now and then, to test the case over and over.
        if (I % 100 == 0) {
          Flock[1]->SetX(Flock[0]->X());
          Flock[1]->SetY(Flock[0]->Y());
        }
      }
    }
  }
}

// ---- Following and wandering ----

TEST(BoidFollow, SteersToTheMatesMeanAndMatchesTheirSpeed) {
  TList Flock = MakeFlock({{.Heading = 0.0, .Speed = 0.6},
                           {.X = 0, .Y = 55, .Speed = 0.8},
                           {.X = 10, .Y = 56, .Speed = 0.8}});
  Flock[0]->Scan(Flock);
  ASSERT_EQ(Flock[0]->NearestMate(), nullptr);
  Flock[0]->Decide();
  EXPECT_NEAR(Flock[0]->Heading(), 0.01, 1e-15);
  EXPECT_NEAR(Flock[0]->Speed(), 0.65, 1e-15);
}

TEST(BoidFollow, LoneBoidWandersByWholeTurnStepsAtMinimumSpeed) {
  auto Walk = [](std::uint64_t Seed) {
    RandomSeed(Seed);
    TList Flock = MakeFlock({{.X = 500, .Y = 500, .Heading = 3.0, .Speed = 0.8}});
    TBoid& B = *Flock[0];
    std::vector<double> Headings;
    int Left = 0, Right = 0;
    for (int I = 0; I < 400; ++I) {
      const double Heading = B.Heading(), Speed = B.Speed();
      B.Scan(Flock);
      EXPECT_EQ(B.MateCount(), 0.0);
      EXPECT_EQ(B.NearestMate(), nullptr);
      EXPECT_EQ(B.MateX(), B.X());
      EXPECT_EQ(B.MateSpeed(), Speed);
      B.Decide();
      EXPECT_NEAR(B.Speed(), std::max(Speed - 0.05, 0.5), 1e-15);
      double Turn = B.Heading() - Heading;
      if (Turn > Pi) Turn -= TwoPi;
      if (Turn < -Pi) Turn += TwoPi;
      EXPECT_NEAR(std::fabs(Turn), 0.01, 1e-12);
      (Turn > 0 ? Left : Right)++;
      B.Move();
      Headings.push_back(B.Heading());
    }
    EXPECT_GT(Left, 100);
    EXPECT_GT(Right, 100);
    return Headings;
  };
  EXPECT_EQ(Walk(42), Walk(42));
  EXPECT_NE(Walk(42), Walk(43));
}

// ---- A running flock ----

TEST(BoidFlock, MixedFlockStaysWithinItsLimits) {
  RandomSeed(7);
  TList Flock;
  for (int I = 0; I < 120; ++I)
    Flock.push_back(MakeBoid({.X = RandomReal() * 300, .Y = RandomReal() * 300,
                              .Heading = RandomReal() * TwoPi, .Speed = 0,
                              .Color = I % 3 == 0 ? Other : White}));
  for (int S = 0; S < 300; ++S) {
    Step(Flock);
    for (auto& B : Flock) {
      if (B->X() > 300) B->SetX(B->X() - 300);
      if (B->X() < 0) B->SetX(B->X() + 300);
      if (B->Y() > 300) B->SetY(B->Y() - 300);
      if (B->Y() < 0) B->SetY(B->Y() + 300);
      ASSERT_GE(B->Heading(), 0.0);
      ASSERT_LE(B->Heading(), TwoPi);
      ASSERT_GE(B->Speed(), 0.5);
      ASSERT_LE(B->Speed(), 0.8);
    }
  }
}

// ---- The random generator ----

TEST(BoidRandom, ASeedGivesTheSameSequenceEverywhere) {
  // The 10000th output of the 64-bit Mersenne Twister from its default seed is fixed by the
  // C++ standard; our real is its top 53 bits scaled by 2^-53.
  RandomSeed(5489);
  double Last = 0;
  for (int I = 0; I < 10000; ++I) Last = RandomReal();
  EXPECT_EQ(Last, double(9981545732273789042ull >> 11) * 0x1.0p-53);

  RandomSeed(1);
  std::vector<double> A, B;
  for (int I = 0; I < 50; ++I) A.push_back(RandomReal());
  RandomSeed(1);
  for (int I = 0; I < 50; ++I) B.push_back(RandomReal());
  EXPECT_EQ(A, B);
}

TEST(BoidRandom, ValuesStayInTheirRanges) {
  RandomSeed(3);
  for (int I = 0; I < 10000; ++I) {
    const double R = RandomReal();
    ASSERT_GE(R, 0.0);
    ASSERT_LT(R, 1.0);
  }
  for (int I = 0; I < 100; ++I) ASSERT_EQ(RandomInt(1), 0);
  std::vector<int> Seen(7, 0);
  for (int I = 0; I < 7000; ++I) {
    const int V = RandomInt(7);
    ASSERT_GE(V, 0);
    ASSERT_LT(V, 7);
    Seen[V]++;
  }
  for (int Count : Seen) EXPECT_GT(Count, 800);
}
