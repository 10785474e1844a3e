#include "Vadrel.h"
#include "TestSupport.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ResizeScene, HeightZeroGivesAViewportOfHeightOne) {
  TGLTestContext GL(64, 64);
  REQUIRE_GL(GL);
  ResizeScene(640, 0);
  GLint Viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, Viewport);
  EXPECT_EQ(Viewport[2], 640);
  EXPECT_EQ(Viewport[3], 1);
  GLfloat Projection[16] = {};
  glGetFloatv(GL_PROJECTION_MATRIX, Projection);
  // gluPerspective(45, 640 / 1, ...): element 0 = cot(22.5 deg) / aspect, no division by zero.
  EXPECT_TRUE(std::isfinite(Projection[0]));
  EXPECT_NEAR(Projection[0], 2.4142135f / 640.0f, 1e-6f);
}

TEST(ResizeScene, AspectIsComputedInFloatingPoint) {
  TGLTestContext GL(64, 64);
  REQUIRE_GL(GL);
  ResizeScene(1280, 800);  // integer division would give an aspect of 1
  GLfloat Projection[16] = {};
  glGetFloatv(GL_PROJECTION_MATRIX, Projection);
  EXPECT_NEAR(Projection[5], 2.4142135f, 1e-5f);
  EXPECT_NEAR(Projection[0], 2.4142135f / 1.6f, 1e-5f);
  // near 1, far 100
  EXPECT_NEAR(Projection[10], -(100.0f + 1.0f) / (100.0f - 1.0f), 1e-5f);
  EXPECT_NEAR(Projection[14], -2.0f * 100.0f / (100.0f - 1.0f), 1e-5f);
  GLint Mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &Mode);
  EXPECT_EQ(Mode, GL_MODELVIEW);
}

TEST(WndProc, KeyEventsSetAndClearTheKeyTable) {
  TVadrelState& S = App();
  SDL_Event Event{};
  Event.type = SDL_KEYDOWN;
  Event.key.keysym.sym = SDLK_ESCAPE;
  WndProc(Event);
  EXPECT_TRUE(S.Keys[27]);
  Event.type = SDL_KEYUP;
  WndProc(Event);
  EXPECT_FALSE(S.Keys[27]);
  // A key without a virtual-key number touches nothing.
  const auto Before = S.Keys;
  Event.type = SDL_KEYDOWN;
  Event.key.keysym.sym = SDLK_LALT;
  WndProc(Event);
  EXPECT_EQ(S.Keys, Before);
}

}  // namespace
