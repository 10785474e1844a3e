// The creature "Vadrel.pp1": a slender fish, nose towards -z, back towards +y, about 145 units
// from snout to tail tips (the flock draws it at the scene's creature scale, some 0.7 scene units).
//
// Meshes: the body (elliptical rings along z, sealed at both ends), the tail fin, and the other
// fins (dorsal and the two pectorals); fins are thin two-layer fans. One material, the skin.
// Skeleton: a chain of 12 bones along the spine, two more into the tail fin, two for the dorsal
// fin and one per pectoral fin, parents listed before children. Vertices are written in model
// space and bound to one bone each; the program moves them into bone space after loading.
// Swim cycle: frames 1 to 30, one travelling wave down the body whose lateral amplitude grows
// towards the tail; the chain's joint angles are sampled from that wave, so the key at frame 30
// equals the key at frame 1 and the loop has no jump.
//
// The far creature "VadrelFar.pp1" is the same fish for creatures drawn a few dozen pixels long:
// the same outline, skin, skeleton and swim cycle from fewer rings and sides, and single-layer
// fins with fewer rays, all in one mesh (one draw instead of three), about a quarter of the
// triangles. The middle creature "VadrelMid.pp1" is the same fish for creatures drawn up to a
// hundred and fifty pixels long: the near one's meshes with rings of 10 sides, fewer rings where
// the body runs straight, and single-layer fins of the same rays; under half the triangles that
// reach the screen.
#include <algorithm>
#include <cmath>
#include <vector>

#include "DataGen.h"

