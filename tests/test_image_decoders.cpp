// Tests of the image decoders: the three formats on files crafted byte by byte, on the real sample
// corpus and on the inputs kept from fuzzing, and the reasons they give.
#include "CraftedImages.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>

#include <png.h>

namespace fs = std::filesystem;

namespace {

TDecodeFailure Refused(std::string Reason) {
  return {TDecodeFailureKind::Refused, std::move(Reason)};
}
const TDecodeFailure ShortColourTable{TDecodeFailureKind::ShortColourTable, {}};
const TDecodeFailure ShortPixelData{TDecodeFailureKind::ShortPixelData, {}};

struct TRefusal {
  const char* What;
  Bytes File;
  TDecodeFailure Expected;
};

// Each file is refused as expected, and the decoder shows nothing itself: the refusal is its
// caller's to show.
void ExpectRefusals(TDecoder Decoder, const std::vector<TRefusal>& Cases) {
  TMessageCapture Capture;
  for (const TRefusal& C : Cases) {
    TImage I;
    EXPECT_EQ(Decode(Decoder, C.File, I), C.Expected) << C.What;
  }
  EXPECT_TRUE(Capture.Messages.empty());
  EXPECT_TRUE(Capture.Diagnostics.empty());
}

// ---- Reading references -------------------------------------------------------------------------

struct TRgbaPicture {
  std::uint32_t Width = 0, Height = 0;
  Bytes Pixels;  // RGBA, top row first
  const std::uint8_t* At(std::uint32_t X, std::uint32_t Y) const {
    return &Pixels[(std::size_t(Y) * Width + X) * 4];
  }
};

std::optional<TRgbaPicture> ReadPNG(const fs::path& Path) {
  png_image Image;
  std::memset(&Image, 0, sizeof Image);
  Image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&Image, Path.c_str())) return std::nullopt;
  Image.format = PNG_FORMAT_RGBA;
  TRgbaPicture P;
  P.Width = Image.width;
  P.Height = Image.height;
  P.Pixels.resize(PNG_IMAGE_SIZE(Image));
  if (!png_image_finish_read(&Image, nullptr, P.Pixels.data(), 0, nullptr)) {
    png_image_free(&Image);
    return std::nullopt;
  }
  return P;
}

Bytes ReadBytes(const fs::path& Path) {
  Bytes B;
  EXPECT_TRUE(ReadWholeFile(Path.string(), B)) << Path;
  return B;
}

struct TTally {
  std::size_t Files = 0, Decoded = 0;
};

// Every file under Folder (of Extension, unless empty) decodes to a picture holding its rows, or is
// refused saying why (a refusal of kind Refused has a reason, the others none); nothing is shown.
TTally DecodeEach(const fs::path& Folder, TDecoder Decoder, const std::string& Extension = {}) {
  TTally Tally;
  if (!fs::is_directory(Folder)) return Tally;
  TMessageCapture Capture;
  for (const auto& Entry : fs::recursive_directory_iterator(Folder)) {
    const fs::path& Path = Entry.path();
    if (!Entry.is_regular_file() || (!Extension.empty() && Path.extension() != Extension)) continue;
    ++Tally.Files;
    TImage I;
    if (const auto F = Decode(Decoder, ReadBytes(Path), I)) {
      EXPECT_EQ(F->Kind == TDecodeFailureKind::Refused, !F->Reason.empty()) << Path;
    } else {
      ++Tally.Decoded;
      EXPECT_EQ(I.Pixels.size(), I.RowBytes * I.Height) << Path;
    }
  }
  EXPECT_TRUE(Capture.Messages.empty());
  EXPECT_TRUE(Capture.Diagnostics.empty());
  return Tally;
}

const std::uint8_t* PixelAt(const TImage& I, std::uint32_t X, std::uint32_t Row) {
  return &I.Pixels[std::size_t(Row) * I.RowBytes + std::size_t(X) * I.BytesPerPixel()];
}

