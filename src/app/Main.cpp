// The process entry: reads the command line, then runs the screen saver in the mode it asks for
// (or renders the scene headless into a PNG, or prints the help) and turns any error that nothing
// else caught into the error box and exit code 1. Unknown options give exit code 2.
#include "Headless.h"
#include "Options.h"
#include "Platform.h"
#include "Vadrel.h"

#include <SDL.h>

#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

// SDL's last resources go with the process's end, however main is left.
struct TSdlLibrary {
  ~TSdlLibrary() { SDL_Quit(); }
};

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
