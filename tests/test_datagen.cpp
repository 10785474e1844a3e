// The shipped data as the build generated it into the data folder: picture headers, seamless and
// looping caustic frames, models as the program's reader takes them, a floor that fills the view
// within its triangle budget, and the same bytes on every run of the generator.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../tools/SceneFit.h"
#include "Ini.h"
#include "Model.h"
#include "Platform.h"
#include "Scene.h"
#include "Settings.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

fs::path Data() { return fs::path(DataFolder()); }

std::vector<std::uint8_t> Bytes(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

std::uint32_t U32(const std::vector<std::uint8_t>& B, std::size_t At) {
  return B[At] | B[At + 1] << 8 | B[At + 2] << 16 | std::uint32_t(B[At + 3]) << 24;
}

// A 24-bit BMP read the way the program reads it; luminance per pixel, rows bottom-up.
struct TGrey {
  int Width = 0, Height = 0;
  std::vector<double> Value;
  double At(int X, int Y) const { return Value[std::size_t(Y) * Width + X]; }
};

TGrey ReadGrey(const fs::path& Path) {
  const std::vector<std::uint8_t> B = Bytes(Path);
  TGrey G;
  if (B.size() < 54) {
    ADD_FAILURE() << Path << ": shorter than the two headers";
    return G;
  }
  G.Width = int(U32(B, 18));
  G.Height = int(U32(B, 22));
  const std::size_t Stride = (std::size_t(G.Width) * 3 + 3) / 4 * 4;
  if (B.size() < 54 + Stride * G.Height) {
    ADD_FAILURE() << Path << ": pixel data cut short";
    return G;
  }
  for (int Y = 0; Y < G.Height; ++Y)
    for (int X = 0; X < G.Width; ++X) {
      const std::uint8_t* P = &B[54 + Stride * Y + 3 * X];
      G.Value.push_back((0.114 * P[0] + 0.587 * P[1] + 0.299 * P[2]) / 255.0);
    }
  return G;
}

double Mean(const TGrey& G) {
  double S = 0;
  for (double V : G.Value) S += V;
  return S / G.Value.size();
}

// Mean step between neighbouring columns (or rows) across the picture's wrap-around, and the mean
// of the steps between the two columns (rows) next to the edge on either side. Tiling pictures
// change across the wrap as they do next to it; a seam shows as a jump.
struct TSteps {
  double AcrossEdge, NextToEdge;
};
TSteps EdgeSteps(const TGrey& G, bool AlongX) {
  const int N = AlongX ? G.Width : G.Height, M = AlongX ? G.Height : G.Width;
  auto Step = [&](int A, int B) {
    double S = 0;
    for (int I = 0; I < M; ++I)
      S += AlongX ? std::abs(G.At(B, I) - G.At(A, I)) : std::abs(G.At(I, B) - G.At(I, A));
    return S / M;
  };
  return {Step(N - 1, 0), (Step(N - 3, N - 2) + Step(N - 2, N - 1) + Step(0, 1) + Step(1, 2)) / 4};
}

double MeanDifference(const TGrey& A, const TGrey& B) {
  double S = 0;
  for (std::size_t I = 0; I < A.Value.size(); ++I) S += std::abs(A.Value[I] - B.Value[I]);
  return S / A.Value.size();
}

std::string CausticName(int Frame) { return "Vadrel" + std::to_string(100 + Frame) + ".bmp"; }

// ---- The shipped models, through the program's reader -----------------------------------------

// A shipped model read from the data folder as the program reads it, without its textures (so no
// GL is needed). A malformed file, an index that points outside its lists or a track that breaks
// the program's checks fails the test through the reader's EModelError.
std::unique_ptr<TModel> ReadShipped(const char* Name) {
  const fs::path Path = Data() / Name;
  auto Model = std::make_unique<TModel>(false);
  EXPECT_TRUE(Model->LoadFromMemory(Path.string(), Bytes(Path), TModel::TTextures::Skip))
      << Path << ": a parent name names no bone";
  return Model;
}

// Largest swing of a rotation component over the cycle.
float Swing(const std::vector<TKeyFrame>& Keys, int Component) {
  float Lo = 1e9f, Hi = -1e9f;
  for (const TKeyFrame& K : Keys) {
    Lo = std::min(Lo, K.Value[std::size_t(Component)]);
    Hi = std::max(Hi, K.Value[std::size_t(Component)]);
  }
  return Hi - Lo;
}

class DataGen : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(Data() / "Vadrel.pp1"))
        << "no generated data in " << Data() << " (the vadrel_data target writes it)";
  }
};

