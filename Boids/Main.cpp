// The process entry: runs the screen saver (or, with --screenshot, renders the scene headless
// into a PNG) and turns any error that nothing else caught into the
// error box and exit code 1.
#include "Platform.h"
#include "Vadrel.h"

#include <SDL.h>

#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  std::optional<TScreenshotOptions> Screenshot;
  std::string Error;
  if (!ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), Screenshot, Error)) {
    ShowDiagnostic(Error + "; " + UsageText);
    return 2;
  }

  int ExitCode = 1;
  try {
    ExitCode = Screenshot ? RunScreenshot(*Screenshot) : WinMain();
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
