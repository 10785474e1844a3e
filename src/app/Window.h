// Window: one window with its current OpenGL context: the screen saver's full-screen window, a
// desktop window, an X window someone else made (hack mode) or a hidden offscreen one. Owns the
// video subsystem's use, the window and the context for its life, and tells whether anybody can
// see the window. Never keeps the session awake. Depends on SDL2, XWindow and Visibility, and on
// wayland-client in the source only.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <string>

#include "Visibility.h"
#include "XWindow.h"

// How the window is made.
enum class TWindowKind : std::uint8_t {
  FullScreen,  // the screen saver's full-screen window on one monitor, above the desktop's panels
  Desktop,     // an ordinary resizable window of Width x Height
  Foreign,     // an X window someone else made (hack mode): drawn into, never resized or closed
  Offscreen,   // a hidden Width x Height window on whatever driver SDL has (offscreen without one)
};

struct TWindowRequest {
  TWindowKind Kind = TWindowKind::FullScreen;
  // Desktop and Offscreen: the size. FullScreen: the monitor's place and size, or a width of 0
  // for the first display's.
  int Width = 0, Height = 0, X = 0, Y = 0;
  std::uint64_t ForeignWindow = 0;  // Foreign: the X window; 0 is the root window
};

class TGLWindow {
public:
  // Makes the window (shown and raised unless offscreen or foreign) and a double-buffered context
  // of PixelDepth colour bits with a 16-bit depth buffer, current on this thread. On failure Ok()
  // is false, Error() says in one line which step failed and why, and nothing is left behind.
  // In every kind, the session's idle state is left alone (screen blanking, display power-off and
  // a lock scheduled after the program still come) and no session bus is ever launched.
  TGLWindow(int PixelDepth, const TWindowRequest& Request);
  // Releases the context, then the window (a foreign one is only let go of), then its use of the
  // video subsystem.
  ~TGLWindow();
  TGLWindow(const TGLWindow&) = delete;
  TGLWindow& operator=(const TGLWindow&) = delete;

  bool Ok() const { return Context != nullptr; }
  const std::string& Error() const { return FError; }
  TWindowKind Kind() const { return FKind; }
  // The place and size it was made with, in the desktop's logical units, which is how monitors
  // are told apart (a foreign window: its size as last followed).
  int X() const { return FX; }
  int Y() const { return FY; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  // The size of what is drawn, in pixels, as last followed: what the viewport, the projection and
  // the picture's detail are made for. The same as the size on X11 and wherever the desktop does
  // not scale; on a Wayland output of scale 2 twice it, at scale 1.5 the output's own pixels.
  int PixelWidth() const { return FPixelWidth; }
  int PixelHeight() const { return FPixelHeight; }

  // SDL's id of the window, which its events carry.
  std::uint32_t Id() const;
  // SDL's window, for reading what the desktop has done with it (its place, size and state).
  SDL_Window* Handle() const { return Window.get(); }
  // Makes this window's context current (for a program with more than one).
  bool MakeCurrent();
  // Swaps with the display's refresh (the default for a visible window) or at once; needs the
  // context current. A program with windows on several displays paces its frames by one of them.
  void SetPaced(bool Paced);
  void Swap();
  // Whether anybody can see the window now (see Visibility); an offscreen one always counts as
  // seen. Visibility() watches it, for waiting until it may be.
  bool Seen() { return !FVisibility || FVisibility->Seen(); }
  TVisibility* Visibility() { return FVisibility.get(); }
  // Follows the size in pixels: a foreign window's as its owner last set it (SDL hears nothing of
  // it), else the drawable's, which a change of the output's scale alters without any size event.
  // Resized tells whether it changed. False only when a foreign window is gone.
  bool Follow(bool& Resized);

private:
  struct TVideo {  // one use of SDL's video subsystem
    bool Started = false;
    ~TVideo();
  };
  struct TWindowDeleter {
    void operator()(SDL_Window* W) const { SDL_DestroyWindow(W); }
  };
  struct TContextDeleter {
    void operator()(void* C) const { SDL_GL_DeleteContext(C); }
  };

  TWindowKind FKind;
  std::string FError;
  int FX = 0, FY = 0, FWidth = 0, FHeight = 0, FPixelWidth = 0, FPixelHeight = 0;
  std::unique_ptr<TXWindow> Foreign;  // declared first: let go of last
  TVideo Video;
  std::unique_ptr<SDL_Window, TWindowDeleter> Window;
  std::unique_ptr<void, TContextDeleter> Context;
  std::unique_ptr<TVisibility> FVisibility;  // goes before the window it watches

  bool Create(int PixelDepth, const TWindowRequest& Request);
  bool StartVideo(const TWindowRequest& Request);
  bool MakeWindow(const TWindowRequest& Request);
  bool Fail(const char* Step, std::string Reason);
};
