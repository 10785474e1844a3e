// XWindow: what hack mode needs to know of an X window it is handed but does not own: whether it
// exists, its current size, and the root window's id. Keeps its own X connection; the header is
// plain C++ (Xlib only in the source). Depends on Xlib.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class TXWindow {
public:
  // Connects to $DISPLAY and looks the window up (Id empty: the root window of the default
  // screen). On failure Ok() is false and Error() says why in one line.
  explicit TXWindow(std::uint64_t Id);
  TXWindow(const TXWindow&) = delete;
  TXWindow& operator=(const TXWindow&) = delete;
  ~TXWindow();

  bool Ok() const { return FOk; }
  const std::string& Error() const { return FError; }
  std::uint64_t Id() const { return FId; }

  // The window's current size; false when it can no longer be read (the window was destroyed).
  bool Size(int& Width, int& Height) const;

private:
  struct TConnection;
  std::unique_ptr<TConnection> FConnection;
  std::uint64_t FId = 0;
  bool FOk = false;
  std::string FError;
};
