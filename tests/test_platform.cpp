#include "Platform.h"
#include "TestSupport.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace {

// ---- The integer syntax of the configuration value ----------------------------------------

struct TIniCase {
  const char* Value;  // text after "Num=" (nullptr: no such key line)
  std::int32_t Expected;
};

void PrintTo(const TIniCase& Case, std::ostream* Out) {
  *Out << '"' << (Case.Value ? Case.Value : "(no key)") << "\" -> " << Case.Expected;
}

class IniInteger : public ::testing::TestWithParam<TIniCase> {};

TEST_P(IniInteger, ReadsTheValueOrFallsBackTo40) {
  const TIniCase& Case = GetParam();
  TTempDir Dir;
  std::string Text = "[Section]\r\n";
  if (Case.Value) Text += std::string("Num=") + Case.Value + "\r\n";
  const std::string File = Dir.Write("Vadrel.ini", Text);
  EXPECT_EQ(ReadIniInteger(File, "Section", "Num", 40), Case.Expected)
      << "value \"" << (Case.Value ? Case.Value : "(none)") << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Values, IniInteger,
    ::testing::Values(TIniCase{"12", 12}, TIniCase{"  12  ", 12}, TIniCase{"\t12\t", 12},
                      TIniCase{"-3", -3}, TIniCase{"+7", 7}, TIniCase{"$10", 16},
                      TIniCase{"0x10", 16}, TIniCase{"0X1f", 31}, TIniCase{"x10", 16},
                      TIniCase{"X10", 16}, TIniCase{"-$10", -16}, TIniCase{"$FFFFFFFF", -1},
                      TIniCase{"abc", 40}, TIniCase{"", 40}, TIniCase{"12abc", 40},
                      TIniCase{"1 2", 40}, TIniCase{"$", 40}, TIniCase{"0x", 40},
                      TIniCase{"-", 40}, TIniCase{"$G1", 40}, TIniCase{"2147483647", 2147483647},
                      TIniCase{"-2147483648", -2147483647 - 1}, TIniCase{"2147483648", 40},
                      TIniCase{"99999999999", 40}, TIniCase{"$100000000", 40},
                      TIniCase{"1.5", 40}, TIniCase{nullptr, 40}));

// The readers over text in memory, as the fuzzer calls them: the same rules as over a file, with
// any byte allowed (a NUL is an ordinary character) and the last line needing no line end.
TEST(IniFile, FromMemory) {
  using namespace std::string_view_literals;
  const std::string_view Text = "[a\0b]\r\nk\0=1\n[Section]\r\n;Num=2\nNum = 0x1F"sv;
  EXPECT_EQ(ReadIniIntegerFromMemory(Text, "Section", "Num", 40), 31);
  EXPECT_EQ(ReadIniStringFromMemory(Text, "a\0b"sv, "k\0"sv), "1");
  EXPECT_EQ(ReadIniStringFromMemory(Text, "Section", "k\0"sv), std::nullopt);
  EXPECT_EQ(ReadIniIntegerFromMemory("", "Section", "Num", 40), 40);
  EXPECT_EQ(ReadIniIntegerFromMemory("[Section]\nNum=5", "Section", "Num", 40), 5);
}

// Inputs kept from fuzzing and made by hand (tests/regressions/ini) read the same from a file and
// from memory.
TEST(IniFile, RegressionInputsReadAlikeFromFileAndMemory) {
  const std::filesystem::path Folder = std::filesystem::path(VADREL_SOURCE_DIR) / "tests/regressions/ini";
  ASSERT_TRUE(std::filesystem::is_directory(Folder)) << Folder;
  int Files = 0;
  for (const auto& Entry : std::filesystem::directory_iterator(Folder)) {
    const std::string Path = Entry.path().string();
    std::vector<std::uint8_t> Bytes;
    ASSERT_TRUE(ReadWholeFile(Path, Bytes)) << Path;
    const std::string_view Text(reinterpret_cast<const char*>(Bytes.data()), Bytes.size());
    EXPECT_EQ(ReadIniStringFromMemory(Text, "Section", "Num"), ReadIniString(Path, "Section", "Num"))
        << Path;
    EXPECT_EQ(ReadIniIntegerFromMemory(Text, "Section", "Num", 40),
              ReadIniInteger(Path, "Section", "Num", 40))
        << Path;
    ++Files;
  }
  EXPECT_GT(Files, 0);
}

