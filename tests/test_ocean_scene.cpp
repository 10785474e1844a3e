// Scenes side by side, as a shell holding one per monitor would: each in its own window and GL
// context, neither disturbing the other, one freed while the other goes on; with assets of their
// own or sharing one set, loaded once, as the shell's views do.
#include "OceanScene.h"
#include "Platform.h"
#include "TestSupport.h"
#include "Window.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace {

using TFrame = std::vector<std::uint8_t>;
constexpr int W = 160, H = 100;

TFrame ReadFrame() {
  TFrame Pixels(std::size_t(W) * H * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, Pixels.data());
  return Pixels;
}

TSettings Seeded(std::uint64_t Seed) {
  TSettings Settings;
  Settings.FlockSeed = Seed;
  return Settings;
}

// A window with its scene of seed Seed, set up, drawing with Shared or with assets of its own;
// frames are drawn with the window's context current. A window made while another's context is
// current joins its share group.
struct TView {
  explicit TView(std::uint64_t Seed, TSceneAssets* Shared = nullptr)
      : Window(std::make_unique<TGLWindow>(32, TWindowRequest{TWindowKind::Offscreen, W, H, 0})),
        Scene(Shared ? TOceanScene(Seeded(Seed), *Shared) : TOceanScene(Seeded(Seed))) {
    if (!Window->Ok()) return;
    Scene.ResizeScene(W, H);
    Scene.InitScene();
  }
  TFrame Draw() {
    EXPECT_TRUE(Window->MakeCurrent());
    Scene.DrawScene();
    return ReadFrame();
  }
  std::unique_ptr<TGLWindow> Window;
  TOceanScene Scene;
};

class TwoScenes : public ::testing::Test {
protected:
  void SetUp() override {
    if (!FileExists(MapPath("C:\\Vadrel_Data\\Vadrel.pp1")))
      GTEST_SKIP() << "no generated data in " << DataFolder();
    SetPerformanceCounter([this] { return Ticks; });
  }
  void TearDown() override { SetPerformanceCounter({}); }
  // Every scene's animation clock moves one frame of a seeded render.
  void Tick() { Ticks += PerformanceFrequency() / 30; }

  std::int64_t Ticks = 0;
};

// Caught the flocks sharing one random generator: a lone fish's random walk in one scene changed
// the other's draws, so neither drew what it draws alone.
TEST_F(TwoScenes, DrawSideBySideAndOneGoesOnAloneAfterTheOtherIsFreed) {
  constexpr int Frames = 6, FramesAlone = 4;
  std::vector<TFrame> Alone;  // the picture of one scene with no other beside it
  {
    TView Only(3);
    ASSERT_TRUE(Only.Window->Ok()) << Only.Window->Error();
    for (int F = 0; F < Frames + FramesAlone; ++F, Tick()) Alone.push_back(Only.Draw());
  }
  Ticks = 0;
  auto First = std::make_unique<TView>(3);
  TView Second(3);
  ASSERT_TRUE(Second.Window->Ok()) << Second.Window->Error();
  EXPECT_NE(First->Scene.Flock(), Second.Scene.Flock());
  for (int F = 0; F < Frames; ++F, Tick()) {
    EXPECT_TRUE(First->Draw() == Alone[F]) << "the first scene, frame " << F + 1;
    EXPECT_TRUE(Second.Draw() == Alone[F]) << "the second scene, frame " << F + 1;
  }
  First->Scene.FreeScene();
  EXPECT_EQ(First->Scene.Flock(), nullptr);
  First.reset();
  for (int F = Frames; F < Frames + FramesAlone; ++F, Tick())
    EXPECT_TRUE(Second.Draw() == Alone[F]) << "the second scene alone, frame " << F + 1;
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// The shell's views: one set of assets for scenes whose contexts share their GL objects.
TEST_F(TwoScenes, SharingOneSetOfAssetsDrawAsAloneLoadOnceAndOutliveTheViewThatLoadedThem) {
  constexpr int Frames = 4, FramesAlone = 3;
  std::vector<TFrame> Alone;
  int LoadsAlone = 0;
  {
    TSceneAssets Own(TMipmaps::BaseLevel);
    TView Only(5, &Own);
    ASSERT_TRUE(Only.Window->Ok()) << Only.Window->Error();
    for (int F = 0; F < Frames + FramesAlone; ++F, Tick()) Alone.push_back(Only.Draw());
    LoadsAlone = Own.Loads();
  }
  Ticks = 0;
  TSceneAssets Assets(TMipmaps::BaseLevel);
  auto First = std::make_unique<TView>(5, &Assets);
  auto Second = std::make_unique<TView>(5, &Assets);
  ASSERT_TRUE(Second->Window->Ok()) << Second->Window->Error();
  EXPECT_EQ(Assets.Loads(), LoadsAlone) << "a second view loads nothing again";
  EXPECT_EQ(First->Scene.BackdropTexture(), Second->Scene.BackdropTexture());
  const TMaterial& Sand = First->Scene.Terrain()->Model().Material(0);
  EXPECT_EQ(Sand.Texture, Second->Scene.Terrain()->Model().Material(0).Texture);
  EXPECT_EQ(Sand.CausticTextures, Second->Scene.Terrain()->Model().Material(0).CausticTextures);
  for (int F = 0; F < Frames; ++F, Tick()) {
    EXPECT_TRUE(First->Draw() == Alone[F]) << "the first scene, frame " << F + 1;
    EXPECT_TRUE(Second->Draw() == Alone[F]) << "the second scene, frame " << F + 1;
  }
  First.reset();  // the view whose context loaded everything
  for (int F = Frames; F < Frames + FramesAlone; ++F, Tick())
    EXPECT_TRUE(Second->Draw() == Alone[F]) << "the second scene alone, frame " << F + 1;
  // The group ends with its last context; a new one loads anew.
  Second.reset();
  Assets.Reset();
  Ticks = 0;
  TView Third(5, &Assets);
  EXPECT_EQ(Assets.Loads(), 2 * LoadsAlone);
  EXPECT_TRUE(Third.Draw() == Alone[0]) << "a view of a new group";
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace

// The reference switch reaches every texture a scene loads through the scene's own settings: the
// reference paths upload whole mipmap chains, the fast ones level 0 alone (all these pictures have
// sides that are powers of two).
TEST_F(TwoScenes, TheReferencePathsUploadWholeMipmapChainsAndTheFastOnesLevelZero) {
  for (const bool Reference : {false, true}) {
    TSettings Settings = Seeded(1);
    Settings.ReferencePaths = Reference;
    TGLWindow Window(32, TWindowRequest{TWindowKind::Offscreen, W, H, 0});
    ASSERT_TRUE(Window.Ok()) << Window.Error();
    TOceanScene Scene(Settings);
    Scene.ResizeScene(W, H);
    Scene.InitScene();
    const TMaterial& Sand = Scene.Terrain()->Model().Material(0);
    const std::pair<const char*, std::uint32_t> Textures[] = {
        {"backdrop", Scene.BackdropTexture()},
        {"sand", Sand.Texture},
        {"caustic frame", Sand.CausticTextures[0]}};
    for (const auto& [Name, Texture] : Textures) {
      ASSERT_NE(Texture, 0u) << Name;
      glBindTexture(GL_TEXTURE_2D, Texture);
      GLint Level1Width = 0;
      glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &Level1Width);
      EXPECT_EQ(Level1Width > 0, Reference) << Name << (Reference ? ", reference" : ", fast");
    }
    Scene.FreeScene();
  }
}
