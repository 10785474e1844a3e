// The run's settings from the command line and the two configuration files: which source wins,
// the caps and their one line, and every source missing. No GL, no files.
#include "Settings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

constexpr const char* UserPath = "/home/u/.config/vadrel/Vadrel.ini";
constexpr const char* DataPath = "/usr/share/vadrel/Vadrel.ini";

TIniSource User(std::optional<std::string> Text) { return {UserPath, std::move(Text)}; }
TIniSource Data(std::optional<std::string> Text) { return {DataPath, std::move(Text)}; }

TEST(WorkOutSettings, EachValueFromTheFirstSourceThatHasIt) {
  const std::nullopt_t None = std::nullopt;
  const struct {
    const char* Label;
    std::optional<std::int32_t> Count, Rivals;  // the command line's -count and -rivals
    std::optional<std::string> User, Data;       // the files' text; nothing: no file
    std::int32_t BoidCount, RivalCount;
    std::size_t Diagnostics;
  } Cases[] = {
      {"no source at all: the defaults", None, None, None, None, 40, 0, 0},
      {"the data folder's file alone", None, None, None, "[Section]\nNum=5\nRivals=3\n", 5, 3, 0},
      {"the user's file alone", None, None, "[Section]\nNum=7\n", None, 7, 0, 0},
      {"the user's key before the data folder's", None, None, "[Section]\nNum=2\n",
       "[Section]\nNum=5\nRivals=3\n", 2, 3, 0},
      {"a user's key that is no number still decides", None, None, "[Section]\nNum=junk\n",
       "[Section]\nNum=5\n", 40, 0, 0},
      {"so does an empty one", None, None, "[Section]\nNum=\n", "[Section]\nNum=5\n", 40, 0, 0},
      {"a key of the user's in another section does not", None, None, "[Other]\nNum=2\n",
       "[Section]\nNum=5\n", 5, 0, 0},
      {"names in any case, blanks and hex", None, None, "[section]\nnum = $3\n",
       "[SECTION]\nRIVALS=0x2\n", 3, 2, 0},
      {"the command line before both files", 0, 1, "[Section]\nNum=2\nRivals=4\n",
       "[Section]\nNum=5\n", 0, 1, 0},
      {"-count -1 leaves no fish", -1, None, None, "[Section]\nNum=5\n", -1, 0, 0},
      {"a negative Num stays: no fish", None, None, None, "[Section]\nNum=-5\n", -5, 0, 0},
      {"a negative Rivals is none, silently", None, None, "[Section]\nRivals=-4\n", None, 40, 0, 0},
      {"Num beyond the cap: 9999 and one line", None, None, None, "[Section]\nNum=2147483647\n",
       9999, 0, 1},
      {"Num at the cap is taken", None, None, None, "[Section]\nNum=9999\n", 9999, 0, 0},
      {"Rivals beyond the cap: 100 and one line", None, None, "[Section]\nRivals=0x7fffffff\n",
       None, 40, 100, 1},
      {"both beyond their caps: two lines", None, None, "[Section]\nNum=$FFFFFF\nRivals=101\n",
       None, 9999, 100, 2},
      {"$FFFFFFFF is -1", None, None, None, "[Section]\nNum=$FFFFFFFF\n", -1, 0, 0},
      {"an empty file", None, None, "", "", 40, 0, 0},
  };
  for (const auto& C : Cases) {
    TOptions Options;
    Options.Count = C.Count;
    Options.Rivals = C.Rivals;
    const TWorkedOutSettings Out = WorkOutSettings(Options, User(C.User), Data(C.Data));
    EXPECT_EQ(Out.Settings.BoidCount, C.BoidCount) << C.Label;
    EXPECT_EQ(Out.Settings.RivalCount, C.RivalCount) << C.Label;
    EXPECT_EQ(Out.Diagnostics.size(), C.Diagnostics) << C.Label;
  }
}

TEST(WorkOutSettings, ACapIsOneLineNamingTheKeyTheFileAndTheValueUsed) {
  const TWorkedOutSettings Out =
      WorkOutSettings(TOptions{}, User("[Section]\nRivals=500\n"), Data("[Section]\nNum=20000\n"));
  ASSERT_EQ(Out.Diagnostics.size(), 2u);
  EXPECT_EQ(Out.Diagnostics[0], std::string("Num=20000 in ") + DataPath +
                                    " is more than the screen saver can animate; using 9999");
  EXPECT_EQ(Out.Diagnostics[1], std::string("Rivals=500 in ") + UserPath +
                                    " is more than the screen saver lets hunt; using 100");
}

TEST(WorkOutSettings, TheCommandLinesOtherSettingsPassThrough) {
  TOptions Options;
  EXPECT_EQ(WorkOutSettings(Options, User(std::nullopt), Data(std::nullopt)).Settings.FarDetailPixels,
            Scene::FarDetailPixels);
  Options.Seed = 7;
  Options.ShowFrameRate = true;
  Options.Reference = true;
  Options.FarDetailPixels = 0;
  const TSettings S = WorkOutSettings(Options, User(std::nullopt), Data(std::nullopt)).Settings;
  EXPECT_EQ(S.FlockSeed, std::optional<std::uint64_t>(7));
  EXPECT_TRUE(S.ShowFrameRate);
  EXPECT_TRUE(S.ReferencePaths);
  EXPECT_EQ(S.FarDetailPixels, 0.0);
}

// The watcher's time: --idle=TIME, else IdleMinutes by the files' rules, in seconds; capped to a
// day with one line, raised to a minute silently. Read only for --idle.
TEST(WorkOutSettings, TheIdleTime) {
  const std::nullopt_t None = std::nullopt;
  const struct {
    const char* Label;
    TRunMode Mode;
    std::optional<int> Given;
    std::optional<std::string> User, Data;
    int Seconds;
    std::vector<std::string> Diagnostics;
  } Cases[] = {
      {"the default", TRunMode::Idle, None, None, None, 300, {}},
      {"the data folder's", TRunMode::Idle, None, None, "[Section]\nIdleMinutes=2\n", 120, {}},
      {"the user's first", TRunMode::Idle, None, "[Section]\nidleminutes=$A\n",
       "[Section]\nIdleMinutes=2\n", 600, {}},
      {"the command line first", TRunMode::Idle, 3, "[Section]\nIdleMinutes=9\n", None, 3, {}},
      {"raised to a minute", TRunMode::Idle, None, None, "[Section]\nIdleMinutes=0\n", 60, {}},
      {"capped to a day", TRunMode::Idle, None, "[Section]\nIdleMinutes=100000\n", None, 86400,
       {std::string("IdleMinutes=100000 in ") + UserPath +
        " is longer than the idle watcher waits; using 1440"}},
      {"the screen saver does not read it", TRunMode::Saver, None,
       "[Section]\nIdleMinutes=100000\n", None, 300, {}},
  };
  for (const auto& C : Cases) {
    TOptions Options;
    Options.Mode = C.Mode;
    Options.IdleSeconds = C.Given;
    const TWorkedOutSettings Out = WorkOutSettings(Options, User(C.User), Data(C.Data));
    EXPECT_EQ(Out.Settings.IdleSeconds, C.Seconds) << C.Label;
    EXPECT_EQ(Out.Diagnostics, C.Diagnostics) << C.Label;
  }
}

}  // namespace
