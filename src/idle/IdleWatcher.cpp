#include "IdleWatcher.h"

#include "LockWatch.h"
#include "LogindInhibitors.h"
#include "PowerDevil.h"
#include "ScreenSaverService.h"
#include "Platform.h"
#include "SaverDaemons.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

extern char** environ;

namespace {

using TClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A descriptor closed with its owner.
class TFd {
public:
  explicit TFd(int Descriptor = -1) : Fd(Descriptor) {}
  ~TFd() {
    if (Fd >= 0) close(Fd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return Fd; }

private:
  int Fd;
};

// The watcher's signals (the stop signals and SIGUSR1, a lock coming), blocked in this thread and
// read from a descriptor while it lives; the mask the thread had before is put back at the end and
// given to the saver, less these signals.
class TWatcherSignals {
public:
  TWatcherSignals() {
    sigemptyset(&Mine);
    for (const int Signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&Mine, Signal);
    pthread_sigmask(SIG_BLOCK, &Mine, &Before);
    ForSaver = Before;
    for (const int Signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigdelset(&ForSaver, Signal);
    Fd.emplace(signalfd(-1, &Mine, SFD_NONBLOCK | SFD_CLOEXEC));
  }
  ~TWatcherSignals() {
    Fd.reset();
    // A signal that arrived after the last read stays pending: it must not act once unblocked.
    for (timespec Now{}; sigtimedwait(&Mine, nullptr, &Now) > 0;) {
    }
    pthread_sigmask(SIG_SETMASK, &Before, nullptr);
  }
  TWatcherSignals(const TWatcherSignals&) = delete;
  TWatcherSignals& operator=(const TWatcherSignals&) = delete;

  int Descriptor() const { return Fd->Get(); }
  const sigset_t& Handled() const { return Mine; }
  const sigset_t& SaverMask() const { return ForSaver; }
  // The next signal that has arrived, or 0.
  int Next() const {
    signalfd_siginfo Info{};
    return read(Fd->Get(), &Info, sizeof Info) == ssize_t(sizeof Info) ? int(Info.ssi_signo) : 0;
  }

private:
  sigset_t Mine{}, Before{}, ForSaver{};
  std::optional<TFd> Fd;
};

// What a wait status says, for the line about a saver that failed; empty for a clean exit.
std::string Failure(int Status) {
  if (WIFEXITED(Status) && WEXITSTATUS(Status) == 0) return {};
  if (WIFEXITED(Status)) return "ended with exit status " + std::to_string(WEXITSTATUS(Status));
  const int Signal = WIFSIGNALED(Status) ? WTERMSIG(Status) : 0;
  return "was killed by signal " + std::to_string(Signal) + " (" + strsignal(Signal) + ")";
}

// The saver's environment: the watcher's own, but that it draws full screen (never into a window
// a daemon named) and leaves the session's idle state alone, since that state is what tells the
// watcher of the activity that must end it.
std::vector<std::string> SaverEnvironment() {
  std::vector<std::string> Out;
  for (char** Each = environ; *Each; ++Each) {
    const std::string_view Entry(*Each);
    if (!Entry.starts_with("XSCREENSAVER_WINDOW=") &&
        !Entry.starts_with("SDL_VIDEO_ALLOW_SCREENSAVER="))
      Out.emplace_back(Entry);
  }
  Out.emplace_back("SDL_VIDEO_ALLOW_SCREENSAVER=1");
  return Out;
}

std::vector<char*> Pointers(std::vector<std::string>& Strings) {
  std::vector<char*> Out;
  for (std::string& Each : Strings) Out.push_back(Each.data());
  Out.push_back(nullptr);
  return Out;
}

// The running screen saver: a child process waited on through its pidfd.
class TSaverProcess {
public:
  // Starts Command; on failure Error says why (and nothing runs).
  TSaverProcess(const TSaverCommand& Command, const TWatcherSignals& Signals, std::string& Error);
  ~TSaverProcess() { Stop(); }
  TSaverProcess(const TSaverProcess&) = delete;
  TSaverProcess& operator=(const TSaverProcess&) = delete;

