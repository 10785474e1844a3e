#include "Animate.h"

#include "Platform.h"
#include "Scene.h"

#include <GL/gl.h>

TAnimate::TAnimate(const std::string& FileName, double FrameRate, bool Caustics)
    : FFrameRate(FrameRate), FModel(std::make_unique<TModel>(Caustics)) {
  if (!FModel->LoadFromFile(FileName)) ShowMessage("Couldn't load the model", "Vadrel");
  // Started only now, so that the time spent loading is not animated away on the first Draw.
  FTimer = std::make_unique<TPerfTimer>();
}

void TAnimate::Draw(bool Far) {
  glPushMatrix();
  glRotatef(Scene::ModelUprightDegrees, 1.0f, 0.0f, 0.0f);
  if (Far && FFar) {
    if (FFar->CurrentFrame() != FModel->CurrentFrame()) FFar->PoseAt(FModel->CurrentFrame());
    FFar->Draw();
  } else {
    FModel->Draw();
  }
  glPopMatrix();
  Pass();
}

void TAnimate::Pass() {
  const float Now = FTimer->Elapsed();
  FDeltaTime = Now - FLastTime;
  FLastTime += FDeltaTime;
  FModel->Advance(float(static_cast<long double>(FDeltaTime) * FFrameRate));
}

void TAnimate::SetReferencePath(bool Reference) {
  FModel->SetReferencePath(Reference);
  if (FFar) FFar->SetReferencePath(Reference);
}

bool TAnimate::SetFarModel(std::unique_ptr<TModel> Far) {
  FFar.reset();
  if (!Far || Far->BoneCount() != FModel->BoneCount() ||
      Far->TotalFrames() != FModel->TotalFrames())
    return false;
  FFar = std::move(Far);
  return true;
}
