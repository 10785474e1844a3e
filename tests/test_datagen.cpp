// The shipped data as the build generated it into the data folder: picture headers, seamless and
// looping caustic frames, sound models, a floor that fills the view, and the same bytes on every
// run of the generator.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Model.h"
#include "Platform.h"
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

// ---- A strict reading of the model text format -----------------------------------------------
struct TKey {
  float Time, Value[3];
};
struct TBoneText {
  std::string Name, Parent;
  std::vector<TKey> Position, Rotation;
};
struct TMeshText {
  int Material = 0;
  std::vector<std::array<float, 5>> Vertices;  // x, y, z, u, v
  std::vector<int> Bones;
  int Normals = 0;
  std::vector<std::array<int, 6>> Triangles;
};
struct TModelText {
  int Frames = -1, Start = -1;
  std::vector<TMeshText> Meshes;
  std::vector<std::string> ColourMaps;
  std::vector<TBoneText> Bones;
};

// Reads every block with the counts it announces; any line that does not parse fails the test.
TModelText ReadModelText(const fs::path& Path) {
  std::ifstream In(Path);
  std::vector<std::string> Lines;
  for (std::string L; std::getline(In, L);) {
    EXPECT_TRUE(L.empty() || L.back() != '\r') << Path << ": a carriage return would end up in the numbers";
    Lines.push_back(L);
  }
  std::size_t Next = 0;
  auto Line = [&]() -> std::string {
    if (Next >= Lines.size()) throw std::runtime_error("file ends inside a block");
    return Lines[Next++];
  };
  auto Numbers = [&](int Count) {
    std::istringstream S(Line());
    std::vector<double> Out(Count);
    for (double& V : Out)
      if (!(S >> V)) throw std::runtime_error("line " + std::to_string(Next) + ": too few numbers");
    return Out;
  };
  auto Quoted = [&]() {
    std::string L = Line();
    if (L.size() < 2 || L.front() != '"' || L.back() != '"') throw std::runtime_error("line " + std::to_string(Next) + ": not a quoted name");
    return L.substr(1, L.size() - 2);
  };
  TModelText M;
  while (Next < Lines.size()) {
    const std::string L = Line();
    if (L.rfind("Frames: ", 0) == 0) M.Frames = std::stoi(L.substr(8));
    else if (L.rfind("Frame: ", 0) == 0) M.Start = std::stoi(L.substr(7));
    else if (L.rfind("Meshes: ", 0) == 0) {
      M.Meshes.resize(std::stoi(L.substr(8)));
      for (TMeshText& Mesh : M.Meshes) {
        std::istringstream Head(Line());
        std::string Name;
        int Flags;
        Head >> Name >> Flags >> Mesh.Material;
        EXPECT_TRUE(Name.size() > 2 && Name.front() == '"' && Name.back() == '"') << "mesh names have no blank";
        Mesh.Vertices.resize(int(Numbers(1)[0]));
        for (auto& V : Mesh.Vertices) {
          const auto N = Numbers(7);
          V = {float(N[1]), float(N[2]), float(N[3]), float(N[4]), float(N[5])};
          Mesh.Bones.push_back(int(N[6]));
        }
        Mesh.Normals = int(Numbers(1)[0]);
        for (int I = 0; I < Mesh.Normals; ++I) Numbers(3);
        Mesh.Triangles.resize(int(Numbers(1)[0]));
        for (auto& T : Mesh.Triangles) {
          const auto N = Numbers(8);
          for (int K = 0; K < 6; ++K) T[K] = int(N[K + 1]);
        }
      }
    } else if (L.rfind("Materials: ", 0) == 0) {
      const int Count = std::stoi(L.substr(11));
      for (int I = 0; I < Count; ++I) {
        Quoted();
        for (int K = 0; K < 4; ++K) Numbers(4);
        Numbers(1);
        Numbers(1);
        M.ColourMaps.push_back(Quoted());
        Quoted();
      }
    } else if (L.rfind("Bones: ", 0) == 0) {
      M.Bones.resize(std::stoi(L.substr(7)));
      for (TBoneText& B : M.Bones) {
        B.Name = Quoted();
        B.Parent = Quoted();
        Numbers(7);
        for (auto* Track : {&B.Position, &B.Rotation}) {
          Track->resize(int(Numbers(1)[0]));
          for (TKey& K : *Track) {
            const auto N = Numbers(4);
            K = {float(N[0]), {float(N[1]), float(N[2]), float(N[3])}};
          }
        }
      }
    }
  }
  return M;
}

