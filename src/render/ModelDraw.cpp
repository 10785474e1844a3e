#include "ModelDraw.h"

#include "ExtOpenGL.h"
#include "GLState.h"
#include "LitTextures.h"
#include "Textures.h"

#include <GL/gl.h>

#include <algorithm>
#include <optional>

namespace {

void ApplyMaterialOf(const TModelData& Data, std::size_t Mesh) {
  const int Material = Data.MaterialIndices[Mesh];
  if (Material < 0)
    glDisable(GL_TEXTURE_2D);
  else
    Data.Materials[std::size_t(Material)]->Apply();
}

// Per mesh: one array slot for each distinct (vertex, normal) pair its corners use, so that one
// index addresses all of a corner's values. Fixed once the model is loaded.
struct TArrayLayout {
  struct TMesh {
    std::vector<int> Source;               // per slot: the mesh vertex it shows
    bool SlotsAreVertices = false;         // Source[i] == i for every slot: no gathering
    std::vector<float> Normals;            // per slot: x, y, z
    std::vector<float> TexCoords;          // per slot: u, v (both units)
    std::vector<GLuint> Indices;           // per corner, in the file's order
    std::array<float, 5> Last{};           // the last corner's normal and texture coordinates
  };
  std::vector<TMesh> Meshes;
};

// The slot of corner (V, N), made when the pair is new.
GLuint SlotOf(const TShape& Shape, int V, int N, std::vector<std::pair<int, GLuint>>& Known,
              TArrayLayout::TMesh& A) {
  const auto Found = std::find_if(Known.begin(), Known.end(), [N](auto& P) { return P.first == N; });
  if (Found != Known.end()) return Found->second;
  Known.emplace_back(N, GLuint(A.Source.size()));
  A.Source.push_back(V);
  const TNormal& Normal = Shape.Normals[std::size_t(N)];
  A.Normals.insert(A.Normals.end(), {Normal.X, Normal.Y, Normal.Z});
  const TVec& W = Shape.Vertices[std::size_t(V)];
  A.TexCoords.insert(A.TexCoords.end(), {W.U, W.V});
  return Known.back().second;
}

TArrayLayout::TMesh LayOut(const TShape& Shape) {
  TArrayLayout::TMesh A;
  std::vector<std::vector<std::pair<int, GLuint>>> SlotsOfVertex(Shape.Vertices.size());
  for (const TTri& Triangle : Shape.Triangles)
    for (int Corner = 0; Corner < 3; ++Corner) {
      const int V = Triangle.VertexIndices[Corner], N = Triangle.NormalIndices[Corner];
      A.Indices.push_back(SlotOf(Shape, V, N, SlotsOfVertex[std::size_t(V)], A));
      const TNormal& Normal = Shape.Normals[std::size_t(N)];
      const TVec& W = Shape.Vertices[std::size_t(V)];
      A.Last = {Normal.X, Normal.Y, Normal.Z, W.U, W.V};
    }
  A.SlotsAreVertices = A.Source.size() == Shape.Vertices.size();
  for (std::size_t Slot = 0; A.SlotsAreVertices && Slot < A.Source.size(); ++Slot)
    A.SlotsAreVertices = A.Source[Slot] == int(Slot);
  return A;
}

// The client arrays of a draw from arrays: vertices, normals and texture coordinates on unit 0
// and, with SecondUnit, on unit 1; turned off again, unit 0 is left the client unit.
void SetClientArrays(bool SecondUnit, bool Enabled) {
  const auto Set = [Enabled](GLenum Array) {
    if (Enabled)
      glEnableClientState(Array);
    else
      glDisableClientState(Array);
  };
  Set(GL_VERTEX_ARRAY);
  Set(GL_NORMAL_ARRAY);
  for (const GLenum Unit : {GL_TEXTURE1_ARB, GL_TEXTURE0_ARB}) {
    if (Unit == GL_TEXTURE1_ARB && !SecondUnit) continue;
    ExtOpenGL::ClientActiveTexture(Unit);
    Set(GL_TEXTURE_COORD_ARRAY);
  }
}

}  // namespace

