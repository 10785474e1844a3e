#include "Boid.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cmath>
#include <limits>
#include <random>

// ---- The random generator ----------------------------------------------------------------
// mt19937_64's output sequence is fixed by the standard; the conversions below are our own, so
// a seed yields the same reals and integers with every standard library.

void TRandom::SeedFromClock() {
  const auto Ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  Seed(static_cast<std::uint64_t>(Ticks));
}

double TRandom::Real() {
  // The top 53 bits, scaled: every value is a multiple of 2^-53 below 1.
  return static_cast<double>(FEngine() >> 11) * 0x1.0p-53;
}

int TRandom::Int(int Bound) {
  assert(Bound >= 1 && "RandomInt needs a bound of at least 1");
  if (Bound <= 1) return 0;
  // Rejection keeps every value equally likely.
  const std::uint64_t Range = static_cast<std::uint64_t>(Bound);
  const std::uint64_t Limit = std::numeric_limits<std::uint64_t>::max() -
                              std::numeric_limits<std::uint64_t>::max() % Range;
  std::uint64_t Draw;
  do Draw = FEngine();
  while (Draw >= Limit);
  return static_cast<int>(Draw % Range);
}

TRandom& ProcessRandom() {
  static TRandom Generator;
  return Generator;
}

void RandomSeed(std::uint64_t Seed) { ProcessRandom().Seed(Seed); }
double RandomReal() { return ProcessRandom().Real(); }
int RandomInt(int Bound) { return ProcessRandom().Int(Bound); }

// ---- TBoidGene ----------------------------------------------------------------------------

TBoidGene::TBoidGene(std::unique_ptr<TColor> Color, double Heading, double Speed, double X,
                     double Y, double MaxSpeed, double MinSpeed, double TurnRate,
                     double Acceleration, double ViewRadius, double SeparationRadius,
                     double PursueRatio, double FleeRatio, std::int32_t ModelIndex)
    : FHeading(Heading), FSpeed(Speed), FX(X), FY(Y), FMaxSpeed(MaxSpeed), FMinSpeed(MinSpeed),
      FTurnRate(TurnRate), FAcceleration(Acceleration), FViewRadius(ViewRadius),
      FSeparationRadius(SeparationRadius), FPursueRatio(PursueRatio), FFleeRatio(FleeRatio),
      FColor(std::move(Color)), FModelIndex(ModelIndex) {}

// ---- TBoid: construction and properties ----------------------------------------------------

TBoid::TBoid(TBoidGene&& Gene) {
  // The order matters: the limits must be in place before the speed is clamped by them.
  SetMaxSpeed(Gene.MaxSpeed());
  SetMinSpeed(Gene.MinSpeed());
  SetHeading(Gene.Heading());
  SetSpeed(Gene.Speed());
  SetX(Gene.X());
  SetY(Gene.Y());
  SetColor(Gene.TakeColor());
  SetTurnRate(Gene.TurnRate());
  SetAcceleration(Gene.Acceleration());
  SetViewRadius(Gene.ViewRadius());
  SetPursueRatio(Gene.PursueRatio());
  SetFleeRatio(Gene.FleeRatio());
  SetSeparationRadius(Gene.SeparationRadius());
  FNearestMate = nullptr;
  FNearestRival = nullptr;
  FModelIndex = Gene.ModelIndex();
}

void TBoid::SetHeading(double Value) {
  // One correction only: a turn step never exceeds 2 pi, so one is enough during a run.
  FHeading = Value;
  if (FHeading > TwoPi)
    FHeading -= TwoPi;
  else if (FHeading < 0)
    FHeading += TwoPi;
}

void TBoid::SetSpeed(double Value) {
  // The maximum first: when MinSpeed exceeds MaxSpeed the boid runs at MinSpeed.
  double V = std::fabs(Value);
  if (V > FMaxSpeed) V = FMaxSpeed;
  if (V < FMinSpeed) V = FMinSpeed;
  FSpeed = V;
}

void TBoid::SetMaxSpeed(double Value) { FMaxSpeed = std::fabs(Value); }
void TBoid::SetMinSpeed(double Value) { FMinSpeed = std::fabs(Value); }

void TBoid::SetTurnRate(double Value) {
  // Whole turns are taken off one at a time (exact for every sensible rate); a value so large
  // that this would take long, or one that is not finite, would otherwise never finish.
  assert(std::isfinite(Value) && "a boid's TurnRate must be finite");
  if (!std::isfinite(Value)) {
    FTurnRate = 0.0;
    return;
  }
  constexpr double StepwiseLimit = 1024 * TwoPi;
  if (std::fabs(Value) > StepwiseLimit) Value = std::fmod(Value, TwoPi);
  while (Value > TwoPi) Value -= TwoPi;
  while (Value < 0) Value += TwoPi;
  FTurnRate = Value;
}

