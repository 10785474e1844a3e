// The default scene fills every shape of view it meets: 4:3, 16:10, 16:9, 21:9, two screens side
// by side (32:9), the settings dialog's small preview and a 4K screen: no hole, no box edge in
// view, the school across the whole width, and no line where the painted backdrop meets the sea
// floor. Rendered with the shipped data and a fixed flock seed on a real offscreen GL context.
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
  const int W = GetParam().Width, H = GetParam().Height;
  TGLTestContext GL{W, H};

  // The default scene's frame after Frames frames, RGBA rows bottom first; the school is
  // BoidCount + 1 fish (none for -1).
  std::vector<std::uint8_t> Render(int Frames, std::int32_t BoidCount = Scene::DefaultBoidCount) {
    TSettings Settings;
    Settings.FlockSeed = 1;
    Settings.BoidCount = BoidCount;
    TOceanScene Ocean(Settings);
    Ocean.ResizeScene(W, H);
    Ocean.InitScene();
    for (int F = 0; F < Frames; ++F) Ocean.DrawScene();
    return GL.ReadPixels();
  }
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

// ---- The school across the width ---------------------------------------------------------------

// Three frames in, 400 fish are still scattered over their whole world as they started: wherever
// the frame differs from the same scene without fish, a fish is drawn. Each outer eighth of the
// width holds at least half its even share of those pixels, on a view wider than 4:3 as on the
// design's own.
using FishAcrossTheWidth = SceneFill;

TEST_P(FishAcrossTheWidth, FishReachTheOuterEighthsOfTheView) {
  const std::vector<std::uint8_t> School = Render(3, 399), Empty = Render(3, -1);
  long Left = 0, Right = 0, All = 0;
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      const std::size_t I = (std::size_t(Y) * W + X) * 4;
      const int D = std::abs(School[I] - Empty[I]) + std::abs(School[I + 1] - Empty[I + 1]) +
                    std::abs(School[I + 2] - Empty[I + 2]);
      if (D <= 24) continue;
      ++All;
      if (X < W / 8) ++Left;
      if (X >= W - W / 8) ++Right;
    }
  ASSERT_GT(All, 0) << "no fish drawn";
  EXPECT_GE(Left * 16, All) << Left << " of " << All << " fish pixels in the left eighth";
  EXPECT_GE(Right * 16, All) << Right << " of " << All << " fish pixels in the right eighth";
}

INSTANTIATE_TEST_SUITE_P(Screens, FishAcrossTheWidth,
                         ::testing::Values(TViewSize{1024, 768}, TViewSize{1280, 800},
                                           TViewSize{2560, 1080}, TViewSize{3840, 1080}),
                         SizeName);

// The flock's world for each shape of view: the design's 1000 x 1000 at 4:3 and narrower, widened
// with the view beyond, about the design world's middle; a later resize fits it again, every fish
// keeping its place in the flock's plane (so on screen).
TEST(FlockWorld, WidensWithTheViewBeyondFourToThreeAboutItsMiddle) {
  if (!FileExists(MapPath("C:\\Vadrel_Data\\Vadrel.pp2")))
    GTEST_SKIP() << "no generated data in " << DataFolder();
  TGLTestContext GL(64, 64);
  if (!GL.Ok()) GTEST_SKIP() << "no GL context: " << GL.Error();
  const struct {
    int Width, Height;
    double WorldWidth;
  } Cases[] = {{1024, 768, 1000},          {800, 800, 1000},          {768, 1024, 1000},
               {200, 150, 1000},           {1280, 800, 1200},         {1920, 1080, 4000.0 / 3},
               {2560, 1080, 16000.0 / 9},  {3840, 1080, 8000.0 / 3},  {3840, 2160, 4000.0 / 3}};
  TSettings Settings;
  Settings.FlockSeed = 1;
  TOceanScene Later(Settings);  // set up at 4:3 and resized to each shape in turn
  Later.ResizeScene(1024, 768);
  Later.InitScene();
  const auto Places = [](const TFlock& Flock) {
    std::vector<double> X;
    for (const auto& Boid : Flock.Boids()) X.push_back(Boid->X() + Flock.Left());
    return X;
  };
  const std::vector<double> Start = Places(*Later.Flock());
  for (const auto& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Width) + " x " + std::to_string(C.Height));
    TOceanScene Ocean(Settings);
    Ocean.ResizeScene(C.Width, C.Height);
    Ocean.InitScene();
    const TFlock& Flock = *Ocean.Flock();
    EXPECT_NEAR(Flock.Width(), C.WorldWidth, 1e-9);
    EXPECT_EQ(Flock.Height(), 1000.0);
    EXPECT_NEAR(Flock.Left(), (1000 - C.WorldWidth) / 2, 1e-9);
    for (const auto& Boid : Flock.Boids()) {
      EXPECT_GE(Boid->X(), 0.0);
      EXPECT_LT(Boid->X(), Flock.Width());
    }
    Ocean.FreeScene();

    Later.ResizeScene(C.Width, C.Height);
    EXPECT_NEAR(Later.Flock()->Width(), C.WorldWidth, 1e-9);
    EXPECT_NEAR(Later.Flock()->Left(), (1000 - C.WorldWidth) / 2, 1e-9);
  }
  // Widened and narrowed again, the school is where it started.
  Later.ResizeScene(1024, 768);
  const std::vector<double> End = Places(*Later.Flock());
  ASSERT_EQ(End.size(), Start.size());
  for (std::size_t I = 0; I < End.size(); ++I) EXPECT_NEAR(End[I], Start[I], 1e-9);
  Later.FreeScene();
}

