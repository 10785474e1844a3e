#include "DataGen.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace datagen {

namespace {

void Put16(std::vector<std::uint8_t>& Out, unsigned V) {
  Out.push_back(std::uint8_t(V));
  Out.push_back(std::uint8_t(V >> 8));
}
void Put32(std::vector<std::uint8_t>& Out, std::uint32_t V) {
  for (int I = 0; I < 4; ++I) Out.push_back(std::uint8_t(V >> (8 * I)));
}
std::uint32_t Get32(const std::vector<std::uint8_t>& In, std::size_t At) {
  return std::uint32_t(In[At]) | std::uint32_t(In[At + 1]) << 8 | std::uint32_t(In[At + 2]) << 16 |
         std::uint32_t(In[At + 3]) << 24;
}
std::uint8_t ToByte(float V) {
  return std::uint8_t(std::lround(std::clamp(V, 0.0f, 1.0f) * 255.0f));
}
// The generator's own consistency checks stay on in release builds: a bad file must fail the build.
void Require(bool Ok, const char* What) {
  if (!Ok) throw std::logic_error(std::string("model check failed: ") + What);
}
int Wrap(int V, int N) { return ((V % N) + N) % N; }

double SmoothStep(double T) { return T * T * T * (T * (T * 6 - 15) + 10); }

}  // namespace

TRgb TImage::Sample(float X, float Y) const {
  float Fx = X - 0.5f, Fy = Y - 0.5f;
  int X0 = int(std::floor(Fx)), Y0 = int(std::floor(Fy));
  float Tx = Fx - X0, Ty = Fy - Y0;
  int Xa = Wrap(X0, Width), Xb = Wrap(X0 + 1, Width);
  int Ya = Wrap(Y0, Height), Yb = Wrap(Y0 + 1, Height);
  return Mix(Mix(At(Xa, Ya), At(Xb, Ya), Tx), Mix(At(Xa, Yb), At(Xb, Yb), Tx), Ty);
}

std::vector<std::uint8_t> EncodeBmp(const TImage& Image) {
  const std::uint32_t Stride = (std::uint32_t(Image.Width) * 3 + 3) / 4 * 4;
  const std::uint32_t DataSize = Stride * std::uint32_t(Image.Height);
  std::vector<std::uint8_t> Out;
  Out.reserve(54 + DataSize);
  Out.push_back('B');
  Out.push_back('M');
  Put32(Out, 54 + DataSize);
  Put16(Out, 0);
  Put16(Out, 0);
  Put32(Out, 54);
  Put32(Out, 40);
  Put32(Out, std::uint32_t(Image.Width));
  Put32(Out, std::uint32_t(Image.Height));
  Put16(Out, 1);
  Put16(Out, 24);
  Put32(Out, 0);  // no compression
  Put32(Out, DataSize);
  Put32(Out, 2835);  // 72 dots per inch
  Put32(Out, 2835);
  Put32(Out, 0);
  Put32(Out, 0);
  for (int Row = Image.Height - 1; Row >= 0; --Row) {
    for (int X = 0; X < Image.Width; ++X) {
      const TRgb& P = Image.At(X, Row);
      Out.push_back(ToByte(P.B));
      Out.push_back(ToByte(P.G));
      Out.push_back(ToByte(P.R));
    }
    for (std::uint32_t Pad = std::uint32_t(Image.Width) * 3; Pad < Stride; ++Pad) Out.push_back(0);
  }
  return Out;
}

bool DecodeBmp(const std::vector<std::uint8_t>& Bytes, TImage& Image) {
  if (Bytes.size() < 54 || Bytes[0] != 'B' || Bytes[1] != 'M') return false;
  const auto Width = std::int32_t(Get32(Bytes, 18)), Height = std::int32_t(Get32(Bytes, 22));
  const unsigned Bits = Bytes[28] | Bytes[29] << 8;
  const std::uint32_t Offset = Get32(Bytes, 10), Compression = Get32(Bytes, 30);
  if (Width <= 0 || Height <= 0 || Width > 16384 || Height > 16384 || Bits != 24 || Compression != 0)
    return false;
  const std::size_t Stride = (std::size_t(Width) * 3 + 3) / 4 * 4;
  if (Offset < 54 || Bytes.size() < Offset + Stride * std::size_t(Height)) return false;
  Image = TImage(Width, Height);
  for (int Row = 0; Row < Height; ++Row) {
    const std::uint8_t* Src = Bytes.data() + Offset + Stride * std::size_t(Height - 1 - Row);
    for (int X = 0; X < Width; ++X)
      Image.At(X, Row) = {Src[3 * X + 2] / 255.0f, Src[3 * X + 1] / 255.0f, Src[3 * X] / 255.0f};
  }
  return true;
}

