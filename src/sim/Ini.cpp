#include "Ini.h"

#include <algorithm>

namespace {

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

std::string_view Trim(std::string_view Text) {
  while (!Text.empty() && (IsBlank(Text.front()) || Text.front() == '\r')) Text.remove_prefix(1);
  while (!Text.empty() && (IsBlank(Text.back()) || Text.back() == '\r')) Text.remove_suffix(1);
  return Text;
}

char AsciiUpper(char C) { return (C >= 'a' && C <= 'z') ? char(C - 'a' + 'A') : C; }

bool SameIgnoringCase(std::string_view A, std::string_view B) {
  return A.size() == B.size() &&
         std::equal(A.begin(), A.end(), B.begin(),
                    [](char X, char Y) { return AsciiUpper(X) == AsciiUpper(Y); });
}

}  // namespace

std::optional<std::string> ReadIniStringFromMemory(std::string_view Text, std::string_view Section,
                                                   std::string_view Key) {
  constexpr std::size_t MaxValueLength = 2047;
  bool InSection = false;
  while (!Text.empty()) {
    const std::size_t Feed = Text.find('\n');
    const std::string_view Line = Trim(Text.substr(0, Feed));
    Text.remove_prefix(Feed == std::string_view::npos ? Text.size() : Feed + 1);
    if (Line.empty() || Line.front() == ';') continue;
    if (Line.front() == '[') {
      const std::size_t Close = Line.find(']');
      if (Close == std::string_view::npos) continue;
      InSection = SameIgnoringCase(Trim(Line.substr(1, Close - 1)), Section);
      continue;
    }
    if (!InSection) continue;
    const std::size_t Equals = Line.find('=');
    if (Equals == std::string_view::npos) continue;
    if (!SameIgnoringCase(Trim(Line.substr(0, Equals)), Key)) continue;
    return std::string(Trim(Line.substr(Equals + 1)).substr(0, MaxValueLength));
  }
  return std::nullopt;
}

std::optional<std::int32_t> ParseIniInteger(std::string_view Text) {
  while (!Text.empty() && IsBlank(Text.front())) Text.remove_prefix(1);
  bool Negative = false;
  if (!Text.empty() && (Text.front() == '+' || Text.front() == '-')) {
    Negative = Text.front() == '-';
    Text.remove_prefix(1);
  }
  bool Hex = false;
  if (Text.size() >= 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    Hex = true;
    Text.remove_prefix(2);
  } else if (!Text.empty() && (Text[0] == '$' || Text[0] == 'x' || Text[0] == 'X')) {
    Hex = true;
    Text.remove_prefix(1);
  }
  if (Text.empty()) return std::nullopt;

  // Hexadecimal takes any 32-bit pattern (so $FFFFFFFF is -1); decimal must fit the signed range.
  const std::uint64_t Limit = Hex ? 0xFFFFFFFFull : (Negative ? 0x80000000ull : 0x7FFFFFFFull);
  std::uint64_t Magnitude = 0;
  for (const char C : Text) {
    int Digit;
    if (C >= '0' && C <= '9')
      Digit = C - '0';
    else if (Hex && C >= 'a' && C <= 'f')
      Digit = C - 'a' + 10;
    else if (Hex && C >= 'A' && C <= 'F')
      Digit = C - 'A' + 10;
    else
      return std::nullopt;
    Magnitude = Magnitude * (Hex ? 16 : 10) + std::uint64_t(Digit);
    if (Magnitude > Limit) return std::nullopt;
  }
  const std::uint32_t Bits = std::uint32_t(Negative ? (~Magnitude + 1) : Magnitude);
  return static_cast<std::int32_t>(Bits);
}

std::int32_t ReadIniIntegerFromMemory(std::string_view Text, std::string_view Section,
                                      std::string_view Key, std::int32_t Default) {
  const std::optional<std::string> Value = ReadIniStringFromMemory(Text, Section, Key);
  if (!Value) return Default;
  return ParseIniInteger(*Value).value_or(Default);
}

