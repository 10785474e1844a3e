// vadrel_preview: a small software renderer for looking at the generated data without the
// program: it reads the model files back from the data folder with the program's own reader,
// which also poses them (bones from key frames, vertices bound to bone space), and draws
//   vadrel_preview <data folder> creature <out.bmp> [model]
//       the creature (or another model of the folder, such as Vadrel.pp3, the predator) from the
//       side and from above at four moments of its swim cycle;
//   vadrel_preview <data folder> scene <width> <height> <caustic frame> <out.bmp>
//       the whole view as the program frames it (the numbers of Scene.h): a few creatures, the
//       backdrop and the sea floor with sand, caustic light and fog.
// Nothing here is part of the program; it exists to tune the generator.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "DataGen.h"
#include "Model.h"
#include "Scene.h"

using namespace datagen;

namespace {

// ---- The models, read and posed by the program's model code -------------------------------------

// A model of the data folder read as the program reads it, without textures: the preview samples
// the pictures itself.
std::unique_ptr<TModel> ReadModel(const std::string& Path) {
  auto Model = std::make_unique<TModel>(false);
  if (!Model->LoadFromMemory(Path, ReadFile(Path), TModel::TTextures::Skip))
    throw std::runtime_error(Path + ": a bone's parent names no bone");
  return Model;
}

// Each mesh's vertices where the program draws them: Model posed at frame Time of its cycle.
using TPosed = std::vector<std::vector<std::array<double, 3>>>;
TPosed Pose(TModel& Model, float Time) {
  Model.Advance(Time - Model.CurrentFrame());
  TPosed Out;
  for (int M = 0; M < Model.MeshCount(); ++M) {
    Out.emplace_back();
    for (const TVec& V : Model.Mesh(M).Vertices) {
      float P[3] = {V.X, V.Y, V.Z};
      if (V.BoneIndex != -1) {
        const TMatrix& A = Model.Bone(V.BoneIndex).Absolute;
        A.ApplyRotation(P);
        A.ApplyTranslation(P);
      }
      Out.back().push_back({P[0], P[1], P[2]});
    }
  }
  return Out;
}

// ---- Affine 4x4 (column-major) for the views ----------------------------------------------------
using TMat = std::array<double, 16>;
TMat Identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }
TMat Mul(const TMat& A, const TMat& B) {
  TMat P{};
  for (int J = 0; J < 4; ++J)
    for (int I = 0; I < 4; ++I)
      for (int K = 0; K < 4; ++K) P[4 * J + I] += A[4 * K + I] * B[4 * J + K];
  return P;
}
std::array<double, 3> Apply(const TMat& M, double X, double Y, double Z) {
  return {M[0] * X + M[4] * Y + M[8] * Z + M[12], M[1] * X + M[5] * Y + M[9] * Z + M[13],
          M[2] * X + M[6] * Y + M[10] * Z + M[14]};
}
TMat Translate(double X, double Y, double Z) {
  TMat M = Identity();
  M[12] = X, M[13] = Y, M[14] = Z;
  return M;
}
TMat Translate(const float (&Offset)[3]) { return Translate(Offset[0], Offset[1], Offset[2]); }
TMat ScaleBy(double S) {
  TMat M = Identity();
  M[0] = M[5] = M[10] = S;
  return M;
}
TMat RotateDeg(double Degrees, int Axis) {
  const double A = Degrees * Pi / 180, C = std::cos(A), S = std::sin(A);
  TMat M = Identity();
  const int I = (Axis + 1) % 3, J = (Axis + 2) % 3;
  M[4 * I + I] = C, M[4 * I + J] = S, M[4 * J + I] = -S, M[4 * J + J] = C;
  return M;
}

TRgb Rgb(const float (&Colour)[4]) { return {Colour[0], Colour[1], Colour[2]}; }

