// Grid: the flock's step (every boid scans, decides, moves and wraps, in list order) and the
// uniform grid that lets a scan visit only the boids near it instead of the whole flock. The
// grid gives a scan the same result, bit for bit, as the full scan: it hands over every boid that
// may be in reach, in list order, and is updated as each boid moves, so a boid still sees the
// ones before it already moved. Plain C++; no GL, no SDL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Boid.h"

class TNeighbourGrid {
public:
  // Buckets every boid of Flock in a Width x Height world in cells sized by the boids' typical
  // reach (the larger of a boid's view and separation radius); a scan then looks as many cells
  // around its boid as that boid's own reach needs.
  void Rebuild(std::span<const std::unique_ptr<TBoid>> Flock, double Width, double Height);

  // Boid Index of the flock has moved: re-buckets it.
  void Moved(std::size_t Index, const TBoid& Boid);

  // Indices, ascending, of every boid that may lie closer to Boid than its larger radius: a
  // superset of what its scan needs, so TBoid::Scan(Flock, Candidates(Boid)) equals the full
  // scan. Valid until the next call.
  std::span<const std::size_t> Candidates(const TBoid& Boid);

private:
  double FCell = 1;
  int FColumns = 1, FRows = 1;
  struct TMember {
    double X = 0, Y = 0;  // where the boid was bucketed: read in cell order, without a detour
    std::size_t Index = 0;
  };
  std::vector<std::vector<TMember>> FCells;  // per cell, in no order
  struct TPlace {
    int Cell = 0;
    std::size_t Slot = 0;  // its place in that cell's list
  };
  std::vector<TPlace> FPlaces;  // per boid index
  // Candidates in the making: one bit per boid index, so they come out in list order without
  // a sort.
  std::vector<std::uint64_t> FMarks;
  std::vector<double> FReaches;  // scratch for the typical reach
  std::vector<std::size_t> FNear;  // what Candidates hands out

  int CellOf(double X, double Y) const;
};

enum class TScanPath { Full, Grid };

// One step of every boid of Flock, in list order: Scan, Decide, Move, then the wrap into the
// Width x Height world. With TScanPath::Grid the scans go through Grid, which must have been
// rebuilt for this flock (and is kept up to date); the result is the same as with Full.
void StepFlock(std::span<const std::unique_ptr<TBoid>> Flock, double Width, double Height,
               TScanPath Path, TNeighbourGrid& Grid);

// One correction per bound; a position exactly on Width or Height stays.
void WrapIntoWorld(TBoid& Boid, double Width, double Height);
