// The process entry: reads the command line, then runs the screen saver in the mode it asks for
// (or renders the scene headless into a PNG, watches the session for idleness, or prints the help)
// and turns any error that nothing else caught into the error box and exit code 1. Unknown options
// give exit code 2.
#include "Headless.h"
#include "IdleWatcher.h"
#include "Options.h"
#include "Platform.h"
#include "Vadrel.h"

#include <SDL.h>

#include <unistd.h>

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

// The lean watcher beside this program in the build tree, or where the package installs it
// (libexec/vadrel beside libexec/xscreensaver); empty when neither is there.
std::filesystem::path LeanWatcher(const std::filesystem::path& Self) {
  for (const char* Relative : {"vadrel-idle", "../vadrel/vadrel-idle"})
    if (const std::filesystem::path Candidate = Self.parent_path() / Relative;
        access(Candidate.c_str(), X_OK) == 0)
      return Candidate;
  return {};
}

// --idle: works out the time and hands over to the lean watcher (same process, by exec), which
// starts this very program (as it was at start) as its screen saver with the settings given. Where
// the lean watcher is missing, or cannot be run, this process watches itself, in more memory.
int RunIdleWatcher(const TOptions& Options) {
  const TSettings Settings = LoadSettings(Options);
  std::error_code Error;
  const std::filesystem::path Self = std::filesystem::read_symlink("/proc/self/exe", Error);
  TSaverCommand Saver{Self.string(), SettingArguments(Options)};
  if (const std::filesystem::path Lean = LeanWatcher(Self); !Lean.empty()) {
    std::vector<std::string> Arguments{Lean.string()};
    if (Options.Force) Arguments.emplace_back("--force");
    Arguments.push_back(std::to_string(Settings.IdleSeconds));
    Arguments.push_back(Saver.Program);
    Arguments.insert(Arguments.end(), Saver.Arguments.begin(), Saver.Arguments.end());
    std::vector<char*> Pointers;
    for (std::string& Each : Arguments) Pointers.push_back(Each.data());
    Pointers.push_back(nullptr);
    execv(Lean.c_str(), Pointers.data());
  }
  return WatchSession(Options.Force, Settings.IdleSeconds, std::move(Saver));
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
