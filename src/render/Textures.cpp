#include "Textures.h"

#include "GLState.h"
#include "Platform.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cassert>
#include <optional>
#include <vector>

namespace {

constexpr const char* BmpCaption = "BMP Unit";
constexpr const char* JpgCaption = "JPG Unit";
constexpr const char* TgaCaption = "TGA File Error";

std::string Quoted(const std::string& Name) { return "\"" + Name + "\""; }

}  // namespace

// ---- Front end --------------------------------------------------------------------------------

bool LoadTexture(const std::string& FileName, std::uint32_t& Texture, TMipmaps Mipmaps) {
  if (FileName.size() < 4) return false;
  std::string Ext = FileName.substr(FileName.size() - 4);
  for (char& C : Ext)
    if (C >= 'a' && C <= 'z') C = char(C - 'a' + 'A');
  if (Ext == ".BMP") return LoadBMP(FileName, Texture, Mipmaps);
  if (Ext == ".JPG") return LoadJPG(FileName, Texture, Mipmaps);
  if (Ext == ".TGA") return LoadTGA(FileName, Texture, Mipmaps);
  return false;
}

bool TextureHasAlpha(std::uint32_t Texture) {
  GLint Bound = 0, AlphaBits = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &Bound);
  glBindTexture(GL_TEXTURE_2D, Texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &AlphaBits);
  glBindTexture(GL_TEXTURE_2D, GLuint(Bound));
  return AlphaBits != 0;
}

bool AlphaTestPassesCurrentColour() {
  if (!glIsEnabled(GL_ALPHA_TEST) || glIsEnabled(GL_LIGHTING)) return false;
  GLint Function = 0;
  GLfloat Reference = 0, Colour[4] = {};
  glGetIntegerv(GL_ALPHA_TEST_FUNC, &Function);
  glGetFloatv(GL_ALPHA_TEST_REF, &Reference);
  glGetFloatv(GL_CURRENT_COLOR, Colour);
  const float Margin = 1.0f / 255.0f;  // more than the rasteriser's rounding of a constant alpha
  switch (Function) {
    case GL_ALWAYS: return true;
    case GL_GREATER:
    case GL_GEQUAL: return Colour[3] > Reference + Margin;
    default: return false;
  }
}

namespace {

// Sides that are powers of two and within what GL takes: the mipmap builder keeps such a picture
// as it is for level 0 instead of scaling it.
bool BaseLevelIsTheWholePicture(std::uint32_t Width, std::uint32_t Height) {
  GLint Largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &Largest);
  const auto PowerOfTwo = [](std::uint32_t N) { return N != 0 && (N & (N - 1)) == 0; };
  return PowerOfTwo(Width) && PowerOfTwo(Height) && Largest > 0 &&
         Width <= std::uint32_t(Largest) && Height <= std::uint32_t(Largest);
}

}  // namespace

std::uint32_t CreateTexture(const TImage& Image, TMipmaps Mipmaps) {
  const std::size_t Packed = std::size_t(Image.Width) * Image.BytesPerPixel();
  [[maybe_unused]] const std::size_t Aligned = (Packed + 3) & ~std::size_t(3);
  assert((Image.RowBytes == Packed || Image.RowBytes == Aligned) &&
         "CreateTexture: rows must be packed or padded to 4 bytes");
  assert(Image.Pixels.size() >= Image.RowBytes * Image.Height &&
         "CreateTexture: pixel buffer shorter than its rows");
  assert(Image.Width <= 0x7FFFFFFF && Image.Height <= 0x7FFFFFFF && "CreateTexture: side beyond GLint");

  GLuint Name = 0;
  glGenTextures(1, &Name);
  glBindTexture(GL_TEXTURE_2D, Name);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  // Only the base level is sampled, whatever levels are built.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);

  // Packed rows whose length is not a multiple of 4 are read byte-aligned, so that GL never reads
  // past the end of the buffer looking for padding that is not there.
  const TPixelStoreGuard KeepAlignment(GL_UNPACK_ALIGNMENT);
  const GLint Alignment = Image.RowBytes % 4 == 0 ? 4 : 1;
  glPixelStorei(GL_UNPACK_ALIGNMENT, Alignment);
  const bool Rgba = Image.Format == TPixelFormat::RGBA;
  const GLint Internal = Rgba ? GL_RGBA : 3;
  const GLenum Format = Rgba ? GL_RGBA : GL_RGB;
  if (Mipmaps == TMipmaps::BaseLevel && BaseLevelIsTheWholePicture(Image.Width, Image.Height))
    // The mipmap builder would store this very picture as level 0 and derive levels that the
    // linear filter never samples: the same texels, without the CPU work.
    glTexImage2D(GL_TEXTURE_2D, 0, Internal, GLsizei(Image.Width), GLsizei(Image.Height), 0,
                 Format, GL_UNSIGNED_BYTE, Image.Pixels.data());
  else
    gluBuild2DMipmaps(GL_TEXTURE_2D, Internal, GLint(Image.Width), GLint(Image.Height), Format,
                      GL_UNSIGNED_BYTE, Image.Pixels.data());
  return Name;
}

