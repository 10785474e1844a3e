// Flock: owns the boids and the animated creatures that draw them, one per model slot (slot 0 the
// fish every boid of the default scene shares; the predator, when there is one, in slot 1). Each
// frame it steps every boid once (scan, decide, move, wrap into the world; the scans through the
// neighbour grid unless the reference path is asked for) and draws each one with its slot's
// creature, placed, turned to its bearing and shaded by depth, at the detail its size on screen
// needs. Depends on Boid and Grid, Animate, Scene (the world's scale and the creatures' numbers),
// Platform (the line about a simpler model that does not fit) and GL.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Animate.h"
#include "Boid.h"
#include "Grid.h"

// A new boid of Traits for model slot ModelIndex, its start heading, speed and position drawn from
// Random for a Width x Height world, as TFlock::AddBoid draws them; Random also drives its random
// walk and must outlive it. Needs no GL: the simulation can be built and stepped without the
// flock's models.
std::unique_ptr<TBoid> NewBoid(std::int32_t ModelIndex, const TBoidTraits& Traits, double Width,
                               double Height, TRandom& Random = ProcessRandom());

class TFlock {
public:
  // Seeds the flock's own random generator (from the clock, or with Seed for a reproducible flock) and loads
  // the creature into model slot 0. ModelCount must be at least 1 (by absolute value). Every
  // model of the flock comes through Load. Needs the GL context current; errors of the model
  // file pass to the caller.
  TFlock(std::int32_t ModelCount, double Height, double Width, const std::string& ModelFile,
         bool Caustics, std::optional<std::uint64_t> Seed = std::nullopt,
         TModelLoader Load = LoadModelFile);
  ~TFlock();
  TFlock(const TFlock&) = delete;
  TFlock& operator=(const TFlock&) = delete;

  // Loads a creature into model slot Slot (1 to ModelCount - 1; slot 0 holds the constructor's),
  // drawn like slot 0's: without caustics, on the paths SetReferencePaths chose. Needs the GL
  // context current; errors of the model file pass to the caller. Draws nothing from the random
  // generator.
  void LoadModel(std::int32_t Slot, const std::string& ModelFile);

  // Adds one boid whose start heading, speed and position are drawn from the random generator.
  // ModelIndex must name a filled model slot.
  void AddBoid(std::int32_t ModelIndex, const TBoidTraits& Traits);

  // One step of every boid, in list order: Scan, Decide, Move, Wrap. Sequential: a boid sees the
  // ones before it already moved. The scans go through a neighbour grid, or with the reference
  // paths over the whole flock; both give the same flock, bit for bit.
  void Update();
  // Draws every boid with its model slot's creature; leaves the texturing state the model left.
  // Boids wholly out of view are not drawn (their clocks run on as if they were), unless the
  // reference paths are on.
  void Draw();

  // Loads a simpler model of slot Slot's creature for Detail (Middle or Far). When it cannot be
  // loaded or does not fit, a diagnostic says so and the full model is drawn in its place.
  void LoadSimplerModel(std::size_t Slot, TAnimate::TDetail Detail, const std::string& FileName);
  // Creatures drawn shorter than Far pixels use their far model, shorter than Middle their middle
  // one, if any (0: never). With Far 0 neither is used.
  void SetDetailPixels(double Far, double Middle) {
    FFarDetailPixels = Far;
    FMiddleDetailPixels = Far > 0 ? Middle : 0;
  }
  // Leaves out the back faces of the creatures' closed meshes on the fast paths (see
  // TModel::TBackFaces), except for a creature that reaches in front of the near plane, whose
  // inside could show.
  void SetSkipsBackFaces(bool Skip) { FSkipsBackFaces = Skip; }

  // The plain reference paths (the full scan, immediate-mode drawing) instead of the fast ones.
  void SetReferencePaths(bool Reference);

  // One correction per bound; a position exactly on Width or Height stays.
  void Wrap(TBoid& Boid) const;

  // Widens or narrows the world to Width about its middle: in the flock's plane its left edge
  // moves out (or in) by half the change and every boid keeps its place there, a boid beyond a
  // narrower world wrapping into it. The same width changes nothing, bit for bit; with no boids
  // yet, the new ones are drawn for the new world.
  void FitWidth(double Width);
  double Width() const { return FWidth; }
  double Height() const { return FHeight; }
  // Where the world's left edge lies in the flock's plane, in world units: 0 until FitWidth moves
  // it. A boid at world x is drawn at plane x (x + Left()) / WorldUnitsPerSceneUnit.
  double Left() const { return FLeft; }

  // Compass bearing in degrees from (X1, Y1) to (X2, Y2): 0 along +y, 90 along +x.
  static float BearingDegrees(float X1, float Y1, float X2, float Y2);

  // What the last Draw drew: creatures in view, their mean length on screen in pixels (0 when
  // unknown) and the triangles sent for them.
  struct TDrawCounts {
    std::size_t Creatures = 0, Triangles = 0;
    double MeanPixels = 0;
  };
  const TDrawCounts& LastDrawCounts() const { return FDrawCounts; }

  const std::vector<std::unique_ptr<TBoid>>& Boids() const { return FBoids; }
  std::int32_t ModelCount() const { return FModelCount; }

private:
  std::int32_t FModelCount = 0;
  TRandom FRandom;  // before the boids, which use it
  std::vector<std::unique_ptr<TBoid>> FBoids;
  double FHeight = 0;
  double FWidth = 0;
  double FLeft = 0;
  TModelLoader FLoad;
  std::vector<std::unique_ptr<TAnimate>> FModels;
  bool FReferencePaths = false;
  double FFarDetailPixels = 0, FMiddleDetailPixels = 0;
  bool FSkipsBackFaces = false;
  TDrawCounts FDrawCounts;
  TScanPath FScanPath = TScanPath::Grid;
  TNeighbourGrid FGrid;

  // The model for a creature drawn Pixels long (0: unknown).
  TAnimate::TDetail DetailFor(double Pixels) const;
};
