// The fast paths against the program's plain reference paths: a model drawn from vertex arrays
// against immediate mode, and whole frames (grid scans, culling, arrays) against the reference
// frames. Each pair must give the same pixels, and the model the same GL state afterwards.
#include "ExtOpenGL.h"
#include "Model.h"
#include "Scene.h"
#include "TestSupport.h"
#include "Textures.h"
#include "Vadrel.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

namespace {

bool ShippedDataPresent() { return FileExists(MapPath("C:\\Vadrel_Data\\Vadrel.pp1")); }

// A model whose corners pair vertices with different normals (vertices 0 and 2 each carry two),
// bound to a bone, with the skin and, when asked, the caustic layer.
const char* const SharedCorners =
    "Frames: 30\nFrame: 1\nMeshes: 1\n\"quad\" 0 0\n4\n"
    "0 -40.0 -30.0 0.0 0.0 0.0 0\n0 40.0 -30.0 0.0 1.0 0.0 0\n"
    "0 40.0 30.0 0.0 1.0 1.0 0\n0 -40.0 30.0 0.0 0.0 1.0 0\n"
    "2\n0.0 0.0 1.0\n0.0 1.0 0.0\n2\n0 0 1 2 0 0 0 1\n0 0 2 3 1 1 1 1\n"
    "Materials: 1\n\"m\"\n0.2 0.2 0.2 1.0\n0.8 0.8 0.8 1.0\n0.0 0.0 0.0 1.0\n0.0 0.0 0.0 1.0\n"
    "0.0\n1.0\n\"Vadrel201.bmp\"\n\"\"\n"
    "Bones: 1\n\"b\"\n\"\"\n0 0.0 0.0 0.0 0.0 0.0 0.0\n2\n1.0 0.0 0.0 0.0\n30.0 5.0 3.0 0.0\n"
    "2\n1.0 0.0 0.0 0.0\n30.0 0.0 0.0 1.5\n";

// What a model's drawing leaves behind that later drawing could notice.
std::vector<float> DrawState() {
  std::vector<float> S;
  const auto Get = [&S](GLenum Name, int Count) {
    float V[4] = {};
    glGetFloatv(Name, V);
    S.insert(S.end(), V, V + Count);
  };
  Get(GL_ACTIVE_TEXTURE_ARB, 1);
  Get(GL_CLIENT_ACTIVE_TEXTURE_ARB, 1);
  Get(GL_CURRENT_NORMAL, 3);
  Get(GL_CURRENT_COLOR, 4);
  Get(GL_CULL_FACE_MODE, 1);
  S.push_back(glIsEnabled(GL_CULL_FACE));
  S.push_back(glIsEnabled(GL_ALPHA_TEST));
  S.push_back(glIsEnabled(GL_VERTEX_ARRAY));
  S.push_back(glIsEnabled(GL_NORMAL_ARRAY));
  GLint Active = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &Active);
  for (const GLenum Unit : {GL_TEXTURE0_ARB, GL_TEXTURE1_ARB}) {
    ExtOpenGL::ActiveTexture(Unit);
    ExtOpenGL::ClientActiveTexture(Unit);
    S.push_back(glIsEnabled(GL_TEXTURE_2D));
    S.push_back(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    // Each copy of a model has its own texture names: which kind is bound is what counts.
    GLint Bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &Bound);
    S.push_back(Bound != 0);
    Get(GL_CURRENT_TEXTURE_COORDS, 4);
  }
  ExtOpenGL::ActiveTexture(GLenum(Active));
  ExtOpenGL::ClientActiveTexture(GL_TEXTURE0_ARB);
  return S;
}

