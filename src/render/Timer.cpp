#include "Timer.h"

#include "Platform.h"

TPerfTimer::TPerfTimer() : FFrequency(PerformanceFrequency()) {
  if (FFrequency <= 0) {
    FUsesCounter = false;
    FStartTime = MillisecondClock();
    FResolution = 0.001f;
    FFrequency = 1000;
    return;
  }
  FStartCount = PerformanceCounter();
  FUsesCounter = true;
  FResolution = float(1.0 / double(FFrequency));
}

float TPerfTimer::Elapsed() const {
  std::int64_t Ticks;
  if (FUsesCounter)
    Ticks = PerformanceCounter() - FStartCount;
  else
    // Unsigned difference: still the right count after the millisecond clock wraps at 2^32.
    Ticks = std::int64_t(std::uint32_t(MillisecondClock() - FStartTime));
  return float(double(Ticks) * double(FResolution));
}
