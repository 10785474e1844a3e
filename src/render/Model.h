// Model: one skeletally animated model in memory (meshes of textured triangles whose vertices may
// each follow one bone, the materials they use, and a skeleton of key-framed bones), the one
// reader of the model text format (from a file, or from bytes in memory with or without the
// textures the materials name), the skeleton's rest-pose set-up and key-frame animation, and
// drawing in immediate mode with an optional animated caustic layer on texture unit 1.
// Depends on Matrix, Textures (LoadTexture), Platform (paths, files) and, in the source only, on
// GL and ExtOpenGL.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Matrix.h"

// Every fault of a model file, and the animation checks that can fire later: names the model
// file, the line of it (0 when the fault belongs to no single line) and the reason. Assertion
// checks carry "Assertion failure (Model, <number>)" at the start of their reason.
class EModelError : public std::runtime_error {
public:
  EModelError(const std::string& File, int Line, const std::string& Reason);

  const std::string& File() const noexcept { return FFile; }
  int Line() const noexcept { return FLine; }
  const std::string& Reason() const noexcept { return FReason; }

private:
  std::string FFile;
  int FLine;
  std::string FReason;
};

// One mesh vertex. After loading, a vertex with a bone holds its position in the rest-pose space
// of that bone; V is 1 - the file's t.
struct TVec {
  float X = 0, Y = 0, Z = 0;
  float U = 0, V = 0;
  int BoneIndex = 0;  // -1: no bone, never moved
};

// One vertex normal, as read; never moved or renormalised.
struct TNormal {
  float X = 0, Y = 0, Z = 0;
};

// One triangle: per corner an index into the mesh's vertices and one into its normals. A loaded
// model guarantees both lie inside their lists.
struct TTri {
  std::array<int, 3> VertexIndices{};
  std::array<int, 3> NormalIndices{};
};

// One mesh. Its material index is kept by the model.
struct TShape {
  std::vector<TVec> Vertices;
  std::vector<TTri> Triangles;
  std::vector<TNormal> Normals;
};

// One material: colours for the fixed pipeline, the colour map on unit 0 and, on models with
// caustics, 32 caustic-light frames cycled on unit 1, one step per Apply.
class TMaterial {
public:
  static constexpr int CausticFrameCount = 32;

  // Loads no texture: see LoadCausticFrames and LoadTextureFile.
  explicit TMaterial(bool WithCaustics) : Caustics(WithCaustics) {}

  bool Caustics = false;
  std::string Name;
  std::array<float, 4> Ambient{}, Diffuse{}, Specular{}, Emissive{};
  float Shininess = 0;
  float Transparency = 0;      // kept, not used by drawing
  std::string TextureFile;     // empty: no texture
  std::string AlphaMapFile;    // kept, not used
  std::uint32_t Texture = 0;   // 0: none
  std::array<std::uint32_t, CausticFrameCount> CausticTextures{};
  int CausticFrame = 0;        // the frame the next Apply binds, 0 to 31
  // No texture it binds has an alpha channel: its fragments keep the current colour's alpha.
  // Worked out as the textures load; false (the safe answer) until then.
  bool Opaque = false;

  // With Caustics, loads the frames "Vadrel100.bmp" to "Vadrel131.bmp" of the data folder in that
  // order (a frame that fails to load keeps 0); without, does nothing.
  void LoadCausticFrames();
  // Texture := the colour map: TextureFile as written (relative to the current directory), else
  // the same name inside the data folder; 0 when empty or when loading fails.
  void LoadTextureFile();
  // Sets the front material and the textures. Without a texture: disables texturing on the
  // active unit and stops. With one: binds it on unit 0 and, with caustics, binds the current
  // caustic frame on unit 1, leaves unit 1 active and steps the frame (31 wraps to 0).
  void Apply();
};

// One key of a bone's track: Value is an offset (position track) or Euler angles in radians
// about X, Y, Z (rotation track).
struct TKeyFrame {
  float Time = 0;  // in frames
  std::array<float, 3> Value{};
};

