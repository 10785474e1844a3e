// Shared helpers for the tests: a real offscreen GL context, message capture, scratch folders
// and files crafted byte by byte, waits for a condition or a process, and the location of the
// real-world sample corpus.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Platform.h"

// A current OpenGL context of Width x Height on SDL's offscreen driver (a hidden window), for the
// tests and the benchmarks. The video subsystem is brought up for the context's life; one context
// at a time.
class TGLTestContext {
public:
  explicit TGLTestContext(int Width = 64, int Height = 64);
  ~TGLTestContext();
  TGLTestContext(const TGLTestContext&) = delete;
  TGLTestContext& operator=(const TGLTestContext&) = delete;

  bool Ok() const { return Context != nullptr; }
  const std::string& Error() const { return Reason; }
  int Width() const { return W; }
  int Height() const { return H; }
  // The back buffer as RGBA bytes, bottom row first (glReadPixels order).
  std::vector<std::uint8_t> ReadPixels() const;

private:
  void* Window = nullptr;
  void* Context = nullptr;
  int W, H;
  std::string Reason;
};

// Skips the current test when no GL context could be made (reports the reason).
#define REQUIRE_GL(ContextVar)                                                      \
  do {                                                                              \
    if (!(ContextVar).Ok()) GTEST_SKIP() << "no GL context: " << (ContextVar).Error(); \
  } while (0)

// Records every message box and every diagnostic line shown while it lives, instead of showing it.
class TMessageCapture {
public:
  struct TMessage {
    std::string Text, Caption;
  };
  TMessageCapture();
  ~TMessageCapture();
  std::vector<TMessage> Messages;
  std::vector<std::string> Diagnostics;

private:
  TMessageSink Previous;
  TDiagnosticSink PreviousDiagnostics;
};

// A fresh, empty folder removed with everything in it at the end of its life.
class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  const std::filesystem::path& Path() const { return Root; }
  // Writes Bytes (or Text) to Name inside the folder; returns the full path.
  std::string Write(const std::string& Name, const std::vector<std::uint8_t>& Bytes) const;
  std::string Write(const std::string& Name, const std::string& Text) const;

private:
  std::filesystem::path Root;
};

// Changes the current directory for its life.
class TChangeDir {
public:
  explicit TChangeDir(const std::filesystem::path& To);
  ~TChangeDir();

private:
  std::filesystem::path Previous;
};

// Sets (or, with nullptr, removes) an environment variable for its life.
class TScopedEnv {
public:
  TScopedEnv(const char* Name, const char* Value);
  ~TScopedEnv();
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
  std::string Name;
  bool HadValue = false;
  std::string Saved;
};

// Runs every timer on a millisecond clock the test sets (starting at Now), as on a machine with
// no high-resolution counter; the real clocks come back at the end of its life.
class TFakeMillisecondClock {
public:
  explicit TFakeMillisecondClock(std::uint32_t Start = 0) : Now(Start) {
    SetPerformanceCounterAvailable(false);
    SetMillisecondClock([this] { return Now; });
  }
  ~TFakeMillisecondClock() {
    SetMillisecondClock({});
    SetPerformanceCounterAvailable(true);
  }
  std::uint32_t Now;
};

// Asks Test every Every until it holds (true) or Timeout has passed and it still does not (false).
template <typename TTest>
bool WaitFor(TTest Test, std::chrono::steady_clock::duration Timeout,
             std::chrono::steady_clock::duration Every = std::chrono::milliseconds(250)) {
  for (const auto End = std::chrono::steady_clock::now() + Timeout;
       std::chrono::steady_clock::now() < End; std::this_thread::sleep_for(Every))
    if (Test()) return true;
  return Test();
}

// Whether process Pid runs (a zombie does not), and the processes whose parent is Parent (zombies
// only when asked for).
bool Alive(pid_t Pid);
std::vector<pid_t> ChildrenOf(pid_t Parent, bool Zombies = false);

// The real-world sample corpus (the CMake setting VADREL_CORPUS_DIR, by default ../shared/corpus
// beside the project); empty when absent.
std::filesystem::path CorpusDir();

// Little-endian byte writers for crafting files.
void PutU8(std::vector<std::uint8_t>& Out, unsigned Value);
void PutU16(std::vector<std::uint8_t>& Out, unsigned Value);
void PutU32(std::vector<std::uint8_t>& Out, std::uint32_t Value);
