#include "Options.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct TOptionCase {
  std::vector<std::string> Args;
  const char* Env;  // $XSCREENSAVER_WINDOW, nullptr when unset
  TRunMode Mode;
  std::optional<std::uint64_t> WindowId = {};
  int Delay = 0;
  std::optional<std::int32_t> Count = {};
  bool Fps = false;
  int Width = 0, Height = 0;
  std::optional<std::int32_t> Rivals = {};
};

TEST(CommandLine, ModesAndSettings) {
  using enum TRunMode;
  constexpr int Pause = DefaultDelayMicroseconds;  // the window modes' pause when not given
  const TOptionCase Cases[] = {
      {{}, nullptr, Saver},
      {{}, "", Saver},  // an empty variable is no window
      {{"-delay", "5"}, nullptr, Saver, {}, 5},
      // XScreenSaver's ways in: the window in the environment, -root with or without it.
      {{}, "0x2a00007", Hack, 0x2a00007, Pause},
      {{"-root"}, "0x2a00007", Hack, 0x2a00007, Pause},
      {{"--root"}, nullptr, Hack, {}, Pause},
      {{"-window-id", "0x1f"}, nullptr, Hack, 0x1f, Pause},
      {{"--window-id", "31"}, nullptr, Hack, 31, Pause},
      {{"-window-id", "0X1F"}, "0x99", Hack, 0x1f, Pause},  // the switch wins over the variable
      // XScreenSaver's preview: the daemon's command line plus the preview's window.
      {{"--root", "--window-id", "0x5"}, "0x99", Hack, 0x5, Pause},
      {{"-window-id", "5", "-root"}, nullptr, Hack, 5, Pause},
      {{"--window"}, "0x99", Window, {}, Pause, {}, false, 1024, 640},
      {{"-window=320x200", "-delay", "0"}, nullptr, Window, {}, 0, {}, false, 320, 200},
      {{"-root", "-count", "9999", "-fps", "--delay", "10000000"}, nullptr, Hack, {}, 10000000,
       9999, true},
      {{"-count", "-1"}, nullptr, Saver, {}, 0, -1},
      {{"-rivals", "0"}, nullptr, Saver, {}, 0, {}, false, 0, 0, 0},
      {{"-root", "--rivals", "100", "-count", "5"}, nullptr, Hack, {}, Pause, 5, false, 0, 0, 100},
      {{"-fps", "--help"}, "0x99", Help, {}, 0, {}, true},
      {{"-h"}, nullptr, Help},
  };
  for (const TOptionCase& C : Cases) {
    TOptions O;
    std::string Error;
    const std::string Label = ::testing::PrintToString(C.Args) + " env " + (C.Env ? C.Env : "-");
    ASSERT_TRUE(ParseCommandLine(C.Args, C.Env, O, Error)) << Label << ": " << Error;
    EXPECT_EQ(O.Mode, C.Mode) << Label;
    EXPECT_EQ(O.WindowId, C.WindowId) << Label;
    EXPECT_EQ(O.DelayMicroseconds, C.Delay) << Label;
    EXPECT_EQ(O.Count, C.Count) << Label;
    EXPECT_EQ(O.ShowFrameRate, C.Fps) << Label;
    EXPECT_EQ(O.Rivals, C.Rivals) << Label;
    if (C.Mode == Window) {
      EXPECT_EQ(O.Width, C.Width) << Label;
      EXPECT_EQ(O.Height, C.Height) << Label;
    }
  }
}