  bool Started() const { return Pid > 0; }
  int Descriptor() const { return PidFd ? PidFd->Get() : -1; }
  // Asks it to end (SIGTERM), once; its end is then not a failure.
  void End() {
    if (Ended) return;
    kill(Pid, SIGTERM);
    Ended = true;
    KillAt = TClock::now() + SaverGraceTime;
  }
  bool AskedToEnd() const { return Ended; }
  std::optional<TClock::time_point> KillTime() const {
    return Ended && !Killed ? std::optional(KillAt) : std::nullopt;
  }
  void KillIfLate() {
    if (!Ended || Killed || TClock::now() < KillAt) return;
    kill(Pid, SIGKILL);
    Killed = true;
  }
  // Its wait status once it has ended (reaped then), else nothing.
  std::optional<int> Reap() {
    int Status = 0;
    if (waitpid(Pid, &Status, WNOHANG) != Pid) return std::nullopt;
    Pid = -1;
    return Status;
  }

private:
  pid_t Pid = -1;
  std::optional<TFd> PidFd;
  bool Ended = false, Killed = false;
  TClock::time_point KillAt;

  // Ends it and waits for it: SIGTERM, then SIGKILL after the grace time.
  void Stop();
};

TSaverProcess::TSaverProcess(const TSaverCommand& Command, const TWatcherSignals& Signals,
                             std::string& Error) {
  std::vector<std::string> Arguments{Command.Program};
  Arguments.insert(Arguments.end(), Command.Arguments.begin(), Command.Arguments.end());
  std::vector<std::string> Environment = SaverEnvironment();
  posix_spawnattr_t Attributes;
  posix_spawnattr_init(&Attributes);
  posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setsigmask(&Attributes, &Signals.SaverMask());
  posix_spawnattr_setsigdefault(&Attributes, &Signals.Handled());
  // The saver gets standard input and output and nothing else of the watcher's: a session's
  // connection held open by it would outlive the watcher.
  posix_spawn_file_actions_t Files;
  posix_spawn_file_actions_init(&Files);
  posix_spawn_file_actions_addclosefrom_np(&Files, STDERR_FILENO + 1);
  const int Result = posix_spawn(&Pid, Command.Program.c_str(), &Files, &Attributes,
                                 Pointers(Arguments).data(), Pointers(Environment).data());
  posix_spawn_file_actions_destroy(&Files);
  posix_spawnattr_destroy(&Attributes);
  if (Result != 0) {
    Pid = -1;
    Error = "the screen saver " + Command.Program + " could not be started: " + strerror(Result);
    return;
  }
  // It cannot have been reaped yet: the pidfd names it even if it has already ended. (Called
  // directly: Debian 12's header declares the wrapper without C linkage.)
  PidFd.emplace(int(syscall(SYS_pidfd_open, Pid, 0)));
  if (PidFd->Get() < 0) {
    Error = std::string("the screen saver cannot be waited for: ") + strerror(errno);
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
    Pid = -1;
  }
}

void TSaverProcess::Stop() {
  if (Pid <= 0) return;
  End();
  for (int Signal : {SIGTERM, SIGKILL}) {
    if (Signal == SIGKILL) kill(Pid, SIGKILL);
    pollfd Wait{Descriptor(), POLLIN, 0};
    const int Ms = Signal == SIGTERM ? int(SaverGraceTime.count()) : -1;
    while (poll(&Wait, 1, Ms) < 0 && errno == EINTR) {
    }
    if (Reap()) return;
  }
  waitpid(Pid, nullptr, 0);
}

int MillisecondsUntil(TClock::time_point When, TClock::time_point Now) {
  const auto Left = std::chrono::ceil<std::chrono::milliseconds>(When - Now);
  return int(std::clamp<std::int64_t>(Left.count(), 0, 24 * 3600 * 1000));
}

}  // namespace

// One run of the watcher: the state between events.
class TIdleWatcher::TLoop {
public:
  TLoop(TIdleWatcher& Owner) : W(Owner) {}
  int Run();

private:
  TIdleWatcher& W;
  TWatcherSignals Signals;
  std::optional<TSaverProcess> Saver;
  bool SessionIdle = false, Locked = false;
  std::chrono::milliseconds Pause{0};        // the back-off now due after a saver's own end
  std::optional<TClock::time_point> RetryAt;  // no saver before then
  std::optional<TClock::time_point> HeldUntil;  // held awake: the source's idle is asked again then
  TClock::time_point SaverSince;              // on the back-off's clock

