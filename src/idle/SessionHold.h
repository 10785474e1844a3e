// SessionHold: holds off the session's own idle machinery (its blanking, power saving and lock
// timers, whoever runs them) while a program's inhibit that this watcher took in is held, as that
// program's own inhibitor would have: on X11 the server's screen saver is suspended, which DPMS and
// lockers that follow the server's saver obey; on a Wayland compositor a surface of our own, which
// shows nothing and takes no input, holds the compositor's idle inhibitor. Depends on Xlib with
// the MIT-SCREEN-SAVER extension and on libwayland-client.
#pragma once

#include <memory>
#include <string>
#include <vector>

class TSessionHold {
public:
  virtual ~TSessionHold() = default;
  // What holds the session, for messages: "the Wayland compositor's idle inhibitor".
  virtual std::string Name() const = 0;
  // The descriptors to wait on for reading; Dispatch when one is readable.
  virtual std::vector<int> Fds() const = 0;
  // Milliseconds until Dispatch must run even with nothing to read; -1: only on input.
  virtual int TimeoutMs() const { return -1; }
  // Takes what has arrived, never blocking. False when the connection is gone for good.
  virtual bool Dispatch() = 0;
  // Holds the session (On) or lets it go idle again. Idempotent; it has taken effect at the
  // server before it returns. The hold ends with the object at the latest.
  virtual void Hold(bool On) = 0;
};

// The hold of this session: the Wayland compositor's where WAYLAND_DISPLAY is set and it offers an
// idle inhibitor, else the X server's where DISPLAY is set. Null with Why (one line, each tried way
// and why it failed) when this session has neither.
std::unique_ptr<TSessionHold> OpenSessionHold(std::string& Why);
