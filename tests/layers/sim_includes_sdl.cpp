// Must not build: the simulation layer knows no windows or events.
#include "Settings.h"

#include <SDL2/SDL.h>
