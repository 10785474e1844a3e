// What this rasteriser can do with the program out of the way: the triangles of 500 creatures,
// each posed, placed and turned on the CPU, sent from one vertex array in one indexed call per
// kind of mesh, textured with the skin and fogged as the scene fogs them, at 1280 x 800 with the
// depth test on. middle:0 is the frame as it was drawn before the middle creature: the full
// creature, every face drawn. middle:1 is the frame now: the middle creature, back faces of its
// closed meshes culled. The creatures are VADREL_CEILING_LENGTH pixels long (85 by default, the
// mean of the 500-creature frame at 1280 x 800), spread over the view; bench.sh passes the
// program's own mean and sets the ceiling beside the program's frame.
#include <benchmark/benchmark.h>

#include "ExtOpenGL.h"
#include "Model.h"
#include "Platform.h"
#include "Scene.h"
#include "TestSupport.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int Width = 1280, Height = 800, Creatures = 500;

// One vertex of the big array: position in eye space, then texture coordinates.
struct TVertex {
  float X, Y, Z, U, V;
};

// The creatures' vertices and triangles (indices into them), each creature Length pixels long at a
// place on a grid over the view, turned by its own angle in the flock's tilted plane.
struct TCreatures {
  std::vector<TVertex> Vertices;
  std::vector<GLuint> Indices[2];  // of the open meshes, and of the closed ones
};

TCreatures LayOut(const TModel& Model, double Length) {
  TCreatures Out;
  const double Scale = Length / (Scene::CreatureLength / Scene::CreatureScale);
  const double Tilt = Scene::FlockTiltDegrees * 3.14159265358979 / 180;
  const int Columns = 25, Rows = Creatures / Columns;
  for (int C = 0; C < Creatures; ++C) {
    const double Turn = C * 2.39996;  // the golden angle: every heading, evenly
    const double CX = (C % Columns + 0.5) * Width / Columns, CY = (C / Columns + 0.5) * Height / Rows;
    const double Depth = 8 + 10.0 * (C % 7) / 6;  // eye depths the fog sees in the scene
    for (int M = 0; M < Model.MeshCount(); ++M) {
      const TShape& Shape = Model.Mesh(M);
      const GLuint First = GLuint(Out.Vertices.size());
      for (const TVec& W : Shape.Vertices) {
        const std::array<float, 3> P = Model.Placed(W);
        // Upright (model z along the heading, y up), turned, then tilted like the flock.
        const double X = P[0], Y = -P[2], Z = P[1];
        const double XT = X * std::cos(Turn) - Y * std::sin(Turn);
        const double YT = X * std::sin(Turn) + Y * std::cos(Turn);
        Out.Vertices.push_back({float(CX + XT * Scale),
                                float(CY + (YT * std::cos(Tilt) - Z * std::sin(Tilt)) * Scale),
                                float(-Depth + (YT * std::sin(Tilt) + Z * std::cos(Tilt)) * Scale / 100),
                                W.U, W.V});
      }
      std::vector<GLuint>& Indices = Out.Indices[Model.IsClosed(M)];
      for (const TTri& T : Shape.Triangles)
        for (const int Index : T.VertexIndices) Indices.push_back(First + GLuint(Index));
    }
  }
  return Out;
}

void BM_RasteriserCeiling(benchmark::State& State) {
  TGLTestContext GL(Width, Height);
  if (!GL.Ok()) return State.SkipWithError("no GL context");
  const bool Cull = State.range(0) != 0;
  const char* File = Cull ? "C:\\Vadrel_Data\\VadrelMid.pp1" : "C:\\Vadrel_Data\\Vadrel.pp1";
  TModel Model(false);
  if (!FileExists(MapPath(File)) || !Model.LoadFromFile(MapPath(File)))
    return State.SkipWithError("no generated data (build the project first)");
  const char* Given = std::getenv("VADREL_CEILING_LENGTH");
  const double Length = Given ? std::atof(Given) : 85.0;
  const TCreatures Laid = LayOut(Model, Length > 0 ? Length : 85.0);
  const std::vector<TVertex>& Vertices = Laid.Vertices;

  glViewport(0, 0, Width, Height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, Width, 0, Height, 1, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_FOG);
  glFogi(GL_FOG_MODE, GL_EXP2);
  glFogfv(GL_FOG_COLOR, Scene::FogColor);
  glFogf(GL_FOG_DENSITY, Scene::FogDensity);
  glColor3f(0.8f, 0.8f, 0.8f);
  ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
  glBindTexture(GL_TEXTURE_2D, Model.Material(0).Texture);
  glEnable(GL_TEXTURE_2D);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_FLOAT, sizeof(TVertex), &Vertices[0].X);
  glTexCoordPointer(2, GL_FLOAT, sizeof(TVertex), &Vertices[0].U);
  for (auto _ : State) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    for (const bool Closed : {false, true}) {
      const std::vector<GLuint>& Indices = Laid.Indices[Closed];
      if (Closed && Cull) glEnable(GL_CULL_FACE);
      glDrawElements(GL_TRIANGLES, GLsizei(Indices.size()), GL_UNSIGNED_INT, Indices.data());
      glDisable(GL_CULL_FACE);
    }
    glFinish();
  }
  const std::size_t Triangles = (Laid.Indices[0].size() + Laid.Indices[1].size()) / 3;
  State.SetItemsProcessed(std::int64_t(State.iterations()) * std::int64_t(Triangles));
  State.counters["triangles"] = double(Triangles);
  State.counters["length_px"] = Length;
}
BENCHMARK(BM_RasteriserCeiling)->Arg(0)->Arg(1)->ArgName("middle")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