namespace datagen {

enum class TCreatureDetail { Near, Middle, Far };

namespace {

// ---- Shape ------------------------------------------------------------------------------------
constexpr double NoseZ = -70, BodyEndZ = 52, TailTipZ = 76;
constexpr double MaxHalfHeight = 18;  // the body is deepest a third of the way back
constexpr double PeduncleShare = 0.14;  // half height at the tail root, as a part of the maximum
constexpr double TopBulge = 1.05, BellyBulge = 0.88;  // the back arches more than the belly
// How finely a creature is built: the near one, and the far one at a fraction of the triangles.
struct TDetail {
  int RingSides;
  std::vector<double> RingZ;  // along the body; rings at the spine joints let the body bend there
  int FinLayers;              // two: closed fins with a normal for each side; one: a bare fan
  int TailRays, TailSteps, DorsalRays, DorsalSteps, PectoralRays, PectoralSteps;
  // Rings of fewer sides are inscribed deeper inside the ellipse: this widens them back so the
  // outline keeps its girth.
  double Girth;
};
const TDetail NearDetail = {16,
                            {-67.5, -63, -57, -51, -45, -39, -33, -27, -21, -15.5, -10,
                             -5, 0, 4.5, 9, 13.5, 18, 26, 33, 39, 45, 50},
                            2, 9, 4, 7, 3, 6, 3, 1.0};
const TDetail MiddleDetail = {10,
                              {-67.5, -63, -57, -45, -33, -21, -10, 0, 9, 18, 26, 33,
                               39, 45, 50},
                              1, 9, 4, 7, 3, 6, 3, 1.02};
const TDetail FarDetail = {8, {-66, -57, -45, -33, -21, -10, 0, 9, 18, 26, 33, 39, 45, 50},
                           1, 7, 3, 4, 2, 3, 2, 1.04};
constexpr double SkinBodyV = 192.0 / 256;  // the skin's body rows end here; fin rows below
constexpr double SkinFinV0 = 194.0 / 256, SkinFinV1 = 254.0 / 256;
constexpr double FinThickness = 0.6;

// ---- Skeleton ---------------------------------------------------------------------------------
constexpr double SpineJointZ[] = {-45, -33, -21, -10, 0, 9, 18, 26, 33, 39, 45, 50};
constexpr int SpineBones = 12;
constexpr double CaudalBaseZ = 54, CaudalTipZ = 64;
enum : int { Head = 0, TailRoot = 11, CaudalBase = 12, CaudalTip = 13, Dorsal = 14, DorsalTip = 15,
             PectoralRight = 16, PectoralLeft = 17, BoneCount = 18 };

// ---- Swim cycle -------------------------------------------------------------------------------
constexpr int Frames = 30;  // the loop runs from frame 1 to frame 30, which equals frame 1
constexpr float KeyTimes[] = {1, 4.75f, 8.5f, 12.25f, 16, 19.5f, 23, 26.5f, 30};
constexpr datagen::TSwimWave Wave{.NoseZ = NoseZ,
                                  .TailTipZ = TailTipZ,
                                  .HeadAmplitude = 1.2,  // lateral sway at the snout, model units
                                  .TailAmplitude = 13.0,  // at the tail tips
                                  .AmplitudePower = 2,
                                  .WaveLength = 150};  // about one body length: one wave on the body
constexpr double DorsalSway = 0.12, DorsalTipSway = 0.16;  // radians, rolled about z
constexpr double PectoralFlap = 0.32, PectoralSweep = 0.14;

double Profile(double Z) {
  const double S = std::clamp((Z - NoseZ) / (BodyEndZ - NoseZ), 0.0, 1.0);
  const double Peak = std::sqrt(1.0 / 3) * (2.0 / 3);
  return MaxHalfHeight * ((1 - PeduncleShare) * std::sqrt(S) * (1 - S) / Peak + PeduncleShare * S * S * S * S);
}
double HalfHeight(double Z) { return Profile(Z); }
double HalfWidth(double Z) {
  const double S = std::clamp((Z - NoseZ) / (BodyEndZ - NoseZ), 0.0, 1.0);
  return Profile(Z) * (0.56 - 0.22 * S);  // the tail is flatter from side to side
}
double BackY(double Z) { return HalfHeight(Z) * TopBulge; }
double BellyY(double Z) { return -HalfHeight(Z) * BellyBulge; }

int SpineBoneAt(double Z) { return datagen::SpineBoneAt(SpineJointZ, Z); }
double Lateral(double Z, double Phase) { return Wave.Lateral(Z, Phase); }

TModelVertex Vertex(double X, double Y, double Z, double U, double V, int Bone) {
  return {float(X), float(Y), float(Z), float(U), float(V), Bone};
}

void AddBody(TModelMesh& Mesh, const TDetail& Detail) {
  const int RingSides = Detail.RingSides;
  const int Rings = int(Detail.RingZ.size()), Row = RingSides + 1;  // one extra vertex closes the seam
  const int First = int(Mesh.Vertices.size());
  for (double Z : Detail.RingZ) {
    const double V = (Z - NoseZ) / (BodyEndZ - NoseZ) * SkinBodyV;
    for (int J = 0; J <= RingSides; ++J) {
      const double Theta = 2 * Pi * J / RingSides;  // 0 on the back, pi under the belly
      const double C = std::cos(Theta);
      const double Y = Detail.Girth * (C >= 0 ? C * BackY(Z) : -C * BellyY(Z));
      Mesh.Vertices.push_back(Vertex(Detail.Girth * HalfWidth(Z) * std::sin(Theta), Y, Z,
                                     double(J) / RingSides, V, SpineBoneAt(Z)));
    }
  }
  // Poles: one vertex per side so each cap triangle keeps its own u.
  const int NoseFirst = int(Mesh.Vertices.size());
  for (int J = 0; J < RingSides; ++J)
    Mesh.Vertices.push_back(Vertex(0, -0.5, NoseZ, (J + 0.5) / RingSides, 0.0, Head));
  const int TailFirst = int(Mesh.Vertices.size());
  for (int J = 0; J < RingSides; ++J)
    Mesh.Vertices.push_back(Vertex(0, 0, BodyEndZ, (J + 0.5) / RingSides, SkinBodyV, TailRoot));

  auto Tri = [&Mesh](int A, int B, int C) { Mesh.Triangles.push_back({{A, B, C}, {0, 0, 0}}); };
  // Counter-clockwise seen from outside; the ring vertex order (j growing) turns from +y to +x.
  for (int R = 0; R + 1 < Rings; ++R)
    for (int J = 0; J < RingSides; ++J) {
      const int A = First + R * Row + J, B = A + 1, C = A + Row, D = C + 1;
      Tri(A, C, B);
      Tri(B, C, D);
    }
  for (int J = 0; J < RingSides; ++J) {
    Tri(NoseFirst + J, First + J, First + J + 1);
    const int Last = First + (Rings - 1) * Row;
    Tri(TailFirst + J, Last + J + 1, Last + J);
  }
}

// A fin as a fan of Rays rays from a root line to an edge line, Steps points along each ray,
// made of two layers FinThickness apart (Side is the direction between them) so that it is
// closed and shows from both sides. BoneOf(point, step) binds each vertex.
template <typename TBoneOf>
void AddFin(TModelMesh& Mesh, const std::vector<TPoint>& RootLine, const std::vector<TPoint>& EdgeLine,
            TPoint Side, int Rays, int Steps, int Layers, TBoneOf BoneOf) {
  const std::vector<TPoint> Root = Resample(RootLine, Rays), Edge = Resample(EdgeLine, Rays);
  const int Layer = Rays * Steps;
  const int First = int(Mesh.Vertices.size());
  const std::vector<double> Offsets =
      Layers == 2 ? std::vector<double>{0.5 * FinThickness, -0.5 * FinThickness}
                  : std::vector<double>{0.0};
  for (double Offset : Offsets)
    for (int I = 0; I < Rays; ++I)
      for (int K = 0; K < Steps; ++K) {
        const double T = double(K) / (Steps - 1);
        // The fin thins towards its edge; the layers stay apart so each keeps its own normals.
        const double O = Offset * (1 - 0.8 * T);
        const TPoint P = Lerp(Root[I], Edge[I], T);
        const double U = 0.04 + 0.92 * I / (Rays - 1), V = SkinFinV0 + (SkinFinV1 - SkinFinV0) * T;
        Mesh.Vertices.push_back(Vertex(P.X + Side.X * O, P.Y + Side.Y * O, P.Z + Side.Z * O, U, V, BoneOf(P, K)));
      }
  auto At = [&](int L, int I, int K) { return First + L * Layer + I * Steps + K; };
  for (int I = 0; I + 1 < Rays; ++I)
    for (int K = 0; K + 1 < Steps; ++K) {
      // Front layer faces +Side, back layer faces -Side.
      Mesh.Triangles.push_back({{At(0, I, K), At(0, I, K + 1), At(0, I + 1, K)}, {0, 0, 0}});
      Mesh.Triangles.push_back({{At(0, I + 1, K), At(0, I, K + 1), At(0, I + 1, K + 1)}, {0, 0, 0}});
      if (Layers < 2) continue;
      Mesh.Triangles.push_back({{At(1, I, K), At(1, I + 1, K), At(1, I, K + 1)}, {0, 0, 0}});
      Mesh.Triangles.push_back({{At(1, I + 1, K), At(1, I + 1, K + 1), At(1, I, K + 1)}, {0, 0, 0}});
    }
}

void AddTailFin(TModelMesh& Mesh, const TDetail& Detail) {
  // A deeply forked tail in the y-z plane, rooted across the end of the body.
  const std::vector<TPoint> Root = {{0, 4.5, 47}, {0, 0, 49}, {0, -4.5, 47}};
  const std::vector<TPoint> Edge = {{0, 6, 53},  {0, 16, 66},  {0, 23, TailTipZ}, {0, 9, 68},
                                    {0, 0, 63},  {0, -8, 68},  {0, -20, TailTipZ - 1}, {0, -14, 65},
                                    {0, -5.5, 53}};
  AddFin(Mesh, Root, Edge, {1, 0, 0}, Detail.TailRays, Detail.TailSteps, Detail.FinLayers,
         [](TPoint P, int Step) {
           if (Step == 0) return int(TailRoot);
           return P.Z < CaudalTipZ ? int(CaudalBase) : int(CaudalTip);
         });
}

void AddOtherFins(TModelMesh& Mesh, const TDetail& Detail) {
  // Dorsal fin: a swept sail along the back, its root sunk a little into the body.
  std::vector<TPoint> DorsalRoot, DorsalEdge;
  for (double Z : {-26.0, -16.0, -6.0, 4.0, 8.0}) DorsalRoot.push_back({0, BackY(Z) - 0.8, Z});
  DorsalEdge = {{0, BackY(-26) + 1, -27},  {0, BackY(-20) + 12, -19}, {0, BackY(-14) + 16, -11},
                {0, BackY(-4) + 9, -1},    {0, BackY(4) + 4, 7},      {0, BackY(8) + 0.5, 10}};
  AddFin(Mesh, DorsalRoot, DorsalEdge, {1, 0, 0}, Detail.DorsalRays, Detail.DorsalSteps,
         Detail.FinLayers, [](TPoint P, int Step) {
           if (Step == 0) return SpineBoneAt(P.Z);
           return Step == 1 ? int(Dorsal) : int(DorsalTip);
         });
  // Pectoral fins: behind the gills, low on each side, swept back and out.
  for (int Sign : {1, -1}) {
    const double W = HalfWidth(-42) * 0.92;
    const std::vector<TPoint> Root = {{Sign * W, -5.5, -44}, {Sign * W, -7.5, -38}};
    const std::vector<TPoint> Edge = {{Sign * (W + 2), -6, -45.5}, {Sign * (W + 8), -9, -39},
                                      {Sign * (W + 10), -12, -29}, {Sign * (W + 5), -10, -31},
                                      {Sign * (W + 1), -8, -36}};
    const int Bone = Sign > 0 ? PectoralRight : PectoralLeft;
    AddFin(Mesh, Root, Edge, {0, -double(Sign), 0}, Detail.PectoralRays, Detail.PectoralSteps,
           Detail.FinLayers, [Bone](TPoint, int Step) { return Step == 0 ? int(Head) : Bone; });
  }
}

template <typename TAdd>
TModelMesh Mesh(const char* Name, TAdd Add) {
  TModelMesh M;
  M.Name = Name;
  Add(M);
  ComputeSmoothNormals(M);
  return M;
}

// ---- Bones ------------------------------------------------------------------------------------
std::vector<TRestBone> RestBones() {
  std::vector<TRestBone> Bones;
  const char* SpineNames[] = {"Head",   "Spine1", "Spine2", "Spine3", "Spine4",  "Spine5",
                              "Spine6", "Spine7", "Spine8", "Spine9", "Spine10", "TailRoot"};
  for (int I = 0; I < SpineBones; ++I) Bones.push_back({SpineNames[I], I - 1, {0, 0, SpineJointZ[I]}});
  Bones.push_back({"CaudalBase", TailRoot, {0, 0, CaudalBaseZ}});
  Bones.push_back({"CaudalTip", CaudalBase, {0, 0, CaudalTipZ}});
  Bones.push_back({"Dorsal", 3, {0, BackY(-10), -10}});
  Bones.push_back({"DorsalTip", Dorsal, {0, BackY(-10) + 8, -12}});
  const double W = HalfWidth(-42) * 0.92;
  Bones.push_back({"PectoralRight", Head, {W, -6.5, -41}});
  Bones.push_back({"PectoralLeft", Head, {-W, -6.5, -41}});
  return Bones;
}

// Joint angles about y for the spine chain and the tail at Phase: each bone turns by the change
// in the wave's slope since its parent, so the chain lies along the travelling wave.
std::vector<double> ChainYaw(double Phase) {
  std::vector<double> Z(std::begin(SpineJointZ), std::end(SpineJointZ));
  Z.push_back(CaudalBaseZ);
  Z.push_back(CaudalTipZ);
  Z.push_back(TailTipZ);
  return datagen::ChainYaw(Z, Phase, Lateral);  // bones 0 .. CaudalTip
}

std::vector<TModelBone> MakeBones() {
  const std::vector<TRestBone> Rest = RestBones();
  std::vector<TModelBone> Bones = BonesAtRest(Rest, 1.0);
  for (float Time : KeyTimes) {
    // The last key repeats the first exactly: frame 30 is frame 1 of the next cycle.
    const double Phase = Time >= Frames ? 0.0 : (Time - 1.0) / (Frames - 1);
    const double Turn = 2 * Pi * Phase;
    const std::vector<double> Yaw = ChainYaw(Phase);
    for (int B = 0; B < BoneCount; ++B) {
      TModelKey Rotation{Time, {0, 0, 0}};
      if (B <= CaudalTip) Rotation.Value[1] = float(Yaw[B]);
      else if (B == Dorsal) Rotation.Value[2] = float(DorsalSway * std::sin(Turn - 1.2));
      else if (B == DorsalTip) Rotation.Value[2] = float(DorsalTipSway * std::sin(Turn - 2.0));
      else {
        const double Sign = B == PectoralRight ? 1 : -1;
        Rotation.Value[2] = float(Sign * PectoralFlap * std::sin(Turn + 0.5));
        Rotation.Value[1] = float(Sign * PectoralSweep * std::cos(Turn + 0.5));
      }
      Bones[B].RotationKeys.push_back(Rotation);
      // The head swings out with the wave; the chain follows from there.
      TModelKey Position{Time, {0, 0, 0}};
      if (B == Head) Position.Value[0] = float(Lateral(SpineJointZ[0], Phase));
      Bones[B].PositionKeys.push_back(Position);
    }
  }
  return Bones;
}

}  // namespace

TModelFile MakeCreature(TCreatureDetail Detail) {
  TModelFile Model;
  Model.Frames = Frames;
  Model.StartFrame = 1;
  if (Detail == TCreatureDetail::Far) {
    // One mesh; each part's normals are its own, as in the near creature.
    TModelMesh Whole = Mesh("Creature", [](TModelMesh& M) { AddBody(M, FarDetail); });
    for (TModelMesh Part : {Mesh("TailFin", [](TModelMesh& M) { AddTailFin(M, FarDetail); }),
                            Mesh("Fins", [](TModelMesh& M) { AddOtherFins(M, FarDetail); })}) {
      const int VertexBase = int(Whole.Vertices.size()), NormalBase = int(Whole.Normals.size());
      Whole.Vertices.insert(Whole.Vertices.end(), Part.Vertices.begin(), Part.Vertices.end());
      Whole.Normals.insert(Whole.Normals.end(), Part.Normals.begin(), Part.Normals.end());
      for (TModelTriangle T : Part.Triangles) {
        for (int C = 0; C < 3; ++C) {
          T.Vertex[C] += VertexBase;
          T.Normal[C] += NormalBase;
        }
        Whole.Triangles.push_back(T);
      }
    }
    Model.Meshes = {Whole};
  } else {
    const TDetail& D = Detail == TCreatureDetail::Middle ? MiddleDetail : NearDetail;
    Model.Meshes = {Mesh("Body", [&D](TModelMesh& M) { AddBody(M, D); }),
                    Mesh("TailFin", [&D](TModelMesh& M) { AddTailFin(M, D); }),
                    Mesh("Fins", [&D](TModelMesh& M) { AddOtherFins(M, D); })};
  }
  Model.Materials = {{"Skin", "Vadrel201.bmp"}};
  Model.Bones = MakeBones();
  return Model;
}

void WriteCreature(const std::string& Folder) {
  WriteFile(Folder + "/Vadrel.pp1", FormatModel(MakeCreature(TCreatureDetail::Near),
                                                 "Vadrel creature: made by vadrel_datagen"));
  WriteFile(Folder + "/VadrelMid.pp1", FormatModel(MakeCreature(TCreatureDetail::Middle),
                                                   "Vadrel creature, middle: made by vadrel_datagen"));
  WriteFile(Folder + "/VadrelFar.pp1", FormatModel(MakeCreature(TCreatureDetail::Far),
                                                   "Vadrel creature, far: made by vadrel_datagen"));
}

}  // namespace datagen
