#include "X11Idle.h"

std::unique_ptr<TIdleSource> OpenX11Idle(int, std::string& Why) {
  Why = "not built yet";
  return nullptr;
}
