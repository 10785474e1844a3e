// SceneAssets: what the views of the ocean in one GL share group draw with, loaded once for all of
// them: the backdrop's texture and each model file (its meshes, skeleton, textures, caustic
// frames, lit textures and the fixed parts of its vertex arrays), of which every view draws
// copies of its own (TModel::Instance) with its own poses and clocks. Whoever owns the views owns
// it, and it outlives their scenes. Depends on Model, Textures, Settings and GL.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "Model.h"
#include "Settings.h"
#include "Textures.h"

class TSceneAssets {
public:
  // Mipmaps: what every texture of the group uploads (MipmapsFor the run's settings).
  explicit TSceneAssets(TMipmaps Mipmaps) : FMipmaps(Mipmaps) {}
  TSceneAssets(const TSceneAssets&) = delete;
  TSceneAssets& operator=(const TSceneAssets&) = delete;

  struct TBackdrop {
    std::uint32_t Texture = 0;  // 0 when the picture could not be loaded
    bool HasAlpha = true;       // until the picture is loaded and found to have none
  };
  // The picture FileName (mapped, as LoadTexture takes it) as a texture, loaded on the first call
  // with a context of the group current (a failure is reported then, once). Later calls give the
  // same whatever they name: a scene has one backdrop.
  const TBackdrop& Backdrop(const std::string& FileName);

  // Copies of each model file, loaded on its first request (with a context of the group current)
  // and copied for every request: a TModelLoader, valid while this object lives. Errors of the
  // model file pass to the caller and leave nothing behind, so a later request tries again.
  TModelLoader Loader();

  // Forgets every GL object and model without a GL call: their share group has ended (its last
  // context is gone) or the caller is about to start another. The next requests load anew in the
  // group current then. Copies handed out before keep their shared data, not their GL names.
  void Reset();

  // Files loaded since construction (the backdrop and each model, not the textures the models
  // name): each is loaded once per group, however many views take it.
  int Loads() const { return FLoads; }

private:
  TMipmaps FMipmaps;
  bool FBackdropLoaded = false;
  TBackdrop FBackdrop;
  struct TLoaded {
    std::unique_ptr<const TModel> Model;
    bool Linked = false;
  };
  std::map<std::pair<std::string, bool>, TLoaded> FModels;  // by file name and caustics
  int FLoads = 0;

  TLoadedModel Copy(const std::string& FileName, bool Caustics);
};

// The uploads a run asks for: whole mipmap chains on the plain reference paths.
inline TMipmaps MipmapsFor(const TSettings& Settings) {
  return Settings.ReferencePaths ? TMipmaps::FullChain : TMipmaps::BaseLevel;
}
