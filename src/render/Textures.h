// Textures: turns BMP, JPEG and TGA image files into mip-mapped GL textures. The decoders turn
// bytes in memory into a plain pixel buffer (TImage) or say why they cannot; reading the file,
// showing the message and uploading to GL are thin steps around them, so tests and fuzzers call
// the decoders without GL or messages. Depends on Platform (messages, files), libjpeg (JPEG
// decoding) and GL/GLU (upload only, in the source).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Picks a reader by the last four characters of FileName (".BMP", ".JPG", ".TGA" in any case)
// and passes FileName on unchanged. Texture receives the new texture name on success and is left
// untouched otherwise. Callers pass names already mapped with MapPath; messages show them as given.
// An unrecognised extension shows nothing and returns false.
bool LoadTexture(const std::string& FileName, std::uint32_t& Texture);

// Whether texture Texture (a name LoadTexture gave) keeps an alpha channel: false for pictures
// without one, whose texels all read as alpha 1. Needs the context current; leaves the binding.
bool TextureHasAlpha(std::uint32_t Texture);
// True when the alpha test, as set, passes every fragment whose alpha is the current colour's:
// for a texture without alpha it then decides nothing, and the rasteriser, with the test off, can
// test depth before it shades. (With lighting on, the alpha would be the material's.)
bool AlphaTestPassesCurrentColour();

// The readers behind LoadTexture, with its contract: on failure one message (ShowMessage) naming
// the file, false, Texture untouched and no texture object created. Need a current GL context.
// BMP, caption "BMP Unit": a file that cannot be read shows "Error opening <name>", a refusal
// "Error loading <name>: <reason>", a cut colour table "Error reading palette" and cut pixel data
// "Error reading bitmap data".
bool LoadBMP(const std::string& FileName, std::uint32_t& Texture);
// Tries FileName, then "data/" + FileName relative to the current directory when no file of that
// name exists. Every failure shows the same box naming the file; a decoding failure is preceded
// by one diagnostic line (ShowDiagnostic) naming the file and the reason, as the box may wait for
// the user.
bool LoadJPG(const std::string& FileName, std::uint32_t& Texture);
// No file of that name shows "File not found  - <name>" (caption "TGA Texture"); a refusal
// "Couldn't load "<name>". <reason>", and a file cut short or one that cannot be read "Couldn't
// read file "<name>"." (caption "TGA File Error").
bool LoadTGA(const std::string& FileName, std::uint32_t& Texture);

enum class TPixelFormat : std::uint8_t { RGB, RGBA };

// A decoded picture: Height rows of Width pixels, 8 bits per channel, R G B (A) order. The first
// row in memory is the bottom row of the texture (t = 0). Rows start RowBytes apart; RowBytes is
// either Width x BytesPerPixel (packed) or that rounded up to a multiple of 4 (padding bytes are
// whatever the file held).
struct TImage {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  TPixelFormat Format = TPixelFormat::RGB;
  std::size_t RowBytes = 0;
  std::vector<std::uint8_t> Pixels;

  std::size_t BytesPerPixel() const { return Format == TPixelFormat::RGBA ? 4 : 3; }
};

// The most memory a decoded picture may take (its rows as the decoder stores them): files beyond
// this are refused rather than allocating gigabytes on the strength of a header field. There is
// no limit on a side: any shape that fits is accepted, and one beyond the largest texture GL
// takes is scaled down when it is uploaded.
inline constexpr std::size_t MaxImageBytes = std::size_t(256) << 20;
// The limit in force: MaxImageBytes, or less for a fuzzer, whose own memory and time limits a
// valid but huge picture would otherwise exceed without any fault in the decoder.
void SetImageMemoryLimit(std::size_t Bytes);
std::size_t ImageMemoryLimitBytes();

// Why a decoder refused its input. The loaders turn it into their messages, which name the file.
enum class TDecodeFailureKind : std::uint8_t {
  // The input is not a picture this decoder takes: a kind, size or header it does not accept, a
  // file too short for the BMP headers, a stream libjpeg cannot decode. Reason says which.
  Refused,
  // BMP: the file ends inside the colour table its header announces.
  ShortColourTable,
  // The file ends before the pixels its header announces are complete (for TGA also inside the
  // header or the ID field, or inside the run-length packets).
  ShortPixelData,
};

struct TDecodeFailure {
  TDecodeFailureKind Kind = TDecodeFailureKind::Refused;
  // For Refused only (empty otherwise), in the form the loader shows it: a clause for BMP and
  // JPEG ("compressed bitmaps are not supported (compression 1)"; libjpeg's own text where
  // libjpeg refused the stream), a sentence for TGA ("Colormapped TGA files not supported.").
  std::string Reason;

  bool operator==(const TDecodeFailure&) const = default;
};

// The decoders: Data/Size is the whole file. Nothing on success, with the picture in Out; the
// failure otherwise, with Out unspecified. They show nothing and never read outside
// Data[0, Size). Every JPEG failure is Refused.
//
// BMP: uncompressed, bottom-up, 24-bit only; rows keep the file's 4-byte padding.
[[nodiscard]] std::optional<TDecodeFailure> DecodeBMP(const std::uint8_t* Data, std::size_t Size,
                                                      TImage& Out);
// JPEG: greyscale, YCbCr or RGB streams, decoded to packed RGBA (alpha 255), bottom row first.
[[nodiscard]] std::optional<TDecodeFailure> DecodeJPG(const std::uint8_t* Data, std::size_t Size,
                                                      TImage& Out);
// TGA: uncompressed (type 2) or run-length encoded (type 10) true colour of 24 or 32 bits;
// packed rows in stored order, RGB or RGBA.
[[nodiscard]] std::optional<TDecodeFailure> DecodeTGA(const std::uint8_t* Data, std::size_t Size,
                                                      TImage& Out);

// Uploads Image as a new texture object (GL_MODULATE environment, linear filters, full mipmap
// chain; internal format RGBA or three components) and returns its name. Level 0 is the picture
// scaled to the nearest powers of two, halved until GL takes it. The new texture stays
// bound to GL_TEXTURE_2D; the unpack alignment is restored afterwards. Needs a current context.
std::uint32_t CreateTexture(const TImage& Image);
// With Full, CreateTexture builds the whole mipmap chain on the CPU for every picture (the plain
// reference path); by default it uploads only the level the linear filter samples, where that
// level is the picture itself (sides powers of two within GL's limit). The same texels either way.
void SetFullMipmapChains(bool Full);