// ---- Pictures ---------------------------------------------------------------------------------

TEST_F(DataGen, EveryPictureIsAnUncompressed24BitBottomUpBmp) {
  std::vector<std::string> Names = {"Vadrel200.bmp", "Vadrel201.bmp", "Vadrel202.bmp",
                                    "Vadrel203.bmp"};
  for (int F = 0; F < 32; ++F) Names.push_back(CausticName(F));
  for (const std::string& Name : Names) {
    SCOPED_TRACE(Name);
    const std::vector<std::uint8_t> B = Bytes(Data() / Name);
    ASSERT_GE(B.size(), 54u);
    EXPECT_EQ(B[0], 'B');
    EXPECT_EQ(B[1], 'M');
    EXPECT_EQ(U32(B, 2), B.size()) << "file size field";
    EXPECT_EQ(U32(B, 10), 54u) << "pixels right after the headers: no colour table";
    EXPECT_EQ(U32(B, 14), 40u) << "info header size";
    const auto Width = std::int32_t(U32(B, 18)), Height = std::int32_t(U32(B, 22));
    EXPECT_GT(Width, 0);
    EXPECT_GT(Height, 0) << "positive height: rows bottom-up";
    EXPECT_EQ(B[28] | B[29] << 8, 24) << "bits per pixel";
    EXPECT_EQ(U32(B, 30), 0u) << "compression";
    EXPECT_EQ(U32(B, 46), 0u) << "colours used";
    const std::uint32_t Stride = (std::uint32_t(Width) * 3 + 3) / 4 * 4;
    EXPECT_EQ(B.size(), 54 + std::size_t(Stride) * Height);
    // Powers of two, so mip-mapping never has to rescale.
    EXPECT_EQ(Width & (Width - 1), 0);
    EXPECT_EQ(Height & (Height - 1), 0);
  }
}

TEST_F(DataGen, CausticFramesAreBrightLinesOverAMidGreyBase) {
  for (int F = 0; F < 32; F += 7) {
    SCOPED_TRACE(CausticName(F));
    const TGrey G = ReadGrey(Data() / CausticName(F));
    ASSERT_EQ(G.Width, 256);
    ASSERT_EQ(G.Height, 256);
    // Both texture units multiply: a dark base would make a dark floor.
    EXPECT_GT(*std::min_element(G.Value.begin(), G.Value.end()), 0.35);
    EXPECT_GT(Mean(G), 0.5);
    EXPECT_LT(Mean(G), 0.7);
    EXPECT_GT(*std::max_element(G.Value.begin(), G.Value.end()), 0.9);
    // Thin lines: only a small part of the picture is bright.
    const auto Bright = std::count_if(G.Value.begin(), G.Value.end(), [](double V) { return V > 0.8; });
    EXPECT_GT(Bright, 0);
    EXPECT_LT(double(Bright) / G.Value.size(), 0.12);
  }
}

// The backdrop repeats across a view wider than 4:3, so it tiles left to right as well.
TEST_F(DataGen, CausticFramesSandAndBackdropTileAcrossTheirEdges) {
  std::vector<std::string> Names = {"Vadrel202.bmp", "Vadrel200.bmp"};
  for (int F = 0; F < 32; F += 5) Names.push_back(CausticName(F));
  for (const std::string& Name : Names) {
    SCOPED_TRACE(Name);
    const TGrey G = ReadGrey(Data() / Name);
    for (bool AlongX : {true, false}) {
      if (!AlongX && Name == "Vadrel200.bmp") continue;  // its bottom and top are edges of the quad
      const TSteps Steps = EdgeSteps(G, AlongX);
      EXPECT_LT(Steps.AcrossEdge, 1.6 * Steps.NextToEdge + 0.002) << (AlongX ? "left-right" : "top-bottom");
    }
  }
}

