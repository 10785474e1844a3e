// Vadrel: the application shell. The window with its GL context (full screen, a desktop window, a
// window handed over by XScreenSaver, or offscreen), the event loop with the key table and the
// exit rules, the scene set-up, the drawing of a frame and the headless render. Depends on SDL2,
// GL/GLU, Platform, Options, Overlay and XWindow.
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
#include "Options.h"
#include "Scene.h"
#include "Overlay.h"
#include "Timer.h"
#include "XWindow.h"

struct TPoint {
  std::int32_t X = 0, Y = 0;
};

struct TWindowDeleter {
  void operator()(SDL_Window* Window) const { SDL_DestroyWindow(Window); }
};
struct TContextDeleter {
  void operator()(void* Context) const { SDL_GL_DeleteContext(Context); }
};

// How the window is made.
enum class TWindowKind : std::uint8_t {
  FullScreen,  // the screen saver's borderless window covering display 0
  Desktop,     // an ordinary resizable window of Width x Height
  Foreign,     // an X window someone else made (hack mode): drawn into, never resized or closed
  Offscreen,   // a hidden Width x Height window on whatever driver SDL has (offscreen without one)
};

struct TWindowRequest {
  TWindowKind Kind = TWindowKind::FullScreen;
  int Width = 0, Height = 0;        // Desktop and Offscreen
  std::uint64_t ForeignWindow = 0;  // Foreign: the X window; 0 is the root window
};

// Everything the program keeps for the whole run, owned by the shell.
struct TVadrelState {
  std::array<bool, 256> Keys{};  // indexed by Windows virtual-key number
  // An Escape press seen since the last frame's exit test, even if released again before it.
  bool EscapePressed = false;
  TPoint StartCursorPos;
  TPoint CursorPos;
  int ScreenWidth = 0;
  int ScreenHeight = 0;

  bool VideoStarted = false;
  std::unique_ptr<TXWindow> ForeignWindow;  // hack mode: the window drawn into
  std::unique_ptr<SDL_Window, TWindowDeleter> WindowHandle;
  std::unique_ptr<void, TContextDeleter> RenderingContext;

  std::uint32_t BackdropTexture = 0;  // 0 when the backdrop image could not be loaded
  std::unique_ptr<TFlock> Flock;
  std::int32_t BoidCount = 0;         // "Num" of the configuration file
  std::int32_t RivalCount = 0;        // predators after the school ("Rivals"), 0 to MaxRivalCount
  std::unique_ptr<TAnimate> Terrain;

  // Settings of this run from the command line.
  std::optional<std::uint64_t> FlockSeed;  // a fixed seed instead of the clock (headless mode)
  std::optional<std::int32_t> CountOverride;  // instead of the configuration's Num
  std::optional<std::int32_t> RivalsOverride;  // instead of the configuration's Rivals
  bool ShowFrameRate = false;
  bool ReferencePaths = false;  // the plain reference paths instead of the fast ones
  // Creatures drawn shorter than this many pixels use the far model (0: never).
  double FarDetailPixels = Scene::FarDetailPixels;
  TFrameRateMeter FrameRate;
  std::unique_ptr<TPerfTimer> FrameClock;  // the frame-rate meter's clock
};

// The shell's one state object.
TVadrelState& App();

// The screen saver (Saver), a hack drawing into a given window (Hack) or a desktop window
// (Window): window, scene, loop until an exit rule fires or SIGINT/SIGTERM arrives, teardown.
// Returns the process exit code: 0 after a normal end, 1 when the window or its context could not
// be made (one diagnostic line says which step failed and why).
int WinMain(const TOptions& Options);

// Makes the window and its GL context, sets the projection and the scene up. On failure undoes
// what it built, says in one diagnostic line which step failed and why, and returns false.
bool CreateGLWindow(int PixelDepth, const TWindowRequest& Request = {});
void KillGLWindow();

// Viewport and 45-degree projection for a window of Width x Height (a height of 0 counts as 1).
void ResizeScene(int Width, int Height);

// Handles one window event (the loop turns a quit event into its end before this is called).
void WndProc(const SDL_Event& Event);

// Fixed GL state, backdrop, flock and terrain; needs the context current. Errors of the model
// files pass to the caller. The flock is the school of Num + 1 fish in model slot 0; with Rivals
// above 0 a second slot holds the predator and that many predators follow the school.
void InitScene();
// One frame into the back buffer: clear, one flock step, the flock, the backdrop, the terrain.
void DrawScene();
// Frees the flock and the terrain; they make no GL calls, so this may follow KillGLWindow.
void FreeScene();

// Draws the frame-rate overlay when the run asks for it; after DrawScene, before the swap.
void DrawFrameRate();

// ---- Headless mode -----------------------------------------------------------------------------

// Renders Options.Frames frames of the scene into an offscreen surface (SDL's offscreen driver);
// a screenshot writes the last one to Options.File, a benchmark prints one line with the frame
// rate, the median and 95th-percentile frame time, the start-up time and the peak memory.
// Returns the exit code: 0, or 1 after a diagnostic line.
int RunHeadless(const TOptions& Options);

// Writes Width x Height RGBA pixels, bottom row first (as GL reads them), as an RGB PNG.
bool WritePng(const std::string& File, int Width, int Height, const std::vector<std::uint8_t>& Rgba,
              std::string& Error);
