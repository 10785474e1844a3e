#include "Flock.h"
#include "Scene.h"
#include "TestSupport.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// One triangle with its nose at -z (the creature's convention), no bones, no material.
const char* const NoseModel =
    "Frames: 30\nFrame: 1\nMeshes: 1\n\"nose\" 0 -1\n3\n"
    "0 0 0 0 0 0 -1\n0 0 0 -100 0 0 -1\n0 10 0 0 0 0 -1\n"
    "1\n0 1 0\n1\n0 0 1 2 0 0 0 1\nMaterials: 0\nBones: 0\n";

class FlockTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!GL.Ok()) GTEST_SKIP() << "no GL context: " << GL.Error();
    Dir.Write("nose.pp1", NoseModel);
    Renew();
  }
  // A fresh flock of 1000 x 1000, seed 7, and no boids.
  void Renew() {
    Flock = std::make_unique<TFlock>(1, 1000.0, 1000.0, (Dir.Path() / "nose.pp1").string(), false,
                                     std::uint64_t(7));
  }
  TBoid& AddOne() {
    Flock->AddBoid(0, Scene::CreatureTraits);
    return *Flock->Boids().back();
  }

  TGLTestContext GL{100, 100};
  TTempDir Dir;
  std::unique_ptr<TFlock> Flock;
};

TEST_F(FlockTest, WrapMakesOneCorrectionPerBound) {
  TBoid& B = AddOne();
  const struct {
    double In, Out;
  } Cases[] = {{1000.3, 1000.3 - 1000.0}, {-0.2, -0.2 + 1000.0}, {1000.0, 1000.0},
               {0.0, 0.0}, {500.0, 500.0}, {2500.0, 1500.0}};
  for (const auto& C : Cases) {
    B.SetX(C.In);
    B.SetY(C.In);
    Flock->Wrap(B);
    EXPECT_DOUBLE_EQ(B.X(), C.Out) << "x = " << C.In;
    EXPECT_DOUBLE_EQ(B.Y(), C.Out) << "y = " << C.In;
  }
}

TEST_F(FlockTest, AddBoidDrawsTheStartStateInsideTheWorld) {
  for (int I = 0; I < 41; ++I) AddOne();
  ASSERT_EQ(Flock->Boids().size(), 41u);
  for (const auto& B : Flock->Boids()) {
    EXPECT_GE(B->X(), 0.0);
    EXPECT_LT(B->X(), 1000.0);
    EXPECT_GE(B->Y(), 0.0);
    EXPECT_LT(B->Y(), 1000.0);
    EXPECT_GE(B->Heading(), 0.0);
    EXPECT_LT(B->Heading(), TwoPi);
    // The traits given, the start speed 0 lifted to their minimum.
    EXPECT_EQ(B->Speed(), Scene::CreatureTraits.MinSpeed);
    EXPECT_EQ(B->MaxSpeed(), Scene::CreatureTraits.MaxSpeed);
    EXPECT_EQ(B->ViewRadius(), Scene::CreatureTraits.ViewRadius);
  }
}

TEST_F(FlockTest, UpdateMovesAndWrapsEveryBoid) {
  TBoid& B = AddOne();
  B.SetX(999.9);
  B.SetY(10.0);
  B.SetHeading(0.0);
  Flock->Update();  // alone: wanders, slowing to MinSpeed 0.5 and turning one step
  EXPECT_NEAR(B.X(), 999.9 + 0.5 * std::cos(B.Heading()) - 1000.0, 1e-9);
  EXPECT_GT(B.X(), 0.0);
}

TEST_F(FlockTest, SameSeedGivesTheSameFlock) {
  const auto Run = [this] {
    Renew();
    for (int I = 0; I < 41; ++I) AddOne();
    for (int Step = 0; Step < 300; ++Step) Flock->Update();
    std::vector<double> State;
    for (const auto& B : Flock->Boids()) State.insert(State.end(), {B->X(), B->Y(), B->Heading()});
    return State;
  };
  const std::vector<double> First = Run();
  EXPECT_EQ(First, Run());
  for (const double V : First) EXPECT_TRUE(std::isfinite(V));
}