TEST_F(DataGen, CausticLoopFlowsFromTheLastFrameIntoTheFirst) {
  std::vector<TGrey> Frames;
  for (int F = 0; F < 32; ++F) Frames.push_back(ReadGrey(Data() / CausticName(F)));
  double Largest = 0, Smallest = 1;
  for (int F = 0; F + 1 < 32; ++F) {
    const double D = MeanDifference(Frames[F], Frames[F + 1]);
    Largest = std::max(Largest, D);
    Smallest = std::min(Smallest, D);
  }
  const double Wrap = MeanDifference(Frames[31], Frames[0]);
  EXPECT_GT(Smallest, 0.002) << "every frame moves on";
  EXPECT_LE(Wrap, 1.2 * Largest) << "the step from frame 31 to frame 0 is no jump";
  EXPECT_GE(Wrap, 0.8 * Smallest);
}

TEST_F(DataGen, SandIsBrightAndWarm) {
  const std::vector<std::uint8_t> B = Bytes(Data() / "Vadrel202.bmp");
  ASSERT_GT(B.size(), 54u);
  double Red = 0, Blue = 0;
  for (std::size_t I = 54; I + 2 < B.size(); I += 3) {
    Blue += B[I];
    Red += B[I + 2];
  }
  const double Pixels = (B.size() - 54) / 3.0;
  EXPECT_GT(Red / Pixels / 255, 0.8);
  EXPECT_GT(Red, Blue * 1.1);
  EXPECT_GT(Mean(ReadGrey(Data() / "Vadrel202.bmp")), 0.75);
}

TEST_F(DataGen, BackdropBrightensFromDeepWaterTowardsTheSurface) {
  const TGrey G = ReadGrey(Data() / "Vadrel200.bmp");
  auto RowMean = [&G](int Y) {
    double S = 0;
    for (int X = 0; X < G.Width; ++X) S += G.At(X, Y);
    return S / G.Width;
  };
  // Rows are stored bottom-up: row 0 is the bottom of the picture. The top of the view crosses
  // the quad at 88 % of its height.
  EXPECT_GT(RowMean(G.Height * 85 / 100), RowMean(G.Height / 2) + 0.1);
  EXPECT_GT(RowMean(G.Height / 2), RowMean(G.Height / 5));
  // Below the ridges' tops the picture sinks into a muted haze rather than darkening towards the
  // fog's edge: a dark band just above it made the fog's colour read as a neon stripe.
  EXPECT_GT(RowMean(G.Height / 10), RowMean(G.Height * 3 / 10) - 0.1);
}

// Textures repeat, so filtering along the backdrop quad's bottom edge also takes in the picture's
// top row; a bright top row drew a thin light line along that edge.
TEST_F(DataGen, BackdropTopRowMatchesItsBottomRowSoTheBottomEdgeDrawsNoLine) {
  const TGrey G = ReadGrey(Data() / "Vadrel200.bmp");
  double Largest = 0;
  for (int X = 0; X < G.Width; ++X) Largest = std::max(Largest, std::abs(G.At(X, G.Height - 1) - G.At(X, 0)));
  EXPECT_LT(Largest, 0.02);
}

// The quad stands BackdropDepth away and spans BackdropTop - BackdropBottom of the view's height
// and 2 BackdropHalfWidth of the picture's width (a wider view repeats the picture at that scale),
// so a 4K screen's 2160 rows show it at a fixed number of texels per pixel across and down. Its
// bottom row is the fog's colour, which the floor takes where it meets the quad's bottom edge.
TEST_F(DataGen, BackdropIsSharpOnA4KScreenAndMeetsTheFloorInTheFogsColour) {
  using namespace datagen::SceneFit;
  const std::vector<std::uint8_t> B = Bytes(Data() / "Vadrel200.bmp");
  ASSERT_GE(B.size(), 54u);
  const double Width = U32(B, 18), Height = U32(B, 22);
  const double PixelsPerUnit = 2160 / (2 * BackdropDepth * HalfViewTan());  // at the quad
  EXPECT_GE(Width / (2 * BackdropHalfWidth * PixelsPerUnit), 0.5) << "texels per pixel across";
  EXPECT_GE(Height / ((BackdropTop - BackdropBottom) * PixelsPerUnit), 0.5) << "texels per pixel down";
  const std::uint8_t Fog[3] = {std::uint8_t(std::lround(Scene::FogColor[2] * 255)),
                               std::uint8_t(std::lround(Scene::FogColor[1] * 255)),
                               std::uint8_t(std::lround(Scene::FogColor[0] * 255))};
  int Off = 0;
  for (std::size_t I = 54; I < 54 + 3 * std::size_t(Width); ++I) Off += std::abs(B[I] - Fog[(I - 54) % 3]) > 1;
  EXPECT_EQ(Off, 0) << "bytes of the bottom row off the fog's colour";
}

