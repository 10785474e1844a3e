// Scene: every number that places, colours and populates the default scene, in one place. The
// shell and the flock draw with them; the data generator, its preview and the tests fit the
// shipped floor and backdrop to the view with them, so moving the camera here moves all of them.
// Plain constexpr values (and the backdrop's widening rule); depends only on Boid (for the
// creature's traits).
#pragma once

#include <cstdint>

#include "Boid.h"

namespace Scene {

// ---- Camera and projection ------------------------------------------------------------------

inline constexpr double FieldOfViewDegrees = 45.0;  // vertical field of view
inline constexpr double NearPlane = 1.0;            // near clipping distance
inline constexpr double FarPlane = 100.0;           // far clipping distance
// Each frame's first move of the modelview matrix (the camera), in eye space.
inline constexpr float CameraTranslation[3] = {-4.5f, -2.0f, -5.0f};

// ---- Flock ----------------------------------------------------------------------------------

inline constexpr float FlockTiltDegrees = -45.0f;      // turn of the flock's plane about x
inline constexpr double FlockWorldWidth = 1000.0;       // the flock's world, in world units
inline constexpr double FlockWorldHeight = 1000.0;
// The camera fits the flock's world to a view of this aspect (width / height) or narrower. A wider
// view widens the world by the factor its aspect exceeds this one, about the world's middle, so
// at every depth of the flock's plane the school spans as much of the view's width as it does at
// 4:3, out to the sides of the widest screen.
inline constexpr double FlockFullAspect = 4.0 / 3.0;
constexpr double FlockWorldWidthFor(double Aspect) {
  return Aspect > FlockFullAspect ? FlockWorldWidth * (Aspect / FlockFullAspect) : FlockWorldWidth;
}
inline constexpr double WorldUnitsPerSceneUnit = 100.0;  // world position / this = scene position
inline constexpr double NoseLead = 20.0;  // the bearing is taken to this far ahead, world units
inline constexpr float CreatureScale = 0.005f;          // model units to scene units
// A sphere of this radius around a creature's place holds it in any pose (scene units; the fish
// is some 0.73 long and the predator some 1.1, and both bend as they swim): beyond the view by
// more than this, it cannot be seen. The generator keeps every creature inside it.
inline constexpr double CreatureReach = 0.6;
inline constexpr double CreatureLength = 0.73;  // snout to tail tips, scene units
// Creatures drawn shorter than this many pixels use the far model, which up to that size looks
// the same as the full one (measured by the tests); beyond it the difference starts to show.
inline constexpr double FarDetailPixels = 32;
// Creatures drawn shorter than this many pixels (and at least FarDetailPixels) use the middle
// model, which up to that size looks the same as the full one (measured by the tests).
inline constexpr double MiddleDetailPixels = 160;
// Creatures are shaded grey 1 - y / this, y being their scene position across the plane.
inline constexpr float CreatureShadeDepth = 10.0f;

// ---- Backdrop -------------------------------------------------------------------------------

// Where the backdrop quad is drawn from (after the camera move), and its corners about that point
// in the quad's plane; its texture is mirrored left to right.
inline constexpr float BackdropTranslation[3] = {4.5f, 4.0f, -8.0f};
inline constexpr float BackdropHalfWidth = 8.0f;
inline constexpr float BackdropBottom = -1.0f;
inline constexpr float BackdropTop = 4.0f;
// The quad spans every view up to this aspect (width / height) with a margin at each side. A wider
// view widens it, and its texture coordinates alike, by the factor its aspect exceeds this one: the
// picture repeats across the extra width and the quad's sides stay out of view on every screen.
inline constexpr double BackdropFullAspect = 4.0 / 3.0;
constexpr double BackdropWidening(double Aspect) {
  return Aspect > BackdropFullAspect ? Aspect / BackdropFullAspect : 1.0;
}

// ---- Terrain --------------------------------------------------------------------------------

inline constexpr float TerrainTranslation[3] = {6.5f, -2.0f, -1.5f};  // after the camera move
inline constexpr float TerrainTiltDegrees = -70.0f;                   // turn about x
inline constexpr float TerrainScale = 0.05f;                          // model units to scene units
// Every animated model is drawn turned this far about x first (model y up, scene z up).
inline constexpr float ModelUprightDegrees = 90.0f;

// ---- Colours, fog and the fixed pipeline -----------------------------------------------------

inline constexpr float ClearColor[4] = {0.3f, 0.3f, 1.0f, 0.0f};
inline constexpr float FogColor[4] = {0.0f, 0.0f, 0.8f, 0.0f};
inline constexpr float FogDensity = 0.04f;      // exponential-squared fog
inline constexpr float AlphaReference = 0.4f;  // fragments with alpha above this are drawn

// ---- Animation and population ---------------------------------------------------------------

inline constexpr double AnimationFrameRate = 24.0;  // model frames per second of real time
inline constexpr int HeadlessFrameRate = 30;        // animation steps per second of a seeded render
inline constexpr std::int32_t DefaultBoidCount = 40;  // "Num" when the configuration has none
// Every creature is posed and drawn once per frame, and each scan visits the boids within reach
// (through the grid; all the others on the reference path): a school gathered in a few cells, or
// the reference path, costs the square of the count. Beyond this the screen saver would crawl or
// exhaust memory.
inline constexpr std::int32_t MaxBoidCount = 10000;

// Predators the Rivals setting adds after the school; 0, the default, adds none and leaves the
// flock exactly as without the setting.
inline constexpr std::int32_t MaxRivalCount = 100;

// The creature of the default scene: one kind, every boid a mate of every other.
inline constexpr TBoidTraits CreatureTraits{
    .MaxSpeed = 0.8,
    .MinSpeed = 0.5,
    .TurnRate = 0.01,
    .Acceleration = 0.05,
    .ViewRadius = 60.0,
    .SeparationRadius = 50.0,
    .PursueRatio = 1.0,
    .FleeRatio = 1.0,
    .Color = {0.99f, 0.99f, 0.99f},
};

// Decide compares r = (mates in view + 1) / rivals in view with a boid's two ratios: above
// PursueRatio it avoids and pursues, below FleeRatio it flees, in between it holds its course.

// The school when predators share its water: the same fish, wary. A school holds at most
// MaxBoidCount fish, so r is at most MaxBoidCount (every other fish in view, one predator): with
// both ratios just above that, r never exceeds PursueRatio and always falls short of FleeRatio,
// and a fish flees every predator it sees, however many mates are around it. It also keeps watch
// to 80 instead of 60: the predator is some 110 long, so at 60 a fish would notice it only when
// already beside it.
inline constexpr TBoidTraits WaryCreatureTraits = [] {
  TBoidTraits Traits = CreatureTraits;
  Traits.ViewRadius = 80.0;
  Traits.PursueRatio = double(MaxBoidCount) + 1.0;
  Traits.FleeRatio = double(MaxBoidCount) + 1.0;
  return Traits;
}();

// The predator (model slot 1), of a colour of its own, so every fish is its rival and it every
// fish's. With a fish in view r is positive, so PursueRatio 0 makes every sighting a chase, and
// no number of pack-mates tips it into flight (FleeRatio 0 is never undercut). Pursuit is Avoid
// and then Pursue: the turn away from the nearest fish and the turn towards the fishes' mean
// cancel when both lie on the same side, so the predator gains on a school through the rest:
// - it sees far (400, a fish 80): the mean of what it sees is the middle of a school rather than
//   the nearest fish, and it turns that way twice over whenever the nearest fish lies on the
//   other side of its course; it also sights a school long before the fish sight it;
// - it turns three times as sharply as a fish (TurnRate 0.03), so it comes about faster than the
//   fish it follows can turn away;
// - Pursue matches its speed to the fishes' mean in small steps (0.01), between a slow 0.4 (Avoid
//   drops it back behind fish that swim its way) and 0.9, a little above a fleeing fish's 0.8: it
//   keeps up with a school but does not run it down;
// - it keeps 150 from another predator, so a pack spreads round a school instead of in a line.
inline constexpr TBoidTraits PredatorTraits{
    .MaxSpeed = 0.9,
    .MinSpeed = 0.4,
    .TurnRate = 0.03,
    .Acceleration = 0.01,
    .ViewRadius = 400.0,
    .SeparationRadius = 150.0,
    .PursueRatio = 0.0,
    .FleeRatio = 0.0,
    .Color = {0.35f, 0.40f, 0.45f},
};

}  // namespace Scene
