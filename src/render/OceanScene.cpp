#include "OceanScene.h"

#include "ExtOpenGL.h"
#include "Platform.h"
#include "Scene.h"
#include "Textures.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

constexpr const char* BackdropFile = "C:\\Vadrel_Data\\Vadrel200.bmp";
constexpr const char* CreatureFile = "C:\\Vadrel_Data\\Vadrel.pp1";
constexpr const char* MiddleCreatureFile = "C:\\Vadrel_Data\\VadrelMid.pp1";
constexpr const char* FarCreatureFile = "C:\\Vadrel_Data\\VadrelFar.pp1";
constexpr const char* PredatorFile = "C:\\Vadrel_Data\\Vadrel.pp3";
constexpr const char* TerrainFile = "C:\\Vadrel_Data\\Vadrel.pp2";

}  // namespace

TOceanScene::TOceanScene(const TSettings& Settings)
    : FSettings(Settings), FOwnAssets(std::make_unique<TSceneAssets>(MipmapsFor(Settings))), FAssets(*FOwnAssets) {}

TOceanScene::TOceanScene(const TSettings& Settings, TSceneAssets& Shared)
    : FSettings(Settings), FAssets(Shared) {}

void TOceanScene::SetFixedState() {
  glClearColor(Scene::ClearColor[0], Scene::ClearColor[1], Scene::ClearColor[2],
               Scene::ClearColor[3]);
  glShadeModel(GL_SMOOTH);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, Scene::AlphaReference);
  glEnable(GL_FOG);
  glFogi(GL_FOG_MODE, GL_EXP2);
  glFogfv(GL_FOG_COLOR, Scene::FogColor);
  glFogf(GL_FOG_DENSITY, Scene::FogDensity);
  glHint(GL_FOG_HINT, GL_NICEST);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

// Without rivals the flock is the plain school: one slot, and the same random draws.
void TOceanScene::MakeFlock() {
  const bool Rivals = FSettings.RivalCount > 0;
  FFlock = std::make_unique<TFlock>(Rivals ? 2 : 1, Scene::FlockWorldHeight,
                                    Scene::FlockWorldWidth, MapPath(CreatureFile), false,
                                    FSettings.FlockSeed, FAssets.Loader());
  if (Rivals) FFlock->LoadModel(1, MapPath(PredatorFile));
  FitFlockToView();  // before the boids, which are drawn for the world they start in
  const TBoidTraits& School = Rivals ? Scene::WaryCreatureTraits : Scene::CreatureTraits;
  for (std::int32_t I = 0; I <= FSettings.BoidCount; ++I) FFlock->AddBoid(0, School);
  for (std::int32_t I = 0; I < FSettings.RivalCount; ++I)
    FFlock->AddBoid(1, Scene::PredatorTraits);
}

void TOceanScene::InitScene() {
  SetFixedState();
  // Without its folder every data file would fail one by one: say so once, naming the folder.
  const std::string Data = DataFolder();
  if (const std::optional<std::string> Problem = FolderProblem(Data))
    throw std::runtime_error("cannot use the data folder " + Data + ": " + *Problem);

  const TSceneAssets::TBackdrop& Backdrop = FAssets.Backdrop(MapPath(BackdropFile));
  FBackdropTexture = Backdrop.Texture;
  FBackdropHasAlpha = Backdrop.HasAlpha;
  MakeFlock();
  FTerrain = std::make_unique<TAnimate>(MapPath(TerrainFile), Scene::AnimationFrameRate, true,
                                        FAssets.Loader());
  // The simpler creatures are optional data: without them the full one is drawn.
  if (FileExists(MapPath(MiddleCreatureFile)))
    FFlock->LoadSimplerModel(0, TAnimate::TDetail::Middle, MapPath(MiddleCreatureFile));
  if (FileExists(MapPath(FarCreatureFile)))
    FFlock->LoadSimplerModel(0, TAnimate::TDetail::Far, MapPath(FarCreatureFile));
  FFlock->SetDetailPixels(FSettings.FarDetailPixels, Scene::MiddleDetailPixels);
  FFlock->SetSkipsBackFaces(FSettings.SkipBackFaces);
  FFlock->SetReferencePaths(FSettings.ReferencePaths);
  FTerrain->SetReferencePath(FSettings.ReferencePaths);
  FTerrain->SetLitTextures(FSettings.LitTextures);
}