// ---- Rasteriser ---------------------------------------------------------------------------------
struct TMipTexture {
  std::vector<TImage> Levels;
  explicit TMipTexture(TImage Base) {
    Levels.push_back(std::move(Base));
    while (Levels.back().Width > 1 && Levels.back().Height > 1) {
      const TImage& P = Levels.back();
      TImage N(P.Width / 2, P.Height / 2);
      for (int Y = 0; Y < N.Height; ++Y)
        for (int X = 0; X < N.Width; ++X)
          N.At(X, Y) = (P.At(2 * X, 2 * Y) + P.At(2 * X + 1, 2 * Y) + P.At(2 * X, 2 * Y + 1) + P.At(2 * X + 1, 2 * Y + 1)) * 0.25f;
      Levels.push_back(std::move(N));
    }
  }
  // V counts rows from the top of the picture. Footprint: base-level texels per pixel.
  TRgb Sample(double U, double V, double Footprint) const {
    const int Level = std::clamp(int(std::log2(std::max(Footprint, 1.0))), 0, int(Levels.size()) - 1);
    const TImage& I = Levels[Level];
    return I.Sample(float((U - std::floor(U)) * I.Width), float((V - std::floor(V)) * I.Height));
  }
};

TImage LoadPicture(const std::string& Path) {
  TImage Image;
  if (!DecodeBmp(ReadFile(Path), Image)) throw std::runtime_error("not a 24-bit BMP: " + Path);
  return Image;
}

struct TVertexOut {
  double X, Y, Z, W;  // clip space
  double U, V, Shade, EyeDepth;
};

class TCanvas {
public:
  TCanvas(int W, int H, TRgb Clear) : Colour(W, H), Depth(std::size_t(W) * H, 1e30) {
    for (TRgb& P : Colour.Pixels) P = Clear;
  }
  TImage Colour;
  std::vector<double> Depth;

  // Draws a triangle with texture Tex (may be null) times Tint times a second texture Tex2 (may be
  // null), then fog of the given density towards FogColour.
  void Triangle(TVertexOut A, TVertexOut B, TVertexOut C, const TMipTexture* Tex, const TMipTexture* Tex2,
                TRgb Tint, double FogDensity, TRgb FogColour) {
    std::vector<TVertexOut> Poly = {A, B, C};
    // Clip against the near plane z > -w.
    std::vector<TVertexOut> Clipped;
    for (std::size_t I = 0; I < Poly.size(); ++I) {
      const TVertexOut &P = Poly[I], &Q = Poly[(I + 1) % Poly.size()];
      const double Dp = P.Z + P.W, Dq = Q.Z + Q.W;
      if (Dp >= 0) Clipped.push_back(P);
      if ((Dp >= 0) != (Dq >= 0)) {
        const double T = Dp / (Dp - Dq);
        auto L = [T](double X, double Y) { return X + (Y - X) * T; };
        Clipped.push_back({L(P.X, Q.X), L(P.Y, Q.Y), L(P.Z, Q.Z), L(P.W, Q.W), L(P.U, Q.U), L(P.V, Q.V),
                           L(P.Shade, Q.Shade), L(P.EyeDepth, Q.EyeDepth)});
      }
    }
    for (std::size_t I = 1; I + 1 < Clipped.size(); ++I)
      Raster(Clipped[0], Clipped[I], Clipped[I + 1], Tex, Tex2, Tint, FogDensity, FogColour);
  }

private:
  // A corner in window space, its attributes divided by w for perspective-correct interpolation.
  struct TScreen {
    double X, Y, Z, InvW, U, V, Shade, Eye;
  };
  // The corners' weights at window point (X, Y).
  struct TWeights {
    double L0, L1, L2;
  };
  // The triangle's attributes at one pixel.
  struct TFragment {
    double U, V, Shade, Eye;
  };

  TScreen ToScreen(const TVertexOut& P) const {
    const double Iw = 1 / P.W;
    return {(P.X * Iw * 0.5 + 0.5) * Colour.Width, (0.5 - P.Y * Iw * 0.5) * Colour.Height, P.Z * Iw, Iw,
            P.U * Iw, P.V * Iw, P.Shade * Iw, P.EyeDepth * Iw};
  }

