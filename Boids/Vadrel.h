// Vadrel: the application shell. Program entry, the full-screen window with its GL context, the
// event loop with the key table and the exit rules, the scene set-up and the drawing of a frame.
// Depends on SDL2, GL/GLU and Platform.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Animate.h"
#include "Flock.h"

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

  std::uint32_t BackdropTexture = 0;  // 0 when the backdrop image could not be loaded
  std::unique_ptr<TFlock> Flock;
  std::int32_t BoidCount = 0;         // "Num" of the configuration file
  std::unique_ptr<TAnimate> Terrain;

  std::optional<std::uint64_t> FlockSeed;  // a fixed seed instead of the clock (headless mode)
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

// Fixed GL state, backdrop, flock and terrain; needs the context current. Errors of the model
// files pass to the caller.
void InitScene();
// One frame into the back buffer: clear, one flock step, the flock, the backdrop, the terrain.
void DrawScene();
// Frees the flock and the terrain; they make no GL calls, so this may follow KillGLWindow.
void FreeScene();

// ---- Headless mode -----------------------------------------------------------------------------

struct TScreenshotOptions {
  std::string File;       // PNG to write
  int Frames = 100;       // frames to render; the last one is written
  int Width = 1280, Height = 800;
  std::optional<std::uint64_t> Seed;
};

// Reads the command line (without the program name). Empty arguments: the screen saver, Options
// left empty. Returns false with Error set when the arguments are not understood.
bool ParseCommandLine(const std::vector<std::string>& Arguments,
                      std::optional<TScreenshotOptions>& Options, std::string& Error);
extern const char* const UsageText;

// Renders Options.Frames frames of the scene into an offscreen surface (SDL's offscreen driver)
// and writes the last one to Options.File. Returns the exit code: 0, or 1 after a one-line
// reason on stderr.
int RunScreenshot(const TScreenshotOptions& Options);

// Writes Width x Height RGBA pixels, bottom row first (as GL reads them), as an RGB PNG.
bool WritePng(const std::string& File, int Width, int Height, const std::vector<std::uint8_t>& Rgba,
              std::string& Error);