// Before the first ResizeScene the view's shape is unknown: the design's world.
void TOceanScene::FitFlockToView() {
  if (FFlock && FWidth > 0 && FHeight > 0)
    FFlock->FitWidth(Scene::FlockWorldWidthFor(double(FWidth) / double(FHeight)));
}

void TOceanScene::ResizeScene(int Width, int Height) {
  if (Height == 0) Height = 1;
  FWidth = Width;
  FHeight = Height;
  FitFlockToView();
  glViewport(0, 0, Width, Height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(Scene::FieldOfViewDegrees, double(Width) / double(Height), Scene::NearPlane,
                 Scene::FarPlane);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// The backdrop is textured only because the models leave unit 0 texturing on; it mirrors the
// picture left to right. On a view wider than 4:3 the quad and its texture coordinates widen alike
// about the centre (the texture repeats), so the picture keeps its scale and fills the width.
void TOceanScene::DrawBackdrop() {
  ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
  glPushMatrix();
  const float* Backdrop = Scene::BackdropTranslation;
  glTranslatef(Backdrop[0], Backdrop[1], Backdrop[2]);
  glBindTexture(GL_TEXTURE_2D, FBackdropTexture);
  glColor3f(1.0f, 1.0f, 1.0f);
  GLint Viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, Viewport);  // set with the projection by ResizeScene
  const float Widening =
      float(Scene::BackdropWidening(double(Viewport[2]) / double(std::max(Viewport[3], 1))));
  const float Half = Scene::BackdropHalfWidth * Widening;
  // u runs from the right side to the left: the mirror. At 4:3 or narrower, 0 to 1.
  const float FirstU = (1.0f - Widening) / 2.0f, LastU = (1.0f + Widening) / 2.0f;
  // A picture without alpha leaves the alpha test nothing to decide.
  const bool AlphaTestOff = !FBackdropHasAlpha && AlphaTestPassesCurrentColour();
  if (AlphaTestOff) glDisable(GL_ALPHA_TEST);
  glBegin(GL_QUADS);
  glTexCoord2f(FirstU, 0.0f);
  glVertex3f(Half, Scene::BackdropBottom, 0.0f);
  glTexCoord2f(FirstU, 1.0f);
  glVertex3f(Half, Scene::BackdropTop, 0.0f);
  glTexCoord2f(LastU, 1.0f);
  glVertex3f(-Half, Scene::BackdropTop, 0.0f);
  glTexCoord2f(LastU, 0.0f);
  glVertex3f(-Half, Scene::BackdropBottom, 0.0f);
  glEnd();
  if (AlphaTestOff) glEnable(GL_ALPHA_TEST);
  glPopMatrix();
  glDisable(GL_TEXTURE_2D);
}

void TOceanScene::DrawTerrain() {
  glPushMatrix();
  const float* At = Scene::TerrainTranslation;
  glTranslatef(At[0], At[1], At[2]);
  glRotatef(Scene::TerrainTiltDegrees, 1.0f, 0.0f, 0.0f);
  glScalef(Scene::TerrainScale, Scene::TerrainScale, Scene::TerrainScale);
  glColor3f(1.0f, 1.0f, 1.0f);
  FTerrain->Draw();
  glPopMatrix();
  // The caustic unit, left active by the terrain: off until the terrain binds it again.
  glDisable(GL_TEXTURE_2D);
}

void TOceanScene::DrawScene() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glClearColor(Scene::ClearColor[0], Scene::ClearColor[1], Scene::ClearColor[2],
               Scene::ClearColor[3]);
  glLoadIdentity();
  const float* Camera = Scene::CameraTranslation;
  glTranslatef(Camera[0], Camera[1], Camera[2]);

  glPushMatrix();
  glRotatef(Scene::FlockTiltDegrees, 1.0f, 0.0f, 0.0f);
  FFlock->Update();
  FFlock->Draw();
  glPopMatrix();

  DrawBackdrop();
  DrawTerrain();
}

void TOceanScene::DrawFrameRate() {
  if (!FSettings.ShowFrameRate) return;
  if (!FFrameClock) FFrameClock = std::make_unique<TPerfTimer>();
  FFrameRate.Frame(FFrameClock->Elapsed());
  DrawOverlayText(FFrameRate.Text(), FWidth, FHeight);
}

void TOceanScene::FreeScene() {
  FFlock.reset();
  FTerrain.reset();
}