// Compares a decoded picture with a reference, mapping buffer row r to reference row
// RefRow(r); counts differing pixels (RGB, plus alpha when the picture has it).
std::size_t CountMismatches(const TImage& Got, const TRgbaPicture& Ref, bool BottomUp) {
  std::size_t Bad = 0;
  for (std::uint32_t Row = 0; Row < Got.Height; ++Row) {
    const std::uint32_t RefRow = BottomUp ? Got.Height - 1 - Row : Row;
    for (std::uint32_t X = 0; X < Got.Width; ++X) {
      const std::uint8_t* A = PixelAt(Got, X, Row);
      const std::uint8_t* B = Ref.At(X, RefRow);
      const bool Same = A[0] == B[0] && A[1] == B[1] && A[2] == B[2] &&
                        (Got.Format == TPixelFormat::RGB || A[3] == B[3]);
      Bad += !Same;
    }
  }
  return Bad;
}

fs::path ImagesDir() {
  const fs::path Root = CorpusDir();
  if (Root.empty() || !fs::exists(Root / "images")) return {};
  return Root / "images";
}

#define REQUIRE_CORPUS(Var)                                        \
  const fs::path Var = ImagesDir();                                \
  do {                                                             \
    if (Var.empty()) GTEST_SKIP() << "sample corpus not present"; \
  } while (0)

// ---- BMP ----------------------------------------------------------------------------------------

// Each row's pixels come out as RGB, bottom row first, the padding left as it was stored.
TEST(DecodeBMP, FindsThePixelsWhereverTheFilePutsThemAndSwapsEachRow) {
  const struct {
    const char* What;
    TBmpLayout Layout;
  } Cases[] = {
      {"3 x 2, rows padded", {.Width = 3, .Height = 2}},
      {"image size field 0, 64 x 64", {.Width = 64, .Height = 64}},
      {"image size field exact", {.Width = 64, .Height = 64, .ImageSize = 12288}},
      {"colour table of 2 skipped", {.Width = 4, .Height = 2, .ColoursUsed = 2}},
      {"V5 info header (124 bytes)", {.Width = 4, .Height = 2, .HeaderSize = 124}},
      {"V4 header with a colour table",
       {.Width = 4, .Height = 2, .ColoursUsed = 3, .HeaderSize = 108}},
      {"gap after the colour table", {.Width = 4, .Height = 2, .ColoursUsed = 1, .Gap = 6}},
      {"offset field 0 (pixels follow the table)", {.Width = 4, .Height = 2, .Offset = 0}},
  };
  for (const auto& C : Cases) {
    TImage I;
    ASSERT_EQ(Decode(DecodeBMP, MakeBMP(C.Layout), I), std::nullopt) << C.What;
    const std::size_t Stride = BmpStride(C.Layout.Width), Row = std::size_t(C.Layout.Width) * 3;
    EXPECT_EQ(I.Width, std::uint32_t(C.Layout.Width)) << C.What;
    EXPECT_EQ(I.Height, std::uint32_t(C.Layout.Height)) << C.What;
    EXPECT_EQ(I.Format, TPixelFormat::RGB) << C.What;
    EXPECT_EQ(I.RowBytes, Stride) << C.What;
    ASSERT_EQ(I.Pixels.size(), Stride * C.Layout.Height) << C.What;
    for (std::size_t At = 0; At < I.Pixels.size(); ++At) {
      const std::size_t X = At % Stride;  // the stored byte of BGR order read here
      const std::size_t From = X >= Row ? At : At - X % 3 + 2 - X % 3;
      ASSERT_EQ(I.Pixels[At], PatternByte(From)) << C.What << ", byte " << At;
    }
  }
}