void DrawImmediate(const TDrawnModel& Model) {
  const TModelData& Data = Model.Data;
  for (std::size_t M = 0; M < Data.Meshes.size(); ++M) {
    ApplyMaterialOf(Data, M);
    const TShape& Shape = *Data.Meshes[M];
    glBegin(GL_TRIANGLES);
    for (const TTri& Triangle : Shape.Triangles)
      for (int Corner = 0; Corner < 3; ++Corner) {
        const TNormal& N = Shape.Normals[std::size_t(Triangle.NormalIndices[Corner])];
        glNormal3f(N.X, N.Y, N.Z);
        const TVec& W = Shape.Vertices[std::size_t(Triangle.VertexIndices[Corner])];
        ExtOpenGL::MultiTexCoord2f(GL_TEXTURE0_ARB, W.U, W.V);
        if (Model.Caustics) ExtOpenGL::MultiTexCoord2f(GL_TEXTURE1_ARB, W.U, W.V);
        glVertex3fv(Data.Skeleton.Placed(W).data());
      }
    glEnd();
  }
}

// What every instance of one load draws with. Built on first use by whichever draws first: both
// depend on the loaded model alone, so every instance would build the same.
struct TArrayDrawing::TShared {
  std::unique_ptr<const TArrayLayout> Layout;
  bool LitBuilt = false;
  // Per material: its lit textures, or none where they cannot stand in for the two units.
  std::vector<std::unique_ptr<TLitTextures>> Lit;
};

// One instance's positions, posed once per pose, per vertex.
struct TArrayDrawing::TPosed {
  struct TMesh {
    std::vector<float> Posed;              // per mesh vertex: x, y, z in the current pose
    std::vector<float> Positions;          // per slot, gathered from Posed (unless the same)
  };
  std::vector<TMesh> Meshes;
  // The frame the arrays hold the pose of, none before the first: the pose depends on it alone.
  std::optional<float> PosedFrame;

  TPosed(const TModelData& Data, const TArrayLayout& Layout) : Meshes(Data.Meshes.size()) {
    for (std::size_t M = 0; M < Meshes.size(); ++M) {
      Meshes[M].Posed.resize(Data.Meshes[M]->Vertices.size() * 3);
      if (!Layout.Meshes[M].SlotsAreVertices)
        Meshes[M].Positions.resize(Layout.Meshes[M].Source.size() * 3);
    }
  }

  // Exactly the immediate path's arithmetic, once per vertex instead of once per corner.
  void Pose(const TModelData& Data, const TArrayLayout& Layout, float Frame) {
    for (std::size_t M = 0; M < Meshes.size(); ++M) {
      const TShape& Shape = *Data.Meshes[M];
      const TArrayLayout::TMesh& Slots = Layout.Meshes[M];
      TMesh& A = Meshes[M];
      for (std::size_t V = 0; V < Shape.Vertices.size(); ++V) {
        const std::array<float, 3> P = Data.Skeleton.Placed(Shape.Vertices[V]);
        std::copy(P.begin(), P.end(), A.Posed.begin() + std::ptrdiff_t(V * 3));
      }
      if (Slots.SlotsAreVertices) continue;
      for (std::size_t Slot = 0; Slot < Slots.Source.size(); ++Slot)
        std::copy_n(A.Posed.begin() + Slots.Source[Slot] * 3, 3,
                    A.Positions.begin() + std::ptrdiff_t(Slot * 3));
    }
    PosedFrame = Frame;
  }
};

TArrayDrawing::TArrayDrawing() : FShared(std::make_shared<TShared>()) {}
TArrayDrawing::~TArrayDrawing() = default;
TArrayDrawing::TArrayDrawing(TArrayDrawing&&) noexcept = default;
TArrayDrawing& TArrayDrawing::operator=(TArrayDrawing&&) noexcept = default;

TArrayDrawing TArrayDrawing::Share() const {
  TArrayDrawing Copy;
  Copy.FShared = FShared;
  return Copy;
}

void TArrayDrawing::Prepare(const TDrawnModel& Model, bool Lit) {
  const TModelData& Data = Model.Data;
  if (!FShared->Layout) {
    auto Layout = std::make_unique<TArrayLayout>();
    for (const auto& Shape : Data.Meshes) Layout->Meshes.push_back(LayOut(*Shape));
    FShared->Layout = std::move(Layout);
  }
  if (!FPosed) FPosed = std::make_unique<TPosed>(Data, *FShared->Layout);
  if (FPosed->PosedFrame != Model.Frame)
    FPosed->Pose(Data, *FShared->Layout, Model.Frame);
  if (Lit && !FShared->LitBuilt) {
    FShared->Lit = MakeLitTextures(Data.Materials, Model.Mipmaps);
    FShared->LitBuilt = true;
  }
}