// Draws Model in a fixed view: the pixels and the state left behind.
std::pair<std::vector<std::uint8_t>, std::vector<float>> Draw(TGLTestContext& GL, TModel& Model) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, double(GL.Width()) / GL.Height(), 1.0, 1000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -160.0f);
  glRotatef(35.0f, 1.0f, 0.3f, 0.0f);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_ALPHA_TEST);  // as the scene sets it: the fast path may leave it out where idle
  glAlphaFunc(GL_GREATER, Scene::AlphaReference);
  glCullFace(GL_FRONT);  // a mode the fast path must not disturb
  glClearColor(0.0f, 0.0f, 0.3f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glColor3f(0.9f, 0.8f, 0.7f);
  Model.Draw();
  std::vector<float> State = DrawState();
  return {GL.ReadPixels(), std::move(State)};
}

TEST(FastPaths, ModelsDrawnFromArraysGiveTheSamePixelsAndStateAsImmediateMode) {
  if (!ShippedDataPresent()) GTEST_SKIP() << "no generated data in " << DataFolder();
  TGLTestContext GL(160, 120);
  REQUIRE_GL(GL);
  TTempDir Dir;
  const std::string Quad = Dir.Write("quad.pp1", std::string(SharedCorners));
  // The quad again with a skin whose alpha cuts holes in it: the alpha test must stay on for it.
  std::string Holes = SharedCorners;
  Holes.replace(Holes.find("Vadrel201.bmp"), 13, (Dir.Path() / "holes.tga").string());
  std::string Tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 4, 0, 32, 8};
  for (int Texel = 0; Texel < 16; ++Texel)
    Tga += {char(40 * Texel), char(200), char(90), char((Texel + Texel / 4) % 2 ? 0xFF : 0x20)};
  Dir.Write("holes.tga", Tga);
  const std::string HoledQuad = Dir.Write("holes.pp1", Holes);
  const struct {
    std::string File;
    bool Caustics;
  } Models[] = {{MapPath("C:\\Vadrel_Data\\Vadrel.pp1"), false},
                {MapPath("C:\\Vadrel_Data\\Vadrel.pp2"), true},
                {Quad, true},
                {Quad, false},
                {HoledQuad, false}};
  for (const auto& M : Models) {
    // Copies, so that each path sees the same caustic frames in turn; the reference one uploads
    // whole mipmap chains, as --reference does.
    TModel Reference(M.Caustics), Fast(M.Caustics), Lit(M.Caustics);
    ASSERT_TRUE(Reference.LoadFromFile(M.File, TMipmaps::FullChain));
    ASSERT_TRUE(Fast.LoadFromFile(M.File));
    ASSERT_TRUE(Lit.LoadFromFile(M.File));
    Reference.SetReferencePath(true);
    Fast.SetLitTextures(false);
    for (const float Step : {0.0f, 3.5f, 11.25f, 0.0f, 20.0f}) {
      Reference.Advance(Step);
      Fast.Advance(Step);
      Lit.Advance(Step);
      const auto [ReferencePixels, ReferenceState] = Draw(GL, Reference);
      const auto [FastPixels, FastState] = Draw(GL, Fast);
      EXPECT_TRUE(FastPixels == ReferencePixels) << M.File << " at frame " << Fast.CurrentFrame();
      EXPECT_EQ(FastState, ReferenceState) << M.File << " at frame " << Fast.CurrentFrame();
      // The caustic light multiplied into the colour map ahead: the same state, and within the
      // rounding of the product and the filter's reading of two pictures as one.
      const auto [LitPixels, LitState] = Draw(GL, Lit);
      EXPECT_EQ(LitState, ReferenceState) << M.File << " at frame " << Lit.CurrentFrame();
      int Largest = 0, BeyondOne = 0;
      for (std::size_t I = 0; I < LitPixels.size(); ++I) {
        const int D = std::abs(LitPixels[I] - ReferencePixels[I]);
        Largest = std::max(Largest, D);
        BeyondOne += D > 1;
      }
      EXPECT_LE(Largest, 8) << M.File << " at frame " << Lit.CurrentFrame();
      EXPECT_LE(BeyondOne, int(LitPixels.size() / 50)) << M.File << " at frame " << Lit.CurrentFrame();
    }
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
}

