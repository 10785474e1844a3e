// Tests of the texture loaders: the choice of reader by name, the messages that name the file,
// and the upload in a real GL context.
#include "Textures.h"
#include "CraftedImages.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// ---- Front end ----------------------------------------------------------------------------------

// The names the front end takes are missing, so the reader that was picked shows itself by its
// message; the others hold a real BMP (those of four characters or more), which is not loaded,
// nor is anything shown.
TEST(LoadTexture, ChoosesTheReaderByTheLastFourCharactersInAnyCase) {
  TTempDir Dir;
  const struct {
    std::string Name, Text, Caption;
  } Cases[] = {
      {"no/such/a.bmp", "Error opening no/such/a.bmp", "BMP Unit"},
      {"no/such/a.BMP", "Error opening no/such/a.BMP", "BMP Unit"},
      {"no/such/a.Bmp", "Error opening no/such/a.Bmp", "BMP Unit"},
      {"no/such/a.JpG", "Couldn't load JPG - \"no/such/a.JpG\"", "JPG Unit"},
      {"no/such/a.tga", "File not found  - no/such/a.tga", "TGA Texture"},
      {".tga", "File not found  - .tga", "TGA Texture"},
      {"a.jpeg", "", ""}, {"a.png", "", ""}, {"a", "", ""},         {"bmp", "", ""},
      {"BMP", "", ""},    {"", "", ""},      {"a.bmp.gz", "", ""},  {"a.bm", "", ""},
  };
  for (const auto& C : Cases) {
    const bool Taken = !C.Text.empty();
    TMessageCapture Capture;
    std::uint32_t Texture = 77;
    EXPECT_FALSE(LoadTexture(Taken || C.Name.size() < 4 ? C.Name : Dir.Write(C.Name, MakeBMP({})),
                             Texture))
        << C.Name;
    EXPECT_EQ(Texture, 77u);
    ASSERT_EQ(Capture.Messages.size(), Taken ? 1u : 0u) << C.Name;
    if (!Taken) continue;
    EXPECT_EQ(Capture.Messages[0].Text, C.Text);
    EXPECT_EQ(Capture.Messages[0].Caption, C.Caption);
  }
}

// ---- Upload (real GL context) -------------------------------------------------------------------

// The level-0 texels of the bound texture, packed RGB or RGBA.
Bytes ReadLevel0(TPixelFormat Format, int Width, int Height) {
  const int BPP = Format == TPixelFormat::RGBA ? 4 : 3;
  Bytes Out(std::size_t(Width) * Height * BPP);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, Format == TPixelFormat::RGBA ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE,
                Out.data());
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  return Out;
}

// The width and height of a level of the bound texture (0 x 0 where there is none).
std::pair<GLint, GLint> LevelSize(GLint Level) {
  GLint W = 0, H = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, Level, GL_TEXTURE_WIDTH, &W);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, Level, GL_TEXTURE_HEIGHT, &H);
  return {W, H};
}

Bytes PackedRows(const TImage& I) {
  Bytes Out;
  const std::size_t Row = std::size_t(I.Width) * I.BytesPerPixel();
  for (std::uint32_t R = 0; R < I.Height; ++R)
    Out.insert(Out.end(), I.Pixels.begin() + R * I.RowBytes, I.Pixels.begin() + R * I.RowBytes + Row);
  return Out;
}