void WriteFile(const std::string& Path, const std::string& Bytes) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  if (!Out) throw std::runtime_error("cannot create " + Path);
  Out.write(Bytes.data(), std::streamsize(Bytes.size()));
  Out.close();
  if (!Out) throw std::runtime_error("cannot write " + Path);
}

void WriteFile(const std::string& Path, const std::vector<std::uint8_t>& Bytes) {
  WriteFile(Path, std::string(Bytes.begin(), Bytes.end()));
}

std::vector<std::uint8_t> ReadFile(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) throw std::runtime_error("cannot open " + Path);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

std::uint64_t TRandom::Next() {
  std::uint64_t Z = (State += 0x9E3779B97F4A7C15ull);
  Z = (Z ^ (Z >> 30)) * 0xBF58476D1CE4E5B9ull;
  Z = (Z ^ (Z >> 27)) * 0x94D049BB133111EBull;
  return Z ^ (Z >> 31);
}

double Hash01(std::int64_t X, std::int64_t Y, std::uint64_t Seed) {
  TRandom R(Seed * 0x9E3779B97F4A7C15ull ^ std::uint64_t(X) * 0xD1B54A32D192ED03ull ^
            std::uint64_t(Y) * 0xABC98388FB8FAC03ull);
  return R.Uniform();
}

double TiledNoise(double X, double Y, int Period, std::uint64_t Seed) {
  const double Fx = std::floor(X), Fy = std::floor(Y);
  const auto Ix = std::int64_t(Fx), Iy = std::int64_t(Fy);
  const double Tx = SmoothStep(X - Fx), Ty = SmoothStep(Y - Fy);
  auto L = [&](std::int64_t A, std::int64_t B) {
    return Hash01(((A % Period) + Period) % Period, ((B % Period) + Period) % Period, Seed);
  };
  const double A = L(Ix, Iy), B = L(Ix + 1, Iy), C = L(Ix, Iy + 1), D = L(Ix + 1, Iy + 1);
  return (A + (B - A) * Tx) + ((C + (D - C) * Tx) - (A + (B - A) * Tx)) * Ty;
}

double TiledFbm(double X, double Y, int Period, int Octaves, double Gain, std::uint64_t Seed) {
  double Sum = 0, Weight = 1, Total = 0;
  for (int O = 0; O < Octaves; ++O) {
    Sum += Weight * TiledNoise(X, Y, Period, Seed + std::uint64_t(O) * 7919);
    Total += Weight;
    Weight *= Gain;
    X *= 2;
    Y *= 2;
    Period *= 2;
  }
  return Sum / Total;
}

TPoint Lerp(TPoint A, TPoint B, double T) {
  return {A.X + (B.X - A.X) * T, A.Y + (B.Y - A.Y) * T, A.Z + (B.Z - A.Z) * T};
}

std::vector<TPoint> Resample(const std::vector<TPoint>& Line, int Count) {
  std::vector<double> Length{0};
  for (std::size_t I = 1; I < Line.size(); ++I)
    Length.push_back(Length.back() + std::hypot(Line[I].X - Line[I - 1].X, Line[I].Y - Line[I - 1].Y,
                                                Line[I].Z - Line[I - 1].Z));
  std::vector<TPoint> Out;
  for (int K = 0; K < Count; ++K) {
    const double L = Length.back() * K / (Count - 1);
    std::size_t I = 1;
    while (I + 1 < Line.size() && Length[I] < L) ++I;
    const double Span = Length[I] - Length[I - 1];
    Out.push_back(Lerp(Line[I - 1], Line[I], Span > 0 ? (L - Length[I - 1]) / Span : 0));
  }
  return Out;
}

int SpineBoneAt(std::span<const double> JointZ, double Z) {
  int Bone = 0;
  for (std::size_t I = 0; I < JointZ.size(); ++I)
    if (JointZ[I] <= Z + 1e-6) Bone = int(I);
  return Bone;
}

double TSwimWave::Lateral(double Z, double Phase) const {
  const double S = std::clamp((Z - NoseZ) / (TailTipZ - NoseZ), 0.0, 1.0);
  const double Amplitude = HeadAmplitude + (TailAmplitude - HeadAmplitude) * std::pow(S, AmplitudePower);
  return Amplitude * std::sin(2 * Pi * Phase - 2 * Pi * (Z - NoseZ) / WaveLength);
}

