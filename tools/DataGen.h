// DataGen: shared pieces of the data generator and its preview tool: an RGB float image with a
// 24-bit BMP writer and reader, a deterministic random generator, tileable value noise, and the
// writer of the model text format. Plain C++; no GL, no SDL; depends on SceneFit for where the
// scene puts what is made here. Every asset function is pure: same bytes on every run (fixed
// seeds, no clock).
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "SceneFit.h"

namespace datagen {

// Model units of the sea floor per repeat of the sand and the caustic frames.
inline constexpr double FloorTexturePeriod = 70.0;
// The sand and the caustic frames lie on the floor turned about its height axis, by about 40
// degrees: a stretch of the model's x axis as long as Turn = (FloorTextureTurn[0],
// FloorTextureTurn[1]) repeats runs from texture coordinates (u, v) to (u, v) + Turn. A screen
// row of the far floor runs along model x at one depth. With the pattern square to it, each such
// row followed one row of the pattern and came out, as a whole, up to several percent brighter or
// darker than the floor's mean, changing as the caustics move; turned, it crosses many rows of
// the pattern and averages out (this turn leaves the least, some 0.3 %, of those that keep a
// repeat's length along x near 3.5 eye units some 22 units away). Whole numbers, so a picture of
// the floor that spans one such stretch tiles.
inline constexpr int FloorTextureTurn[2] = {6, 5};

// Texture coordinates (in repeats) of the sea floor at model x and z.
inline std::array<double, 2> FloorTextureAt(double X, double Z) {
  const double Length = std::hypot(double(FloorTextureTurn[0]), double(FloorTextureTurn[1]));
  const double Cos = FloorTextureTurn[0] / Length, Sin = FloorTextureTurn[1] / Length;
  return {(Cos * X - Sin * Z) / FloorTexturePeriod, (Sin * X + Cos * Z) / FloorTexturePeriod};
}

struct TRgb {
  float R = 0, G = 0, B = 0;
};

inline TRgb operator+(TRgb A, TRgb B) { return {A.R + B.R, A.G + B.G, A.B + B.B}; }
inline TRgb operator-(TRgb A, TRgb B) { return {A.R - B.R, A.G - B.G, A.B - B.B}; }
inline TRgb operator*(TRgb A, float S) { return {A.R * S, A.G * S, A.B * S}; }
inline TRgb operator*(TRgb A, TRgb B) { return {A.R * B.R, A.G * B.G, A.B * B.B}; }
inline TRgb Mix(TRgb A, TRgb B, float T) { return A + (B - A) * T; }

// Rows top-down in memory (row 0 is the top of the picture, as texture coordinate v = 0 of the
// model format addresses it); channels nominally 0..1, clamped when written.
struct TImage {
  int Width = 0, Height = 0;
  std::vector<TRgb> Pixels;

