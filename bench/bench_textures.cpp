// Start-up cost of the caustic frames: 32 BMP files of 256 x 256 x 24 bits read from disk and
// decoded, and then also uploaded with their mipmap chains, as the scene set-up does.
#include "ImageDecoders.h"
#include "Platform.h"
#include "Textures.h"

#include <benchmark/benchmark.h>

#include "TestSupport.h"

#include <GL/gl.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

constexpr int Frames = 32;
constexpr int Side = 256;

// Writes the frames once into a scratch folder, removed at exit.
class TFrameFiles {
public:
  TFrameFiles() {
    for (int F = 0; F < Frames; ++F) {
      std::vector<std::uint8_t> B;
      PutU8(B, 'B');
      PutU8(B, 'M');
      PutU32(B, 54 + Side * Side * 3);
      PutU32(B, 0);
      PutU32(B, 54);
      PutU32(B, 40);
      PutU32(B, Side);
      PutU32(B, Side);
      PutU16(B, 1);
      PutU16(B, 24);
      B.resize(54, 0);
      for (std::size_t I = 54; I < 54 + Side * Side * 3; ++I) PutU8(B, unsigned(I * 31 + F * 7));
      Names.push_back(Dir.Write("Frame" + std::to_string(100 + F) + ".bmp", B));
    }
  }
  TTempDir Dir;
  std::vector<std::string> Names;
};

const TFrameFiles& Files() {
  static TFrameFiles F;
  return F;
}

// Wall-clock milliseconds per frame over the whole run (uploads finish on the GPU side, so CPU
// time alone would flatter them).
void ReportPerFrame(benchmark::State& State, std::chrono::steady_clock::duration Elapsed) {
  State.SetItemsProcessed(State.iterations() * Frames);
  const double Ms = std::chrono::duration<double, std::milli>(Elapsed).count();
  State.counters["ms_per_frame"] = Ms / (double(State.iterations()) * Frames);
}

void BM_DecodeFrames(benchmark::State& State) {
  const auto& F = Files();
  const auto Start = std::chrono::steady_clock::now();
  for (auto _ : State) {
    for (const auto& Name : F.Names) {
      std::vector<std::uint8_t> Bytes;
      ReadWholeFile(Name, Bytes);
      TImage Image;
      benchmark::DoNotOptimize(DecodeBMP(Bytes.data(), Bytes.size(), Image));
      benchmark::DoNotOptimize(Image.Pixels.data());
    }
  }
  ReportPerFrame(State, std::chrono::steady_clock::now() - Start);
}
BENCHMARK(BM_DecodeFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeAndUploadFrames(benchmark::State& State) {
  const auto& F = Files();
  TGLTestContext GL;
  if (!GL.Ok()) {
    State.SkipWithError("no GL context");
    return;
  }
  std::vector<GLuint> Made;
  std::chrono::steady_clock::duration Elapsed{};
  for (auto _ : State) {
    const auto Start = std::chrono::steady_clock::now();
    for (const auto& Name : F.Names) {
      std::uint32_t Texture = 0;
      LoadTexture(Name, Texture);
      Made.push_back(Texture);
    }
    glFinish();
    Elapsed += std::chrono::steady_clock::now() - Start;
    State.PauseTiming();
    glDeleteTextures(GLsizei(Made.size()), Made.data());
    Made.clear();
    State.ResumeTiming();
  }
  ReportPerFrame(State, Elapsed);
}
BENCHMARK(BM_DecodeAndUploadFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
