// The saver ended within its first second, as the idle watcher ends it when the user comes back
// just as it starts: under headless sway, with the pointer moving, SIGTERM comes at delays spread
// over most of that second, in the full-screen saver and the desktop window alike. sway 1.7 crashed
// (taking the whole session with it) whenever the end came before the saver's loop had handled
// the answer to its window's raise; it must outlive every end.
#include <gtest/gtest.h>

#include "Sessions.h"

#include <signal.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The pointer set down mid-output, then nudged a few pixels at a time for about a second: input,
// but far less than the saver's exit rule.
std::vector<std::string> PointerNudges() {
  std::vector<std::string> Commands = {"abs", "640", "400", "1280", "800"};
  for (int I = 0; I < 25; ++I) Commands.insert(Commands.end(), {"move", "3", "2", "sleep", "40"});
  return Commands;
}

TEST(SwayEarlyEnd, TheSaverEndedWithinItsFirstSecondNeverCrashesSway) {
  std::string Missing;
  const auto Session = TSwaySession::Open(VADREL_PROGRAM, VADREL_BUILD_DATA_DIR, 1, Missing);
  if (!Session) GTEST_SKIP() << "no " << Missing;
  ASSERT_EQ(Session->Failure(), "");
  const std::string Pointer = Session->Copy(VADREL_VIRTUAL_POINTER);
  // The fault came only before about 0.4 s here, every time: ends are spread to 0.7 s.
  constexpr int Runs = 16;
  for (int Run = 0; Run < Runs; ++Run) {
    const auto Delay = 100ms + 600ms * Run / (Runs - 1);
    const bool Windowed = Run % 2 == 1;
    const std::string What = std::string(Windowed ? "--window" : "the saver") + " ended after " +
                             std::to_string(Delay / 1ms) + " ms";
    TProcess Mouse(Pointer, PointerNudges(), Session->Setting());
    TProcess Saver(Session->Program(),
                   Windowed ? std::vector<std::string>{"--window"} : std::vector<std::string>{},
                   Session->Setting());
    std::this_thread::sleep_for(Delay);
    kill(Saver.Id(), SIGTERM);
    EXPECT_EQ(Saver.WaitForExit(20s), 0) << What << ": " << Saver.Stderr();
    // A crash the saver's last requests cause has come by sway's answer here (or at the latest
    // by the next run's).
    std::string Version;
    Session->Message({"-t", "get_version"}, Version);
    ASSERT_TRUE(Session->CompositorRuns()) << "sway crashed: " << What << "\n"
                                           << Session->CompositorErrors();
  }
}

}  // namespace
