#include "Animate.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

namespace {

// One triangle in the model's x-z plane, on no bone.
const std::string Flat =
    "Frames: 30\nFrame: 1\nMeshes: 1\n\"F\" 0 -1\n3\n"
    "0 10 0 -20 0 0 -1\n0 50 0 -20 0 0 -1\n0 30 0 -50 0 0 -1\n1\n0 1 0\n1\n0 0 1 2 0 0 0 1\n";

}  // namespace

TEST(Animate, DrawAdvancesByElapsedTimeTimesFrameRate) {
  TGLTestContext Context;
  REQUIRE_GL(Context);
  TTempDir Dir;
  TFakeMillisecondClock Clock{5000};
  TAnimate Animate(Dir.Write("flat.txt", Flat), 24.0, false);
  EXPECT_EQ(Animate.Model().CurrentFrame(), 1.0f);

  struct TStep {
    std::uint32_t Milliseconds;  // since the previous Draw
    float Frame;                 // after the Draw
  } const Steps[] = {
      {100, 3.4f},   // 0.1 s at 24 frames per second
      {0, 3.4f},     // two Draws in immediate succession
      {500, 15.4f},
      {1, 15.424f},
      {700, 1.0f},   // past frame 30: a restart at 1, not the remainder
      {250, 7.0f},
      {60000, 1.0f},  // a long stall restarts too
  };
  for (const TStep& Step : Steps) {
    Clock.Now += Step.Milliseconds;
    Animate.Draw();
    EXPECT_NEAR(Animate.Model().CurrentFrame(), Step.Frame, 1e-4) << Step.Milliseconds;
    EXPECT_NEAR(Animate.DeltaTime(), Step.Milliseconds / 1000.0f, 1e-5);  // single precision
  }
}

TEST(Animate, DrawTurnsTheModelAndRestoresTheMatrix) {
  TGLTestContext Context;
  REQUIRE_GL(Context);
  TTempDir Dir;
  TAnimate Animate(Dir.Write("flat.txt", Flat), 24.0, false);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 64, 0, 64, -100, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(1, 2, 3);
  GLfloat Before[16], After[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, Before);

  std::vector<GLfloat> Buffer(256);
  glFeedbackBuffer(GLsizei(Buffer.size()), GL_3D, Buffer.data());
  glRenderMode(GL_FEEDBACK);
  Animate.Draw();
  ASSERT_EQ(glRenderMode(GL_RENDER), 2 + 3 * 3);
  // A quarter turn about x carries (x, y, z) to (x, -z, y); then the translation (1, 2, 3).
  const float Expected[3][2] = {{11, 22}, {51, 22}, {31, 52}};
  for (int V = 0; V < 3; ++V) {
    EXPECT_NEAR(Buffer[std::size_t(2 + 3 * V)], Expected[V][0], 1e-3) << V;
    EXPECT_NEAR(Buffer[std::size_t(3 + 3 * V)], Expected[V][1], 1e-3) << V;
  }
  glGetFloatv(GL_MODELVIEW_MATRIX, After);
  for (int I = 0; I < 16; ++I) EXPECT_EQ(Before[I], After[I]) << I;
}

TEST(Animate, UnlinkedParentIsShownOnceAndTheModelKept) {
  TGLTestContext Context;
  REQUIRE_GL(Context);
  TTempDir Dir;
  TMessageCapture Messages;
  const std::string Text = Flat + "Bones: 1\n\"Fin\"\n\"Body\"\n0 0 0 0 0 0 0\n1\n1 0 0 0\n1\n1 0 0 0\n";
  TAnimate Animate(Dir.Write("orphan.txt", Text), 24.0, false);
  ASSERT_EQ(Messages.Messages.size(), 1u);
  EXPECT_EQ(Messages.Messages[0].Text, "Couldn't load the model");
  EXPECT_EQ(Animate.Model().BoneCount(), 1);
  EXPECT_EQ(Animate.Model().MeshCount(), 1);
  Animate.Draw();  // drawn and advanced like any other
  Animate.Draw();
  EXPECT_GT(Animate.Model().CurrentFrame(), 0.0f);
  EXPECT_EQ(Messages.Messages.size(), 1u);
}

TEST(Animate, FileErrorsPassToTheCaller) {
  TTempDir Dir;
  const std::string Missing = (Dir.Path() / "Vadrel.pp1").string();
  try {
    TAnimate Animate(Missing, 24.0, false);
    ADD_FAILURE() << "no error for a missing model file";
  } catch (const EModelError& Error) {
    EXPECT_EQ(Error.File(), Missing);
  }
  const std::string Broken = Dir.Write("broken.txt", "Meshes: x\n");
  EXPECT_THROW(TAnimate(Broken, 24.0, false), EModelError);
}
