#include "Model.h"

#include "ExtOpenGL.h"
#include "Platform.h"

#include <cassert>
#include <cerrno>
#include <cstring>

TModel::TModel(bool Caustics) : FCaustics(Caustics) { ExtOpenGL::LoadEntryPoints(); }

TModel::~TModel() = default;

std::unique_ptr<TModel> TModel::Instance() const {
  auto Copy = std::make_unique<TModel>(FCaustics);
  Copy->FMipmaps = FMipmaps;
  Copy->FFileName = FFileName;
  Copy->FCurrentFrame = FCurrentFrame;
  Copy->FData.TotalFrames = FData.TotalFrames;
  Copy->FData.StartFrame = FData.StartFrame;
  Copy->FData.Meshes = FData.Meshes;
  Copy->FData.MaterialIndices = FData.MaterialIndices;
  for (const auto& Material : FData.Materials)
    Copy->FData.Materials.push_back(std::make_unique<TMaterial>(*Material));
  Copy->FData.Skeleton = TSkeleton(FData.Skeleton);
  Copy->FClosed = FClosed;
  Copy->FReferencePath = FReferencePath;
  Copy->FLitTextures = FLitTextures;
  Copy->FArrays = FArrays.Share();
  return Copy;
}

TLoadedModel LoadModelFile(const std::string& FileName, bool Caustics) {
  TLoadedModel Loaded{std::make_unique<TModel>(Caustics), false};
  Loaded.Linked = Loaded.Model->LoadFromFile(FileName);
  return Loaded;
}

bool TModel::LoadFromFile(const std::string& FileName, TMipmaps Mipmaps) {
  std::vector<std::uint8_t> Bytes;
  errno = 0;
  if (!ReadWholeFile(FileName, Bytes)) {
    const int Error = errno;
    throw EModelError(FileName, 0,
                      std::string("cannot read the file: ") +
                          (Error ? std::strerror(Error) : "read error"));
  }
  return LoadFromMemory(FileName, Bytes, TTextures::Load, Mipmaps);
}

bool TModel::LoadFromMemory(const std::string& FileName, const std::vector<std::uint8_t>& Bytes,
                            TTextures Textures, TMipmaps Mipmaps) {
  assert(FData.Meshes.empty() && FData.Materials.empty() && FData.Skeleton.Bones.empty() &&
         "TModel needs a freshly created model to read into");
  FFileName = FileName;
  FMipmaps = Mipmaps;
  FCurrentFrame = 0;
  // The caustic frames load before the material's lines are read, its colour map after them.
  TMaterialEvents Events;
  if (Textures == TTextures::Load) {
    Events.Started = [Mipmaps](TMaterial& Material) { Material.LoadCausticFrames(Mipmaps); };
    Events.Completed = [Mipmaps](TMaterial& Material) { Material.LoadTextureFile(Mipmaps); };
  }
  try {
    FData = ReadModel(FileName, Bytes, FCaustics, Events);
    // From the file's own positions, before they move into bone space.
    FClosed.clear();
    for (const auto& Shape : FData.Meshes) FClosed.push_back(IsClosedOutward(*Shape));
    if (!FData.Skeleton.LinkParents()) return false;
    FData.Skeleton.Setup();
    for (const auto& Shape : FData.Meshes) FData.Skeleton.Bind(Shape->Vertices);
    Advance(FData.StartFrame);
    return true;
  } catch (...) {
    Clear();
    throw;
  }
}

void TModel::Clear() {
  FClosed.clear();
  FData = TModelData();
  FCurrentFrame = 0;
}

void TModel::Advance(float Frames) {
  FCurrentFrame += Frames;
  if (FCurrentFrame > FData.TotalFrames) FCurrentFrame = 1.0f;
  PoseAt(FCurrentFrame);
}

void TModel::PoseAt(float Frame) {
  FCurrentFrame = Frame;
  try {
    FData.Skeleton.Pose(FCurrentFrame);
  } catch (const EModelError& Error) {
    throw EModelError(FFileName, Error.Line(), Error.Reason());
  }
}

std::array<float, 3> TModel::Placed(const TVec& Vertex) const {
  return FData.Skeleton.Placed(Vertex);
}

TDrawnModel TModel::Drawn() { return {FData, FClosed, FCurrentFrame, FCaustics, FMipmaps}; }

void TModel::Draw(TBackFaces BackFaces) {
  if (FReferencePath)
    DrawImmediate(Drawn());
  else
    FArrays.Draw(Drawn(), BackFaces == TBackFaces::SkipOnClosedMeshes, FLitTextures);
}

std::size_t TModel::TriangleCount() const {
  std::size_t Count = 0;
  for (const auto& Shape : FData.Meshes) Count += Shape->Triangles.size();
  return Count;
}

bool TModel::IsClosed(int Index) const {
  assert(Index >= 0 && Index < MeshCount() && "mesh index out of range");
  return FClosed[std::size_t(Index)];
}

const TShape& TModel::Mesh(int Index) const {
  assert(Index >= 0 && Index < MeshCount() && "mesh index out of range");
  return *FData.Meshes[std::size_t(Index)];
}

int TModel::MaterialIndex(int MeshIndex) const {
  assert(MeshIndex >= 0 && MeshIndex < MeshCount() && "mesh index out of range");
  return FData.MaterialIndices[std::size_t(MeshIndex)];
}

const TMaterial& TModel::Material(int Index) const {
  assert(Index >= 0 && Index < MaterialCount() && "material index out of range");
  return *FData.Materials[std::size_t(Index)];
}

const TBone& TModel::Bone(int Index) const {
  assert(Index >= 0 && Index < BoneCount() && "bone index out of range");
  return *FData.Skeleton.Bones[std::size_t(Index)];
}
