// Animate: a model tied to real time. Owns one loaded TModel (and, for a creature, simpler ones
// for where it is small on screen) and one TPerfTimer; each Draw draws the model in its current
// pose and then advances its animation by the real time since the previous Draw at a fixed frame
// rate. Depends on Model, Timer, Scene (the model's upright turn), Platform (the message of a
// model whose bones do not link) and GL.
#pragma once

#include <memory>
#include <string>

#include "Model.h"
#include "Timer.h"

class TAnimate {
public:
  // Loads FileName (a Linux path) through Load with the GL context current. When a bone's parent
  // cannot be found, shows "Couldn't load the model" and keeps the partly set-up model. Errors of
  // the model file (EModelError) pass to the caller after what was built is freed.
  TAnimate(const std::string& FileName, double FrameRate, bool Caustics,
           const TModelLoader& Load = LoadModelFile);
  TAnimate(const TAnimate&) = delete;
  TAnimate& operator=(const TAnimate&) = delete;

  // Which of the creature's models a Draw uses: the full one, or a simpler one for where the
  // creature is small on screen.
  enum class TDetail { Full, Middle, Far };

  // Draws the model turned a quarter turn about x, inside its own push/pop of the current
  // matrix, then advances it by (time since the previous Draw) x FrameRate frames. With Detail
  // Middle or Far and a model set for it, draws that one instead, posed at the model's current
  // frame. BackFaces goes to the drawn model's Draw. Returns how many triangles it sent.
  std::size_t Draw(TDetail Detail = TDetail::Full,
                   TModel::TBackFaces BackFaces = TModel::TBackFaces::Draw);
  // Advances exactly as Draw would, without drawing (for a creature out of view).
  void Pass();

  // A simpler model of the same creature (the same skeleton and frames) for Detail, Middle or
  // Far. Takes it when it fits the model; false (and none for Detail) otherwise.
  bool SetSimplerModel(TDetail Detail, std::unique_ptr<TModel> Simpler);

  // Draws with the plain immediate-mode path instead of the vertex-array one (the same pixels).
  void SetReferencePath(bool Reference);
  // See TModel::SetLitTextures.
  void SetLitTextures(bool Lit) { FModel->SetLitTextures(Lit); }

  const TModel& Model() const { return *FModel; }
  float DeltaTime() const { return FDeltaTime; }  // seconds between the last two Draws

private:
  double FFrameRate = 0;
  std::unique_ptr<TModel> FModel;
  std::unique_ptr<TModel> FMiddle, FFar;
  std::unique_ptr<TPerfTimer> FTimer;
  float FLastTime = 0;
  float FDeltaTime = 0;

  TModel* Simpler(TDetail Detail) const {
    return Detail == TDetail::Far ? FFar.get() : Detail == TDetail::Middle ? FMiddle.get() : nullptr;
  }
};