TEST(DecodeBMP, RefusesSayingWhy) {
  const Bytes Good = MakeBMP({.Width = 3, .Height = 2});
  const Bytes Short(Good.begin(), Good.begin() + 53);
  const Bytes CutPixels(Good.begin(), Good.end() - 1);
  const Bytes OnlyHeaders(Good.begin(), Good.begin() + 54);
  Bytes CutTable = MakeBMP({.ColoursUsed = 4}, 0);
  CutTable.resize(54 + 15);
  Bytes HugeTable = MakeBMP({});
  std::fill(HugeTable.begin() + 46, HugeTable.begin() + 50, 0xFF);
  // What the headers refuse comes with the reason; a file cut short says only where.
  const TDecodeFailure Headers = Refused("the file is shorter than the bitmap headers");
  const TDecodeFailure TopDown = Refused("top-down bitmaps (negative height) are not supported");
  ExpectRefusals(DecodeBMP, {
      {"empty file", {}, Headers},
      {"shorter than the headers", Short, Headers},
      {"OS/2 core header", MakeBMP({.Width = 8, .HeaderSize = 12}),
       Refused("unsupported bitmap header of 12 bytes (at least 40 expected)")},
      {"8 bits per pixel", MakeBMP({.Bits = 8}),
       Refused("only 24-bit bitmaps are supported, this one has 8 bits per pixel")},
      {"32 bits per pixel", MakeBMP({.Bits = 32}),
       Refused("only 24-bit bitmaps are supported, this one has 32 bits per pixel")},
      {"RLE compression", MakeBMP({.Compression = 1}),
       Refused("compressed bitmaps are not supported (compression 1)")},
      {"bit fields", MakeBMP({.Compression = 3}),
       Refused("compressed bitmaps are not supported (compression 3)")},
      {"top-down rows", MakeBMP({.Height = -2}), TopDown},
      {"most negative height", MakeBMP({.Height = INT32_MIN}, 0), TopDown},
      {"width 0", MakeBMP({.Width = 0}), Refused("the picture has no pixels (0 x 2)")},
      {"height 0", MakeBMP({.Height = 0}), Refused("the picture has no pixels (3 x 0)")},
      {"negative width", MakeBMP({.Width = -3}, 24), Refused("the picture has no pixels (-3 x 2)")},
      {"one row beyond the cap", MakeBMP({.Width = 100000000, .Height = 1}, 0),
       Refused("the picture of 100000000 x 1 pixels is too large")},
      {"bytes beyond the cap", MakeBMP({.Width = 10000, .Height = 10000}, 0),
       Refused("the picture of 10000 x 10000 pixels is too large")},
      {"byte count overflowing 32 bits", MakeBMP({.Width = INT32_MAX, .Height = INT32_MAX}, 0),
       Refused("the picture of 2147483647 x 2147483647 pixels is too large")},
      {"image size field smaller than the rows", MakeBMP({.ImageSize = 23}),
       Refused("its image size field (23 bytes) is smaller than its 3 x 2 pixels need (24 bytes)")},
      {"cut inside the pixel data", CutPixels, ShortPixelData},
      {"no pixel data", OnlyHeaders, ShortPixelData},
      {"offset past the end", MakeBMP({.Offset = 0xFFFFFFF0u}), ShortPixelData},
      // A size field larger than the rows asks for bytes the file does not have.
      {"image size field beyond the file", MakeBMP({.ImageSize = 26}), ShortPixelData},
      {"cut inside the colour table", CutTable, ShortColourTable},
      {"colour table of 4 billion entries", HugeTable, ShortColourTable},
  });
}

// ---- TGA ----------------------------------------------------------------------------------------