TEST(CommandLine, IdleTimeForceAndTheSettingsPassedOn) {
  const struct {
    std::vector<std::string> Args;
    std::optional<int> Seconds;
    bool Force;
    std::vector<std::string> Passed;  // the saver's command line
  } Cases[] = {
      {{"--idle"}, {}, false, {}},
      {{"-idle=7"}, 420, false, {}},
      {{"--idle=3s", "--force"}, 3, true, {}},
      {{"--force", "--idle=1440"}, 86400, true, {}},
      {{"--idle=86400s"}, 86400, false, {}},
      {{"--idle=1s", "-count", "5", "-fps", "-rivals", "0", "-delay", "7", "-detail", "0"},
       1,
       false,
       {"-count", "5", "-rivals", "0", "-delay", "7", "-fps", "-detail", "0"}},
  };
  for (const auto& C : Cases) {
    TOptions O;
    std::string Error;
    // The daemon's window is no business of the watcher's.
    ASSERT_TRUE(ParseCommandLine(C.Args, "0x99", O, Error)) << Error;
    EXPECT_EQ(O.Mode, TRunMode::Idle);
    EXPECT_EQ(O.IdleSeconds, C.Seconds) << ::testing::PrintToString(C.Args);
    EXPECT_EQ(O.Force, C.Force) << ::testing::PrintToString(C.Args);
    EXPECT_EQ(SettingArguments(O), C.Passed);
    // What is passed on reads back as the same settings.
    TOptions Saver;
    ASSERT_TRUE(ParseCommandLine(SettingArguments(O), nullptr, Saver, Error)) << Error;
    EXPECT_EQ(Saver.Mode, TRunMode::Saver);
    EXPECT_EQ(SettingArguments(Saver), C.Passed);
  }
}

// A headless run takes what it is given, in any order, and otherwise its kind's defaults as if
// given: a screenshot's frame count and no seed, a benchmark's own count and seed 1 (two runs draw
// the same frames), the table's picture size; and it never pauses between frames.
TEST(CommandLine, HeadlessRunsTakeWhatIsGivenElseTheirKindsDefaults) {
  const auto Parse = [](const std::vector<std::string>& Args) {
    TOptions O;
    std::string Error;
    EXPECT_TRUE(ParseCommandLine(Args, "0x99", O, Error)) << Error;
    return O;
  };
  const auto Key = [](const TOptions& O) {
    return std::make_tuple(O.Mode, O.File, O.Frames, O.Seed, O.Width, O.Height, O.Reference);
  };
  const std::string Size(FindOption("size").DefaultText);
  const TOptions Shot = Parse({"--screenshot", "a.png"}), Bench = Parse({"--benchmark"});
  EXPECT_EQ(Key(Shot), Key(Parse({"--screenshot", "a.png", "--frames",
                                  std::to_string(ScreenshotFrames), "--size", Size})));
  EXPECT_EQ(Key(Bench), Key(Parse({"--benchmark", "--frames", std::to_string(BenchmarkFrames),
                                   "--seed", "1", "--size", Size})));
  EXPECT_FALSE(Shot.Seed.has_value());
  EXPECT_FALSE(Bench.Reference);
  EXPECT_EQ(Shot.DelayMicroseconds, 0);
  EXPECT_EQ(Bench.DelayMicroseconds, 0);

  TOptions O = Parse({"--frames", "3", "--size", "1920x1080", "-seed", "42", "-count", "5",
                      "-rivals", "3", "--screenshot", "b.png"});
  EXPECT_EQ(Key(O), std::make_tuple(TRunMode::Screenshot, "b.png", 3,
                                    std::optional<std::uint64_t>(42), 1920, 1080, false));
  EXPECT_EQ(O.Count, std::optional<std::int32_t>(5));
  EXPECT_EQ(O.Rivals, std::optional<std::int32_t>(3));
  O = Parse({"-benchmark", "--reference", "--frames", "7", "--seed", "0", "--size", "8192x1"});
  EXPECT_EQ(Key(O), std::make_tuple(TRunMode::Benchmark, "", 7, std::optional<std::uint64_t>(0),
                                    8192, 1, true));
}