void ExpectIndicesInRange(const TModelText& M) {
  for (std::size_t Mi = 0; Mi < M.Meshes.size(); ++Mi) {
    const TMeshText& Mesh = M.Meshes[Mi];
    EXPECT_GE(Mesh.Material, 0);
    EXPECT_LT(Mesh.Material, int(M.ColourMaps.size()));
    for (int B : Mesh.Bones) {
      EXPECT_GE(B, -1) << "mesh " << Mi;
      EXPECT_LT(B, int(M.Bones.size())) << "mesh " << Mi;
    }
    for (const auto& T : Mesh.Triangles)
      for (int K = 0; K < 3; ++K) {
        ASSERT_TRUE(T[K] >= 0 && T[K] < int(Mesh.Vertices.size())) << "mesh " << Mi << " vertex index " << T[K];
        ASSERT_TRUE(T[K + 3] >= 0 && T[K + 3] < Mesh.Normals) << "mesh " << Mi << " normal index " << T[K + 3];
      }
  }
}

float ValueAt(const std::vector<TKey>& Keys, float Time, int Component) {
  std::size_t I = 0;
  while (I + 1 < Keys.size() && Keys[I].Time < Time) ++I;
  if (I == 0) return Keys[0].Value[Component];
  const float F = std::min(1.0f, (Time - Keys[I - 1].Time) / (Keys[I].Time - Keys[I - 1].Time));
  return Keys[I - 1].Value[Component] + (Keys[I].Value[Component] - Keys[I - 1].Value[Component]) * F;
}