// ---- Models -----------------------------------------------------------------------------------

// A skeleton the program poses as a seamless loop: bone 0 the only root, each parent listed before
// its children, names unique, and every track keyed from frame 1 to the last frame, in increasing
// time, with the same value at both ends (frame 1 follows the last).
void ExpectLoopingSkeleton(const TModel& M, std::size_t MinKeys) {
  std::set<std::string> Seen;
  for (int B = 0; B < M.BoneCount(); ++B) {
    const TBone& Bone = M.Bone(B);
    SCOPED_TRACE(Bone.Name);
    EXPECT_TRUE(Bone.ParentName.empty() ? B == 0 : Seen.count(Bone.ParentName) == 1)
        << "one root, parents first";
    EXPECT_TRUE(Seen.insert(Bone.Name).second) << "bone names are unique";
    for (const auto* Track : {&Bone.PositionKeys, &Bone.RotationKeys}) {
      ASSERT_GE(Track->size(), MinKeys);
      for (std::size_t I = 1; I < Track->size(); ++I)
        EXPECT_GT((*Track)[I].Time, (*Track)[I - 1].Time) << "key times increase";
      EXPECT_EQ(Track->front().Time, 1.0f);
      EXPECT_EQ(Track->back().Time, M.TotalFrames()) << "the cycle spans the whole loop";
      EXPECT_EQ(Track->back().Value, Track->front().Value) << "frame 1 follows the last frame";
    }
  }
}

TEST_F(DataGen, CreatureHasThreeMeshesOneSkinOrderedBonesAndTheScenesLength) {
  const std::unique_ptr<TModel> M = ReadShipped("Vadrel.pp1");
  EXPECT_GE(M->CurrentFrame(), 1.0f) << "the start frame lies inside the cycle";
  EXPECT_LE(M->CurrentFrame(), M->TotalFrames());
  ASSERT_EQ(M->MeshCount(), 3);
  EXPECT_GE(M->Mesh(0).Vertices.size(), 200u);
  EXPECT_LE(M->Mesh(0).Vertices.size(), 600u);
  ASSERT_EQ(M->MaterialCount(), 1);
  EXPECT_EQ(M->Material(0).TextureFile, "Vadrel201.bmp");
  for (int Mesh = 0; Mesh < M->MeshCount(); ++Mesh) EXPECT_EQ(M->MaterialIndex(Mesh), 0) << Mesh;
  // Size and orientation as drawn at the start frame: nose towards -z, as long as the scene takes
  // it to be (its level of detail goes by that length on screen), back towards +y.
  float MinZ = 1e9f, MaxZ = -1e9f;
  for (int Mesh = 0; Mesh < M->MeshCount(); ++Mesh)
    for (const TVec& V : M->Mesh(Mesh).Vertices) {
      MinZ = std::min(MinZ, M->Placed(V)[2]);
      MaxZ = std::max(MaxZ, M->Placed(V)[2]);
    }
  EXPECT_NEAR(MaxZ - MinZ, Scene::CreatureLength / Scene::CreatureScale, 15);
  float NoseY = 0, DorsalTop = -1e9f;
  for (const TVec& V : M->Mesh(2).Vertices) DorsalTop = std::max(DorsalTop, M->Placed(V)[1]);
  for (const TVec& V : M->Mesh(0).Vertices)
    if (M->Placed(V)[2] == MinZ) NoseY = M->Placed(V)[1];
  EXPECT_GT(DorsalTop, NoseY + 15) << "the dorsal fin stands up along +y";
}

