#include "Monitors.h"

#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cstddef>

std::vector<int> CoveringViews(const std::vector<TMonitor>& Found,
                               const std::vector<TViewPlace>& Views, bool SizesTrue) {
  const auto On = [&](const TViewPlace& View, const TMonitor& M) {
    if (View.Arriving) return View.Target == M;
    return View.Shown && View.Now.X == M.X && View.Now.Y == M.Y &&
           (!SizesTrue || (View.Now.Width == M.Width && View.Now.Height == M.Height));
  };
  std::vector<int> Owner(Found.size(), -1);
  std::vector<bool> Taken(Views.size(), false);
  const auto Claim = [&](bool OwnTargetOnly) {
    for (std::size_t M = 0; M < Found.size(); ++M)
      for (std::size_t V = 0; V < Views.size() && Owner[M] < 0; ++V)
        if (!Taken[V] && On(Views[V], Found[M]) &&
            (!OwnTargetOnly || Views[V].Target == Found[M])) {
          Owner[M] = int(V);
          Taken[V] = true;
        }
  };
  Claim(true);
  Claim(false);
  return Owner;
}

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

TViewPlace TMonitors::PlaceOf(SDL_Window* Of) {
  TViewPlace Place;
  SDL_GetWindowPosition(Of, &Place.Now.X, &Place.Now.Y);
  SDL_GetWindowSize(Of, &Place.Now.Width, &Place.Now.Height);
  Place.Shown = (SDL_GetWindowFlags(Of) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED)) == 0;
  return Place;
}
