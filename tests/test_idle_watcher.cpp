// The idle watcher's loop with real child processes as its screen saver, driven by a scripted
// session: a pipe the test writes events into (the session's side, not the part under test).
// Starting and ending the saver, what it inherits, the lines about failures and the back-off,
// locks (told by the session, by a locker's process or by a lock command), inhibitors and the
// stop signals.
#include "IdleWatcher.h"
#include "NamedProcess.h"
#include "Platform.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <string_view>

namespace {

using namespace std::chrono_literals;

// The session: each byte written is an event (I, A, L, U, H) or, for any other byte, only a call to
// Dispatch; closing the pipe ends the source.
class TScriptedSession final : public TIdleSource {
public:
  struct TShared {
    std::atomic<int> Started{0}, Ended{0}, Handled{0};
    std::mutex Lock;
    std::string Inhibitor;
  };
  TScriptedSession(int ReadEnd, std::shared_ptr<TShared> State)
      : Fd(ReadEnd), S(std::move(State)) {}
  ~TScriptedSession() override { close(Fd); }
  std::string Name() const override { return "the scripted session"; }
  std::vector<int> Fds() const override { return {Fd}; }
  bool Dispatch(std::vector<TIdleEvent>& Events) override {
    char Byte = 0;
    if (read(Fd, &Byte, 1) != 1) return false;
    ++Read;
    if (const std::size_t Event = std::string_view("IALUH").find(Byte); Event != std::string::npos)
      Events.push_back(TIdleEvent(Event));
    return true;
  }
  // The loop asks this as it goes back to waiting, after acting on all it has read: the bytes
  // handled by then are published.
  int TimeoutMs() const override {
    S->Handled = Read;
    return -1;
  }
  std::string Inhibited() override {
    const std::lock_guard Guard(S->Lock);
    return S->Inhibitor;
  }
  void SaverStarted() override { ++S->Started; }
  void SaverEnded() override { ++S->Ended; }

private:
  int Fd, Read = 0;
  std::shared_ptr<TShared> S;
};

std::string ReadFile(const std::filesystem::path& Path) {
  std::ostringstream Text;
  Text << std::ifstream(Path).rdbuf();
  return Text.str();
}

// One watcher on its own thread, its session scripted by the test, its lines collected, its
// back-off timed on a clock that moves only when the test says. The watcher's signals are blocked
// in the test's thread too, so that only its descriptor takes them. Its screen lockers are
// processes of a name of this test's own, so that a real locker of the user running the tests (or
// another test's) does not count.
class IdleWatcherTest : public ::testing::Test {
protected:
  void SetUp() override {
    sigset_t Stops;
    sigemptyset(&Stops);
    for (const int Signal : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&Stops, Signal);
    pthread_sigmask(SIG_BLOCK, &Stops, &MaskBefore);
    PreviousSink = SetDiagnosticSink([this](const std::string& Text) {
      const std::lock_guard Guard(Shared->Lock);
      Lines.push_back(Text);
    });
  }
  void TearDown() override {
    if (WriteEnd >= 0) close(WriteEnd);
    if (InhibitorEnd >= 0) close(InhibitorEnd);
    if (Result.valid()) Result.wait();
    SetDiagnosticSink(PreviousSink);
    pthread_sigmask(SIG_SETMASK, &MaskBefore, nullptr);
  }

