#include "Vadrel.h"
#include "Scene.h"
#include "Textures.h"
#include "TestSupport.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ResizeScene, HeightZeroGivesAViewportOfHeightOne) {
  TGLTestContext GL(64, 64);
  REQUIRE_GL(GL);
  TOceanScene Scene{TSettings{}};
  Scene.ResizeScene(640, 0);
  GLint Viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, Viewport);
  EXPECT_EQ(Viewport[2], 640);
  EXPECT_EQ(Viewport[3], 1);
  GLfloat Projection[16] = {};
  glGetFloatv(GL_PROJECTION_MATRIX, Projection);
  // gluPerspective(45, 640 / 1, ...): element 0 = cot(22.5 deg) / aspect, no division by zero.
  EXPECT_TRUE(std::isfinite(Projection[0]));
  EXPECT_NEAR(Projection[0], 2.4142135f / 640.0f, 1e-6f);
}

TEST(ResizeScene, AspectIsComputedInFloatingPoint) {
  TGLTestContext GL(64, 64);
  REQUIRE_GL(GL);
  TOceanScene Scene{TSettings{}};
  Scene.ResizeScene(1280, 800);  // integer division would give an aspect of 1
  GLfloat Projection[16] = {};
  glGetFloatv(GL_PROJECTION_MATRIX, Projection);
  EXPECT_NEAR(Projection[5], 2.4142135f, 1e-5f);
  EXPECT_NEAR(Projection[0], 2.4142135f / 1.6f, 1e-5f);
  // near 1, far 100
  EXPECT_NEAR(Projection[10], -(100.0f + 1.0f) / (100.0f - 1.0f), 1e-5f);
  EXPECT_NEAR(Projection[14], -2.0f * 100.0f / (100.0f - 1.0f), 1e-5f);
  GLint Mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &Mode);
  EXPECT_EQ(Mode, GL_MODELVIEW);
}

// The exit rule reads one entry of the key table, Escape's (27): every key there is, pressed and
// released, reaches that entry only if it is Escape, and a release clears it again.
TEST(KeyTable, EscapeAndOnlyEscapeEndsTheSaver) {
  TShell S(TOptions{}, TSettings{});
  std::vector<SDL_Keycode> Every;
  for (SDL_Keycode Character = 1; Character < 256; ++Character) Every.push_back(Character);
  for (int Code = 1; Code < SDL_NUM_SCANCODES; ++Code)
    Every.push_back(SDL_SCANCODE_TO_KEYCODE(SDL_Scancode(Code)));
  SDL_Event Event{};
  for (const SDL_Keycode Key : Every) {
    Event.key.keysym.sym = Key;
    Event.type = SDL_KEYDOWN;
    S.WndProc(Event);
    EXPECT_EQ(S.Keys[27], Key == SDLK_ESCAPE) << SDL_GetKeyName(Key) << " " << Key;
    Event.type = SDL_KEYUP;
    S.WndProc(Event);
    EXPECT_FALSE(S.Keys[27]) << SDL_GetKeyName(Key);
  }
}

}  // namespace

// ---- Scene set-up from the configuration file ---------------------------------------------

namespace {

const char* const TinyCreature =
    "Frames: 30\nFrame: 1\nMeshes: 1\n\"body\" 0 -1\n3\n"
    "0 0.0 0.0 0.0 0.0 0.0 -1\n0 0.0 0.0 -100.0 0.0 0.0 -1\n0 10.0 0.0 0.0 0.0 0.0 -1\n"
    "1\n0.0 1.0 0.0\n1\n0 0 1 2 0 0 0 1\nMaterials: 0\nBones: 0\n";
const char* const TinyTerrain =
    "Frames: 0\nMeshes: 1\n\"terrain\" 0 -1\n3\n"
    "0 -100.0 0.0 100.0 0.0 0.0 -1\n0 100.0 0.0 100.0 1.0 0.0 -1\n0 0.0 0.0 -100.0 0.5 1.0 -1\n"
    "1\n0.0 1.0 0.0\n1\n0 0 1 2 0 0 0 1\nMaterials: 0\nBones: 0\n";

// A data folder holding only tiny models (no pictures) and, when given, a configuration file.
class SceneSetUp : public ::testing::Test {
protected:
  void SetUp() override {
    if (!GL.Ok()) GTEST_SKIP() << "no GL context: " << GL.Error();
    Dir.Write("Vadrel.pp1", TinyCreature);
    Dir.Write("Vadrel.pp2", TinyTerrain);
    Dir.Write("Vadrel.pp3", TinyCreature);
    Options.Seed = 1;
  }

