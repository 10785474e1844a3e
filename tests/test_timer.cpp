#include "Timer.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

TEST(PerfTimer, FallbackClockCountsMilliseconds) {
  struct TCase {
    std::uint32_t Start, Later;
    float Seconds;
  } const Cases[] = {
      {1000, 1000, 0.0f},
      {1000, 1001, 0.001f},  // steps of one millisecond
      {1000, 2500, 1.5f},
      {0xFFFFFF00u, 0x00000100u, 0.512f},  // the clock wrapped between start and now
      {0xFFFFFFFFu, 0xFFFFFFFEu, 4294967.295f},  // a full lap less one tick, never negative
  };
  for (const TCase& Case : Cases) {
    TFakeMillisecondClock Clock;
    Clock.Now = Case.Start;
    const TPerfTimer Timer;
    Clock.Now = Case.Later;
    EXPECT_FLOAT_EQ(Timer.Elapsed(), Case.Seconds) << Case.Start << " to " << Case.Later;
  }
}

TEST(PerfTimer, CounterTicksCountAtTheCountersFrequency) {
  std::int64_t Ticks = 5;
  SetPerformanceCounter([&Ticks] { return Ticks; });
  const TPerfTimer Timer;
  Ticks = 5 + PerformanceFrequency() * 3 / 2;
  EXPECT_FLOAT_EQ(Timer.Elapsed(), 1.5f);
  SetPerformanceCounter({});
}

// The real counter and the frequency it is read with keep pace with the steady clock, both ways:
// the reading lies between the shortest and the longest span the steady clock saw around it.
TEST(PerfTimer, CounterKeepsPaceWithTheSteadyClock) {
  using Clock = std::chrono::steady_clock;
  const auto Seconds = [](Clock::duration D) { return std::chrono::duration<double>(D).count(); };
  const Clock::time_point BeforeStart = Clock::now();
  const TPerfTimer Timer;
  const Clock::time_point AfterStart = Clock::now();  // then let some time pass
  while (Clock::now() - AfterStart < std::chrono::milliseconds(20)) continue;
  const Clock::time_point BeforeRead = Clock::now();
  const double Elapsed = Timer.Elapsed();
  EXPECT_LE(Elapsed, Seconds(Clock::now() - BeforeStart) + 1e-4);
  EXPECT_GE(Elapsed, Seconds(BeforeRead - AfterStart) - 1e-4);
}
