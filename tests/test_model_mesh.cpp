#include "ModelSamples.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <array>

// ---- Closed meshes -------------------------------------------------------------------------

namespace {

// One mesh of the given corners (x y z u) and triangles, without material or bones.
std::string OneMesh(const std::vector<std::array<float, 4>>& Corners,
                    const std::vector<std::array<int, 3>>& Triangles) {
  std::string Text = "Frames: 1\nFrame: 1\nMeshes: 1\n\"m\" 0 -1\n" + std::to_string(Corners.size()) + "\n";
  for (const auto& C : Corners)
    Text += "0 " + std::to_string(C[0]) + " " + std::to_string(C[1]) + " " + std::to_string(C[2]) +
            " " + std::to_string(C[3]) + " 0 -1\n";
  Text += "1\n0 0 1\n" + std::to_string(Triangles.size()) + "\n";
  for (const auto& T : Triangles)
    Text += "0 " + std::to_string(T[0]) + " " + std::to_string(T[1]) + " " + std::to_string(T[2]) +
            " 0 0 0 1\n";
  return Text + "Materials: 0\nBones: 0\n";
}

}  // namespace

// Only a mesh whose every back face must lie behind one of its front faces counts as closed: the
// drawing leaves such faces out, so a false "closed" would cut holes in what is drawn.
TEST(ModelShape, ClosedMeshesAreWatertightAndFaceOutward) {
  const std::vector<std::array<float, 4>> Tetrahedron = {
      {0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 1, 0.5f}};
  const std::vector<std::array<int, 3>> Outward = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
  const struct {
    const char* What;
    std::vector<std::array<int, 3>> Triangles;
    bool Closed;
  } Cases[] = {
      {"a tetrahedron facing out", Outward, true},
      {"inside out", {{0, 1, 2}, {0, 3, 1}, {0, 2, 3}, {1, 3, 2}}, false},
      {"a face missing", {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}}, false},
      {"a face twice", {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}, {1, 2, 3}}, false},
      {"a seam: a corner repeated with other texture coordinates", {{0, 2, 1}, {0, 1, 4}, {0, 3, 2}, {1, 2, 3}}, true},
      {"a degenerate triangle besides", {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}, {3, 4, 1}}, true},
      {"one face flipped", {{0, 1, 2}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}, false},
      {"no triangles", {}, false},
  };
  for (const auto& Case : Cases) {
    const std::string Text = OneMesh(Tetrahedron, Case.Triangles);
    TModel Model(false);
    ASSERT_TRUE(Model.LoadFromMemory("m.pp1", {Text.begin(), Text.end()}, TModel::TTextures::Skip))
        << Case.What;
    EXPECT_EQ(Model.IsClosed(0), Case.Closed) << Case.What;
  }
  // The shipped creature: a sealed body, and fins of two open layers.
  std::vector<std::uint8_t> Shipped;
  if (!ReadWholeFile(MapPath("C:\\Vadrel_Data\\Vadrel.pp1"), Shipped)) GTEST_SKIP() << "no generated data";
  TModel Fish(false);
  ASSERT_TRUE(Fish.LoadFromMemory("Vadrel.pp1", Shipped, TModel::TTextures::Skip));
  ASSERT_EQ(Fish.MeshCount(), 3);
  EXPECT_TRUE(Fish.IsClosed(0));
  EXPECT_FALSE(Fish.IsClosed(1));
  EXPECT_FALSE(Fish.IsClosed(2));
}

// A model whose bone names a parent that is not there is kept partly set up, and still drawn:
// its meshes are judged from the file as any other's (this one crashed the fast draw once).
TEST(ModelShape, APartlySetUpModelIsJudgedAndDrawnLikeAnyOther) {
  TGLTestContext GL(32, 32);
  REQUIRE_GL(GL);
  std::string Text = OneMesh({{0, 0, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}},
                             {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}});
  Text.replace(Text.find("Bones: 0"), 8, "Bones: 1\n\"b\"\n\"nobody\"\n0 0 0 0 0 0 0\n1\n1 0 0 0\n1\n1 0 0 0");
  TModel Model(false);
  ASSERT_FALSE(Model.LoadFromMemory("m.pp1", {Text.begin(), Text.end()}, TModel::TTextures::Skip));
  ASSERT_EQ(Model.MeshCount(), 1);
  EXPECT_TRUE(Model.IsClosed(0));
  Model.Draw(TModel::TBackFaces::SkipOnClosedMeshes);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