TEST_F(DataGen, CreatureSwimCycleLoopsAndSweepsTheTailMoreThanTheHead) {
  const std::unique_ptr<TModel> M = ReadShipped("Vadrel.pp1");
  ExpectLoopingSkeleton(*M, 3);
  // The chain's total yaw at the tail swings more than the head's own yaw.
  auto TotalYawSwing = [&](const TBone& Bone) {
    float Lo = 1e9f, Hi = -1e9f;
    for (float T = 1; T <= M->TotalFrames(); T += 0.5f) {
      float Sum = 0;
      for (const TBone* B = &Bone; B; B = B->Parent) Sum += B->RotationAt(T)[1];
      Lo = std::min(Lo, Sum);
      Hi = std::max(Hi, Sum);
    }
    return Hi - Lo;
  };
  const TBone& Head = M->Bone(0);
  EXPECT_GT(TotalYawSwing(Head), 0.01) << "the head sways a little";
  int Moving = 0;
  float TailSwing = 0;
  for (int B = 0; B < M->BoneCount(); ++B) {
    const TBone& Bone = M->Bone(B);
    TailSwing = std::max(TailSwing, TotalYawSwing(Bone));
    if (!Bone.Parent) continue;
    const std::vector<TKeyFrame>& Keys = Bone.RotationKeys;
    EXPECT_GT(TotalYawSwing(Bone) + Swing(Keys, 0) + Swing(Keys, 2), 0.0) << Bone.Name << " moves";
    Moving += Swing(Keys, 0) + Swing(Keys, 1) + Swing(Keys, 2) > 0.05;
  }
  EXPECT_GE(Moving, 12) << "spine, tail and fins all have their own motion";
  EXPECT_GT(TailSwing, 3 * TotalYawSwing(Head));
  // Posing passes the program's track checks at every key of every track, twice over.
  for (int F = 0; F < 200; ++F) M->Advance(0.37f);
}

// Extent of a model as the program poses it at Time: along z (nose to tail), along y (belly to
// the top of the fins), across x, and the farthest any vertex lies from the model's origin.
struct TExtent {
  float Length = 0, Height = 0, Width = 0, Reach = 0;
};
TExtent ExtentAt(TModel& M, float Time) {
  M.Advance(Time - M.CurrentFrame());
  std::array<float, 3> Lo{1e9f, 1e9f, 1e9f}, Hi{-1e9f, -1e9f, -1e9f};
  float Reach = 0;
  for (int Mesh = 0; Mesh < M.MeshCount(); ++Mesh)
    for (const TVec& V : M.Mesh(Mesh).Vertices) {
      const std::array<float, 3> P = M.Placed(V);
      for (std::size_t K = 0; K < 3; ++K) {
        Lo[K] = std::min(Lo[K], P[K]);
        Hi[K] = std::max(Hi[K], P[K]);
      }
      Reach = std::max(Reach, std::hypot(P[0], P[1], P[2]));
    }
  return {Hi[2] - Lo[2], Hi[1] - Lo[1], Hi[0] - Lo[0], Reach};
}

// The flock skips a creature lying farther than Scene::CreatureReach beyond the view: a vertex
// outside that sphere would vanish at the screen's edge while still in sight.
TEST_F(DataGen, EveryCreatureStaysInsideTheReachTheFlockCullsWithInEveryPose) {
  const float Reach = float(Scene::CreatureReach / Scene::CreatureScale);
  for (const char* Name : {"Vadrel.pp1", "Vadrel.pp3"}) {
    SCOPED_TRACE(Name);
    const std::unique_ptr<TModel> M = ReadShipped(Name);
    for (float T = 1; T <= M->TotalFrames(); T += 0.25f)
      ASSERT_LT(ExtentAt(*M, T).Reach, Reach) << "frame " << T;
  }
}

