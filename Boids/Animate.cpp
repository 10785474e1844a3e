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

void TAnimate::Draw() {
  glPushMatrix();
  glRotatef(Scene::ModelUprightDegrees, 1.0f, 0.0f, 0.0f);
  FModel->Draw();
  glPopMatrix();
  Pass();
}

void TAnimate::Pass() {
  const float Now = FTimer->Elapsed();
  FDeltaTime = Now - FLastTime;
  FLastTime += FDeltaTime;
  FModel->Advance(float(static_cast<long double>(FDeltaTime) * FFrameRate));
}

void TAnimate::SetReferencePath(bool Reference) { FModel->SetReferencePath(Reference); }
