// libFuzzer entry for the INI reader, fed from memory. The input is the file's text; it is asked
// for the keys the program reads and for a section and key taken from its own first line, so
// that matching is exercised on names the fuzzer controls.
#include "Ini.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view Text(reinterpret_cast<const char*>(Data), Size);
  for (const auto& [Section, Key] : {std::pair<std::string_view, std::string_view>{"Section", "Num"},
                                     {"section", "NUM"}, {"", ""}}) {
    const std::optional<std::string> Value = ReadIniStringFromMemory(Text, Section, Key);
    if (Value && Value->size() > 2047) std::abort();
    ReadIniIntegerFromMemory(Text, Section, Key, 40);
  }
  // "section/key" on the first line.
  const std::string_view First = Text.substr(0, Text.find('\n'));
  const std::size_t Slash = First.find('/');
  if (Slash != std::string_view::npos) {
    const std::string_view Section = First.substr(0, Slash), Key = First.substr(Slash + 1);
    const std::optional<std::string> Value = ReadIniStringFromMemory(Text, Section, Key);
    const std::int32_t Number = ReadIniIntegerFromMemory(Text, Section, Key, 40);
    // An integer read must agree with the string read: no value, no number.
    if (!Value && Number != 40) std::abort();
  }
  return 0;
}