TEST(DecodeTGA, ConvertsStoredPixelsAndSkipsTheIdField) {
  const struct {
    const char* What;
    Bytes File;
    std::uint32_t Width, Height;
    TPixelFormat Format;
    Bytes Expected;
  } Cases[] = {
      {"32-bit 2 x 1", Cat(TgaHeader(2, 2, 1, 32), {1, 2, 3, 4, 5, 6, 7, 8}), 2, 1,
       TPixelFormat::RGBA, {3, 2, 1, 4, 7, 6, 5, 8}},
      {"ID field of 5 bytes", Cat(TgaHeader(2, 1, 1, 24, 5), {1, 2, 3}), 1, 1, TPixelFormat::RGB, {3, 2, 1}},
      {"trailing footer ignored", Cat(TgaHeader(2, 1, 1, 24), {1, 2, 3, 9, 9, 9, 9}), 1, 1,
       TPixelFormat::RGB, {3, 2, 1}},
      {"top-left origin still in stored order", Cat(TgaHeader(2, 1, 2, 24, 0, 0, 0x20), {1, 2, 3, 4, 5, 6}),
       1, 2, TPixelFormat::RGB, {3, 2, 1, 6, 5, 4}},
      {"RLE one run of 4", Cat(TgaHeader(10, 4, 1, 24), {0x83, 1, 2, 3}), 4, 1, TPixelFormat::RGB,
       {3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1}},
      {"RLE raw then run", Cat(TgaHeader(10, 4, 1, 24), {0x00, 1, 2, 3, 0x82, 4, 5, 6}), 4, 1,
       TPixelFormat::RGB, {3, 2, 1, 6, 5, 4, 6, 5, 4, 6, 5, 4}},
      {"RLE run past the end stops at the last pixel", Cat(TgaHeader(10, 2, 1, 24), {0xFF, 1, 2, 3}), 2, 1,
       TPixelFormat::RGB, {3, 2, 1, 3, 2, 1}},
      {"RLE raw packet past the end uses the pixels that fit", Cat(TgaHeader(10, 1, 1, 24), {0x01, 1, 2, 3}),
       1, 1, TPixelFormat::RGB, {3, 2, 1}},
      {"RLE packets crossing rows", Cat(TgaHeader(10, 2, 2, 32), {0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
                                                                     0x80, 13, 14, 15, 16}),
       2, 2, TPixelFormat::RGBA, {3, 2, 1, 4, 7, 6, 5, 8, 11, 10, 9, 12, 15, 14, 13, 16}},
      {"RLE run crossing rows", Cat(TgaHeader(10, 2, 2, 24, 5), {0x00, 1, 2, 3, 0x82, 4, 5, 6}), 2, 2,
       TPixelFormat::RGB, {3, 2, 1, 6, 5, 4, 6, 5, 4, 6, 5, 4}},
  };
  for (const auto& C : Cases) {
    TImage I;
    ASSERT_EQ(Decode(DecodeTGA, C.File, I), std::nullopt) << C.What;
    EXPECT_EQ(I.Width, C.Width) << C.What;
    EXPECT_EQ(I.Height, C.Height) << C.What;
    EXPECT_EQ(I.Format, C.Format) << C.What;
    EXPECT_EQ(I.RowBytes, C.Width * I.BytesPerPixel()) << C.What;
    EXPECT_EQ(I.Pixels, C.Expected) << C.What;
  }
}

TEST(DecodeTGA, RefusesWithTheExactSentences) {
  const TDecodeFailure Type = Refused("Only 24 and 32bit TGA supported.");
  const TDecodeFailure Map = Refused("Colormapped TGA files not supported.");
  const TDecodeFailure Depth = Refused("Only 24 and 32 bit TGA files supported.");
  const TDecodeFailure Read = ShortPixelData;
  ExpectRefusals(DecodeTGA, {
      {"greyscale (type 3)", Cat(TgaHeader(3, 1, 1, 8), {0}), Type},
      {"colour-mapped (type 1)", Cat(TgaHeader(1, 1, 1, 8, 0, 1), {0}), Type},
      {"RLE greyscale (type 11)", TgaHeader(11, 1, 1, 8), Type},
      {"type 2 with a colour map", Cat(TgaHeader(2, 1, 1, 24, 0, 1), {0, 0, 0}), Map},
      {"16-bit true colour", Cat(TgaHeader(2, 1, 1, 16), {0, 0}), Depth},
      {"empty file", {}, Read},
      {"shorter than the header", Bytes(17, 0), Read},
      {"ID field past the end", TgaHeader(2, 1, 1, 24, 5), Read},
      {"uncompressed pixels cut short", Cat(TgaHeader(2, 2, 1, 24), {1, 2, 3, 4, 5}), Read},
      {"RLE ends before a packet header", Cat(TgaHeader(10, 2, 1, 24), {0x80, 1, 2, 3}), Read},
      {"RLE run pixel cut short", Cat(TgaHeader(10, 1, 1, 32), {0x80, 1, 2, 3}), Read},
      {"RLE raw packet cut short", Cat(TgaHeader(10, 2, 1, 24), {0x01, 1, 2, 3, 4, 5}), Read},
      {"RLE with no data", TgaHeader(10, 1, 1, 24), Read},
      // More pixels than even runs of 128 could give: refused before the picture is allocated.
      {"RLE far too short for its size", Cat(TgaHeader(10, 8192, 8192, 32), {0xFF, 1, 2, 3, 4}),
       Read},
      // Refused before any pixel is read.
      {"width 0", TgaHeader(2, 0, 5, 24), Refused("The picture has no pixels (0 x 5).")},
      {"height 0", TgaHeader(10, 5, 0, 32), Refused("The picture has no pixels (5 x 0).")},
      {"largest sides", TgaHeader(10, 65535, 65535, 24),
       Refused("The picture of 65535 x 65535 pixels is too large.")},
      {"bytes beyond the cap", TgaHeader(2, 16384, 16384, 32),
       Refused("The picture of 16384 x 16384 pixels is too large.")},
  });
}

