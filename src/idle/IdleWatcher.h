// IdleWatcher: the loop of `vadrel --idle`. Waits on the session's idle source and lock watch and
// on its own stop signals in one poll(), starts the screen saver as its child when the session
// goes idle and ends it at the first activity or when the session locks; a saver that fails is
// reported in one line and retried only after a growing pause. A screen locker that no session
// service tells of is seen by its process when the saver would start, and a lock command ends the
// saver first with SIGUSR1. Inhibitors (a player's, logind's, the desktop's) keep the saver from
// starting, and one that comes up ends it. No GL, no SDL: it sleeps on events. Depends on
// IdleSource, the inhibitor watches, SaverDaemons (the lockers) and Platform (diagnostics).
#pragma once

#include "IdleSource.h"
#include "SaverDaemons.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The program the watcher starts as its screen saver, with its arguments (without its own name).
struct TSaverCommand {
  std::string Program;
  std::vector<std::string> Arguments;
};

// The pause before a saver that ended on its own is started again while the session stays idle:
// First, doubled after each such end up to Longest; back to First after activity or after a saver
// that ran for Settled. A session held awake (an inhibitor, a program's report of activity) is
// asked again one IdlePeriod later. The pauses and the saver's time run are measured on Now.
struct TBackoff {
  std::chrono::milliseconds First{10000};
  std::chrono::milliseconds Longest{300000};
  std::chrono::milliseconds Settled{60000};
  std::chrono::milliseconds IdlePeriod{600000};
  std::function<std::chrono::steady_clock::time_point()> Now = [] {
    return std::chrono::steady_clock::now();
  };
};

// How long a saver has to end after SIGTERM before it gets SIGKILL.
inline constexpr std::chrono::milliseconds SaverGraceTime{3000};

// Asked before each start of the saver: a lock up that the session's services do not tell of (a
// screen locker's process), or empty.
using TLockerCheck = std::function<std::string()>;

class TIdleWatcher {
public:
  // Source must not be null; Locks may be (the session then has no lock watch). Inhibitors are
  // asked before each start too, and their Held ends a running saver.
  TIdleWatcher(std::unique_ptr<TIdleSource> Source, std::unique_ptr<TIdleSource> Locks,
               std::vector<std::unique_ptr<TIdleSource>> Inhibitors, TSaverCommand Saver,
               TBackoff Backoff = {}, TLockerCheck Lockers = RunningScreenLocker);
  ~TIdleWatcher();
  TIdleWatcher(const TIdleWatcher&) = delete;
  TIdleWatcher& operator=(const TIdleWatcher&) = delete;

  // Watches until SIGTERM, SIGINT or SIGHUP (0) or until a source is gone (1, with one line),
  // and ends the saver either way. SIGUSR1 says the session is locking now: it ends the saver
  // as a lock does, and none starts before the next Idle (which a locker then keeps away). The
  // calling thread has the four signals blocked meanwhile; other threads of the process must block
  // them too, or the watcher may never see them. The saver starts with the signal mask the caller
  // had, less these four.
  int Run();

private:
  class TLoop;
  std::unique_ptr<TIdleSource> Source, Locks;
  std::vector<std::unique_ptr<TIdleSource>> Inhibitors;
  TSaverCommand Saver;
  TBackoff Backoff;
  TLockerCheck Lockers;
};


// The whole of `vadrel --idle` once its settings are known: refuses (one line, 1) when another
// screen-saver daemon runs, unless Force; finds the session's idle source (one line naming what it
// tried, 1, when there is none), its lock watch and its inhibitors (serving
// org.freedesktop.ScreenSaver where the desktop does not); then watches (TIdleWatcher::Run). From its
// start the process is named vadrel-idle (what `pkill -USR1 -x vadrel-idle` finds, in the lean
// program or in vadrel itself) and holds SIGUSR1, so a lock command sent before the watch begins
// is acted on then instead of ending the process.
int WatchSession(bool Force, int IdleSeconds, TSaverCommand Saver);