// The world grows or shrinks about its middle: a boid keeps its place in the flock's plane (its x
// plus the world's left edge), wrapping into a narrower world when it falls outside.
TEST_F(FlockTest, FitWidthMovesTheWorldsSidesAndKeepsEveryBoidInPlace) {
  const struct {
    double Width, X, NewX, Left;
  } Cases[] = {
      {2000, 100, 600, -500},    // twice as wide: half the gain on either side
      {1000, 100, 100, 0},       // the same width: nothing moves
      {1000 * 8.0 / 3, 999.5, 999.5 + 2500.0 / 3, -2500.0 / 3},
      {500, 100, 350, 250},      // narrower: the boid left of the new world wraps into it
      {500, 900, 650 - 500, 250},
      {300, 990, 640 - 600, 350},  // more than a world's width beyond it: wrapped whole
      {600, 500, 300, 200},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE("width " + std::to_string(C.Width) + ", x " + std::to_string(C.X));
    Renew();
    TBoid& B = AddOne();
    B.SetX(C.X);
    B.SetY(250);
    Flock->FitWidth(C.Width);
    EXPECT_DOUBLE_EQ(Flock->Width(), C.Width);
    EXPECT_DOUBLE_EQ(Flock->Height(), 1000.0);
    EXPECT_DOUBLE_EQ(Flock->Left(), C.Left);
    EXPECT_NEAR(B.X(), C.NewX, 1e-9);
    EXPECT_EQ(B.Y(), 250.0);
  }
  // Boids added after the world has widened start anywhere in it.
  Flock->FitWidth(3000);
  double Widest = 0;
  for (int I = 0; I < 41; ++I) Widest = std::max(Widest, AddOne().X());
  EXPECT_GT(Widest, 2000.0);
  EXPECT_LT(Widest, 3000.0);
}

// Where the drawn nose vertex and the drawn colour land, through GL's own transformation.
struct TDrawn {
  float NoseX, NoseY, Grey;
};

TDrawn DrawAndCapture(TFlock& Flock) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 10, 0, 10, -100, 100);  // the 10 x 10 flock plane onto the 100 x 100 viewport
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  std::vector<GLfloat> Buffer(4096);
  glFeedbackBuffer(GLsizei(Buffer.size()), GL_3D_COLOR, Buffer.data());
  glRenderMode(GL_FEEDBACK);
  Flock.Draw();
  const GLint Count = glRenderMode(GL_RENDER);
  // GL_POLYGON_TOKEN, 3, then per vertex x, y, z, r, g, b, a; the nose is the second vertex.
  EXPECT_GE(Count, 2 + 3 * 7);
  EXPECT_EQ(Buffer[0], GLfloat(GL_POLYGON_TOKEN));
  return {Buffer[2 + 7], Buffer[2 + 7 + 1], Buffer[2 + 7 + 3]};
}

TEST_F(FlockTest, DrawTurnsTheNoseAlongTheHeadingAndShadesByDepth) {
  TBoid& B = AddOne();
  const struct {
    double X, Y, Heading;
    float NoseX, NoseY, Grey;
  } Cases[] = {
      {500, 500, 0.0, 55, 50, 0.5f},         // heading +x: turned by -90 degrees
      {500, 500, Pi / 2, 50, 55, 0.5f},      // heading +y: turned by -360, as if not at all
      {500, 0, Pi, 45, 0, 1.0f},             // at y = 0: white
      {200, 300, 3 * Pi / 2, 20, 25, 0.7f},  // heading -y
  };
  for (const auto& C : Cases) {
    B.SetX(C.X);
    B.SetY(C.Y);
    B.SetHeading(C.Heading);
    const TDrawn D = DrawAndCapture(*Flock);
    EXPECT_NEAR(D.NoseX, C.NoseX, 0.01f) << "heading " << C.Heading;
    EXPECT_NEAR(D.NoseY, C.NoseY, 0.01f) << "heading " << C.Heading;
    EXPECT_NEAR(D.Grey, C.Grey, 1e-3f) << "y " << C.Y;
  }
  GLint Depth = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &Depth);
  EXPECT_EQ(Depth, 1);  // balanced
}

// A widened world is drawn about the same middle: a boid is drawn where it was before the world
// grew, its x in the new world moved by the left edge.
TEST_F(FlockTest, DrawPlacesTheBoidsOfAWidenedWorldByItsLeftEdge) {
  TBoid& B = AddOne();
  B.SetX(500);
  B.SetY(500);
  B.SetHeading(0.0);
  const TDrawn Before = DrawAndCapture(*Flock);
  Flock->FitWidth(2200);
  EXPECT_DOUBLE_EQ(B.X(), 1100.0);
  const TDrawn After = DrawAndCapture(*Flock);
  EXPECT_NEAR(After.NoseX, Before.NoseX, 1e-3f);
  EXPECT_NEAR(After.NoseY, Before.NoseY, 1e-3f);
  EXPECT_NEAR(Before.NoseX, 55, 0.01f);
}

TEST(BearingDegrees, CompassPointsFromFiveFive) {
  const struct {
    float X, Y, Degrees;
  } Cases[] = {{6, 6, 45},  {6, 4, 135}, {4, 4, 225}, {4, 6, 315},
               {6, 5, 90},  {4, 5, 270}, {5, 4, 180}, {5, 6, 360}};
  for (const auto& C : Cases)
    EXPECT_NEAR(TFlock::BearingDegrees(5, 5, C.X, C.Y), C.Degrees, 1e-4f)
        << "to (" << C.X << ", " << C.Y << ")";
  EXPECT_TRUE(std::isfinite(TFlock::BearingDegrees(5, 5, 5, 5)));
}

}  // namespace
