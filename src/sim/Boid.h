// Boid: the flocking creature and its genome. A boid is a point in the plane with a heading and a
// speed that steers by discrete rules (avoid, pursue, flee, follow, wander), changing heading and
// speed only in whole steps. Also the random generators. Plain C++; no GL, no SDL.
//
// Units: positions and radii in world units, speed in world units per step, angles in radians
// (heading 0 points along +x and grows towards +y).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <span>

inline constexpr double TwoPi = 6.283185307179586;
inline constexpr double Pi = 3.141592653589793;

// A uniform generator; a given seed gives the same sequence on every platform. Each flock owns
// one, so that flocks side by side (a scene per monitor) never draw from each other's sequence.
class TRandom {
public:
  void Seed(std::uint64_t Value) { FEngine.seed(Value); }
  void SeedFromClock();
  double Real();         // uniform in [0, 1)
  int Int(int Bound);    // uniform in [0, Bound); Bound must be at least 1

private:
  std::mt19937_64 FEngine{0};
};

// The process-wide generator: a boid's own unless its flock gives it the flock's.
TRandom& ProcessRandom();
void RandomSeed(std::uint64_t Seed);
double RandomReal();
int RandomInt(int Bound);

// A boid's group identity: boids whose three components are equal are mates.
struct TColor {
  float Red = 0.0f, Green = 0.0f, Blue = 0.0f;

  constexpr TColor() = default;
  constexpr TColor(float R, float G, float B) : Red(R), Green(G), Blue(B) {}
};

struct T2DCoord {
  float X = 0.0f, Y = 0.0f;

  T2DCoord() = default;
  T2DCoord(float AX, float AY) : X(AX), Y(AY) {}
};

// What makes one kind of boid: its limits, radii, ratios and colour (the flock draws each new
// boid's start heading, speed and position itself). Values as for the boid's setters.
struct TBoidTraits {
  double MaxSpeed = 0, MinSpeed = 0, TurnRate = 0, Acceleration = 0;
  double ViewRadius = 0, SeparationRadius = 0, PursueRatio = 0, FleeRatio = 0;
  TColor Color;
};

// The parameters one boid is made from. Values are stored unchanged; the boid's setters apply
// absolute values and limits. The colour is handed over to the boid built from the gene.
class TBoidGene {
public:
  TBoidGene(std::unique_ptr<TColor> Color, double Heading, double Speed, double X, double Y,
            double MaxSpeed, double MinSpeed, double TurnRate, double Acceleration,
            double ViewRadius, double SeparationRadius, double PursueRatio, double FleeRatio,
            std::int32_t ModelIndex);

  double Heading() const { return FHeading; }
  double Speed() const { return FSpeed; }
  double X() const { return FX; }
  double Y() const { return FY; }
  double MaxSpeed() const { return FMaxSpeed; }
  double MinSpeed() const { return FMinSpeed; }
  double TurnRate() const { return FTurnRate; }
  double Acceleration() const { return FAcceleration; }
  double ViewRadius() const { return FViewRadius; }
  double SeparationRadius() const { return FSeparationRadius; }
  double PursueRatio() const { return FPursueRatio; }
  double FleeRatio() const { return FFleeRatio; }
  TColor* Color() const { return FColor.get(); }
  std::int32_t ModelIndex() const { return FModelIndex; }

  // Hands the colour over (the gene no longer holds one).
  std::unique_ptr<TColor> TakeColor() { return std::move(FColor); }

private:
  double FHeading, FSpeed, FX, FY, FMaxSpeed, FMinSpeed, FTurnRate, FAcceleration, FViewRadius,
      FSeparationRadius, FPursueRatio, FFleeRatio;
  std::unique_ptr<TColor> FColor;
  std::int32_t FModelIndex;
};

class TBoid {
public:
  // Takes over the gene's colour and copies every value through the setters, limits first, so
  // the start speed is clamped by the boid's own limits.
  explicit TBoid(TBoidGene&& Gene);
  TBoid(const TBoid&) = delete;
  TBoid& operator=(const TBoid&) = delete;

