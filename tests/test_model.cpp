#include "ModelSamples.h"

#include "ExtOpenGL.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

GLint Integer(GLenum Name) {
  GLint Value = 0;
  glGetIntegerv(Name, &Value);
  return Value;
}

void OrthoView(int Size) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, Size, 0, Size, -100, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_LIGHTING);
  glDisable(GL_DEPTH_TEST);
  glClearColor(0, 0, 0, 1);
  glColor3f(1, 1, 1);
}

struct TFedVertex {
  float X, Y, Z, S, T;
};

// The vertices Draw sends, in window coordinates under OrthoView (x, y as sent; z recovered).
std::vector<TFedVertex> Feedback(TModel& Model) {
  std::vector<GLfloat> Buffer(1 << 14);
  glFeedbackBuffer(GLsizei(Buffer.size()), GL_3D_COLOR_TEXTURE, Buffer.data());
  glRenderMode(GL_FEEDBACK);
  Model.Draw();
  const GLint Count = glRenderMode(GL_RENDER);
  std::vector<TFedVertex> Out;
  for (GLint I = 0; I < Count;) {
    EXPECT_EQ(GLint(Buffer[std::size_t(I)]), GL_POLYGON_TOKEN);
    const GLint N = GLint(Buffer[std::size_t(I) + 1]);
    I += 2;
    for (GLint V = 0; V < N; ++V, I += 11) {
      const GLfloat* F = &Buffer[std::size_t(I)];
      Out.push_back({F[0], F[1], (0.5f - F[2]) * 200.0f, F[7], F[8]});
    }
  }
  return Out;
}

}  // namespace

TEST(ModelDrawing, CausticFramesStepOncePerApply) {
  TGLTestContext Context;
  REQUIRE_GL(Context);
  TCausticData Data;
  TMessageCapture Messages;
  ExtOpenGL::LoadEntryPoints();
  TMaterial Material(true);
  Material.LoadCausticFrames();
  EXPECT_TRUE(Messages.Messages.empty()) << Messages.Messages[0].Text;
  std::vector<std::uint32_t> Names(Material.CausticTextures.begin(),
                                   Material.CausticTextures.end());
  std::sort(Names.begin(), Names.end());
  EXPECT_NE(Names.front(), 0u);
  EXPECT_EQ(std::unique(Names.begin(), Names.end()), Names.end()) << "32 distinct textures";

  Material.Texture = Material.CausticTextures[5];
  for (int Apply = 0; Apply < 33; ++Apply) {
    Material.Apply();
    EXPECT_EQ(Integer(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE1_ARB);
    EXPECT_EQ(std::uint32_t(Integer(GL_TEXTURE_BINDING_2D)),
              Material.CausticTextures[std::size_t(Apply % 32)])
        << Apply;
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(Material.CausticFrame, (Apply + 1) % 32);
  }
  ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
  EXPECT_EQ(std::uint32_t(Integer(GL_TEXTURE_BINDING_2D)), Material.Texture);
  EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));

  // Without a colour map: texturing off on the active unit, and the frame stays.
  TMaterial Bare(true);
  Bare.CausticFrame = 5;
  glEnable(GL_TEXTURE_2D);
  Bare.Apply();
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(Integer(GL_ACTIVE_TEXTURE_ARB), GL_TEXTURE0_ARB);
  EXPECT_EQ(Bare.CausticFrame, 5);

  // A material without caustics loads no frame.
  TMaterial NoCaustics(false);
  NoCaustics.LoadCausticFrames();
  EXPECT_EQ(NoCaustics.CausticTextures, (std::array<std::uint32_t, 32>{}));
}