TEST(Upload, LevelZeroHoldsTheDecodedPixelsForEveryRowLayout) {
  TGLTestContext GL;
  REQUIRE_GL(GL);
  TTempDir Dir;
  Bytes Jpeg(4 * 2 * 3);
  for (std::size_t I = 0; I < Jpeg.size(); ++I) Jpeg[I] = std::uint8_t(I * 10);
  Bytes Tga24 = TgaHeader(2, 2, 2, 24);  // rows of 6 bytes: packed, not a multiple of 4
  for (int I = 0; I < 12; ++I) Tga24.push_back(std::uint8_t(I * 20 + 3));
  Bytes Tga32 = TgaHeader(10, 4, 2, 32);
  for (std::uint8_t B : {0x83, 9, 8, 7, 6, 0x03, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})
    Tga32.push_back(B);
  const struct {
    std::string Name;
    Bytes File;
    int Width, Height;
  } Cases[] = {
      {"padded.bmp", MakeBMP({.Width = 2, .Height = 2}), 2, 2},
      {"wide.BMP", MakeBMP({.Width = 64, .Height = 32}), 64, 32},
      {"packed24.tga", Tga24, 2, 2},
      {"rle32.tga", Tga32, 4, 2},
      {"photo.jpg", MakeJPEG(4, 2, 3, Jpeg), 4, 2},
  };
  for (const auto& C : Cases) {
    const std::string Path = Dir.Write(C.Name, C.File);
    const TDecoder Decoder = C.Name.ends_with("jpg")   ? DecodeJPG
                             : C.Name.ends_with("tga") ? DecodeTGA
                                                       : DecodeBMP;
    TImage Decoded;
    ASSERT_EQ(Decode(Decoder, C.File, Decoded), std::nullopt) << C.Name;
    std::uint32_t Texture = 0;
    TMessageCapture Capture;
    ASSERT_TRUE(LoadTexture(Path, Texture)) << C.Name;
    EXPECT_TRUE(Capture.Messages.empty());
    EXPECT_TRUE(Capture.Diagnostics.empty());
    EXPECT_NE(Texture, 0u);
    EXPECT_TRUE(glIsTexture(Texture));
    GLint Bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &Bound);
    EXPECT_EQ(GLuint(Bound), Texture) << C.Name;
    EXPECT_EQ(LevelSize(0), std::pair(C.Width, C.Height)) << C.Name;
    EXPECT_EQ(ReadLevel0(Decoded.Format, C.Width, C.Height), PackedRows(Decoded)) << C.Name;
    GLint Alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &Alignment);
    EXPECT_EQ(Alignment, 4) << "unpack alignment not restored after " << C.Name;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << C.Name;
  }
}

// Only the base level is ever sampled: by default it alone is uploaded, holding the same texels
// the mipmap builder would store there; the reference path builds the whole chain.
TEST(Upload, SetsLinearFiltersModulateAndTheBaseLevelTheChainWouldHave) {
  TGLTestContext GL;
  REQUIRE_GL(GL);
  TTempDir Dir;
  const std::string Path = Dir.Write("c.bmp", MakeBMP({.Width = 64, .Height = 32}));
  std::vector<std::uint8_t> Base[2];
  for (const bool Full : {true, false}) {
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    std::uint32_t Texture = 0;
    ASSERT_TRUE(LoadTexture(Path, Texture, Full ? TMipmaps::FullChain : TMipmaps::BaseLevel));
    GLint Mag = 0, Min = 0, Env = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &Mag);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &Min);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &Env);
    EXPECT_EQ(Mag, GL_LINEAR);
    EXPECT_EQ(Min, GL_LINEAR);
    EXPECT_EQ(Env, GL_MODULATE);
    EXPECT_EQ(LevelSize(6), Full ? std::pair(1, 1) : std::pair(0, 0));
    Base[Full].resize(64 * 32 * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, Base[Full].data());
  }
  EXPECT_TRUE(Base[0] == Base[1]);
}

