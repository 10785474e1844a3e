// The process entry: reads the command line, then runs the screen saver in the mode it asks for
// (or renders the scene headless into a PNG, watches the session for idleness, or prints the help)
// and turns any error that nothing else caught into the error box and exit code 1. Unknown options
// give exit code 2.
#include "Headless.h"
#include "IdleWatcher.h"
#include "LockWatch.h"
#include "Options.h"
#include "Platform.h"
#include "SaverDaemons.h"
#include "Vadrel.h"

#include <SDL.h>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// SDL's last resources go with the process's end, however main is left.
struct TSdlLibrary {
  ~TSdlLibrary() { SDL_Quit(); }
};

// --idle: the watcher, which starts this very program (as it was at start) as its screen saver
// with the settings given. Exit code 1 when it will not or cannot watch this session.
int RunIdleWatcher(const TOptions& Options) {
  const TSettings Settings = LoadSettings(Options);
  if (!Options.Force) {
    if (const std::string Daemon = RunningSaverDaemon(); !Daemon.empty()) {
      ShowDiagnostic(Daemon + ", and two screen savers would fight over the screen: choose "
                              "Vadrel in its settings instead, or start vadrel --idle --force");
      return 1;
    }
  }
  std::string Tried;
  std::unique_ptr<TIdleSource> Source = OpenIdleSource(Settings.IdleSeconds * 1000, Tried);
  if (!Source) {
    ShowDiagnostic(Tried);
    return 1;
  }
  std::error_code Error;
  TSaverCommand Saver{std::filesystem::read_symlink("/proc/self/exe", Error).string(),
                      SettingArguments(Options)};
  return TIdleWatcher(std::move(Source), OpenLockWatch(), std::move(Saver)).Run();
}

}  // namespace

int main(int argc, char** argv) {
  TOptions Options;
  std::string Error;
  if (!ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc),
                        std::getenv("XSCREENSAVER_WINDOW"), Options, Error)) {
    ShowDiagnostic(Error + "; " + UsageText);
    return 2;
  }
  if (Options.Mode == TRunMode::Help) {
    ShowText(HelpText);
    return 0;
  }
  if (Options.Mode == TRunMode::Idle) return RunIdleWatcher(Options);
  InstallStopSignals();

  const TSdlLibrary Sdl;
  const bool Headless = Options.Mode == TRunMode::Screenshot || Options.Mode == TRunMode::Benchmark;
  try {
    // Every window is down by the time an error arrives here: the full-screen one would hide the
    // box.
    return Headless ? RunHeadless(Options) : WinMain(Options);
  } catch (const std::exception& Failure) {
    ShowMessage(Failure.what(), "Error");
  } catch (...) {
    ShowMessage("Unknown error", "Error");
  }
  return 1;
}
