#include "Platform.h"
#include "TestSupport.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

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

// The test runs from the build tree's tests folder, where no data lies beside it: the folder this
// build generated is next in line.
TEST(DataFolder, FallsBackToTheBuildFolderWithoutTheVariable) {
  const std::string Generated = std::string(VADREL_BINARY_DIR) + "/data";
  if (!FileExists(Generated + "/Vadrel.pp1")) GTEST_SKIP() << "no generated data in " << Generated;
  TScopedEnv Env("VADREL_DATA", nullptr);
  EXPECT_EQ(DataFolder(), Generated);
}

// Whether a path can serve as the data folder, in the system's words.
TEST(DataFolder, FolderProblemSaysWhyAPathIsNoFolder) {
  TTempDir Dir;
  const std::string File = Dir.Write("file", std::string("x"));
  EXPECT_EQ(FolderProblem(Dir.Path().string()), std::nullopt);
  EXPECT_EQ(FolderProblem(File), std::string(std::strerror(ENOTDIR)));
  EXPECT_EQ(FolderProblem((Dir.Path() / "missing").string()), std::string(std::strerror(ENOENT)));
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

// ---- Messages and clocks ------------------------------------------------------------------

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

}  // namespace