// ---- JPEG ---------------------------------------------------------------------------------------

bool Near(int A, int B, int Tolerance = 6) { return std::abs(A - B) <= Tolerance; }

TEST(DecodeJPG, TwoByTwoComesOutBottomRowFirstWithOpaqueAlpha) {
  // Top row red, green; bottom row blue, white.
  const Bytes Rgb = {250, 0, 0, 0, 250, 0, 0, 0, 250, 255, 255, 255};
  for (const bool StoreRgb : {false, true}) {
    const Bytes File = MakeJPEG(2, 2, 3, Rgb, StoreRgb);
    TImage I;
    ASSERT_EQ(Decode(DecodeJPG, File, I), std::nullopt) << StoreRgb;
    EXPECT_EQ(I.Format, TPixelFormat::RGBA);
    EXPECT_EQ(I.RowBytes, 8u);
    ASSERT_EQ(I.Pixels.size(), 16u);
    const int Expected[4][3] = {{0, 0, 250}, {255, 255, 255}, {250, 0, 0}, {0, 250, 0}};
    for (int P = 0; P < 4; ++P) {
      for (int C = 0; C < 3; ++C)
        EXPECT_TRUE(Near(I.Pixels[P * 4 + C], Expected[P][C]))
            << "pixel " << P << " channel " << C << " = " << int(I.Pixels[P * 4 + C]) << " rgb " << StoreRgb;
      EXPECT_EQ(I.Pixels[P * 4 + 3], 255);
    }
  }
}

TEST(DecodeJPG, GreyscaleGivesEqualChannelsAndOddSizesAreKept) {
  Bytes Grey(33 * 17);
  for (std::size_t I = 0; I < Grey.size(); ++I) Grey[I] = std::uint8_t(I * 5);
  const Bytes File = MakeJPEG(33, 17, 1, Grey);
  TImage I;
  ASSERT_EQ(Decode(DecodeJPG, File, I), std::nullopt);
  EXPECT_EQ(I.Width, 33u);
  EXPECT_EQ(I.Height, 17u);
  ASSERT_EQ(I.Pixels.size(), 33u * 17 * 4);
  for (std::size_t P = 0; P < 33 * 17; ++P) {
    ASSERT_EQ(I.Pixels[P * 4], I.Pixels[P * 4 + 1]) << P;
    ASSERT_EQ(I.Pixels[P * 4], I.Pixels[P * 4 + 2]) << P;
    ASSERT_EQ(I.Pixels[P * 4 + 3], 255) << P;
  }
}

// The reason is libjpeg's own text where libjpeg refused the stream.
TEST(DecodeJPG, BrokenOrUnsupportedStreamsAreRefusedWithTheReason) {
  Bytes Rgb(16 * 16 * 3);
  for (std::size_t I = 0; I < Rgb.size(); ++I) Rgb[I] = std::uint8_t(I * 13 ^ (I >> 3));
  const Bytes Good = MakeJPEG(16, 16, 3, Rgb);
  const Bytes Truncated(Good.begin(), Good.begin() + Good.size() * 2 / 3);
  const Bytes HeaderOnly(Good.begin(), Good.begin() + 20);
  Bytes Garbled = Good;
  // Damage the entropy-coded data (it ends just before the final EOI marker).
  for (std::size_t I = Good.size() - 60; I < Good.size() - 2; ++I) Garbled[I] = 0xFF;
  // The frame header (FF C0, length, precision, height, width) announces 60000 x 60000: past the
  // memory cap, refused before decoding.
  Bytes Huge = Good;
  for (std::size_t I = 0; I + 8 < Huge.size(); ++I)
    if (Huge[I] == 0xFF && Huge[I + 1] == 0xC0) {
      Huge[I + 5] = Huge[I + 7] = 60000 >> 8;
      Huge[I + 6] = Huge[I + 8] = 60000 & 0xFF;
      break;
    }
  ExpectRefusals(DecodeJPG, {
      {"truncated stream", Truncated, Refused("Premature end of JPEG file")},
      {"only the first headers", HeaderOnly, Refused("JPEG datastream contains no image")},
      {"corrupted entropy data", Garbled,
       Refused("Corrupt JPEG data: premature end of data segment")},
      {"CMYK", MakeJPEG(4, 4, 4, Bytes(4 * 4 * 4, 100)),
       Refused("only greyscale, YCbCr and RGB pictures are supported, this one is CMYK")},
      {"beyond the memory cap", Huge, Refused("the picture of 60000 x 60000 pixels is too large")},
      {"not a JPEG at all", MakeBMP({}), Refused("Not a JPEG file: starts with 0x42 0x4d")},
      {"empty", Bytes{}, Refused("Empty input file")},
  });
}

