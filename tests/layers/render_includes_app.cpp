// Must not build: a lower layer never reaches up into the application's headers.
#include "Window.h"
