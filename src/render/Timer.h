// Timer: seconds since creation from the high-resolution performance counter, or from the
// millisecond clock where there is no such counter. Depends on Platform (the clocks) only.
#pragma once

#include <cstdint>

class TPerfTimer {
public:
  TPerfTimer();  // starts the timer

  // Seconds since creation, as a single float (its step grows with the running time).
  float Elapsed() const;

private:
  std::int64_t FFrequency = 0;
  float FResolution = 0;
  std::uint32_t FStartTime = 0;  // fallback clock only
  bool FUsesCounter = false;
  std::int64_t FStartCount = 0;  // counter only
};