// The data folder with a school of 150 fish, for whole frames.
class TBigSchool {
public:
  TBigSchool() {
    for (const auto& Entry : std::filesystem::directory_iterator(Shipped))
      if (Entry.path().filename() != "Vadrel.ini")
        std::filesystem::create_symlink(Entry.path(), Data.Path() / Entry.path().filename());
    Data.Write("Vadrel.ini", std::string("[Section]\nNum=150\n"));
  }

  // Twelve frames of a W x H view, a thirtieth of a second apart, from the same start each time.
  std::vector<std::vector<std::uint8_t>> Frames(TGLTestContext& GL, const TSettings& Given) const {
    std::vector<std::vector<std::uint8_t>> Result;
    std::int64_t Ticks = 0;
    SetPerformanceCounter([&Ticks] { return Ticks; });
    TSettings Settings = Given;
    Settings.BoidCount = 150;
    Settings.FlockSeed = 5;
    TOceanScene Scene(Settings);
    Scene.ResizeScene(GL.Width(), GL.Height());
    Scene.InitScene();
    for (int F = 0; F < 12; ++F) {
      Ticks += PerformanceFrequency() / 30;
      Scene.DrawScene();
      Result.push_back(GL.ReadPixels());
    }
    SetPerformanceCounter({});
    return Result;
  }

  // The frames twice, the settings changed by Vary(Settings, false) and Vary(Settings, true).
  template <typename TVary>
  std::array<std::vector<std::vector<std::uint8_t>>, 2> BothWays(TGLTestContext& GL, TVary Vary) const {
    std::array<std::vector<std::vector<std::uint8_t>>, 2> Result;
    for (const bool Way : {false, true}) {
      TSettings Settings;
      Vary(Settings, Way);
      Result[Way] = Frames(GL, Settings);
    }
    return Result;
  }

private:
  std::string Shipped = DataFolder();  // before the folder below takes its place
  TTempDir Data;
  TScopedEnv Env{"VADREL_DATA", Data.Path().c_str()};
  TScopedEnv User{"XDG_CONFIG_HOME", (Data.Path() / "none").c_str()};
};

constexpr std::pair<int, int> FrameSizes[] = {{320, 200}, {200, 150}, {480, 100}};

// Whole frames of the scene with many creatures, some at the edges of narrow and wide views
// where culling decides, drawn the fast way and the reference way from the same start. (The far
// creature and the skipped back faces are off here: they change a picture by design, and the
// tests below judge them.)
TEST(FastPaths, FramesAreTheSameAsWithTheReferencePaths) {
  if (!ShippedDataPresent()) GTEST_SKIP() << "no generated data in " << DataFolder();
  const TBigSchool School;
  for (const auto& [W, H] : FrameSizes) {
    TGLTestContext GL(W, H);
    REQUIRE_GL(GL);
    const auto Frames = School.BothWays(GL, [](TSettings& Settings, bool Reference) {
      Settings.ReferencePaths = Reference;
      Settings.FarDetailPixels = 0;
      Settings.SkipBackFaces = false;
      Settings.LitTextures = false;
    });
    for (std::size_t F = 0; F < Frames[0].size(); ++F)
      EXPECT_TRUE(Frames[0][F] == Frames[1][F]) << W << "x" << H << ", frame " << F + 1;
  }
}

// A picture as a person sees something small or moving: through a 3x3 blur (the border as it was).
std::vector<std::uint8_t> Blurred(const std::vector<std::uint8_t>& Sharp, int W, int H) {
  std::vector<std::uint8_t> Out = Sharp;
  for (int Y = 1; Y + 1 < H; ++Y)
    for (int X = 1; X + 1 < W; ++X)
      for (int C = 0; C < 3; ++C) {
        int Sum = 0;
        for (int DY = -1; DY <= 1; ++DY)
          for (int DX = -1; DX <= 1; ++DX) Sum += Sharp[(std::size_t(Y + DY) * W + X + DX) * 4 + C];
        Out[(std::size_t(Y) * W + X) * 4 + C] = std::uint8_t(Sum / 9);
      }
  return Out;
}