// Largest swing of a rotation component over the cycle.
float Swing(const std::vector<TKey>& Keys, int Component) {
  float Lo = 1e9f, Hi = -1e9f;
  for (const TKey& K : Keys) {
    Lo = std::min(Lo, K.Value[Component]);
    Hi = std::max(Hi, K.Value[Component]);
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
  std::vector<std::string> Names = {"Vadrel200.bmp", "Vadrel201.bmp", "Vadrel202.bmp"};
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

TEST_F(DataGen, CausticFramesAndSandTileAcrossTheirEdges) {
  std::vector<std::string> Names = {"Vadrel202.bmp"};
  for (int F = 0; F < 32; F += 5) Names.push_back(CausticName(F));
  for (const std::string& Name : Names) {
    SCOPED_TRACE(Name);
    const TGrey G = ReadGrey(Data() / Name);
    for (bool AlongX : {true, false}) {
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
}

// Textures repeat, so filtering along the backdrop quad's bottom edge also takes in the picture's
// top row; a bright top row drew a thin light line along that edge.
TEST_F(DataGen, BackdropTopRowMatchesItsBottomRowSoTheBottomEdgeDrawsNoLine) {
  const TGrey G = ReadGrey(Data() / "Vadrel200.bmp");
  double Largest = 0;
  for (int X = 0; X < G.Width; ++X) Largest = std::max(Largest, std::abs(G.At(X, G.Height - 1) - G.At(X, 0)));
  EXPECT_LT(Largest, 0.02);
}

// ---- Models -----------------------------------------------------------------------------------

TEST_F(DataGen, CreatureHasThreeMeshesOneSkinAndEighteenOrderedBones) {
  const TModelText M = ReadModelText(Data() / "Vadrel.pp1");
  EXPECT_EQ(M.Frames, 30);
  EXPECT_GE(M.Start, 1);
  EXPECT_LE(M.Start, 30);
  ASSERT_EQ(M.Meshes.size(), 3u);
  EXPECT_GE(M.Meshes[0].Vertices.size(), 200u);
  EXPECT_LE(M.Meshes[0].Vertices.size(), 600u);
  ASSERT_EQ(M.ColourMaps, std::vector<std::string>{"Vadrel201.bmp"});
  ASSERT_EQ(M.Bones.size(), 18u);
  ExpectIndicesInRange(M);
  std::set<std::string> Seen;
  for (const TBoneText& B : M.Bones) {
    SCOPED_TRACE(B.Name);
    EXPECT_TRUE(B.Parent.empty() || Seen.count(B.Parent)) << "parent listed before its child";
    EXPECT_TRUE(Seen.insert(B.Name).second) << "bone names are unique";
    EXPECT_FALSE(B.Position.empty());
    EXPECT_FALSE(B.Rotation.empty());
  }
  // Size and orientation: nose towards -z, about 140 units long, back towards +y.
  float MinZ = 1e9f, MaxZ = -1e9f;
  for (const TMeshText& Mesh : M.Meshes)
    for (const auto& V : Mesh.Vertices) {
      MinZ = std::min(MinZ, V[2]);
      MaxZ = std::max(MaxZ, V[2]);
    }
  EXPECT_NEAR(MaxZ - MinZ, 145, 15);
  float NoseY = 0, DorsalTop = -1e9f;
  for (const auto& V : M.Meshes[2].Vertices) DorsalTop = std::max(DorsalTop, V[1]);
  for (const auto& V : M.Meshes[0].Vertices)
    if (V[2] == MinZ) NoseY = V[1];
  EXPECT_GT(DorsalTop, NoseY + 15) << "the dorsal fin stands up along +y";
}

TEST_F(DataGen, CreatureSwimCycleLoopsAndSweepsTheTailMoreThanTheHead) {
  const TModelText M = ReadModelText(Data() / "Vadrel.pp1");
  ASSERT_EQ(M.Bones.size(), 18u);
  for (const TBoneText& B : M.Bones) {
    SCOPED_TRACE(B.Name);
    for (const auto* Track : {&B.Position, &B.Rotation}) {
      for (std::size_t I = 1; I < Track->size(); ++I)
        EXPECT_GT((*Track)[I].Time, (*Track)[I - 1].Time) << "key times increase";
      ASSERT_GE(Track->size(), 3u);
      std::set<float> Times;
      for (const TKey& K : *Track) Times.insert(K.Time);
      EXPECT_TRUE(Times.count(1.0f) && Times.count(16.0f) && Times.count(30.0f));
      // Frame 30 is followed by frame 1: the keys there must agree.
      for (int C = 0; C < 3; ++C) EXPECT_EQ(Track->back().Value[C], Track->front().Value[C]);
      EXPECT_EQ(Track->front().Time, 1.0f);
      EXPECT_EQ(Track->back().Time, 30.0f);
    }
  }
  // The chain's total yaw at the tail swings more than the head's own yaw.
  std::map<std::string, const TBoneText*> ByName;
  for (const TBoneText& B : M.Bones) ByName[B.Name] = &B;
  auto TotalYawSwing = [&](const std::string& Name) {
    float Lo = 1e9f, Hi = -1e9f;
    for (float T = 1; T <= 30; T += 0.5f) {
      float Sum = 0;
      for (const TBoneText* B = ByName.at(Name); B; B = B->Parent.empty() ? nullptr : ByName.at(B->Parent))
        Sum += ValueAt(B->Rotation, T, 1);
      Lo = std::min(Lo, Sum);
      Hi = std::max(Hi, Sum);
    }
    return Hi - Lo;
  };
  const std::string Head = M.Bones[0].Name;
  EXPECT_GT(TotalYawSwing(Head), 0.01) << "the head sways a little";
  int Moving = 0;
  for (const TBoneText& B : M.Bones) {
    if (B.Parent.empty()) continue;
    EXPECT_GT(TotalYawSwing(B.Name) + Swing(B.Rotation, 0) + Swing(B.Rotation, 2), 0.0) << B.Name << " moves";
    Moving += Swing(B.Rotation, 0) + Swing(B.Rotation, 1) + Swing(B.Rotation, 2) > 0.05;
  }
  EXPECT_GE(Moving, 12) << "spine, tail and fins all have their own motion";
  float TailSwing = 0;
  for (const TBoneText& B : M.Bones) TailSwing = std::max(TailSwing, TotalYawSwing(B.Name));
  EXPECT_GT(TailSwing, 3 * TotalYawSwing(Head));
}

TEST_F(DataGen, TerrainIsOneBonelessGridWithARepeatingSandMap) {
  const TModelText M = ReadModelText(Data() / "Vadrel.pp2");
  ASSERT_EQ(M.Meshes.size(), 1u);
  EXPECT_EQ(M.Meshes[0].Vertices.size(), 38u * 38u);
  EXPECT_EQ(M.Meshes[0].Triangles.size(), 37u * 37u * 2u);
  EXPECT_TRUE(M.Bones.empty());
  EXPECT_EQ(M.ColourMaps, std::vector<std::string>{".\\Vadrel202.bmp"});
  ExpectIndicesInRange(M);
  for (int B : M.Meshes[0].Bones) ASSERT_EQ(B, -1);
  float MinU = 1e9f, MaxU = -1e9f, MinV = 1e9f, MaxV = -1e9f, MinY = 1e9f, MaxY = -1e9f;
  for (const auto& V : M.Meshes[0].Vertices) {
    MinU = std::min(MinU, V[3]), MaxU = std::max(MaxU, V[3]);
    MinV = std::min(MinV, V[4]), MaxV = std::max(MaxV, V[4]);
    MinY = std::min(MinY, V[1]), MaxY = std::max(MaxY, V[1]);
  }
  EXPECT_GT(MaxU - MinU, 4) << "the sand repeats several times across";
  EXPECT_GT(MaxV - MinV, 4) << "and along";
  EXPECT_GT(MaxY - MinY, 2) << "dunes";
  EXPECT_LT(MaxY - MinY, 40) << "gentle ones";
}

// Casts a ray through each sample pixel of the view and checks that it meets the floor, unless
// the backdrop quad covers it or it passes above the floor's far end (lost in the fog).
void ExpectFloorFillsTheView(const TModelText& M, int Width, int Height) {
  const double Pi = 3.14159265358979323846, C20 = std::cos(20 * Pi / 180), S20 = std::sin(20 * Pi / 180);
  // Eye position of a model point: the frame's translation, the terrain's own translation, -70
  // degrees about x, scale 0.05 and the drawing's +90 about x.
  auto ToEye = [&](const std::array<float, 5>& V) {
    const double X = 0.05 * V[0], Y = 0.05 * (V[1] * C20 - V[2] * S20), Z = 0.05 * (V[1] * S20 + V[2] * C20);
    return std::array<double, 3>{X + 2, Y - 4, Z - 6.5};
  };
  const double Tan = std::tan(22.5 * Pi / 180), Aspect = double(Width) / Height;
  std::vector<std::array<double, 2>> Screen;  // x / depth, y / depth of each vertex
  for (const auto& V : M.Meshes[0].Vertices) {
    const auto E = ToEye(V);
    ASSERT_LT(E[2], -1.0) << "every vertex beyond the near plane";
    Screen.push_back({E[0] / -E[2], E[1] / -E[2]});
  }
  const int Columns = 96, Rows = 60;
  int Missed = 0;
  for (int Row = 0; Row < Rows; ++Row)
    for (int Col = 0; Col < Columns; ++Col) {
      const double Sx = ((Col + 0.5) / Columns * 2 - 1) * Tan * Aspect, Sy = ((Row + 0.5) / Rows * 2 - 1) * Tan;
      // Behind the backdrop: x from -8 to 8 and y from 1 to 6 at depth 13.
      if (std::abs(Sx) < 8.0 / 13 && Sy > 1.0 / 13) continue;
      // Where the floor's plane lies beyond depth 55, the fog leaves under 1 % of it.
      const double Depth = 6.366 / (S20 / C20 - Sy);
      if (Sy >= S20 / C20 || Depth > 55) continue;
      bool Hit = false;
      for (const auto& T : M.Meshes[0].Triangles) {
        const auto &A = Screen[T[0]], &B = Screen[T[1]], &C = Screen[T[2]];
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
  const TModelText M = ReadModelText(Data() / "Vadrel.pp2");
  ASSERT_EQ(M.Meshes.size(), 1u);
  for (const auto& [W, H] : {std::pair{1280, 800}, std::pair{1920, 1080}, std::pair{1024, 768}}) {
    SCOPED_TRACE(std::to_string(W) + " x " + std::to_string(H));
    ExpectFloorFillsTheView(M, W, H);
  }
}

TEST_F(DataGen, ConfigurationAsksForFortyCreatures) {
  const std::vector<std::uint8_t> B = Bytes(Data() / "Vadrel.ini");
  EXPECT_EQ(std::string(B.begin(), B.end()), "[Section]\nNum=40\n");
}

// The program itself loads both models with their textures and says nothing.
TEST_F(DataGen, ProgramLoadsBothModelsWithoutAMessage) {
  TGLTestContext Gl;
  REQUIRE_GL(Gl);
  TMessageCapture Messages;
  TTempDir Elsewhere;  // the sand's ".\" name must fall back to the data folder
  TChangeDir Into(Elsewhere.Path());
  TModel Creature(false);
  ASSERT_TRUE(Creature.LoadFromFile((Data() / "Vadrel.pp1").string()));
  EXPECT_EQ(Creature.MeshCount(), 3);
  EXPECT_EQ(Creature.BoneCount(), 18);
  EXPECT_EQ(Creature.TotalFrames(), 30.0f);
  for (int F = 0; F < 200; ++F) Creature.Advance(0.37f);  // every key of every track, twice over
  TModel Terrain(true);
  ASSERT_TRUE(Terrain.LoadFromFile((Data() / "Vadrel.pp2").string()));
  EXPECT_EQ(Terrain.MeshCount(), 1);
  EXPECT_EQ(Terrain.BoneCount(), 0);
  ASSERT_EQ(Terrain.MaterialCount(), 1);
  EXPECT_NE(Terrain.Material(0).Texture, 0u);
  for (std::uint32_t Frame : Terrain.Material(0).CausticTextures) EXPECT_NE(Frame, 0u);
  EXPECT_NE(Creature.Material(0).Texture, 0u);
  for (const auto& M : Messages.Messages) ADD_FAILURE() << M.Caption << ": " << M.Text;
}

// Same bytes on every run: the generator run again into a fresh folder reproduces the data folder.
TEST_F(DataGen, GeneratorWritesTheSameBytesEveryRun) {
  const fs::path Generator = fs::path(VADREL_BINARY_DIR) / "tools" / "vadrel_datagen";
  if (!fs::exists(Generator)) GTEST_SKIP() << "no generator at " << Generator;
  TTempDir Fresh;
  const std::string Command = "\"" + Generator.string() + "\" \"" + Fresh.Path().string() + "\"";
  ASSERT_EQ(std::system(Command.c_str()), 0) << Command;
  int Files = 0;
  for (const auto& Entry : fs::directory_iterator(Fresh.Path())) {
    ++Files;
    SCOPED_TRACE(Entry.path().filename().string());
    EXPECT_TRUE(Bytes(Entry.path()) == Bytes(Data() / Entry.path().filename()));
  }
  EXPECT_EQ(Files, 38);
}

}  // namespace
