// Settings: what one run of the scene uses, worked out once from the command line, the user's
// Vadrel.ini and the data folder's Vadrel.ini, with every diagnostic that working-out produces.
// Pure: the caller reads the files and shows the diagnostics. Plain C++; depends on Options (the
// options table) and Scene (the defaults).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Options.h"
#include "Scene.h"

// The text of one configuration file, or nothing when it is missing or unreadable. Path is only
// used to name the file in diagnostics.
struct TIniSource {
  std::string Path;
  std::optional<std::string> Text;
};

struct TSettings {
  std::int32_t BoidCount = Scene::DefaultBoidCount;  // "Num": the school is BoidCount + 1 fish
  std::int32_t RivalCount = 0;                       // "Rivals": predators, 0 to MaxRivalCount
  std::optional<std::uint64_t> FlockSeed;            // a fixed seed instead of the clock
  bool ShowFrameRate = false;
  bool ReferencePaths = false;  // the plain reference paths instead of the fast ones
  // Creatures drawn shorter than this many pixels use the far model (0: never).
  double FarDetailPixels = Scene::FarDetailPixels;
  // The fast paths leave out the creatures' back faces, which their front faces hide.
  bool SkipBackFaces = true;
  // The fast paths draw the sea floor's sand and caustic light as one texture, multiplied ahead.
  bool LitTextures = true;
  // The idle watcher's time without input before it starts the screen saver ("IdleMinutes").
  int IdleSeconds = DefaultIdleMinutes * 60;
};

struct TWorkedOutSettings {
  TSettings Settings;
  std::vector<std::string> Diagnostics;  // one line each, without the program's name
};

// Each value of the options table that has an INI key comes from, in this order: the command
// line; the user's file when it has the key (then its value decides, by the INI rules, even when
// it is not a number); the data folder's file; the table's default. A value from a file above the
// option's range is capped to it with one diagnostic naming the key, the file and the value used;
// one below it is raised to it silently (a negative Num stays: it means no fish at all).
TWorkedOutSettings WorkOutSettings(const TOptions& Options, const TIniSource& User,
                                   const TIniSource& Data);
