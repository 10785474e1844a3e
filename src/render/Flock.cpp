#include "Flock.h"

#include "Platform.h"
#include "Scene.h"

#include <GL/gl.h>

#include <cassert>
#include <cmath>
#include <cstdlib>

namespace {
constexpr double RadToDeg = 57.29577951308232;
constexpr double Scale = Scene::WorldUnitsPerSceneUnit;

float Degrees(float Radians) { return float(double(Radians) * RadToDeg); }
}  // namespace

TFlock::TFlock(std::int32_t ModelCount, double Height, double Width, const std::string& ModelFile,
               bool Caustics, std::optional<std::uint64_t> Seed, TModelLoader Load)
    : FLoad(std::move(Load)) {
  if (Seed)
    FRandom.Seed(*Seed);
  else
    FRandom.SeedFromClock();
  FModelCount = std::abs(ModelCount);
  assert(FModelCount >= 1 && "TFlock needs at least one model slot: slot 0 holds the creature");
  FHeight = std::abs(Height);
  FWidth = std::abs(Width);
  FModels.resize(std::size_t(FModelCount));
  FModels[0] = std::make_unique<TAnimate>(ModelFile, Scene::AnimationFrameRate, Caustics, FLoad);
}

TFlock::~TFlock() {
  FBoids.clear();
  for (std::size_t Slot = FModels.size(); Slot-- > 0;) FModels[Slot].reset();
}

void TFlock::LoadModel(std::int32_t Slot, const std::string& ModelFile) {
  assert(Slot >= 1 && Slot < FModelCount && "LoadModel: Slot must be a slot after slot 0");
  auto Model = std::make_unique<TAnimate>(ModelFile, Scene::AnimationFrameRate, false, FLoad);
  Model->SetReferencePath(FReferencePaths);
  FModels[std::size_t(Slot)] = std::move(Model);
}

std::unique_ptr<TBoid> NewBoid(std::int32_t ModelIndex, const TBoidTraits& Traits, double Width,
                               double Height, TRandom& Random) {
  auto Color = std::make_unique<TColor>(Traits.Color);
  // The draws come in this order so that a seed gives the same flock every time.
  const double Heading = Random.Real() * 2 * Pi;
  const double Speed = Random.Int(1);
  const double X = Random.Real() * Width;
  const double Y = Random.Real() * Height;
  TBoidGene Gene(std::move(Color), Heading, Speed, X, Y, Traits.MaxSpeed, Traits.MinSpeed,
                 Traits.TurnRate, Traits.Acceleration, Traits.ViewRadius, Traits.SeparationRadius,
                 Traits.PursueRatio, Traits.FleeRatio, ModelIndex);
  auto Boid = std::make_unique<TBoid>(std::move(Gene));
  Boid->SetRandom(Random);
  return Boid;
}

void TFlock::AddBoid(std::int32_t ModelIndex, const TBoidTraits& Traits) {
  assert(ModelIndex >= 0 && std::size_t(ModelIndex) < FModels.size() && FModels[ModelIndex] &&
         "AddBoid: ModelIndex must name a filled model slot");
  FBoids.push_back(NewBoid(ModelIndex, Traits, FWidth, FHeight, FRandom));
}

void TFlock::Update() { StepFlock(FBoids, FWidth, FHeight, FScanPath, FGrid); }

void TFlock::Wrap(TBoid& Boid) const { WrapIntoWorld(Boid, FWidth, FHeight); }

void TFlock::FitWidth(double Width) {
  Width = std::abs(Width);
  if (Width == FWidth) return;
  const double Shift = (Width - FWidth) / 2;
  FLeft -= Shift;
  FWidth = Width;
  for (const std::unique_ptr<TBoid>& Boid : FBoids) {
    const double X = Boid->X() + Shift;
    // A narrower world may leave a boid more than a world's width outside it.
    Boid->SetX(X < 0 || X > Width ? X - Width * std::floor(X / Width) : X);
  }
}

void TFlock::LoadSimplerModel(std::size_t Slot, TAnimate::TDetail Detail,
                              const std::string& FileName) {
  assert(Slot < FModels.size() && FModels[Slot] && "LoadSimplerModel: the slot holds no model");
  try {
    TLoadedModel Simpler = FLoad(FileName, false);
    if (Simpler.Linked && FModels[Slot]->SetSimplerModel(Detail, std::move(Simpler.Model)))
      return;
    ShowDiagnostic(FileName + " does not fit the creature it simplifies; the full creature is "
                   "drawn in its place");
  } catch (const EModelError& Error) {
    ShowDiagnostic(std::string(Error.what()) + "; the full creature is drawn in its place");
  }
}

void TFlock::SetReferencePaths(bool Reference) {
  FReferencePaths = Reference;
  FScanPath = Reference ? TScanPath::Full : TScanPath::Grid;
  for (const auto& Model : FModels)
    if (Model) Model->SetReferencePath(Reference);
}

float TFlock::BearingDegrees(float X1, float Y1, float X2, float Y2) {
  const T2DCoord A(X1, Y1), B(X2, Y2);
  if (B.X > A.X && B.Y > A.Y) return 90.0f - Degrees(std::atan((B.Y - A.Y) / (B.X - A.X)));
  if (B.X > A.X) return 90.0f + Degrees(std::atan((A.Y - B.Y) / (B.X - A.X)));
  if (B.X < A.X && B.Y < A.Y) return 270.0f - Degrees(std::atan((A.Y - B.Y) / (A.X - B.X)));
  if (B.X == A.X) {
    // The limits of the last formula, without dividing by zero: straight up or straight down.
    if (B.Y > A.Y) return 360.0f;
    if (B.Y < A.Y) return 180.0f;
    return 270.0f;  // the same point: no direction; any finite value will do
  }
  return 270.0f + Degrees(std::atan((B.Y - A.Y) / (A.X - B.X)));
}

