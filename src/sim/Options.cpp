#include "Options.h"

#include "Scene.h"

#include <charconv>
#include <string_view>

const char* const UsageText =
    "usage: vadrel [-root | -window-id ID | --window[=WxH] | --screenshot FILE.png [--frames N] "
    "[--size WxH] [--seed S] | --benchmark [--frames N] [--size WxH] [--reference]] [-count N] "
    "[-rivals N] [-delay USEC] [-fps] [-detail PIXELS] [--help]";

const char* const HelpText =
    "Vadrel: a flock of fish above a sunlit sea floor.\n"
    "\n"
    "usage: vadrel [options]\n"
    "\n"
    "Without options it fills the screen and ends on Escape or when the mouse moves.\n"
    "\n"
    "  -root                draw on the window in $XSCREENSAVER_WINDOW, else on the root\n"
    "                       window (how XScreenSaver starts it)\n"
    "  -window-id ID        draw on the X window ID (0x... or decimal); XScreenSaver's\n"
    "                       preview uses this. $XSCREENSAVER_WINDOW alone does the same.\n"
    "  --window[=WxH]       an ordinary resizable desktop window (1024x640 by default)\n"
    "  -count N             the number of fish is N + 1 for this run (-1 to 9999), instead\n"
    "                       of Num in Vadrel.ini\n"
    "  -rivals N            N predators hunt the fish for this run (0 to 100), instead of\n"
    "                       Rivals in Vadrel.ini (0, none, by default)\n"
    "  -delay USEC          pause after each frame, in microseconds (20000 by default in\n"
    "                       the window modes, none full screen)\n"
    "  -fps                 show the frame rate in the lower left corner\n"
    "  -detail PIXELS       creatures drawn shorter than this use a simpler model\n"
    "                       (default 32, where the two look alike; 0: never)\n"
    "  --screenshot FILE    render off screen and write the last frame as a PNG\n"
    "    --frames N         frames to render (100)\n"
    "    --size WxH         picture size (1280x800)\n"
    "    --seed S           the same flock and animation on every run\n"
    "  --benchmark          render off screen (seed 1 unless given) and print the frame\n"
    "                       rate, frame times, start-up time and peak memory\n"
    "    --frames N         frames to render (220; the first 20 are not counted)\n"
    "    --size WxH         picture size (1280x800)\n"
    "    --reference        the plain reference paths instead of the fast ones\n"
    "  --help               this text\n"
    "\n"
    "Every option may be written with one dash or two. Settings are read from\n"
    "$XDG_CONFIG_HOME/vadrel/Vadrel.ini (~/.config/vadrel/Vadrel.ini), then from the\n"
    "data folder's Vadrel.ini ($VADREL_DATA, or the one installed with the program).\n";

namespace {

template <typename T>
bool ParseNumber(std::string_view Text, T& Value, int Base = 10) {
  if (Text.empty() || Text.front() == '+') return false;
  const char* End = Text.data() + Text.size();
  const auto [Ptr, Ec] = std::from_chars(Text.data(), End, Value, Base);
  return Ec == std::errc() && Ptr == End;
}

// "WxH", each side from 1 to 8192.
bool ParseSize(std::string_view Text, int& Width, int& Height) {
  const std::size_t X = Text.find('x');
  return X != std::string_view::npos && ParseNumber(Text.substr(0, X), Width) &&
         ParseNumber(Text.substr(X + 1), Height) && Width >= 1 && Height >= 1 && Width <= 8192 &&
         Height <= 8192;
}

// An X window id: "0x" and hexadecimal digits, or decimal; never 0, at most 32 bits.
bool ParseWindowId(std::string_view Text, std::uint64_t& Id) {
  std::uint32_t Value = 0;
  const bool Hex = Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X');
  if (!(Hex ? ParseNumber(Text.substr(2), Value, 16) : ParseNumber(Text, Value)) || Value == 0)
    return false;
  Id = Value;
  return true;
}

// One dash or two: "--window-id" and "-window-id" are the same option, returned as "window-id".
std::string_view OptionName(std::string_view Arg) {
  if (Arg.size() < 2 || Arg[0] != '-') return {};
  Arg.remove_prefix(Arg[1] == '-' ? 2 : 1);
  return Arg;
}

class TParser {
public:
  TParser(const std::vector<std::string>& Arguments, TOptions& Options, std::string& Error)
      : Args(Arguments), O(Options), Error(Error) {}

  bool Run(const char* XScreenSaverWindow) {
    O = TOptions();
    for (Next = 0; Next < Args.size();)
      if (!One()) return false;
    if (Help) {
      O.Mode = TRunMode::Help;
      return true;
    }
    const bool Headless = O.Mode == TRunMode::Screenshot || O.Mode == TRunMode::Benchmark;
    if (!ScreenshotOnly.empty() && !Headless)
      return Fail(ScreenshotOnly + " needs --screenshot FILE.png or --benchmark");
    if (O.Reference && O.Mode != TRunMode::Benchmark)
      return Fail("--reference needs --benchmark");
    // A benchmark repeats the same work on every run: the same flock, a fixed animation step.
    if (O.Mode == TRunMode::Benchmark && !FramesGiven) O.Frames = 220;
    if (O.Mode == TRunMode::Benchmark && !O.Seed) O.Seed = 1;
    // -root draws on the daemon's window when it names one, unless -window-id names another;
    // with no mode chosen, that window alone makes the run a hack.
    const bool FromEnvironment = XScreenSaverWindow && *XScreenSaverWindow;
    if (FromEnvironment && !O.WindowId && (Root || O.Mode == TRunMode::Saver)) {
      std::uint64_t Id = 0;
      if (!ParseWindowId(XScreenSaverWindow, Id))
        return Fail(std::string("XSCREENSAVER_WINDOW \"") + XScreenSaverWindow +
                    "\" is not a window id");
      O.Mode = TRunMode::Hack;
      O.WindowId = Id;
    }
    if (!DelayGiven && (O.Mode == TRunMode::Hack || O.Mode == TRunMode::Window))
      O.DelayMicroseconds = DefaultDelayMicroseconds;
    if (Headless) {
      O.Width = PictureSize.first;
      O.Height = PictureSize.second;
    } else if (O.Mode == TRunMode::Window) {
      O.Width = WindowSize.first;
      O.Height = WindowSize.second;
    }
    return true;
  }

private:
  const std::vector<std::string>& Args;
  TOptions& O;
  std::string& Error;
  std::size_t Next = 0;
  bool Help = false, Root = false, DelayGiven = false;
  std::string ModeOption;      // the option that chose the mode
  std::string ScreenshotOnly;  // a headless option seen (it needs --screenshot or --benchmark)
  bool FramesGiven = false;
  std::pair<int, int> WindowSize{1024, 640};
  std::pair<int, int> PictureSize{1280, 800};

