#include "SceneHealth.h"

#ifndef NDEBUG

#include "ExtOpenGL.h"
#include "Platform.h"

#include <GL/gl.h>

#include <string>

namespace {

// A prime, so that no cycle of the animation or of the 32 caustic frames can line up with it.
constexpr int HealthCheckFrames = 293;

}  // namespace

void TSceneHealth::AfterFrame(const TOceanScene& Scene, int Frame) {
  if (++FFrames % HealthCheckFrames != 0 || !Scene.Terrain()) return;
  for (GLenum Error; (Error = glGetError()) != GL_NO_ERROR;)
    ShowDiagnostic("GL error " + std::to_string(Error) + " by frame " + std::to_string(Frame));
  const TModel& Terrain = Scene.Terrain()->Model();
  const float Clock = Terrain.CurrentFrame();
  const int Caustic = Terrain.MaterialCount() > 0 ? Terrain.Material(0).CausticFrame : -1;
  // A terrain of one frame stands still by design (every step puts it back at frame 1).
  if (FLooked && Clock == FLastClock && Terrain.TotalFrames() > 1.0f)
    ShowDiagnostic("the animation clock stands at " + std::to_string(Clock) + " by frame " +
                   std::to_string(Frame));
  if (FLooked && Caustic == FLastCaustic && ExtOpenGL::HasMultitexture())
    ShowDiagnostic("the caustic frame stands at " + std::to_string(Caustic) + " by frame " +
                   std::to_string(Frame));
  FLooked = true;
  FLastClock = Clock;
  FLastCaustic = Caustic;
}

#endif
