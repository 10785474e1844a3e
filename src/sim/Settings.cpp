#include "Settings.h"

#include "Ini.h"

#include <algorithm>

namespace {

constexpr std::string_view IniSection = "Section";

// Why a value above the range is not taken as it stands, by the key's option.
std::string_view CapReason(std::string_view OptionName) {
  if (OptionName == "idle") return "is longer than the idle watcher waits";
  return OptionName == "count" ? "is more than the screen saver can animate"
                               : "is more than the screen saver lets hunt";
}

// The value of the option Name's INI key by the precedence of WorkOutSettings; Given is the
// command line's value.
std::int32_t FromFiles(std::string_view Name, std::optional<std::int32_t> Given,
                       const TIniSource& User, const TIniSource& Data,
                       std::vector<std::string>& Diagnostics) {
  if (Given) return *Given;
  const TOptionSpec& Option = FindOption(Name);
  const std::int32_t Default = std::int32_t(Option.Default.value_or(0));
  const bool UserHasKey =
      User.Text && ReadIniStringFromMemory(*User.Text, IniSection, Option.IniKey).has_value();
  const TIniSource& File = UserHasKey ? User : Data;
  if (!File.Text) return Default;
  const std::int32_t Value = ReadIniIntegerFromMemory(*File.Text, IniSection, Option.IniKey, Default);
  if (Value > Option.High) {
    Diagnostics.push_back(std::string(Option.IniKey) + "=" + std::to_string(Value) + " in " +
                          File.Path + " " + std::string(CapReason(Name)) + "; using " +
                          std::to_string(Option.High));
    return std::int32_t(Option.High);
  }
  // A negative Num is the design's "no fish"; every other key is raised to its range.
  if (Name != "count") return std::max(Value, std::int32_t(Option.Low));
  return Value;
}

}  // namespace

TWorkedOutSettings WorkOutSettings(const TOptions& Options, const TIniSource& User,
                                   const TIniSource& Data) {
  TWorkedOutSettings Out;
  TSettings& S = Out.Settings;
  S.BoidCount = FromFiles("count", Options.Count, User, Data, Out.Diagnostics);
  S.RivalCount = FromFiles("rivals", Options.Rivals, User, Data, Out.Diagnostics);
  S.FlockSeed = Options.Seed;
  S.ShowFrameRate = Options.ShowFrameRate;
  S.ReferencePaths = Options.Reference;
  S.FarDetailPixels = Options.FarDetailPixels.value_or(Scene::FarDetailPixels);
  // Only the watcher reads its key: a screen saver run says nothing of it.
  if (Options.Mode == TRunMode::Idle)
    S.IdleSeconds = Options.IdleSeconds
                        ? *Options.IdleSeconds
                        : FromFiles("idle", std::nullopt, User, Data, Out.Diagnostics) * 60;
  return Out;
}