TEST(CommandLine, RefusedArgumentsSayWhy) {
  const char* const IdleError =
      "--idle=TIME takes minutes from 1 to 1440, or seconds with an s suffix (1s to 86400s)";
  const struct {
    std::vector<std::string> Args;
    const char* Env;
    const char* Error;
  } Cases[] = {
      {{"--bogus"}, nullptr, "unknown option --bogus"},
      {{"--help", "--bogus"}, nullptr, "unknown option --bogus"},
      {{"-s", "a.png"}, nullptr, "unknown option -s"},
      {{"--count=5"}, nullptr, "unknown option --count=5"},  // only --window takes "=value"
      {{"--screenshot"}, nullptr, "option --screenshot needs a value"},
      {{"--screenshot", ""}, nullptr, "--screenshot takes a file name"},
      // a screenshot option without --screenshot
      {{"--frames", "3"}, nullptr, "--frames needs --screenshot FILE.png or --benchmark"},
      {{"--screenshot", "a.png", "--frames", "0"}, nullptr,
       "--frames takes a whole number from 1 to 1000000"},
      {{"--screenshot", "a.png", "--frames", "x"}, nullptr,
       "--frames takes a whole number from 1 to 1000000"},
      {{"--screenshot", "a.png", "--size", "100"}, nullptr,
       "--size takes WIDTHxHEIGHT, each from 1 to 8192"},
      {{"--screenshot", "a.png", "--size", "0x5"}, nullptr,
       "--size takes WIDTHxHEIGHT, each from 1 to 8192"},
      {{"--benchmark", "--size", "8193x5"}, nullptr,
       "--size takes WIDTHxHEIGHT, each from 1 to 8192"},
      {{"--screenshot", "a.png", "--seed", "-1"}, nullptr, "--seed takes a whole number"},
      {{"--screenshot", "a.png", "extra"}, nullptr, "unknown option extra"},
      {{"--screenshot", "a.png", "--reference"}, nullptr, "--reference needs --benchmark"},
      {{"-window-id"}, nullptr, "option -window-id needs a value"},
      {{"-window-id", "0"}, nullptr, "-window-id takes an X window id (0x... or decimal)"},
      {{"-window-id", "0x"}, nullptr, "-window-id takes an X window id (0x... or decimal)"},
      {{"-window-id", "0xZZ"}, nullptr, "-window-id takes an X window id (0x... or decimal)"},
      {{"-window-id", "-5"}, nullptr, "-window-id takes an X window id (0x... or decimal)"},
      // more than 32 bits
      {{"-window-id", "0x100000000"}, nullptr,
       "-window-id takes an X window id (0x... or decimal)"},
      // the daemon's variable must be a window id
      {{"-root"}, "banana", "XSCREENSAVER_WINDOW \"banana\" is not a window id"},
      {{}, "banana", "XSCREENSAVER_WINDOW \"banana\" is not a window id"},
      {{"--window", "--screenshot", "a.png"}, nullptr,
       "--window and --screenshot cannot be combined"},
      {{"-root", "-benchmark"}, nullptr, "-root and --benchmark cannot be combined"},
      {{"--window=0x10"}, nullptr, "--window=WxH takes a size, each side from 1 to 8192"},
      {{"--window=640"}, nullptr, "--window=WxH takes a size, each side from 1 to 8192"},
      {{"-window="}, nullptr, "--window=WxH takes a size, each side from 1 to 8192"},
      {{"-count", "10000"}, nullptr, "-count takes a whole number from -1 to 9999"},
      {{"-count", "-2"}, nullptr, "-count takes a whole number from -1 to 9999"},
      {{"-count", "+5"}, nullptr, "-count takes a whole number from -1 to 9999"},
      {{"-rivals", "101"}, nullptr, "-rivals takes a whole number from 0 to 100"},
      {{"-rivals", "-1"}, nullptr, "-rivals takes a whole number from 0 to 100"},
      {{"-rivals"}, nullptr, "option -rivals needs a value"},
      {{"-delay", "-1"}, nullptr, "-delay takes microseconds from 0 to 10000000"},
      {{"-delay", "10000001"}, nullptr, "-delay takes microseconds from 0 to 10000000"},
      {{"-delay"}, nullptr, "option -delay needs a value"},
      {{"--detail", "100001"}, nullptr, "--detail takes a length in pixels from 0 to 100000"},
      {{"--idle=0"}, nullptr, IdleError},
      {{"--idle=1441"}, nullptr, IdleError},
      {{"--idle=0s"}, nullptr, IdleError},
      {{"--idle=86401s"}, nullptr, IdleError},
      {{"--idle=3x"}, nullptr, IdleError},
      {{"--idle=s"}, nullptr, IdleError},
      {{"--idle="}, nullptr, IdleError},
      {{"--idle=-5"}, nullptr, IdleError},
      {{"--idle=99999999999999999999s"}, nullptr, IdleError},
      {{"--idle", "5"}, nullptr, "unknown option 5"},  // the value is attached or absent
      {{"--force"}, nullptr, "--force needs --idle"},
      {{"-root", "--force"}, nullptr, "--force needs --idle"},
      {{"--idle", "--window"}, nullptr, "--idle and --window cannot be combined"},
      {{"--idle", "--frames", "3"}, nullptr, "--frames needs --screenshot FILE.png or --benchmark"},
  };
  for (const auto& C : Cases) {
    TOptions O;
    std::string Error;
    EXPECT_FALSE(ParseCommandLine(C.Args, C.Env, O, Error))
        << ::testing::PrintToString(C.Args) << " env " << (C.Env ? C.Env : "-");
    EXPECT_EQ(Error, C.Error) << ::testing::PrintToString(C.Args);
  }
}

