// The predator "Vadrel.pp3" and its skin "Vadrel203.bmp": a heavy-bodied hunter with a flat,
// pointed head, a tall swept dorsal fin, wide wing-like pectoral fins and a tail whose upper lobe
// is far longer than the lower one. It is drawn at the same scale as the fish and is some 1.4
// times its length and twice its girth, so it reads as the larger animal; nose towards -z, back
// towards +y, like the fish.
//
// Every pose stays inside the scene's creature reach (Scene::CreatureReach, some 120 model units
// around the origin): the flock skips drawing a creature that lies farther than that beyond the
// view, so a larger predator would vanish at the edge of the screen while still in sight.
//
// Meshes: the body (elliptical rings along z, flat underneath, sealed at both ends), the tail fin,
// and the other fins (two dorsals, the pectorals and the pelvic fins); fins are thin two-layer
// plates. One material, the predator's own skin.
// Skeleton: a chain of 12 bones along the spine, two more into the tail's upper lobe, one for the
// first dorsal fin and one per pectoral fin, parents listed before children.
// Swim cycle: frames 1 to 48 (two seconds, where the fish beats in one and a quarter), a travelling
// wave whose amplitude stays small over the front half and swells towards the tail: a slow,
// strong beat. Frame 48 equals frame 1.
#include <algorithm>
#include <cmath>
#include <vector>

#include "DataGen.h"

