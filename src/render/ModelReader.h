// ModelReader: the one reader of the model text format: bytes in, a model's parts out (meshes,
// materials' fields, bones, frame headers), every fault an EModelError naming the file, the line
// and the reason. Touches neither GL nor the file system itself; the model it reads for is told
// as each material starts and completes, so that it can load the material's textures in file
// order. Depends on ModelText, ModelMesh, Material and Skeleton.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Material.h"
#include "ModelMesh.h"
#include "ModelText.h"
#include "Skeleton.h"

// The parts of one model as its file gives them (vertices still in the file's rest pose, bones
// not yet linked to their parents). Every mesh's material index is below Materials' size (or
// negative: no material), every vertex's bone index inside Skeleton (or -1), and every triangle's
// indices inside its mesh's lists.
struct TModelData {
  float TotalFrames = 0;
  float StartFrame = 0;
  std::vector<std::shared_ptr<TShape>> Meshes;  // shared by the instances of one load
  std::vector<int> MaterialIndices;             // one per mesh
  std::vector<std::unique_ptr<TMaterial>> Materials;
  TSkeleton Skeleton;
};

// What the reader tells as each material is read: Started before its lines are read (the
// material is new, its fields empty), Completed once they all are. Either may be empty.
struct TMaterialEvents {
  std::function<void(TMaterial&)> Started;
  std::function<void(TMaterial&)> Completed;
};

// Reads the model text in Bytes: the frame headers anywhere, and the blocks of meshes, materials
// (made with Caustics) and bones in any order. Entries are created as their lines arrive, never
// ahead of them: a count larger than the file holds costs nothing, and a file that ends early
// keeps exactly the entries it has. FileName names the model in errors.
TModelData ReadModel(const std::string& FileName, const std::vector<std::uint8_t>& Bytes,
                     bool Caustics, const TMaterialEvents& Events);
