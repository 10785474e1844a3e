#include "XWindow.h"

#include <X11/Xlib.h>

#include <cstdio>

namespace {

// A window that vanished (or never existed) makes Xlib's default handler end the process; while
// one of these lives, errors are only counted.
class TQuietErrors {
public:
  TQuietErrors() : Previous(XSetErrorHandler(&Count)) { Errors = 0; }
  ~TQuietErrors() { XSetErrorHandler(Previous); }
  bool Any(Display* D) const {
    XSync(D, False);
    return Errors != 0;
  }

private:
  static int Count(Display*, XErrorEvent*) {
    ++Errors;
    return 0;
  }
  static inline int Errors = 0;
  XErrorHandler Previous;
};

std::string Hex(std::uint64_t Id) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%llx", static_cast<unsigned long long>(Id));
  return Text;
}

}  // namespace

struct TXWindow::TConnection {
  Display* D = nullptr;
  ~TConnection() {
    if (D) XCloseDisplay(D);
  }
};

TXWindow::TXWindow(std::uint64_t Id) : FConnection(std::make_unique<TConnection>()) {
  FConnection->D = XOpenDisplay(nullptr);
  if (!FConnection->D) {
    FError = "cannot open the X display (is DISPLAY set?)";
    return;
  }
  FId = Id ? Id : DefaultRootWindow(FConnection->D);
  int Width = 0, Height = 0;
  if (!Size(Width, Height)) {
    FError = "there is no X window " + Hex(FId);
    return;
  }
  FOk = true;
}

TXWindow::~TXWindow() = default;

bool TXWindow::Size(int& Width, int& Height) const {
  Display* D = FConnection->D;
  if (!D) return false;
  TQuietErrors Quiet;
  XWindowAttributes Attributes{};
  const Status Got = XGetWindowAttributes(D, Window(FId), &Attributes);
  if (Quiet.Any(D) || !Got) return false;
  Width = Attributes.width;
  Height = Attributes.height;
  return true;
}
