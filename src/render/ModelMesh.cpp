#include "ModelMesh.h"

#include <cstdint>
#include <map>
#include <tuple>
#include <unordered_map>

namespace {

// Per vertex: the point it is welded to. Corners that share a position and a bone are posed
// alike, so they are one point.
std::vector<std::uint32_t> WeldedPoints(const TShape& Shape) {
  std::map<std::tuple<float, float, float, int>, std::uint32_t> Points;
  std::vector<std::uint32_t> Point(Shape.Vertices.size());
  for (std::size_t V = 0; V < Shape.Vertices.size(); ++V) {
    const TVec& W = Shape.Vertices[V];
    Point[V] = Points.try_emplace({W.X, W.Y, W.Z, W.BoneIndex}, std::uint32_t(Points.size()))
                   .first->second;
  }
  return Point;
}

double SignedVolume(const TVec& A, const TVec& B, const TVec& C) {
  return double(A.X) * (double(B.Y) * C.Z - double(B.Z) * C.Y) -
         double(A.Y) * (double(B.X) * C.Z - double(B.Z) * C.X) +
         double(A.Z) * (double(B.X) * C.Y - double(B.Y) * C.X);
}

std::uint64_t Edge(std::uint32_t From, std::uint32_t To) { return std::uint64_t(From) << 32 | To; }

}  // namespace

bool IsClosedOutward(const TShape& Shape) {
  const std::vector<std::uint32_t> Point = WeldedPoints(Shape);
  std::unordered_map<std::uint64_t, int> Edges;  // directed edge (from, to): how many run so
  double Volume = 0;
  for (const TTri& Triangle : Shape.Triangles) {
    std::array<std::uint32_t, 3> P;
    for (int C = 0; C < 3; ++C) P[C] = Point[std::size_t(Triangle.VertexIndices[C])];
    if (P[0] == P[1] || P[1] == P[2] || P[2] == P[0]) continue;  // covers no pixel
    for (int C = 0; C < 3; ++C) ++Edges[Edge(P[C], P[(C + 1) % 3])];
    Volume += SignedVolume(Shape.Vertices[std::size_t(Triangle.VertexIndices[0])],
                           Shape.Vertices[std::size_t(Triangle.VertexIndices[1])],
                           Shape.Vertices[std::size_t(Triangle.VertexIndices[2])]);
  }
  bool Closed = !Edges.empty() && Volume > 0;
  for (auto It = Edges.begin(); Closed && It != Edges.end(); ++It) {
    const auto Back = Edges.find(Edge(std::uint32_t(It->first), std::uint32_t(It->first >> 32)));
    Closed = It->second == 1 && Back != Edges.end() && Back->second == 1;
  }
  return Closed;
}