// ---- The options table ------------------------------------------------------------------------

// Every number option takes exactly its row's range, and says so when refused (--idle, a mode
// whose value is attached, has its own cases).
TEST(OptionTable, TheParserTakesEachNumbersRange) {
  int Numbers = 0;
  for (const TOptionSpec& Row : OptionTable()) {
    if (!Row.Default || Row.Group == TOptionGroup::Mode) continue;
    ++Numbers;
    const std::string Option = OptionSpelling(Row);
    const std::string Refusal = Option + " takes " + std::string(Row.Takes) + " from " +
                                std::to_string(Row.Low) + " to " + std::to_string(Row.High);
    for (const std::int64_t Value : {Row.Low - 1, Row.Low, Row.High, Row.High + 1}) {
      const bool Inside = Value >= Row.Low && Value <= Row.High;
      TOptions O;
      std::string Error;
      EXPECT_EQ(ParseCommandLine({"--benchmark", Option, std::to_string(Value)}, nullptr, O, Error),
                Inside)
          << Option << " " << Value << ": " << Error;
      EXPECT_EQ(Error, Inside ? "" : Refusal) << Option << " " << Value;
    }
  }
  EXPECT_EQ(Numbers, 5);
}

TEST(OptionTable, NamesAreUniqueAndFound) {
  std::set<std::string> Seen;
  for (const TOptionSpec& Row : OptionTable()) {
    EXPECT_TRUE(Seen.insert(std::string(Row.Name)).second) << Row.Name;
    if (!Row.ShortName.empty()) {
      EXPECT_TRUE(Seen.insert(std::string(Row.ShortName)).second) << Row.ShortName;
    }
    EXPECT_EQ(&FindOption(Row.Name), &Row);
    EXPECT_TRUE(Row.Dashes == 1 || Row.Dashes == 2) << Row.Name;
    // A value's refusal says what it takes; a switch has none.
    EXPECT_EQ(Row.Argument.empty(), Row.Takes.empty()) << Row.Name;
  }
  EXPECT_EQ(FindOption("help").ShortName, "h");
}

// The options as the documents write them: "-count", "--screenshot", and "-h" for a short name.
std::set<std::string> TableSpellings() {
  std::set<std::string> Names;
  for (const TOptionSpec& Row : OptionTable()) {
    Names.insert(OptionSpelling(Row));
    if (!Row.ShortName.empty()) Names.insert(std::string("-").append(Row.ShortName));
  }
  return Names;
}

std::set<std::string> LongSpellings() {
  std::set<std::string> Names;
  for (const TOptionSpec& Row : OptionTable()) Names.insert(OptionSpelling(Row));
  return Names;
}