  // A scene of the settings the options and the two configuration files give, set up.
  void InitScene() {
    Scene = std::make_unique<TOceanScene>(LoadSettings(Options));
    Scene->InitScene();
  }
  void DrawScene() { Scene->DrawScene(); }
  const TFlock& Flock() const { return *Scene->Flock(); }

  TOptions Options;
  std::unique_ptr<TOceanScene> Scene;

  TGLTestContext GL{160, 100};
  TTempDir Dir;
  TScopedEnv Env{"VADREL_DATA", Dir.Path().c_str()};
  // The user's own settings live here: empty unless a test writes them.
  TScopedEnv UserConfig{"XDG_CONFIG_HOME", (Dir.Path() / "config").c_str()};
  TMessageCapture Messages;
};

TEST_F(SceneSetUp, NumGivesNumPlusOneCreatures) {
  const struct {
    const char* Ini;  // nullptr: no configuration file
    std::size_t Creatures;
  } Cases[] = {{"[Section]\nNum=0\n", 1}, {"[Section]\nNum=-1\n", 0}, {nullptr, 41},
               // Regression: Num + 1 overflowed the loop for the largest value; the count is
               // capped where a frame would take seconds.
               {"[Section]\nNum=2147483647\n", 10000}};
  for (const auto& C : Cases) {
    std::filesystem::remove(Dir.Path() / "Vadrel.ini");
    if (C.Ini) Dir.Write("Vadrel.ini", std::string(C.Ini));
    InitScene();
    ASSERT_TRUE(Scene->Flock());
    EXPECT_EQ(Flock().Boids().size(), C.Creatures) << (C.Ini ? C.Ini : "(no file)");
    // Only the capped count is worth a word, and one line says it.
    EXPECT_EQ(Messages.Diagnostics.size(), C.Creatures == 10000 ? 1u : 0u) << (C.Ini ? C.Ini : "(no file)");
    Messages.Diagnostics.clear();
    ASSERT_TRUE(Scene->Terrain());
    DrawScene();  // an empty flock draws too
  }
}

// The shell reads both files where they live, key by key (the order itself is WorkOutSettings'),
// and writes neither.
TEST_F(SceneSetUp, ReadsTheUsersFileBeforeTheDataFoldersAndWritesNeither) {
  const std::string DataFile = Dir.Write("Vadrel.ini", std::string("[Section]\nNum=5\nRivals=3\n"));
  const std::string UserFile =
      Dir.Write("config/vadrel/Vadrel.ini", std::string("[Section]\nNum=2\n"));
  const auto Stamp = [](const std::string& File) {
    return std::make_pair(std::filesystem::last_write_time(File), std::filesystem::file_size(File));
  };
  const auto DataBefore = Stamp(DataFile), UserBefore = Stamp(UserFile);
  InitScene();
  EXPECT_EQ(Flock().Boids().size(), 3u + 3u);  // the user's Num, the data folder's Rivals
  EXPECT_EQ(Stamp(DataFile), DataBefore);
  EXPECT_EQ(Stamp(UserFile), UserBefore);
}

// Rivals adds that many predators after the school, in a second model slot; the school is the
// same fish in the same places, only wary. Rivals follows Num's rules: the user's file first,
// -rivals before both, at most MaxRivalCount (said in one line), a negative value none.
TEST_F(SceneSetUp, RivalsFollowTheSchoolInASecondSlot) {
  Dir.Write("Vadrel.ini", std::string("[Section]\nNum=5\nRivals=3\n"));
  const struct {
    const char* User;  // the user's Vadrel.ini, nullptr: none
    std::optional<std::int32_t> Rivals;
    std::int32_t Predators;
    std::size_t Diagnostics;
  } Cases[] = {{nullptr, {}, 3, 0},
               {"[Section]\nRivals=0\n", {}, 0, 0},
               {"[Section]\nRivals=1\n", {}, 1, 0},
               {"[Section]\nRivals=-4\n", {}, 0, 0},
               {"[Section]\nRivals=0x7fffffff\n", {}, Scene::MaxRivalCount, 1},
               {"[Section]\nRivals=1\n", 2, 2, 0},
               {nullptr, 0, 0, 0}};
  Options.Rivals = 0;
  InitScene();
  std::vector<std::pair<double, double>> Plain;
  for (const auto& B : Flock().Boids()) Plain.emplace_back(B->X(), B->Y());
  for (const auto& C : Cases) {
    const std::string Label = C.User ? C.User : "(no file)";
    std::filesystem::remove(Dir.Path() / "config/vadrel/Vadrel.ini");
    if (C.User) Dir.Write("config/vadrel/Vadrel.ini", std::string(C.User));
    Options.Rivals = C.Rivals;
    InitScene();
    const auto& Boids = Flock().Boids();
    ASSERT_EQ(Boids.size(), 6u + std::size_t(C.Predators)) << Label;
    EXPECT_EQ(Flock().ModelCount(), C.Predators > 0 ? 2 : 1) << Label;
    for (std::size_t I = 0; I < Boids.size(); ++I) {
      const TBoid& B = *Boids[I];
      const bool Fish = I < 6;
      EXPECT_EQ(B.ModelIndex(), Fish ? 0 : 1) << Label << ", boid " << I;
      const TBoidTraits& Traits = !Fish              ? Scene::PredatorTraits
                                  : C.Predators > 0 ? Scene::WaryCreatureTraits
                                                    : Scene::CreatureTraits;
      EXPECT_EQ(B.ViewRadius(), Traits.ViewRadius) << Label << ", boid " << I;
      EXPECT_EQ(B.FleeRatio(), Traits.FleeRatio) << Label << ", boid " << I;
      if (Fish) {
        EXPECT_EQ(std::make_pair(B.X(), B.Y()), Plain[I]) << Label << ", boid " << I;
      }
    }
    EXPECT_EQ(Messages.Diagnostics.size(), C.Diagnostics) << Label;
    Messages.Diagnostics.clear();
    for (int Frame = 0; Frame < 3; ++Frame) DrawScene();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << Label;
  }
}

TEST_F(SceneSetUp, MissingBackdropIsReportedAndTheSceneGoesOn) {
  InitScene();
  EXPECT_EQ(Scene->BackdropTexture(), 0u);
  ASSERT_FALSE(Messages.Messages.empty());
  EXPECT_EQ(Messages.Messages[0].Text, "Error opening " + (Dir.Path() / "Vadrel200.bmp").string());
  EXPECT_EQ(Messages.Messages[0].Caption, "BMP Unit");
  for (int I = 0; I < 3; ++I) DrawScene();
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneSetUp, FixedStateIsSet) {
  InitScene();
  GLfloat Clear[4], Fog[4], Density = 0, AlphaRef = 0;
  GLint FogMode = 0, AlphaFunc = 0, DepthFunc = 0;
  glGetFloatv(GL_COLOR_CLEAR_VALUE, Clear);
  glGetFloatv(GL_FOG_COLOR, Fog);
  glGetFloatv(GL_FOG_DENSITY, &Density);
  glGetFloatv(GL_ALPHA_TEST_REF, &AlphaRef);
  glGetIntegerv(GL_FOG_MODE, &FogMode);
  glGetIntegerv(GL_ALPHA_TEST_FUNC, &AlphaFunc);
  glGetIntegerv(GL_DEPTH_FUNC, &DepthFunc);
  EXPECT_FLOAT_EQ(Clear[0], 0.3f);
  EXPECT_FLOAT_EQ(Clear[2], 1.0f);
  EXPECT_FLOAT_EQ(Fog[2], 0.8f);
  EXPECT_FLOAT_EQ(Fog[0], 0.0f);
  EXPECT_FLOAT_EQ(Density, 0.04f);
  EXPECT_FLOAT_EQ(AlphaRef, 0.4f);
  EXPECT_EQ(FogMode, GL_EXP2);
  EXPECT_EQ(AlphaFunc, GL_GREATER);
  EXPECT_EQ(DepthFunc, GL_LESS);
  EXPECT_TRUE(glIsEnabled(GL_FOG));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

TEST_F(SceneSetUp, AModelFileThatCannotBeOpenedIsAnErrorNamingIt) {
  std::filesystem::remove(Dir.Path() / "Vadrel.pp1");
  try {
    InitScene();
    FAIL() << "expected an error";
  } catch (const std::exception& Error) {
    EXPECT_NE(std::string(Error.what()).find("Vadrel.pp1"), std::string::npos) << Error.what();
  }
}

TEST_F(SceneSetUp, EachFrameLeavesTheTranslationAndBalancedStacks) {
  InitScene();
  DrawScene();
  GLfloat M[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, M);
  EXPECT_FLOAT_EQ(M[12], -4.5f);
  EXPECT_FLOAT_EQ(M[13], -2.0f);
  EXPECT_FLOAT_EQ(M[14], -5.0f);
  GLint Depth = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &Depth);
  EXPECT_EQ(Depth, 1);
}

// ---- Command line ---------------------------------------------------------------------------

}  // namespace