TEST_F(DataGen, PredatorIsALargerAnimalWithItsOwnSkinAndASlowerLoopingBeat) {
  const std::unique_ptr<TModel> Fish = ReadShipped("Vadrel.pp1"), M = ReadShipped("Vadrel.pp3");
  ASSERT_EQ(M->MeshCount(), 3);
  ASSERT_EQ(M->MaterialCount(), 1);
  EXPECT_EQ(M->Material(0).TextureFile, "Vadrel203.bmp");
  for (int Mesh = 0; Mesh < M->MeshCount(); ++Mesh) EXPECT_EQ(M->MaterialIndex(Mesh), 0) << Mesh;
  ExpectLoopingSkeleton(*M, 5);  // enough keys for a smooth beat
  // A slower beat: a longer loop at the same frame rate.
  EXPECT_GE(M->TotalFrames(), 1.4f * Fish->TotalFrames());
  // Larger at a glance: longer, and deeper and broader still.
  const TExtent F = ExtentAt(*Fish, 1), P = ExtentAt(*M, 1);
  EXPECT_GT(P.Length, 1.4f * F.Length);
  EXPECT_GT(P.Height, 1.4f * F.Height);
  EXPECT_GT(P.Width, 2.0f * F.Width) << "wide pectoral fins";
  // A stronger beat: the tail sweeps further from side to side over the loop than the fish's.
  auto Sweep = [](TModel& Model) {
    float Lo = 1e9f, Hi = -1e9f;
    for (float T = 1; T <= Model.TotalFrames(); T += 0.5f) {
      Model.Advance(T - Model.CurrentFrame());
      for (const TVec& V : Model.Mesh(1).Vertices) {
        Lo = std::min(Lo, Model.Placed(V)[0]);
        Hi = std::max(Hi, Model.Placed(V)[0]);
      }
    }
    return Hi - Lo;
  };
  EXPECT_GT(Sweep(*M), 1.2f * Sweep(*Fish));
}

// The floor's vertices in eye space, placed as the scene places the floor.
std::vector<std::array<double, 3>> InEyeSpace(const TShape& Grid) {
  using namespace datagen::SceneFit;
  const double Tilt = TerrainTiltDegrees * Pi / 180, C = std::cos(Tilt), S = std::sin(Tilt);
  std::vector<std::array<double, 3>> Eye;
  for (const TVec& V : Grid.Vertices)
    Eye.push_back({TerrainOrigin[0] + TerrainScale * V.X,
                   TerrainOrigin[1] + TerrainScale * (V.Y * C - V.Z * S),
                   TerrainOrigin[2] + TerrainScale * (V.Y * S + V.Z * C)});
  return Eye;
}

TEST_F(DataGen, TerrainIsOneBonelessMeshWithARepeatingSandMapAndGentleDunes) {
  const std::unique_ptr<TModel> M = ReadShipped("Vadrel.pp2");
  ASSERT_EQ(M->MeshCount(), 1);
  const TShape& Grid = M->Mesh(0);
  EXPECT_EQ(M->BoneCount(), 0);
  ASSERT_EQ(M->MaterialCount(), 1);
  EXPECT_EQ(M->Material(0).TextureFile, ".\\Vadrel202.bmp");
  EXPECT_EQ(M->MaterialIndex(0), 0);
  for (const TVec& V : Grid.Vertices) ASSERT_EQ(V.BoneIndex, -1);
  float MinU = 1e9f, MaxU = -1e9f, MinV = 1e9f, MaxV = -1e9f, MinY = 1e9f, MaxY = -1e9f;
  const std::vector<std::array<double, 3>> Eye = InEyeSpace(Grid);
  for (std::size_t I = 0; I < Grid.Vertices.size(); ++I) {
    const TVec& V = Grid.Vertices[I];
    MinU = std::min(MinU, V.U), MaxU = std::max(MaxU, V.U);
    MinV = std::min(MinV, V.V), MaxV = std::max(MaxV, V.V);
    // Heights where the floor lies in the model's x-z plane, near the viewer (it bends away far).
    if (Eye[I][2] > -15) MinY = std::min(MinY, V.Y), MaxY = std::max(MaxY, V.Y);
  }
  EXPECT_GT(MaxU - MinU, 4) << "the sand repeats several times across";
  EXPECT_GT(MaxV - MinV, 4) << "and along";
  EXPECT_GT(MaxY - MinY, 2) << "dunes";
  EXPECT_LT(MaxY - MinY, 40) << "gentle ones";
}

