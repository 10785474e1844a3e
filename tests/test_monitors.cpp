// Which full-screen view covers which monitor, as the desktop moves, resizes, hides and
// minimizes the windows while monitors come and go.
#include <gtest/gtest.h>

#include "Monitors.h"

namespace {

constexpr TMonitor Left{0, 0, 1280, 800}, Middle{1280, 0, 1280, 800}, Right{2560, 0, 1280, 800};

// A view made for Target whose window is now at Now.
TViewPlace At(TMonitor Target, TMonitor Now, bool Shown = true, bool Arriving = false) {
  return {Target, Now, Shown, Arriving};
}

TEST(CoveringViews, FollowsWhereTheDesktopHasEachWindowNow) {
  const TMonitor Wider{0, 0, 1920, 800}, MovedRight{1920, 0, 1280, 800};
  const struct {
    const char* Case;
    std::vector<TMonitor> Found;
    std::vector<TViewPlace> Views;
    bool SizesTrue;
    std::vector<int> Owners;
  } Cases[] = {
      {"each on its own", {Left, Middle, Right},
       {At(Left, Left), At(Middle, Middle), At(Right, Right)}, true, {0, 1, 2}},
      // The middle output unplugged: the compositor moves its window onto the first output and
      // the third output to where the middle one was; the first keeps its own view.
      {"a gone output's window moved onto another's", {Left, MovedRight},
       {At(Middle, Left), At(Left, Left), At(Right, MovedRight)}, false, {1, 2}},
      {"a window in another's place takes a monitor of none", {Left, Middle},
       {At(Left, Left), At(Right, Middle)}, true, {0, 1}},
      {"a minimized window covers nothing", {Left, Middle},
       {At(Left, Left), At(Middle, Middle, false)}, true, {0, -1}},
      {"a new window counts as on its target until it has got there", {Left, Middle},
       {At(Left, Left), At(Middle, Left, true, true)}, true, {0, 1}},
      // SDL keeps a Wayland output's first size; only X11's sizes tell.
      {"a window of the wrong size on X11", {Left}, {At(Left, Wider)}, true, {-1}},
      {"a window of another size on Wayland", {Left}, {At(Left, Wider)}, false, {0}},
      {"a monitor with no view", {Left, Middle, Right}, {At(Left, Left)}, true, {0, -1, -1}},
      {"no monitor", {}, {At(Left, Left)}, true, {}},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(CoveringViews(C.Found, C.Views, C.SizesTrue), C.Owners) << C.Case;
}

}  // namespace