TEST(ModelDrawing, TwoMeshesSharingAMaterialStepItTwicePerDraw) {
  TGLTestContext Context;
  REQUIRE_GL(Context);
  TCausticData Data;
  Data.Dir.Write("sand.bmp", Bmp(2, 2, 255, 255, 255));
  const std::string Body =
      "3\n0 1 0 0 0 0 -1\n0 0 1 0 0 0 -1\n0 0 0 1 0 0 -1\n1\n0 0 1\n1\n0 0 1 2 0 0 0 1\n";
  const std::string Text = "Meshes: 2\n\"A\" 0 0\n" + Body + "\"B\" 0 0\n" + Body +
                           "Materials: 1\n\"Sand\"\n1 1 1 1\n1 1 1 1\n0 0 0 1\n0 0 0 1\n0\n1\n"
                           "\".\\sand.bmp\"\n\"\"\n";  // not in the current directory: the data folder
  TModel Model(true);
  ASSERT_TRUE(Load(Model, Text));
  ASSERT_EQ(Model.MeshCount(), 2);
  ASSERT_NE(Model.Material(0).Texture, 0u);
  Model.Draw();
  EXPECT_EQ(Model.Material(0).CausticFrame, 2);
  Model.Draw();
  EXPECT_EQ(Model.Material(0).CausticFrame, 4);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// The run's choice of uploads reaches every texture a model makes: its colour map, its caustic
// frames and the lit textures its first draw multiplies from them (the only textures made after
// them). Of 2 x 2 pictures a full chain has a level 1, the base level alone none.
TEST(ModelDrawing, TheMipmapChoiceReachesEveryTextureTheModelMakes) {
  TGLTestContext Context;
  REQUIRE_GL(Context);
  TCausticData Data;
  Data.Dir.Write("sand.bmp", Bmp(2, 2, 255, 255, 255));
  const std::string Text =
      Join(Replaced(Replaced(Plain, "\"Plain\" 0 -1", "\"Plain\" 0 0"), "\"\"", "\"sand.bmp\""));
  for (const TMipmaps Mipmaps : {TMipmaps::BaseLevel, TMipmaps::FullChain}) {
    TModel Model(true);
    ASSERT_TRUE(Load(Model, Text, nullptr, Mipmaps));
    const TMaterial& Material = Model.Material(0);
    std::vector<GLuint> Made(Material.CausticTextures.begin(), Material.CausticTextures.end());
    Made.push_back(Material.Texture);
    const GLuint Last = *std::max_element(Made.begin(), Made.end());
    Model.Draw();
    for (GLuint Name = Last + 1; Name <= Last + 64; ++Name)
      if (glIsTexture(Name)) Made.push_back(Name);
    ASSERT_EQ(Made.size(), 33u + 32u) << "colour map, caustic frames and lit frames";
    for (const GLuint Texture : Made) {
      glBindTexture(GL_TEXTURE_2D, Texture);
      GLint Width = 0;
      glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &Width);
      EXPECT_EQ(Width, Mipmaps == TMipmaps::FullChain ? 1 : 0) << Texture;
    }
  }
}

TEST(ModelDrawing, TextureFileLookup) {
  TGLTestContext Context;
  REQUIRE_GL(Context);
  TTempDir Work, Data;
  Work.Write("skin.bmp", Bmp(2, 2, 255, 0, 0));
  Work.Write("sub/inner.bmp", Bmp(2, 2, 255, 0, 0));
  Data.Write("floor.bmp", Bmp(2, 2, 0, 255, 0));
  TDataFolder Folder(Data.Path());
  TChangeDir Here(Work.Path());
  struct TCase {
    const char* Name;
    bool Found;
  } const Cases[] = {
      {"skin.bmp", true},        // as written, in the current directory
      {"sub\\inner.bmp", true},  // backslashes become '/'
      {".\\floor.bmp", true},    // not here: the data folder
      {"floor.bmp", true},
      {"nowhere.bmp", false},
  };
  for (const TCase& Case : Cases) {
    TMessageCapture Messages;
    TMaterial Material(false);
    Material.TextureFile = Case.Name;
    Material.LoadTextureFile();
    EXPECT_EQ(Material.Texture != 0, Case.Found) << Case.Name;
    EXPECT_EQ(Messages.Messages.empty(), Case.Found) << Case.Name;
    if (!Case.Found && !Messages.Messages.empty()) {
      EXPECT_NE(Messages.Messages[0].Text.find(Data.Path().string() + "/nowhere.bmp"),
                std::string::npos)
          << Messages.Messages[0].Text;
    }
  }
}

TEST(ModelDrawing, DrawSendsVerticesOutOfBoneSpace) {
  TGLTestContext Context(64, 64);
  REQUIRE_GL(Context);
  const std::string Text =
      "Frames: 30\nFrame: 1\nMeshes: 1\n\"M\" 0 -1\n3\n"
      "0 30 30 0 0.25 0.25 0\n0 37 30 0 0.5 0 1\n0 20 40 2 1 1 -1\n"
      "1\n0 0 1\n1\n0 0 1 2 0 0 0 1\n"
      "Bones: 2\n"
      "\"Root\"\n\"\"\n0 30 30 0 0 0 0\n2\n1 0 0 0\n20 4 0 0\n1\n1 0 0 0\n"
      "\"Tip\"\n\"Root\"\n0 5 0 0 0 0 0\n1\n1 0 0 0\n2\n1 0 0 0\n20 0 0 1.5707963\n";
  TModel Model(false);
  ASSERT_TRUE(Load(Model, Text));
  OrthoView(64);
  struct TStep {
    float Advance;
    float Expected[3][3];
  } const Steps[] = {
      {0, {{30, 30, 0}, {37, 30, 0}, {20, 40, 2}}},   // the start frame: as in the file
      {19, {{34, 30, 0}, {39, 32, 0}, {20, 40, 2}}},  // frame 20: root moved, tip turned
  };
  for (const TStep& Step : Steps) {
    Model.Advance(Step.Advance);
    const std::vector<TFedVertex> Fed = Feedback(Model);
    ASSERT_EQ(Fed.size(), 3u);
    for (int V = 0; V < 3; ++V) {
      EXPECT_NEAR(Fed[std::size_t(V)].X, Step.Expected[V][0], 1e-3) << V;
      EXPECT_NEAR(Fed[std::size_t(V)].Y, Step.Expected[V][1], 1e-3) << V;
      EXPECT_NEAR(Fed[std::size_t(V)].Z, Step.Expected[V][2], 1e-2) << V;
    }
    EXPECT_FLOAT_EQ(Fed[0].S, 0.25f);
    EXPECT_FLOAT_EQ(Fed[0].T, 0.75f);
    EXPECT_FLOAT_EQ(Fed[1].T, 1.0f);
  }
}

