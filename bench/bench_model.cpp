// Loading a creature-sized model, and posing and drawing it on the reference (immediate-mode)
// path in an offscreen GL context.
#include "Model.h"

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include "TestSupport.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int Rings = 20, RingVertices = 16;  // 320 body vertices
constexpr int SpineBones = 12, FinBones = 6;  // 18 bones

void Vertex(std::ostream& Out, double X, double Y, double Z, double U, double V, int Bone) {
  Out << "0 " << X << ' ' << Y << ' ' << Z << ' ' << U << ' ' << V << ' ' << Bone << '\n';
}

// A fin: a 25 x 3 grid (75 vertices) hanging off the body, bound to one fin bone.
void Fin(std::ostream& Out, const char* Name, double Z0, double Y0, int Bone) {
  Out << '"' << Name << "\" 0 0\n" << 25 * 3 << '\n';
  for (int I = 0; I < 25; ++I)
    for (int J = 0; J < 3; ++J)
      Vertex(Out, 0.5 * J, Y0 + 0.6 * I, Z0 + 0.8 * I + 2.0 * J, I / 24.0, J / 2.0, Bone);
  Out << "1\n1.000000 0.000000 0.000000\n" << 24 * 2 * 2 << '\n';
  for (int I = 0; I < 24; ++I)
    for (int J = 0; J < 2; ++J) {
      const int A = I * 3 + J, B = A + 1, C = A + 3, D = C + 1;
      Out << "0 " << A << ' ' << B << ' ' << C << " 0 0 0 1\n";
      Out << "0 " << B << ' ' << D << ' ' << C << " 0 0 0 1\n";
    }
}

std::string CreatureText() {
  std::ostringstream Out;
  Out.setf(std::ios::fixed);
  Out.precision(6);
  Out << "// generated creature\n\nFrames: 30\nFrame: 1\n\nMeshes: 3\n\"Body\" 0 0\n"
      << Rings * RingVertices << '\n';
  for (int R = 0; R < Rings; ++R) {
    const double Z = -70.0 + 120.0 * R / (Rings - 1);
    const double Radius = 2.0 + 14.0 * std::sin(Pi * (R + 0.5) / Rings);
    const int Bone = std::min(SpineBones - 1, R * SpineBones / Rings);
    for (int K = 0; K < RingVertices; ++K) {
      const double A = 2 * Pi * K / RingVertices;
      Vertex(Out, Radius * 0.7 * std::cos(A), Radius * std::sin(A), Z, double(K) / RingVertices,
             double(R) / (Rings - 1), Bone);
    }
  }
  Out << Rings * RingVertices << '\n';
  for (int R = 0; R < Rings; ++R)
    for (int K = 0; K < RingVertices; ++K) {
      const double A = 2 * Pi * K / RingVertices;
      Out << std::cos(A) << ' ' << std::sin(A) << " 0.000000\n";
    }
  Out << (Rings - 1) * RingVertices * 2 << '\n';
  for (int R = 0; R + 1 < Rings; ++R)
    for (int K = 0; K < RingVertices; ++K) {
      const int A = R * RingVertices + K, B = R * RingVertices + (K + 1) % RingVertices;
      const int C = A + RingVertices, D = B + RingVertices;
      Out << "0 " << A << ' ' << B << ' ' << C << ' ' << A << ' ' << B << ' ' << C << " 1\n";
      Out << "0 " << B << ' ' << D << ' ' << C << ' ' << B << ' ' << D << ' ' << C << " 1\n";
    }
  Fin(Out, "Tail", 50, -6, SpineBones + 0);
  Fin(Out, "Dorsal", -10, 14, SpineBones + 3);

  Out << "\nMaterials: 1\n\"Skin\"\n0.2 0.2 0.2 1\n0.8 0.8 0.8 1\n0 0 0 1\n0 0 0 1\n0\n1\n\"\"\n"
         "\"\"\n\nBones: "
      << SpineBones + FinBones << '\n';
  int Index = 0;
  auto Bone = [&](const std::string& Name, const std::string& Parent, double Z) {
    const int Keys = 3 + Index % 5;  // 3 to 7 keys per track
    Out << '"' << Name << "\"\n\"" << Parent << "\"\n0 0.000000 0.000000 " << Z
        << " 0.000000 0.000000 0.000000\n"
        << Keys << '\n';
    for (int K = 0; K < Keys; ++K)
      Out << 1.0 + 29.0 * K / (Keys - 1) << " 0.000000 " << 0.2 * std::sin(K) << " 0.000000\n";
    Out << Keys << '\n';
    for (int K = 0; K < Keys; ++K) {
      const double T = 29.0 * K / (Keys - 1);
      Out << 1.0 + T << " 0.000000 " << (0.05 + 0.02 * Index) * std::sin(2 * Pi * T / 29 - Index)
          << " 0.000000\n";
    }
    ++Index;
  };
  Bone("Spine0", "", -70);
  for (int I = 1; I < SpineBones; ++I)
    Bone("Spine" + std::to_string(I), "Spine" + std::to_string(I - 1), 120.0 / SpineBones);
  for (int I = 0; I < FinBones; ++I)
    Bone("Fin" + std::to_string(I), I % 3 == 0 ? "Spine" + std::to_string(SpineBones - 1)
                                               : "Fin" + std::to_string(I - 1),
         2.0);
  return Out.str();
}

// The generated model written to a scratch folder for the process's life.
const std::string& CreatureFile() {
  static const TTempDir Dir;
  static const std::string Path = Dir.Write("creature.txt", CreatureText());
  return Path;
}

void BM_LoadCreature(benchmark::State& State) {
  const std::string& File = CreatureFile();
  {
    TModel Check(false);
    if (!Check.LoadFromFile(File) || Check.MeshCount() != 3 || Check.BoneCount() != 18 ||
        Check.Mesh(0).Vertices.size() != 320) {
      State.SkipWithError("the generated creature did not load as meant");
      return;
    }
  }
  for (auto _ : State) {
    TModel Model(false);
    benchmark::DoNotOptimize(Model.LoadFromFile(File));
  }
}
BENCHMARK(BM_LoadCreature)->Unit(benchmark::kMicrosecond);

void BM_AdvanceCreature(benchmark::State& State) {
  TModel Model(false);
  Model.LoadFromFile(CreatureFile());
  for (auto _ : State) {
    Model.Advance(0.4f);
    benchmark::DoNotOptimize(Model.CurrentFrame());
  }
}
BENCHMARK(BM_AdvanceCreature)->Unit(benchmark::kMicrosecond);

// One pose and one draw, as each flock member costs per displayed frame; glFinish so that the
// driver's share is counted too. Argument: 0 the reference path (immediate mode), 1 the fast one
// (vertex arrays).
void BM_PoseAndDrawCreature(benchmark::State& State) {
  TGLTestContext Context;
  if (!Context.Ok()) {
    State.SkipWithError("no GL context");
    return;
  }
  TModel Model(false);
  Model.LoadFromFile(CreatureFile());
  Model.SetReferencePath(State.range(0) == 0);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-100, 100, -100, 100, -200, 200);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  for (auto _ : State) {
    Model.Advance(0.4f);
    Model.Draw();
    glFinish();
  }
}
BENCHMARK(BM_PoseAndDrawCreature)->Arg(0)->Arg(1)->ArgName("fast")->Unit(benchmark::kMicrosecond);

}  // namespace