// ---- The shipped data, through the program's own readers and drawing ------------------------

namespace {

bool ShippedDataPresent() { return FileExists(MapPath("C:\\Vadrel_Data\\Vadrel.pp1")); }

// What the models hold is checked in test_datagen; here the program loads every shipped file the
// way the scene does, textures included, from a working folder other than the data folder (the
// sand's ".\" name must fall back to it), draws the models, and says nothing.
TEST(ShippedData, LoadsThroughTheProgramsReadersWithoutAMessage) {
  if (!ShippedDataPresent()) GTEST_SKIP() << "no generated data in " << DataFolder();
  TGLTestContext GL(64, 64);
  REQUIRE_GL(GL);
  TTempDir Elsewhere;
  TChangeDir Into(Elsewhere.Path());
  TMessageCapture Messages;

  TAnimate Creature(MapPath("C:\\Vadrel_Data\\Vadrel.pp1"), 24.0, false);
  TAnimate Terrain(MapPath("C:\\Vadrel_Data\\Vadrel.pp2"), 24.0, true);
  TAnimate Predator(MapPath("C:\\Vadrel_Data\\Vadrel.pp3"), 24.0, false);
  for (const TAnimate* Animate : {&Creature, &Terrain, &Predator}) {
    const TModel& Model = Animate->Model();
    ASSERT_GT(Model.MaterialCount(), 0);
    for (int M = 0; M < Model.MaterialCount(); ++M) EXPECT_NE(Model.Material(M).Texture, 0u);
  }
  for (const std::uint32_t Frame : Terrain.Model().Material(0).CausticTextures)
    EXPECT_NE(Frame, 0u);
  for (int Frame = 0; Frame < 40; ++Frame) {
    Creature.Draw();
    Terrain.Draw();
    Predator.Draw();
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

  std::uint32_t Backdrop = 0;
  EXPECT_TRUE(LoadTexture(MapPath("C:\\Vadrel_Data\\Vadrel200.bmp"), Backdrop));
  for (const auto& M : Messages.Messages) ADD_FAILURE() << M.Caption << ": " << M.Text;
}

// Frames of the default scene at a small size, with a fixed flock seed.
class RenderedScene : public ::testing::Test {
protected:
  static constexpr int W = 320, H = 200;
  using TFrame = std::vector<std::uint8_t>;

  void SetUp() override {
    if (!ShippedDataPresent()) GTEST_SKIP() << "no generated data in " << DataFolder();
    if (!GL.Ok()) GTEST_SKIP() << "no GL context: " << GL.Error();
  }
  // Frames First..Last (counting from 1) of a fresh scene; Empty: a data folder whose
  // configuration asks for no creatures.
  std::vector<TFrame> Render(bool Empty, int First, int Last) {
    TTempDir Data;
    for (const auto& Entry : std::filesystem::directory_iterator(DataFolder()))
      if (Entry.path().filename() != "Vadrel.ini")
        std::filesystem::create_symlink(Entry.path(), Data.Path() / Entry.path().filename());
    Data.Write("Vadrel.ini", std::string(Empty ? "[Section]\nNum=-1\n" : "[Section]\nNum=40\n"));
    TScopedEnv Env("VADREL_DATA", Data.Path().c_str());
    TOptions Options;
    Options.Seed = 11;
    TOceanScene Scene(LoadSettings(Options));
    Scene.ResizeScene(W, H);
    Scene.InitScene();
    std::vector<TFrame> Frames;
    for (int F = 1; F <= Last; ++F) {
      Scene.DrawScene();
      if (F >= First) Frames.push_back(GL.ReadPixels());
    }
    return Frames;
  }

  // Pixels of rows [Row0, Row1) (0 = bottom) that differ between two frames.
  static int Differing(const TFrame& A, const TFrame& B, int Row0, int Row1) {
    int Count = 0;
    for (int Y = Row0; Y < Row1; ++Y)
      for (int X = 0; X < W; ++X) {
        const std::size_t I = (std::size_t(Y) * W + X) * 4;
        if (std::abs(A[I] - B[I]) + std::abs(A[I + 1] - B[I + 1]) + std::abs(A[I + 2] - B[I + 2]) > 24)
          ++Count;
      }
    return Count;
  }

  TGLTestContext GL{W, H};
};

TEST_F(RenderedScene, BackdropAboveSandWithMovingCausticsAndSwimmingCreatures) {
  const std::vector<TFrame> Flock = Render(false, 20, 30);
  const std::vector<TFrame> Empty = Render(true, 20, 30);
  const TFrame& F = Flock.front();

  // No pixel of the clear colour is left in the lower half: the floor covers it.
  int ClearInLowerHalf = 0;
  for (int Y = 0; Y < H / 2; ++Y)
    for (int X = 0; X < W; ++X) {
      const std::size_t I = (std::size_t(Y) * W + X) * 4;
      if (std::abs(F[I] - 77) <= 2 && std::abs(F[I + 1] - 77) <= 2 && F[I + 2] >= 253)
        ++ClearInLowerHalf;
    }
  EXPECT_EQ(ClearInLowerHalf, 0);

  // The upper band shows the backdrop: blue water, neither the clear colour nor plain fog, and
  // lighter towards the surface.
  const auto Mean = [&](const TFrame& Frame, int Row0, int Row1, int Channel) {
    double Sum = 0;
    for (int Y = Row0; Y < Row1; ++Y)
      for (int X = W / 4; X < 3 * W / 4; ++X) Sum += Frame[(std::size_t(Y) * W + X) * 4 + Channel];
    return Sum / ((Row1 - Row0) * (W / 2));
  };
  const TFrame& E = Empty.front();
  EXPECT_GT(Mean(E, H - 10, H, 2), Mean(E, H - 10, H, 0));          // blue
  EXPECT_GT(Mean(E, H - 10, H, 1), Mean(E, H * 2 / 3, H * 2 / 3 + 10, 1));  // lighter above
  // The near floor is lit sand: far redder than the fog (no red at all) or the clear colour.
  EXPECT_GT(Mean(E, 0, H / 5, 0), 90.0);

  // The caustic light moves from frame to frame on the floor.
  EXPECT_GT(Differing(Empty[0], Empty[1], 0, H / 2), W * H / 50);
  // Creatures are there (the flock's frame differs from the empty one) and they move.
  const int CreaturePixels = Differing(Flock[0], Empty[0], 0, H);
  EXPECT_GT(CreaturePixels, 200);
  std::vector<std::uint8_t> MaskA(std::size_t(W) * H), MaskB(std::size_t(W) * H);
  int Moved = 0;
  for (std::size_t P = 0; P < MaskA.size(); ++P) {
    const auto Differs = [&](const TFrame& A, const TFrame& B) {
      return std::abs(A[P * 4] - B[P * 4]) + std::abs(A[P * 4 + 1] - B[P * 4 + 1]) +
                 std::abs(A[P * 4 + 2] - B[P * 4 + 2]) > 24;
    };
    if (Differs(Flock[0], Empty[0]) != Differs(Flock[10], Empty[10])) ++Moved;
  }
  EXPECT_GT(Moved, 50);
}

}  // namespace