  // The session's pipe is inheritable, as a careless library's descriptor would be: the saver must
  // not hold it open.
  // Beside the session, an inhibitor watch scripted the same way through InhibitorEnd.
  void Start(TSaverCommand Saver, TBackoff Backoff = {}) {
    int Pipe[2], Inhibitor[2];
    ASSERT_EQ(pipe(Pipe), 0);
    ASSERT_EQ(pipe(Inhibitor), 0);
    WriteEnd = Pipe[1];
    InhibitorEnd = Inhibitor[1];
    std::vector<std::unique_ptr<TIdleSource>> Inhibitors;
    Inhibitors.push_back(std::make_unique<TScriptedSession>(
        Inhibitor[0], std::make_shared<TScriptedSession::TShared>()));
    Sent = Shared->Handled = 0;
    Backoff.Now = [this] { return std::chrono::steady_clock::time_point(Elapsed.load()); };
    auto Source = std::make_unique<TScriptedSession>(Pipe[0], Shared);
    const TLockerCheck Lockers = [Name = LockerName] {
      const std::string_view Only[] = {Name};
      return RunningProgram(Only);
    };
    Result = std::async(std::launch::async, [=, Source = std::move(Source),
                                             Inhibitors = std::move(Inhibitors)]() mutable {
      return TIdleWatcher(std::move(Source), nullptr, std::move(Inhibitors), Saver, Backoff,
                          Lockers)
          .Run();
    });
  }
  void Send(std::string_view Events) {
    ASSERT_EQ(write(WriteEnd, Events.data(), Events.size()), ssize_t(Events.size()));
    Sent += int(Events.size());
  }
  // Sends Events, then returns once the watcher has acted on all it was sent and waits again.
  void Settle(std::string_view Events = "") {
    Send(std::string(Events) + ".");
    ASSERT_TRUE(WaitFor([&] { return Shared->Handled == Sent; }, 15s, 1ms));
  }
  void Pass(std::chrono::milliseconds Time) { Elapsed = Elapsed.load() + Time; }
  // Ends the session: the watcher says so and ends with 1.
  int EndSession() {
    close(WriteEnd);
    WriteEnd = -1;
    return Result.wait_for(15s) == std::future_status::ready ? Result.get() : -1;
  }
  std::vector<std::string> TheLines() {
    const std::lock_guard Guard(Shared->Lock);
    return Lines;
  }
  void Inhibit(std::string Why) {
    const std::lock_guard Guard(Shared->Lock);
    Shared->Inhibitor = std::move(Why);
  }
  // A saver that writes its environment, then its process id, to the scratch folder and sleeps.
  // The process id comes last, so that once it is there the environment is whole.
  TSaverCommand Sleeper(const std::string& Before = "") const {
    const std::string Pid = (Scratch.Path() / "pid").string();
    const std::string Env = (Scratch.Path() / "env").string();
    return {"/bin/sh", {"-c", Before + "env > " + Env + "; echo $$ > " + Pid + "; exec sleep 600"}};
  }
  pid_t SaverPid() const {
    pid_t Pid = 0;
    std::ifstream(Scratch.Path() / "pid") >> Pid;
    return Pid;
  }