// Casts a ray through each sample pixel of the view and checks that it meets the floor unless the
// backdrop quad covers it; and where the floor reaches the quad's bottom edge it lies so deep in
// the fog (60 units: under 0.4 % of its colour left) that it shows the fog's colour, as the quad's
// bottom row does.
void ExpectFloorFillsTheView(const TShape& Grid, int Width, int Height) {
  using namespace datagen::SceneFit;
  const std::vector<std::array<double, 3>> Eye = InEyeSpace(Grid);
  const double Tan = HalfViewTan(), Aspect = double(Width) / Height;
  std::vector<std::array<double, 2>> Screen;  // x / depth, y / depth of each vertex
  for (const auto& E : Eye) {
    ASSERT_LT(E[2], -1.0) << "every vertex beyond the near plane";
    Screen.push_back({E[0] / -E[2], E[1] / -E[2]});
  }
  const double Edge = BackdropBottom / BackdropDepth;  // the slope (y / depth) of the quad's bottom edge
  double Nearest = 1e9;  // depth of the nearest point where the floor crosses that edge's ray
  for (const TTri& T : Grid.Triangles)
    for (int K = 0; K < 3; ++K) {
      const auto& A = Eye[std::size_t(T.VertexIndices[K])];
      const auto& B = Eye[std::size_t(T.VertexIndices[(K + 1) % 3])];
      const double Ga = A[1] + Edge * A[2], Gb = B[1] + Edge * B[2];  // above the ray: positive
      if ((Ga < 0) == (Gb < 0)) continue;
      Nearest = std::min(Nearest, -(A[2] + (B[2] - A[2]) * Ga / (Ga - Gb)));
    }
  EXPECT_LT(Nearest, 1e9) << "the floor reaches the backdrop's bottom edge";
  EXPECT_GE(Nearest, 60.0) << "depth where the floor meets the backdrop's bottom edge";
  const int Columns = 96, Rows = 60;
  int Missed = 0;
  for (int Row = 0; Row < Rows; ++Row)
    for (int Col = 0; Col < Columns; ++Col) {
      const double Sx = ((Col + 0.5) / Columns * 2 - 1) * Tan * Aspect, Sy = ((Row + 0.5) / Rows * 2 - 1) * Tan;
      if (std::abs(Sx - BackdropCentreX / BackdropDepth) <
              BackdropHalfWidth * Scene::BackdropWidening(Aspect) / BackdropDepth &&
          Sy > BackdropBottom / BackdropDepth)
        continue;  // behind the backdrop
      bool Hit = false;
      for (const TTri& T : Grid.Triangles) {
        const auto &A = Screen[std::size_t(T.VertexIndices[0])], &B = Screen[std::size_t(T.VertexIndices[1])],
                   &C = Screen[std::size_t(T.VertexIndices[2])];
        const double D = (B[0] - A[0]) * (C[1] - A[1]) - (C[0] - A[0]) * (B[1] - A[1]);
        const double L1 = ((Sx - A[0]) * (C[1] - A[1]) - (C[0] - A[0]) * (Sy - A[1])) / D;
        const double L2 = ((B[0] - A[0]) * (Sy - A[1]) - (Sx - A[0]) * (B[1] - A[1])) / D;
        if (L1 >= 0 && L2 >= 0 && L1 + L2 <= 1) {
          Hit = true;
          break;
        }
      }
      if (!Hit) {
        ++Missed;
        ADD_FAILURE() << Width << " x " << Height << ": no floor at sample (" << Col << ", " << Row << ")";
        if (Missed > 5) return;
      }
    }
}

TEST_F(DataGen, TerrainFillsTheFloorOfTheViewWithNoEdgeInSight) {
  const std::unique_ptr<TModel> M = ReadShipped("Vadrel.pp2");
  ASSERT_EQ(M->MeshCount(), 1);
  for (const auto& [W, H] : {std::pair{1280, 800}, std::pair{1920, 1080}, std::pair{1024, 768},
                             std::pair{2560, 1080}, std::pair{3840, 1080}, std::pair{768, 1024}}) {
    SCOPED_TRACE(std::to_string(W) + " x " + std::to_string(H));
    ExpectFloorFillsTheView(M->Mesh(0), W, H);
  }
}

// A view draws each triangle of the floor not wholly beyond one bound of its frustum, and pays
// the same for it whether the fog has left anything of it or not. A wider view sees more floor,
// so the budget is per square of the view (16:9 is 1.78 squares). Both numbers are ceilings to
// lower as the floor gets leaner, not targets: today 615 to 651 triangles a square are drawn
// (32:9 to 4:3), and 28 % of the floor, mostly rows below the view, is never shown.
constexpr double FloorTrianglesPerViewSquare = 660;
constexpr double FloorNeverShownShare = 0.29;

