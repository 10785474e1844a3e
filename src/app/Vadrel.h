// Vadrel: the application shell. Works the run's settings out, owns the views (a window with its
// GL context and the scene drawn in it; in the screen saver one on every monitor) and the assets
// they share, handles their events, keeps the key table and the exit rules, and runs the loop.
// Depends on SDL2, Window, Pointer, Monitors, OceanScene, SceneAssets, SceneHealth, Settings,
// Options and Platform.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "Monitors.h"
#include "OceanScene.h"
#include "Options.h"
#include "Pointer.h"
#include "SceneHealth.h"
#include "Settings.h"
#include "Window.h"

// The settings of a run: the command line, the user's Vadrel.ini and the data folder's, read from
// disk and worked out by WorkOutSettings, each of its diagnostics shown.
TSettings LoadSettings(const TOptions& Options);

// One window with its context and the scene drawn in it: its own school, sized to its window,
// drawn with the shell's assets.
struct TView {
  TView(const TSettings& Settings, TSceneAssets& Assets) : Scene(Settings, Assets) {}
  TOceanScene Scene;  // declared before the window: freed after it
  std::unique_ptr<TGLWindow> Window;
  TSceneHealth Health;
  // The screen saver's: the monitor it covers (or was made for), and when it was made.
  TMonitor Target;
  std::uint32_t MadeAt = 0;  // SDL's milliseconds
};

// One run of the screen saver (Saver), of a hack drawing into a given window (Hack) or of a
// desktop window (Window). Destroying it shows the pointer again, releases every window and its
// context, and then frees the scenes: the one teardown of every way out, an error included.
class TShell {
public:
  TShell(const TOptions& Options, const TSettings& Settings);
  ~TShell();
  TShell(const TShell&) = delete;
  TShell& operator=(const TShell&) = delete;

  // Adds a view: makes the window and its GL context, in the share group of the views there are
  // (anew, with the assets reset, when there is none), sets the projection and the scene up. On
  // failure undoes what it built, says in one diagnostic line which step failed and why, and
  // returns false. Errors of the model files pass to the caller.
  bool CreateGLWindow(int PixelDepth, const TWindowRequest& Request);
  // Releases every window and its context (the scenes make no GL calls when they are freed
  // later).
  void KillGLWindow();
  // Handles one window event (the loop turns a quit event into its end before this is called).
  void WndProc(const SDL_Event& Event);
  // Frames until an exit rule fires, a window closes or SIGINT/SIGTERM arrives; the screen saver
  // covers every monitor, and follows monitors coming and going. Only windows someone can see are
  // drawn; while there is none, it sleeps, its exit rules and monitors still followed. Returns the
  // process exit code.
  int Run();

  // Indexed by Windows virtual-key number: true while the key is down.
  std::array<bool, 256> Keys{};
  const TOceanScene& Scene(std::size_t View = 0) const { return Views.at(View)->Scene; }

private:
  TRunMode Mode;
  int DelayMicroseconds;
  TSettings Settings;
  // What every view draws with: the views' contexts are one share group, as long as every window
  // is made by CreateGLWindow (a window made otherwise may start a group the assets do not
  // know). Outlives the views.
  TSceneAssets Assets;
  std::vector<std::unique_ptr<TView>> Views;
  // An Escape press seen since the last frame's exit test, even if released again before it.
  bool EscapePressed = false;
  // Where the pointer is known screen-wide (X11), the loop reads it after every frame; elsewhere
  // only its events in the windows tell (and PointerMoved records that the rule fired).
  bool ScreenWidePointer = false;
  TPointerRule Pointer;
  bool PointerMoved = false;
  TPoint CursorPos;
  bool CursorHidden = false;
  std::unique_ptr<TMonitors> Monitors;  // the screen saver's
  std::vector<TMonitor> KnownMonitors;
  std::uint32_t LastMonitorLook = 0;  // SDL's milliseconds
  std::uint32_t UncoveredSince = 0;   // a monitor without a view, or a view astray, since; 0: none
  int Remakes = 0;  // rounds of views made and dropped since the layout changed or all were covered
  std::vector<int> LastOwners;  // which view covered each monitor at the last look
  const TView* Pacer = nullptr;  // the view whose display paces the frames; none chosen yet

  bool MakeAnyViewCurrent();
  void CoverEveryMonitor(bool Now);
  bool Settled(bool Uncovered, std::uint32_t Ticks);
  void Recover(const std::vector<TMonitor>& Found, std::vector<int> Owner, std::uint32_t Ticks);
  bool SdlMissesAMonitor(const std::vector<TMonitor>& Found, const std::vector<int>& Owner) const;
  bool ExitRuleFired();
  // One turn of the loop after the events: a frame of every view someone can see, or with none,
  // a sleep until one may be. False when the run is over.
  bool Turn(int& Frame);
  std::vector<TView*> SeenViews();
  void PaceBy(const TView& View);
  void WaitUntilSeen();
  bool FollowWindow(TView& View);
  bool DrawFrame(TView& View, int Frame);
};

// The screen saver, a hack or a desktop window, as Options asks: settings, windows, scenes, loop
// until an exit rule fires or SIGINT/SIGTERM arrives, teardown. Returns the process exit code: 0
// after a normal end, 1 when the window or its context could not be made (one diagnostic line says
// which step failed and why).
int WinMain(const TOptions& Options);
