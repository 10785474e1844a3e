// ModelDraw: the two ways a model is sent to GL: the reference path, every corner in immediate
// mode, and the fast path, from vertex arrays posed once per pose (with the culling of back faces
// on closed meshes and, with caustics, the lit textures in place of the second unit). Depends on
// ModelReader (the model's parts) and, in the source only, on LitTextures, GL, GLState, ExtOpenGL
// and Textures.
#pragma once

#include <memory>
#include <vector>

#include "ModelReader.h"

struct TLitTextures;

// What a draw reads of one loaded model. The materials are applied as it goes (each Apply steps
// its caustic frame), the rest only read.
struct TDrawnModel {
  const TModelData& Data;            // vertices in bone space, bones posed for Frame
  const std::vector<bool>& Closed;   // per mesh: closed and facing outward
  float Frame;                       // the frame the bones are posed for
  bool Caustics;
  TMipmaps Mipmaps;                  // what the lit textures upload
};

// Sends every mesh, each after its material, one corner at a time, placing each vertex anew.
void DrawImmediate(const TDrawnModel& Model);

// The fast path of one model: the arrays fixed once it is loaded (built on the first draw of any
// instance of the load, then shared by them all), and this instance's posed positions.
class TArrayDrawing {
public:
  TArrayDrawing();
  ~TArrayDrawing();
  TArrayDrawing(TArrayDrawing&&) noexcept;
  TArrayDrawing& operator=(TArrayDrawing&&) noexcept;

  // A drawing for another instance of the same load: the fixed arrays and lit textures shared,
  // the posed positions its own.
  TArrayDrawing Share() const;

  // Sends every mesh from arrays, each after its material, posing the positions when Model's
  // frame differs from the last one posed. A mesh whose material has no alpha is drawn with the
  // alpha test off where the test, as set, passes the current colour's alpha. With
  // SkipClosedBackFaces, and culling off and counter-clockwise front faces as found, culls the
  // back faces of closed meshes. With LitTextures and a second unit, draws each material with
  // caustics from its lit textures where it has them. Leaves what the immediate path leaves.
  void Draw(const TDrawnModel& Model, bool SkipClosedBackFaces, bool LitTextures);

private:
  struct TShared;
  struct TPosed;
  std::shared_ptr<TShared> FShared;
  std::unique_ptr<TPosed> FPosed;

  void Prepare(const TDrawnModel& Model, bool Lit);
  void DrawMesh(const TDrawnModel& Model, std::size_t Mesh, bool SecondUnit,
                const TLitTextures* Lit) const;
};