TEST_F(DataGen, FloorDrawsWithinItsTriangleBudgetAtEveryViewShapeAndLittleOfItIsNeverShown) {
  using namespace datagen::SceneFit;
  const std::unique_ptr<TModel> M = ReadShipped("Vadrel.pp2");
  ASSERT_EQ(M->MeshCount(), 1);
  const TShape& Grid = M->Mesh(0);
  const std::vector<std::array<double, 3>> Eye = InEyeSpace(Grid);
  // Shown: also not wholly beyond the fog's end, where under half a step in 255 of it is left.
  const double Up = HalfViewTan(), FogEnd = std::sqrt(std::log(2 * 255.0)) / FogDensity;
  std::vector<bool> Shown(Grid.Triangles.size());
  for (const double Aspect : {4.0 / 3, 16.0 / 10, 16.0 / 9, 21.0 / 9, 32.0 / 9}) {
    int Drawn = 0;
    for (std::size_t T = 0; T < Grid.Triangles.size(); ++T) {
      // Whether every vertex lies beyond: left, right, bottom, top, near, far, the fog's end.
      std::array<bool, 7> All{1, 1, 1, 1, 1, 1, 1};
      for (const int I : Grid.Triangles[T].VertexIndices) {
        const auto& [X, Y, Z] = Eye[std::size_t(I)];  // Z < 0 ahead of the camera
        const std::array<bool, 7> Beyond{X < Up * Aspect * Z, X > -Up * Aspect * Z, Y < Up * Z,
                                         Y > -Up * Z, -Z < Scene::NearPlane, -Z > Scene::FarPlane,
                                         -Z > FogEnd};
        for (std::size_t K = 0; K < 7; ++K) All[K] = All[K] && Beyond[K];
      }
      if (std::find(All.begin(), All.begin() + 6, true) != All.begin() + 6) continue;
      ++Drawn;
      Shown[T] = Shown[T] || !All[6];
    }
    EXPECT_LE(Drawn, FloorTrianglesPerViewSquare * Aspect) << "floor triangles drawn at " << Aspect;
  }
  EXPECT_LE(double(std::count(Shown.begin(), Shown.end(), false)),
            FloorNeverShownShare * double(Shown.size()))
      << "floor triangles no view shape shows, of " << Shown.size();
}

// The shipped Vadrel.ini shows the user every key the options table has, and read as the data
// folder's file it changes nothing: the settings are those the program has without it.
TEST_F(DataGen, ConfigurationNamesEveryKeyAndChangesNoSetting) {
  const std::vector<std::uint8_t> B = Bytes(Data() / "Vadrel.ini");
  const std::string Text(B.begin(), B.end());
  for (const TOptionSpec& Row : OptionTable()) {
    if (Row.IniKey.empty()) continue;
    EXPECT_TRUE(ReadIniStringFromMemory(Text, "Section", Row.IniKey)) << Row.IniKey;
  }
  const TWorkedOutSettings With = WorkOutSettings({}, {}, {"Vadrel.ini", Text});
  const TSettings Without = WorkOutSettings({}, {}, {}).Settings;
  EXPECT_EQ(With.Diagnostics, std::vector<std::string>{});
  EXPECT_EQ(With.Settings.BoidCount, Without.BoidCount);
  EXPECT_EQ(With.Settings.RivalCount, Without.RivalCount);
  EXPECT_EQ(With.Settings.IdleSeconds, Without.IdleSeconds);
}

// Same bytes on every run: the generator run again into a fresh folder reproduces the data folder.
TEST_F(DataGen, GeneratorWritesTheSameBytesEveryRun) {
  const fs::path Generator = fs::path(VADREL_BINARY_DIR) / "tools" / "vadrel_datagen";
  if (!fs::exists(Generator)) GTEST_SKIP() << "no generator at " << Generator;
  TTempDir Fresh;
  // Appended piece by piece: GCC 12 takes a string literal joined to a temporary string for an
  // overlapping copy (-Wrestrict), a known false report.
  std::string Command = "\"";
  Command += Generator.string();
  Command += "\" \"";
  Command += Fresh.Path().string();
  Command += '"';
  ASSERT_EQ(std::system(Command.c_str()), 0) << Command;
  int Files = 0;
  for (const auto& Entry : fs::directory_iterator(Fresh.Path())) {
    ++Files;
    SCOPED_TRACE(Entry.path().filename().string());
    EXPECT_TRUE(Bytes(Entry.path()) == Bytes(Data() / Entry.path().filename()));
  }
  EXPECT_EQ(Files, 42);
}

}  // namespace
