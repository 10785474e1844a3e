#include "OptionTable.h"

#include <cassert>
#include <cstdlib>

std::span<const TOptionSpec> OptionTable() { return OptionRows; }

const TOptionSpec& FindOption(std::string_view Name) {
  for (const TOptionSpec& Row : OptionRows)
    if (Row.Name == Name) return Row;
  assert(!"FindOption: no option of that name");
  std::abort();
}

std::string OptionSpelling(const TOptionSpec& Option) {
  return std::string(Option.Dashes, '-') + std::string(Option.Name);
}
