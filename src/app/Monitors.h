// Monitors: where the desktop's monitors are now, for covering each with a view. On X11 the
// server's own list of active monitors (RandR), which follows a monitor switched off or on in the
// display settings as well as one plugged in or out; elsewhere SDL's displays, which follow the
// outputs the compositor announces. Depends on SDL2, and on Xlib and Xrandr in the source only.
#pragma once

#include <memory>
#include <vector>

struct TMonitor {
  int X = 0, Y = 0, Width = 0, Height = 0;
  bool operator==(const TMonitor&) const = default;
};

class TMonitors {
public:
  // FromX11: ask the X server named by DISPLAY (on a connection of its own) rather than SDL.
  explicit TMonitors(bool FromX11);
  ~TMonitors();
  TMonitors(const TMonitors&) = delete;
  TMonitors& operator=(const TMonitors&) = delete;

  // The monitors now, the primary one first. Empty when none can be read.
  std::vector<TMonitor> Now() const;

private:
  struct TConnection;
  std::unique_ptr<TConnection> FConnection;  // null: SDL's displays
};
