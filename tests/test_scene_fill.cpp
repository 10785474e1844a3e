// The default scene fills every shape of view it meets: 4:3, 16:10, 16:9, 21:9, two screens side
// by side (32:9), the settings dialog's small preview and a 4K screen. Rendered with the shipped
// data and a fixed flock seed on a real offscreen GL context.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "Platform.h"
#include "Scene.h"
#include "TestSupport.h"
#include "Vadrel.h"

namespace {

struct TViewSize {
  int Width, Height;
};

void PrintTo(const TViewSize& Size, std::ostream* Out) { *Out << Size.Width << " x " << Size.Height; }

std::string SizeName(const ::testing::TestParamInfo<TViewSize>& Info) {
  return std::to_string(Info.param.Width) + "x" + std::to_string(Info.param.Height);
}

class SceneFill : public ::testing::TestWithParam<TViewSize> {
protected:
  void SetUp() override {
    if (!FileExists(MapPath("C:\\Vadrel_Data\\Vadrel.pp2")))
      GTEST_SKIP() << "no generated data in " << DataFolder();
    if (!GL.Ok()) GTEST_SKIP() << "no GL context: " << GL.Error();
  }
  // The default scene's frame after Frames frames, RGBA rows bottom first.
  std::vector<std::uint8_t> Render(int Frames) {
    TSettings Settings;
    Settings.FlockSeed = 1;
    TOceanScene Ocean(Settings);
    Ocean.ResizeScene(W, H);
    Ocean.InitScene();
    for (int F = 0; F < Frames; ++F) Ocean.DrawScene();
    return GL.ReadPixels();
  }

  const int W = GetParam().Width, H = GetParam().Height;
  TGLTestContext GL{W, H};
};

// The bare clear colour means nothing was drawn there: a hole in the picture. A box edge (the
// backdrop's side, the floor's end) shows as a brightness step between neighbouring columns that
// runs straight down; columns W / 200 apart are compared, so an edge softened over a few pixels
// still counts. Creatures, shafts of light and the painted weed are far shorter, or slanted.
TEST_P(SceneFill, NoClearColourAndNoStraightVerticalEdgeInTheUpperHalf) {
  const std::vector<std::uint8_t> Frame = Render(10);
  const auto Pixel = [&](int X, int Y) { return &Frame[(std::size_t(Y) * W + X) * 4]; };

  int Clear = 0;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const std::uint8_t* P = Pixel(X, Y);
      if (std::abs(P[0] - 77) <= 2 && std::abs(P[1] - 77) <= 2 && P[2] >= 253) ++Clear;
    }
  EXPECT_EQ(Clear, 0) << "pixels of the bare clear colour";

  const auto Brightness = [&](int X, int Y) {
    const std::uint8_t* P = Pixel(X, Y);
    return 0.299 * P[0] + 0.587 * P[1] + 0.114 * P[2];
  };
  const int Gap = std::max(1, W / 200);
  constexpr double Step = 6.0;  // of 255
  int Longest = 0, LongestX = 0;
  for (int X = 0; X + Gap < W; ++X) {
    int Run = 0, Sign = 0;
    for (int Y = H - 1; Y >= H / 2; --Y) {  // the upper half, top down
      const double D = Brightness(X + Gap, Y) - Brightness(X, Y);
      const int S = D > Step ? 1 : D < -Step ? -1 : 0;
      Run = S == 0 ? 0 : S == Sign ? Run + 1 : 1;
      Sign = S;
      if (Run > Longest) {
        Longest = Run;
        LongestX = X;
      }
    }
  }
  EXPECT_LE(Longest, H / 5) << "a brightness step runs straight down at column " << LongestX;
}

INSTANTIATE_TEST_SUITE_P(Screens, SceneFill,
                         ::testing::Values(TViewSize{1024, 768}, TViewSize{1280, 800},
                                           TViewSize{1920, 1080}, TViewSize{2560, 1080},
                                           TViewSize{3840, 1080}, TViewSize{200, 150},
                                           TViewSize{3840, 2160}),
                         SizeName);

}  // namespace
