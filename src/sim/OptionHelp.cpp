#include "OptionHelp.h"

#include "OptionTable.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

namespace {

constexpr std::size_t HelpWidth = 85;  // the longest line --help prints

// Row's Help with its placeholders filled in.
std::string Expand(const TOptionSpec& Row) {
  const std::pair<std::string_view, std::string> Values[] = {
      {"{low}", std::to_string(Row.Low)},
      {"{high}", std::to_string(Row.High)},
      {"{default}", Row.Default ? std::to_string(*Row.Default) : std::string(Row.DefaultText)},
      {"{key}", std::string(Row.IniKey)},
  };
  std::string Text(Row.Help);
  for (const auto& [Placeholder, Value] : Values)
    for (std::size_t At = Text.find(Placeholder); At != std::string::npos;
         At = Text.find(Placeholder, At + Value.size()))
      Text.replace(At, Placeholder.size(), Value);
  return Text;
}

// "-count N", "--window[=WxH]", "--benchmark".
std::string Cell(const TOptionSpec& Row) {
  std::string Text = OptionSpelling(Row);
  // Appended piece by piece: GCC 12 takes "literal" + temporary string for an overlapping copy.
  if (Row.AttachedValue) return Text.append("[=").append(Row.Argument).append("]");
  if (!Row.Argument.empty()) Text.append(" ").append(Row.Argument);
  return Text;
}

// The option's column in --help: sub-options indented under their modes, a short name after it.
std::string HelpCell(const TOptionSpec& Row) {
  const bool Sub = Row.Group == TOptionGroup::Headless || Row.Group == TOptionGroup::Benchmark ||
                   Row.Group == TOptionGroup::Idle;
  std::string Text = (Sub ? "    " : "  ") + Cell(Row);
  if (!Row.ShortName.empty()) Text += ", -" + std::string(Row.ShortName);
  return Text;
}

// Text's words after Lead, wrapped to HelpWidth, every line after the first indented to Column.
std::string Wrap(std::string Lead, std::size_t Column, std::string_view Text) {
  std::string Out, Line = std::move(Lead);
  Line.resize(std::max(Line.size() + 1, Column), ' ');
  bool LineHasWords = false;
  for (std::size_t Start = 0; Start < Text.size();) {
    std::size_t End = Text.find(' ', Start);
    if (End == std::string_view::npos) End = Text.size();
    const std::string_view Word = Text.substr(Start, End - Start);
    Start = End + 1;
    if (Word.empty()) continue;
    if (LineHasWords && Line.size() + 1 + Word.size() > HelpWidth) {
      Out += Line + "\n";
      Line.assign(Column, ' ');
      LineHasWords = false;
    }
    if (LineHasWords) Line += ' ';
    Line.append(Word);
    LineHasWords = true;
  }
  return Out + Line + "\n";
}

std::string MakeHelpText() {
  std::size_t Column = 0;
  for (const TOptionSpec& Row : OptionTable()) Column = std::max(Column, HelpCell(Row).size() + 2);
  std::string Text =
      "Vadrel: a flock of fish above a sunlit sea floor.\n"
      "\n"
      "usage: vadrel [options]\n"
      "\n"
      "Without options it fills the screen and ends on Escape or when the mouse moves.\n"
      "\n";
  for (const TOptionSpec& Row : OptionTable()) Text += Wrap(HelpCell(Row), Column, Expand(Row));
  return Text +
         "\n"
         "Every option may be written with one dash or two. Settings are read from\n"
         "$XDG_CONFIG_HOME/vadrel/Vadrel.ini (~/.config/vadrel/Vadrel.ini), then from the\n"
         "data folder's Vadrel.ini ($VADREL_DATA, or the one installed with the program).\n";
}

// Whether Row is an option of the run Mode chooses (Headless ones of both headless runs).
bool BelongsTo(const TOptionSpec& Row, const TOptionSpec& Mode) {
  const bool HeadlessMode = Mode.Run == TRunMode::Screenshot || Mode.Run == TRunMode::Benchmark;
  return (Row.Group == TOptionGroup::Headless && HeadlessMode) ||
         (Row.Group == TOptionGroup::Benchmark && Mode.Run == TRunMode::Benchmark) ||
         (Row.Group == TOptionGroup::Idle && Mode.Run == TRunMode::Idle);
}

// One line: the modes, each with its own options, then the settings and --help.
std::string MakeUsageText() {
  std::string Modes, Rest;
  for (const TOptionSpec& Row : OptionTable()) {
    if (Row.Group == TOptionGroup::Mode) {
      Modes += (Modes.empty() ? "" : " | ") + Cell(Row);
      for (const TOptionSpec& Sub : OptionTable())
        if (BelongsTo(Sub, Row)) Modes += " [" + Cell(Sub) + "]";
    } else if (Row.Group == TOptionGroup::Setting || Row.Group == TOptionGroup::Help) {
      Rest += " [" + Cell(Row) + "]";
    }
  }
  return "usage: vadrel [" + Modes + "]" + Rest;
}

// Made before main from the constant table; read only after.
const std::string HelpStorage = MakeHelpText();
const std::string UsageStorage = MakeUsageText();

}  // namespace

const char* const UsageText = UsageStorage.c_str();
const char* const HelpText = HelpStorage.c_str();