TEST(ModelDrawing, OneTriangleReadBack) {
  TGLTestContext Context(64, 64);
  REQUIRE_GL(Context);
  TTempDir Work;
  Work.Write("red.bmp", Bmp(2, 2, 255, 0, 0));
  TChangeDir Here(Work.Path());
  TCausticData Data;
  const std::string Mesh = "Meshes: 1\n\"T\" 0 0\n3\n0 8 8 0 0 0 -1\n0 56 8 0 1 0 -1\n"
                           "0 32 56 0 0.5 1 -1\n1\n0 0 1\n1\n0 0 1 2 0 0 0 1\n";
  const std::string Material = "Materials: 1\n\"Red\"\n1 1 1 1\n1 1 1 1\n0 0 0 1\n0 0 0 1\n0\n1\n"
                               "\"red.bmp\"\n\"\"\n";
  auto Pixel = [&](int X, int Y) {
    const std::vector<std::uint8_t> Pixels = Context.ReadPixels();
    const std::size_t At = (std::size_t(Y) * 64 + std::size_t(X)) * 4;
    return std::array<int, 3>{Pixels[At], Pixels[At + 1], Pixels[At + 2]};
  };
  auto Render = [&](TModel& Model) {
    OrthoView(64);
    glClear(GL_COLOR_BUFFER_BIT);
    Model.Draw();
    ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
  };

  TModel Untextured(false);
  ASSERT_TRUE(Load(Untextured, "Meshes: 1\n\"T\" 0 -1\n" + Mesh.substr(18)));
  Render(Untextured);
  EXPECT_EQ(Pixel(32, 24), (std::array<int, 3>{255, 255, 255}));
  EXPECT_EQ(Pixel(2, 60), (std::array<int, 3>{0, 0, 0}));

  TModel Textured(false);
  ASSERT_TRUE(Load(Textured, Mesh + Material));
  Render(Textured);
  EXPECT_EQ(Pixel(32, 24), (std::array<int, 3>{255, 0, 0}));

  // The caustic layer multiplies in its grey frame on unit 1...
  TModel Lit(true);
  ASSERT_TRUE(Load(Lit, Mesh + Material));
  Render(Lit);
  const std::array<int, 3> Caustic = Pixel(32, 24);
  EXPECT_NEAR(Caustic[0], 128, 2);
  EXPECT_EQ(Caustic[1], 0);
  ExtOpenGL::ActiveTexture(GL_TEXTURE1_ARB);
  glDisable(GL_TEXTURE_2D);
  ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);

  // ...and a driver without a second unit draws the same model without it, calling nothing
  // that is not there.
  ExtOpenGL::ClearEntryPoints();
  const int Frame = Lit.Material(0).CausticFrame;
  Render(Lit);
  EXPECT_EQ(Pixel(32, 24), (std::array<int, 3>{255, 0, 0}));
  EXPECT_EQ(Lit.Material(0).CausticFrame, Frame);
  ExtOpenGL::LoadEntryPoints();
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(ModelDrawing, EveryPrefixOfAFileLoadsSafelyOrIsRefused) {
  TGLTestContext Context;
  REQUIRE_GL(Context);
  OrthoView(64);
  for (const std::vector<std::string>* Base : {&Creature, &Plain}) {
    for (std::size_t Count = 0; Count <= Base->size(); ++Count) {
      TModel Model(false);
      try {
        Load(Model, Join(*Base, "\n", Count));
      } catch (const EModelError&) {
        continue;
      }
      Model.Draw();
      Model.Advance(3.0f);
      Model.Draw();
    }
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
