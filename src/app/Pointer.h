// Pointer: the screen saver's mouse rule. It ends once the pointer has moved more than
// ExitDistance pixels on both axes at once from where the program first knew it to be. Where a
// query gives the pointer's place on the whole screen (X11), the first reading is the start;
// where none does (Wayland, whose windows learn of the pointer only by its events), each window's
// first pointer event is that window's start, so the pointer's entry into a window, a window
// mapped under a resting pointer, or a pointer seen first in another monitor's window is never a
// move. Plain logic over positions the shell reads; no SDL.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

struct TPoint {
  std::int32_t X = 0, Y = 0;
};

class TPointerRule {
public:
  static constexpr int ExitDistance = 30;  // pixels the pointer must leave on both axes at once

  // A screen-wide reading of the pointer. True when it is far enough from the first.
  bool Read(TPoint Position);
  // A pointer event inside the window Window, at Position in its own coordinates. True when it is
  // far enough from that window's first.
  bool Event(std::uint32_t Window, TPoint Position);

  // The first screen-wide reading, once there is one.
  std::optional<TPoint> Start() const { return FStart; }

private:
  std::optional<TPoint> FStart;
  std::map<std::uint32_t, TPoint> FWindowStarts;

  static bool Far(TPoint From, TPoint To);
};
