// Start-up cost of the caustic frames: 32 BMP files of 256 x 256 x 24 bits read from disk and
// decoded, and then also uploaded with their mipmap chains, as the scene set-up does.
#include "Platform.h"
#include "Textures.h"

#include <benchmark/benchmark.h>

#include "TestSupport.h"

#include <GL/gl.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int Frames = 32;
constexpr int Side = 256;

// Writes the frames once into a fresh temporary folder and removes them at exit.
class TFrameFiles {
public:
  TFrameFiles() {
    Dir = std::filesystem::temp_directory_path() / ("vadrel-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(Dir);
    for (int F = 0; F < Frames; ++F) {
      std::vector<std::uint8_t> B(54 + Side * Side * 3);
      auto Put32 = [&B](std::size_t At, std::uint32_t V) {
        for (int I = 0; I < 4; ++I) B[At + I] = std::uint8_t(V >> (8 * I));
      };
      B[0] = 'B';
      B[1] = 'M';
      Put32(2, std::uint32_t(B.size()));
      Put32(10, 54);
      Put32(14, 40);
      Put32(18, Side);
      Put32(22, Side);
      B[26] = 1;
      B[28] = 24;
      for (std::size_t I = 54; I < B.size(); ++I) B[I] = std::uint8_t(I * 31 + F * 7);
      const auto Path = Dir / ("Frame" + std::to_string(100 + F) + ".bmp");
      std::ofstream(Path, std::ios::binary).write(reinterpret_cast<const char*>(B.data()), B.size());
      Names.push_back(Path.string());
    }
  }
  ~TFrameFiles() {
    std::error_code Ignored;
    std::filesystem::remove_all(Dir, Ignored);
  }
  std::filesystem::path Dir;
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
      benchmark::DoNotOptimize(DecodeBMP(Bytes.data(), Bytes.size(), Name, Image));
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
