// ImageDecoders: turns the bytes of a BMP, JPEG or TGA file held in memory into a plain pixel
// buffer (TImage), or says why it cannot. No files, no messages and no GL: the texture loaders
// read the file and show what went wrong, and tests and fuzzers call the decoders directly.
// Depends on libjpeg (JPEG decoding, in the source only).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
// takes is scaled down when it is uploaded. A fuzzer passes the decoders less, as its own memory
// and time limits a valid but huge picture would exceed without any fault in the decoder.
inline constexpr std::size_t MaxImageBytes = std::size_t(256) << 20;

// Why a decoder refused its input. The texture loaders turn it into their messages, which name
// the file.
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
// Data[0, Size). A picture whose rows would take more than MaxBytes (at most MaxImageBytes) is
// Refused. Every JPEG failure is Refused.
//
// BMP: uncompressed, bottom-up, 24-bit only; rows keep the file's 4-byte padding.
[[nodiscard]] std::optional<TDecodeFailure> DecodeBMP(const std::uint8_t* Data, std::size_t Size,
                                                      TImage& Out,
                                                      std::size_t MaxBytes = MaxImageBytes);
// JPEG: greyscale, YCbCr or RGB streams, decoded to packed RGBA (alpha 255), bottom row first.
[[nodiscard]] std::optional<TDecodeFailure> DecodeJPG(const std::uint8_t* Data, std::size_t Size,
                                                      TImage& Out,
                                                      std::size_t MaxBytes = MaxImageBytes);
// TGA: uncompressed (type 2) or run-length encoded (type 10) true colour of 24 or 32 bits;
// packed rows in stored order, RGB or RGBA.
[[nodiscard]] std::optional<TDecodeFailure> DecodeTGA(const std::uint8_t* Data, std::size_t Size,
                                                      TImage& Out,
                                                      std::size_t MaxBytes = MaxImageBytes);
