#include "SceneAssets.h"

#include "Textures.h"

const TSceneAssets::TBackdrop& TSceneAssets::Backdrop(const std::string& FileName) {
  if (!FBackdropLoaded) {
    FBackdropLoaded = true;
    ++FLoads;
    LoadTexture(FileName, FBackdrop.Texture, FMipmaps);
    FBackdrop.HasAlpha = TextureHasAlpha(FBackdrop.Texture);
  }
  return FBackdrop;
}

TModelLoader TSceneAssets::Loader() {
  return [this](const std::string& FileName, bool Caustics) { return Copy(FileName, Caustics); };
}

TLoadedModel TSceneAssets::Copy(const std::string& FileName, bool Caustics) {
  const auto Key = std::make_pair(FileName, Caustics);
  auto Found = FModels.find(Key);
  if (Found == FModels.end()) {
    auto First = std::make_unique<TModel>(Caustics);
    const bool Linked = First->LoadFromFile(FileName, FMipmaps);  // may throw: nothing is kept
    ++FLoads;
    Found = FModels.emplace(Key, TLoaded{std::move(First), Linked}).first;
  }
  return {Found->second.Model->Instance(), Found->second.Linked};
}

void TSceneAssets::Reset() {
  FBackdropLoaded = false;
  FBackdrop = {};
  FModels.clear();
}