// Picture A as a person sees it beside B: how many pixels differ at all, and the largest
// difference in a channel inside the border after the blur.
struct TSeenDifference {
  int Pixels = 0;
  int Blurred = 0;
};

TSeenDifference SeenDifference(const std::vector<std::uint8_t>& A, const std::vector<std::uint8_t>& B,
                               int W, int H) {
  TSeenDifference D;
  for (std::size_t I = 0; I < A.size(); I += 4)
    D.Pixels += A[I] != B[I] || A[I + 1] != B[I + 1] || A[I + 2] != B[I + 2];
  const std::vector<std::uint8_t> SeenA = Blurred(A, W, H), SeenB = Blurred(B, W, H);
  for (int Y = 1; Y + 1 < H; ++Y)
    for (int X = 1; X + 1 < W; ++X)
      for (int C = 0; C < 3; ++C) {
        const std::size_t I = (std::size_t(Y) * W + X) * 4 + C;
        D.Blurred = std::max(D.Blurred, std::abs(SeenA[I] - SeenB[I]));
      }
  return D;
}

// A creature's back faces lie behind its front ones, so leaving them out changes only pixels on
// outlines where the two meet at one depth: a handful in a frame, none that the eye could tell
// apart (a broken winding or a mesh wrongly taken for closed loses whole faces, hundreds of
// pixels; a fin wrongly taken for closed shows gaps along its edges: either is far beyond the
// blurred limit).
TEST(FastPaths, SkippedBackFacesChangeNoPixelAnEyeCouldTell) {
  if (!ShippedDataPresent()) GTEST_SKIP() << "no generated data in " << DataFolder();
  const TBigSchool School;
  for (const auto& [W, H] : FrameSizes) {
    TGLTestContext GL(W, H);
    REQUIRE_GL(GL);
    const auto Frames = School.BothWays(GL, [](TSettings& Settings, bool Skip) {
      Settings.FarDetailPixels = 0;
      Settings.SkipBackFaces = Skip;
    });
    for (std::size_t F = 0; F < Frames[0].size(); ++F) {
      const TSeenDifference D = SeenDifference(Frames[1][F], Frames[0][F], W, H);
      EXPECT_LE(D.Pixels, W * H / 2000) << W << "x" << H << ", frame " << F + 1;
      EXPECT_LE(D.Blurred, 3) << W << "x" << H << ", frame " << F + 1;
    }
  }
}

}  // namespace

// ---- The far creature -------------------------------------------------------------------------

