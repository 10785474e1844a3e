// Picture files crafted byte by byte (BMP, TGA, and JPEG through libjpeg's compressor) for the
// tests of the image decoders and of the texture loaders, and a readable print of a decoder's
// refusal. Depends on ImageDecoders and, in the source, TestSupport and libjpeg.
#pragma once

#include "ImageDecoders.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// Failures print readably in assertion messages.
void PrintTo(const TDecodeFailure& F, std::ostream* Out);

using TDecoder = std::optional<TDecodeFailure> (*)(const std::uint8_t*, std::size_t, TImage&,
                                                   std::size_t);

// Decoder on the whole of File, under the program's memory cap.
std::optional<TDecodeFailure> Decode(TDecoder Decoder, const Bytes& File, TImage& Out);

struct TBmpLayout {
  std::int32_t Width = 3;
  std::int32_t Height = 2;
  unsigned Bits = 24;
  std::uint32_t Compression = 0;
  std::uint32_t ImageSize = 0;
  std::uint32_t ColoursUsed = 0;
  std::uint32_t HeaderSize = 40;       // extra header bytes beyond 40 are zero
  std::optional<std::uint32_t> Offset = std::nullopt;  // default: after header and colour table
  std::size_t Gap = 0;                 // filler bytes (0xEE) between the colour table and the pixels
};

// Pixel byte I of the stored pixel data (padding included): a recognisable pattern.
std::uint8_t PatternByte(std::size_t I);
std::size_t BmpStride(std::int32_t Width);
// A BMP of layout S followed by PixelBytes of pattern; without PixelBytes, all its rows.
Bytes MakeBMP(const TBmpLayout& S, std::size_t PixelBytes);
Bytes MakeBMP(const TBmpLayout& S);

// A TGA header and IdLength bytes of ID field; no pixels.
Bytes TgaHeader(unsigned Type, unsigned Width, unsigned Height, unsigned Depth, unsigned IdLength = 0,
                unsigned ColourMapType = 0, unsigned Descriptor = 0);
Bytes Cat(Bytes A, const Bytes& B);

// A JPEG made with libjpeg's compressor. Components: 1 (greyscale), 3 (RGB) or 4 (CMYK); Pixels
// top row first. No chroma subsampling, quality 100, so colours survive nearly exactly. StoreRgb
// keeps RGB in the stream instead of converting it to YCbCr.
Bytes MakeJPEG(int Width, int Height, int Components, const Bytes& Pixels, bool StoreRgb = false);