// One bone. Parent points at another bone of the same model (or at itself) and does not own it.
class TBone {
public:
  std::string Name;
  std::string ParentName;  // empty: a root bone
  const TBone* Parent = nullptr;
  float Position[3] = {0, 0, 0};  // rest position relative to the parent
  float Rotation[3] = {0, 0, 0};  // rest rotation relative to the parent, radians
  TMatrix Absolute;               // rest pose after Setup, animated pose after Animate
  std::vector<TKeyFrame> PositionKeys;
  std::vector<TKeyFrame> RotationKeys;
  int SourceLine = 0;  // line of the bone's name in its file, for error reports

  // Absolute := Parent's Absolute x [Rotation | Position] (or the local transform alone).
  void Setup();
  // Absolute := Parent's Absolute x [Rotation | Position] x [RotationAt | PositionAt].
  void Animate(float Time);
  // The tracks at Time: linear between the keys around Time, key 0 at or before the first key,
  // the last key after the last. An empty track is assertion 683 (position) / 723 (rotation);
  // keys around Time whose times do not increase are 693 / 731. Thrown without a file name.
  std::array<float, 3> PositionAt(float Time) const;
  std::array<float, 3> RotationAt(float Time) const;
};

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
  // bytes through LoadFromMemory. Raises EModelError naming the file when it cannot be read.
  bool LoadFromFile(const std::string& FileName);
  // Reads the model text in Bytes into this fresh model, links the bones' parents and, when that
  // succeeds, sets up the skeleton, binds the vertices to their bones and advances to the file's
  // start frame. FileName names the model in errors. False when a parent name names no bone.
  // Raises EModelError for a malformed or inconsistent file or a failed track check; the model is
  // then left empty.
  bool LoadFromMemory(const std::string& FileName, const std::vector<std::uint8_t>& Bytes,
                      TTextures Textures);

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

  float TotalFrames() const { return FTotalFrames; }
  float CurrentFrame() const { return FCurrentFrame; }

  int MeshCount() const { return int(FMeshes.size()); }
  std::size_t TriangleCount() const;  // of every mesh
  const TShape& Mesh(int Index) const;
  int MaterialIndex(int MeshIndex) const;  // negative: the mesh has no material
  int MaterialCount() const { return int(FMaterials.size()); }
  const TMaterial& Material(int Index) const;
  int BoneCount() const { return int(FBones.size()); }
  const TBone& Bone(int Index) const;

private:
  friend class TModelReader;  // fills the lists below from the model text

  bool FCaustics;
  std::string FFileName;
  float FTotalFrames = 0;
  float FCurrentFrame = 0;
  std::vector<std::shared_ptr<TShape>> FMeshes;  // shared with the instances, never changed
  std::vector<int> FMaterialIndices;  // one per mesh
  std::vector<std::unique_ptr<TMaterial>> FMaterials;
  std::vector<std::unique_ptr<TBone>> FBones;  // parents must precede children

  bool FReferencePath = false;
  bool FLitTextures = true;
  struct TDrawArrays;  // the fast path's posed positions, made on its first use
  struct TLitTextures;
  struct TShared;  // what the instances of one load draw with, built on first use
  std::unique_ptr<TDrawArrays> FArrays;
  std::shared_ptr<TShared> FShared;

  std::vector<bool> FClosed;  // per mesh, worked out once the model is loaded

  bool LinkParents();
  void SetupBones();
  void FindClosedMeshes();
  void BindVertices();
  void Clear();
  void ApplyMaterialOf(std::size_t Mesh);
  void DrawImmediate();
  void DrawFromArrays(TBackFaces BackFaces);
  void DrawMeshFromArrays(std::size_t Mesh, bool SecondUnit, const TLitTextures* Lit);
  void BuildLayout();
  void MakePoseArrays();
  void BuildLitTextures();
  void PoseArrays();
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
// Loads the file afresh (TModel::LoadFromFile), with the GL context current.
TLoadedModel LoadModelFile(const std::string& FileName, bool Caustics);
