// ModelText: the error every model fault raises and the line tokenizer of the model text format
// (whole lines, blank-separated integers and reals, counts), shared by the format's reader and
// the skeleton's track checks. Depends on the standard library alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Every fault of a model file, and the animation checks that can fire later: names the model
// file, the line of it (0 when the fault belongs to no single line) and the reason. Assertion
// checks carry "Assertion failure (Model, <number>)" at the start of their reason.
class EModelError : public std::runtime_error {
public:
  EModelError(const std::string& File, int Line, const std::string& Reason);

  const std::string& File() const noexcept { return FFile; }
  int Line() const noexcept { return FLine; }
  const std::string& Reason() const noexcept { return FReason; }

private:
  std::string FFile;
  int FLine;
  std::string FReason;
};

// The start of the reason of assertion check number Check.
std::string ModelAssertion(int Check);
// Text between double quotes, as reasons show names and tokens.
std::string Quoted(std::string_view Text);
// Line without any double quote: names and file names are written quoted.
std::string WithoutQuotes(std::string_view Line);
bool StartsWith(std::string_view Text, std::string_view Prefix);
// Line with every occurrence of Word taken out.
std::string WithoutAll(std::string_view Line, std::string_view Word);

// The model text in memory: hands out whole lines (CRLF or LF ends), knows whether the text is
// at its end and which line was read last, and raises every reading fault as an EModelError on
// that line. Views Bytes, which must outlive it.
class TModelText {
public:
  TModelText(const std::string& File, const std::vector<std::uint8_t>& Bytes)
      : FileName(File), Data(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()) {}

  bool AtEnd() const { return Position >= Data.size(); }
  int LineNumber() const { return Line; }

  // The next line without its line end; empty at the end of the text.
  std::string_view ReadLine();

  [[noreturn]] void Fail(const std::string& Reason) const { FailAt(Line, Reason); }
  [[noreturn]] void FailAt(int AtLine, const std::string& Reason) const {
    throw EModelError(FileName, AtLine, Reason);
  }

  // The blank-separated numbers of one data line, taken in order; what is left is ignored. What
  // names the field in the reason of a fault.
  class TFields {
  public:
    TFields(const TModelText& Source, std::string_view Line) : Text(Source), Rest(Line) {}

    int Integer(const char* What);
    float Real(const char* What);  // decimal only: no hexadecimal, infinity or NaN

  private:
    const TModelText& Text;
    std::string_view Rest;

    std::string_view Next(const char* What);
  };

  TFields ReadFields() { return TFields(*this, ReadLine()); }

  // The whole of Text as an integer (leading blanks and a sign allowed, nothing after it).
  int ToInteger(std::string_view Text, const char* What) const;
  // Count itself; a negative count is a fault.
  int CheckedCount(int Count, const char* What) const;
  // A count line: one integer, the rest of the line ignored.
  int ReadCount(const char* What);

  // How many entries of one line each the rest of the text could hold at most: the room to
  // reserve for a count that the text itself announces.
  std::size_t Room(int Count) const;

private:
  std::string FileName;
  std::string_view Data;
  std::size_t Position = 0;
  int Line = 0;
};