// ---- Loaders ----------------------------------------------------------------------------------

namespace {

void ShowBMPFailure(const std::string& FileName, const TDecodeFailure& Failure) {
  switch (Failure.Kind) {
    case TDecodeFailureKind::Refused:
      ShowMessage("Error loading " + FileName + ": " + Failure.Reason, BmpCaption);
      return;
    case TDecodeFailureKind::ShortColourTable:
      ShowMessage("Error reading palette", BmpCaption);
      return;
    case TDecodeFailureKind::ShortPixelData:
      ShowMessage("Error reading bitmap data", BmpCaption);
      return;
  }
}

void ShowJPGLoadFailure(const std::string& FileName) {
  ShowMessage("Couldn't load JPG - " + Quoted(FileName), JpgCaption);
}

void ShowJPGFailure(const std::string& FileName, const TDecodeFailure& Failure) {
  // The reason first: the box may wait for the user.
  ShowDiagnostic("cannot decode JPEG " + Quoted(FileName) + ": " + Failure.Reason);
  ShowJPGLoadFailure(FileName);
}

void ShowTGAReadFailure(const std::string& FileName) {
  ShowMessage("Couldn't read file " + Quoted(FileName) + ".", TgaCaption);
}

void ShowTGAFailure(const std::string& FileName, const TDecodeFailure& Failure) {
  if (Failure.Kind == TDecodeFailureKind::Refused)
    ShowMessage("Couldn't load " + Quoted(FileName) + ". " + Failure.Reason, TgaCaption);
  else
    ShowTGAReadFailure(FileName);
}

using TDecoder = std::optional<TDecodeFailure> (*)(const std::uint8_t*, std::size_t, TImage&,
                                                   std::size_t MaxBytes);
using TFailureShower = void (*)(const std::string& FileName, const TDecodeFailure&);

// The step every loader ends with: decode the file's bytes and upload the picture, or show why
// it was refused.
bool DecodeAndUpload(TDecoder Decode, TFailureShower ShowFailure,
                     const std::vector<std::uint8_t>& Bytes, const std::string& FileName,
                     std::uint32_t& Texture, TMipmaps Mipmaps) {
  TImage Image;
  if (const std::optional<TDecodeFailure> Failure =
          Decode(Bytes.data(), Bytes.size(), Image, MaxImageBytes)) {
    ShowFailure(FileName, *Failure);
    return false;
  }
  Texture = CreateTexture(Image, Mipmaps);
  return true;
}

}  // namespace

bool LoadBMP(const std::string& FileName, std::uint32_t& Texture, TMipmaps Mipmaps) {
  std::vector<std::uint8_t> Bytes;
  if (!FileExists(FileName) || !ReadWholeFile(FileName, Bytes)) {
    ShowMessage("Error opening " + FileName, BmpCaption);
    return false;
  }
  return DecodeAndUpload(DecodeBMP, ShowBMPFailure, Bytes, FileName, Texture, Mipmaps);
}

bool LoadJPG(const std::string& FileName, std::uint32_t& Texture, TMipmaps Mipmaps) {
  const std::string Path = FileExists(FileName) ? FileName : "data/" + FileName;
  std::vector<std::uint8_t> Bytes;
  if (!ReadWholeFile(Path, Bytes)) {
    ShowJPGLoadFailure(FileName);
    return false;
  }
  return DecodeAndUpload(DecodeJPG, ShowJPGFailure, Bytes, FileName, Texture, Mipmaps);
}

bool LoadTGA(const std::string& FileName, std::uint32_t& Texture, TMipmaps Mipmaps) {
  if (!FileExists(FileName)) {
    ShowMessage("File not found  - " + FileName, "TGA Texture");
    return false;
  }
  std::vector<std::uint8_t> Bytes;
  if (!ReadWholeFile(FileName, Bytes)) {
    ShowTGAReadFailure(FileName);
    return false;
  }
  return DecodeAndUpload(DecodeTGA, ShowTGAFailure, Bytes, FileName, Texture, Mipmaps);
}
