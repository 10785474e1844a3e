// Model: one skeletally animated model in memory: loading it (the file's bytes through the
// model reader, its materials' textures as they are read, the skeleton set up and the vertices
// bound to their bones), its instances for the views of one GL share group, animating it, and
// drawing it, from vertex arrays by default or in immediate mode on the reference path, with an
// optional animated caustic layer on texture unit 1. Where each step lives: ModelReader reads,
// Skeleton poses, ModelDraw draws. Depends on ModelReader (with ModelText, ModelMesh, Material and
// Skeleton, whose types it passes on), ModelDraw, Platform (files) and, in the source only, on
// ExtOpenGL.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ModelDraw.h"
#include "ModelReader.h"

// The whole model. Created empty, loaded once, then only animated and drawn.
class TModel {
public:
  // Fetches the multitexture entry points for the current GL context (without one they stay
  // unset, which reading with TTextures::Skip does not mind).
  explicit TModel(bool Caustics);
  ~TModel();
  TModel(const TModel&) = delete;
  TModel& operator=(const TModel&) = delete;

  // What reading a model does with the textures its materials name: Load them as they are read
  // (caustic frames as each material starts, its colour map once its lines are complete; this
  // needs a current GL context), or Skip them all, touching neither GL nor the file system and
  // leaving every texture 0.
  enum class TTextures { Load, Skip };

  // A model of its own that shares this loaded one's meshes, textures, lit textures and the fixed
  // parts of its vertex arrays (built once, by whichever of them draws first), with its own pose,
  // caustic frames and drawing choices, as they were when this one was loaded: the views of one
  // GL share group each draw their own copy of one load. The shared GL names are valid in this
  // model's share group only. This model must not be animated or drawn meanwhile.
  std::unique_ptr<TModel> Instance() const;

  // Reads a model text file (a Linux path) into this fresh model with its textures: the file's
  // bytes through LoadFromMemory, its textures uploading Mipmaps. Raises EModelError naming the
  // file when it cannot be read.
  bool LoadFromFile(const std::string& FileName, TMipmaps Mipmaps = TMipmaps::BaseLevel);
  // Reads the model text in Bytes into this fresh model, links the bones' parents and, when that
  // succeeds, sets up the skeleton, binds the vertices to their bones and advances to the file's
  // start frame. FileName names the model in errors. False when a parent name names no bone.
  // Raises EModelError for a malformed or inconsistent file or a failed track check; the model is
  // then left empty. Every texture the model makes (colour maps, caustic frames and the lit
  // textures drawing makes of them) uploads Mipmaps.
  bool LoadFromMemory(const std::string& FileName, const std::vector<std::uint8_t>& Bytes,
                      TTextures Textures, TMipmaps Mipmaps = TMipmaps::BaseLevel);

  // CurrentFrame += Frames, restarting at exactly 1.0 when it passes TotalFrames, then poses every
  // bone for it in list order. Track checks raise EModelError naming the file and the bone.
  void Advance(float Frames);

  // Where Vertex (one of this model's) is drawn in the current pose, in model space.
  std::array<float, 3> Placed(const TVec& Vertex) const;

  // Poses every bone for Frame, which becomes the current frame (a simpler model of the same
  // creature follows the full one this way).
  void PoseAt(float Frame);

  // What Draw does with the back faces of closed meshes (see IsClosed).
  enum class TBackFaces {
    Draw,
    // Leaves them out on the fast path. The caller promises that the eye lies outside the model
    // and that its transform does not mirror it: then each such face lies behind a front face of
    // its own mesh. Only pixels on the outline, where the two meet at one depth, can differ.
    SkipOnClosedMeshes
  };

  // Sends every mesh, each after its material, in the current pose. Needs the context current.
  // The fast path (the default) poses each vertex once per pose and sends each mesh from vertex
  // arrays, and draws a mesh whose material has no alpha with the alpha test off where the test,
  // as set, passes the current colour's alpha; the reference path sends every corner in immediate
  // mode. Both give the same pixels (with BackFaces Draw) and leave the same state: the same
  // enables, culling, texture bindings and active unit, the current normal and texture
  // coordinates of the last corner, client arrays off and unit 0 the client unit.
  void Draw(TBackFaces BackFaces = TBackFaces::Draw);
  void SetReferencePath(bool Reference) { FReferencePath = Reference; }
  // With caustics, the fast path draws each material's colour map and caustic frame as one
  // texture, the two multiplied ahead (built on first use); within a few grey levels of the two
  // units, and the same state left behind. On by default.
  void SetLitTextures(bool Lit) { FLitTextures = Lit; }

  // Mesh Index is closed and faces outward: its corners, welded where they share a position and
  // a bone (so that they move as one), pair every edge of a triangle with the same edge run the
  // other way in exactly one other triangle, and its volume in the file's rest pose is positive.
  bool IsClosed(int Index) const;

  float TotalFrames() const { return FData.TotalFrames; }
  float CurrentFrame() const { return FCurrentFrame; }

  int MeshCount() const { return int(FData.Meshes.size()); }
  std::size_t TriangleCount() const;  // of every mesh
  const TShape& Mesh(int Index) const;
  int MaterialIndex(int MeshIndex) const;  // negative: the mesh has no material
  int MaterialCount() const { return int(FData.Materials.size()); }
  const TMaterial& Material(int Index) const;
  int BoneCount() const { return int(FData.Skeleton.Bones.size()); }
  const TBone& Bone(int Index) const;

private:
  bool FCaustics;
  TMipmaps FMipmaps = TMipmaps::BaseLevel;  // what every texture it makes uploads
  std::string FFileName;
  float FCurrentFrame = 0;
  TModelData FData;           // vertices in bone space once loaded; the meshes never change
  std::vector<bool> FClosed;  // per mesh, worked out once the model is loaded

  bool FReferencePath = false;
  bool FLitTextures = true;
  TArrayDrawing FArrays;

  void Clear();
  TDrawnModel Drawn();
};

// A model loaded from a file, and whether its bones all found their parents (false: partly set
// up, drawn as it is).
struct TLoadedModel {
  std::unique_ptr<TModel> Model;
  bool Linked = false;
};
// Where models come from: FileName (a Linux path) with or without caustics, loaded afresh or
// copied from an earlier load. Errors of the model file pass to the caller.
using TModelLoader = std::function<TLoadedModel(const std::string& FileName, bool Caustics)>;
// Loads the file afresh (TModel::LoadFromFile), with the GL context current, its textures
// uploading their base levels (TSceneAssets loads with the run's choice).
TLoadedModel LoadModelFile(const std::string& FileName, bool Caustics);
