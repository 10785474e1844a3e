// SceneFit: where the scene of Scene.h puts the generated data, worked out once for the data
// generator, its preview and the data tests: the sea floor's placement in eye space, the backdrop
// quad's rectangle and depth, the creature's scale, the view's half height and the fog. Plain
// constexpr values (the one tangent aside); depends only on Scene.
//
// The generator computes in double and its output is fixed to the last byte, so every scene float
// enters as the decimal it is written as (0.05f as 0.05, not as 0.0500000007...): a value moved in
// Scene.h moves the data exactly as if it had been typed here.
#pragma once

#include <cmath>

#include "Scene.h"

namespace datagen {

// The decimal with the fewest places that reads back as Value, as the nearest double.
constexpr double Decimal(float Value) {
  const double Magnitude = Value < 0 ? -double(Value) : double(Value);
  double Power = 1;  // 10 to the number of places: exact up to 1e22
  for (int Places = 0; Places <= 22 && Magnitude * Power < 1e17; ++Places, Power *= 10) {
    const double Digits = double(static_cast<long long>(Magnitude * Power + 0.5));
    const double Candidate = Digits / Power;  // one rounding: the nearest double to the decimal
    if (float(Candidate) == float(Magnitude)) return Value < 0 ? -Candidate : Candidate;
  }
  return double(Value);
}
static_assert(Decimal(0.05f) == 0.05 && Decimal(-6.5f) == -6.5 && Decimal(0.04f) == 0.04);

namespace SceneFit {

// The sea floor: a model point p lands at TerrainOrigin + TerrainScale Rx(TerrainTiltDegrees) p
// in eye space (the camera's and the floor's own translation, the floor's tilt plus the turn
// every model is drawn with, and the floor's scale).
inline constexpr double TerrainScale = Decimal(Scene::TerrainScale);
inline constexpr double TerrainTiltDegrees =
    Decimal(Scene::TerrainTiltDegrees) + Decimal(Scene::ModelUprightDegrees);
inline constexpr double TerrainOrigin[3] = {
    Decimal(Scene::CameraTranslation[0]) + Decimal(Scene::TerrainTranslation[0]),
    Decimal(Scene::CameraTranslation[1]) + Decimal(Scene::TerrainTranslation[1]),
    Decimal(Scene::CameraTranslation[2]) + Decimal(Scene::TerrainTranslation[2])};

// The backdrop quad in eye space: it faces the viewer at BackdropDepth (a positive distance),
// spanning x from BackdropCentreX - BackdropHalfWidth to BackdropCentreX + BackdropHalfWidth and
// y from BackdropBottom to BackdropTop.
inline constexpr double BackdropDepth =
    -(Decimal(Scene::CameraTranslation[2]) + Decimal(Scene::BackdropTranslation[2]));
inline constexpr double BackdropCentreX =
    Decimal(Scene::CameraTranslation[0]) + Decimal(Scene::BackdropTranslation[0]);
inline constexpr double BackdropHalfWidth = Decimal(Scene::BackdropHalfWidth);
inline constexpr double BackdropBottom = Decimal(Scene::CameraTranslation[1]) +
                                         Decimal(Scene::BackdropTranslation[1]) +
                                         Decimal(Scene::BackdropBottom);
inline constexpr double BackdropTop = Decimal(Scene::CameraTranslation[1]) +
                                      Decimal(Scene::BackdropTranslation[1]) +
                                      Decimal(Scene::BackdropTop);

// The creature: model units to scene units.
inline constexpr double CreatureScale = Decimal(Scene::CreatureScale);

inline constexpr double FogDensity = Decimal(Scene::FogDensity);

// Half the view's height at eye depth 1: tan of half the vertical field of view.
inline double HalfViewTan() { return std::tan(Scene::FieldOfViewDegrees / 2 * Pi / 180); }

}  // namespace SceneFit

}  // namespace datagen