  // One simulation step is Scan, Decide, Move (the flock then wraps the position).
  // Scan reads every other boid of Flock, in list order; this boid may be in it and is skipped.
  void Scan(std::span<const std::unique_ptr<TBoid>> Flock);
  // The same result, bit for bit, from a subset of the list: Candidates are indices into Flock in
  // ascending order that include every boid closer than max(ViewRadius, SeparationRadius).
  void Scan(std::span<const std::unique_ptr<TBoid>> Flock,
            std::span<const std::size_t> Candidates);
  void Decide();
  void Move();

  void Decelerate();
  void TurnTowards(double PX, double PY);
  void TurnAwayFrom(double PX, double PY);

  // Strictly closer than Radius.
  bool InRange(const TBoid& Other, double Radius) const;
  // Direction to the point in [0, 2 pi]; the current heading when the point is where the boid is.
  double AngleTo(double PX, double PY) const;
  bool SameColor(const TBoid& Other) const;

  // The behaviours Decide picks from.
  void Avoid();
  void Pursue();
  void Flee();
  void FollowMates();

  double Heading() const { return FHeading; }
  double Speed() const { return FSpeed; }
  double X() const { return FX; }
  double Y() const { return FY; }
  double MaxSpeed() const { return FMaxSpeed; }
  double MinSpeed() const { return FMinSpeed; }
  double TurnRate() const { return FTurnRate; }
  double Acceleration() const { return FAcceleration; }
  double ViewRadius() const { return FViewRadius; }
  double SeparationRadius() const { return FSeparationRadius; }
  double PursueRatio() const { return FPursueRatio; }
  double FleeRatio() const { return FFleeRatio; }
  double MateSpeed() const { return FMateSpeed; }
  double MateX() const { return FMateX; }
  double MateY() const { return FMateY; }
  double MateCount() const { return FMateCount; }
  double RivalSpeed() const { return FRivalSpeed; }
  double RivalX() const { return FRivalX; }
  double RivalY() const { return FRivalY; }
  double RivalCount() const { return FRivalCount; }
  const TColor* Color() const { return FColor.get(); }
  TBoid* NearestMate() const { return FNearestMate; }
  TBoid* NearestRival() const { return FNearestRival; }
  std::int32_t ModelIndex() const { return FModelIndex; }

  // Wrapped once into [0, 2 pi] (a single correction of 2 pi).
  void SetHeading(double Value);
  // |Value|, then at most MaxSpeed, then at least MinSpeed.
  void SetSpeed(double Value);
  void SetX(double Value) { FX = Value; }
  void SetY(double Value) { FY = Value; }
  void SetMaxSpeed(double Value);
  void SetMinSpeed(double Value);
  // Brought into [0, 2 pi] by whole turns; must be finite.
  void SetTurnRate(double Value);
  void SetAcceleration(double Value);
  void SetViewRadius(double Value);
  void SetSeparationRadius(double Value);
  void SetPursueRatio(double Value);
  void SetFleeRatio(double Value);
  // A boid always has a colour: it decides who its mates are.
  void SetColor(std::unique_ptr<TColor> Value);
  // The generator of the lone boid's random walk (ProcessRandom() until set); it must outlive
  // the boid.
  void SetRandom(TRandom& Random) { FRandom = &Random; }

private:
  void Accelerate();
  void TurnLeft();
  void TurnRight();
  double DistanceTo(const TBoid& Other) const;

  struct TScanState;
  void ScanBegin(TScanState& State);
  void ScanVisit(TScanState& State, TBoid& B);
  void ScanEnd(const TScanState& State);

  double FHeading = 0, FSpeed = 0, FX = 0, FY = 0, FMaxSpeed = 0, FMinSpeed = 0, FTurnRate = 0,
         FAcceleration = 0, FViewRadius = 0, FSeparationRadius = 0, FPursueRatio = 0,
         FFleeRatio = 0;
  double FMateSpeed = 0, FMateX = 0, FMateY = 0, FMateCount = 0;
  double FRivalSpeed = 0, FRivalX = 0, FRivalY = 0, FRivalCount = 0;
  std::unique_ptr<TColor> FColor;
  TBoid* FNearestMate = nullptr;
  TBoid* FNearestRival = nullptr;
  std::int32_t FModelIndex = 0;
  TRandom* FRandom = &ProcessRandom();
};
