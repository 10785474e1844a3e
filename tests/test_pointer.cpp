// The screen saver's mouse rule: a move counts when it leaves the first known place by more than
// 30 pixels on both axes at once; a window's first pointer event only sets where the pointer is.
#include "Pointer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(PointerRule, ScreenWideReadingsCountFromTheFirst) {
  const struct {
    const char* Label;
    std::vector<TPoint> Readings;  // after the first, the last decides
    bool Fires;
  } Cases[] = {
      {"resting", {{500, 400}, {500, 400}}, false},
      {"31 right and 31 down", {{500, 400}, {531, 431}}, true},
      {"31 left and 31 up", {{500, 400}, {469, 369}}, true},
      {"exactly 30 on both axes", {{500, 400}, {530, 430}}, false},
      {"200 along one axis only", {{500, 400}, {700, 400}}, false},
      {"far away and back: only the last reading counts", {{500, 400}, {900, 900}, {505, 405}}, false},
      {"the first reading is the start, wherever it is", {{0, 0}, {20, 20}}, false},
  };
  for (const auto& C : Cases) {
    TPointerRule Rule;
    bool Fired = false;
    for (const TPoint P : C.Readings) Fired = Rule.Read(P);
    EXPECT_EQ(Fired, C.Fires) << C.Label;
  }
}

// Regression: on Wayland the pointer's place read (0,0) until it entered a window, so its entry
// under a resting pointer mid-screen counted as a move of hundreds of pixels and ended the saver.
TEST(PointerRule, AWindowsFirstEventIsItsStartNeverAMove) {
  TPointerRule Rule;
  EXPECT_FALSE(Rule.Event(1, {960, 540}));  // entering, or mapped under the pointer
  EXPECT_FALSE(Rule.Event(1, {965, 545}));
  EXPECT_FALSE(Rule.Event(2, {10, 10}));  // first seen in another monitor's window
  EXPECT_FALSE(Rule.Event(2, {40, 40}));  // 30 from there: not yet
  EXPECT_TRUE(Rule.Event(2, {41, 41}));
  EXPECT_TRUE(Rule.Event(1, {900, 470}));  // 60 and 70 from window 1's start
  EXPECT_FALSE(Rule.Start().has_value());  // events never make a screen-wide start
}

}  // namespace
