// The sea floor "Vadrel.pp2": one mesh of 38 x 38 vertices, no bones, one material whose colour
// map is the sand ".\Vadrel202.bmp" (the relative name sends the program through its fallback
// lookup in the data folder). Flat in the model's x-z plane with height along +y.
//
// Where the scene puts it (see SceneFit): a model point p lands at the eye-space origin
// TerrainOrigin + TerrainScale Rx(TerrainTiltDegrees) p, seen through the scene's perspective.
// The grid is laid out in eye depth: rows from just behind the bottom edge of the view towards
// deep in the fog, each row as wide as the view at its depth (for any aspect up to CoverAspect)
// plus a margin, so no edge of the floor is ever in view. The grid stops at the first row behind
// the line where the backdrop's bottom edge meets the floor: the floor beyond lies flat behind the
// backdrop, which hides it on every screen, and drawing it would only cost time. Texture coordinates follow the model x and z
// (turned, see FloorTextureAt), so the sand and the caustic frames repeat evenly over the whole
// floor.
#include <algorithm>
#include <array>
#include <cmath>

#include "DataGen.h"

namespace datagen {

namespace {

constexpr int GridSize = 38;  // columns, and rows had the grid gone on to FarDepth
constexpr double Scale = SceneFit::TerrainScale;
constexpr double OriginX = SceneFit::TerrainOrigin[0];
constexpr double NearDepth = 5.0;   // the bottom edge of the view meets the floor at depth 8.2
constexpr double FarDepth = FloorFarDepth;  // fog leaves less than 0.1 % of the floor's colour
// Widest view (width / height) whose sides stay covered: two 16:9 screens side by side (32:9)
// and some to spare.
constexpr double CoverAspect = 4.0;
constexpr double SideMargin = 1.5;  // eye units beyond the side of the view, for the dunes
constexpr double DuneHeight = 5.0, SwellHeight = 2.5, RippleHeight = 0.7;  // model units
constexpr double RippleFadeDepth = 14;  // ripples fade out where the grid grows too coarse
// The dunes flatten out over this many eye units of depth before the backdrop's bottom edge meets
// the floor, and the floor lies flat beyond: the backdrop's painted floor, which cannot follow the
// dunes of every screen's width, continues a flat floor there. (Unlit, the dunes show only by how
// they bend the sand; through the fog at that depth, not at all.)
constexpr double DuneFadeLength = 8, DuneFadeMargin = 2;
constexpr std::uint64_t TerrainSeed = 202;

double Height(double X, double Z, double Depth) {
  const double Warp = TiledFbm(X / 400, Z / 400, 64, 3, 0.5, TerrainSeed) - 0.5;
  double H = DuneHeight * std::sin(2 * Pi * (0.8 * X + 0.6 * Z) / 520 + 4 * Warp);
  H += SwellHeight * std::sin(2 * Pi * (-0.45 * X + 0.89 * Z) / 230 + 2.5 * Warp + 1.0);
  const double Flat = FloorDepthBehindBackdrop(0) - DuneFadeMargin;
  H *= std::clamp((Flat - Depth) / DuneFadeLength, 0.0, 1.0);
  const double Fade = std::clamp((RippleFadeDepth - Depth) / 4, 0.0, 1.0);
  H += RippleHeight * Fade * std::sin(2 * Pi * (0.3 * X + 0.95 * Z) / 34 + 3 * Warp);
  return H;
}

// Rows spaced evenly on a log scale of depth: about the same size on screen near and far.
double RowDepth(int Row) {
  return NearDepth * std::pow(FarDepth / NearDepth, double(Row) / (GridSize - 1));
}

// The rows up to and including the first one wholly behind the backdrop.
int RowCount() {
  int Rows = 1;
  while (Rows < GridSize && RowDepth(Rows - 1) <= FloorDepthBehindBackdrop(0)) ++Rows;
  return Rows;
}

}  // namespace

TModelFile MakeTerrain() {
  TModelMesh Mesh;
  Mesh.Name = "Terrain";
  const int Rows = RowCount();
  for (int Row = 0; Row < Rows; ++Row) {
    const double Depth = RowDepth(Row);
    const double Z = FloorModelZAtDepth(Depth);
    const double HalfWidth = SceneFit::HalfViewTan() * CoverAspect * Depth + SideMargin;  // eye units
    for (int Col = 0; Col < GridSize; ++Col) {
      const double EyeX = -HalfWidth + 2 * HalfWidth * Col / (GridSize - 1);
      const double X = (EyeX - OriginX) / Scale;
      const std::array<double, 2> Texture = FloorTextureAt(X, Z);
      Mesh.Vertices.push_back({float(X), float(Height(X, Z, Depth)), float(Z), float(Texture[0]),
                               float(Texture[1]), -1});
    }
  }
  for (int Row = 0; Row + 1 < Rows; ++Row)
    for (int Col = 0; Col + 1 < GridSize; ++Col) {
      const int A = Row * GridSize + Col, B = A + 1, C = A + GridSize, D = C + 1;
      // Rows run towards -z (away from the viewer), columns towards +x; both face +y.
      Mesh.Triangles.push_back({{A, B, C}, {0, 0, 0}});
      Mesh.Triangles.push_back({{B, D, C}, {0, 0, 0}});
    }
  ComputeSmoothNormals(Mesh);

  TModelFile Model;
  Model.Frames = 1;  // nothing moves; the clock only runs
  Model.StartFrame = 1;
  Model.Meshes = {Mesh};
  Model.Materials = {{"Sand", ".\\Vadrel202.bmp"}};
  return Model;
}

void WriteTerrain(const std::string& Folder) {
  WriteFile(Folder + "/Vadrel.pp2", FormatModel(MakeTerrain(), "Vadrel sea floor: made by vadrel_datagen"));
}

}  // namespace datagen
