#include "Overlay.h"

#include "ExtOpenGL.h"
#include "TestSupport.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>

namespace {

TEST(FrameRateMeter, ReportsTheRateOverEachSecondOnceOneHasPassed) {
  TFrameRateMeter Meter;
  EXPECT_EQ(Meter.Text(), "");
  for (const double Now : {10.0, 10.25, 10.5, 10.75}) Meter.Frame(Now);
  EXPECT_EQ(Meter.Text(), "") << "less than a second seen";
  Meter.Frame(11.0);
  EXPECT_EQ(Meter.Text(), "FPS: 4.0");
  for (const double Now : {11.5, 12.25}) Meter.Frame(Now);  // two frames over 1.25 s
  EXPECT_EQ(Meter.Text(), "FPS: 1.6");
}

// The overlay draws over the frame in the lower left corner and leaves the GL state as the
// frame left it: the next frame's texture-unit choreography depends on it.
TEST(Overlay, DrawsTheTextInTheCornerAndLeavesTheStateAsItFoundIt) {
  TGLTestContext GL(160, 100);
  REQUIRE_GL(GL);
  ExtOpenGL::LoadEntryPoints();
  ASSERT_TRUE(ExtOpenGL::HasMultitexture());
  // The state a frame ends in: unit 0 texturing on, unit 1 active and off, fog and depth on.
  glViewport(0, 0, 160, 100);
  glEnable(GL_FOG);
  glEnable(GL_DEPTH_TEST);
  ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
  glEnable(GL_TEXTURE_2D);
  ExtOpenGL::ActiveTexture(GL_TEXTURE1_ARB);
  glDisable(GL_TEXTURE_2D);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(1.0f, 2.0f, 3.0f);
  glColor3f(0.25f, 0.5f, 0.75f);
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  const auto State = [] {
    std::array<float, 40> S{};
    GLint Active = 0, Mode = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &Active);
    glGetIntegerv(GL_MATRIX_MODE, &Mode);
    S[0] = float(Active);
    S[1] = float(Mode);
    S[2] = glIsEnabled(GL_FOG);
    S[3] = glIsEnabled(GL_DEPTH_TEST);
    ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
    S[4] = glIsEnabled(GL_TEXTURE_2D);
    ExtOpenGL::ActiveTexture(GL_TEXTURE1_ARB);
    S[5] = glIsEnabled(GL_TEXTURE_2D);
    ExtOpenGL::ActiveTexture(GLenum(Active));
    glGetFloatv(GL_CURRENT_COLOR, &S[6]);
    glGetFloatv(GL_MODELVIEW_MATRIX, &S[10]);
    glGetFloatv(GL_PROJECTION_MATRIX, &S[24]);  // the first 14 elements suffice
    return S;
  };
  const auto Before = State();
  DrawOverlayText("FPS: 12.5", 160, 100);
  EXPECT_EQ(State(), Before);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

  const std::vector<std::uint8_t> Pixels = GL.ReadPixels();
  const auto Pixel = [&](int X, int Y) {  // Y = 0 is the bottom row
    const std::size_t I = (std::size_t(Y) * 160 + X) * 4;
    return std::array<int, 3>{Pixels[I], Pixels[I + 1], Pixels[I + 2]};
  };
  int Light = 0, Dark = 0, Blue = 0;
  for (int Y = 0; Y < 20; ++Y)
    for (int X = 0; X < 70; ++X) {
      const auto P = Pixel(X, Y);
      Light += P[0] > 200 && P[1] > 200;
      Dark += P[0] < 30 && P[1] < 30 && P[2] < 30;
    }
  for (int Y = 30; Y < 100; ++Y)
    for (int X = 0; X < 160; ++X) Blue += Pixel(X, Y) == std::array<int, 3>{0, 0, 255};
  EXPECT_GT(Light, 60) << "the glyphs";
  EXPECT_GT(Dark, 200) << "the box behind them";
  EXPECT_EQ(Blue, 70 * 160) << "nothing drawn outside the corner";
}

}  // namespace