  struct TWait {
    std::vector<pollfd> Fds;
    std::vector<TIdleSource*> Owners;  // each descriptor's source; null for the watcher's own
    int TimeoutMs = -1;
    // Each source that asked to be called back by a time, and that time.
    std::vector<std::pair<TIdleSource*, TClock::time_point>> Timers;
  };
  // The idle source, the lock watch and the inhibitors, those there are.
  std::vector<TIdleSource*> Sources() const {
    std::vector<TIdleSource*> All{W.Source.get()};
    if (W.Locks) All.push_back(W.Locks.get());
    for (const auto& Each : W.Inhibitors) All.push_back(Each.get());
    return All;
  }
  std::string Inhibitor() const;
  TWait Prepare() const;
  bool StopArrived();
  bool Dispatch(TIdleSource& From);
  void Handle(TIdleEvent Event);
  void MaybeStart();
  void SaverGone(int Status);
  void EndSaver() {
    if (Saver) Saver->End();
  }
};

int TIdleWatcher::TLoop::Run() {
  for (;;) {
    TWait Wait = Prepare();
    if (poll(Wait.Fds.data(), Wait.Fds.size(), Wait.TimeoutMs) < 0 && errno != EINTR) {
      ShowDiagnostic(std::string("cannot wait for the session: ") + strerror(errno));
      return 1;
    }
    if (Wait.Fds[0].revents && StopArrived()) return 0;
    if (Saver && Wait.Fds[1].revents)
      if (const std::optional<int> Status = Saver->Reap()) SaverGone(*Status);
    for (TIdleSource* Each : Sources()) {
      bool Due = false;
      for (const auto& [Owner, When] : Wait.Timers)
        Due = Due || (Owner == Each && TClock::now() >= When);
      for (std::size_t I = 0; I < Wait.Fds.size(); ++I)
        Due = Due || (Wait.Owners[I] == Each && Wait.Fds[I].revents);
      if (Due && !Dispatch(*Each)) return 1;
    }
    if (Saver) Saver->KillIfLate();
    MaybeStart();
  }
}

TIdleWatcher::TLoop::TWait TIdleWatcher::TLoop::Prepare() const {
  TWait Wait;
  Wait.Fds.push_back({Signals.Descriptor(), POLLIN, 0});
  Wait.Owners.push_back(nullptr);
  Wait.Fds.push_back({Saver ? Saver->Descriptor() : -1, POLLIN, 0});
  Wait.Owners.push_back(nullptr);
  const auto Sooner = [&](int Ms) {
    if (Ms >= 0) Wait.TimeoutMs = Wait.TimeoutMs < 0 ? Ms : std::min(Wait.TimeoutMs, Ms);
  };
  for (TIdleSource* Each : Sources()) {
    for (const int Fd : Each->Fds()) {
      Wait.Fds.push_back({Fd, POLLIN, 0});
      Wait.Owners.push_back(Each);
    }
    if (const int Ms = Each->TimeoutMs(); Ms >= 0) {
      Sooner(Ms);
      Wait.Timers.emplace_back(Each, TClock::now() + std::chrono::milliseconds(Ms));
    }
  }
  if (Saver && Saver->KillTime()) Sooner(MillisecondsUntil(*Saver->KillTime(), TClock::now()));
  if (!Saver && SessionIdle && RetryAt) Sooner(MillisecondsUntil(*RetryAt, W.Backoff.Now()));
  if (!Saver && SessionIdle && HeldUntil) Sooner(MillisecondsUntil(*HeldUntil, W.Backoff.Now()));
  return Wait;
}

// Reads every signal that has arrived: true for a stop. A lock coming ends the saver, and the
// session counts as not idle until a source tells of the next idle period, whose start checks for
// the locker.
bool TIdleWatcher::TLoop::StopArrived() {
  for (int Signal = Signals.Next(); Signal != 0; Signal = Signals.Next()) {
    if (Signal != SIGUSR1) return true;
    SessionIdle = false;
    EndSaver();
  }
  return false;
}

// False when the idle source or the lock watch is gone. An inhibitor watch that is gone (its bus
// restarted) is dropped instead: the session goes on, and the watcher with it.
bool TIdleWatcher::TLoop::Dispatch(TIdleSource& From) {
  std::vector<TIdleEvent> Events;
  const bool Alive = From.Dispatch(Events);
  for (const TIdleEvent Event : Events) Handle(Event);
  if (Alive) return true;
  const auto Inhibitor = std::find_if(W.Inhibitors.begin(), W.Inhibitors.end(),
                                      [&](const auto& Each) { return Each.get() == &From; });
  if (Inhibitor == W.Inhibitors.end()) {
    ShowDiagnostic(From.Name() + " is gone; the idle watcher ends");
    return false;
  }
  ShowDiagnostic(From.Name() + " is gone; it no longer holds the saver off");
  W.Inhibitors.erase(Inhibitor);
  return true;
}

void TIdleWatcher::TLoop::Handle(TIdleEvent Event) {
  switch (Event) {
  case TIdleEvent::Idle:
    SessionIdle = true;
    break;
  case TIdleEvent::Active:
    SessionIdle = false;
    Pause = std::chrono::milliseconds(0);
    RetryAt.reset();
    HeldUntil.reset();
    EndSaver();
    break;
  // The idle source may never tell of this: the session stays idle for it, and the saver waits
  // one idle period from now instead.
  case TIdleEvent::Held:
    HeldUntil = W.Backoff.Now() + W.Backoff.IdlePeriod;
    EndSaver();
    break;
  // Whoever unlocks is at the session: the saver waits for the next idle period.
  case TIdleEvent::Locked:
  case TIdleEvent::Unlocked:
    Locked = Event == TIdleEvent::Locked;
    SessionIdle = false;
    EndSaver();
    break;
  }
}

std::string TIdleWatcher::TLoop::Inhibitor() const {
  std::string Why = W.Source->Inhibited();
  for (const auto& Each : W.Inhibitors)
    if (Why.empty()) Why = Each->Inhibited();
  return Why;
}

void TIdleWatcher::TLoop::MaybeStart() {
  const TClock::time_point Now = W.Backoff.Now();
  if (!SessionIdle || Locked || Saver || (RetryAt && Now < *RetryAt)) return;
  if (HeldUntil && Now < *HeldUntil) return;
  HeldUntil.reset();
  // Asked at every start, not once per idle period: a video may begin while a failed saver waits
  // for its retry. An inhibitor's end is told by none of them, so they are asked again one idle
  // period later.
  if (!Inhibitor().empty()) {
    HeldUntil = Now + W.Backoff.IdlePeriod;
    return;
  }
  if (W.Lockers && !W.Lockers().empty()) {
    SessionIdle = false;  // until the source tells of the next idle period
    return;
  }
  std::string Error;
  Saver.emplace(W.Saver, Signals, Error);
  if (!Saver->Started()) {
    Saver.reset();
    ShowDiagnostic(Error);
    SaverGone(0);
    return;
  }
  SaverSince = W.Backoff.Now();
  for (TIdleSource* Each : Sources()) Each->SaverStarted();
}

// The saver has ended (or could not start): a failure is told; an end it was not asked for puts
// off the next start by the back-off, which grows unless the saver had run for a while.
void TIdleWatcher::TLoop::SaverGone(int Status) {
  const bool Asked = Saver && Saver->AskedToEnd();
  const bool Settled = Saver && W.Backoff.Now() - SaverSince >= W.Backoff.Settled;
  if (Saver) {
    Saver.reset();
    for (TIdleSource* Each : Sources()) Each->SaverEnded();
    if (const std::string Why = Failure(Status); !Asked && !Why.empty())
      ShowDiagnostic("the screen saver " + Why);
  }
  if (Asked) return;
  if (Settled || Pause.count() == 0)
    Pause = W.Backoff.First;
  else
    Pause = std::min(Pause * 2, W.Backoff.Longest);
  RetryAt = W.Backoff.Now() + Pause;
}

TIdleWatcher::TIdleWatcher(std::unique_ptr<TIdleSource> IdleSource,
                           std::unique_ptr<TIdleSource> LockWatch,
                           std::vector<std::unique_ptr<TIdleSource>> InhibitorWatches,
                           TSaverCommand SaverCommand, TBackoff Pauses, TLockerCheck LockerCheck)
    : Source(std::move(IdleSource)), Locks(std::move(LockWatch)),
      Inhibitors(std::move(InhibitorWatches)), Saver(std::move(SaverCommand)),
      Backoff(std::move(Pauses)), Lockers(std::move(LockerCheck)) {}

TIdleWatcher::~TIdleWatcher() = default;

int TIdleWatcher::Run() { return TLoop(*this).Run(); }

namespace {

// What of them this session has: the served org.freedesktop.ScreenSaver (where the desktop has
// none), logind's idle inhibitors, KDE's PowerDevil. Each that is missing is simply not watched.
std::vector<std::unique_ptr<TIdleSource>> OpenInhibitorWatches() {
  std::vector<std::unique_ptr<TIdleSource>> Watches;
  using TOpen = std::unique_ptr<TIdleSource> (*)(std::string&);
  for (const TOpen Open : {&OpenScreenSaverService, &OpenLogindInhibitors, &OpenPowerDevil}) {
    std::string Why;
    if (std::unique_ptr<TIdleSource> Watch = Open(Why)) Watches.push_back(std::move(Watch));
  }
  return Watches;
}

}  // namespace

int WatchSession(bool Force, int IdleSeconds, TSaverCommand Saver) {
  prctl(PR_SET_NAME, "vadrel-idle");
  sigset_t LockComing;
  sigemptyset(&LockComing);
  sigaddset(&LockComing, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &LockComing, nullptr);
  if (!Force) {
    if (const std::string Daemon = RunningSaverDaemon(); !Daemon.empty()) {
      ShowDiagnostic(Daemon + ", and two screen savers would fight over the screen: choose "
                              "Vadrel in its settings instead, or start vadrel --idle --force");
      return 1;
    }
  }
  std::string Tried;
  std::unique_ptr<TIdleSource> Source = OpenIdleSource(IdleSeconds * 1000, Tried);
  if (!Source) {
    ShowDiagnostic(Tried);
    return 1;
  }
  // The lock watch comes first: it must not take the service's own ActiveChanged for a lock.
  std::unique_ptr<TIdleSource> Locks = OpenLockWatch();
  TBackoff Backoff;
  Backoff.IdlePeriod = std::chrono::seconds(IdleSeconds);
  return TIdleWatcher(std::move(Source), std::move(Locks), OpenInhibitorWatches(),
                      std::move(Saver), Backoff)
      .Run();
}