// Each decoder keeps to the memory cap its caller gives (a fuzzer's is smaller than the
// program's): rows that fill it exactly are decoded, one byte less of cap refuses the picture.
TEST(Decoders, KeepToTheCallersMemoryCap) {
  const struct {
    const char* What;
    TDecoder Decoder;
    Bytes File;
    std::size_t RowsBytes;
    const char* TooLarge;
  } Cases[] = {
      {"BMP", DecodeBMP, MakeBMP({.Width = 4, .Height = 2}), 24,
       "the picture of 4 x 2 pixels is too large"},
      {"TGA", DecodeTGA, Cat(TgaHeader(2, 2, 1, 32), {1, 2, 3, 4, 5, 6, 7, 8}), 8,
       "The picture of 2 x 1 pixels is too large."},
      {"JPEG", DecodeJPG, MakeJPEG(2, 2, 3, Bytes(12, 128)), 16,
       "the picture of 2 x 2 pixels is too large"},
  };
  for (const auto& C : Cases) {
    TImage I;
    EXPECT_EQ(C.Decoder(C.File.data(), C.File.size(), I, C.RowsBytes), std::nullopt) << C.What;
    EXPECT_EQ(C.Decoder(C.File.data(), C.File.size(), I, C.RowsBytes - 1), Refused(C.TooLarge))
        << C.What;
  }
}

// ---- Real files ---------------------------------------------------------------------------------

TEST(Corpus, BmpSuiteRgb24LoadsPixelExact) {
  REQUIRE_CORPUS(Images);
  const fs::path Suite = Images / "bmp" / "bmpsuite";
  const auto Ref = ReadPNG(Suite / "reference_png" / "rgb24.png");
  ASSERT_TRUE(Ref);
  // The same picture stored with a colour table, or a V5 header and a colour profile after the
  // pixels. (rgb24prof2's profile is meant to change the colours; profiles are not applied.)
  for (const char* Name : {"g/rgb24.bmp", "g/rgb24pal.bmp", "q/rgb24largepal.bmp", "q/rgb24prof.bmp",
                           "q/rgb24lprof.bmp"}) {
    const Bytes File = ReadBytes(Suite / Name);
    TImage I;
    ASSERT_EQ(Decode(DecodeBMP, File, I), std::nullopt) << Name;
    ASSERT_EQ(I.Width, Ref->Width) << Name;
    ASSERT_EQ(I.Height, Ref->Height) << Name;
    EXPECT_EQ(CountMismatches(I, *Ref, true), 0u) << Name;
  }
}

TEST(Corpus, EveryBmpAndTgaFileDecodesOrIsRefusedSayingWhy) {
  REQUIRE_CORPUS(Images);
  const TTally Bmp = DecodeEach(Images / "bmp", DecodeBMP, ".bmp");
  EXPECT_GT(Bmp.Files, 80u);
  EXPECT_GE(Bmp.Decoded, 6u);
  EXPECT_GT(DecodeEach(Images / "tga", DecodeTGA, ".tga").Files, 40u);
}