  TImage() = default;
  TImage(int W, int H) : Width(W), Height(H), Pixels(std::size_t(W) * H) {}
  TRgb& At(int X, int Y) { return Pixels[std::size_t(Y) * Width + X]; }
  const TRgb& At(int X, int Y) const { return Pixels[std::size_t(Y) * Width + X]; }
  // Wrapping bilinear lookup at texel-space coordinates (texel centres at +0.5).
  TRgb Sample(float X, float Y) const;
};

// 24-bit uncompressed BMP bytes: 14-byte file header "BM", 40-byte info header, positive height
// (rows bottom-up), rows padded to 4 bytes, pixels blue, green, red.
std::vector<std::uint8_t> EncodeBmp(const TImage& Image);
// Reads what EncodeBmp writes (and any 24-bit bottom-up BMP); false on anything else.
bool DecodeBmp(const std::vector<std::uint8_t>& Bytes, TImage& Image);

// Writes Bytes to Path; throws std::runtime_error naming the file and the reason on failure.
void WriteFile(const std::string& Path, const std::string& Bytes);
void WriteFile(const std::string& Path, const std::vector<std::uint8_t>& Bytes);
std::vector<std::uint8_t> ReadFile(const std::string& Path);

// SplitMix64: small, fast, and the same sequence on every platform (unlike std distributions).
class TRandom {
public:
  explicit TRandom(std::uint64_t Seed) : State(Seed) {}
  std::uint64_t Next();
  double Uniform() { return double(Next() >> 11) * (1.0 / 9007199254740992.0); }  // [0, 1)
  double Range(double Lo, double Hi) { return Lo + (Hi - Lo) * Uniform(); }

private:
  std::uint64_t State;
};

// Hash of integer lattice coordinates to [0, 1).
double Hash01(std::int64_t X, std::int64_t Y, std::uint64_t Seed);

// Smooth value noise in [0, 1) on a lattice of Period x Period cells that repeats with that
// period, so a picture sampled over exactly one period tiles seamlessly.
double TiledNoise(double X, double Y, int Period, std::uint64_t Seed);
// Sum of Octaves layers of TiledNoise, each at twice the frequency and Gain times the weight of
// the previous one; normalised to [0, 1).
double TiledFbm(double X, double Y, int Period, int Octaves, double Gain, std::uint64_t Seed);

// Text of the model format: reals with six decimals, as the format's files are written.
std::string Real(double Value);

// One mesh of the model text format; vertex positions in model space.
struct TModelVertex {
  float X, Y, Z, U, V;
  int Bone;
};
struct TModelTriangle {
  int Vertex[3];
  int Normal[3];
};
struct TModelMesh {
  std::string Name;  // no blanks: the reader splits the mesh line at blanks
  int Material = 0;
  std::vector<TModelVertex> Vertices;
  std::vector<std::array<float, 3>> Normals;
  std::vector<TModelTriangle> Triangles;
};
struct TModelKey {
  float Time;
  float Value[3];
};
struct TModelBone {
  std::string Name, Parent;  // Parent empty for a root; parents come before their children
  float Position[3];         // rest position relative to the parent
  float Rotation[3];         // rest Euler angles X, Y, Z, radians
  std::vector<TModelKey> PositionKeys, RotationKeys;
};
struct TModelMaterial {
  std::string Name, ColourMap;
};
struct TModelFile {
  int Frames = 0, StartFrame = 1;
  std::vector<TModelMesh> Meshes;
  std::vector<TModelMaterial> Materials;
  std::vector<TModelBone> Bones;
};

// ---- What the swimming creatures are built from ----------------------------------------------

struct TPoint {
  double X, Y, Z;
};

// The point a share T of the way from A to B.
TPoint Lerp(TPoint A, TPoint B, double T);
// Count points spread evenly by length along the polyline Line (its ends included).
std::vector<TPoint> Resample(const std::vector<TPoint>& Line, int Count);

// The bone of a spine chain (joints at JointZ, ascending along z) that a point at Z follows: the
// last joint at or before it.
int SpineBoneAt(std::span<const double> JointZ, double Z);

// The travelling wave a creature swims by: the spine's sideways sway grows from HeadAmplitude at
// NoseZ to TailAmplitude at TailTipZ (with the share of the length raised to AmplitudePower) and
// runs tailwards one WaveLength per cycle.
struct TSwimWave {
  double NoseZ, TailTipZ, HeadAmplitude, TailAmplitude, AmplitudePower, WaveLength;
  // Displacement towards +x of the spine at Z when the cycle is at Phase (0..1).
  double Lateral(double Z, double Phase) const;
};

// Joint angles about y for a chain of joints at JointZ when the swim cycle is at Phase: each bone
// turns by the change in the travelling wave's slope since its parent, so the chain lies along
// the wave. Lateral(Z, Phase) is the wave's sideways displacement at Z.
template <typename TLateral>
std::vector<double> ChainYaw(const std::vector<double>& JointZ, double Phase, TLateral Lateral) {
  std::vector<double> Relative;
  double Previous = 0;
  for (std::size_t B = 0; B + 1 < JointZ.size(); ++B) {
    const double Absolute = std::atan2(Lateral(JointZ[B + 1], Phase) - Lateral(JointZ[B], Phase),
                                       JointZ[B + 1] - JointZ[B]);
    Relative.push_back(Absolute - Previous);
    Previous = Absolute;
  }
  return Relative;
}

// A bone at rest: its parent (an index, -1 for the root) and its place in model space; no bone
// has a rest rotation.
struct TRestBone {
  const char* Name;
  int Parent;
  TPoint At;
};

// The file's bones for Rest (parents first), positions relative to the parent and times Scale;
// no keys yet.
std::vector<TModelBone> BonesAtRest(const std::vector<TRestBone>& Rest, double Scale);

// The model as text, lines ending in a line feed. Asserts that every index is in range.
std::string FormatModel(const TModelFile& Model, const std::string& Comment);
// Per-vertex normals averaged from the triangles' face normals; normal i belongs to vertex i.
void ComputeSmoothNormals(TModelMesh& Mesh);

// The assets, each written into Folder (no trailing slash).
// The pictures, as the files hold them.
TImage CausticFrame(int Frame);  // Frame 0 to 31
TImage MakeSand();

void WriteCaustics(const std::string& Folder);
void WriteBackdrop(const std::string& Folder);
void WriteSkin(const std::string& Folder);
void WriteSand(const std::string& Folder);
void WriteCreature(const std::string& Folder);
void WriteTerrain(const std::string& Folder);
void WritePredator(const std::string& Folder);
void WritePredatorSkin(const std::string& Folder);

}  // namespace datagen
