// Options: the command line. Picks how the program runs (the full-screen screen saver, a hack
// drawing into a window XScreenSaver hands it, an ordinary desktop window, the idle watcher that
// starts the screen saver, a headless render or benchmark, or the list of options) and the
// settings of that run, by the options table. Plain C++; no GL, no SDL, no X. Depends on
// OptionTable, and brings OptionHelp along for the usage line its callers show with its errors.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "OptionHelp.h"
#include "OptionTable.h"

struct TOptions {
  TRunMode Mode = TRunMode::Saver;

  // Hack: the X window to draw into; empty means the root window.
  std::optional<std::uint64_t> WindowId;
  // Hack and Window: microseconds to pause after each frame; Saver: 0 unless given.
  int DelayMicroseconds = 0;
  // The configuration's Num for this run, when given.
  std::optional<std::int32_t> Count;
  // The configuration's Rivals (predators added to the school) for this run, when given.
  std::optional<std::int32_t> Rivals;
  bool ShowFrameRate = false;
  // -detail: creatures drawn shorter than this many pixels use the simpler far model.
  std::optional<int> FarDetailPixels;

  // Window: the window's size. Screenshot and Benchmark: the picture's size.
  int Width = 0, Height = 0;

  // Screenshot and Benchmark (Frames: ScreenshotFrames or BenchmarkFrames by default).
  std::string File;
  int Frames = ScreenshotFrames;
  std::optional<std::uint64_t> Seed;
  // The program's plain reference paths (the full neighbour scan, immediate-mode drawing)
  // instead of the fast ones, to compare them.
  bool Reference = false;

  // Idle: the time without input, in seconds, when given (else IdleMinutes of Vadrel.ini), and
  // whether to start even though another screen-saver daemon is running.
  std::optional<int> IdleSeconds;
  bool Force = false;
};

// Reads the arguments (without the program name). XScreenSaverWindow is the value of
// $XSCREENSAVER_WINDOW (nullptr when unset): with no mode switch on the command line it makes the
// run a hack on that window, and -root draws on it (else on the root window); an explicit
// -window-id, --window or --screenshot wins over it. Every option may be written with one dash
// or two. Returns false with Error set (one line, no "usage") when the arguments are not
// understood; Options is then unspecified.
bool ParseCommandLine(const std::vector<std::string>& Arguments, const char* XScreenSaverWindow,
                      TOptions& Options, std::string& Error);

// The setting options of Options as a command line, for the screen saver the idle watcher starts:
// those given (-count, -rivals, -detail, -fps, a -delay other than none), in the table's order.
std::vector<std::string> SettingArguments(const TOptions& Options);