// Whether a path can serve as the data folder, in the system's words.
TEST(DataFolder, FolderProblemSaysWhyAPathIsNoFolder) {
  TTempDir Dir;
  const std::string File = Dir.Write("file", std::string("x"));
  EXPECT_EQ(FolderProblem(Dir.Path().string()), std::nullopt);
  EXPECT_EQ(FolderProblem(File), std::string(std::strerror(ENOTDIR)));
  EXPECT_EQ(FolderProblem((Dir.Path() / "missing").string()), std::string(std::strerror(ENOENT)));
}

TEST(IniFile, SectionAndKeyNamesIgnoreCaseAndSurroundingBlanks) {
  TTempDir Dir;
  const std::string Mixed = Dir.Write("b.ini", "[ sEcTiOn ]\n  nUm = 6 \n");
  EXPECT_EQ(ReadIniInteger(Mixed, "Section", "Num", 40), 6);
}

TEST(IniFile, MissingFileSectionOrKeyGivesTheDefault) {
  TTempDir Dir;
  EXPECT_EQ(ReadIniInteger((Dir.Path() / "absent.ini").string(), "Section", "Num", 40), 40);
  const std::string OtherSection = Dir.Write("c.ini", "[Other]\nNum=5\n");
  EXPECT_EQ(ReadIniInteger(OtherSection, "Section", "Num", 40), 40);
  const std::string OtherKey = Dir.Write("d.ini", "[Section]\nCount=5\n");
  EXPECT_EQ(ReadIniInteger(OtherKey, "Section", "Num", 40), 40);
  // A key of the right name in a later section does not leak into the one asked for.
  const std::string Later = Dir.Write("e.ini", "[Section]\nX=1\n[Other]\nNum=5\n");
  EXPECT_EQ(ReadIniInteger(Later, "Section", "Num", 40), 40);
  // A folder where the file should be is a missing file, not a crash.
  EXPECT_EQ(ReadIniInteger(Dir.Path().string(), "Section", "Num", 40), 40);
}

TEST(IniFile, FirstMatchWinsAndCommentsAreSkipped) {
  TTempDir Dir;
  const std::string File =
      Dir.Write("f.ini", "; Num=1\n[Section]\n;Num=2\nNum=3\nNum=4\n[Section]\nNum=5\n");
  EXPECT_EQ(ReadIniInteger(File, "Section", "Num", 40), 3);
}

TEST(IniFile, IsNeverWritten) {
  TTempDir Dir;
  const std::string File = Dir.Write("g.ini", "[Section]\n");
  const auto Before = std::filesystem::last_write_time(File);
  EXPECT_EQ(ReadIniInteger(File, "Section", "Num", 40), 40);
  EXPECT_EQ(std::filesystem::last_write_time(File), Before);
  EXPECT_EQ(std::filesystem::file_size(File), 10u);
}

TEST(IniFile, LongValuesAreCutAt2047Characters) {
  TTempDir Dir;
  const std::string File = Dir.Write("h.ini", "[Section]\nNum=" + std::string(3000, '7') + "\n");
  const auto Value = ReadIniString(File, "Section", "Num");
  ASSERT_TRUE(Value.has_value());
  EXPECT_EQ(Value->size(), 2047u);
  EXPECT_EQ(ReadIniInteger(File, "Section", "Num", 40), 40);
}

// ---- Data folder and path mapping ---------------------------------------------------------

TEST(DataFolder, MapsOnlyTheDataPrefixAndEveryBackslash) {
  TScopedEnv Env("VADREL_DATA", "/opt/vadrel-data/");
  EXPECT_EQ(DataFolder(), "/opt/vadrel-data");
  EXPECT_EQ(MapPath("C:\\Vadrel_Data\\Vadrel.pp1"), "/opt/vadrel-data/Vadrel.pp1");
  EXPECT_EQ(MapPath("C:\\Vadrel_Data\\.\\Vadrel202.bmp"), "/opt/vadrel-data/./Vadrel202.bmp");
  EXPECT_EQ(MapPath(".\\Vadrel202.bmp"), "./Vadrel202.bmp");
  EXPECT_EQ(MapPath("data\\Rock.jpg"), "data/Rock.jpg");
  EXPECT_EQ(MapPath("skin.bmp"), "skin.bmp");
  EXPECT_EQ(MapPath("/abs/x.bmp"), "/abs/x.bmp");
  EXPECT_EQ(MapPath("c:\\vadrel_data\\x.bmp"), "c:/vadrel_data/x.bmp");  // the prefix is exact
}

