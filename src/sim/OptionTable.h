// OptionTable: the options table, the one home of every option of the command line: its name,
// value, range, default, key in Vadrel.ini, help text and the run it belongs to. The parser
// (Options), --help and the usage line (OptionHelp), the settings (Settings) and the data
// generator's Vadrel.ini all read it. Plain C++; depends on Scene (the scene's defaults and caps).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "Scene.h"

enum class TRunMode : std::uint8_t {
  Saver,       // no options: the full-screen screen saver
  Hack,        // -root or -window-id: draw into a window someone else owns
  Window,      // --window: an ordinary resizable desktop window
  Screenshot,  // --screenshot: render headless into a PNG
  Benchmark,   // --benchmark: render headless and print how fast
  Idle,        // --idle: wait for the session to go idle and run the screen saver meanwhile
  Help,        // --help: print HelpText and stop
};

// Frames of a screenshot and of a benchmark when --frames is not given.
inline constexpr int ScreenshotFrames = 100;
inline constexpr int BenchmarkFrames = 220;

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

// The largest side of a window or picture, in pixels.
inline constexpr std::int64_t MaxSide = 8192;

// Every option, in the order --help lists them; sub-options (Headless, Benchmark, Idle) follow
// the modes they need, as --help indents them. Read it through OptionTable and FindOption; it is
// here rather than in the source so that the parser can check at compile time that every row
// has a handler.
inline constexpr TOptionSpec OptionRows[] = {
    {.Name = "root",
     .Help = "draw on the window in $XSCREENSAVER_WINDOW, else on the root window (how "
             "XScreenSaver starts it)",
     .Group = TOptionGroup::Mode,
     .Run = TRunMode::Hack},
    {.Name = "window-id",
     .Argument = "ID",
     .Help = "draw on the X window ID (0x... or decimal); XScreenSaver's preview uses this. "
             "$XSCREENSAVER_WINDOW alone does the same.",
     .Group = TOptionGroup::Mode,
     .Run = TRunMode::Hack,
     .Takes = "an X window id (0x... or decimal)"},
    {.Name = "window",
     .Argument = "WxH",
     .Low = 1,
     .High = MaxSide,
     .Help = "an ordinary resizable desktop window ({default} by default)",
     .Group = TOptionGroup::Mode,
     .Run = TRunMode::Window,
     .Dashes = 2,
     .AttachedValue = true,
     .Takes = "a size, each side",
     .DefaultText = "1024x640"},
    {.Name = "idle",
     .Argument = "TIME",
     .Low = 1,
     .High = MaxIdleMinutes,
     .Default = DefaultIdleMinutes,
     .IniKey = "IdleMinutes",
     .Help = "watch the session: after TIME minutes without input ({key} in Vadrel.ini, "
             "{default} by default; {low} to {high}), or seconds with an s suffix (--idle=30s), "
             "start the screen saver full screen, end it at the first input and wait again; the "
             "settings given with it pass on to the screen saver",
     .Group = TOptionGroup::Mode,
     .Run = TRunMode::Idle,
     .Dashes = 2,
     .AttachedValue = true,
     .Takes = "minutes"},
    {.Name = "force",
     .Help = "start even though another screen-saver daemon (XScreenSaver, MATE's) is running",
     .Group = TOptionGroup::Idle,
     .Dashes = 2},
    {.Name = "count",
     .Argument = "N",
     .Low = -1,
     .High = Scene::MaxBoidCount - 1,
     .Default = Scene::DefaultBoidCount,
     .IniKey = "Num",
     .InSettingsDialog = true,
     .Help = "the number of fish is N + 1 for this run ({low} to {high}), instead of {key} in "
             "Vadrel.ini",
     .Takes = "a whole number"},
    {.Name = "rivals",
     .Argument = "N",
     .Low = 0,
     .High = Scene::MaxRivalCount,
     .Default = 0,
     .IniKey = "Rivals",
     .InSettingsDialog = true,
     .Help = "N predators hunt the fish for this run ({low} to {high}), instead of {key} in "
             "Vadrel.ini ({default}, none, by default)",
     .Takes = "a whole number"},
    {.Name = "delay",
     .Argument = "USEC",
     .Low = 0,
     .High = MaxDelayMicroseconds,
     .Default = DefaultDelayMicroseconds,
     .InSettingsDialog = true,
     .Help = "pause after each frame, in microseconds ({low} to {high}; {default} by default in "
             "the window modes, none full screen)",
     .Takes = "microseconds"},
    {.Name = "fps",
     .InSettingsDialog = true,
     .Help = "show the frame rate in the lower left corner"},
    {.Name = "detail",
     .Argument = "PIXELS",
     .Low = 0,
     .High = 100000,
     .Default = std::int64_t(Scene::FarDetailPixels),
     .Help = "creatures drawn shorter than this use the simplest model (default {default}, "
             "where it looks like the full one), longer ones a middle one up to a size where "
             "that still does; 0: always the full one",
     .Takes = "a length in pixels"},
    {.Name = "screenshot",
     .Argument = "FILE.png",
     .Help = "render off screen and write the last frame as a PNG",
     .Group = TOptionGroup::Mode,
     .Run = TRunMode::Screenshot,
     .Dashes = 2,
     .Takes = "a file name"},
    {.Name = "benchmark",
     .Help = "render off screen (seed 1 unless given) and print the frame rate, frame times, "
             "start-up time and peak memory",
     .Group = TOptionGroup::Mode,
     .Run = TRunMode::Benchmark,
     .Dashes = 2},
    {.Name = "frames",
     .Argument = "N",
     .Low = 1,
     .High = 1000000,
     .Default = ScreenshotFrames,
     .Help = "frames to render ({default}; 220 with --benchmark, whose first 20 are not counted)",
     .Group = TOptionGroup::Headless,
     .Dashes = 2,
     .Takes = "a whole number"},
    {.Name = "size",
     .Argument = "WxH",
     .Low = 1,
     .High = MaxSide,
     .Help = "picture size ({default})",
     .Group = TOptionGroup::Headless,
     .Dashes = 2,
     .Takes = "WIDTHxHEIGHT, each",
     .DefaultText = "1280x800"},
    {.Name = "seed",
     .Argument = "S",
     .Help = "the same flock and animation on every run",
     .Group = TOptionGroup::Headless,
     .Dashes = 2,
     .Takes = "a whole number"},
    {.Name = "reference",
     .Help = "--benchmark: the plain reference paths, not the fast ones",
     .Group = TOptionGroup::Benchmark,
     .Dashes = 2},
    {.Name = "help",
     .Help = "this text",
     .Group = TOptionGroup::Help,
     .Dashes = 2,
     .ShortName = "h"},
};

// Every option, in the order --help lists them.
std::span<const TOptionSpec> OptionTable();
// The row of Name; asserts that there is one (a misspelt name is a programming error).
const TOptionSpec& FindOption(std::string_view Name);
// The option as --help and the error texts write it: "-count", "--screenshot".
std::string OptionSpelling(const TOptionSpec& Option);
