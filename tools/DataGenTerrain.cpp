// The sea floor "Vadrel.pp2": one mesh of 38 columns of vertices, no bones, one material whose
// colour map is the sand ".\Vadrel202.bmp" (the relative name sends the program through its
// fallback lookup in the data folder). Near the viewer flat in the model's x-z plane with height
// along +y.
//
// Where the scene puts it (see SceneFit): a model point p lands at the eye-space origin
// TerrainOrigin + TerrainScale Rx(TerrainTiltDegrees) p, seen through the scene's perspective.
// The grid is laid out in eye space, each row as wide as the view at its depth (for any aspect up
// to CoverAspect) plus a margin, so no side of the floor is ever in view. Near the viewer the rows
// lie in the model's x-z plane, from just behind the bottom edge of the view. That plane would
// climb high up the view; instead, from BendDepth on the floor bends down and levels out so that
// its far rows close in on the line where the backdrop's bottom edge stands, reaching it some 80
// units away, where the fog has left nothing of the floor: the floor meets the backdrop at its own
// horizon, in the fog's colour, and the backdrop's bottom edge, painted in that colour, draws no
// line. The last row lies just past that edge, behind the backdrop, which hides it on every screen.
// Texture coordinates follow the model x and z (turned, see FloorTextureAt), so the sand and the
// caustic frames repeat evenly over the whole floor.
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "DataGen.h"