TEST(DataFolder, FallsBackToTheBuildFolderWithoutTheVariable) {
  TScopedEnv Env("VADREL_DATA", nullptr);
  EXPECT_FALSE(DataFolder().empty());
  EXPECT_EQ(DataFolder().back() == '/', DataFolder() == "/");
}

TEST(Files, ReadWholeFileAndFileExists) {
  TTempDir Dir;
  std::vector<std::uint8_t> Big(200000);
  for (std::size_t I = 0; I < Big.size(); ++I) Big[I] = std::uint8_t(I * 7);
  const std::string File = Dir.Write("big.bin", Big);
  std::vector<std::uint8_t> Read;
  ASSERT_TRUE(ReadWholeFile(File, Read));
  EXPECT_EQ(Read, Big);
  EXPECT_TRUE(FileExists(File));
  EXPECT_FALSE(FileExists(Dir.Path().string()));  // a folder is not a file
  EXPECT_FALSE(FileExists((Dir.Path() / "none").string()));
  EXPECT_FALSE(ReadWholeFile((Dir.Path() / "none").string(), Read));
  EXPECT_TRUE(Read.empty());
  EXPECT_FALSE(ReadWholeFile(Dir.Path().string(), Read));
}

// ---- Messages, clocks, keys ---------------------------------------------------------------

// Without a display (as in the tests) a box becomes a "Caption: Text" line on stderr.
TEST(Messages, BoxesGoToTheSinkWhenOneIsInstalledElseToStderr) {
  testing::internal::CaptureStderr();
  {
    TMessageCapture Capture;
    ShowMessage("Error opening x.bmp", "BMP Unit");
    ShowMessage("second", "Caption");
    ASSERT_EQ(Capture.Messages.size(), 2u);
    EXPECT_EQ(Capture.Messages[0].Text, "Error opening x.bmp");
    EXPECT_EQ(Capture.Messages[0].Caption, "BMP Unit");
    EXPECT_TRUE(Capture.Diagnostics.empty());
  }
  ShowMessage("Couldn't load the model", "Vadrel");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Vadrel: Couldn't load the model\n");
}

TEST(Messages, DiagnosticsGoToTheSinkWhenOneIsInstalledElseToOneStderrLine) {
  testing::internal::CaptureStderr();
  {
    TMessageCapture Capture;
    ShowDiagnostic("cannot decode JPEG \"x.jpg\": Premature end of JPEG file");
    EXPECT_EQ(Capture.Diagnostics,
              std::vector<std::string>{"cannot decode JPEG \"x.jpg\": Premature end of JPEG file"});
    EXPECT_TRUE(Capture.Messages.empty());
  }
  ShowDiagnostic("Num=500 is more than the screen saver can animate");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "vadrel: Num=500 is more than the screen saver can animate\n");
}

TEST(Clock, FallbackCanBeForcedAndReplaced) {
  EXPECT_GT(PerformanceFrequency(), 0);
  SetPerformanceCounterAvailable(false);
  EXPECT_EQ(PerformanceFrequency(), 0);
  SetPerformanceCounterAvailable(true);
  SetMillisecondClock([] { return 0xFFFFFFF0u; });
  EXPECT_EQ(MillisecondClock(), 0xFFFFFFF0u);
  SetMillisecondClock({});
  const std::uint32_t A = MillisecondClock();
  SDL_Delay(5);
  EXPECT_GE(MillisecondClock() - A, 4u);
}

TEST(Keys, SdlKeysMapToWindowsVirtualKeys) {
  const struct {
    SDL_Keycode Sdl;
    int Vk;
  } Cases[] = {{SDLK_ESCAPE, 27}, {SDLK_a, 65}, {SDLK_z, 90}, {SDLK_0, 48}, {SDLK_9, 57},
               {SDLK_SPACE, 32}, {SDLK_RETURN, 13}, {SDLK_LEFT, 37}, {SDLK_F1, 112},
               {SDLK_F12, 123}, {SDLK_KP_0, 96}, {SDLK_KP_9, 105}, {SDLK_LALT, -1},
               {SDLK_F13, -1}};
  for (const auto& Case : Cases)
    EXPECT_EQ(VirtualKeyFromSDL(Case.Sdl), Case.Vk) << SDL_GetKeyName(Case.Sdl);
}

}  // namespace
