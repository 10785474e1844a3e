#include "ModelText.h"

#include <algorithm>
#include <charconv>

namespace {

std::string ErrorText(const std::string& File, int Line, const std::string& Reason) {
  std::string Text = File.empty() ? std::string("model") : File;
  if (Line > 0) Text += ", line " + std::to_string(Line);
  return Text + ": " + Reason;
}

bool IsBlank(char C) { return C == ' ' || C == '\t'; }

// A decimal integer that fills the whole of Text (after optional blanks and a sign).
bool ParseInteger(std::string_view Text, int& Value) {
  if (!Text.empty() && Text.front() == '+') {
    Text.remove_prefix(1);
    if (!Text.empty() && Text.front() == '-') return false;
  }
  if (Text.empty()) return false;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  return Error == std::errc() && End == Text.data() + Text.size();
}

// A decimal real that fills the whole of Token: digits with an optional point and exponent; no
// hexadecimal, infinity or NaN.
bool ParseReal(std::string_view Token, float& Value) {
  if (!Token.empty() && Token.front() == '+') Token.remove_prefix(1);
  if (Token.empty() || Token.find_first_not_of("0123456789.eE+-") != std::string_view::npos)
    return false;
  const auto [End, Error] = std::from_chars(Token.data(), Token.data() + Token.size(), Value);
  return Error == std::errc() && End == Token.data() + Token.size();
}

}  // namespace

EModelError::EModelError(const std::string& File, int Line, const std::string& Reason)
    : std::runtime_error(ErrorText(File, Line, Reason)), FFile(File), FLine(Line),
      FReason(Reason) {}

std::string ModelAssertion(int Check) {
  return "Assertion failure (Model, " + std::to_string(Check) + "): ";
}

std::string Quoted(std::string_view Text) {
  std::string Result;
  Result.reserve(Text.size() + 2);
  Result += '"';
  Result += Text;
  Result += '"';
  return Result;
}

std::string WithoutQuotes(std::string_view Line) {
  std::string Result;
  Result.reserve(Line.size());
  for (const char C : Line)
    if (C != '"') Result += C;
  return Result;
}

bool StartsWith(std::string_view Text, std::string_view Prefix) {
  return Text.substr(0, Prefix.size()) == Prefix;
}

std::string WithoutAll(std::string_view Line, std::string_view Word) {
  std::string Result;
  std::size_t From = 0;
  for (std::size_t At; (At = Line.find(Word, From)) != std::string_view::npos; From = At + Word.size())
    Result += Line.substr(From, At - From);
  Result += Line.substr(From);
  return Result;
}

std::string_view TModelText::ReadLine() {
  ++Line;
  if (AtEnd()) return {};
  const std::size_t Feed = Data.find('\n', Position);
  const std::size_t End = Feed == std::string_view::npos ? Data.size() : Feed;
  std::string_view Result = Data.substr(Position, End - Position);
  Position = Feed == std::string_view::npos ? Data.size() : Feed + 1;
  if (!Result.empty() && Result.back() == '\r') Result.remove_suffix(1);
  return Result;
}

int TModelText::TFields::Integer(const char* What) {
  const std::string_view Token = Next(What);
  int Value = 0;
  if (!ParseInteger(Token, Value))
    Text.Fail(std::string(What) + " " + Quoted(Token) + " is not an integer");
  return Value;
}

float TModelText::TFields::Real(const char* What) {
  const std::string_view Token = Next(What);
  float Value = 0;
  if (!ParseReal(Token, Value))
    Text.Fail(std::string(What) + " " + Quoted(Token) + " is not a number");
  return Value;
}

std::string_view TModelText::TFields::Next(const char* What) {
  while (!Rest.empty() && IsBlank(Rest.front())) Rest.remove_prefix(1);
  if (Rest.empty()) Text.Fail(std::string("the line ends before ") + What);
  std::size_t Length = 0;
  while (Length < Rest.size() && !IsBlank(Rest[Length])) ++Length;
  const std::string_view Token = Rest.substr(0, Length);
  Rest.remove_prefix(Length);
  return Token;
}

int TModelText::ToInteger(std::string_view Text, const char* What) const {
  std::string_view Trimmed = Text;
  while (!Trimmed.empty() && IsBlank(Trimmed.front())) Trimmed.remove_prefix(1);
  int Value = 0;
  if (!ParseInteger(Trimmed, Value))
    Fail(std::string(What) + " " + Quoted(Text) + " is not an integer");
  return Value;
}

int TModelText::CheckedCount(int Count, const char* What) const {
  if (Count < 0) Fail(std::string(What) + " " + std::to_string(Count) + " is negative");
  return Count;
}

int TModelText::ReadCount(const char* What) {
  const int Count = ReadFields().Integer(What);
  return CheckedCount(Count, What);
}

std::size_t TModelText::Room(int Count) const {
  return std::min<std::size_t>(std::size_t(Count), (Data.size() - Position) / 2 + 1);
}
