// Must not build: the simulation layer draws nothing.
#include "Boid.h"

#include <GL/gl.h>
