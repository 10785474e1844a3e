// OceanScene: one view of the ocean: the flock above the terrain before the painted backdrop, in
// fog, with its own school, clocks, frame-rate meter and view size. A shell holds one per view;
// any number may live side by side, each drawn with its own GL context current. Views whose
// contexts share their GL objects share one TSceneAssets: textures and models are loaded once.
// Depends on Settings and Scene (sim), Platform, Flock, Animate, SceneAssets, Textures, Overlay
// and GL.
#pragma once

#include <cstdint>
#include <memory>

#include "Animate.h"
#include "Flock.h"
#include "Overlay.h"
#include "SceneAssets.h"
#include "Settings.h"
#include "Timer.h"

class TOceanScene {
public:
  // A scene alone, with assets of its own.
  explicit TOceanScene(const TSettings& Settings);
  // A scene that draws with Shared, which outlives it; every scene of Shared draws in contexts of
  // one share group.
  TOceanScene(const TSettings& Settings, TSceneAssets& Shared);
  TOceanScene(const TOceanScene&) = delete;
  TOceanScene& operator=(const TOceanScene&) = delete;

  // Fixed GL state, backdrop, flock and terrain, from the assets (which load what they do not hold
  // yet); needs the view's context current. Errors of the model files pass to the caller. The flock is the school of BoidCount + 1 fish in
  // model slot 0; with RivalCount above 0 a second slot holds the predator and that many
  // predators follow the school.
  void InitScene();
  // Viewport and 45-degree projection for a view of Width x Height (a height of 0 counts as 1);
  // the model-view matrix is left current, reset to identity. The flock's world follows the
  // view's shape (Scene::FlockWorldWidthFor), from InitScene on and again on every later call:
  // the school keeps its place on screen while its world grows or shrinks at the sides.
  void ResizeScene(int Width, int Height);
  // One frame into the back buffer: clear, one flock step, the flock, the backdrop, the terrain.
  void DrawScene();
  // The frame-rate overlay when the settings ask for it; after DrawScene, before the swap.
  void DrawFrameRate();
  // Frees the flock and the terrain; they make no GL calls, so this may follow the context's end.
  // The scene may be set up again with InitScene.
  void FreeScene();

  const TSettings& Settings() const { return FSettings; }
  // Set up by InitScene; null before it and after FreeScene.
  const TFlock* Flock() const { return FFlock.get(); }
  TFlock* Flock() { return FFlock.get(); }
  const TAnimate* Terrain() const { return FTerrain.get(); }
  // 0 when the backdrop picture could not be loaded.
  std::uint32_t BackdropTexture() const { return FBackdropTexture; }
  int ViewWidth() const { return FWidth; }
  int ViewHeight() const { return FHeight; }

private:
  TSettings FSettings;
  std::unique_ptr<TSceneAssets> FOwnAssets;  // a scene alone's
  TSceneAssets& FAssets;
  std::uint32_t FBackdropTexture = 0;
  bool FBackdropHasAlpha = true;  // until the picture is loaded and found to have none
  std::unique_ptr<TFlock> FFlock;
  std::unique_ptr<TAnimate> FTerrain;
  int FWidth = 0, FHeight = 0;
  TFrameRateMeter FFrameRate;
  std::unique_ptr<TPerfTimer> FFrameClock;  // the frame-rate meter's clock, from the first frame

  void SetFixedState();
  void MakeFlock();
  void FitFlockToView();
  void DrawBackdrop();
  void DrawTerrain();
};