  TTempDir Scratch;
  const std::string LockerName = "vadrel-test-locker-" + std::to_string(getpid());
  std::shared_ptr<TScriptedSession::TShared> Shared = std::make_shared<TScriptedSession::TShared>();
  std::vector<std::string> Lines;
  TDiagnosticSink PreviousSink;
  sigset_t MaskBefore{};
  int WriteEnd = -1, InhibitorEnd = -1, Sent = 0;
  std::atomic<std::chrono::milliseconds> Elapsed{};
  std::future<int> Result;
};

TEST_F(IdleWatcherTest, StartsOnIdleEndsOnActivityAndStartsAgain) {
  setenv("XSCREENSAVER_WINDOW", "0x123", 1);
  Start(Sleeper());
  unsetenv("XSCREENSAVER_WINDOW");
  Send("I");
  ASSERT_TRUE(WaitFor([&] { return Alive(SaverPid()); }, 15s, 1ms));
  const pid_t First = SaverPid();
  // It starts full screen, leaving the session's idle state alone, and can be stopped: the
  // watcher's blocked stop signals are not handed down.
  const std::string Environment = ReadFile(Scratch.Path() / "env");
  EXPECT_EQ(Environment.find("XSCREENSAVER_WINDOW"), std::string::npos);
  EXPECT_NE(Environment.find("SDL_VIDEO_ALLOW_SCREENSAVER=1\n"), std::string::npos);
  // Read from the sleeper, not the shell before it: the shell blocks every signal for a moment
  // around each command it forks.
  const std::string StatusFile = "/proc/" + std::to_string(First) + "/status";
  std::string Status;
  ASSERT_TRUE(WaitFor([&] {
    Status = ReadFile(StatusFile);
    return Status.starts_with("Name:\tsleep\n");
  }, 15s, 1ms));
  EXPECT_NE(Status.find("SigBlk:\t0000000000000000"), std::string::npos) << Status;

  Send("A");
  EXPECT_TRUE(WaitFor([&] { return !Alive(First) && Shared->Ended == 1; }, 15s, 1ms));
  Send("I");
  EXPECT_TRUE(WaitFor([&] { return Shared->Started == 2 && Alive(SaverPid()); }, 15s, 1ms));
  const pid_t Second = SaverPid();
  EXPECT_NE(Second, First);
  EXPECT_EQ(EndSession(), 1);
  EXPECT_FALSE(Alive(Second)) << "the saver outlived its watcher";
  EXPECT_EQ(TheLines(),
            std::vector<std::string>{"the scripted session is gone; the idle watcher ends"});
}

TEST_F(IdleWatcherTest, ASaverThatIgnoresSigtermIsKilled) {
  Start(Sleeper("trap '' TERM; "));
  Send("I");
  ASSERT_TRUE(WaitFor([&] { return Alive(SaverPid()); }, 15s, 1ms));
  Send("A");
  EXPECT_TRUE(WaitFor([&] { return !Alive(SaverPid()) && Shared->Ended == 1; }, 15s, 1ms));
  EXPECT_TRUE(TheLines().empty()) << TheLines()[0];  // an end it asked for is no failure
}

TEST_F(IdleWatcherTest, StopSignalsEndTheWatcherAndItsSaver) {
  for (const int Signal : {SIGTERM, SIGINT, SIGHUP}) {
    std::filesystem::remove(Scratch.Path() / "pid");
    Start(Sleeper());
    Send("I");
    ASSERT_TRUE(WaitFor([&] { return Alive(SaverPid()); }, 15s, 1ms)) << Signal;
    const pid_t Saver = SaverPid();
    kill(getpid(), Signal);
    ASSERT_EQ(Result.wait_for(15s), std::future_status::ready) << Signal;
    EXPECT_EQ(Result.get(), 0) << Signal;
    EXPECT_FALSE(Alive(Saver)) << Signal;
    close(WriteEnd);
    WriteEnd = -1;
  }
  EXPECT_TRUE(TheLines().empty());
}

// Each failure is one line; while the session stays idle the next try waits for the back-off,
// which doubles up to the longest. The first try of an idle period comes at once, even after
// failures in the one before.
TEST_F(IdleWatcherTest, AFailingSaverIsReportedAndRetriedOnlyAfterTheBackoff) {
  const struct {
    TSaverCommand Saver;
    const char* Line;
  } Cases[] = {
      {{"/bin/false", {}}, "the screen saver ended with exit status 1"},
      {{"/bin/sh", {"-c", "kill -SEGV $$"}},
       "the screen saver was killed by signal 11 (Segmentation fault)"},
      {{"/nonexistent/saver", {}},
       "the screen saver /nonexistent/saver could not be started: No such file or directory"},
  };
  for (const auto& C : Cases) {
    Start(C.Saver, TBackoff{1s, 4s, 60s});
    for (const auto Pause : {0s, 1s, 2s, 4s, 4s, 0s}) {
      const std::size_t Tries = TheLines().size();
      if (Pause > 0s) {
        Settle();  // the watcher has timed the pause before the clock moves
        const int Started = Shared->Started;
        Pass(Pause - 1ms);
        Settle();
        EXPECT_EQ(Shared->Started, Started) << C.Line << ", before a pause of " << Pause.count();
        EXPECT_EQ(TheLines().size(), Tries) << C.Line << ", before a pause of " << Pause.count();
        Pass(1ms);
      }
      Settle(Pause > 0s ? "" : "AI");
      ASSERT_TRUE(WaitFor([&] { return TheLines().size() == Tries + 1; }, 15s, 1ms)) << C.Line;
      EXPECT_EQ(TheLines().back(), C.Line);
    }
    EXPECT_EQ(EndSession(), 1);
  }
}

// A saver that ran for Settled before it failed starts the pause from First again, where one
// that failed at once doubles it.
TEST_F(IdleWatcherTest, ASaverThatRanLongEnoughRestartsTheBackoff) {
  Start(Sleeper(), TBackoff{1s, 4s, 60s});
  Send("I");
  // Kills the running saver after it has run for Ran; then the next one must wait Pause.
  for (const auto& [Ran, Pause] : {std::pair{0s, 1s}, {0s, 2s}, {60s, 1s}}) {
    ASSERT_TRUE(WaitFor([&] { return Alive(SaverPid()); }, 15s, 1ms));
    const int Started = Shared->Started;
    Pass(Ran);
    const pid_t Saver = SaverPid();
    std::filesystem::remove(Scratch.Path() / "pid");
    kill(Saver, SIGKILL);
    ASSERT_TRUE(WaitFor([&] { return Shared->Ended == Started; }, 15s, 1ms));
    Settle();
    Pass(Pause - 1ms);
    Settle();
    EXPECT_EQ(Shared->Started, Started) << "restarted before a pause of " << Pause.count();
    Pass(1ms);
    Settle();
    EXPECT_EQ(Shared->Started, Started + 1) << "not restarted after " << Pause.count();
  }
  EXPECT_EQ(EndSession(), 1);
}

TEST_F(IdleWatcherTest, NoSaverWhileLockedOrInhibited) {
  Start(Sleeper());
  Settle("LI");
  EXPECT_EQ(Shared->Started, 0);
  Inhibit("a video plays");
  Settle("UI");
  EXPECT_EQ(Shared->Started, 0);
  Inhibit("");
  Send("AI");
  ASSERT_TRUE(WaitFor([&] { return Alive(SaverPid()); }, 15s, 1ms));
  const pid_t Saver = SaverPid();
  Send("L");  // the lock ends it
  EXPECT_TRUE(WaitFor([&] { return !Alive(Saver) && Shared->Ended == 1; }, 15s, 1ms));
  Settle();
  EXPECT_EQ(Shared->Started, 1);
  EXPECT_EQ(EndSession(), 1);
}

// What holds the session awake besides its idle source (an inhibit coming up, a program's report of
// activity) ends the saver, and the idle source may never tell of it: the saver comes back one idle
// period later, or a period after that while an inhibitor is up then. An inhibitor watch that is
// gone is dropped, and the watcher goes on.
TEST_F(IdleWatcherTest, AHeldSessionIsAskedAgainOneIdlePeriodLater) {
  TBackoff Backoff;
  Backoff.IdlePeriod = 10s;
  Start(Sleeper(), Backoff);
  Send("I");
  ASSERT_TRUE(WaitFor([&] { return Alive(SaverPid()); }, 15s, 1ms));
  const pid_t First = SaverPid();
  ASSERT_EQ(write(InhibitorEnd, "H", 1), 1);
  ASSERT_TRUE(WaitFor([&] { return !Alive(First) && Shared->Ended == 1; }, 15s, 1ms));
  Settle();
  Pass(Backoff.IdlePeriod - 1ms);
  Settle();
  EXPECT_EQ(Shared->Started, 1) << "back before the idle period had passed";
  Inhibit("a video plays");
  Pass(1ms);
  Settle();
  EXPECT_EQ(Shared->Started, 1) << "started under an inhibitor";
  Inhibit("");
  Pass(Backoff.IdlePeriod);
  Settle();
  EXPECT_TRUE(WaitFor([&] { return Shared->Started == 2 && Alive(SaverPid()); }, 15s, 1ms));
  close(std::exchange(InhibitorEnd, -1));
  EXPECT_TRUE(WaitFor([&] { return !TheLines().empty(); }, 15s, 1ms));
  Send("A");
  EXPECT_TRUE(WaitFor([&] { return Shared->Ended == 2; }, 15s, 1ms)) << "the watcher ended";
  EXPECT_EQ(TheLines(), std::vector<std::string>{"the scripted session is gone; it no longer "
                                                 "holds the saver off"});
  EXPECT_EQ(EndSession(), 1);
}

// SIGUSR1 from a lock command ends the saver before the locker comes up; none starts again in that
// idle period (not even once the back-off has passed). A locker that no session service tells of
// (swaylock, i3lock) keeps it away while it runs; once that has gone, the next idle starts one.
TEST_F(IdleWatcherTest, ALockCommandEndsTheSaverUntilTheNextIdle) {
  Start(Sleeper());
  kill(getpid(), SIGUSR1);  // with no saver running: the watcher goes on
  Send("I");
  ASSERT_TRUE(WaitFor([&] { return Alive(SaverPid()); }, 15s, 1ms));
  const pid_t First = SaverPid();
  kill(getpid(), SIGUSR1);
  EXPECT_TRUE(WaitFor([&] { return !Alive(First) && Shared->Ended == 1; }, 15s, 1ms));
  Pass(TBackoff().Longest);
  Settle();
  EXPECT_EQ(Shared->Started, 1);
  {
    const TNamedProcess Locker(Scratch.Path(), LockerName);
    ASSERT_GT(Locker.Id(), 0);
    Settle("AI");
    EXPECT_EQ(Shared->Started, 1);
  }
  Send("AI");
  EXPECT_TRUE(WaitFor([&] { return Shared->Started == 2 && Alive(SaverPid()); }, 15s, 1ms));
  EXPECT_TRUE(TheLines().empty()) << TheLines()[0];
  EXPECT_EQ(EndSession(), 1);
}

}  // namespace
