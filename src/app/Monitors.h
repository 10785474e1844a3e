// Monitors: where the desktop's monitors are now, for covering each with a view, and which view
// covers which. On X11 the server's own list of active monitors (RandR), which follows a monitor
// switched off or on in the display settings as well as one plugged in or out; elsewhere SDL's
// displays, which follow the outputs the compositor announces. Depends on SDL2, and on Xlib and
// Xrandr in the source only.
#pragma once

#include <memory>
#include <vector>

struct SDL_Window;

struct TMonitor {
  int X = 0, Y = 0, Width = 0, Height = 0;
  bool operator==(const TMonitor&) const = default;
};

// A full-screen view's window as the shell sees it at one look.
struct TViewPlace {
  TMonitor Target;        // the monitor it was made for, or last covered
  TMonitor Now;           // where the desktop has the window now
  bool Shown = true;      // neither hidden nor minimized by the desktop
  bool Arriving = false;  // made a moment ago: counts as on its target until it has got there
};

// Which view covers each monitor (by index into the views; -1: none). A view covers a monitor
// when its window is shown at the monitor's place, and at its size too when SizesTrue. A view
// covers one monitor at most and a monitor has one view at most; a view on its own target is
// preferred, so that a window the desktop moved onto another view's monitor gives way to it.
std::vector<int> CoveringViews(const std::vector<TMonitor>& Found,
                               const std::vector<TViewPlace>& Views, bool SizesTrue);

class TMonitors {
public:
  // FromX11: ask the X server named by DISPLAY (on a connection of its own) rather than SDL.
  explicit TMonitors(bool FromX11);
  ~TMonitors();
  TMonitors(const TMonitors&) = delete;
  TMonitors& operator=(const TMonitors&) = delete;

  // The monitors now, the primary one first. Empty when none can be read.
  std::vector<TMonitor> Now() const;
  // Whether a window's size tells whether it covers a monitor. Not where the monitors are SDL's
  // Wayland outputs: SDL keeps the size each output was first announced with, while the
  // compositor gives a full-screen window its output's size as it is now.
  bool SizesTrue() const { return FConnection != nullptr; }
  // Of's place as SDL last heard of it from the desktop: the full-screen window of a Wayland
  // output is at that output's place.
  static TViewPlace PlaceOf(SDL_Window* Of);

private:
  struct TConnection;
  std::unique_ptr<TConnection> FConnection;  // null: SDL's displays
};
