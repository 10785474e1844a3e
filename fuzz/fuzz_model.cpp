// libFuzzer entry for the model reader, fed from memory without textures: no file, no GL. A file
// is either refused with EModelError or loaded into a model whose every index points inside its
// lists; a loaded model then animates through a few frames (its track checks may refuse it too).
#include "Model.h"
#include "Platform.h"

#include <cstdlib>

namespace {

// Aborts (a finding) when something drawing would index lies outside the model's lists.
void CheckIndices(const TModel& Model) {
  for (int M = 0; M < Model.MeshCount(); ++M) {
    const TShape& Shape = Model.Mesh(M);
    if (Model.MaterialIndex(M) >= Model.MaterialCount()) std::abort();
    for (const TTri& Triangle : Shape.Triangles)
      for (int Corner = 0; Corner < 3; ++Corner) {
        const int V = Triangle.VertexIndices[Corner], N = Triangle.NormalIndices[Corner];
        if (V < 0 || std::size_t(V) >= Shape.Vertices.size()) std::abort();
        if (N < 0 || std::size_t(N) >= Shape.Normals.size()) std::abort();
      }
    for (const TVec& Vertex : Shape.Vertices)
      if (Vertex.BoneIndex != -1 && (Vertex.BoneIndex < 0 || Vertex.BoneIndex >= Model.BoneCount()))
        std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  static const bool Silenced = [] {
    SetMessageSink([](const std::string&, const std::string&) {});
    SetDiagnosticSink([](const std::string&) {});
    return true;
  }();
  (void)Silenced;
  const std::vector<std::uint8_t> Bytes(Data, Data + Size);
  TModel Model(false);
  try {
    if (!Model.LoadFromMemory("fuzz.pp1", Bytes, TModel::TTextures::Skip)) return 0;
    CheckIndices(Model);
    for (const float Step : {0.5f, 1.0f, 1e6f, -3.0f}) Model.Advance(Step);
  } catch (const EModelError&) {
  }
  return 0;
}
