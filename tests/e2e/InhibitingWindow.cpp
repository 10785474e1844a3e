// A visible window that keeps a Wayland session from going idle, as a video player does: SDL
// holds the compositor's idle inhibitor (zwp_idle_inhibitor_v1) on its surface while the screen
// saver is disabled. For the idle tests; ends on SIGTERM or when its window is closed.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>

int main(int, char**) {
  // SDL asks the session bus's org.freedesktop.ScreenSaver first when it finds one (also without
  // this variable, at $XDG_RUNTIME_DIR/bus), and then holds no Wayland inhibitor; KWin takes that
  // call without holding its idle events back. An address no bus has keeps it to Wayland's.
  setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
  // Disabled once the window exists: SDL disables it at start-up by default, before any surface
  // could carry an inhibitor, and does not look again for windows made later.
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "inhibiting_window: %s\n", SDL_GetError());
    return 1;
  }
  SDL_Window* Window = SDL_CreateWindow("inhibiting_window", SDL_WINDOWPOS_UNDEFINED,
                                        SDL_WINDOWPOS_UNDEFINED, 320, 240, 0);
  if (!Window) {
    std::fprintf(stderr, "inhibiting_window: %s\n", SDL_GetError());
    SDL_Quit();
    return 1;
  }
  SDL_DisableScreenSaver();
  // A compositor honours the inhibitor of a surface it shows: the window is drawn (mapped) and
  // kept drawn.
  for (bool Quit = false; !Quit;) {
    for (SDL_Event Event; SDL_PollEvent(&Event);) Quit |= Event.type == SDL_QUIT;
    if (SDL_Surface* Surface = SDL_GetWindowSurface(Window)) {
      SDL_FillRect(Surface, nullptr, SDL_MapRGB(Surface->format, 200, 60, 60));
      SDL_UpdateWindowSurface(Window);
    }
    SDL_Delay(100);
  }
  SDL_DestroyWindow(Window);
  SDL_Quit();
  return 0;
}
