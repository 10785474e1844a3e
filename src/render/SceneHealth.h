// SceneHealth: the debug builds' look at a running scene: GL errors, and an animation clock or a
// caustic cycle that has stopped. Release builds compile it to nothing. Depends on OceanScene and GL.
#pragma once

#include "OceanScene.h"

#ifndef NDEBUG
// Every HealthCheckFrames frames, one diagnostic line for a GL error and one when the terrain's
// caustic frame (or, on an animated terrain, its clock) has not moved since the last look.
class TSceneHealth {
public:
  void AfterFrame(const TOceanScene& Scene, int Frame);

private:
  int FFrames = 0;
  bool FLooked = false;
  float FLastClock = 0;
  int FLastCaustic = 0;
};
#else
class TSceneHealth {
public:
  void AfterFrame(const TOceanScene&, int) {}
};
#endif
