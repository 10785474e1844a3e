// Must not build: the rendering layer draws into whatever context is current and owns no window.
#include "OceanScene.h"

#include <SDL.h>