void TBoid::SetAcceleration(double Value) { FAcceleration = std::fabs(Value); }
void TBoid::SetViewRadius(double Value) { FViewRadius = std::fabs(Value); }
void TBoid::SetSeparationRadius(double Value) { FSeparationRadius = std::fabs(Value); }
void TBoid::SetPursueRatio(double Value) { FPursueRatio = std::fabs(Value); }
void TBoid::SetFleeRatio(double Value) { FFleeRatio = std::fabs(Value); }

void TBoid::SetColor(std::unique_ptr<TColor> Value) {
  assert(Value && "a boid needs a colour");
  FColor = std::move(Value);
}

// ---- Motion and turning --------------------------------------------------------------------

void TBoid::Move() {
  SetX(FX + std::cos(FHeading) * FSpeed);
  SetY(FY + std::sin(FHeading) * FSpeed);
}

void TBoid::Accelerate() { SetSpeed(FSpeed + FAcceleration); }
void TBoid::Decelerate() { SetSpeed(FSpeed - FAcceleration); }
void TBoid::TurnLeft() { SetHeading(FHeading + FTurnRate); }
void TBoid::TurnRight() { SetHeading(FHeading - FTurnRate); }

double TBoid::DistanceTo(const TBoid& Other) const {
  const double DX = Other.FX - FX;
  const double DY = Other.FY - FY;
  return std::sqrt(DX * DX + DY * DY);
}

bool TBoid::InRange(const TBoid& Other, double Radius) const {
  return DistanceTo(Other) < Radius;
}

double TBoid::AngleTo(double PX, double PY) const {
  const double DX = PX - FX;
  const double DY = PY - FY;
  const double D = std::sqrt(DX * DX + DY * DY);
  // No direction exists to the boid's own spot (or to one so close that the distance
  // underflows); the current heading keeps every caller's arithmetic finite.
  if (!(D > 0)) return FHeading;
  double A = std::acos(std::clamp(DX / D, -1.0, 1.0));
  if (DY < 0) A = TwoPi - A;
  return A;
}

namespace {

// Whether one step towards a point at angle D from the heading goes left: the shorter way round,
// and right when D is exactly 0 (there is no dead zone).
bool TowardsIsLeft(double D) { return std::fabs(D) < Pi ? D > 0 : D <= 0; }

}  // namespace

void TBoid::TurnTowards(double PX, double PY) {
  if (FX == PX && FY == PY) return;
  if (TowardsIsLeft(AngleTo(PX, PY) - FHeading))
    TurnLeft();
  else
    TurnRight();
}

// Always the opposite of TurnTowards, boundaries included.
void TBoid::TurnAwayFrom(double PX, double PY) {
  if (FX == PX && FY == PY) return;
  if (TowardsIsLeft(AngleTo(PX, PY) - FHeading))
    TurnRight();
  else
    TurnLeft();
}

bool TBoid::SameColor(const TBoid& Other) const {
  if (!FColor || !Other.FColor) return false;
  return FColor->Red == Other.FColor->Red && FColor->Green == Other.FColor->Green &&
         FColor->Blue == Other.FColor->Blue;
}

// ---- Neighbour scan ------------------------------------------------------------------------
// The scan is split into begin / visit / end so that any way of producing the neighbours in
// list order gives the same nearest boids (ties go to the earlier one) and the same sums.

struct TBoid::TScanState {
  double MateBest, RivalBest;
  double MateCount = 0, MateX = 0, MateY = 0, MateSpeed = 0;
  double RivalCount = 0, RivalX = 0, RivalY = 0, RivalSpeed = 0;
};

void TBoid::ScanBegin(TScanState& State) {
  FNearestMate = nullptr;
  FNearestRival = nullptr;
  State.MateBest = FSeparationRadius;
  State.RivalBest = FViewRadius;
}

void TBoid::ScanVisit(TScanState& State, TBoid& B) {
  if (&B == this) return;
  const double Distance = DistanceTo(B);
  if (SameColor(B)) {
    if (Distance < State.MateBest) {
      FNearestMate = &B;
      State.MateBest = Distance;
    }
    if (Distance < FViewRadius) {
      State.MateCount += 1;
      State.MateX += B.FX;
      State.MateY += B.FY;
      State.MateSpeed += B.FSpeed;
    }
  } else {
    if (Distance < State.RivalBest) {
      FNearestRival = &B;
      State.RivalBest = Distance;
    }
    if (Distance < FViewRadius) {
      State.RivalCount += 1;
      State.RivalX += B.FX;
      State.RivalY += B.FY;
      State.RivalSpeed += B.FSpeed;
    }
  }
}