namespace {

// Where the current view puts a point of the flock's plane, from the GL matrices at the start of
// the flock's drawing. Culling is on only for the symmetric perspective projection the scene uses.
class TView {
public:
  TView() {
    glGetFloatv(GL_MODELVIEW_MATRIX, FModelView);
    float P[16];
    glGetFloatv(GL_PROJECTION_MATRIX, P);
    FPerspective = P[11] == -1.0f && P[8] == 0.0f && P[9] == 0.0f && P[15] == 0.0f &&
                   P[0] > 0.0f && P[5] > 0.0f;
    if (!FPerspective) return;
    // Half the view's width and height at eye depth 1, and the near plane's distance.
    FTanX = 1.0 / P[0];
    FTanY = 1.0 / P[5];
    FNear = double(P[14]) / (double(P[10]) - 1.0);
    GLint Viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, Viewport);
    FPixelsAtDepthOne = double(P[5]) * Viewport[3] / 2.0;
  }

  // How many pixels long a creature at (X, Y) in the flock's plane is drawn (0 when unknown).
  double CreaturePixels(float X, float Y) const {
    if (!FPerspective) return 0;
    const double Depth = DepthOf(X, Y);
    return Depth > 0 ? Scene::CreatureLength * FPixelsAtDepthOne / Depth : 0;
  }

  // True when a sphere of Radius around (X, Y) in the flock's plane lies wholly beyond the near
  // plane, so the eye cannot be inside what it holds.
  bool BeyondNearPlane(float X, float Y, double Radius) const {
    return FPerspective && DepthOf(X, Y) - Radius > FNear;
  }

  // True when a sphere of Radius around (X, Y) in the flock's plane lies wholly outside the
  // view, so drawing it would change no pixel.
  bool Outside(float X, float Y, double Radius) const {
    if (!FPerspective) return false;
    const float* M = FModelView;
    const double EX = M[0] * X + M[4] * Y + M[12];
    const double EY = M[1] * X + M[5] * Y + M[13];
    const double EZ = M[2] * X + M[6] * Y + M[14];
    const double Depth = -EZ;
    if (Depth + Radius < FNear) return true;  // wholly in front of the near plane
    // Each side plane through the eye: outside when farther beyond it than Radius.
    const auto Beyond = [Depth, Radius](double Offset, double Tan) {
      return (std::abs(Offset) - Depth * Tan) / std::sqrt(1.0 + Tan * Tan) > Radius;
    };
    return Beyond(EX, FTanX) || Beyond(EY, FTanY);
  }

private:
  float FModelView[16];

  double DepthOf(float X, float Y) const {
    const float* M = FModelView;
    return -(M[2] * X + M[6] * Y + M[14]);
  }

  bool FPerspective = false;
  double FTanX = 0, FTanY = 0, FNear = 0, FPixelsAtDepthOne = 0;
};

}  // namespace

void TFlock::Draw() {
  const TView View;
  TDrawCounts Counts;
  for (const std::unique_ptr<TBoid>& Boid : FBoids) {
    const double X = Boid->X() + FLeft, Y = Boid->Y(), Heading = Boid->Heading();
    const T2DCoord P(float(X / Scale), float(Y / Scale));
    const std::size_t Slot = std::size_t(Boid->ModelIndex());
    TAnimate* Model = Slot < FModels.size() ? FModels[Slot].get() : nullptr;
    const float Grey = 1.0f - P.Y / Scene::CreatureShadeDepth;
    if (!FReferencePaths && View.Outside(P.X, P.Y, Scene::CreatureReach)) {
      // Out of view: nothing to draw, but its clock runs on exactly as a drawing would run it.
      glColor3f(Grey, Grey, Grey);
      if (Model) Model->Pass();
      continue;
    }
    const T2DCoord Nose(float((X + Scene::NoseLead * std::cos(Heading)) / Scale),
                        float((Y + Scene::NoseLead * std::sin(Heading)) / Scale));
    glPushMatrix();
    glTranslatef(P.X, P.Y, 0.0f);
    glScalef(Scene::CreatureScale, Scene::CreatureScale, Scene::CreatureScale);
    glRotatef(-BearingDegrees(P.X, P.Y, Nose.X, Nose.Y), 0.0f, 0.0f, 1.0f);
    glColor3f(Grey, Grey, Grey);
    const bool Outside = FSkipsBackFaces && !FReferencePaths &&
                         View.BeyondNearPlane(P.X, P.Y, Scene::CreatureReach);
    const double Pixels = View.CreaturePixels(P.X, P.Y);
    if (Model) {
      Counts.Triangles += Model->Draw(DetailFor(Pixels), Outside ? TModel::TBackFaces::SkipOnClosedMeshes
                                                                 : TModel::TBackFaces::Draw);
      ++Counts.Creatures;
      Counts.MeanPixels += Pixels;
    }
    glPopMatrix();
  }
  if (Counts.Creatures > 0) Counts.MeanPixels /= double(Counts.Creatures);
  FDrawCounts = Counts;
}

TAnimate::TDetail TFlock::DetailFor(double Pixels) const {
  if (FReferencePaths || !(Pixels > 0)) return TAnimate::TDetail::Full;
  if (Pixels < FFarDetailPixels) return TAnimate::TDetail::Far;
  if (Pixels < FMiddleDetailPixels) return TAnimate::TDetail::Middle;
  return TAnimate::TDetail::Full;
}