// Sides that are not powers of two are scaled to powers of two, and only memory limits a
// picture, not a side: one wider than GL's largest texture is decoded whole and scaled down by
// the upload. Each load, even of the same file, makes a texture of its own.
TEST(Upload, OddSizesAndPicturesWiderThanTheLargestTextureAreScaledNotRefused) {
  TGLTestContext GL;
  REQUIRE_GL(GL);
  TTempDir Dir;
  constexpr int Wide = 20000;
  Bytes Tga = TgaHeader(2, Wide, 1, 24);
  Tga.resize(Tga.size() + Wide * 3, 90);
  const struct {
    std::string Name;
    Bytes File;
    int MaxWidth, MaxHeight;  // of the texture
  } Cases[] = {
      {"odd.bmp", MakeBMP({.Width = 100, .Height = 50}), 128, 64},
      {"wide.tga", Tga, Wide, 1},
      {"wide.bmp", MakeBMP({.Width = Wide, .Height = 1}), Wide, 1},
      {"wide.jpg", MakeJPEG(Wide, 8, 3, Bytes(std::size_t(Wide) * 8 * 3, 90)), Wide, 8},
  };
  GLint Largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &Largest);
  for (const auto& C : Cases) {
    TMessageCapture Capture;
    const std::string Path = Dir.Write(C.Name, C.File);
    std::uint32_t Texture = 0, Again = 0;
    ASSERT_TRUE(LoadTexture(Path, Texture)) << C.Name;
    ASSERT_TRUE(LoadTexture(Path, Again)) << C.Name;
    EXPECT_TRUE(Capture.Messages.empty()) << C.Name;
    EXPECT_NE(Texture, Again) << C.Name;
    const auto [W, H] = LevelSize(0);
    EXPECT_TRUE(W > 0 && (W & (W - 1)) == 0 && W <= std::min(Largest, C.MaxWidth))
        << C.Name << ": " << W;
    EXPECT_TRUE(H > 0 && (H & (H - 1)) == 0 && H <= C.MaxHeight) << C.Name << ": " << H;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << C.Name;
  }
}

