#include "GnomeIdle.h"

std::unique_ptr<TIdleSource> OpenGnomeIdle(int, std::string& Why) {
  Why = "not built yet";
  return nullptr;
}