// ---- The horizon -------------------------------------------------------------------------------

// Where the backdrop's bottom edge meets the sea floor no line runs across the width: from one
// row to the next, neither the mean brightness nor the picture pixel by pixel (the caustic pattern
// giving way to a painted one) changes more there than between the 30 rows on either side, and
// pixel by pixel at most 1.3 times as much. Without fish, at three frames of the moving caustic
// light from the second frame on (the first draws the backdrop untextured), on an animation clock
// that steps as a seeded render's does.
using Horizon = SceneFill;

TEST_P(Horizon, NoRowStepsMoreAtTheBackdropsEdgeThanAroundIt) {
  using namespace Scene;
  // The edge's height in the view, from the bottom (pixel rows have their centres at i + 0.5).
  const double EdgeY = CameraTranslation[1] + BackdropTranslation[1] + BackdropBottom;
  const double EdgeDepth = -(CameraTranslation[2] + BackdropTranslation[2]);
  const double Edge =
      H / 2.0 * (1 + EdgeY / EdgeDepth / std::tan(FieldOfViewDegrees / 2 * Pi / 180));
  const int Floor = int(std::floor(Edge - 0.5));  // the top row of the floor
  constexpr int Around = 30;

  TFakeMillisecondClock Clock;
  TSettings Settings;
  Settings.FlockSeed = 1;
  Settings.BoidCount = -1;
  TOceanScene Ocean(Settings);
  Ocean.ResizeScene(W, H);
  Ocean.InitScene();
  for (int Frame = 1; Frame <= 14; ++Frame, Clock.Now += 1000 / HeadlessFrameRate) {
    Ocean.DrawScene();
    if (Frame % 6 != 2) continue;  // frames 2, 8 and 14, each with a caustic frame of its own
    SCOPED_TRACE("frame " + std::to_string(Frame));
    const std::vector<std::uint8_t> Pixels = GL.ReadPixels();
    const auto Row = [&](int Y) { return &Pixels[std::size_t(Y) * W * 4]; };
    // Step I is from row Floor - Around + I to the next: step Around, from the floor's top row to
    // the backdrop's bottom row, is the edge's, and so are the steps next to it, in case the edge
    // falls a row off.
    double MeanAtEdge = 0, MeanAround = 0, PixelAtEdge = 0, PixelAround = 0;
    for (int I = 0; I < 2 * Around + 1; ++I) {
      const std::uint8_t *A = Row(Floor - Around + I), *B = Row(Floor - Around + I + 1);
      double Mean = 0, Pixel = 0;
      for (int X = 0; X < W * 4; X += 4) {
        const auto Grey = [X](const std::uint8_t* P) { return 0.299 * P[X] + 0.587 * P[X + 1] + 0.114 * P[X + 2]; };
        Mean += Grey(B) - Grey(A);
        Pixel += std::abs(B[X] - A[X]) + std::abs(B[X + 1] - A[X + 1]) + std::abs(B[X + 2] - A[X + 2]);
      }
      const bool AtEdge = std::abs(I - Around) <= 1;
      double& MeanKind = AtEdge ? MeanAtEdge : MeanAround;
      double& PixelKind = AtEdge ? PixelAtEdge : PixelAround;
      MeanKind = std::max(MeanKind, std::abs(Mean) / W);
      PixelKind = std::max(PixelKind, Pixel / (3.0 * W));
    }
    EXPECT_LE(MeanAtEdge, MeanAround) << "mean brightness at the backdrop's bottom edge (row " << Floor << " from the bottom)";
    EXPECT_LE(PixelAtEdge, 1.3 * PixelAround) << "pixel by pixel at the backdrop's bottom edge (row " << Floor << " from the bottom)";
  }
}

INSTANTIATE_TEST_SUITE_P(Screens, Horizon,
                         ::testing::Values(TViewSize{1920, 1080}, TViewSize{2560, 1440},
                                           TViewSize{3840, 2160}, TViewSize{3840, 1080}),
                         SizeName);

}  // namespace
