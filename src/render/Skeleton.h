// Skeleton: the key-framed bones of a model, their rest-pose set-up, key-frame evaluation and
// posing, the linking of each bone to its parent, and the binding of mesh vertices to their bones
// (and placing them back out in the current pose). No GL; depends on Matrix, ModelMesh (vertices)
// and, in the source only, ModelText (the errors of the track checks).
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "Matrix.h"
#include "ModelMesh.h"

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

// A model's bones in file order, which is the order they are set up and posed in: parents must
// precede their children. A copy is a skeleton of its own whose parents point into the copy.
class TSkeleton {
public:
  TSkeleton() = default;
  TSkeleton(const TSkeleton& Other);
  TSkeleton& operator=(const TSkeleton&) = delete;
  TSkeleton(TSkeleton&&) = default;
  TSkeleton& operator=(TSkeleton&&) = default;

  std::vector<std::unique_ptr<TBone>> Bones;

  // Each bone's Parent := the first bone named its ParentName. False when a name names no bone;
  // the bones before it are linked, the rest keep no parent.
  bool LinkParents();
  // Every bone's rest pose, in list order.
  void Setup();
  // Moves every vertex with a bone from the rest pose into that bone's space (after Setup). The
  // vertices' bone indices must lie inside the list.
  void Bind(std::vector<TVec>& Vertices) const;
  // Poses every bone for Frame in list order. Track checks raise EModelError without a file name.
  void Pose(float Frame);
  // Where Vertex (bound to this skeleton) is in the current pose.
  std::array<float, 3> Placed(const TVec& Vertex) const;
};
