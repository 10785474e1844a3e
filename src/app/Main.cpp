// The process entry: reads the command line, then runs the screen saver in the mode it asks for
// (or renders the scene headless into a PNG, or prints the help) and turns any error that nothing
// else caught into the error box and exit code 1. Unknown options give exit code 2.
#include "Options.h"
#include "Platform.h"
#include "Vadrel.h"

#include <SDL.h>

#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

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

  int ExitCode = 1;
  try {
    const bool Headless =
        Options.Mode == TRunMode::Screenshot || Options.Mode == TRunMode::Benchmark;
    ExitCode = Headless ? RunHeadless(Options) : WinMain(Options);
  } catch (const std::exception& Error) {
    // The full-screen window would hide the box: take it down first.
    KillGLWindow();
    FreeScene();
    ShowMessage(Error.what(), "Error");
    ExitCode = 1;
  } catch (...) {
    KillGLWindow();
    FreeScene();
    ShowMessage("Unknown error", "Error");
    ExitCode = 1;
  }
  SDL_Quit();
  return ExitCode;
}
