#include "Grid.h"

#include <algorithm>
#include <cmath>

namespace {

// More cells than this per side buy nothing but memory (tiny radii in a large world).
constexpr int MaxCellsPerSide = 512;

// A candidate is kept when its squared distance is at most the squared reach times this: the
// scan compares sqrt(DX * DX + DY * DY) < Radius, which can hold for a square a few ulps above
// Radius squared, and a candidate too many costs nothing but its visit.
constexpr double ReachSlack = 1.0 + 1e-9;

double Reach(const TBoid& Boid) { return std::max(Boid.ViewRadius(), Boid.SeparationRadius()); }

int Cells(double Extent, double Cell) {
  if (!(Extent > 0) || !(Cell > 0)) return 1;
  return int(std::clamp(std::ceil(Extent / Cell), 1.0, double(MaxCellsPerSide)));
}

// The cell column (or row) of a coordinate, clamped into the grid: boids off the world's edge
// share the edge cells, which keeps every pair closer than a cell in neighbouring cells.
int Index(double Coordinate, double Cell, int Count) {
  if (!(Coordinate > 0)) return 0;  // also NaN
  const double I = Coordinate / Cell;
  return I >= Count - 1 ? Count - 1 : int(I);
}

}  // namespace

int TNeighbourGrid::CellOf(double X, double Y) const {
  return Index(Y, FCell, FRows) * FColumns + Index(X, FCell, FColumns);
}

void TNeighbourGrid::Rebuild(std::span<const std::unique_ptr<TBoid>> Flock, double Width,
                             double Height) {
  double Largest = 0;
  for (const auto& B : Flock) Largest = std::max(Largest, Reach(*B));
  const double Extent = std::max(std::abs(Width), std::abs(Height));
  FCell = std::max(Largest, Extent / MaxCellsPerSide);
  if (!(FCell > 0) || !std::isfinite(FCell)) FCell = 1;
  FColumns = Cells(std::abs(Width), FCell);
  FRows = Cells(std::abs(Height), FCell);
  // Lists are cleared, not freed: after the first step a rebuild allocates nothing.
  FCells.resize(std::size_t(FColumns) * FRows);
  for (auto& Cell : FCells) Cell.clear();
  FEntries.resize(Flock.size());
  for (std::size_t I = 0; I < Flock.size(); ++I) {
    TEntry& E = FEntries[I];
    E.X = Flock[I]->X();
    E.Y = Flock[I]->Y();
    E.Cell = CellOf(E.X, E.Y);
    E.Slot = FCells[std::size_t(E.Cell)].size();
    FCells[std::size_t(E.Cell)].push_back(I);
  }
}

void TNeighbourGrid::Moved(std::size_t Index, const TBoid& Boid) {
  TEntry& E = FEntries[Index];
  E.X = Boid.X();
  E.Y = Boid.Y();
  const int Cell = CellOf(E.X, E.Y);
  if (Cell == E.Cell) return;
  // Out of the old cell by swapping the last entry into its slot...
  std::vector<std::size_t>& Old = FCells[std::size_t(E.Cell)];
  const std::size_t Last = Old.back();
  Old[E.Slot] = Last;
  FEntries[Last].Slot = E.Slot;
  Old.pop_back();
  // ...and onto the end of the new one.
  E.Cell = Cell;
  E.Slot = FCells[std::size_t(Cell)].size();
  FCells[std::size_t(Cell)].push_back(Index);
}

std::span<const std::size_t> TNeighbourGrid::Candidates(const TBoid& Boid) {
  std::vector<std::size_t>& Out = FNear;
  Out.clear();
  const double X = Boid.X(), Y = Boid.Y();
  const double R = Reach(Boid);
  const double Limit = R * R * ReachSlack;
  const int Column = Index(X, FCell, FColumns), Row = Index(Y, FCell, FRows);
  for (int CellRow = std::max(Row - 1, 0); CellRow <= std::min(Row + 1, FRows - 1); ++CellRow)
    for (int CellColumn = std::max(Column - 1, 0); CellColumn <= std::min(Column + 1, FColumns - 1);
         ++CellColumn)
      for (const std::size_t I : FCells[std::size_t(CellRow) * FColumns + CellColumn]) {
        const TEntry& E = FEntries[I];
        const double DX = E.X - X, DY = E.Y - Y;
        if (DX * DX + DY * DY <= Limit) Out.push_back(I);
      }
  // The scan adds its sums in list order.
  std::sort(Out.begin(), Out.end());
  return Out;
}

void WrapIntoWorld(TBoid& Boid, double Width, double Height) {
  if (Boid.X() > Width) Boid.SetX(Boid.X() - Width);
  if (Boid.X() < 0) Boid.SetX(Boid.X() + Width);
  if (Boid.Y() > Height) Boid.SetY(Boid.Y() - Height);
  if (Boid.Y() < 0) Boid.SetY(Boid.Y() + Height);
}

void StepFlock(std::span<const std::unique_ptr<TBoid>> Flock, double Width, double Height,
               TScanPath Path, TNeighbourGrid& Grid) {
  if (Path == TScanPath::Full) {
    for (const std::unique_ptr<TBoid>& Boid : Flock) {
      Boid->Scan(Flock);
      Boid->Decide();
      Boid->Move();
      WrapIntoWorld(*Boid, Width, Height);
    }
    return;
  }
  // Rebuilt each step (linear, and allocation-free once warm), so positions set between steps
  // are always seen.
  Grid.Rebuild(Flock, Width, Height);
  for (std::size_t I = 0; I < Flock.size(); ++I) {
    TBoid& Boid = *Flock[I];
    Boid.Scan(Flock, Grid.Candidates(Boid));
    Boid.Decide();
    Boid.Move();
    WrapIntoWorld(Boid, Width, Height);
    Grid.Moved(I, Boid);
  }
}
