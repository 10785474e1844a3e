// Vadrel: the application shell. Works the run's settings out, owns the window with its context
// and the scene it shows, handles the window's events, keeps the key table and the exit rules, and
// runs the loop. Depends on SDL2, Window, OceanScene, Settings, Options and Platform.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>
#include <memory>

#include "OceanScene.h"
#include "Options.h"
#include "Settings.h"
#include "Window.h"

struct TPoint {
  std::int32_t X = 0, Y = 0;
};

// The settings of a run: the command line, the user's Vadrel.ini and the data folder's, read from
// disk and worked out by WorkOutSettings, each of its diagnostics shown. Also selects the texture
// upload path the run asks for.
TSettings LoadSettings(const TOptions& Options);

// One run of the screen saver (Saver), of a hack drawing into a given window (Hack) or of a
// desktop window (Window). Destroying it shows the pointer again, releases the window and its
// context, and then frees the scene: the one teardown of every way out, an error included.
class TShell {
public:
  TShell(const TOptions& Options, const TSettings& Settings);
  ~TShell();
  TShell(const TShell&) = delete;
  TShell& operator=(const TShell&) = delete;

  // Makes the window and its GL context, sets the projection and the scene up. On failure undoes
  // what it built, says in one diagnostic line which step failed and why, and returns false.
  // Errors of the model files pass to the caller.
  bool CreateGLWindow(int PixelDepth, const TWindowRequest& Request);
  // Releases the context and the window (the scene makes no GL calls when it is freed later).
  void KillGLWindow();
  // Handles one window event (the loop turns a quit event into its end before this is called).
  void WndProc(const SDL_Event& Event);
  // Frames until an exit rule fires, the window closes or SIGINT/SIGTERM arrives. Returns the
  // process exit code.
  int Run();

  // Indexed by Windows virtual-key number: true while the key is down.
  std::array<bool, 256> Keys{};
  const TOceanScene& Scene() const { return FScene; }

private:
  TRunMode Mode;
  int DelayMicroseconds;
  TOceanScene FScene;  // declared before the window: freed after it
  std::unique_ptr<TGLWindow> Window;
  // An Escape press seen since the last frame's exit test, even if released again before it.
  bool EscapePressed = false;
  TPoint StartCursorPos;
  TPoint CursorPos;
  bool CursorHidden = false;

  bool ExitRuleFired();
  bool FollowForeignWindow();
};

// The screen saver, a hack or a desktop window, as Options asks: settings, window, scene, loop
// until an exit rule fires or SIGINT/SIGTERM arrives, teardown. Returns the process exit code: 0
// after a normal end, 1 when the window or its context could not be made (one diagnostic line says
// which step failed and why).
int WinMain(const TOptions& Options);
