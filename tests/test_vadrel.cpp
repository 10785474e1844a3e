#include "Vadrel.h"
#include "Scene.h"
#include "Textures.h"
#include "TestSupport.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// The projection takes the corners of the view's frustum (Scene's field of view, near and far
// planes, the window's shape) to the corners of the viewport and its depth range. A height of 0
// (a window rolled up) counts as 1, never as a division by zero.
TEST(ResizeScene, TheFrustumsCornersMeetTheViewportsCorners) {
  TGLTestContext GL(64, 64);
  REQUIRE_GL(GL);
  for (const auto& [Width, Height] : {std::pair{1280, 800}, {768, 1024}, {640, 0}}) {
    SCOPED_TRACE(std::to_string(Width) + " x " + std::to_string(Height));
    TOceanScene Ocean{TSettings{}};
    Ocean.ResizeScene(Width, Height);
    GLint Viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, Viewport);
    EXPECT_EQ(std::make_pair(Viewport[2], Viewport[3]), std::make_pair(Width, std::max(Height, 1)));
    GLfloat P[16] = {};
    glGetFloatv(GL_PROJECTION_MATRIX, P);
    const double Up = std::tan(Scene::FieldOfViewDegrees / 2 * Pi / 180);
    const double Across = Up * Width / std::max(Height, 1);
    for (const double Depth : {Scene::NearPlane, Scene::FarPlane}) {
      const double Eye[4] = {Across * Depth, Up * Depth, -Depth, 1};  // the top right corner
      double Clip[4] = {};
      for (int Row = 0; Row < 4; ++Row)
        for (int Col = 0; Col < 4; ++Col) Clip[Row] += P[Col * 4 + Row] * Eye[Col];
      EXPECT_NEAR(Clip[0] / Clip[3], 1, 1e-4) << "right edge at depth " << Depth;
      EXPECT_NEAR(Clip[1] / Clip[3], 1, 1e-4) << "top edge at depth " << Depth;
      EXPECT_NEAR(Clip[2] / Clip[3], Depth == Scene::NearPlane ? -1 : 1, 1e-4) << Depth;
    }
  }
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
  } Cases[] = {{"[Section]\nNum=0\n", 1},
               {"[Section]\nNum=-1\n", 0},
               {nullptr, Scene::DefaultBoidCount + 1},
               // Regression: Num + 1 overflowed the loop for the largest value; the count is
               // capped where a frame would take seconds.
               {"[Section]\nNum=2147483647\n", Scene::MaxBoidCount}};
  for (const auto& C : Cases) {
    std::filesystem::remove(Dir.Path() / "Vadrel.ini");
    if (C.Ini) Dir.Write("Vadrel.ini", std::string(C.Ini));
    InitScene();
    ASSERT_TRUE(Scene->Flock());
    EXPECT_EQ(Flock().Boids().size(), C.Creatures) << (C.Ini ? C.Ini : "(no file)");
    // Only the capped count is worth a word, and one line says it.
    const bool Capped = C.Creatures == std::size_t(Scene::MaxBoidCount);
    EXPECT_EQ(Messages.Diagnostics.size(), Capped ? 1u : 0u) << (C.Ini ? C.Ini : "(no file)");
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

TEST_F(SceneSetUp, AModelFileThatCannotBeOpenedIsAnErrorNamingIt) {
  std::filesystem::remove(Dir.Path() / "Vadrel.pp1");
  try {
    InitScene();
    FAIL() << "expected an error";
  } catch (const std::exception& Error) {
    EXPECT_NE(std::string(Error.what()).find("Vadrel.pp1"), std::string::npos) << Error.what();
  }
}

// The scene cuts fragments whose alpha is not above AlphaReference (a skin's transparent texels).
// The shipped pictures have no alpha, so no frame of the shipped scene shows it.
TEST_F(SceneSetUp, FragmentsNotAboveTheAlphaReferenceAreCut) {
  InitScene();
  for (const float Alpha : {Scene::AlphaReference - 0.05f, Scene::AlphaReference + 0.05f}) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor4f(1.0f, 1.0f, 1.0f, Alpha);
    glRectf(-1.0f, -1.0f, 1.0f, 1.0f);
    EXPECT_EQ(GL.ReadPixels()[0] == 255, Alpha > Scene::AlphaReference) << "alpha " << Alpha;
  }
}

// What a frame must leave as it found it, as GL reports it: the state the scene's look rests on
// (fog, the alpha and depth tests, culling, blending, the clear colour) and the matrix stacks.
std::vector<GLfloat> FixedState() {
  std::vector<GLfloat> State;
  for (const GLenum Cap :
       {GL_FOG, GL_DEPTH_TEST, GL_ALPHA_TEST, GL_LIGHTING, GL_BLEND, GL_CULL_FACE})
    State.push_back(glIsEnabled(Cap));
  for (const GLenum Name :
       {GL_FOG_MODE, GL_FOG_DENSITY, GL_FOG_COLOR, GL_ALPHA_TEST_FUNC, GL_ALPHA_TEST_REF,
        GL_DEPTH_FUNC, GL_COLOR_CLEAR_VALUE, GL_MATRIX_MODE, GL_MODELVIEW_STACK_DEPTH,
        GL_PROJECTION_STACK_DEPTH, GL_ATTRIB_STACK_DEPTH}) {
    GLfloat Values[4] = {};
    glGetFloatv(Name, Values);
    State.insert(State.end(), Values, Values + 4);
  }
  return State;
}

// A frame puts back whatever it changes, and leaves the camera's move as the modelview matrix for
// what is drawn after the scene.
TEST_F(SceneSetUp, EachFrameLeavesTheFixedStateTheCameraAndBalancedStacks) {
  InitScene();
  const std::vector<GLfloat> SetUp = FixedState();
  for (int Frame = 1; Frame <= 3; ++Frame) {
    SCOPED_TRACE("frame " + std::to_string(Frame));
    DrawScene();
    EXPECT_EQ(FixedState(), SetUp);
    GLfloat M[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, M);
    for (int I = 0; I < 16; ++I)
      EXPECT_FLOAT_EQ(M[I], I >= 12 && I < 15 ? Scene::CameraTranslation[I - 12] : I % 5 == 0)
          << "modelview element " << I;
  }
}

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

  // Whether pixel P (counting from the bottom row) differs between two frames beyond noise.
  static bool Differs(const TFrame& A, const TFrame& B, std::size_t P) {
    int Sum = 0;
    for (std::size_t C = P * 4; C < P * 4 + 3; ++C) Sum += std::abs(A[C] - B[C]);
    return Sum > 24;
  }
  // Pixels of rows [Row0, Row1) (0 = bottom) that differ between two frames.
  static int Differing(const TFrame& A, const TFrame& B, int Row0, int Row1) {
    int Count = 0;
    for (std::size_t P = std::size_t(Row0) * W; P < std::size_t(Row1) * W; ++P)
      Count += Differs(A, B, P);
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
      bool Clear = true;
      for (std::size_t C = 0; C < 3; ++C)
        Clear &= std::abs(F[I + C] - Scene::ClearColor[C] * 255) <= 2;
      ClearInLowerHalf += Clear;
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
  EXPECT_GT(Differing(Flock[0], Empty[0], 0, H), 200);
  int Moved = 0;
  for (std::size_t P = 0; P < std::size_t(W) * H; ++P)
    Moved += Differs(Flock[0], Empty[0], P) != Differs(Flock[10], Empty[10], P);
  EXPECT_GT(Moved, 50);
}

}  // namespace