std::vector<TModelBone> BonesAtRest(const std::vector<TRestBone>& Rest, double Scale) {
  std::vector<TModelBone> Bones;
  for (const TRestBone& R : Rest) {
    TModelBone B;
    B.Name = R.Name;
    const TPoint ParentAt = R.Parent < 0 ? TPoint{0, 0, 0} : Rest[std::size_t(R.Parent)].At;
    if (R.Parent >= 0) B.Parent = Rest[std::size_t(R.Parent)].Name;
    B.Position[0] = float(Scale * (R.At.X - ParentAt.X));
    B.Position[1] = float(Scale * (R.At.Y - ParentAt.Y));
    B.Position[2] = float(Scale * (R.At.Z - ParentAt.Z));
    B.Rotation[0] = B.Rotation[1] = B.Rotation[2] = 0;
    Bones.push_back(B);
  }
  return Bones;
}

std::string Real(double Value) {
  char Text[64];
  std::snprintf(Text, sizeof Text, "%.6f", Value);
  if (std::string(Text) == "-0.000000") return "0.000000";
  return Text;
}

namespace {

// Appends one line made of Parts (strings, literals, characters) and a line feed.
template <typename... TParts>
void Line(std::string& Text, const TParts&... Parts) {
  ((Text += Parts), ...);
  Text += '\n';
}

std::string Quoted(const std::string& Name) {
  Require(Name.find('"') == std::string::npos, "a name may not hold a double quote");
  std::string Q(1, '"');
  Q += Name;
  Q += '"';
  return Q;
}

// Each block writer appends its lines to Text.

void FormatMesh(std::string& Text, const TModelFile& Model, const TModelMesh& M) {
  Require(!M.Name.empty() && M.Name.find(' ') == std::string::npos, "a mesh name is one word");
  Require(M.Material >= -1 && M.Material < int(Model.Materials.size()), "material index out of range");
  Line(Text, Quoted(M.Name), " 0 ", std::to_string(M.Material));
  Line(Text, std::to_string(M.Vertices.size()));
  for (const TModelVertex& V : M.Vertices) {
    Require(V.Bone >= -1 && V.Bone < int(Model.Bones.size()), "bone index out of range");
    Line(Text, "0 ", Real(V.X), ' ', Real(V.Y), ' ', Real(V.Z), ' ', Real(V.U), ' ', Real(V.V), ' ',
         std::to_string(V.Bone));
  }
  Line(Text, std::to_string(M.Normals.size()));
  for (const auto& N : M.Normals) Line(Text, Real(N[0]), ' ', Real(N[1]), ' ', Real(N[2]));
  Line(Text, std::to_string(M.Triangles.size()));
  for (const TModelTriangle& Tri : M.Triangles) {
    for (int C = 0; C < 3; ++C) {
      Require(Tri.Vertex[C] >= 0 && Tri.Vertex[C] < int(M.Vertices.size()), "vertex index out of range");
      Require(Tri.Normal[C] >= 0 && Tri.Normal[C] < int(M.Normals.size()), "normal index out of range");
    }
    Line(Text, "0 ", std::to_string(Tri.Vertex[0]), ' ', std::to_string(Tri.Vertex[1]), ' ',
         std::to_string(Tri.Vertex[2]), ' ', std::to_string(Tri.Normal[0]), ' ', std::to_string(Tri.Normal[1]),
         ' ', std::to_string(Tri.Normal[2]), " 1");
  }
}

// Every material is plain grey, lit only through its colour map.
void FormatMaterial(std::string& Text, const TModelMaterial& Material) {
  Line(Text, Quoted(Material.Name));
  Line(Text, "0.200000 0.200000 0.200000 1.000000");
  Line(Text, "0.800000 0.800000 0.800000 1.000000");
  Line(Text, "0.000000 0.000000 0.000000 1.000000");
  Line(Text, "0.000000 0.000000 0.000000 1.000000");
  Line(Text, "0.000000");
  Line(Text, "1.000000");
  Line(Text, Quoted(Material.ColourMap));
  Line(Text, Quoted(""));
}

// Bone number B of Model: the bones before it are already written.
void FormatBone(std::string& Text, const TModelFile& Model, std::size_t B) {
  const TModelBone& Bone = Model.Bones[B];
  Require(!Bone.Name.empty(), "a bone needs a name");
  Require(!Bone.PositionKeys.empty() && !Bone.RotationKeys.empty(), "every bone needs keys");
  bool ParentFound = Bone.Parent.empty();
  for (std::size_t P = 0; P < B; ++P) {
    Require(Model.Bones[P].Name != Bone.Name, "bone names are unique");
    ParentFound = ParentFound || Model.Bones[P].Name == Bone.Parent;
  }
  Require(ParentFound, "a parent must come before its children");
  Line(Text, Quoted(Bone.Name));
  Line(Text, Quoted(Bone.Parent));
  Line(Text, "8 ", Real(Bone.Position[0]), ' ', Real(Bone.Position[1]), ' ', Real(Bone.Position[2]), ' ',
       Real(Bone.Rotation[0]), ' ', Real(Bone.Rotation[1]), ' ', Real(Bone.Rotation[2]));
  for (const auto* Track : {&Bone.PositionKeys, &Bone.RotationKeys}) {
    Line(Text, std::to_string(Track->size()));
    for (std::size_t K = 0; K < Track->size(); ++K) {
      const TModelKey& Key = (*Track)[K];
      Require(K == 0 || Key.Time > (*Track)[K - 1].Time, "key times increase");
      Line(Text, Real(Key.Time), ' ', Real(Key.Value[0]), ' ', Real(Key.Value[1]), ' ', Real(Key.Value[2]));
    }
  }
}

}  // namespace

