// The INI reader over text in memory: which line gives a key's value, and the integer syntax.
#include "Ini.h"
#include "Platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string_view>

namespace {

using namespace std::string_view_literals;

TEST(Ini, IntegerSyntaxOrTheDefault) {
  const struct {
    const char* Value;  // text after "Num=" (nullptr: no such key line)
    std::int32_t Expected;
  } Cases[] = {{"12", 12}, {"  12  ", 12}, {"\t12\t", 12}, {"-3", -3}, {"+7", 7}, {"$10", 16},
               {"0x10", 16}, {"0X1f", 31}, {"x10", 16}, {"X10", 16}, {"-$10", -16},
               {"$FFFFFFFF", -1}, {"abc", 40}, {"", 40}, {"12abc", 40}, {"1 2", 40}, {"$", 40},
               {"0x", 40}, {"-", 40}, {"$G1", 40}, {"2147483647", 2147483647},
               {"-2147483648", -2147483647 - 1}, {"2147483648", 40}, {"99999999999", 40},
               {"$100000000", 40}, {"1.5", 40}, {nullptr, 40}};
  for (const auto& C : Cases) {
    std::string Text = "[Section]\r\n";
    if (C.Value) Text += std::string("Num=") + C.Value + "\r\n";
    EXPECT_EQ(ReadIniIntegerFromMemory(Text, "Section", "Num", 40), C.Expected)
        << "value \"" << (C.Value ? C.Value : "(none)") << "\"";
  }
}

TEST(Ini, WhichLineGivesTheValue) {
  const struct {
    const char* Label;
    std::string_view Text;
    std::optional<std::string> Value;  // of Num in [Section]
  } Cases[] = {
      {"names in any case, blanks around them", "[ sEcTiOn ]\n  nUm = 6 \n", "6"},
      {"no such section", "[Other]\nNum=5\n", std::nullopt},
      {"no such key", "[Section]\nCount=5\n", std::nullopt},
      {"the key of a later section does not leak", "[Section]\nX=1\n[Other]\nNum=5\n",
       std::nullopt},
      {"the first match wins, comments skipped",
       "; Num=1\n[Section]\n;Num=2\nNum=3\nNum=4\n[Section]\nNum=5\n", "3"},
      {"an empty value is a value", "[Section]\nNum=\n", ""},
      {"the last line needs no line end", "[Section]\r\nNum = 0x1F", "0x1F"},
      {"an empty text", "", std::nullopt},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(ReadIniStringFromMemory(C.Text, "Section", "Num"), C.Value) << C.Label;
}

TEST(Ini, AnyByteIsAnOrdinaryCharacterAndValuesAreCut) {
  const std::string_view Text = "[a\0b]\r\nk\0=1\n"sv;
  EXPECT_EQ(ReadIniStringFromMemory(Text, "a\0b"sv, "k\0"sv), "1");
  EXPECT_EQ(ReadIniStringFromMemory(Text, "a"sv, "k"sv), std::nullopt);
  const std::string Long = "[Section]\nNum=" + std::string(3000, '7') + "\n";
  EXPECT_EQ(ReadIniStringFromMemory(Long, "Section", "Num"), std::string(2047, '7'));
  EXPECT_EQ(ReadIniIntegerFromMemory(Long, "Section", "Num", 40), 40);
}

// Inputs kept from fuzzing and made by hand: the integer read agrees with the string read.
TEST(Ini, RegressionInputsReadConsistently) {
  const std::filesystem::path Folder =
      std::filesystem::path(VADREL_SOURCE_DIR) / "tests/regressions/ini";
  int Files = 0;
  for (const auto& Entry : std::filesystem::directory_iterator(Folder)) {
    std::vector<std::uint8_t> Bytes;
    ASSERT_TRUE(ReadWholeFile(Entry.path().string(), Bytes)) << Entry.path();
    const std::string_view Text(reinterpret_cast<const char*>(Bytes.data()), Bytes.size());
    const std::optional<std::string> Value = ReadIniStringFromMemory(Text, "Section", "Num");
    const std::int32_t Expected = Value ? ParseIniInteger(*Value).value_or(40) : 40;
    EXPECT_EQ(ReadIniIntegerFromMemory(Text, "Section", "Num", 40), Expected) << Entry.path();
    ++Files;
  }
  EXPECT_GT(Files, 0);
}

}  // namespace
