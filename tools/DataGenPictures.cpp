// The still pictures: the backdrop "Vadrel200.bmp", the creature's skin "Vadrel201.bmp" and the
// sand "Vadrel202.bmp". What the program does to them: nothing is lit; a pixel is the current
// colour times the texture (times the caustic frame on the sand), then blue fog.
#include <algorithm>
#include <array>
#include <cmath>

#include "DataGen.h"

namespace datagen {

namespace {

float Clamp01(double V) { return float(std::clamp(V, 0.0, 1.0)); }
double SmoothStep(double A, double B, double X) {
  const double T = std::clamp((X - A) / (B - A), 0.0, 1.0);
  return T * T * (3 - 2 * T);
}

// ---- Backdrop ---------------------------------------------------------------------------------
// Shown on the scene's backdrop quad (16 x 5 at depth 13) covering the upper band of the view,
// mirrored left to right (so nothing in it may depend on handedness). At its bottom edge, where
// the quad ends in front of the far sea floor, it fades into exactly what the viewer sees beyond
// it, so that edge reads as the floor's horizon. Its sides are never in view: a view wider than
// 4:3 widens the quad and repeats the picture across it, so everything in it tiles left to right.
//
// The quad spans 13 tan(22.5 deg) * 2 / 5 of the view's height whatever its shape, and a picture
// width of it 16 / 5 times that: the picture's BackdropWidth x BackdropHeight texels give a 4K
// screen (2160 rows) 0.64 texel per pixel across and 0.51 down, so its outlines stay sharp there.
// It is painted in design units, DesignWidth x DesignHeight over the whole picture, so that the
// painting is the same at any resolution and only gains detail.
constexpr int BackdropWidth = 2048, BackdropHeight = 512;
constexpr double DesignWidth = 512, DesignHeight = 256;
constexpr double UnitsPerTexelX = DesignWidth / BackdropWidth, UnitsPerTexelY = DesignHeight / BackdropHeight;
// The design position of texel (X, Y), in units whose unit square is the design's texel.
double DesignX(int X) { return (X + 0.5) * UnitsPerTexelX - 0.5; }
double DesignY(int Y) { return (Y + 0.5) * UnitsPerTexelY - 0.5; }
constexpr TRgb SurfaceColour = {0.42f, 0.74f, 0.96f};  // top row: light through the surface
constexpr TRgb DeepColour = {0.07f, 0.20f, 0.46f};     // bottom row: deep water
constexpr TRgb FarRockColour = {0.12f, 0.22f, 0.44f};  // farther silhouettes, lost in the haze
constexpr TRgb NearRockColour = {0.06f, 0.13f, 0.30f};
constexpr double ShaftStrength = 0.32;
constexpr int ShaftCount = 9;
constexpr double ShaftSlant = 0.35;  // horizontal drift of a shaft per row going down
constexpr int WeedClumps = 14;
// Distance haze over the lowest HazeHeight of the picture: the far ridge stands in it lightly and
// the near one's feet are lost in it (HazeShape above 1 keeps the top of the band clear). Its
// colour is muted, near the far floor's after the quad's own fog, so the open water does not end
// in a dark band over a bright one. Only the lowest EdgeFade turns to the fog's colour itself, as
// the floor below does over about as many rows.
constexpr TRgb HazeColour = {0.26f, 0.27f, 0.64f};
constexpr double HazeHeight = 0.42, HazeShape = 1.4, HazeStrength = 0.85;
constexpr double EdgeFade = 0.10, EdgeShape = 1.8;
constexpr std::uint64_t BackdropSeed = 200;

// Where the quad stands, from the scene's set-up (see SceneFit): it spans eye-space y QuadBottom
// to QuadTop at QuadDepth. What lies beyond its bottom edge is the fog's colour.
constexpr double QuadDepth = SceneFit::BackdropDepth;
constexpr double QuadBottom = SceneFit::BackdropBottom, QuadTop = SceneFit::BackdropTop;
constexpr TRgb FogColour = {Scene::FogColor[0], Scene::FogColor[1], Scene::FogColor[2]};

// The top of the view crosses the quad at this height (0 bottom, 1 top): the vertical field of
// view is fixed, so whatever the screen's shape, the rows above are never seen.
const double VisibleTop = (QuadDepth * SceneFit::HalfViewTan() - QuadBottom) / (QuadTop - QuadBottom);

// Height of a silhouette line at Across (0..1 of the width; result 0..1 of the picture height from
// the bottom), tiling across the width so the mirrored picture has no seam to hide.
double RidgeLine(double Across, double Base, double Amplitude, int Period, std::uint64_t Seed) {
  return Base + Amplitude * (TiledFbm(Across * Period, 0.5, Period, 4, 0.5, Seed) - 0.5) * 2;
}

// Covers a disc of radius R (design units) about (Cx, Cy) in a coverage mask, wrapping across the
// width, its edge soft over about a texel.
void StampDisc(std::vector<float>& Mask, double Cx, double Cy, double R) {
  const double Edge = 1 / std::max(UnitsPerTexelX, UnitsPerTexelY);  // texels per design unit
  const int Left = int(std::floor((Cx - R - 1) / UnitsPerTexelX)), Right = int(std::ceil((Cx + R + 1) / UnitsPerTexelX));
  const int Top = std::max(0, int(std::floor((Cy - R - 1) / UnitsPerTexelY)));
  const int Bottom = std::min(BackdropHeight - 1, int(std::ceil((Cy + R + 1) / UnitsPerTexelY)));
  for (int Py = Top; Py <= Bottom; ++Py)
    for (int Px = Left; Px <= Right; ++Px) {
      const double D = std::hypot((Px + 0.5) * UnitsPerTexelX - Cx, (Py + 0.5) * UnitsPerTexelY - Cy);
      const double Cover = std::clamp((R - D) * Edge + 0.5, 0.0, 1.0);
      float& M = Mask[std::size_t(Py) * BackdropWidth + std::size_t(((Px % BackdropWidth) + BackdropWidth) % BackdropWidth)];
      M = std::max(M, float(Cover));
    }
}

// Adds a clump of swaying sea grass to a coverage mask: tapered blades from a common root (design
// units).
void AddWeed(std::vector<float>& Mask, TRandom& Random, double RootX, double GroundY) {
  const int Blades = 2 + int(Random.Uniform() * 4);
  for (int B = 0; B < Blades; ++B) {
    const double Tall = Random.Range(16, 52), Lean = Random.Range(-10, 10), Curl = Random.Range(-6, 6);
    const double Base = Random.Range(1.2, 2.4), Start = RootX + Random.Range(-3, 3);
    for (double S = 0; S <= 1.0; S += 0.2 / Tall)
      StampDisc(Mask, Start + Lean * S * S + Curl * std::sin(3.5 * S), GroundY - S * Tall, Base * (1.0 - 0.85 * S));
  }
}

// The open water: deep at the bottom, light towards the surface, soft shafts of light from the
// surface (placed with Random) and the surface's ripples near the top edge.
void PaintWater(TImage& Image, TRandom& Random) {
  struct TShaft {
    double Centre, Width, Strength;
  };
  std::vector<TShaft> Shafts;
  for (int I = 0; I < ShaftCount; ++I)
    Shafts.push_back({Random.Range(0, DesignWidth), Random.Range(8, 30), Random.Range(0.4, 1.0)});

  for (int Y = 0; Y < BackdropHeight; ++Y) {
    // 1 at the top of the view, which the quad overreaches (see VisibleTop).
    const double Up = std::min(1.0, (1.0 - (Y + 0.5) / BackdropHeight) / VisibleTop);
    const double Yd = DesignY(Y);
    for (int X = 0; X < BackdropWidth; ++X) {
      const double Xd = DesignX(X);
      TRgb C = Mix(DeepColour, SurfaceColour, float(std::pow(Up, 1.6)));
      // Soft shafts from the surface, fading with depth; they wrap across the width.
      double Shaft = 0;
      for (const TShaft& S : Shafts) {
        double D = std::fmod(Xd - S.Centre - ShaftSlant * (DesignHeight - Yd) + 4.0 * DesignWidth, DesignWidth);
        if (D > DesignWidth / 2.0) D -= DesignWidth;
        Shaft += S.Strength * std::exp(-D * D / (2 * S.Width * S.Width));
      }
      const double Flicker = 0.75 + 0.5 * TiledNoise(Xd / 32.0, Yd / 64.0, int(DesignWidth) / 32, BackdropSeed + 1);
      Shaft *= ShaftStrength * Flicker * std::pow(Up, 1.3);
      C = C + TRgb{0.75f, 0.95f, 1.0f} * float(Shaft);
      // Ripples of the surface seen from below, near the top edge.
      constexpr int ShimmerCells = 21;  // across the width
      const double Shimmer =
          TiledFbm(Xd * ShimmerCells / DesignWidth, Yd / 6.0, ShimmerCells, 3, 0.5, BackdropSeed + 2);
      C = C + TRgb{0.9f, 1.0f, 1.0f} * float(0.10 * SmoothStep(0.85, 1.0, Up) * (Shimmer - 0.35));
      Image.At(X, Y) = C;
    }
  }
}

// Distant silhouettes near the bottom: a far ridge with sea grass, then a nearer, darker one (the
// grass placed with Random).
void PaintSilhouettes(TImage& Image, TRandom& Random) {
  std::vector<float> FarMask(std::size_t(BackdropWidth) * BackdropHeight, 0.0f), NearMask = FarMask;
  for (int X = 0; X < BackdropWidth; ++X) {
    const double Across = DesignX(X) / DesignWidth;
    const double Far = RidgeLine(Across, 0.20, 0.08, 5, BackdropSeed + 3);
    const double Near = RidgeLine(Across, 0.13, 0.06, 9, BackdropSeed + 4);
    for (int Y = 0; Y < BackdropHeight; ++Y) {
      const double H = 1.0 - (Y + 0.5) / BackdropHeight;  // height above the bottom edge
      // A soft edge (about a texel and a half) so the outline does not shimmer when minified.
      const double FarEdge = 1.5 / BackdropHeight, NearEdge = 1.3 / BackdropHeight;
      FarMask[std::size_t(Y) * BackdropWidth + X] = float(SmoothStep(-FarEdge, FarEdge, Far - H));
      NearMask[std::size_t(Y) * BackdropWidth + X] = float(SmoothStep(-NearEdge, NearEdge, Near - H));
    }
  }
  for (int W = 0; W < WeedClumps; ++W) {
    const bool Far = W % 2 == 0;
    const double RootX = Random.Range(0, DesignWidth);
    const double Ground = DesignHeight * (1.0 - (Far ? 0.17 : 0.10));
    AddWeed(Far ? FarMask : NearMask, Random, RootX, Ground);
  }
  for (int Y = 0; Y < BackdropHeight; ++Y)
    for (int X = 0; X < BackdropWidth; ++X) {
      TRgb& C = Image.At(X, Y);
      C = Mix(C, FarRockColour, 0.65f * FarMask[std::size_t(Y) * BackdropWidth + X]);
      C = Mix(C, NearRockColour, 0.85f * NearMask[std::size_t(Y) * BackdropWidth + X]);
    }
}

// Fades the bottom rows into what lies beyond the quad's bottom edge: the sea floor at its
// horizon, so far that the fog has left nothing of it. Painted in the fog's colour the quad shows
// that colour after its own fog too, so the floor and the quad meet without a line, and the
// picture rises out of the haze above them. The texture repeats, so filtering at the quad's bottom
// edge also reaches the top rows: those, never in view, take the bottom row's colours, or the edge
// would show as a thin bright line.
void FadeIntoWhatLiesBeyond(TImage& Image) {
  std::vector<TRgb> BottomRow(BackdropWidth);
  for (int Y = BackdropHeight - 1; Y >= 0; --Y) {
    const double T = 1.0 - (Y + 0.5) / BackdropHeight;
    const double Haze = HazeStrength * std::pow(std::max(0.0, 1.0 - T / HazeHeight), HazeShape);
    const double Edge = std::pow(std::max(0.0, 1.0 - T / EdgeFade), EdgeShape);
    const double Top = SmoothStep(VisibleTop + 0.03, 1.0 - 2.0 / BackdropHeight, T);
    for (int X = 0; X < BackdropWidth; ++X) {
      TRgb& C = Image.At(X, Y);
      C = Mix(Mix(C, HazeColour, float(Haze)), FogColour, float(Edge));
      if (Y == BackdropHeight - 1) BottomRow[std::size_t(X)] = C;
      C = Mix(C, BottomRow[std::size_t(X)], float(Top));
      C = {Clamp01(C.R), Clamp01(C.G), Clamp01(C.B)};
    }
  }
}

}  // namespace

TImage MakeBackdrop() {
  TImage Image(BackdropWidth, BackdropHeight);
  TRandom Random(BackdropSeed);
  PaintWater(Image, Random);
  PaintSilhouettes(Image, Random);
  FadeIntoWhatLiesBeyond(Image);
  return Image;
}

void WriteBackdrop(const std::string& Folder) {
  WriteFile(Folder + "/Vadrel200.bmp", EncodeBmp(MakeBackdrop()));
}

// ---- Skin -------------------------------------------------------------------------------------
// Layout: u runs around the body (0 and 1 along the spine on the back, 0.5 under the belly, 0.25
// the +x side, 0.75 the -x side); v runs along it, 0 at the nose to SkinBodyRows / SkinHeight at
// the tail. The rows below hold the fin pattern: u across the fin rays, v from the fin root to
// its edge.
constexpr int SkinWidth = 256, SkinHeight = 256;
constexpr int SkinBodyRows = 192;
constexpr TRgb BackColour = {0.10f, 0.24f, 0.32f};
constexpr TRgb FlankColour = {0.56f, 0.66f, 0.72f};
constexpr TRgb BellyColour = {0.95f, 0.95f, 0.92f};
constexpr TRgb StripeColour = {0.98f, 0.80f, 0.28f};   // golden lateral stripe
constexpr TRgb BarColour = {0.05f, 0.12f, 0.18f};      // dark saddles across the back
constexpr TRgb FinRootColour = {0.50f, 0.60f, 0.66f};
constexpr TRgb FinEdgeColour = {0.85f, 0.66f, 0.22f};  // fin edges take up the stripe's gold
constexpr double EyeAlong = 0.085;   // v of the eye, as a part of the body length
constexpr double EyeUp = 0.42;       // cos of the angle from the back at the eye
constexpr double BodyLength = 122;   // model units covered by the body rows
constexpr double EyeRadius = 3.2;    // model units
constexpr double GirthRadiusAtEye = 10.5;  // model units of surface per radian around, at the eye
constexpr std::uint64_t SkinSeed = 201;

namespace {

// The eyes over body colour C: dark pupil, pale gold iris, measured in model units on the surface.
TRgb PaintEyes(TRgb C, double Theta, double Along) {
  for (double EyeTheta : {std::acos(EyeUp), 2 * Pi - std::acos(EyeUp)}) {
    const double Du = (Theta - EyeTheta) * GirthRadiusAtEye;
    const double Dv = (Along - EyeAlong) * BodyLength;
    const double R = std::hypot(Du, Dv);
    const double Iris = SmoothStep(EyeRadius * 1.6, EyeRadius * 1.3, R);
    const double Pupil = SmoothStep(EyeRadius * 0.95, EyeRadius * 0.75, R);
    const double Glint = SmoothStep(0.9, 0.4, std::hypot(std::abs(Du) - 0.8, Dv + 0.9));
    C = Mix(C, TRgb{0.9f, 0.82f, 0.55f}, float(Iris));
    C = Mix(C, TRgb{0.02f, 0.02f, 0.04f}, float(Pupil));
    C = Mix(C, TRgb{1, 1, 1}, float(0.8 * Glint * Pupil));
  }
  return C;
}

// The body's colour at texel (X, Y) of its rows, before clamping.
TRgb BodyColour(int X, int Y) {
  const double Along = (Y + 0.5) / SkinBodyRows;
  const double Around = (X + 0.5) / SkinWidth;
  const double Theta = 2 * Pi * Around;
  const double Up = std::cos(Theta);  // 1 on the back, -1 under the belly
  TRgb C = Mix(FlankColour, BackColour, float(SmoothStep(0.05, 0.75, Up)));
  C = Mix(C, BellyColour, float(SmoothStep(-0.05, -0.6, Up)));
  // Wavy dark saddles over the back, fading out down the flank; fewer near the head.
  const double Wave = std::sin(2 * Pi * (Along * 9.0 + 0.06 * std::sin(Theta * 3)));
  const double Bars = SmoothStep(0.25, 0.75, Wave) * SmoothStep(0.35, 0.8, Up) * SmoothStep(0.14, 0.3, Along);
  C = Mix(C, BarColour, float(0.75 * Bars));
  // The golden lateral stripe on both sides, from behind the gill to the tail.
  const double Stripe = std::exp(-std::pow((Up - 0.12) / 0.09, 2.0)) * SmoothStep(0.16, 0.24, Along);
  C = Mix(C, StripeColour, float(0.85 * Stripe));
  // Fine scale texture.
  const double Scale = TiledNoise(X / 2.0, Y / 2.0, SkinWidth / 2, SkinSeed) - 0.5;
  C = C * float(1.0 + 0.10 * Scale);
  // Gill cover: a dark crescent behind the eye.
  const double Gill = std::exp(-std::pow((Along - 0.17 - 0.02 * Up * Up) / 0.006, 2.0)) * SmoothStep(-0.7, -0.2, -std::abs(Up));
  C = Mix(C, BackColour * 0.6f, float(0.6 * Gill));
  C = PaintEyes(C, Theta, Along);
  // Slightly darker snout and tail end.
  return C * float(0.85 + 0.15 * SmoothStep(0.0, 0.06, Along) * SmoothStep(1.0, 0.9, Along));
}

// The fin rows' colour at texel (X, Y): rays across u, from a greyish root to a golden edge.
TRgb FinColour(int X, int Y) {
  const double Out = (Y - SkinBodyRows + 0.5) / (SkinHeight - SkinBodyRows);
  TRgb C = Mix(FinRootColour, FinEdgeColour, float(SmoothStep(0.35, 1.0, Out)));
  const double Ray = 0.5 + 0.5 * std::cos(2 * Pi * X / 16.0);
  C = C * float(1.0 - 0.28 * std::pow(Ray, 6.0));
  return C * float(1.0 + 0.08 * (TiledNoise(X / 3.0, Y / 3.0, SkinWidth / 3, SkinSeed + 1) - 0.5));
}

}  // namespace

TImage MakeSkin() {
  TImage Image(SkinWidth, SkinHeight);
  for (int Y = 0; Y < SkinHeight; ++Y)
    for (int X = 0; X < SkinWidth; ++X) {
      const TRgb C = Y < SkinBodyRows ? BodyColour(X, Y) : FinColour(X, Y);
      Image.At(X, Y) = {Clamp01(C.R), Clamp01(C.G), Clamp01(C.B)};
    }
  return Image;
}

void WriteSkin(const std::string& Folder) { WriteFile(Folder + "/Vadrel201.bmp", EncodeBmp(MakeSkin())); }

// ---- Sand -------------------------------------------------------------------------------------
// Bright, because the caustic frame multiplies it by about 0.6 on average; seamless, because it
// repeats across the floor at the rate of the caustic frames.
constexpr int SandSize = 512;
constexpr TRgb SandColour = {1.0f, 0.89f, 0.66f};
constexpr TRgb DarkGrainColour = {0.62f, 0.52f, 0.40f};
constexpr TRgb LightGrainColour = {1.0f, 0.98f, 0.92f};
constexpr int RippleKx = 7, RippleKy = 2;  // ripple crests: whole cycles across the tile
constexpr double RippleStrength = 0.045;
constexpr std::uint64_t SandSeed = 202;

TImage MakeSand() {
  TImage Image(SandSize, SandSize);
  for (int Y = 0; Y < SandSize; ++Y)
    for (int X = 0; X < SandSize; ++X) {
      const double Fx = double(X) / SandSize, Fy = double(Y) / SandSize;
      // Broad patches of slightly different sand.
      const double Patch = TiledFbm(Fx * 6, Fy * 6, 6, 4, 0.55, SandSeed) - 0.5;
      // Ripple bands, bent by a tiled warp; asymmetric like wind- or current-made ripples.
      const double Warp = TiledFbm(Fx * 4, Fy * 4, 4, 3, 0.5, SandSeed + 1) - 0.5;
      const double Phase = 2 * Pi * (RippleKx * Fx + RippleKy * Fy + 0.8 * Warp);
      const double Ripple = std::sin(Phase) + 0.35 * std::sin(2 * Phase);
      TRgb C = SandColour * float(1.0 + 0.10 * Patch + RippleStrength * Ripple);
      // Grain: every texel its own, with occasional dark and bright grains.
      const double G = Hash01(X, Y, SandSeed + 2);
      C = C * float(0.94 + 0.10 * G);
      const double Speck = Hash01(X, Y, SandSeed + 3);
      if (Speck < 0.035) C = Mix(C, DarkGrainColour, float(0.55 + 4 * Speck));
      else if (Speck > 0.97) C = Mix(C, LightGrainColour, 0.7f);
      Image.At(X, Y) = {Clamp01(C.R), Clamp01(C.G), Clamp01(C.B)};
    }
  return Image;
}

void WriteSand(const std::string& Folder) { WriteFile(Folder + "/Vadrel202.bmp", EncodeBmp(MakeSand())); }

}  // namespace datagen