  static TWeights Weights(const TScreen (&P)[3], double Area, double X, double Y) {
    const double L1 = ((X - P[0].X) * (P[2].Y - P[0].Y) - (P[2].X - P[0].X) * (Y - P[0].Y)) / Area;
    const double L2 = ((P[1].X - P[0].X) * (Y - P[0].Y) - (X - P[0].X) * (P[1].Y - P[0].Y)) / Area;
    return {1 - L1 - L2, L1, L2};
  }

  static TFragment Interpolate(const TScreen (&P)[3], const TWeights& L) {
    auto At = [&](double TScreen::*Field) { return L.L0 * P[0].*Field + L.L1 * P[1].*Field + L.L2 * P[2].*Field; };
    const double Iw = At(&TScreen::InvW);
    return {At(&TScreen::U) / Iw, At(&TScreen::V) / Iw, At(&TScreen::Shade) / Iw, At(&TScreen::Eye) / Iw};
  }

  // Tint times the textures at pixel (Px, Py), each sampled at the mip level of its footprint.
  static TRgb Textured(const TScreen (&P)[3], double Area, double Px, double Py, const TFragment& F, TRgb Tint,
                       const TMipTexture* Tex, const TMipTexture* Tex2) {
    TRgb Out = Tint * float(F.Shade);
    if (!Tex && !Tex2) return Out;
    const TFragment Fx = Interpolate(P, Weights(P, Area, Px + 1, Py));
    const TFragment Fy = Interpolate(P, Weights(P, Area, Px, Py + 1));
    const double Du = std::max(std::hypot(Fx.U - F.U, Fy.U - F.U), 1e-9);
    const double Dv = std::max(std::hypot(Fx.V - F.V, Fy.V - F.V), 1e-9);
    for (const TMipTexture* T : {Tex, Tex2})
      if (T) {
        const TImage& Base = T->Levels[0];
        Out = Out * T->Sample(F.U, F.V, std::max(Du * Base.Width, Dv * Base.Height));
      }
    return Out;
  }

  void Raster(const TVertexOut& A, const TVertexOut& B, const TVertexOut& C, const TMipTexture* Tex,
              const TMipTexture* Tex2, TRgb Tint, double FogDensity, TRgb FogColour) {
    const int W = Colour.Width, H = Colour.Height;
    const TScreen P[3] = {ToScreen(A), ToScreen(B), ToScreen(C)};
    const double Area = (P[1].X - P[0].X) * (P[2].Y - P[0].Y) - (P[2].X - P[0].X) * (P[1].Y - P[0].Y);
    if (std::abs(Area) < 1e-12) return;
    const int X0 = std::max(0, int(std::floor(std::min({P[0].X, P[1].X, P[2].X}))));
    const int X1 = std::min(W - 1, int(std::ceil(std::max({P[0].X, P[1].X, P[2].X}))));
    const int Y0 = std::max(0, int(std::floor(std::min({P[0].Y, P[1].Y, P[2].Y}))));
    const int Y1 = std::min(H - 1, int(std::ceil(std::max({P[0].Y, P[1].Y, P[2].Y}))));
    for (int Y = Y0; Y <= Y1; ++Y)
      for (int X = X0; X <= X1; ++X) {
        const double Px = X + 0.5, Py = Y + 0.5;
        const TWeights L = Weights(P, Area, Px, Py);
        if (L.L0 < 0 || L.L1 < 0 || L.L2 < 0) continue;
        const double Z = L.L0 * P[0].Z + L.L1 * P[1].Z + L.L2 * P[2].Z;
        if (Z > 1 || Z >= Depth[std::size_t(Y) * W + X]) continue;
        const TFragment F = Interpolate(P, L);
        const TRgb Out = Textured(P, Area, Px, Py, F, Tint, Tex, Tex2);
        Depth[std::size_t(Y) * W + X] = Z;
        Colour.At(X, Y) = Mix(FogColour, Out, float(std::exp(-std::pow(FogDensity * F.Eye, 2))));
      }
  }
};

// Projection of gluPerspective(Fovy, Aspect, Near, Far).
TMat Perspective(double Fovy, double Aspect, double Near, double Far) {
  const double F = 1 / std::tan(Fovy * Pi / 360);
  TMat M{};
  M[0] = F / Aspect;
  M[5] = F;
  M[10] = (Far + Near) / (Near - Far);
  M[11] = -1;
  M[14] = 2 * Far * Near / (Near - Far);
  return M;
}