TEST(Corpus, TgaFilesMatchTheirReferencesInStoredRowOrder) {
  REQUIRE_CORPUS(Images);
  const fs::path Tga = Images / "tga";
  const char* Names[] = {
      "tombexcavator/TGA_24_rle",   "tombexcavator/TGA_24_uncompressed", "tombexcavator/TGA_32_rle",
      "tombexcavator/TGA_32_uncompressed", "tombexcavator/TGA_flipped_rle",
      "tombexcavator/TGA_flipped_uncompressed", "tombexcavator/1d",  "tombexcavator/rgb24rle",
      "ftrvxmtrx/rgb24_top_left",   "ftrvxmtrx/rgb24_bottom_left_rle",   "ftrvxmtrx/rgb32_bottom_left",
      "ftrvxmtrx/rgb32_top_left_rle", "fileformat/flag_b24",
  };
  for (const char* Name : Names) {
    const Bytes File = ReadBytes(Tga / (std::string(Name) + ".tga"));
    const auto Ref = ReadPNG(Tga / (std::string(Name) + ".png"));
    ASSERT_TRUE(Ref) << Name;
    TImage I;
    ASSERT_EQ(Decode(DecodeTGA, File, I), std::nullopt) << Name;
    ASSERT_EQ(I.Width, Ref->Width) << Name;
    ASSERT_EQ(I.Height, Ref->Height) << Name;
    // Stored first row first: a bottom-left origin puts the picture's bottom row first.
    const bool TopOrigin = File[17] & 0x20;
    EXPECT_EQ(CountMismatches(I, *Ref, !TopOrigin), 0u) << Name;
  }
}

TEST(Corpus, TgaConformanceSamplesAgreeAcrossEncodings) {
  REQUIRE_CORPUS(Images);
  const fs::path Dir = Images / "tga" / "conformance";
  std::map<std::string, TImage> Decoded;
  for (const char* Name : {"utc24", "ctc24", "utc32"}) {
    const Bytes File = ReadBytes(Dir / (std::string(Name) + ".tga"));
    ASSERT_EQ(Decode(DecodeTGA, File, Decoded[Name]), std::nullopt) << Name;
    EXPECT_EQ(Decoded[Name].Width, 128u);
    EXPECT_EQ(Decoded[Name].Height, 128u);
  }
  EXPECT_EQ(Decoded["utc24"].Pixels, Decoded["ctc24"].Pixels);
  const TImage& A = Decoded["utc24"];
  const TImage& B = Decoded["utc32"];
  ASSERT_EQ(B.Format, TPixelFormat::RGBA);
  std::size_t Bad = 0;
  for (std::size_t P = 0; P < 128 * 128; ++P)
    Bad += !std::equal(&A.Pixels[P * 3], &A.Pixels[P * 3 + 3], &B.Pixels[P * 4]);
  EXPECT_EQ(Bad, 0u);
}

TEST(Corpus, UnsupportedTgaKindsAreRefusedWithTheirSentences) {
  REQUIRE_CORPUS(Images);
  const fs::path Dir = Images / "tga" / "conformance";
  const TDecodeFailure Depth = Refused("Only 24 and 32 bit TGA files supported.");
  const TDecodeFailure Type = Refused("Only 24 and 32bit TGA supported.");
  ExpectRefusals(DecodeTGA, {{"utc16", ReadBytes(Dir / "utc16.tga"), Depth},
                             {"ubw8", ReadBytes(Dir / "ubw8.tga"), Type},
                             {"ucm8", ReadBytes(Dir / "ucm8.tga"), Type},
                             {"cbw8", ReadBytes(Dir / "cbw8.tga"), Type},
                             {"ccm8", ReadBytes(Dir / "ccm8.tga"), Type}});
}

// Inputs kept from fuzzing (tests/regressions/<bmp|jpg|tga>): each decodes, or is refused saying
// why, showing nothing; a decoded one holds its rows. jpg-large holds small files of large, sound pictures
// (arithmetic coding squeezes a plain picture into almost nothing): they take time in proportion
// to their pixels, too long for the fuzzer's one second, so they are replayed here only.
TEST(Regressions, EveryKeptImageDecodesOrIsRefusedSayingWhy) {
  const fs::path Root = fs::path(VADREL_SOURCE_DIR) / "tests/regressions";
  std::size_t Files = 0;
  for (const auto& [Folder, Decoder] : std::map<std::string, TDecoder>{
           {"bmp", DecodeBMP}, {"jpg", DecodeJPG}, {"jpg-large", DecodeJPG}, {"tga", DecodeTGA}})
    Files += DecodeEach(Root / Folder, Decoder).Files;
  EXPECT_GT(Files, 0u);
}

}  // namespace
