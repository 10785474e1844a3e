// The process entry: runs the screen saver and turns any error that nothing else caught into the
// error box and exit code 1.
#include "Platform.h"
#include "Vadrel.h"

#include <SDL.h>

#include <exception>
#include <string>

int main(int /*argc*/, char** /*argv*/) {
  int ExitCode = 1;
  try {
    ExitCode = WinMain();
  } catch (const std::exception& Error) {
    // The full-screen window would hide the box: take it down first.
    KillGLWindow();
    ShowMessage(Error.what(), "Error");
    ExitCode = 1;
  } catch (...) {
    KillGLWindow();
    ShowMessage("Unknown error", "Error");
    ExitCode = 1;
  }
  SDL_Quit();
  return ExitCode;
}