TVertexOut Project(const TMat& Proj, const TMat& ModelView, const std::array<double, 3>& P, double U, double V,
                   double Shade) {
  const auto E = Apply(ModelView, P[0], P[1], P[2]);
  TVertexOut O;
  O.X = Proj[0] * E[0] + Proj[8] * E[2];
  O.Y = Proj[5] * E[1] + Proj[9] * E[2];
  O.Z = Proj[10] * E[2] + Proj[14];
  O.W = -E[2];
  O.U = U, O.V = V, O.Shade = Shade, O.EyeDepth = std::abs(E[2]);
  return O;
}

void DrawModel(TCanvas& Canvas, const TModel& M, const TPosed& Posed, const TMat& Proj, const TMat& ModelView,
               const TMipTexture* Tex, const TMipTexture* Tex2, TRgb Tint, double Fog, bool Lit) {
  for (int Mi = 0; Mi < M.MeshCount(); ++Mi) {
    const TShape& Mesh = M.Mesh(Mi);
    const std::vector<std::array<double, 3>>& Placed = Posed[std::size_t(Mi)];
    for (const TTri& T : Mesh.Triangles) {
      const auto &A = Placed[std::size_t(T.VertexIndices[0])], &B = Placed[std::size_t(T.VertexIndices[1])],
                 &C = Placed[std::size_t(T.VertexIndices[2])];
      double Shade = 1;
      if (Lit) {  // preview only: a head light from the viewer, to see the form
        const auto Ea = Apply(ModelView, A[0], A[1], A[2]), Eb = Apply(ModelView, B[0], B[1], B[2]),
                   Ec = Apply(ModelView, C[0], C[1], C[2]);
        const double E1[3] = {Eb[0] - Ea[0], Eb[1] - Ea[1], Eb[2] - Ea[2]}, E2[3] = {Ec[0] - Ea[0], Ec[1] - Ea[1], Ec[2] - Ea[2]};
        const double N[3] = {E1[1] * E2[2] - E1[2] * E2[1], E1[2] * E2[0] - E1[0] * E2[2], E1[0] * E2[1] - E1[1] * E2[0]};
        const double L = std::sqrt(N[0] * N[0] + N[1] * N[1] + N[2] * N[2]);
        Shade = L > 0 ? 0.35 + 0.65 * std::abs(N[2] * 0.8 + N[1] * 0.6) / L : 1;
      }
      TVertexOut Out[3];
      for (int K = 0; K < 3; ++K) {
        const std::size_t Index = std::size_t(T.VertexIndices[std::size_t(K)]);
        const TVec& V = Mesh.Vertices[Index];
        // The reader keeps 1 - the file's v; TMipTexture counts rows from the top of the picture,
        // as the file's v does (the program uploads the bottom row first).
        Out[K] = Project(Proj, ModelView, Placed[Index], V.U, 1.0 - V.V, Shade);
      }
      Canvas.Triangle(Out[0], Out[1], Out[2], Tex, Tex2, Tint, Fog, Rgb(Scene::FogColor));
    }
  }
}

void SaveBmp(const TImage& Image, const std::string& Path) { WriteFile(Path, EncodeBmp(Image)); }

// Half-size box filter: the canvas is drawn at twice the resolution for smooth edges.
TImage Downsample(const TImage& In) {
  TImage Out(In.Width / 2, In.Height / 2);
  for (int Y = 0; Y < Out.Height; ++Y)
    for (int X = 0; X < Out.Width; ++X)
      Out.At(X, Y) = (In.At(2 * X, 2 * Y) + In.At(2 * X + 1, 2 * Y) + In.At(2 * X, 2 * Y + 1) + In.At(2 * X + 1, 2 * Y + 1)) * 0.25f;
  return Out;
}