namespace datagen {

namespace {

constexpr int GridSize = 38;  // columns, and rows had the plane gone on to FarDepth
constexpr double Scale = SceneFit::TerrainScale;
constexpr double OriginX = SceneFit::TerrainOrigin[0];
constexpr double NearDepth = 5.0;   // the bottom edge of the view meets the floor at depth 8.2
constexpr double FarDepth = 70.0;  // the plane's rows are spaced as if they went on to it
// Widest view (width / height) whose sides stay covered: two 16:9 screens side by side (32:9)
// and some to spare.
constexpr double CoverAspect = 4.0;
constexpr double SideMargin = 1.5;  // eye units beyond the side of the view, for the dunes
// The floor leaves its plane at BendDepth and reaches the backdrop's bottom edge at HorizonDepth,
// where the fog leaves some 0.004 % of its colour (not a step of one in 255); its last row lies at
// LastDepth, just past that edge and short of the far clipping plane. BendRows rows, evenly
// spaced on screen, keep the bend smooth.
constexpr double BendDepth = 19.5, HorizonDepth = 80, LastDepth = 92;
constexpr int BendRows = 20;
constexpr double DuneHeight = 5.0, SwellHeight = 2.5, RippleHeight = 0.7;  // model units
constexpr double RippleFadeDepth = 14;  // ripples fade out where the grid grows too coarse
// The dunes flatten out between these depths: on the bend a bump would lift the far floor above
// the backdrop's edge while the fog still shows it. (Unlit, the dunes show only by how they bend
// the sand; that far, hardly at all.)
constexpr double DuneFadeStart = 16, DuneFadeEnd = 24;
constexpr std::uint64_t TerrainSeed = 202;

double Height(double X, double Z, double Depth) {
  const double Warp = TiledFbm(X / 400, Z / 400, 64, 3, 0.5, TerrainSeed) - 0.5;
  double H = DuneHeight * std::sin(2 * Pi * (0.8 * X + 0.6 * Z) / 520 + 4 * Warp);
  H += SwellHeight * std::sin(2 * Pi * (-0.45 * X + 0.89 * Z) / 230 + 2.5 * Warp + 1.0);
  H *= std::clamp((DuneFadeEnd - Depth) / (DuneFadeEnd - DuneFadeStart), 0.0, 1.0);
  const double Fade = std::clamp((RippleFadeDepth - Depth) / 4, 0.0, 1.0);
  H += RippleHeight * Fade * std::sin(2 * Pi * (0.3 * X + 0.95 * Z) / 34 + 3 * Warp);
  return H;
}

// Rows of the plane spaced evenly on a log scale of depth: about the same size on screen.
double RowDepth(int Row) {
  return NearDepth * std::pow(FarDepth / NearDepth, double(Row) / (GridSize - 1));
}

// The floor's flat surface in eye space, seen along rays of slope S (eye y / depth, constant along
// a screen row). The plane Y = Oy + tan(tilt) (D + Oz) is seen at inverse depth (S - tan(tilt)) /
// Rise; the bend takes off K (S - S1)^2 beyond the plane's slope S1 at BendDepth, with K chosen so
// that the ray along the backdrop's bottom edge meets the floor at HorizonDepth. Smooth at S1 (the
// two agree in value and slope), and the inverse depth falls all the way, so the floor recedes
// steadily row by row.
class TFloorProfile {
public:
  double InverseDepth(double S) const {
    const double Beyond = std::max(0.0, S - S1);
    return (S - Tan) / Rise - K * Beyond * Beyond;
  }
  double BendSlope() const { return S1; }
  // The slope at which the floor lies at Depth on the bend.
  double SlopeAtDepth(double Depth) const {
    const double A = K, B = -1 / Rise, C = 1 / Depth - InverseDepth(S1);
    return S1 + (-B + std::sqrt(B * B - 4 * A * C)) / (2 * A);
  }
  // Eye depth and height of the floor on the ray of slope S.
  std::array<double, 2> At(double S) const {
    const double Depth = 1 / InverseDepth(S);
    return {Depth, S * Depth};
  }

private:
  const double Tan = std::tan(SceneFit::TerrainTiltDegrees * Pi / 180);
  const double Rise = SceneFit::TerrainOrigin[1] + Tan * SceneFit::TerrainOrigin[2];
  const double S1 = Tan + Rise / BendDepth;
  const double Edge = SceneFit::BackdropBottom / SceneFit::BackdropDepth;
  const double K = ((Edge - Tan) / Rise - 1 / HorizonDepth) / ((Edge - S1) * (Edge - S1));
};

// Eye depth and height of each row: the plane's rows short of BendDepth, then the bend's.
std::vector<std::array<double, 2>> EyeRows() {
  const TFloorProfile Profile;
  std::vector<std::array<double, 2>> Rows;
  const double Tan = std::tan(SceneFit::TerrainTiltDegrees * Pi / 180);
  for (int Row = 0; RowDepth(Row) < BendDepth; ++Row) {
    const double Depth = RowDepth(Row);
    Rows.push_back({Depth, SceneFit::TerrainOrigin[1] + Tan * (Depth + SceneFit::TerrainOrigin[2])});
  }
  const double First = Profile.BendSlope(), Last = Profile.SlopeAtDepth(LastDepth);
  for (int Row = 0; Row <= BendRows; ++Row) Rows.push_back(Profile.At(First + (Last - First) * Row / BendRows));
  return Rows;
}

// The model point of the flat surface at eye x, depth and height (the placement turned back).
std::array<double, 3> ModelPoint(double EyeX, double Depth, double EyeY) {
  const double Tilt = SceneFit::TerrainTiltDegrees * Pi / 180;
  const double A = (EyeY - SceneFit::TerrainOrigin[1]) / Scale;
  const double B = (-Depth - SceneFit::TerrainOrigin[2]) / Scale;
  return {(EyeX - OriginX) / Scale, A * std::cos(Tilt) + B * std::sin(Tilt),
          -A * std::sin(Tilt) + B * std::cos(Tilt)};
}

}  // namespace

TModelFile MakeTerrain() {
  TModelMesh Mesh;
  Mesh.Name = "Terrain";
  const std::vector<std::array<double, 2>> Eye = EyeRows();
  const int Rows = int(Eye.size());
  for (const auto& [Depth, EyeY] : Eye) {
    const double HalfWidth = SceneFit::HalfViewTan() * CoverAspect * Depth + SideMargin;  // eye units
    for (int Col = 0; Col < GridSize; ++Col) {
      const double EyeX = -HalfWidth + 2 * HalfWidth * Col / (GridSize - 1);
      const auto [X, Flat, Z] = ModelPoint(EyeX, Depth, EyeY);
      const std::array<double, 2> Texture = FloorTextureAt(X, Z);
      Mesh.Vertices.push_back({float(X), float(Flat + Height(X, Z, Depth)), float(Z),
                               float(Texture[0]), float(Texture[1]), -1});
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