namespace {

// A creature drawn Length pixels long, seen from above at the flock's tilt, in the pose of Frame:
// the share of its pixels whose colour differs by more than Threshold between the full model and
// the far one.
double FarModelDifference(TGLTestContext& GL, TModel& Full, TModel& Far, double Length,
                          float Frame, int Threshold, float Shift = 0) {
  Full.PoseAt(Frame);
  Far.PoseAt(Frame);
  std::vector<std::uint8_t> Pictures[2];
  for (int Which = 0; Which < 2; ++Which) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, GL.Width(), 0, GL.Height(), -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glClearColor(0.6f, 0.55f, 0.7f, 1.0f);  // sand-like: the fish must stand apart from it
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glTranslatef(GL.Width() / 2.0f + (Which ? Shift : 0.0f), GL.Height() / 2.0f, 0.0f);
    glRotatef(Scene::FlockTiltDegrees, 1.0f, 0.0f, 0.0f);
    glRotatef(30.0f, 0.0f, 0.0f, 1.0f);
    const float Scale = float(Length / (Scene::CreatureLength / Scene::CreatureScale));
    glScalef(Scale, Scale, Scale);
    glRotatef(Scene::ModelUprightDegrees, 1.0f, 0.0f, 0.0f);
    glColor3f(0.8f, 0.8f, 0.8f);
    (Which == 0 ? Full : Far).Draw();
    Pictures[Which] = GL.ReadPixels();
  }
  for (auto& Picture : Pictures) Picture = Blurred(Picture, GL.Width(), GL.Height());
  const std::uint8_t Background[3] = {153, 140, 179};
  int Creature = 0, Different = 0;
  for (std::size_t I = 0; I < Pictures[0].size(); I += 4) {
    int Largest = 0;
    bool Covered = false;
    for (int C = 0; C < 3; ++C) {
      Largest = std::max(Largest, std::abs(Pictures[0][I + C] - Pictures[1][I + C]));
      Covered = Covered || std::abs(Pictures[0][I + C] - Background[C]) > 3 ||
                std::abs(Pictures[1][I + C] - Background[C]) > 3;
    }
    Creature += Covered;
    Different += Covered && Largest > Threshold;
  }
  return Creature ? double(Different) / Creature : 1.0;
}

}  // namespace

// The far creature is drawn only where it passes for the full one: at the switching length and
// below, after the blur with which an eye takes in something that small, at most a few percent
// of its pixels differ visibly, in any pose (the full creature moved a quarter pixel differs as
// much). A broken far model (bones, coordinates, skin) differs in most of them.
TEST(FastPaths, TheFarCreatureLooksLikeTheFullOneWhereItIsUsed) {
  if (!ShippedDataPresent()) GTEST_SKIP() << "no generated data in " << DataFolder();
  TGLTestContext GL(200, 120);
  REQUIRE_GL(GL);
  TModel Full(false), Far(false);
  ASSERT_TRUE(Full.LoadFromFile(MapPath("C:\\Vadrel_Data\\Vadrel.pp1")));
  ASSERT_TRUE(Far.LoadFromFile(MapPath("C:\\Vadrel_Data\\VadrelFar.pp1")));
  for (const double Length : {16.0, 24.0, Scene::FarDetailPixels})
    for (const float Frame : {1.0f, 8.0f, 15.5f, 23.0f})
      EXPECT_LE(FarModelDifference(GL, Full, Far, Length, Frame, 24), 0.08)
          << Length << " pixels long, frame " << Frame;
}

// The middle creature is drawn only where it passes for the full one: up to its switching length,
// after the blur, barely any of its pixels differ by more than a few grey levels in any pose, and
// fewer differ at all visibly than when the full creature itself is moved by a quarter pixel.
TEST(FastPaths, TheMiddleCreatureLooksLikeTheFullOneWhereItIsUsed) {
  if (!ShippedDataPresent()) GTEST_SKIP() << "no generated data in " << DataFolder();
  TGLTestContext GL(400, 240);
  REQUIRE_GL(GL);
  TModel Full(false), Middle(false);
  ASSERT_TRUE(Full.LoadFromFile(MapPath("C:\\Vadrel_Data\\Vadrel.pp1")));
  ASSERT_TRUE(Middle.LoadFromFile(MapPath("C:\\Vadrel_Data\\VadrelMid.pp1")));
  for (const double Length : {Scene::FarDetailPixels, 64.0, 112.0, Scene::MiddleDetailPixels})
    for (const float Frame : {1.0f, 8.0f, 15.5f, 23.0f}) {
      EXPECT_LE(FarModelDifference(GL, Full, Middle, Length, Frame, 24), 0.03)
          << Length << " pixels long, frame " << Frame;
      EXPECT_LT(FarModelDifference(GL, Full, Middle, Length, Frame, 8),
                FarModelDifference(GL, Full, Full, Length, Frame, 8, 0.25f))
          << Length << " pixels long, frame " << Frame;
    }
}
