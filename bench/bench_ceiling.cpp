// What this rasteriser can do with the program out of the way: the 500-creature frame at
// 1280 x 800 drawn with every creature's triangles placed on the CPU ahead, so that a frame is
// only the floor and backdrop of a scene without creatures and then, from one vertex array, one
// indexed call per creature and kind of mesh: no posing, no matrices, no state changes. (One call
// for all creatures is slower on this rasteriser: it shades the vertices of an index range that
// wide several times over.) The creatures stand where the program's own seeded flock has them after 20 frames,
// each turned to its bearing and shaded by depth as the flock shades it, with the skin texture and
// the scene's fog. middle:0 is the frame as it was drawn before the middle creature and the
// culling of back faces: the full creature, every face drawn. middle:1 is the frame now: the
// middle creature, the back faces of its closed meshes culled. bench.sh --ceiling sets the
// program's own frame beside it.
#include "BenchScene.h"
#include "ExtOpenGL.h"
#include "Flock.h"
#include "Model.h"
#include "Scene.h"

#include <GL/gl.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

constexpr int Fish = 499;  // Num: 500 creatures

// One vertex of the big array: position in eye space, texture coordinates, the creature's shade.
struct TVertex {
  float X, Y, Z, U, V, R, G, B;
};

// The flock's creatures, each placed as TFlock::Draw places it: vertices in eye space, and per
// creature where its vertices start and the indices (from there) of its open and closed meshes.
struct TCreatures {
  std::vector<TVertex> Vertices;
  struct TCreature {
    std::size_t First = 0;
    std::array<std::vector<GLuint>, 2> Indices;
  };
  std::vector<TCreature> Each;
};

TCreatures PlaceFlock(const TFlock& Flock, const TModel& Model) {
  TCreatures Out;
  const double Scale = Scene::WorldUnitsPerSceneUnit;
  for (const auto& Boid : Flock.Boids()) {
    const double X = Boid->X() + Flock.Left(), Y = Boid->Y(), Heading = Boid->Heading();
    const float PX = float(X / Scale), PY = float(Y / Scale);
    const float NX = float((X + Scene::NoseLead * std::cos(Heading)) / Scale);
    const float NY = float((Y + Scene::NoseLead * std::sin(Heading)) / Scale);
    glLoadIdentity();
    glTranslatef(Scene::CameraTranslation[0], Scene::CameraTranslation[1], Scene::CameraTranslation[2]);
    glRotatef(Scene::FlockTiltDegrees, 1.0f, 0.0f, 0.0f);
    glTranslatef(PX, PY, 0.0f);
    glScalef(Scene::CreatureScale, Scene::CreatureScale, Scene::CreatureScale);
    glRotatef(-TFlock::BearingDegrees(PX, PY, NX, NY), 0.0f, 0.0f, 1.0f);
    glRotatef(Scene::ModelUprightDegrees, 1.0f, 0.0f, 0.0f);
    float M[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, M);
    const float Grey = 1.0f - PY / Scene::CreatureShadeDepth;
    TCreatures::TCreature& Creature = Out.Each.emplace_back();
    Creature.First = Out.Vertices.size();
    for (int Mesh = 0; Mesh < Model.MeshCount(); ++Mesh) {
      const TShape& Shape = Model.Mesh(Mesh);
      const GLuint First = GLuint(Out.Vertices.size() - Creature.First);
      for (const TVec& W : Shape.Vertices) {
        const std::array<float, 3> P = Model.Placed(W);
        Out.Vertices.push_back({M[0] * P[0] + M[4] * P[1] + M[8] * P[2] + M[12],
                                M[1] * P[0] + M[5] * P[1] + M[9] * P[2] + M[13],
                                M[2] * P[0] + M[6] * P[1] + M[10] * P[2] + M[14], W.U, W.V, Grey,
                                Grey, Grey});
      }
      std::vector<GLuint>& Indices = Creature.Indices[Model.IsClosed(Mesh)];
      for (const TTri& T : Shape.Triangles)
        for (const int Index : T.VertexIndices) Indices.push_back(First + GLuint(Index));
    }
  }
  glLoadIdentity();
  return Out;
}

void BM_RasteriserCeiling(benchmark::State& State) {
  TGLTestContext GL(Width, Height);
  if (!GL.Ok()) return State.SkipWithError("no GL context");
  const bool Now = State.range(0) != 0;
  TCreatures Creatures;
  GLuint Skin = 0;
  {
    // The program's own flock, seeded, after 20 frames.
    std::optional<TSceneData> Data;
    std::optional<TOceanScene> Flocking;
    if (!SetUpScene(State, Data, Fish, Flocking)) return;
    for (int F = 0; F < 20; ++F) Flocking->DrawScene();
    TModel Model(false);
    if (!Model.LoadFromFile(MapPath(Now ? "C:\\Vadrel_Data\\VadrelMid.pp1" : "C:\\Vadrel_Data\\Vadrel.pp1")))
      return State.SkipWithError("no creature model");
    Creatures = PlaceFlock(*Flocking->Flock(), Model);
    Skin = Model.Material(0).Texture;  // the context keeps it
  }
  std::optional<TSceneData> Data;
  std::optional<TOceanScene> Background;
  if (!SetUpScene(State, Data, -1, Background)) return;
  const auto DrawCreatures = [&] {
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    ExtOpenGL::ActiveTexture(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, Skin);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_ALPHA_TEST);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    for (const bool Closed : {true, false}) {
      if (Closed && Now) glEnable(GL_CULL_FACE);
      for (const TCreatures::TCreature& Creature : Creatures.Each) {
        const TVertex& V = Creatures.Vertices[Creature.First];
        glVertexPointer(3, GL_FLOAT, sizeof(TVertex), &V.X);
        glTexCoordPointer(2, GL_FLOAT, sizeof(TVertex), &V.U);
        glColorPointer(3, GL_FLOAT, sizeof(TVertex), &V.R);
        const std::vector<GLuint>& Indices = Creature.Indices[Closed];
        glDrawElements(GL_TRIANGLES, GLsizei(Indices.size()), GL_UNSIGNED_INT, Indices.data());
      }
      glDisable(GL_CULL_FACE);
    }
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glEnable(GL_ALPHA_TEST);
    glPopMatrix();
  };
  for (auto _ : State) {
    Background->DrawScene();
    DrawCreatures();
    glFinish();
  }
  std::size_t Corners = 0;
  for (const TCreatures::TCreature& Creature : Creatures.Each)
    Corners += Creature.Indices[0].size() + Creature.Indices[1].size();
  State.counters["triangles"] = double(Corners / 3);
}
BENCHMARK(BM_RasteriserCeiling)->Arg(0)->Arg(1)->ArgName("middle")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
