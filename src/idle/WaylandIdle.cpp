#include "WaylandIdle.h"

std::unique_ptr<TIdleSource> OpenWaylandIdle(int, std::string& Why) {
  Why = "not built yet";
  return nullptr;
}