// The options named in Text: a dash or two and a lower-case name, not inside a word ("-count",
// not the "-up" of "start-up" or the "-1" of a range).
std::vector<std::string> OptionsIn(const std::string& Text) {
  static const std::regex Option(R"((?:^|[\s\[(",`|])(--?[a-z][a-z0-9-]*))");
  std::vector<std::string> Found;
  for (auto It = std::sregex_iterator(Text.begin(), Text.end(), Option);
       It != std::sregex_iterator(); ++It)
    Found.push_back((*It)[1]);
  return Found;
}

std::set<std::string> AsSet(const std::vector<std::string>& Names) {
  return {Names.begin(), Names.end()};
}

TEST(Help, NamesEveryOptionOnItsOwnLine) {
  const std::string Help = HelpText;
  std::istringstream Lines(Help);
  std::vector<std::string> Leading;  // the option that starts each option line
  for (std::string Line; std::getline(Lines, Line);) {
    EXPECT_EQ(Line.find('{'), std::string::npos) << "a placeholder left: " << Line;
    const std::size_t First = Line.find_first_not_of(' ');
    if (First != std::string::npos && First > 0 && Line[First] == '-')
      Leading.push_back(OptionsIn(Line).at(0));
  }
  EXPECT_EQ(AsSet(Leading), LongSpellings());
  EXPECT_EQ(Leading.size(), OptionTable().size());
  EXPECT_EQ(AsSet(OptionsIn(Help)), TableSpellings());
  for (const char* Text : {"XSCREENSAVER_WINDOW", "Vadrel.ini", "--window[=WxH]", "--help, -h",
                           "(-1 to 9999)", "(0 to 100)", "20000 by default", "(default 32,",
                           "(1024x640 by default)", "(1280x800)"})
    EXPECT_NE(Help.find(Text), std::string::npos) << Text;
  // The benchmark's frame count is written out in the help's own words, not taken from the table.
  std::ostringstream Frames;
  Frames << "(" << ScreenshotFrames << "; " << BenchmarkFrames << " with --benchmark";
  EXPECT_NE(Help.find(Frames.str()), std::string::npos) << Frames.str();
}

TEST(Help, UsageIsOneLineNamingEveryOption) {
  const std::string Usage = UsageText;
  EXPECT_TRUE(Usage.starts_with("usage: vadrel ["));
  EXPECT_EQ(Usage.find('\n'), std::string::npos);
  EXPECT_EQ(AsSet(OptionsIn(Usage)), LongSpellings());
  for (const char* Text : {"[-root | -window-id ID | --window[=WxH] | --idle[=TIME] [--force] | "
                           "--screenshot FILE.png ",
                           "--benchmark [--frames N] [--size WxH] [--seed S] [--reference]]",
                           "[-count N]", "[--help]"})
    EXPECT_NE(Usage.find(Text), std::string::npos) << Text << " in " << Usage;
}

// ---- The documents name the same options ------------------------------------------------------

std::string ReadSource(const std::string& Path) {
  std::ifstream In(std::string(VADREL_SOURCE_DIR) + "/" + Path, std::ios::binary);
  EXPECT_TRUE(In) << Path;
  std::ostringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

// A line of the manual as it reads: "\-" a dash, font changes dropped.
std::string ManText(const std::string& Line) {
  const std::string Dashes = std::regex_replace(Line, std::regex(R"(\\-)"), "-");
  return std::regex_replace(Dashes, std::regex(R"(\\f[BIRP])"), "");
}

// Each option has one tagged paragraph (the line after .TP) in the manual's OPTIONS, and the
// manual names no other option anywhere, but for other programs' options in the sections that
// show how to start it from them (the idle daemons of WAYLAND, systemctl in SYSTEMD).
TEST(Documentation, ManualDescribesEveryOption) {
  std::istringstream Lines(ReadSource("packaging/vadrel.6"));
  std::vector<std::string> Tagged;
  std::set<std::string> Named;
  bool InOptions = false, AfterTP = false, OtherPrograms = false;
  for (std::string Line; std::getline(Lines, Line);) {
    if (Line.starts_with(".SH")) {
      InOptions = Line == ".SH OPTIONS";
      OtherPrograms = Line == ".SH WAYLAND" || Line == ".SH SYSTEMD";
    }
    const std::vector<std::string> Options = OptionsIn(ManText(Line));
    if (InOptions && AfterTP) Tagged.insert(Tagged.end(), Options.begin(), Options.end());
    AfterTP = Line == ".TP";
    if (!OtherPrograms) Named.insert(Options.begin(), Options.end());
  }
  EXPECT_EQ(AsSet(Tagged), TableSpellings());
  EXPECT_EQ(Tagged.size(), TableSpellings().size()) << "an option tagged twice";
  EXPECT_EQ(Named, TableSpellings());
}

// The README's tables of commands: the rows that run the program name every option in their
// command column, and no other option anywhere in their code.
TEST(Documentation, ReadmeNamesEveryOption) {
  std::istringstream Lines(ReadSource("README.md"));
  std::set<std::string> Commands, Named;
  bool InTables = false;
  const std::regex Code("`([^`]*)`");
  for (std::string Line; std::getline(Lines, Line);) {
    if (Line.starts_with("## "))
      InTables = Line == "## Ways to run it" || Line == "## Other commands";
    if (!InTables || !Line.starts_with("| `")) continue;
    const std::size_t CommandEnd = Line.find(" | ");
    ASSERT_NE(CommandEnd, std::string::npos) << Line;
    const std::string Program = Line.substr(3);
    if (!(Program.starts_with("vadrel") || Program.starts_with("build/vadrel") ||
          Program.starts_with("-")))
      continue;  // another program: a script, cmake
    for (auto It = std::sregex_iterator(Line.begin(), Line.end(), Code);
         It != std::sregex_iterator(); ++It) {
      const std::vector<std::string> Options = OptionsIn((*It)[1]);
      Named.insert(Options.begin(), Options.end());
      if (std::size_t(It->position()) < CommandEnd) Commands.insert(Options.begin(), Options.end());
    }
  }
  EXPECT_EQ(Commands, TableSpellings());
  EXPECT_EQ(Named, TableSpellings());
}

// XScreenSaver's settings file: its controls pass exactly the options the table marks for the
// dialog, a number's default is the table's and its range lies within the table's.
TEST(Documentation, SettingsFileOffersTheDialogsOptions) {
  const std::string Xml = ReadSource("packaging/vadrel.xml");
  const std::regex Element(R"(<(\w+)\s([^>]*?)/?>)"), Attribute(R"(([\w-]+)="([^"]*)\")");
  std::set<std::string> Offered, Expected;
  for (const TOptionSpec& Row : OptionTable())
    if (Row.InSettingsDialog) Expected.insert(OptionSpelling(Row));
  int Numbers = 0;
  for (auto E = std::sregex_iterator(Xml.begin(), Xml.end(), Element);
       E != std::sregex_iterator(); ++E) {
    const std::string Tag = (*E)[1], Body = (*E)[2];
    std::map<std::string, std::string> A;
    for (auto It = std::sregex_iterator(Body.begin(), Body.end(), Attribute);
         It != std::sregex_iterator(); ++It)
      A[(*It)[1]] = (*It)[2];
    for (const char* Key : {"arg", "arg-set", "arg-unset"}) {
      if (!A.contains(Key)) continue;
      const std::vector<std::string> Options = OptionsIn(A[Key]);
      ASSERT_EQ(Options.size(), 1u) << Tag << " " << Key << "=" << A[Key];
      EXPECT_TRUE(TableSpellings().contains(Options[0])) << Options[0];
      // The command line the daemon runs is fixed, not a setting of the dialog.
      if (Tag != "command") Offered.insert(Options[0]);
    }
    if (Tag != "number") continue;
    ++Numbers;
    const std::string Option = OptionsIn(A["arg"]).at(0);
    const TOptionSpec& Row = FindOption(Option.substr(Option.find_first_not_of('-')));
    EXPECT_TRUE(A["arg"].ends_with(" %")) << A["arg"];
    EXPECT_EQ(std::stoll(A["default"]), Row.Default.value_or(-1)) << Row.Name;
    EXPECT_GE(std::stoll(A["low"]), Row.Low) << Row.Name;
    EXPECT_LE(std::stoll(A["high"]), Row.High) << Row.Name;
  }
  EXPECT_EQ(Offered, Expected);
  EXPECT_EQ(Numbers, 3);
}

}  // namespace
