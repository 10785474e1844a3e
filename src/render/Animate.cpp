#include "Animate.h"

#include "Platform.h"
#include "Scene.h"

#include <GL/gl.h>

#include <cassert>

TAnimate::TAnimate(const std::string& FileName, double FrameRate, bool Caustics,
                   const TModelLoader& Load)
    : FFrameRate(FrameRate) {
  TLoadedModel Loaded = Load(FileName, Caustics);
  FModel = std::move(Loaded.Model);
  if (!Loaded.Linked) ShowMessage("Couldn't load the model", "Vadrel");
  // Started only now, so that the time spent loading is not animated away on the first Draw.
  FTimer = std::make_unique<TPerfTimer>();
}

std::size_t TAnimate::Draw(TDetail Detail, TModel::TBackFaces BackFaces) {
  glPushMatrix();
  glRotatef(Scene::ModelUprightDegrees, 1.0f, 0.0f, 0.0f);
  TModel* Drawn = Simpler(Detail);
  if (Drawn && Drawn->CurrentFrame() != FModel->CurrentFrame()) Drawn->PoseAt(FModel->CurrentFrame());
  if (!Drawn) Drawn = FModel.get();
  Drawn->Draw(BackFaces);
  glPopMatrix();
  Pass();
  return Drawn->TriangleCount();
}

void TAnimate::Pass() {
  const float Now = FTimer->Elapsed();
  FDeltaTime = Now - FLastTime;
  FLastTime += FDeltaTime;
  FModel->Advance(float(static_cast<long double>(FDeltaTime) * FFrameRate));
}

void TAnimate::SetReferencePath(bool Reference) {
  FModel->SetReferencePath(Reference);
  if (FMiddle) FMiddle->SetReferencePath(Reference);
  if (FFar) FFar->SetReferencePath(Reference);
}

bool TAnimate::SetSimplerModel(TDetail Detail, std::unique_ptr<TModel> Model) {
  assert(Detail != TDetail::Full && "SetSimplerModel: the full model is the one loaded first");
  std::unique_ptr<TModel>& Slot = Detail == TDetail::Far ? FFar : FMiddle;
  Slot.reset();
  if (!Model || Model->BoneCount() != FModel->BoneCount() ||
      Model->TotalFrames() != FModel->TotalFrames())
    return false;
  Slot = std::move(Model);
  return true;
}
