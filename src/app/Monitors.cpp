#include "Monitors.h"

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

struct TMonitors::TConnection {
  Display* D = nullptr;
  ~TConnection() {
    if (D) XCloseDisplay(D);
  }
};

TMonitors::TMonitors(bool FromX11) {
  if (!FromX11) return;
  auto Opened = std::make_unique<TConnection>();
  int Event = 0, Error = 0;
  Opened->D = XOpenDisplay(nullptr);
  if (Opened->D && XRRQueryExtension(Opened->D, &Event, &Error)) FConnection = std::move(Opened);
}

TMonitors::~TMonitors() = default;

std::vector<TMonitor> TMonitors::Now() const {
  std::vector<TMonitor> Monitors;
  if (FConnection) {
    int Count = 0;
    Display* D = FConnection->D;
    XRRMonitorInfo* Infos = XRRGetMonitors(D, DefaultRootWindow(D), True, &Count);
    for (int I = 0; I < Count; ++I)
      Monitors.push_back({Infos[I].x, Infos[I].y, Infos[I].width, Infos[I].height});
    // The primary monitor first: the one that paces the frames.
    for (int I = 0; I < Count; ++I)
      if (Infos[I].primary)
        std::rotate(Monitors.begin(), Monitors.begin() + I, Monitors.begin() + I + 1);
    if (Infos) XRRFreeMonitors(Infos);
    return Monitors;
  }
  for (int I = 0; I < SDL_GetNumVideoDisplays(); ++I) {
    SDL_Rect Bounds{};
    if (SDL_GetDisplayBounds(I, &Bounds) == 0)
      Monitors.push_back({Bounds.x, Bounds.y, Bounds.w, Bounds.h});
  }
  return Monitors;
}