namespace datagen {

namespace {

// ---- Shape ------------------------------------------------------------------------------------
// The shape is laid out below at a nose-to-tail length of some 200; Size scales the whole animal
// (vertices, bones and the beat's sway) as it is written.
constexpr double Size = 1.1;
constexpr double NoseZ = -103, BodyEndZ = 62, TailTipZ = 100;
constexpr double MaxHalfHeight = 23;   // deepest some 30 % back
constexpr double PeduncleShare = 0.2;  // half height at the tail root, as a part of the maximum
constexpr double BackBulge = 1.0, BellyBulge = 0.8;
constexpr int RingSides = 18;
// Rings along the body, denser at the snout; every spine joint has one so the body bends there.
constexpr double RingZ[] = {-101, -97,  -91, -85, -80, -71, -62, -53, -44, -36, -28, -21, -14,
                            -7,   0,    6,   12,  18,  24,  30,  35,  40,  45,  50,  54,  58, 61};
constexpr int SkinSize = 256;
constexpr int SkinBodyRows = 192;                 // the skin's body rows; fin rows below
constexpr double SkinBodyV = double(SkinBodyRows) / SkinSize;
constexpr double SkinFinV0 = 194.0 / 256, SkinFinV1 = 254.0 / 256;
constexpr double FinThickness = 0.8;

// ---- Skeleton ---------------------------------------------------------------------------------
constexpr double SpineJointZ[] = {-80, -62, -44, -28, -14, 0, 12, 24, 35, 45, 54, 61};
constexpr int SpineBones = int(std::size(SpineJointZ));
constexpr double CaudalBaseZ = 66, CaudalTipZ = 82;
enum : int { Snout = 0, Shoulder = 2, Back = 4, TailRoot = 11, CaudalBase = 12, CaudalTip = 13,
             Dorsal = 14, PectoralRight = 15, PectoralLeft = 16, BoneCount = 17 };

// ---- Swim cycle -------------------------------------------------------------------------------
constexpr int Frames = 48;   // the loop runs from frame 1 to frame 48, which equals frame 1
constexpr int Keys = 9;      // evenly spaced, the last on frame 48
constexpr datagen::TSwimWave Wave{.NoseZ = NoseZ,
                                  .TailTipZ = TailTipZ,
                                  .HeadAmplitude = 2.0,  // lateral sway at the snout, model units
                                  .TailAmplitude = 17.0,  // at the tail's tips
                                  .AmplitudePower = 2.4,  // how late along the body the beat swells
                                  .WaveLength = 230};  // a little over one body length
constexpr double DorsalSway = 0.06;     // radians, rolled about z
constexpr double PectoralLift = 0.10, PectoralSweep = 0.05;

double Along(double Z) { return std::clamp((Z - NoseZ) / (BodyEndZ - NoseZ), 0.0, 1.0); }

// Half the body's height at Z: a pointed snout, deepest some 30 % back, a slim tail root.
double HalfHeight(double Z) {
  const double S = Along(Z);
  constexpr double A = 0.7, B = 1.2, Peak = A / (A + B);
  const double Shape = std::pow(S, A) * std::pow(1 - S, B) / (std::pow(Peak, A) * std::pow(1 - Peak, B));
  return MaxHalfHeight * ((1 - PeduncleShare) * Shape + PeduncleShare * S * S * S);
}
// The head is wider than it is deep; the tail is flattened from side to side.
double HalfWidth(double Z) { return HalfHeight(Z) * (1.2 - 0.62 * Along(Z)); }
double BackY(double Z) { return HalfHeight(Z) * BackBulge; }
double BellyY(double Z) { return -HalfHeight(Z) * BellyBulge; }

int SpineBoneAt(double Z) { return datagen::SpineBoneAt(SpineJointZ, Z); }
double Lateral(double Z, double Phase) { return Wave.Lateral(Z, Phase); }

TPoint operator+(TPoint A, TPoint B) { return {A.X + B.X, A.Y + B.Y, A.Z + B.Z}; }
TPoint operator*(TPoint A, double S) { return {A.X * S, A.Y * S, A.Z * S}; }

TModelVertex Vertex(TPoint P, double U, double V, int Bone) {
  return {float(Size * P.X), float(Size * P.Y), float(Size * P.Z), float(U), float(V), Bone};
}

void AddTriangle(TModelMesh& Mesh, int A, int B, int C) { Mesh.Triangles.push_back({{A, B, C}, {0, 0, 0}}); }

TModelMesh MakeBody() {
  TModelMesh Mesh;
  Mesh.Name = "Body";
  const int Rings = int(std::size(RingZ)), Row = RingSides + 1;  // the seam has two vertices
  for (double Z : RingZ) {
    const double V = Along(Z) * SkinBodyV;
    for (int J = 0; J <= RingSides; ++J) {
      const double Theta = 2 * Pi * J / RingSides;  // 0 on the back, pi under the belly
      const double C = std::cos(Theta), S = std::sin(Theta);
      // Round above; below, the belly flattens: the flank curves in under a broad underside.
      const double Y = C >= 0 ? C * BackY(Z) : -std::pow(-C, 0.7) * -BellyY(Z);
      Mesh.Vertices.push_back(Vertex({HalfWidth(Z) * S, Y, Z}, double(J) / RingSides, V, SpineBoneAt(Z)));
    }
  }
  // The poles: one vertex per cap triangle so each keeps its own u. The snout's tip sits a
  // little high, over the mouth.
  const int NoseFirst = int(Mesh.Vertices.size());
  for (int J = 0; J < RingSides; ++J)
    Mesh.Vertices.push_back(Vertex({0, 1.5, NoseZ}, (J + 0.5) / RingSides, 0.0, Snout));
  const int TailFirst = int(Mesh.Vertices.size());
  for (int J = 0; J < RingSides; ++J)
    Mesh.Vertices.push_back(Vertex({0, 0, BodyEndZ}, (J + 0.5) / RingSides, SkinBodyV, TailRoot));

  for (int R = 0; R + 1 < Rings; ++R)
    for (int J = 0; J < RingSides; ++J) {
      const int A = R * Row + J, B = A + 1, C = A + Row, D = C + 1;
      AddTriangle(Mesh, A, C, B);
      AddTriangle(Mesh, B, C, D);
    }
  const int Last = (Rings - 1) * Row;
  for (int J = 0; J < RingSides; ++J) {
    AddTriangle(Mesh, NoseFirst + J, J, J + 1);
    AddTriangle(Mesh, TailFirst + J, Last + J + 1, Last + J);
  }
  ComputeSmoothNormals(Mesh);
  return Mesh;
}

// A fin as a plate from its root (a line on the body) out to its outline: Columns points spread
// along each, joined by Rows rows. Two layers, Thickness apart across Normal at the root and
// closing towards the outline, each facing its own side. Bone(point, row) binds each vertex.
template <typename TBone>
void AddFin(TModelMesh& Mesh, const std::vector<TPoint>& Root, const std::vector<TPoint>& Outline,
            TPoint Normal, int Columns, int Rows, TBone Bone) {
  const std::vector<TPoint> From = Resample(Root, Columns), To = Resample(Outline, Columns);
  const int First = int(Mesh.Vertices.size()), Layer = Columns * Rows;
  for (double Side : {0.5, -0.5})
    for (int I = 0; I < Columns; ++I)
      for (int K = 0; K < Rows; ++K) {
        const double T = double(K) / (Rows - 1);
        const TPoint P = Lerp(From[I], To[I], T);
        const TPoint Off = Normal * (Side * FinThickness * (1 - 0.85 * T));
        const double U = 0.03 + 0.94 * I / (Columns - 1), V = SkinFinV0 + (SkinFinV1 - SkinFinV0) * T;
        Mesh.Vertices.push_back(Vertex(P + Off, U, V, Bone(P, K)));
      }
  auto At = [&](int L, int I, int K) { return First + L * Layer + I * Rows + K; };
  for (int I = 0; I + 1 < Columns; ++I)
    for (int K = 0; K + 1 < Rows; ++K) {
      AddTriangle(Mesh, At(0, I, K), At(0, I, K + 1), At(0, I + 1, K));
      AddTriangle(Mesh, At(0, I + 1, K), At(0, I, K + 1), At(0, I + 1, K + 1));
      AddTriangle(Mesh, At(1, I, K), At(1, I + 1, K), At(1, I, K + 1));
      AddTriangle(Mesh, At(1, I + 1, K), At(1, I + 1, K + 1), At(1, I, K + 1));
    }
}

TModelMesh MakeTailFin() {
  TModelMesh Mesh;
  Mesh.Name = "TailFin";
  // Upright in the y-z plane across the end of the body: a long upper lobe swept up and back,
  // a notch under its tip, a short lower lobe.
  const std::vector<TPoint> Root = {{0, 5.5, 55}, {0, 0, 61}, {0, -5, 56}};
  const std::vector<TPoint> Outline = {{0, 7, 58},   {0, 20, 76},  {0, 33, 92},   {0, 38, TailTipZ},
                                       {0, 30, 96},  {0, 17, 86},  {0, 11, 87},   {0, 4, 78},
                                       {0, -9, 76},  {0, -22, 82}, {0, -17, 72},  {0, -7, 60}};
  AddFin(Mesh, Root, Outline, {1, 0, 0}, 12, 4, [](TPoint P, int Row) {
    if (Row == 0) return int(TailRoot);
    return P.Z < CaudalTipZ || P.Y < 15 ? int(CaudalBase) : int(CaudalTip);
  });
  ComputeSmoothNormals(Mesh);
  return Mesh;
}

TModelMesh MakeFins() {
  TModelMesh Mesh;
  Mesh.Name = "Fins";
  // First dorsal: a tall sail, its trailing edge curved in, its root sunk a little into the back.
  std::vector<TPoint> DorsalRoot;
  for (double Z : {-32.0, -22.0, -12.0, -4.0, 2.0}) DorsalRoot.push_back({0, BackY(Z) - 1, Z});
  const std::vector<TPoint> DorsalOutline = {{0, BackY(-32) + 1, -33}, {0, BackY(-24) + 16, -22},
                                             {0, BackY(-14) + 30, -8}, {0, BackY(-10) + 31, -3},
                                             {0, BackY(-6) + 20, -4},  {0, BackY(0) + 7, -1},
                                             {0, BackY(2) + 1, 4}};
  AddFin(Mesh, DorsalRoot, DorsalOutline, {1, 0, 0}, 7, 4, [](TPoint P, int Row) {
    return Row == 0 ? SpineBoneAt(P.Z) : int(Dorsal);
  });
  // Second dorsal: small, far back on the tail.
  const std::vector<TPoint> SecondRoot = {{0, BackY(37) - 0.5, 37}, {0, BackY(47) - 0.5, 47}};
  const std::vector<TPoint> SecondOutline = {{0, BackY(37) + 1, 36}, {0, BackY(42) + 9, 44},
                                             {0, BackY(47) + 3, 49}, {0, BackY(48), 50}};
  AddFin(Mesh, SecondRoot, SecondOutline, {1, 0, 0}, 4, 3, [](TPoint P, int) { return SpineBoneAt(P.Z); });
  for (int Sign : {1, -1}) {
    // Pectorals: wide wings low on the flanks behind the head, swept back and tilted down.
    const double W = HalfWidth(-46) * 0.9;
    const std::vector<TPoint> Root = {{Sign * W, -9, -54}, {Sign * W, -10, -44}, {Sign * W * 0.97, -11, -34}};
    const std::vector<TPoint> Outline = {{Sign * (W + 2), -10, -56}, {Sign * (W + 20), -16, -42},
                                         {Sign * (W + 38), -23, -22}, {Sign * (W + 44), -26, -10},
                                         {Sign * (W + 34), -22, -17}, {Sign * (W + 14), -15, -28},
                                         {Sign * (W + 2), -12, -32}};
    const int Bone = Sign > 0 ? PectoralRight : PectoralLeft;
    AddFin(Mesh, Root, Outline, {0.2 * Sign, -1, 0}, 7, 4, [Bone](TPoint, int Row) {
      return Row == 0 ? int(Shoulder) : Bone;
    });
    // Pelvic fins: small, under the belly ahead of the tail.
    const double Wp = HalfWidth(22) * 0.6;
    const std::vector<TPoint> PelvicRoot = {{Sign * Wp, BellyY(18) + 2, 18}, {Sign * Wp, BellyY(26) + 2, 26}};
    const std::vector<TPoint> PelvicOutline = {{Sign * (Wp + 1), BellyY(18) + 1, 17},
                                               {Sign * (Wp + 9), BellyY(24) - 4, 28},
                                               {Sign * (Wp + 2), BellyY(28) + 1, 29}};
    AddFin(Mesh, PelvicRoot, PelvicOutline, {0.3 * Sign, -1, 0}, 4, 3,
           [](TPoint P, int) { return SpineBoneAt(P.Z); });
  }
  ComputeSmoothNormals(Mesh);
  return Mesh;
}

// ---- Bones and swim cycle -----------------------------------------------------------------------
std::vector<TRestBone> RestBones() {
  static const char* const SpineNames[] = {"Snout",  "Head",   "Shoulder", "Chest",  "Back",   "Waist",
                                           "Flank1", "Flank2", "Flank3",   "Tail1",  "Tail2",  "TailRoot"};
  std::vector<TRestBone> Bones;
  for (int I = 0; I < SpineBones; ++I) Bones.push_back({SpineNames[I], I - 1, {0, 0, SpineJointZ[I]}});
  Bones.push_back({"CaudalBase", TailRoot, {0, 0, CaudalBaseZ}});
  Bones.push_back({"CaudalTip", CaudalBase, {0, 20, CaudalTipZ}});
  Bones.push_back({"Dorsal", Back, {0, BackY(-14), -14}});
  const double W = HalfWidth(-46) * 0.9;
  Bones.push_back({"PectoralRight", Shoulder, {W, -10, -44}});
  Bones.push_back({"PectoralLeft", Shoulder, {-W, -10, -44}});
  return Bones;
}

// Joint angles about y for the spine chain and the tail at Phase: each bone turns by the change in
// the wave's slope since its parent, so the chain lies along the travelling wave.
std::vector<double> ChainYaw(double Phase) {
  std::vector<double> Z(std::begin(SpineJointZ), std::end(SpineJointZ));
  Z.insert(Z.end(), {CaudalBaseZ, CaudalTipZ, TailTipZ});
  return datagen::ChainYaw(Z, Phase, Lateral);  // bones Snout .. CaudalTip
}

std::vector<TModelBone> MakeBones() {
  const std::vector<TRestBone> Rest = RestBones();
  std::vector<TModelBone> Bones = BonesAtRest(Rest, Size);
  for (int K = 0; K < Keys; ++K) {
    const float Time = float(1 + (Frames - 1) * K / double(Keys - 1));
    // The last key repeats the first exactly: frame 48 is frame 1 of the next beat.
    const double Phase = K + 1 == Keys ? 0.0 : double(K) / (Keys - 1);
    const double Turn = 2 * Pi * Phase;
    const std::vector<double> Yaw = ChainYaw(Phase);
    for (int B = 0; B < BoneCount; ++B) {
      TModelKey Rotation{Time, {0, 0, 0}};
      if (B <= CaudalTip) {
        Rotation.Value[1] = float(Yaw[std::size_t(B)]);
      } else if (B == Dorsal) {
        Rotation.Value[2] = float(DorsalSway * std::sin(Turn - 1.5));
      } else {
        const double Sign = B == PectoralRight ? 1 : -1;
        Rotation.Value[2] = float(Sign * PectoralLift * std::sin(Turn + 0.8));
        Rotation.Value[1] = float(Sign * PectoralSweep * std::cos(Turn + 0.8));
      }
      Bones[std::size_t(B)].RotationKeys.push_back(Rotation);
      TModelKey Position{Time, {0, 0, 0}};
      // The snout swings out with the wave; the chain follows from there.
      if (B == Snout) Position.Value[0] = float(Size * Lateral(SpineJointZ[0], Phase));
      Bones[std::size_t(B)].PositionKeys.push_back(Position);
    }
  }
  return Bones;
}

// ---- Skin -------------------------------------------------------------------------------------
// Laid out as the fish's: u runs around the body (0 and 1 along the back, 0.5 under the belly,
// 0.25 the +x side), v along it from the nose to SkinBodyRows; the rows below hold the fins, u
// across a fin and v from its root to its edge.
constexpr TRgb BackColour = {0.42f, 0.40f, 0.34f};   // bronze-grey
constexpr TRgb FlankColour = {0.62f, 0.60f, 0.54f};
constexpr TRgb BellyColour = {0.96f, 0.95f, 0.91f};
constexpr TRgb MarkColour = {0.20f, 0.18f, 0.15f};   // dark bars and blotches on the back
constexpr TRgb FinColour = {0.44f, 0.42f, 0.37f};
constexpr TRgb FinTipColour = {0.06f, 0.06f, 0.07f};  // black-tipped fins
constexpr double BodyLength = BodyEndZ - NoseZ;
constexpr double EyeAlong = 0.095, EyeUp = 0.30;  // v of the eye, and cos of its angle from the back
constexpr double EyeRadius = 2.4;                 // model units
constexpr double GirthAtEye = 11.0;               // model units of surface per radian around there
constexpr std::uint64_t SkinSeed = 203;

float Clamp01(double V) { return float(std::clamp(V, 0.0, 1.0)); }
double Ramp(double A, double B, double X) {
  const double T = std::clamp((X - A) / (B - A), 0.0, 1.0);
  return T * T * (3 - 2 * T);
}

TRgb BodyTexel(int X, int Y) {
  const double Alongside = (Y + 0.5) / SkinBodyRows, Around = (X + 0.5) / SkinSize;
  const double Theta = 2 * Pi * Around;
  const double Up = std::cos(Theta);  // 1 on the back, -1 under the belly
  TRgb C = Mix(FlankColour, BackColour, float(Ramp(-0.1, 0.7, Up)));
  // A crisp line between the flank and the white underside, low on the side.
  C = Mix(C, BellyColour, float(Ramp(-0.22, -0.34, Up)));
  // Faint, soft-edged bars across the back, wavering, from behind the head to the tail.
  const double Noise = TiledNoise(X / 24.0, Y / 24.0, SkinSize / 24, SkinSeed) - 0.5;
  const double Waver = 0.05 * std::sin(Theta * 2) + 0.03 * Noise;
  const double Bars = Ramp(0.1, 0.9, std::sin(2 * Pi * (Alongside * 10 + Waver)));
  C = Mix(C, MarkColour, float(0.35 * Bars * Ramp(0.2, 0.7, Up) * Ramp(0.25, 0.45, Alongside)));
  // Fine skin grain.
  C = C * float(1.0 + 0.08 * (TiledNoise(X / 2.0, Y / 2.0, SkinSize / 2, SkinSeed + 1) - 0.5));
  // Five gill slits on each side, behind the eye.
  for (int Slit = 0; Slit < 5; ++Slit) {
    const double At = 0.20 + 0.022 * Slit - 0.012 * Up;
    const double Line = std::exp(-std::pow((Alongside - At) / 0.0035, 2.0));
    C = Mix(C, BackColour * 0.45f, float(0.75 * Line * Ramp(0.55, 0.1, std::abs(Up + 0.05))));
  }
  // The eyes: small, black, a pale rim.
  for (double EyeTheta : {std::acos(EyeUp), 2 * Pi - std::acos(EyeUp)}) {
    const double R = std::hypot((Theta - EyeTheta) * GirthAtEye, (Alongside - EyeAlong) * BodyLength);
    C = Mix(C, TRgb{0.75f, 0.72f, 0.62f}, float(Ramp(EyeRadius * 1.5, EyeRadius * 1.2, R)));
    C = Mix(C, TRgb{0.01f, 0.01f, 0.02f}, float(Ramp(EyeRadius * 1.05, EyeRadius * 0.85, R)));
  }
  // The mouth: a dark curve under the snout.
  const double MouthLine = (Alongside - 0.075 - 0.05 * Up * Up) / 0.005;
  const double Mouth = std::exp(-MouthLine * MouthLine) * Ramp(-0.55, -0.8, Up);
  C = Mix(C, MarkColour * 0.6f, float(0.8 * Mouth));
  // A darker snout and tail end.
  C = C * float(0.85 + 0.15 * Ramp(0.0, 0.08, Alongside) * Ramp(1.0, 0.92, Alongside));
  return {Clamp01(C.R), Clamp01(C.G), Clamp01(C.B)};
}

TRgb FinTexel(int X, int Y) {
  const double Out = (Y - SkinBodyRows + 0.5) / (SkinSize - SkinBodyRows);
  TRgb C = Mix(FinColour, FinColour * 0.8f, float(Out));
  C = Mix(C, FinTipColour, float(Ramp(0.68, 0.9, Out)));
  C = C * float(1.0 + 0.06 * (TiledNoise(X / 3.0, Y / 3.0, SkinSize / 3, SkinSeed + 2) - 0.5));
  return {Clamp01(C.R), Clamp01(C.G), Clamp01(C.B)};
}

}  // namespace

TModelFile MakePredator() {
  TModelFile Model;
  Model.Frames = Frames;
  Model.StartFrame = 1;
  Model.Meshes = {MakeBody(), MakeTailFin(), MakeFins()};
  Model.Materials = {{"PredatorSkin", "Vadrel203.bmp"}};
  Model.Bones = MakeBones();
  return Model;
}

TImage MakePredatorSkin() {
  TImage Image(SkinSize, SkinSize);
  for (int Y = 0; Y < SkinSize; ++Y)
    for (int X = 0; X < SkinSize; ++X) Image.At(X, Y) = Y < SkinBodyRows ? BodyTexel(X, Y) : FinTexel(X, Y);
  return Image;
}

void WritePredator(const std::string& Folder) {
  WriteFile(Folder + "/Vadrel.pp3", FormatModel(MakePredator(), "Vadrel predator: made by vadrel_datagen"));
}

void WritePredatorSkin(const std::string& Folder) {
  WriteFile(Folder + "/Vadrel203.bmp", EncodeBmp(MakePredatorSkin()));
}

}  // namespace datagen
