// Visibility: whether anybody can see a window of the program, so that the loop draws only while
// someone can and sleeps on the display's events otherwise. On X11 the server tells (a connection
// of its own selects visibility and structure events on the window drawn into: unmapped or fully
// obscured is unseen; SDL selects neither). On Wayland the compositor's frame callbacks tell (one
// is asked for before each swap, on an event queue of its own: none answered a second after the
// swap that committed it is unseen; compositors hold them back for hidden surfaces, outputs that
// are off and surfaces under a lock screen). Any other driver: always seen. Depends on SDL2's
// window-manager information, and on Xlib and wayland-client in the source only.
#pragma once

#include <SDL.h>

#include <memory>
#include <vector>

class TVisibility {
public:
  // Watches Target (SDL's window, or one SDL was handed) from now on. Never fails: what cannot be watched
  // counts as seen.
  explicit TVisibility(SDL_Window* Target);
  ~TVisibility();  // before the window and its display go
  TVisibility(const TVisibility&) = delete;
  TVisibility& operator=(const TVisibility&) = delete;

  // Around each buffer swap of the window.
  void BeforeSwap();
  void AfterSwap();
  // Whether the window can be seen, after what has arrived so far; never blocks.
  bool Seen();
  // Sleeps until news that may change whether one of Watched is seen arrives, TimeoutMs passes or
  // a signal comes; then Seen() tells.
  static void Wait(const std::vector<TVisibility*>& Watched, int TimeoutMs);

private:
  struct TX11;
  struct TWayland;
  std::unique_ptr<TX11> X11;
  std::unique_ptr<TWayland> Wayland;
};
