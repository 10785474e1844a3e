// Textures: turns BMP, JPEG and TGA image files into mip-mapped GL textures. The readers decode
// bytes in memory into a plain pixel buffer (TImage); reading the file and uploading to GL are thin
// steps around that, so tests and fuzzers call the decoders without GL. Depends on Platform
// (messages, files), libjpeg (JPEG decoding) and GL/GLU (upload only, in the source).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Picks a reader by the last four characters of FileName (".BMP", ".JPG", ".TGA" in any case)
// and passes FileName on unchanged. Texture receives the new texture name on success and is left
// untouched otherwise. Callers pass names already mapped with MapPath; messages show them as given.
// An unrecognised extension shows nothing and returns false.
bool LoadTexture(const std::string& FileName, std::uint32_t& Texture);

// The readers behind LoadTexture, with its contract: on failure one message (ShowMessage) naming
// the file, false, Texture untouched and no texture object created. Need a current GL context.
bool LoadBMP(const std::string& FileName, std::uint32_t& Texture);
// Tries FileName, then "data/" + FileName relative to the current directory when no file of that
// name exists.
bool LoadJPG(const std::string& FileName, std::uint32_t& Texture);
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
// this are refused with a message rather than allocating gigabytes on the strength of a header
// field. There is no limit on a side: any shape that fits is accepted, and one beyond the largest
// texture GL takes is scaled down when it is uploaded.
inline constexpr std::size_t MaxImageBytes = std::size_t(256) << 20;
// The limit in force: MaxImageBytes, or less for a fuzzer, whose own memory and time limits a
// valid but huge picture would otherwise exceed without any fault in the decoder.
void SetImageMemoryLimit(std::size_t Bytes);
std::size_t ImageMemoryLimitBytes();

// The decoders: Data/Size is the whole file. On success Out holds the picture and the result is
// true; on failure one message (ShowMessage) names FileName and the reason, the result is false
// and Out is unspecified. They never read outside Data[0, Size).
//
// BMP: uncompressed, bottom-up, 24-bit only; rows keep the file's 4-byte padding.
bool DecodeBMP(const std::uint8_t* Data, std::size_t Size, const std::string& FileName,
               TImage& Out);
// JPEG: greyscale, YCbCr or RGB streams, decoded to packed RGBA (alpha 255), bottom row first.
// The message box names only the file; before it, one diagnostic line (ShowDiagnostic) names the
// file and says why: libjpeg's own text, or which limit of this reader the picture breaks.
bool DecodeJPG(const std::uint8_t* Data, std::size_t Size, const std::string& FileName,
               TImage& Out);
// TGA: uncompressed (type 2) or run-length encoded (type 10) true colour of 24 or 32 bits;
// packed rows in stored order, RGB or RGBA.
bool DecodeTGA(const std::uint8_t* Data, std::size_t Size, const std::string& FileName,
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
