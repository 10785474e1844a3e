#include "XWindow.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

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

// The visual offers GL with a depth buffer and double buffering.
bool GoodForTheScene(Display* D, Visual* V) {
  XVisualInfo Template{};
  Template.visualid = XVisualIDFromVisual(V);
  int Count = 0;
  XVisualInfo* Info = XGetVisualInfo(D, VisualIDMask, &Template, &Count);
  if (!Info) return false;
  int UsesGL = 0, Depth = 0, Double = 0;
  glXGetConfig(D, Info, GLX_USE_GL, &UsesGL);
  glXGetConfig(D, Info, GLX_DEPTH_SIZE, &Depth);
  glXGetConfig(D, Info, GLX_DOUBLEBUFFER, &Double);
  XFree(Info);
  return UsesGL && Depth >= 16 && Double;
}

}  // namespace

struct TXWindow::TConnection {
  Display* D = nullptr;
  Colormap ChildColormap = 0;
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
  FOk = MakeChildIfNeeded();
}

TXWindow::~TXWindow() {
  Display* D = FConnection->D;
  if (!D) return;
  TQuietErrors Quiet;  // the given window, and with it the child, may be gone already
  if (FChild) XDestroyWindow(D, Window(FChild));
  if (FConnection->ChildColormap) XFreeColormap(D, FConnection->ChildColormap);
  Quiet.Any(D);
}

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

bool TXWindow::MakeChildIfNeeded() {
  Display* D = FConnection->D;
  TQuietErrors Quiet;
  XWindowAttributes Parent{};
  if (!XGetWindowAttributes(D, Window(FId), &Parent) || Quiet.Any(D)) {
    FError = "there is no X window " + Hex(FId);
    return false;
  }
  if (GoodForTheScene(D, Parent.visual)) return true;

  int Wanted[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 4, GLX_GREEN_SIZE, 4,
                  GLX_BLUE_SIZE, 4, GLX_DEPTH_SIZE, 16, None};
  XVisualInfo* Info = glXChooseVisual(D, XScreenNumberOfScreen(Parent.screen), Wanted);
  if (!Info) {
    FError = "the X server offers no GL visual with a depth buffer for window " + Hex(FId);
    return false;
  }
  FConnection->ChildColormap = XCreateColormap(D, Parent.root, Info->visual, AllocNone);
  XSetWindowAttributes Attributes{};
  Attributes.colormap = FConnection->ChildColormap;
  Attributes.background_pixel = BlackPixelOfScreen(Parent.screen);
  Attributes.border_pixel = 0;
  FChild = XCreateWindow(D, Window(FId), 0, 0, unsigned(Parent.width), unsigned(Parent.height), 0,
                         Info->depth, InputOutput, Info->visual,
                         CWColormap | CWBackPixel | CWBorderPixel, &Attributes);
  XFree(Info);
  XMapWindow(D, Window(FChild));
  if (Quiet.Any(D)) {
    FChild = 0;
    FError = "cannot make a GL window inside window " + Hex(FId);
    return false;
  }
  FChildWidth = Parent.width;
  FChildHeight = Parent.height;
  return true;
}

bool TXWindow::Follow(int& Width, int& Height) {
  if (!Size(Width, Height)) return false;
  if (FChild && (Width != FChildWidth || Height != FChildHeight)) {
    TQuietErrors Quiet;
    XResizeWindow(FConnection->D, Window(FChild), unsigned(Width), unsigned(Height));
    Quiet.Any(FConnection->D);
    FChildWidth = Width;
    FChildHeight = Height;
  }
  return true;
}
