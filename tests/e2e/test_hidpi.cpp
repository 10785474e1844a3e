// The screen saver and the desktop window on high-DPI outputs of a headless sway: drawn at each
// output's own pixels, not at its logical size enlarged by the compositor, and covering an output
// of a fractional scale to its last row and column.
#include <gtest/gtest.h>

#include "Sessions.h"

#include <cstdlib>
#include <memory>
#include <string>

namespace {

using namespace std::chrono_literals;

// The share of neighbouring columns (Columns) or rows that are equal all along: a picture drawn
// at half the output's pixels and doubled by the compositor has every second one a repeat (0.5),
// one enlarged by 1.5 every third.
double RepeatShare(const TPicture& P, bool Columns) {
  const int Lines = Columns ? P.Width : P.Height, Along = Columns ? P.Height : P.Width;
  int Repeats = 0;
  for (int I = 0; I + 1 < Lines; ++I) {
    bool Same = true;
    for (int J = 0; J < Along && Same; ++J)
      Same = Columns ? P.At(I, J) == P.At(I + 1, J) : P.At(J, I) == P.At(J, I + 1);
    Repeats += Same;
  }
  return Lines > 1 ? double(Repeats) / (Lines - 1) : 1;
}

// Brightness of one column (Column) or row, all channels.
double LineBrightness(const TPicture& P, bool Column, int At) {
  double Sum = 0;
  const int Along = Column ? P.Height : P.Width;
  for (int J = 0; J < Along; ++J)
    for (int C : Column ? P.At(At, J) : P.At(J, At)) Sum += C;
  return Sum / Along;
}

// What Picture (of an output of Width x Height pixels) lacks of a scene drawn at those pixels and
// covering them to the last row and column; empty when nothing. Only the middle is looked at
// unless WholeScene (a tiled window has a title bar and borders).
std::string WhatIsNotPhysical(const TPicture& Picture, int Width, int Height, bool WholeScene) {
  // grim pictures an output of a fractional scale at its logical size times the scale, which may
  // come out a pixel short.
  if (std::abs(Picture.Width - Width) > 1 || std::abs(Picture.Height - Height) > 1)
    return std::to_string(Picture.Width) + "x" + std::to_string(Picture.Height) + " pixels";
  const TPicture Middle =
      Picture.Part(Picture.Width / 4, Picture.Height / 4, Picture.Width / 2, Picture.Height / 2);
  if (const double Share = RepeatShare(Middle, true); Share > 0.02)
    return std::to_string(int(Share * 100)) + " % repeated columns";
  if (const double Share = RepeatShare(Middle, false); Share > 0.02)
    return std::to_string(int(Share * 100)) + " % repeated rows";
  if (!WholeScene) return {};
  if (const std::string Lack = WhatTheSceneLacks(Picture); !Lack.empty()) return Lack;
  const int W = Picture.Width, H = Picture.Height;
  if (LineBrightness(Picture, true, W - 1) < LineBrightness(Picture, true, W - 2) / 2)
    return "the last column";
  if (LineBrightness(Picture, false, H - 1) < LineBrightness(Picture, false, H - 2) / 2)
    return "the last row";
  return {};
}

// Outputs at scale 2 and at 1.5, whose logical width (853.3) is not whole: sway rounds the saver's
// window to whole logical pixels, which must still reach the last physical column.
class HiDpi : public ::testing::Test {
protected:
  void SetUp() override {
    std::string Missing;
    Session = TSwaySession::Open(VADREL_PROGRAM, VADREL_BUILD_DATA_DIR,
                                 {{2560, 1600, 2}, {1280, 800, 1.5}}, Missing);
    if (!Session) GTEST_SKIP() << "no " << Missing;
    ASSERT_EQ(Session->Failure(), "");
  }

  // "Output: what its picture lacks; " (see WhatIsNotPhysical), the picture saved for a person to
  // look at; empty when it lacks nothing.
  std::string Lack(const std::string& Output, int Width, int Height, bool WholeScene) {
    std::string Errors;
    const TPicture Picture = Session->Capture(Output, Errors);
    if (Picture.Rgb.empty()) return Output + ": no picture: " + Errors + "; ";
    std::string Lack = WhatIsNotPhysical(Picture, Width, Height, WholeScene);
    if (!Lack.empty())
      SavePicture(Picture, ::testing::TempDir() + "hidpi-" + Output + ".png");
    return Lack.empty() ? Lack : Output + ": " + Lack + "; ";
  }

  std::unique_ptr<TSwaySession> Session;
};

TEST_F(HiDpi, TheSaverAndTheDesktopWindowAreDrawnAtTheOutputsPixels) {
  std::string Lacks;
  {
    TProcess Saver(Session->Program(), {}, Session->Setting());
    EXPECT_TRUE(WaitFor([&] {
      return (Lacks = Lack("HEADLESS-1", 2560, 1600, true) + Lack("HEADLESS-2", 1280, 800, true))
          .empty();
    }, 40s)) << Lacks << Saver.Stderr();
  }
  // Made at 1024x640 logical pixels, then tiled to the output's size: its drawable follows.
  std::string Answer;
  ASSERT_EQ(Session->Message({"focus output HEADLESS-1"}, Answer), 0) << Answer;
  TProcess Window(Session->Program(), {"--window"}, Session->Setting());
  EXPECT_TRUE(WaitFor([&] { return (Lacks = Lack("HEADLESS-1", 2560, 1600, false)).empty(); },
                      20s)) << Lacks << Window.Stderr();
}

}  // namespace