void TBoid::ScanEnd(const TScanState& State) {
  FMateCount = State.MateCount;
  if (State.MateCount != 0) {
    FMateSpeed = State.MateSpeed / State.MateCount;
    FMateX = State.MateX / State.MateCount;
    FMateY = State.MateY / State.MateCount;
  } else {
    FMateSpeed = FSpeed;
    FMateX = FX;
    FMateY = FY;
  }
  FRivalCount = State.RivalCount;
  if (State.RivalCount != 0) {
    FRivalSpeed = State.RivalSpeed / State.RivalCount;
    FRivalX = State.RivalX / State.RivalCount;
    FRivalY = State.RivalY / State.RivalCount;
  } else {
    FRivalSpeed = FSpeed;
    FRivalX = FX;
    FRivalY = FY;
  }
}

void TBoid::Scan(std::span<const std::unique_ptr<TBoid>> Flock) {
  TScanState State;
  ScanBegin(State);
  for (const auto& B : Flock) ScanVisit(State, *B);
  ScanEnd(State);
}

void TBoid::Scan(std::span<const std::unique_ptr<TBoid>> Flock,
                 std::span<const std::size_t> Candidates) {
  TScanState State;
  ScanBegin(State);
  for (std::size_t I = 0; I < Candidates.size(); ++I) {
    assert(Candidates[I] < Flock.size() && "scan candidate outside the flock");
    assert((I == 0 || Candidates[I - 1] < Candidates[I]) &&
           "scan candidates must be in ascending list order");
    ScanVisit(State, *Flock[Candidates[I]]);
  }
  ScanEnd(State);
}

// ---- Behaviour -----------------------------------------------------------------------------

void TBoid::Decide() {
  if (FRivalCount != 0) {
    const double R = (FMateCount + 1) / FRivalCount;
    if (R > FPursueRatio) {
      Avoid();
      Pursue();
    } else if (R < FFleeRatio) {
      Flee();
    }
    // Between the two ratios (inclusive) the boid holds its course and speed.
  } else if (FNearestMate) {
    Avoid();
  } else {
    FollowMates();
  }
}

void TBoid::Avoid() {
  // "Heading" below is always the current one, after any turn already made.
  if (TBoid* R = FNearestRival) {
    TurnAwayFrom(R->FX, R->FY);
    const double A = AngleTo(R->FX, R->FY);
    if (std::cos(R->FHeading - FHeading) > 0) {
      if (std::cos(A - FHeading) > 0) {
        // A rival ahead going the same way is hurried on while this boid drops back.
        if (DistanceTo(*R) > R->FSeparationRadius) {
          R->Accelerate();
          Decelerate();
          TurnAwayFrom(R->FX, R->FY);
        }
        Decelerate();
      } else {
        Accelerate();
      }
    } else if (std::cos(A - FHeading) > 0) {
      Decelerate();
    }
  }
  if (TBoid* M = FNearestMate) {
    TurnAwayFrom(M->FX, M->FY);
    const double A = AngleTo(M->FX, M->FY);
    if (std::cos(M->FHeading - FHeading) > 0) {
      if (std::cos(A - FHeading) > 0) {
        if (DistanceTo(*M) > M->FSeparationRadius) Decelerate();
        Decelerate();
      } else {
        Accelerate();
      }
    } else if (std::cos(A - FHeading) > 0) {
      Decelerate();
    }
  }
}

void TBoid::Pursue() {
  TurnTowards(FRivalX, FRivalY);
  if (FSpeed < FRivalSpeed)
    Accelerate();
  else if (FSpeed > FRivalSpeed)
    Decelerate();
}

void TBoid::Flee() {
  TurnAwayFrom(FRivalX, FRivalY);
  Accelerate();
}

void TBoid::FollowMates() {
  if (FMateCount > 0) {
    TurnTowards(FMateX, FMateY);
    if (FSpeed < FMateSpeed)
      Accelerate();
    else if (FSpeed > FMateSpeed)
      Decelerate();
  } else {
    // Alone: slow down and drift in a random walk of single turn steps.
    Decelerate();
    if (FRandom->Real() < 0.5)
      TurnLeft();
    else
      TurnRight();
  }
}
