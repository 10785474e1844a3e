// Ini: the reader of the configuration files' INI text, over bytes already in memory (the
// platform layer reads the files). Plain C++; no GL, no SDL, no X.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The value text of Key in Section: names matched without regard to ASCII case, surrounding blanks
// removed, at most 2047 characters; nothing when the section or key is missing. Lines end in LF or
// CRLF; any byte is allowed.
std::optional<std::string> ReadIniStringFromMemory(std::string_view Text, std::string_view Section,
                                                   std::string_view Key);

// A value text as an integer, or nothing when it is not entirely such a number. The syntax:
// optional leading blanks, an optional sign, then decimal digits, or hexadecimal digits after "$",
// "x", "X", "0x" or "0X"; decimal must fit the signed 32-bit range, hexadecimal may be any 32-bit
// pattern ($FFFFFFFF is -1).
std::optional<std::int32_t> ParseIniInteger(std::string_view Text);

// The key's value as an integer (ParseIniInteger), or Default when the section or key is missing
// or the value is empty or not such a number.
std::int32_t ReadIniIntegerFromMemory(std::string_view Text, std::string_view Section,
                                      std::string_view Key, std::int32_t Default);
