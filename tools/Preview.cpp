// vadrel_preview: a small software renderer for looking at the generated data without the
// program: it reads the model files back from the data folder, poses the creature the way the
// program does (bones from key frames, vertices bound to bone space), and draws
//   vadrel_preview <data folder> creature <out.bmp>
//       the creature from the side and from above at four moments of its swim cycle;
//   vadrel_preview <data folder> scene <width> <height> <caustic frame> <out.bmp>
//       the whole view as the program frames it: a few creatures, the backdrop and the sea floor
//       with sand, caustic light and fog.
// Nothing here is part of the program; it exists to tune the generator.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "DataGen.h"

using namespace datagen;

namespace {

// ---- Reading the model text format back ---------------------------------------------------------
class TLines {
public:
  explicit TLines(const std::string& Path) {
    std::ifstream In(Path);
    if (!In) throw std::runtime_error("cannot open " + Path);
    std::string L;
    while (std::getline(In, L)) {
      if (!L.empty() && L.back() == '\r') L.pop_back();
      Lines.push_back(L);
    }
  }
  bool AtEnd() const { return Next >= Lines.size(); }
  std::string Line() {
    if (AtEnd()) throw std::runtime_error("model file ends early");
    return Lines[Next++];
  }
  std::istringstream Numbers() { return std::istringstream(Line()); }

private:
  std::vector<std::string> Lines;
  std::size_t Next = 0;
};

std::string Unquote(std::string S) {
  S.erase(std::remove(S.begin(), S.end(), '"'), S.end());
  return S;
}

TModelFile ReadModel(const std::string& Path) {
  TLines In(Path);
  TModelFile M;
  while (!In.AtEnd()) {
    const std::string L = In.Line();
    if (L.rfind("Frames:", 0) == 0) M.Frames = std::stoi(L.substr(7));
    else if (L.rfind("Frame:", 0) == 0) M.StartFrame = std::stoi(L.substr(6));
    else if (L.rfind("Meshes: ", 0) == 0) {
      M.Meshes.resize(std::stoi(L.substr(8)));
      for (TModelMesh& Mesh : M.Meshes) {
        std::istringstream Head(Unquote(In.Line()));
        int Flags;
        Head >> Mesh.Name >> Flags >> Mesh.Material;
        Mesh.Vertices.resize(std::stoi(In.Line()));
        for (TModelVertex& V : Mesh.Vertices) In.Numbers() >> Flags >> V.X >> V.Y >> V.Z >> V.U >> V.V >> V.Bone;
        Mesh.Normals.resize(std::stoi(In.Line()));
        for (auto& N : Mesh.Normals) In.Numbers() >> N[0] >> N[1] >> N[2];
        Mesh.Triangles.resize(std::stoi(In.Line()));
        for (TModelTriangle& T : Mesh.Triangles) {
          int Smoothing;
          In.Numbers() >> Flags >> T.Vertex[0] >> T.Vertex[1] >> T.Vertex[2] >> T.Normal[0] >> T.Normal[1] >>
              T.Normal[2] >> Smoothing;
        }
      }
    } else if (L.rfind("Materials: ", 0) == 0) {
      M.Materials.resize(std::stoi(L.substr(11)));
      for (TModelMaterial& Mat : M.Materials) {
        Mat.Name = Unquote(In.Line());
        for (int I = 0; I < 6; ++I) In.Line();
        Mat.ColourMap = Unquote(In.Line());
        In.Line();
      }
    } else if (L.rfind("Bones: ", 0) == 0) {
      M.Bones.resize(std::stoi(L.substr(7)));
      for (TModelBone& B : M.Bones) {
        B.Name = Unquote(In.Line());
        B.Parent = Unquote(In.Line());
        int Flags;
        In.Numbers() >> Flags >> B.Position[0] >> B.Position[1] >> B.Position[2] >> B.Rotation[0] >>
            B.Rotation[1] >> B.Rotation[2];
        for (auto* Track : {&B.PositionKeys, &B.RotationKeys}) {
          Track->resize(std::stoi(In.Line()));
          for (TModelKey& K : *Track) In.Numbers() >> K.Time >> K.Value[0] >> K.Value[1] >> K.Value[2];
        }
      }
    }
  }
  return M;
}

// ---- Affine 4x4 (column-major) and the program's skeleton rules ---------------------------------
using TMat = std::array<double, 16>;
TMat Identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }
TMat Mul(const TMat& A, const TMat& B) {
  TMat P{};
  for (int J = 0; J < 4; ++J)
    for (int I = 0; I < 4; ++I)
      for (int K = 0; K < 4; ++K) P[4 * J + I] += A[4 * K + I] * B[4 * J + K];
  return P;
}
// Rotation Rz(a2) Ry(a1) Rx(a0) and translation T, as the program's matrix builds it.
TMat RotTrans(const float A[3], const float T[3]) {
  const double Cr = std::cos(A[0]), Sr = std::sin(A[0]), Cp = std::cos(A[1]), Sp = std::sin(A[1]);
  const double Cy = std::cos(A[2]), Sy = std::sin(A[2]);
  TMat M = Identity();
  M[0] = Cp * Cy, M[1] = Cp * Sy, M[2] = -Sp;
  M[4] = Sr * Sp * Cy - Cr * Sy, M[5] = Sr * Sp * Sy + Cr * Cy, M[6] = Sr * Cp;
  M[8] = Cr * Sp * Cy + Sr * Sy, M[9] = Cr * Sp * Sy - Sr * Cy, M[10] = Cr * Cp;
  M[12] = T[0], M[13] = T[1], M[14] = T[2];
  return M;
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

void Evaluate(const std::vector<TModelKey>& Keys, float Time, float Out[3]) {
  std::size_t I = 0;
  while (I + 1 < Keys.size() && Keys[I].Time < Time) ++I;
  if (I == 0) {
    std::copy(Keys[0].Value, Keys[0].Value + 3, Out);
    return;
  }
  const float F = std::min(1.0f, (Time - Keys[I - 1].Time) / (Keys[I].Time - Keys[I - 1].Time));
  for (int J = 0; J < 3; ++J) Out[J] = Keys[I - 1].Value[J] + (Keys[I].Value[J] - Keys[I - 1].Value[J]) * F;
}

// Each mesh's vertices placed for Time: bound to their bones' rest frames, then moved by the
// bones' animated transforms.
std::vector<std::vector<std::array<double, 3>>> Pose(const TModelFile& M, float Time) {
  std::vector<int> Parent;
  for (const TModelBone& B : M.Bones) {
    int P = -1;
    for (std::size_t I = 0; I < M.Bones.size() && !B.Parent.empty(); ++I)
      if (M.Bones[I].Name == B.Parent) {
        P = int(I);
        break;
      }
    Parent.push_back(P);
  }
  std::vector<TMat> Rest, Now;
  for (std::size_t I = 0; I < M.Bones.size(); ++I) {
    const TModelBone& B = M.Bones[I];
    const TMat L = RotTrans(B.Rotation, B.Position);
    Rest.push_back(Parent[I] < 0 ? L : Mul(Rest[Parent[I]], L));
    float P[3], Q[3];
    Evaluate(B.PositionKeys, Time, P);
    Evaluate(B.RotationKeys, Time, Q);
    const TMat K = Mul(L, RotTrans(Q, P));
    Now.push_back(Parent[I] < 0 ? K : Mul(Now[Parent[I]], K));
  }
  std::vector<std::vector<std::array<double, 3>>> Out;
  for (const TModelMesh& Mesh : M.Meshes) {
    Out.emplace_back();
    for (const TModelVertex& V : Mesh.Vertices) {
      if (V.Bone < 0) {
        Out.back().push_back({V.X, V.Y, V.Z});
        continue;
      }
      const TMat& R = Rest[V.Bone];
      const double D[3] = {V.X - R[12], V.Y - R[13], V.Z - R[14]};
      const double Bx = R[0] * D[0] + R[1] * D[1] + R[2] * D[2], By = R[4] * D[0] + R[5] * D[1] + R[6] * D[2],
                   Bz = R[8] * D[0] + R[9] * D[1] + R[10] * D[2];
      Out.back().push_back(Apply(Now[V.Bone], Bx, By, Bz));
    }
  }
  return Out;
}

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
  void Raster(const TVertexOut& A, const TVertexOut& B, const TVertexOut& C, const TMipTexture* Tex,
              const TMipTexture* Tex2, TRgb Tint, double FogDensity, TRgb FogColour) {
    const int W = Colour.Width, H = Colour.Height;
    struct S {
      double X, Y, Z, InvW, U, V, Shade, Eye;
    };
    auto ToScreen = [&](const TVertexOut& P) {
      const double Iw = 1 / P.W;
      return S{(P.X * Iw * 0.5 + 0.5) * W, (0.5 - P.Y * Iw * 0.5) * H, P.Z * Iw, Iw, P.U * Iw, P.V * Iw, P.Shade * Iw, P.EyeDepth * Iw};
    };
    const S P0 = ToScreen(A), P1 = ToScreen(B), P2 = ToScreen(C);
    const double Area = (P1.X - P0.X) * (P2.Y - P0.Y) - (P2.X - P0.X) * (P1.Y - P0.Y);
    if (std::abs(Area) < 1e-12) return;
    const int X0 = std::max(0, int(std::floor(std::min({P0.X, P1.X, P2.X}))));
    const int X1 = std::min(W - 1, int(std::ceil(std::max({P0.X, P1.X, P2.X}))));
    const int Y0 = std::max(0, int(std::floor(std::min({P0.Y, P1.Y, P2.Y}))));
    const int Y1 = std::min(H - 1, int(std::ceil(std::max({P0.Y, P1.Y, P2.Y}))));
    auto Bary = [&](double X, double Y, double& L0, double& L1, double& L2) {
      L1 = ((X - P0.X) * (P2.Y - P0.Y) - (P2.X - P0.X) * (Y - P0.Y)) / Area;
      L2 = ((P1.X - P0.X) * (Y - P0.Y) - (X - P0.X) * (P1.Y - P0.Y)) / Area;
      L0 = 1 - L1 - L2;
    };
    auto Uv = [&](double X, double Y, double& U, double& V) {
      double L0, L1, L2;
      Bary(X, Y, L0, L1, L2);
      const double Iw = L0 * P0.InvW + L1 * P1.InvW + L2 * P2.InvW;
      U = (L0 * P0.U + L1 * P1.U + L2 * P2.U) / Iw;
      V = (L0 * P0.V + L1 * P1.V + L2 * P2.V) / Iw;
    };
    for (int Y = Y0; Y <= Y1; ++Y)
      for (int X = X0; X <= X1; ++X) {
        const double Px = X + 0.5, Py = Y + 0.5;
        double L0, L1, L2;
        Bary(Px, Py, L0, L1, L2);
        if (L0 < 0 || L1 < 0 || L2 < 0) continue;
        const double Z = L0 * P0.Z + L1 * P1.Z + L2 * P2.Z;
        if (Z > 1 || Z >= Depth[std::size_t(Y) * W + X]) continue;
        const double Iw = L0 * P0.InvW + L1 * P1.InvW + L2 * P2.InvW;
        const double U = (L0 * P0.U + L1 * P1.U + L2 * P2.U) / Iw, V = (L0 * P0.V + L1 * P1.V + L2 * P2.V) / Iw;
        const double Shade = (L0 * P0.Shade + L1 * P1.Shade + L2 * P2.Shade) / Iw;
        const double Eye = (L0 * P0.Eye + L1 * P1.Eye + L2 * P2.Eye) / Iw;
        TRgb Out = Tint * float(Shade);
        if (Tex || Tex2) {
          double Ux, Vx, Uy, Vy;
          Uv(Px + 1, Py, Ux, Vx);
          Uv(Px, Py + 1, Uy, Vy);
          const double Du = std::max(std::hypot(Ux - U, Uy - U), 1e-9), Dv = std::max(std::hypot(Vx - V, Vy - V), 1e-9);
          if (Tex) {
            const TImage& Base = Tex->Levels[0];
            Out = Out * Tex->Sample(U, V, std::max(Du * Base.Width, Dv * Base.Height));
          }
          if (Tex2) {
            const TImage& Base = Tex2->Levels[0];
            Out = Out * Tex2->Sample(U, V, std::max(Du * Base.Width, Dv * Base.Height));
          }
        }
        const double F = std::exp(-std::pow(FogDensity * Eye, 2));
        Out = Mix(FogColour, Out, float(F));
        Depth[std::size_t(Y) * W + X] = Z;
        Colour.At(X, Y) = Out;
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

void DrawModel(TCanvas& Canvas, const TModelFile& M, const std::vector<std::vector<std::array<double, 3>>>& Posed,
               const TMat& Proj, const TMat& ModelView, const TMipTexture* Tex, const TMipTexture* Tex2, TRgb Tint,
               double Fog, bool Lit) {
  for (std::size_t Mi = 0; Mi < M.Meshes.size(); ++Mi) {
    const TModelMesh& Mesh = M.Meshes[Mi];
    for (const TModelTriangle& T : Mesh.Triangles) {
      const auto &A = Posed[Mi][T.Vertex[0]], &B = Posed[Mi][T.Vertex[1]], &C = Posed[Mi][T.Vertex[2]];
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
        const TModelVertex& V = Mesh.Vertices[T.Vertex[K]];
        // The file's v counts rows from the top of the picture (the program stores 1 - v and
        // uploads the bottom row first), as TMipTexture addresses them.
        Out[K] = Project(Proj, ModelView, Posed[Mi][T.Vertex[K]], V.U, V.V, Shade);
      }
      Canvas.Triangle(Out[0], Out[1], Out[2], Tex, Tex2, Tint, Fog, {0, 0, 0.8f});
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

int PreviewCreature(const std::string& Folder, const std::string& OutPath) {
  const TModelFile M = ReadModel(Folder + "/Vadrel.pp1");
  const TMipTexture Skin(LoadPicture(Folder + "/" + M.Materials.at(0).ColourMap));
  const int Cell = 400;
  const float Times[] = {1, 8.25f, 15.5f, 22.75f};
  TImage Sheet(Cell * 4, Cell * 2);
  for (int Col = 0; Col < 4; ++Col) {
    const auto Posed = Pose(M, Times[Col]);
    for (int Row = 0; Row < 2; ++Row) {
      TCanvas Canvas(Cell * 2, Cell * 2, {0.3f, 0.3f, 1.0f});
      // Side view (from +x, nose to the left) and top view (from +y, nose up).
      const TMat View = Row == 0 ? RotateDeg(-90, 1) : Mul(RotateDeg(90, 2), RotateDeg(90, 0));
      const TMat ModelView = Mul(Translate(0, 0, -420), View);
      DrawModel(Canvas, M, Posed, Perspective(25, 1, 10, 1000), ModelView, &Skin, nullptr, {1, 1, 1}, 0, true);
      const TImage Small = Downsample(Canvas.Colour);
      for (int Y = 0; Y < Cell; ++Y)
        for (int X = 0; X < Cell; ++X) Sheet.At(Col * Cell + X, Row * Cell + Y) = Small.At(X, Y);
    }
  }
  SaveBmp(Sheet, OutPath);
  return 0;
}

int PreviewScene(const std::string& Folder, int Width, int Height, int CausticFrame, const std::string& OutPath) {
  const TModelFile Creature = ReadModel(Folder + "/Vadrel.pp1");
  const TModelFile Terrain = ReadModel(Folder + "/Vadrel.pp2");
  const TMipTexture Skin(LoadPicture(Folder + "/" + Creature.Materials.at(0).ColourMap));
  std::string SandName = Terrain.Materials.at(0).ColourMap;
  if (SandName.rfind(".\\", 0) == 0) SandName = SandName.substr(2);
  const TMipTexture Sand(LoadPicture(Folder + "/" + SandName));
  const TMipTexture Backdrop(LoadPicture(Folder + "/Vadrel200.bmp"));
  char Name[32];
  std::snprintf(Name, sizeof Name, "/Vadrel%d.bmp", 100 + CausticFrame % 32);
  const TMipTexture Caustic(LoadPicture(Folder + Name));

  const int W = Width * 2, H = Height * 2;
  TCanvas Canvas(W, H, {0.3f, 0.3f, 1.0f});
  const TMat Proj = Perspective(45, double(Width) / Height, 1, 100);
  const TMat Frame = Translate(-4.5, -2, -5);
  const double Fog = 0.04;

  // A few creatures spread over the flock's 10 x 10 plane, at assorted headings and phases.
  TRandom Random(7);
  const TMat FlockPlane = Mul(Frame, RotateDeg(-45, 0));
  for (int I = 0; I < 24; ++I) {
    const double Px = Random.Range(0, 10), Py = Random.Range(0, 10), Bearing = Random.Range(0, 360);
    const auto Posed = Pose(Creature, float(Random.Range(1, 30)));
    TMat Mv = Mul(FlockPlane, Translate(Px, Py, 0));
    Mv = Mul(Mv, ScaleBy(0.005));
    Mv = Mul(Mv, RotateDeg(-Bearing, 2));
    Mv = Mul(Mv, RotateDeg(90, 0));
    const float Grey = float(1 - Py / 10);
    DrawModel(Canvas, Creature, Posed, Proj, Mv, &Skin, nullptr, {Grey, Grey, Grey}, Fog, false);
  }
  // The backdrop quad, mirrored left to right.
  {
    const TMat Mv = Mul(Frame, Translate(4.5, 4, -8));
    const TVertexOut A = Project(Proj, Mv, {8, -1, 0}, 0, 1, 1), B = Project(Proj, Mv, {8, 4, 0}, 0, 0, 1);
    const TVertexOut C = Project(Proj, Mv, {-8, 4, 0}, 1, 0, 1), D = Project(Proj, Mv, {-8, -1, 0}, 1, 1, 1);
    Canvas.Triangle(A, B, C, &Backdrop, nullptr, {1, 1, 1}, Fog, {0, 0, 0.8f});
    Canvas.Triangle(A, C, D, &Backdrop, nullptr, {1, 1, 1}, Fog, {0, 0, 0.8f});
  }
  // The terrain with sand and caustic light.
  {
    TMat Mv = Mul(Frame, Translate(6.5, -2, -1.5));
    Mv = Mul(Mv, RotateDeg(-70, 0));
    Mv = Mul(Mv, ScaleBy(0.05));
    Mv = Mul(Mv, RotateDeg(90, 0));
    const auto Posed = Pose(Terrain, 1);
    DrawModel(Canvas, Terrain, Posed, Proj, Mv, &Sand, &Caustic, {1, 1, 1}, Fog, false);
  }
  SaveBmp(Downsample(Canvas.Colour), OutPath);
  return 0;
}

}  // namespace

int main(int Argc, char** Argv) {
  try {
    if (Argc == 4 && std::string(Argv[2]) == "creature") return PreviewCreature(Argv[1], Argv[3]);
    if (Argc == 7 && std::string(Argv[2]) == "scene")
      return PreviewScene(Argv[1], std::atoi(Argv[3]), std::atoi(Argv[4]), std::atoi(Argv[5]), Argv[6]);
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "vadrel_preview: %s\n", Error.what());
    return 1;
  }
  std::fprintf(stderr,
               "usage: %s <data folder> creature <out.bmp>\n"
               "       %s <data folder> scene <width> <height> <caustic frame> <out.bmp>\n",
               Argv[0], Argv[0]);
  return 2;
}
