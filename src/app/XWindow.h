// XWindow: what hack mode needs of an X window it is handed but does not own: whether it exists,
// its current size, and a surface in it that GL can draw into with a depth buffer. When the
// window's own visual has no depth buffer or no double buffering (the settings dialog's preview
// window may not), a child window with such a visual is made inside it and kept at its size.
// Keeps its own X connection; the header is plain C++ (Xlib and GLX only in the source).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TXWindow {
public:
  // Connects to $DISPLAY and looks the window up (Id 0: the root window of the default screen),
  // making the child window when one is needed. On failure Ok() is false and Error() says why in
  // one line.
  explicit TXWindow(std::uint64_t Id);
  TXWindow(const TXWindow&) = delete;
  TXWindow& operator=(const TXWindow&) = delete;
  ~TXWindow();  // destroys the child window, never the given one

  bool Ok() const { return FOk; }
  const std::string& Error() const { return FError; }
  // The window GL draws into: the given one, or the child made inside it.
  std::uint64_t DrawableId() const { return FChild ? FChild : FId; }

  // The given window's current size; the child follows it. False when the window can no longer
  // be read (it was destroyed).
  bool Follow(int& Width, int& Height);

private:
  struct TConnection;
  std::unique_ptr<TConnection> FConnection;
  std::uint64_t FId = 0;
  std::uint64_t FChild = 0;
  int FChildWidth = 0, FChildHeight = 0;
  bool FOk = false;
  std::string FError;

  bool Size(int& Width, int& Height) const;
  bool MakeChildIfNeeded();
};
