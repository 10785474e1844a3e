// The 32 caustic frames "Vadrel100.bmp" to "Vadrel131.bmp". Sunlight refracted by a wavy water
// surface: one ray per sub-texel drops straight down, is bent by the slope of the surface and
// lands on the floor; where rays converge the floor lights up in thin bright lines. The surface
// is a sum of waves whose wave numbers are whole cycles per tile and whose phases turn a whole
// number of times over the 32 frames, so every frame tiles and frame 31 flows into frame 0.
// Both texture units multiply, so the light is drawn as bright lines over a mid-grey base.
#include <cmath>
#include <cstdio>
#include <vector>

#include "DataGen.h"

namespace datagen {

namespace {

constexpr int CausticSize = 256;
constexpr int CausticFrames = 32;
constexpr int CausticFirstNumber = 100;
constexpr int RaysPerTexel = 4;          // per axis: 16 rays per texel
constexpr double BlurSigma = 0.6;        // texels; softens the ray noise, keeps lines thin
constexpr float BaseLevel = 0.40f;       // output for no light at all
constexpr float LightGain = 0.42f;       // how fast light brightens towards white
constexpr TRgb DarkTint = {0.96f, 1.0f, 1.04f};  // a faint cool cast in the shadowed parts

constexpr int WaveCount = 16;
constexpr double MinCycles = 2.5, MaxCycles = 8.5;  // wave numbers, cycles per tile
constexpr double TotalStrength = 3.1;  // sum of focusing strengths; 1 is where light first folds
constexpr std::uint64_t CausticSeed = 100;

// One surface wave: cycles per tile along x and y, whole turns over the loop (its speed and
// direction), focusing strength, start phase.
struct TWave {
  int Kx, Ky, Turns;
  double Strength, Phase;
};

// Waves in every direction; longer waves are stronger. The program steps one caustic frame per
// displayed frame, unpaced, so every wave turns only once per loop (either way round): the
// smallest change from frame to frame that still moves.
std::vector<TWave> MakeWaves() {
  TRandom Random(CausticSeed);
  std::vector<TWave> Waves;
  double Sum = 0;
  while (int(Waves.size()) < WaveCount) {
    const double Angle = Random.Range(0, 2 * Pi), Cycles = Random.Range(MinCycles, MaxCycles);
    const int Kx = int(std::lround(Cycles * std::cos(Angle))), Ky = int(std::lround(Cycles * std::sin(Angle)));
    const double K = std::hypot(Kx, Ky);
    if (K < MinCycles - 0.5) continue;
    bool Duplicate = false;
    for (const TWave& W : Waves) Duplicate = Duplicate || (W.Kx == Kx && W.Ky == Ky) || (W.Kx == -Kx && W.Ky == -Ky);
    if (Duplicate) continue;
    const int Turns = Random.Uniform() < 0.5 ? -1 : 1;
    const double Strength = 1.0 / std::sqrt(K);
    Waves.push_back({Kx, Ky, Turns, Strength, Random.Range(0, 2 * Pi)});
    Sum += Strength;
  }
  for (TWave& W : Waves) W.Strength *= TotalStrength / Sum;
  return Waves;
}

std::vector<double> BlurWrapped(const std::vector<double>& In, int N, double Sigma) {
  const int Radius = int(std::ceil(3 * Sigma));
  std::vector<double> Kernel(2 * Radius + 1);
  double Sum = 0;
  for (int I = -Radius; I <= Radius; ++I) Sum += Kernel[I + Radius] = std::exp(-I * I / (2 * Sigma * Sigma));
  for (double& K : Kernel) K /= Sum;
  std::vector<double> Tmp(In.size()), Out(In.size());
  for (int Y = 0; Y < N; ++Y)
    for (int X = 0; X < N; ++X) {
      double S = 0;
      for (int I = -Radius; I <= Radius; ++I) S += Kernel[I + Radius] * In[Y * N + (X + I + N) % N];
      Tmp[Y * N + X] = S;
    }
  for (int Y = 0; Y < N; ++Y)
    for (int X = 0; X < N; ++X) {
      double S = 0;
      for (int I = -Radius; I <= Radius; ++I) S += Kernel[I + Radius] * Tmp[((Y + I + N) % N) * N + X];
      Out[Y * N + X] = S;
    }
  return Out;
}

// One wave made ready for casting the rays of one frame: what the inner loop needs without a
// trigonometric call per ray.
struct TPrepared {
  double Cx, Cy;  // landing offset in texels per unit of cos()
  std::vector<double> CosX, SinX;  // of the x part of the phase, per ray column
  double Qy, Phase;
};

std::vector<TPrepared> PrepareWaves(int N, double Time) {
  const int Rays = N * RaysPerTexel;
  std::vector<TPrepared> Prepared;
  for (const TWave& W : MakeWaves()) {
    const double Qx = 2 * Pi * W.Kx / N, Qy = 2 * Pi * W.Ky / N, Q2 = Qx * Qx + Qy * Qy;
    TPrepared P{W.Strength * Qx / Q2, W.Strength * Qy / Q2, {}, {}, Qy, W.Phase + W.Turns * Time};
    for (int R = 0; R < Rays; ++R) {
      const double X = (R + 0.5) / RaysPerTexel;
      P.CosX.push_back(std::cos(Qx * X));
      P.SinX.push_back(std::sin(Qx * X));
    }
    Prepared.push_back(std::move(P));
  }
  return Prepared;
}

// Adds one ray landing at (Lx, Ly), in texels, bilinearly over the four texels around it; the
// tile wraps around.
void Splat(std::vector<double>& Light, int N, double Lx, double Ly) {
  const double Fx = std::floor(Lx), Fy = std::floor(Ly);
  const double Tx = Lx - Fx, Ty = Ly - Fy;
  const int X0 = ((int(Fx) % N) + N) % N, Y0 = ((int(Fy) % N) + N) % N;
  const int X1 = (X0 + 1) % N, Y1 = (Y0 + 1) % N;
  Light[std::size_t(Y0) * N + X0] += (1 - Tx) * (1 - Ty);
  Light[std::size_t(Y0) * N + X1] += Tx * (1 - Ty);
  Light[std::size_t(Y1) * N + X0] += (1 - Tx) * Ty;
  Light[std::size_t(Y1) * N + X1] += Tx * Ty;
}

// Casts the rays of row Ry: each is pushed along the surface slope and lands in Light.
void CastRow(const std::vector<TPrepared>& Prepared, int N, int Ry, std::vector<double>& Light) {
  const int Rays = N * RaysPerTexel;
  const double Y = (Ry + 0.5) / RaysPerTexel;
  std::vector<double> CosY(Prepared.size()), SinY(Prepared.size());
  for (std::size_t I = 0; I < Prepared.size(); ++I) {
    CosY[I] = std::cos(Prepared[I].Qy * Y + Prepared[I].Phase);
    SinY[I] = std::sin(Prepared[I].Qy * Y + Prepared[I].Phase);
  }
  for (int Rx = 0; Rx < Rays; ++Rx) {
    double Dx = 0, Dy = 0;
    for (std::size_t I = 0; I < Prepared.size(); ++I) {
      const TPrepared& P = Prepared[I];
      // cos(qx x + qy y + phase), from the sum formula.
      const double C = P.CosX[Rx] * CosY[I] - P.SinX[Rx] * SinY[I];
      Dx += P.Cx * C;
      Dy += P.Cy * C;
    }
    Splat(Light, N, (Rx + 0.5) / RaysPerTexel + Dx - 0.5, Y + Dy - 0.5);
  }
}

}  // namespace

// Light gathered on the floor at frame Frame, normalised so that its mean is 1.
std::vector<double> CausticLight(int Frame) {
  const int N = CausticSize, Rays = N * RaysPerTexel;
  const double Time = 2 * Pi * Frame / CausticFrames;
  const std::vector<TPrepared> Prepared = PrepareWaves(N, Time);
  std::vector<double> Light(std::size_t(N) * N, 0.0);
  for (int Ry = 0; Ry < Rays; ++Ry) CastRow(Prepared, N, Ry, Light);
  Light = BlurWrapped(Light, N, BlurSigma);
  for (double& L : Light) L /= RaysPerTexel * RaysPerTexel;
  return Light;
}

TImage CausticFrame(int Frame) {
  const std::vector<double> Light = CausticLight(Frame);
  TImage Image(CausticSize, CausticSize);
  for (int Y = 0; Y < CausticSize; ++Y)
    for (int X = 0; X < CausticSize; ++X) {
      const double I = Light[std::size_t(Y) * CausticSize + X];
      const float Lit = float(1 - std::exp(-LightGain * I));
      const float V = BaseLevel + (1 - BaseLevel) * Lit;
      // The tint fades out as the light saturates to white.
      Image.At(X, Y) = Mix(TRgb{V, V, V} * DarkTint, TRgb{V, V, V}, Lit);
    }
  return Image;
}

void WriteCaustics(const std::string& Folder) {
  for (int F = 0; F < CausticFrames; ++F)
    WriteFile(Folder + "/Vadrel" + std::to_string(CausticFirstNumber + F) + ".bmp",
              EncodeBmp(CausticFrame(F)));
}

}  // namespace datagen
