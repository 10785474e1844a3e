#include "Grid.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

// More cells than this per side buy nothing but memory (tiny radii in a large world).
constexpr int MaxCellsPerSide = 1024;
// Cells are sized by the typical (median) reach, so that a few boids that see far (a predator)
// do not make every scan wade through their large cells; each scan looks as many cells each way
// as its own reach needs. In a crowded world cells are half the typical reach wide: a 5 x 5
// block holds fewer boids out of reach than a 3 x 3 block of cells a whole reach wide. In a
// sparse one the 25 mostly empty cells would cost more than they save. Crowded means more boids
// per square of the typical reach than this.
constexpr double Crowded = 4.0;

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
// share the edge cells, which keeps every pair closer than Span cells within Span cells.
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
  FReaches.clear();
  for (const auto& B : Flock) FReaches.push_back(Reach(*B));
  double Typical = 0;
  if (!FReaches.empty()) {
    const auto Middle = FReaches.begin() + std::ptrdiff_t(FReaches.size() / 2);
    std::nth_element(FReaches.begin(), Middle, FReaches.end());
    Typical = *Middle;
  }
  const double Extent = std::max(std::abs(Width), std::abs(Height));
  const double Area = std::abs(Width) * std::abs(Height);
  const int PerReach = Area > 0 && double(Flock.size()) * Typical * Typical / Area > Crowded ? 2 : 1;
  FCell = std::max(Typical / PerReach, Extent / MaxCellsPerSide);
  if (!(FCell > 0) || !std::isfinite(FCell)) FCell = 1;
  FColumns = Cells(std::abs(Width), FCell);
  FRows = Cells(std::abs(Height), FCell);
  // Lists are cleared, not freed: after the first step a rebuild allocates nothing.
  FCells.resize(std::size_t(FColumns) * FRows);
  for (auto& Cell : FCells) Cell.clear();
  FPlaces.resize(Flock.size());
  FMarks.assign((Flock.size() + 63) / 64, 0);
  for (std::size_t I = 0; I < Flock.size(); ++I) {
    const double X = Flock[I]->X(), Y = Flock[I]->Y();
    TPlace& P = FPlaces[I];
    P.Cell = CellOf(X, Y);
    P.Slot = FCells[std::size_t(P.Cell)].size();
    FCells[std::size_t(P.Cell)].push_back({X, Y, I});
  }
}

void TNeighbourGrid::Moved(std::size_t Index, const TBoid& Boid) {
  TPlace& P = FPlaces[Index];
  const double X = Boid.X(), Y = Boid.Y();
  const int Cell = CellOf(X, Y);
  if (Cell == P.Cell) {
    TMember& M = FCells[std::size_t(Cell)][P.Slot];
    M.X = X;
    M.Y = Y;
    return;
  }
  // Out of the old cell by swapping the last member into its slot...
  std::vector<TMember>& Old = FCells[std::size_t(P.Cell)];
  Old[P.Slot] = Old.back();
  FPlaces[Old[P.Slot].Index].Slot = P.Slot;
  Old.pop_back();
  // ...and onto the end of the new one.
  P.Cell = Cell;
  P.Slot = FCells[std::size_t(Cell)].size();
  FCells[std::size_t(Cell)].push_back({X, Y, Index});
}

std::span<const std::size_t> TNeighbourGrid::Candidates(const TBoid& Boid) {
  const double X = Boid.X(), Y = Boid.Y();
  const double R = Reach(Boid);
  const double Limit = R * R * ReachSlack;
  const int Column = Index(X, FCell, FColumns), Row = Index(Y, FCell, FRows);
  std::size_t FirstWord = FMarks.size(), LastWord = 0;
  // Two boids closer than R lie at most ceil(R / cell) cells apart on each axis.
  const double Cells = std::ceil(R / FCell);
  const int Span = Cells >= double(std::max(FColumns, FRows)) ? std::max(FColumns, FRows)
                                                              : std::max(1, int(Cells));
  for (int CellRow = std::max(Row - Span, 0); CellRow <= std::min(Row + Span, FRows - 1); ++CellRow)
    for (int CellColumn = std::max(Column - Span, 0);
         CellColumn <= std::min(Column + Span, FColumns - 1); ++CellColumn)
      for (const TMember& M : FCells[std::size_t(CellRow) * FColumns + CellColumn]) {
        // Without a branch: whether a boid is in reach is too random to predict.
        const double DX = M.X - X, DY = M.Y - Y;
        const std::uint64_t InReach = DX * DX + DY * DY <= Limit;
        const std::size_t Word = M.Index / 64;
        FMarks[Word] |= InReach << (M.Index % 64);
        FirstWord = std::min(FirstWord, Word);
        LastWord = std::max(LastWord, Word);
      }
  // The scan adds its sums in list order: the marks give the indices ascending.
  FNear.clear();
  for (std::size_t Word = FirstWord; Word <= LastWord && Word < FMarks.size(); ++Word) {
    for (std::uint64_t Bits = FMarks[Word]; Bits != 0; Bits &= Bits - 1)
      FNear.push_back(Word * 64 + std::size_t(std::countr_zero(Bits)));
    FMarks[Word] = 0;
  }
  return FNear;
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
