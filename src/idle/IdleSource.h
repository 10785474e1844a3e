// IdleSource: what tells the idle watcher that the session has gone idle, has come back, has
// locked, or is held awake. One interface over the session's own services (GNOME's idle monitor on
// the session bus, a Wayland compositor's idle protocol, the X server's screen-saver extension),
// the lock watchers and the inhibitor watches beside them, each waited on through its file
// descriptors. Plain C++.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class TIdleEvent : std::uint8_t {
  Idle,      // the session has had no input for the watcher's time
  Active,    // input again after Idle (a source tells it only after its own Idle)
  Locked,    // the session's lock screen came up
  Unlocked,  // and went away
  // Something besides the idle source keeps the session awake now: an inhibitor came up, or a
  // program reported activity on the user's behalf. A running saver ends, and the session's idle
  // period starts over.
  Held,
};

class TIdleSource {
public:
  virtual ~TIdleSource() = default;
  // What it is, for messages: "GNOME's idle monitor (org.gnome.Mutter.IdleMonitor)".
  virtual std::string Name() const = 0;
  // The descriptors to wait on for reading; the watcher calls Dispatch when one is readable.
  virtual std::vector<int> Fds() const = 0;
  // Milliseconds until Dispatch must be called even with nothing to read; -1: only on input.
  virtual int TimeoutMs() const { return -1; }
  // Reads what has arrived, never blocking, and appends what it tells to Events. False when the
  // source is gone for good (its connection closed): the watcher then ends with one line.
  virtual bool Dispatch(std::vector<TIdleEvent>& Events) = 0;
  // Asked when Idle arrives, before the saver starts: why it must not start now (a video, a
  // presentation: "an inhibitor is up (org.gnome.SessionManager)"), or empty.
  virtual std::string Inhibited() { return {}; }
  // The saver was started or has ended (sources that watch for activity only while it runs).
  virtual void SaverStarted() {}
  virtual void SaverEnded() {}
};

// The idle source of this session, tried in this order: GNOME's idle monitor on the session bus,
// the Wayland compositor's idle protocols, the X server's MIT-SCREEN-SAVER extension. IdleMs: the
// time without input that makes the session idle. Null when none is found; Tried then says, in
// one line, what was tried and why each failed.
std::unique_ptr<TIdleSource> OpenIdleSource(int IdleMs, std::string& Tried);