int PreviewCreature(const std::string& Folder, const std::string& OutPath, const std::string& Name) {
  const std::unique_ptr<TModel> M = ReadModel(Folder + "/" + Name);
  const TMipTexture Skin(LoadPicture(Folder + "/" + M->Material(0).TextureFile));
  const int Cell = 400;
  const float Cycle = M->TotalFrames() - 1;
  const float Times[] = {1, 1 + Cycle / 4, 1 + Cycle / 2, 1 + Cycle * 3 / 4};
  // Far enough back that the whole model fits the view.
  double Reach = 0;
  for (const auto& Mesh : Pose(*M, 1))
    for (const auto& P : Mesh) Reach = std::max({Reach, std::abs(P[0]), std::abs(P[1]), std::abs(P[2])});
  const double Distance = std::max(420.0, 1.1 * Reach / std::tan(12.5 * Pi / 180));
  TImage Sheet(Cell * 4, Cell * 2);
  for (int Col = 0; Col < 4; ++Col) {
    const TPosed Posed = Pose(*M, Times[Col]);
    for (int Row = 0; Row < 2; ++Row) {
      TCanvas Canvas(Cell * 2, Cell * 2, Rgb(Scene::ClearColor));
      // Side view (from +x, nose to the left) and top view (from +y, nose up).
      const TMat View = Row == 0 ? RotateDeg(-90, 1) : Mul(RotateDeg(90, 2), RotateDeg(90, 0));
      const TMat ModelView = Mul(Translate(0, 0, -Distance), View);
      DrawModel(Canvas, *M, Posed, Perspective(25, 1, 10, 1000), ModelView, &Skin, nullptr, {1, 1, 1}, 0, true);
      const TImage Small = Downsample(Canvas.Colour);
      for (int Y = 0; Y < Cell; ++Y)
        for (int X = 0; X < Cell; ++X) Sheet.At(Col * Cell + X, Row * Cell + Y) = Small.At(X, Y);
    }
  }
  SaveBmp(Sheet, OutPath);
  return 0;
}

// A few creatures spread over the flock's plane at assorted headings and phases, placed as the
// flock places them in its world fitted to a view of Aspect.
void DrawCreatures(TCanvas& Canvas, TModel& Creature, const TMipTexture& Skin, const TMat& Proj, const TMat& Camera,
                   double Aspect) {
  const double Width = Scene::FlockWorldWidthFor(Aspect) / Scene::WorldUnitsPerSceneUnit;
  const double Left = (Scene::FlockWorldWidth / Scene::WorldUnitsPerSceneUnit - Width) / 2;
  const double Height = Scene::FlockWorldHeight / Scene::WorldUnitsPerSceneUnit;
  datagen::TRandom Random(7);
  const TMat FlockPlane = Mul(Camera, RotateDeg(Scene::FlockTiltDegrees, 0));
  for (int I = 0; I < 24; ++I) {
    const double Px = Left + Random.Range(0, Width), Py = Random.Range(0, Height), Bearing = Random.Range(0, 360);
    const TPosed Posed = Pose(Creature, float(Random.Range(1, Creature.TotalFrames())));
    TMat Mv = Mul(FlockPlane, Translate(Px, Py, 0));
    Mv = Mul(Mv, ScaleBy(Scene::CreatureScale));
    Mv = Mul(Mv, RotateDeg(-Bearing, 2));
    Mv = Mul(Mv, RotateDeg(Scene::ModelUprightDegrees, 0));
    const float Grey = float(1 - Py / Scene::CreatureShadeDepth);
    DrawModel(Canvas, Creature, Posed, Proj, Mv, &Skin, nullptr, {Grey, Grey, Grey}, Scene::FogDensity, false);
  }
}