void TArrayDrawing::Draw(const TDrawnModel& Model, bool SkipClosedBackFaces, bool LitTextures) {
  const bool SecondUnit = Model.Caustics && ExtOpenGL::HasMultitexture();
  const bool Lit = SecondUnit && LitTextures;
  Prepare(Model, Lit);
  const TModelData& Data = Model.Data;
  SetClientArrays(SecondUnit, true);
  const TEnableGuard AlphaTest(GL_ALPHA_TEST);
  const bool SkipAlphaTest = AlphaTestPassesCurrentColour();
  // The caller's own culling, or faces wound the other way round, are left as they are.
  const TCullingGuard Culling;
  const bool SkipBackFaces = SkipClosedBackFaces && !Culling.WasEnabled() &&
                             Culling.FrontFace() == GL_CCW;
  if (SkipBackFaces) glCullFace(GL_BACK);
  for (std::size_t M = 0; M < Data.Meshes.size(); ++M) {
    ApplyMaterialOf(Data, M);
    if (FShared->Layout->Meshes[M].Indices.empty()) continue;
    const int Material = Data.MaterialIndices[M];
    if (SkipAlphaTest)
      SetGLEnabled(GL_ALPHA_TEST, Material >= 0 && !Data.Materials[std::size_t(Material)]->Opaque);
    if (SkipBackFaces) SetGLEnabled(GL_CULL_FACE, Model.Closed[M]);
    DrawMesh(Model, M, SecondUnit,
             Lit && Material >= 0 ? FShared->Lit[std::size_t(Material)].get() : nullptr);
  }
  SetClientArrays(SecondUnit, false);
}

void TArrayDrawing::DrawMesh(const TDrawnModel& Model, std::size_t M, bool SecondUnit,
                             const TLitTextures* Lit) const {
  const TArrayLayout::TMesh& A = FShared->Layout->Meshes[M];
  const TPosed::TMesh& Pose = FPosed->Meshes[M];
  glVertexPointer(3, GL_FLOAT, 0, A.SlotsAreVertices ? Pose.Posed.data() : Pose.Positions.data());
  glNormalPointer(GL_FLOAT, 0, A.Normals.data());
  for (const GLenum Unit : {GL_TEXTURE1_ARB, GL_TEXTURE0_ARB}) {
    if (Unit == GL_TEXTURE1_ARB && !SecondUnit) continue;
    ExtOpenGL::ClientActiveTexture(Unit);
    glTexCoordPointer(2, GL_FLOAT, 0, A.TexCoords.data());
  }
  const TMaterial* Applied =
      Lit ? Model.Data.Materials[std::size_t(Model.Data.MaterialIndices[M])].get() : nullptr;
  if (Applied) {
    // The frame Apply has just bound, lit into one texture; the caustic unit rests meanwhile.
    const int Shown = (Applied->CausticFrame + TMaterial::CausticFrameCount - 1) %
                      TMaterial::CausticFrameCount;
    ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, Lit->Frames[std::size_t(Shown)]);
    ExtOpenGL::ActiveTexture(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
  }
  glDrawElements(GL_TRIANGLES, GLsizei(A.Indices.size()), GL_UNSIGNED_INT, A.Indices.data());
  if (Applied) {  // back to what Apply left
    ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, Applied->Texture);
    ExtOpenGL::ActiveTexture(GL_TEXTURE1_ARB);
    glEnable(GL_TEXTURE_2D);
  }
  // What the immediate path leaves current: the last corner's normal and coordinates.
  glNormal3f(A.Last[0], A.Last[1], A.Last[2]);
  ExtOpenGL::MultiTexCoord2f(GL_TEXTURE0_ARB, A.Last[3], A.Last[4]);
  if (Model.Caustics) ExtOpenGL::MultiTexCoord2f(GL_TEXTURE1_ARB, A.Last[3], A.Last[4]);
}
