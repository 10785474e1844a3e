// Options: the command line. Picks how the program runs (the full-screen screen saver, a hack
// drawing into a window XScreenSaver hands it, an ordinary desktop window, the idle watcher that
// starts the screen saver, a headless render or benchmark, or the list of options) and the
// settings of that run. Plain C++; no GL, no SDL, no X.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class TRunMode : std::uint8_t {
  Saver,       // no options: the full-screen screen saver
  Hack,        // -root or -window-id: draw into a window someone else owns
  Window,      // --window: an ordinary resizable desktop window
  Screenshot,  // --screenshot: render headless into a PNG
  Benchmark,   // --benchmark: render headless and print how fast
  Idle,        // --idle: wait for the session to go idle and run the screen saver meanwhile
  Help,        // --help: print UsageText and stop
};

// Frames of a screenshot and of a benchmark when --frames is not given.
inline constexpr int ScreenshotFrames = 100;
inline constexpr int BenchmarkFrames = 220;

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

// The pause between frames in hack and window mode when -delay is not given (XScreenSaver's
// usual value: a software-rendered saver must not hold a core at full load).
inline constexpr int DefaultDelayMicroseconds = 20000;
inline constexpr int MaxDelayMicroseconds = 10000000;

// The idle watcher's time in minutes: 5 by default, from one minute to a day. Given in seconds
// (--idle=3s) it may be as short as one second, for trying it out.
inline constexpr int DefaultIdleMinutes = 5;
inline constexpr int MaxIdleMinutes = 1440;

// Which runs an option belongs to. --help and the usage line group the options by it, and the
// parser refuses a Headless or Benchmark option in any other run.
enum class TOptionGroup : std::uint8_t {
  Mode,       // chooses the run (-root, --window, --screenshot, ...)
  Setting,    // a setting of any run (-count, -fps)
  Headless,   // only with --screenshot or --benchmark (--frames)
  Benchmark,  // only with --benchmark (--reference)
  Idle,       // only with --idle (--force)
  Help,       // --help
};

// One row of the options table, the one home of every option: the parser, --help, the settings
// (Settings.h) and the test that holds the manual, the README and XScreenSaver's settings file to
// the same list all read it.
struct TOptionSpec {
  std::string_view Name{};      // without dashes: "count"
  std::string_view Argument{};  // the value's name in the help ("N"); empty for a switch
  std::int64_t Low = 0;         // a number's range, Low to High (of each side for a size WxH);
  std::int64_t High = 0;        // both 0 for other values and unbounded numbers
  std::optional<std::int64_t> Default{};  // a number's value when neither it nor its key is given
  std::string_view IniKey{};    // the key in [Section] of Vadrel.ini it stands for; empty: none
  bool InSettingsDialog = false;  // offered by XScreenSaver's settings dialog (vadrel.xml)
  // The help text, one paragraph that --help wraps to its column; "{low}", "{high}",
  // "{default}" and "{key}" stand for the row's Low, High, Default (or DefaultText) and IniKey.
  std::string_view Help{};
  TOptionGroup Group = TOptionGroup::Setting;
  TRunMode Run = TRunMode::Saver;  // the run a Mode option chooses
  int Dashes = 1;                  // how --help, the manual and the README write it: -count, --size
  std::string_view ShortName{};    // another name, written with one dash ("h"); empty: none
  // The value may be given only attached, after '=' (--window=WxH), and may be left out.
  bool AttachedValue = false;
  // What the value must be, in the error for a wrong one ("a whole number"); a number's range
  // follows it there.
  std::string_view Takes{};
  std::string_view DefaultText{};  // the default of a value that is not a number ("1280x800")
};

// Every option, in the order --help lists them.
std::span<const TOptionSpec> OptionTable();
// The row of Name; asserts that there is one (a misspelt name is a programming error).
const TOptionSpec& FindOption(std::string_view Name);
// The option as --help and the error texts write it: "-count", "--screenshot".
std::string OptionSpelling(const TOptionSpec& Option);

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

// The one-line usage and the whole help text (every option), both made from the options table.
extern const char* const UsageText;
extern const char* const HelpText;
