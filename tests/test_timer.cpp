#include "Timer.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

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

TEST(PerfTimer, CounterMeasuresRealTime) {
  const TPerfTimer Timer;
  const float First = Timer.Elapsed();
  EXPECT_GE(First, 0.0f);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(Timer.Elapsed(), First + 0.019f);  // a lower bound only: the machine may be slow
}
