#include "Options.h"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <iterator>
#include <string_view>
#include <utility>

namespace {

// The row Name (or its short name) stands for; nullptr for an unknown option.
const TOptionSpec* Lookup(std::string_view Name) {
  for (const TOptionSpec& Row : OptionRows)
    if (Row.Name == Name || (!Row.ShortName.empty() && Row.ShortName == Name)) return &Row;
  return nullptr;
}

template <typename T>
bool ParseNumber(std::string_view Text, T& Value, int Base = 10) {
  if (Text.empty() || Text.front() == '+') return false;
  const char* End = Text.data() + Text.size();
  const auto [Ptr, Ec] = std::from_chars(Text.data(), End, Value, Base);
  return Ec == std::errc() && Ptr == End;
}

// "WxH", each side in Row's range.
bool ParseSize(std::string_view Text, const TOptionSpec& Row, std::pair<int, int>& Size) {
  const std::size_t X = Text.find('x');
  int Width = 0, Height = 0;
  if (X == std::string_view::npos || !ParseNumber(Text.substr(0, X), Width) ||
      !ParseNumber(Text.substr(X + 1), Height))
    return false;
  if (std::min(Width, Height) < Row.Low || std::max(Width, Height) > Row.High) return false;
  Size = {Width, Height};
  return true;
}

// The idle time: minutes, or seconds with an "s" suffix, within the row's range of minutes.
bool ParseIdleTime(std::string_view Text, const TOptionSpec& Row, int& Seconds) {
  const bool InSeconds = Text.ends_with('s');
  if (InSeconds) Text.remove_suffix(1);
  std::int64_t Value = 0;
  if (!ParseNumber(Text, Value)) return false;
  const std::int64_t Scale = InSeconds ? 1 : 60;
  if (Value < Row.Low || Value > Row.High * 60 / Scale) return false;
  Seconds = int(Value * Scale);
  return true;
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

// The error for a wrong value of Row, given as Arg: "-count takes a whole number from -1 to 9999".
std::string TakesError(std::string_view Arg, const TOptionSpec& Row) {
  std::string Text = std::string(Arg) + " takes " + std::string(Row.Takes);
  if (Row.Low != 0 || Row.High != 0)
    Text += " from " + std::to_string(Row.Low) + " to " + std::to_string(Row.High);
  return Text;
}

class TParser {
public:
  TParser(const std::vector<std::string>& Arguments, TOptions& Options, std::string& ErrorOut)
      : Args(Arguments), O(Options), Error(ErrorOut) {
    [[maybe_unused]] const bool Known =
        ParseSize(FindOption("window").DefaultText, FindOption("window"), WindowSize) &&
        ParseSize(FindOption("size").DefaultText, FindOption("size"), PictureSize);
    assert(Known && "the table's default sizes are sizes");
  }

  bool Run(const char* XScreenSaverWindow);

  // One handler for each option, called with its row and the argument as written, after Next
  // has passed it.
  bool Help(const TOptionSpec&, const std::string&) {
    HelpAsked = true;
    return true;
  }
  bool Root(const TOptionSpec& Row, const std::string&) {
    RootGiven = true;
    return SetMode(Row);
  }
  bool WindowId(const TOptionSpec& Row, const std::string& Arg) {
    std::string Text;
    if (!Value(Arg, Text)) return false;
    std::uint64_t Id = 0;
    if (!ParseWindowId(Text, Id)) return Fail(TakesError(Arg, Row));
    O.WindowId = Id;
    return SetMode(Row);
  }
  bool Window(const TOptionSpec& Row, const std::string&) {
    if (Attached && !ParseSize(*Attached, Row, WindowSize))
      return Fail(TakesError(OptionSpelling(Row) + "=" + std::string(Row.Argument), Row));
    return SetMode(Row);
  }
  bool Idle(const TOptionSpec& Row, const std::string&) {
    int Seconds = 0;
    if (Attached && !ParseIdleTime(*Attached, Row, Seconds))
      return Fail(OptionSpelling(Row) + "=" + std::string(Row.Argument) + " takes minutes from " +
                  std::to_string(Row.Low) + " to " + std::to_string(Row.High) +
                  ", or seconds with an s suffix (1s to " + std::to_string(Row.High * 60) + "s)");
    if (Attached) O.IdleSeconds = Seconds;
    return SetMode(Row);
  }
  bool Force(const TOptionSpec& Row, const std::string&) {
    IdleOnly = OptionSpelling(Row);
    O.Force = true;
    return true;
  }
  bool Delay(const TOptionSpec& Row, const std::string& Arg) {
    DelayGiven = true;
    return Number(Row, Arg, O.DelayMicroseconds);
  }
  bool Count(const TOptionSpec& Row, const std::string& Arg) { return Number(Row, Arg, O.Count); }
  bool Rivals(const TOptionSpec& Row, const std::string& Arg) { return Number(Row, Arg, O.Rivals); }
  bool Detail(const TOptionSpec& Row, const std::string& Arg) {
    return Number(Row, Arg, O.FarDetailPixels);
  }
  bool Fps(const TOptionSpec&, const std::string&) {
    O.ShowFrameRate = true;
    return true;
  }
  bool Screenshot(const TOptionSpec& Row, const std::string& Arg) {
    if (!Value(Arg, O.File)) return false;
    if (O.File.empty()) return Fail(TakesError(OptionSpelling(Row), Row));
    return SetMode(Row);
  }
  bool Benchmark(const TOptionSpec& Row, const std::string&) { return SetMode(Row); }
  bool Reference(const TOptionSpec&, const std::string&) {
    O.Reference = true;
    return true;
  }
  bool Frames(const TOptionSpec& Row, const std::string& Arg) {
    FramesGiven = true;
    return Number(Row, Arg, O.Frames);
  }
  bool Size(const TOptionSpec& Row, const std::string& Arg) {
    std::string Text;
    if (!Value(Arg, Text)) return false;
    if (!ParseSize(Text, Row, PictureSize)) return Fail(TakesError(Arg, Row));
    return true;
  }
  bool Seed(const TOptionSpec& Row, const std::string& Arg) {
    std::string Text;
    std::uint64_t Parsed = 0;
    if (!Value(Arg, Text)) return false;
    if (!ParseNumber(Text, Parsed)) return Fail(TakesError(Arg, Row));
    O.Seed = Parsed;
    return true;
  }

private:
  const std::vector<std::string>& Args;
  TOptions& O;
  std::string& Error;
  std::size_t Next = 0;
  std::optional<std::string_view> Attached;  // the value after '=' of the option being read
  bool HelpAsked = false, RootGiven = false, DelayGiven = false, FramesGiven = false;
  std::string ModeOption;     // the option that chose the mode
  std::string HeadlessOnly;   // a Headless option seen, as written
  std::string BenchmarkOnly;  // a Benchmark option seen, as --help writes it
  std::string IdleOnly;       // an Idle option seen, as --help writes it
  std::pair<int, int> WindowSize, PictureSize;

  bool One();
  bool Check();
  bool TakeEnvironment(const char* XScreenSaverWindow);

  bool Fail(std::string Reason) {
    Error = std::move(Reason);
    return false;
  }

  bool SetMode(const TOptionSpec& Row) {
    const std::string Option = OptionSpelling(Row);
    // -root and -window-id go together: XScreenSaver's preview adds -window-id to the command
    // line the daemon runs, -root and all.
    const bool BothHack =
        !ModeOption.empty() && O.Mode == TRunMode::Hack && Row.Run == TRunMode::Hack;
    if (!ModeOption.empty() && ModeOption != Option && !BothHack)
      return Fail(ModeOption + " and " + Option + " cannot be combined");
    ModeOption = Option;
    O.Mode = Row.Run;
    return true;
  }

  // The value after the option Arg, or false (with Error set) at the end of the line.
  bool Value(const std::string& Arg, std::string& Out) {
    if (Next >= Args.size()) return Fail("option " + Arg + " needs a value");
    Out = Args[Next++];
    return true;
  }

  // The value after Arg as a whole number in Row's range.
  template <typename T>
  bool Number(const TOptionSpec& Row, const std::string& Arg, T& Out) {
    std::string Text;
    if (!Value(Arg, Text)) return false;
    std::int64_t Parsed = 0;
    if (!ParseNumber(Text, Parsed) || Parsed < Row.Low || Parsed > Row.High)
      return Fail(TakesError(Arg, Row));
    Out = static_cast<T>(Parsed);
    return true;
  }
  template <typename T>
  bool Number(const TOptionSpec& Row, const std::string& Arg, std::optional<T>& Out) {
    T Parsed{};
    if (!Number(Row, Arg, Parsed)) return false;
    Out = Parsed;
    return true;
  }
};

using THandler = bool (TParser::*)(const TOptionSpec&, const std::string&);

// Each option's handler by its name: every row of the table has one (checked below).

constexpr std::pair<std::string_view, THandler> Handlers[] = {
    {"root", &TParser::Root},
    {"window-id", &TParser::WindowId},
    {"window", &TParser::Window},
    {"idle", &TParser::Idle},
    {"force", &TParser::Force},
    {"count", &TParser::Count},
    {"rivals", &TParser::Rivals},
    {"delay", &TParser::Delay},
    {"fps", &TParser::Fps},
    {"detail", &TParser::Detail},
    {"screenshot", &TParser::Screenshot},
    {"benchmark", &TParser::Benchmark},
    {"frames", &TParser::Frames},
    {"size", &TParser::Size},
    {"seed", &TParser::Seed},
    {"reference", &TParser::Reference},
    {"help", &TParser::Help},
};

constexpr THandler HandlerOf(std::string_view Name) {
  for (const auto& [HandlerName, Handler] : Handlers)
    if (HandlerName == Name) return Handler;
  return nullptr;
}

constexpr bool EveryOptionHasAHandler() {
  for (const TOptionSpec& Row : OptionRows)
    if (!HandlerOf(Row.Name)) return false;
  return std::size(Handlers) == std::size(OptionRows);
}
static_assert(EveryOptionHasAHandler(), "an option of the table without a handler, or the reverse");

bool TParser::Run(const char* XScreenSaverWindow) {
  O = TOptions();
  for (Next = 0; Next < Args.size();)
    if (!One()) return false;
  if (HelpAsked) {
    O.Mode = TRunMode::Help;
    return true;
  }
  if (!Check() || !TakeEnvironment(XScreenSaverWindow)) return false;
  const bool Headless = O.Mode == TRunMode::Screenshot || O.Mode == TRunMode::Benchmark;
  // A benchmark repeats the same work on every run: the same flock, a fixed animation step.
  if (O.Mode == TRunMode::Benchmark && !FramesGiven) O.Frames = BenchmarkFrames;
  if (O.Mode == TRunMode::Benchmark && !O.Seed) O.Seed = 1;
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

bool TParser::One() {
  const std::string& Arg = Args[Next++];
  const std::string_view Name = OptionName(Arg);
  const TOptionSpec* Row = Lookup(Name);
  Attached.reset();
  if (const std::size_t Equals = Name.find('='); !Row && Equals != std::string_view::npos) {
    Row = Lookup(Name.substr(0, Equals));
    if (Row && !Row->AttachedValue) Row = nullptr;
    Attached = Name.substr(Equals + 1);
  }
  if (!Row) return Fail("unknown option " + Arg);
  if (Row->Group == TOptionGroup::Headless) HeadlessOnly = Arg;
  if (Row->Group == TOptionGroup::Benchmark) BenchmarkOnly = OptionSpelling(*Row);
  return (this->*HandlerOf(Row->Name))(*Row, Arg);
}

// Refuses an option given for a run other than the one chosen.
bool TParser::Check() {
  const bool Headless = O.Mode == TRunMode::Screenshot || O.Mode == TRunMode::Benchmark;
  if (!HeadlessOnly.empty() && !Headless)
    return Fail(HeadlessOnly + " needs --screenshot FILE.png or --benchmark");
  if (!BenchmarkOnly.empty() && O.Mode != TRunMode::Benchmark)
    return Fail(BenchmarkOnly + " needs --benchmark");
  if (!IdleOnly.empty() && O.Mode != TRunMode::Idle) return Fail(IdleOnly + " needs --idle");
  return true;
}

// -root draws on the daemon's window when it names one, unless -window-id names another; with no
// mode chosen, that window alone makes the run a hack.
bool TParser::TakeEnvironment(const char* XScreenSaverWindow) {
  const bool FromEnvironment = XScreenSaverWindow && *XScreenSaverWindow;
  if (!FromEnvironment || O.WindowId || !(RootGiven || O.Mode == TRunMode::Saver)) return true;
  std::uint64_t Id = 0;
  if (!ParseWindowId(XScreenSaverWindow, Id))
    return Fail(std::string("XSCREENSAVER_WINDOW \"") + XScreenSaverWindow +
                "\" is not a window id");
  O.Mode = TRunMode::Hack;
  O.WindowId = Id;
  return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& Arguments, const char* XScreenSaverWindow,
                      TOptions& Options, std::string& Error) {
  return TParser(Arguments, Options, Error).Run(XScreenSaverWindow);
}

std::vector<std::string> SettingArguments(const TOptions& Options) {
  std::vector<std::string> Arguments;
  const auto Add = [&](std::string_view Name, std::optional<std::int64_t> Value) {
    if (!Value) return;
    Arguments.push_back(OptionSpelling(FindOption(Name)));
    Arguments.push_back(std::to_string(*Value));
  };
  Add("count", Options.Count);
  Add("rivals", Options.Rivals);
  if (Options.DelayMicroseconds != 0) Add("delay", Options.DelayMicroseconds);
  if (Options.ShowFrameRate) Arguments.push_back(OptionSpelling(FindOption("fps")));
  Add("detail", Options.FarDetailPixels);
  return Arguments;
}
