#include "Options.h"

#include <gtest/gtest.h>

#include <string>
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
  const TOptionCase Cases[] = {
      {{}, nullptr, Saver},
      {{}, "", Saver},  // an empty variable is no window
      {{"-delay", "5"}, nullptr, Saver, {}, 5},
      // XScreenSaver's ways in: the window in the environment, -root with or without it.
      {{}, "0x2a00007", Hack, 0x2a00007, 20000},
      {{"-root"}, "0x2a00007", Hack, 0x2a00007, 20000},
      {{"--root"}, nullptr, Hack, {}, 20000},
      {{"-window-id", "0x1f"}, nullptr, Hack, 0x1f, 20000},
      {{"--window-id", "31"}, nullptr, Hack, 31, 20000},
      {{"-window-id", "0X1F"}, "0x99", Hack, 0x1f, 20000},  // the switch wins over the variable
      // XScreenSaver's preview: the daemon's command line plus the preview's window.
      {{"--root", "--window-id", "0x5"}, "0x99", Hack, 0x5, 20000},
      {{"-window-id", "5", "-root"}, nullptr, Hack, 5, 20000},
      {{"--window"}, "0x99", Window, {}, 20000, {}, false, 1024, 640},
      {{"-window=320x200", "-delay", "0"}, nullptr, Window, {}, 0, {}, false, 320, 200},
      {{"-root", "-count", "9999", "-fps", "--delay", "10000000"}, nullptr, Hack, {}, 10000000,
       9999, true},
      {{"-count", "-1"}, nullptr, Saver, {}, 0, -1},
      {{"-rivals", "0"}, nullptr, Saver, {}, 0, {}, false, 0, 0, 0},
      {{"-root", "--rivals", "100", "-count", "5"}, nullptr, Hack, {}, 20000, 5, false, 0, 0, 100},
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

TEST(CommandLine, ScreenshotOptions) {
  TOptions O;
  std::string Error;
  ASSERT_TRUE(ParseCommandLine({"--screenshot", "a.png"}, "0x99", O, Error)) << Error;
  EXPECT_EQ(O.Mode, TRunMode::Screenshot);
  EXPECT_EQ(O.File, "a.png");
  EXPECT_EQ(O.Frames, 100);
  EXPECT_EQ(O.Width, 1280);
  EXPECT_EQ(O.Height, 800);
  EXPECT_FALSE(O.Seed.has_value());
  EXPECT_EQ(O.DelayMicroseconds, 0);

  ASSERT_TRUE(ParseCommandLine({"--frames", "3", "--size", "1920x1080", "-seed", "42", "-count",
                                "5", "-rivals", "3", "--screenshot", "b.png"},
                               nullptr, O, Error))
      << Error;
  EXPECT_EQ(O.Frames, 3);
  EXPECT_EQ(O.Width, 1920);
  EXPECT_EQ(O.Height, 1080);
  EXPECT_EQ(O.Seed, std::optional<std::uint64_t>(42));
  EXPECT_EQ(O.Count, std::optional<std::int32_t>(5));
  EXPECT_EQ(O.Rivals, std::optional<std::int32_t>(3));
}

TEST(CommandLine, HelpNamesEveryOption) {
  for (const char* Option : {"-root", "-window-id", "--window", "-count", "-rivals", "-delay",
                             "-fps", "--screenshot", "--frames", "--size", "--seed", "--help",
                             "XSCREENSAVER_WINDOW", "Vadrel.ini"})
    EXPECT_NE(std::string(HelpText).find(Option), std::string::npos) << Option;
}

TEST(CommandLine, RefusedArgumentsSayWhy) {
  const struct {
    std::vector<std::string> Args;
    const char* Env;
  } Cases[] = {
      {{"--bogus"}, nullptr},
      {{"--help", "--bogus"}, nullptr},
      {{"-s", "a.png"}, nullptr},
      {{"--screenshot"}, nullptr},
      {{"--frames", "3"}, nullptr},  // a screenshot option without --screenshot
      {{"--screenshot", "a.png", "--frames", "0"}, nullptr},
      {{"--screenshot", "a.png", "--frames", "x"}, nullptr},
      {{"--screenshot", "a.png", "--size", "100"}, nullptr},
      {{"--screenshot", "a.png", "--size", "0x5"}, nullptr},
      {{"--screenshot", "a.png", "--seed", "-1"}, nullptr},
      {{"--screenshot", "a.png", "extra"}, nullptr},
      {{"-window-id"}, nullptr},
      {{"-window-id", "0"}, nullptr},
      {{"-window-id", "0x"}, nullptr},
      {{"-window-id", "0xZZ"}, nullptr},
      {{"-window-id", "-5"}, nullptr},
      {{"-window-id", "0x100000000"}, nullptr},  // more than 32 bits
      {{"-root"}, "banana"},                     // the daemon's variable must be a window id
      {{}, "banana"},
      {{"--window", "--screenshot", "a.png"}, nullptr},
      {{"--window=0x10"}, nullptr},
      {{"--window=640"}, nullptr},
      {{"-count", "10000"}, nullptr},
      {{"-count", "-2"}, nullptr},
      {{"-count", "+5"}, nullptr},
      {{"-rivals", "101"}, nullptr},
      {{"-rivals", "-1"}, nullptr},
      {{"-rivals"}, nullptr},
      {{"-delay", "-1"}, nullptr},
      {{"-delay", "10000001"}, nullptr},
      {{"-delay"}, nullptr},
  };
  for (const auto& C : Cases) {
    TOptions O;
    std::string Error;
    EXPECT_FALSE(ParseCommandLine(C.Args, C.Env, O, Error))
        << ::testing::PrintToString(C.Args) << " env " << (C.Env ? C.Env : "-");
    EXPECT_FALSE(Error.empty());
    EXPECT_EQ(Error.find('\n'), std::string::npos) << Error;
  }
}

}  // namespace