// The backdrop quad, its picture mirrored left to right, widened with its texture coordinates on
// a view wider than 4:3 as the program widens it.
void DrawBackdrop(TCanvas& Canvas, const TMipTexture& Backdrop, const TMat& Proj, const TMat& Camera,
                  double Aspect) {
  const TMat Mv = Mul(Camera, Translate(Scene::BackdropTranslation));
  const double Widening = Scene::BackdropWidening(Aspect);
  const double Half = Scene::BackdropHalfWidth * Widening, Bottom = Scene::BackdropBottom, Top = Scene::BackdropTop;
  const double FirstU = (1 - Widening) / 2, LastU = (1 + Widening) / 2;
  const TVertexOut A = Project(Proj, Mv, {Half, Bottom, 0}, FirstU, 1, 1),
                   B = Project(Proj, Mv, {Half, Top, 0}, FirstU, 0, 1);
  const TVertexOut C = Project(Proj, Mv, {-Half, Top, 0}, LastU, 0, 1),
                   D = Project(Proj, Mv, {-Half, Bottom, 0}, LastU, 1, 1);
  Canvas.Triangle(A, B, C, &Backdrop, nullptr, {1, 1, 1}, Scene::FogDensity, Rgb(Scene::FogColor));
  Canvas.Triangle(A, C, D, &Backdrop, nullptr, {1, 1, 1}, Scene::FogDensity, Rgb(Scene::FogColor));
}

// The sea floor with sand and caustic light.
void DrawTerrain(TCanvas& Canvas, TModel& Terrain, const TMipTexture& Sand, const TMipTexture& Caustic,
                 const TMat& Proj, const TMat& Camera) {
  TMat Mv = Mul(Camera, Translate(Scene::TerrainTranslation));
  Mv = Mul(Mv, RotateDeg(Scene::TerrainTiltDegrees, 0));
  Mv = Mul(Mv, ScaleBy(Scene::TerrainScale));
  Mv = Mul(Mv, RotateDeg(Scene::ModelUprightDegrees, 0));
  const TPosed Posed = Pose(Terrain, 1);
  DrawModel(Canvas, Terrain, Posed, Proj, Mv, &Sand, &Caustic, {1, 1, 1}, Scene::FogDensity, false);
}

int PreviewScene(const std::string& Folder, int Width, int Height, int CausticFrame, const std::string& OutPath) {
  const std::unique_ptr<TModel> Creature = ReadModel(Folder + "/Vadrel.pp1");
  const std::unique_ptr<TModel> Terrain = ReadModel(Folder + "/Vadrel.pp2");
  const TMipTexture Skin(LoadPicture(Folder + "/" + Creature->Material(0).TextureFile));
  std::string SandName = Terrain->Material(0).TextureFile;
  if (SandName.rfind(".\\", 0) == 0) SandName = SandName.substr(2);
  const TMipTexture Sand(LoadPicture(Folder + "/" + SandName));
  const TMipTexture Backdrop(LoadPicture(Folder + "/Vadrel200.bmp"));
  const int Frames = TMaterial::CausticFrameCount;
  const TMipTexture Caustic(LoadPicture(Folder + "/Vadrel" + std::to_string(100 + CausticFrame % Frames) + ".bmp"));

  TCanvas Canvas(Width * 2, Height * 2, Rgb(Scene::ClearColor));
  const double Aspect = double(Width) / Height;
  const TMat Proj = Perspective(Scene::FieldOfViewDegrees, Aspect, Scene::NearPlane, Scene::FarPlane);
  const TMat Camera = Translate(Scene::CameraTranslation);
  DrawCreatures(Canvas, *Creature, Skin, Proj, Camera, Aspect);
  DrawBackdrop(Canvas, Backdrop, Proj, Camera, Aspect);
  DrawTerrain(Canvas, *Terrain, Sand, Caustic, Proj, Camera);
  SaveBmp(Downsample(Canvas.Colour), OutPath);
  return 0;
}

}  // namespace

int main(int Argc, char** Argv) {
  try {
    if ((Argc == 4 || Argc == 5) && std::string(Argv[2]) == "creature")
      return PreviewCreature(Argv[1], Argv[3], Argc == 5 ? Argv[4] : "Vadrel.pp1");
    if (Argc == 7 && std::string(Argv[2]) == "scene")
      return PreviewScene(Argv[1], std::atoi(Argv[3]), std::atoi(Argv[4]), std::atoi(Argv[5]), Argv[6]);
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "vadrel_preview: %s\n", Error.what());
    return 1;
  }
  std::fprintf(stderr,
               "usage: %s <data folder> creature <out.bmp> [model]\n"
               "       %s <data folder> scene <width> <height> <caustic frame> <out.bmp>\n",
               Argv[0], Argv[0]);
  return 2;
}