  bool Fail(std::string Reason) {
    Error = std::move(Reason);
    return false;
  }

  bool SetMode(TRunMode Mode, const std::string& Option) {
    // -root and -window-id go together: XScreenSaver's preview adds -window-id to the command
    // line the daemon runs, -root and all.
    const bool BothHack = !ModeOption.empty() && O.Mode == TRunMode::Hack && Mode == TRunMode::Hack;
    if (!ModeOption.empty() && ModeOption != Option && !BothHack)
      return Fail(ModeOption + " and " + Option + " cannot be combined");
    ModeOption = Option;
    O.Mode = Mode;
    return true;
  }

  // The value after the option Arg, or false (with Error set) at the end of the line.
  bool Value(const std::string& Arg, std::string& Out) {
    if (Next >= Args.size()) return Fail("option " + Arg + " needs a value");
    Out = Args[Next++];
    return true;
  }

  template <typename T>
  bool Bounded(const std::string& Arg, T& Out, T Low, T High, const char* What) {
    std::string Text;
    if (!Value(Arg, Text)) return false;
    T Number{};
    if (!ParseNumber(Text, Number) || Number < Low || Number > High)
      return Fail(Arg + " takes " + What);
    Out = Number;
    return true;
  }

  bool One() {
    const std::string& Arg = Args[Next++];
    const std::string_view Name = OptionName(Arg);
    std::string Text;
    if (Name == "help" || Name == "h") {
      Help = true;
    } else if (Name == "root") {
      Root = true;
      return SetMode(TRunMode::Hack, "-root");
    } else if (Name == "window-id") {
      if (!Value(Arg, Text)) return false;
      std::uint64_t Id = 0;
      if (!ParseWindowId(Text, Id)) return Fail(Arg + " takes an X window id (0x... or decimal)");
      O.WindowId = Id;
      return SetMode(TRunMode::Hack, "-window-id");
    } else if (Name == "window" || Name.starts_with("window=")) {
      if (Name != "window" && !ParseSize(Name.substr(7), WindowSize.first, WindowSize.second))
        return Fail("--window=WxH takes a size, each side from 1 to 8192");
      return SetMode(TRunMode::Window, "--window");
    } else if (Name == "delay") {
      DelayGiven = true;
      return Bounded(Arg, O.DelayMicroseconds, 0, MaxDelayMicroseconds,
                     "microseconds from 0 to 10000000");
    } else if (Name == "count") {
      std::int32_t Count = 0;
      if (!Bounded(Arg, Count, std::int32_t(-1), Scene::MaxBoidCount - 1,
                   "a whole number from -1 to 9999"))
        return false;
      O.Count = Count;
    } else if (Name == "detail") {
      int Pixels = 0;
      if (!Bounded(Arg, Pixels, 0, 100000, "a length in pixels from 0 to 100000")) return false;
      O.FarDetailPixels = Pixels;
    } else if (Name == "rivals") {
      std::int32_t Rivals = 0;
      if (!Bounded(Arg, Rivals, std::int32_t(0), Scene::MaxRivalCount,
                   "a whole number from 0 to 100"))
        return false;
      O.Rivals = Rivals;
    } else if (Name == "fps") {
      O.ShowFrameRate = true;
    } else if (Name == "screenshot") {
      if (!Value(Arg, O.File)) return false;
      if (O.File.empty()) return Fail("--screenshot takes a file name");
      return SetMode(TRunMode::Screenshot, "--screenshot");
    } else if (Name == "benchmark") {
      return SetMode(TRunMode::Benchmark, "--benchmark");
    } else if (Name == "reference") {
      O.Reference = true;
    } else if (Name == "frames") {
      ScreenshotOnly = Arg;
      FramesGiven = true;
      return Bounded(Arg, O.Frames, 1, 1000000, "a whole number from 1 to 1000000");
    } else if (Name == "size") {
      ScreenshotOnly = Arg;
      if (!Value(Arg, Text)) return false;
      if (!ParseSize(Text, PictureSize.first, PictureSize.second))
        return Fail(Arg + " takes WIDTHxHEIGHT, each from 1 to 8192");
    } else if (Name == "seed") {
      ScreenshotOnly = Arg;
      std::uint64_t Seed = 0;
      if (!Value(Arg, Text)) return false;
      if (!ParseNumber(Text, Seed)) return Fail(Arg + " takes a whole number");
      O.Seed = Seed;
    } else {
      return Fail("unknown option " + Arg);
    }
    return true;
  }
};

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& Arguments, const char* XScreenSaverWindow,
                      TOptions& Options, std::string& Error) {
  return TParser(Arguments, Options, Error).Run(XScreenSaverWindow);
}
