// ModelMesh: the meshes of a model (vertices that may each follow one bone, normals, triangles)
// and their closed-mesh topology. Plain data with no GL; depends on the standard library alone.
#pragma once

#include <array>
#include <vector>

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

// Shape is closed and faces outward: its corners, welded where they share a position and a bone
// (so that they move as one), pair every edge of a triangle with the same edge run the other way
// in exactly one other triangle, and its volume is positive. Judged on the positions as they
// stand, which for a model are the file's rest pose, before they move into bone space.
bool IsClosedOutward(const TShape& Shape);
