// Vadrel: the application shell. Program entry, the full-screen window with its GL context, the
// event loop with the key table and the exit rules, the scene set-up and the drawing of a frame.
// Depends on SDL2, GL/GLU and Platform.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

struct TPoint {
  std::int32_t X = 0, Y = 0;
};

struct TWindowDeleter {
  void operator()(SDL_Window* Window) const { SDL_DestroyWindow(Window); }
};
struct TContextDeleter {
  void operator()(void* Context) const { SDL_GL_DeleteContext(Context); }
};

// How the window is made: the screen saver's borderless window covering display 0, or a hidden
// window of a given size on whatever driver SDL has (the offscreen one without a display).
struct TWindowRequest {
  bool Offscreen = false;
  int Width = 0, Height = 0;  // offscreen only
};

// Everything the program keeps for the whole run, owned by the shell.
struct TVadrelState {
  std::array<bool, 256> Keys{};  // indexed by Windows virtual-key number
  TPoint StartCursorPos;
  TPoint CursorPos;
  int ScreenWidth = 0;
  int ScreenHeight = 0;

  bool VideoStarted = false;
  std::unique_ptr<SDL_Window, TWindowDeleter> WindowHandle;
  std::unique_ptr<void, TContextDeleter> RenderingContext;
};

// The shell's one state object.
TVadrelState& App();

// The screen saver: window, scene, loop until an exit rule fires, teardown. Returns the process
// exit code: 0 after a normal end, 1 when the window or its context could not be made (one line
// on stderr says which step failed and why).
int WinMain();

// Makes the window and its GL context, sets the projection and the scene up. On failure undoes
// what it built, writes one line naming the failed step to stderr and returns false.
bool CreateGLWindow(int PixelDepth, const TWindowRequest& Request = {});
void KillGLWindow();

// Viewport and 45-degree projection for a window of Width x Height (a height of 0 counts as 1).
void ResizeScene(int Width, int Height);

// Handles one window event (the loop turns a quit event into its end before this is called).
void WndProc(const SDL_Event& Event);

void InitScene();
void DrawScene();