std::string FormatModel(const TModelFile& Model, const std::string& Comment) {
  std::string T;
  Line(T, "// ", Comment);
  Line(T);
  Line(T, "Frames: ", std::to_string(Model.Frames));
  Line(T, "Frame: ", std::to_string(Model.StartFrame));
  Line(T);
  Line(T, "Meshes: ", std::to_string(Model.Meshes.size()));
  for (const TModelMesh& M : Model.Meshes) FormatMesh(T, Model, M);
  Line(T);
  Line(T, "Materials: ", std::to_string(Model.Materials.size()));
  for (const TModelMaterial& Material : Model.Materials) FormatMaterial(T, Material);
  Line(T);
  Line(T, "Bones: ", std::to_string(Model.Bones.size()));
  for (std::size_t B = 0; B < Model.Bones.size(); ++B) FormatBone(T, Model, B);
  return T;
}

void ComputeSmoothNormals(TModelMesh& Mesh) {
  // Vertices at the same place (texture seams, the pole of a cap) share one normal, so the seam
  // does not show as a crease.
  std::map<std::array<long, 3>, std::array<double, 3>> Sum;
  auto KeyOf = [](const TModelVertex& V) {
    return std::array<long, 3>{std::lround(V.X * 1000), std::lround(V.Y * 1000), std::lround(V.Z * 1000)};
  };
  for (TModelTriangle& Tri : Mesh.Triangles) {
    const TModelVertex &A = Mesh.Vertices[Tri.Vertex[0]], &B = Mesh.Vertices[Tri.Vertex[1]],
                       &C = Mesh.Vertices[Tri.Vertex[2]];
    const double E1[3] = {B.X - A.X, B.Y - A.Y, B.Z - A.Z}, E2[3] = {C.X - A.X, C.Y - A.Y, C.Z - A.Z};
    const double N[3] = {E1[1] * E2[2] - E1[2] * E2[1], E1[2] * E2[0] - E1[0] * E2[2],
                         E1[0] * E2[1] - E1[1] * E2[0]};
    for (int Corner = 0; Corner < 3; ++Corner) {
      auto& S = Sum.try_emplace(KeyOf(Mesh.Vertices[Tri.Vertex[Corner]]), std::array<double, 3>{0, 0, 0})
                    .first->second;
      for (int K = 0; K < 3; ++K) S[K] += N[K];
      Tri.Normal[Corner] = Tri.Vertex[Corner];
    }
  }
  Mesh.Normals.clear();
  for (const TModelVertex& V : Mesh.Vertices) {
    const auto Found = Sum.find(KeyOf(V));
    const std::array<double, 3> S = Found == Sum.end() ? std::array<double, 3>{0, 1, 0} : Found->second;
    const double L = std::sqrt(S[0] * S[0] + S[1] * S[1] + S[2] * S[2]);
    if (L < 1e-12) Mesh.Normals.push_back({0, 1, 0});
    else Mesh.Normals.push_back({float(S[0] / L), float(S[1] / L), float(S[2] / L)});
  }
}

}  // namespace datagen