// Every way a load fails shows one box naming the file (the JPEG reader's decoding failures after
// one diagnostic line with the reason), creates no texture and leaves the variable alone.
TEST(Upload, FailedLoadsSayWhyCreateNoTextureAndLeaveTheVariable) {
  TGLTestContext GL;
  REQUIRE_GL(GL);
  TTempDir Dir;
  const Bytes GoodBmp = MakeBMP({});
  Bytes CutTable = MakeBMP({.ColoursUsed = 4}, 0);
  CutTable.resize(54 + 15);
  struct TCase {
    std::string Path, Text, Caption;
    std::vector<std::string> Diagnostics = {};
  };
  const auto Write = [&](const std::string& Name, const Bytes& File) { return Dir.Write(Name, File); };
  const auto Missing = [&](const std::string& Name) { return (Dir.Path() / Name).string(); };
  const auto Bmp = [](const std::string& Path, const std::string& Reason) {
    return TCase{Path, "Error loading " + Path + ": " + Reason, "BMP Unit"};
  };
  const auto Jpg = [](const std::string& Path, const std::string& Reason) {
    return TCase{Path, "Couldn't load JPG - \"" + Path + "\"", "JPG Unit",
                 {"cannot decode JPEG \"" + Path + "\": " + Reason}};
  };
  const auto TgaRefused = [](const std::string& Path, const std::string& Sentence) {
    return TCase{Path, "Couldn't load \"" + Path + "\". " + Sentence, "TGA File Error"};
  };
  const auto TgaRead = [](const std::string& Path) {
    return TCase{Path, "Couldn't read file \"" + Path + "\".", "TGA File Error"};
  };
  std::vector<TCase> Cases = {
      {Missing("missing.bmp"), "Error opening " + Missing("missing.bmp"), "BMP Unit"},
      Bmp(Write("short.bmp", Bytes(GoodBmp.begin(), GoodBmp.begin() + 53)),
          "the file is shorter than the bitmap headers"),
      Bmp(Write("dir/p.bmp", MakeBMP({.Bits = 8})),
          "only 24-bit bitmaps are supported, this one has 8 bits per pixel"),
      {Write("cut-table.bmp", CutTable), "Error reading palette", "BMP Unit"},
      {Write("cut.bmp", Bytes(GoodBmp.begin(), GoodBmp.end() - 1)), "Error reading bitmap data",
       "BMP Unit"},
      {Missing("missing.tga"), "File not found  - " + Missing("missing.tga"), "TGA Texture"},
      TgaRefused(Write("a b.tga", Cat(TgaHeader(3, 1, 1, 8), {0})),
                 "Only 24 and 32bit TGA supported."),
      TgaRefused(Write("mapped.tga", Cat(TgaHeader(2, 1, 1, 24, 0, 1), {0, 0, 0})),
                 "Colormapped TGA files not supported."),
      TgaRefused(Write("16.tga", Cat(TgaHeader(2, 1, 1, 16), {0, 0})),
                 "Only 24 and 32 bit TGA files supported."),
      TgaRead(Write("empty.tga", Bytes{})),
      TgaRead(Write("short.tga", Bytes(17, 0))),
      TgaRead(Write("cut.tga", Cat(TgaHeader(2, 2, 2, 24), {1, 2, 3}))),
      TgaRead(Write("cut-rle.tga", Cat(TgaHeader(10, 2, 1, 24), {0x80, 1, 2, 3}))),
      {Missing("missing.jpg"), "Couldn't load JPG - \"" + Missing("missing.jpg") + "\"",
       "JPG Unit"},
      Jpg(Write("cut.jpg", Bytes{0xFF, 0xD8, 0xFF}), "JPEG datastream contains no image"),
      Jpg(Write("dir/bad one.jpg", GoodBmp), "Not a JPEG file: starts with 0x42 0x4d"),
      Jpg(Write("cmyk.jpg", MakeJPEG(4, 4, 4, Bytes(4 * 4 * 4, 100))),
          "only greyscale, YCbCr and RGB pictures are supported, this one is CMYK"),
  };
  // A file that exists but cannot be opened; permissions stop everyone but root.
  if (geteuid() != 0) {
    const std::string Locked = Write("locked.tga", Cat(TgaHeader(2, 1, 1, 24), {1, 2, 3}));
    fs::permissions(Locked, fs::perms::none);
    Cases.push_back(TgaRead(Locked));
  }
  GLuint Probe = 0;
  glGenTextures(1, &Probe);
  for (const auto& C : Cases) {
    TMessageCapture Capture;
    std::uint32_t Texture = 12345;
    EXPECT_FALSE(LoadTexture(C.Path, Texture)) << C.Path;
    EXPECT_EQ(Texture, 12345u);
    ASSERT_EQ(Capture.Messages.size(), 1u) << C.Path;
    EXPECT_EQ(Capture.Messages[0].Text, C.Text);
    EXPECT_EQ(Capture.Messages[0].Caption, C.Caption);
    EXPECT_EQ(Capture.Diagnostics, C.Diagnostics) << C.Path;
  }
  // No name was taken by the failed loads: the next one follows the probe directly.
  GLuint Next = 0;
  glGenTextures(1, &Next);
  EXPECT_EQ(Next, Probe + 1);
}

TEST(Upload, JpegFallsBackToTheDataFolderButNamesTheFileAsPassed) {
  TGLTestContext GL;
  REQUIRE_GL(GL);
  TTempDir Dir;
  Dir.Write("data/Rock.jpg", MakeJPEG(8, 8, 3, Bytes(8 * 8 * 3, 128)));
  TChangeDir Into(Dir.Path());
  std::uint32_t Texture = 0;
  {
    TMessageCapture Capture;
    EXPECT_TRUE(LoadTexture("Rock.jpg", Texture));
    EXPECT_TRUE(Capture.Messages.empty());
    EXPECT_NE(Texture, 0u);
  }
  TMessageCapture Capture;
  std::uint32_t Other = 3;
  EXPECT_FALSE(LoadTexture("Pebble.jpg", Other));
  EXPECT_EQ(Other, 3u);
  ASSERT_EQ(Capture.Messages.size(), 1u);
  EXPECT_EQ(Capture.Messages[0].Text, "Couldn't load JPG - \"Pebble.jpg\"");
}

}  // namespace
