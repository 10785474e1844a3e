#include "ImageDecoders.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

// jpeglib.h needs FILE and size_t declared first; jerror.h needs jpeglib.h's configuration.
#include <jpeglib.h>
#include <jerror.h>

namespace {

std::uint16_t GetU16(const std::uint8_t* P) { return std::uint16_t(P[0] | (P[1] << 8)); }

std::uint32_t GetU32(const std::uint8_t* P) {
  return std::uint32_t(P[0]) | (std::uint32_t(P[1]) << 8) | (std::uint32_t(P[2]) << 16) |
         (std::uint32_t(P[3]) << 24);
}

std::int32_t GetS32(const std::uint8_t* P) { return static_cast<std::int32_t>(GetU32(P)); }

// True when Height rows of BytesPerRow bytes fit in MaxBytes, and so in MaxImageBytes (then both
// sides also fit GL's signed sizes). Never overflows.
bool WithinCaps(std::uint64_t BytesPerRow, std::uint64_t Height, std::size_t MaxBytes) {
  const std::uint64_t Limit = std::min(MaxBytes, MaxImageBytes);
  return BytesPerRow <= Limit && Height <= Limit / BytesPerRow;
}

std::string SizeText(std::uint64_t Width, std::uint64_t Height) {
  return std::to_string(Width) + " x " + std::to_string(Height);
}

TDecodeFailure Refused(std::string Reason) {
  return {TDecodeFailureKind::Refused, std::move(Reason)};
}

TDecodeFailure Cut(TDecodeFailureKind Kind) { return {Kind, {}}; }

// Exchanges byte 0 and byte 2 of each of Count consecutive 3-byte pixels (B G R becomes R G B).
void SwapRedBlue(std::uint8_t* Pixels, std::size_t Count) {
  for (std::size_t I = 0; I < Count; ++I, Pixels += 3) std::swap(Pixels[0], Pixels[2]);
}

// ---- BMP --------------------------------------------------------------------------------------

constexpr std::size_t BmpFileHeaderSize = 14;
constexpr std::size_t BmpInfoHeaderSize = 40;

// The fields of the file header and of the info header that the reader looks at.
struct TBmpHeader {
  std::uint32_t PixelOffset = 0;
  std::uint32_t HeaderSize = 0;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  unsigned BitsPerPixel = 0;
  std::uint32_t Compression = 0;
  std::uint32_t ImageSize = 0;
  std::uint32_t ColoursUsed = 0;

  // Bytes per stored row (24-bit pixels padded to 4 bytes) and in all rows; for positive sizes.
  std::uint64_t Stride() const { return ((std::uint64_t(Width) * 24 + 31) / 32) * 4; }
  std::uint64_t Needed() const { return Stride() * std::uint64_t(Height); }
};

// Data holds at least both headers.
TBmpHeader ReadBmpHeader(const std::uint8_t* Data) {
  const std::uint8_t* Info = Data + BmpFileHeaderSize;
  TBmpHeader H;
  H.PixelOffset = GetU32(Data + 10);
  H.HeaderSize = GetU32(Info + 0);
  H.Width = GetS32(Info + 4);
  H.Height = GetS32(Info + 8);
  H.BitsPerPixel = GetU16(Info + 14);
  H.Compression = GetU32(Info + 16);
  H.ImageSize = GetU32(Info + 20);
  H.ColoursUsed = GetU32(Info + 32);
  return H;
}

// Why the headers describe a picture this reader does not take; nothing when it takes it.
std::optional<std::string> BmpHeaderProblem(const TBmpHeader& H, std::size_t MaxBytes) {
  if (H.HeaderSize < BmpInfoHeaderSize)
    return "unsupported bitmap header of " + std::to_string(H.HeaderSize) +
           " bytes (at least 40 expected)";
  if (H.BitsPerPixel != 24)
    return "only 24-bit bitmaps are supported, this one has " + std::to_string(H.BitsPerPixel) +
           " bits per pixel";
  if (H.Compression != 0)
    return "compressed bitmaps are not supported (compression " + std::to_string(H.Compression) +
           ")";
  if (H.Height < 0) return "top-down bitmaps (negative height) are not supported";
  if (H.Width <= 0 || H.Height == 0)
    return "the picture has no pixels (" + std::to_string(H.Width) + " x " +
           std::to_string(H.Height) + ")";
  if (!WithinCaps(H.Stride(), std::uint64_t(H.Height), MaxBytes))
    return "the picture of " + SizeText(H.Width, H.Height) + " pixels is too large";
  if (H.ImageSize != 0 && H.ImageSize < H.Needed())
    return "its image size field (" + std::to_string(H.ImageSize) + " bytes) is smaller than its " +
           SizeText(H.Width, H.Height) + " pixels need (" + std::to_string(H.Needed()) + " bytes)";
  return std::nullopt;
}

// ---- TGA --------------------------------------------------------------------------------------

constexpr std::size_t TgaHeaderSize = 18;

// The fields of the header that the reader looks at.
struct TTgaHeader {
  unsigned IdLength = 0;
  unsigned ColourMapType = 0;
  unsigned ImageType = 0;
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
  unsigned Depth = 0;

  std::size_t BytesPerPixel() const { return Depth / 8; }
};

// Data holds at least the header.
TTgaHeader ReadTgaHeader(const std::uint8_t* Data) {
  TTgaHeader H;
  H.IdLength = Data[0];
  H.ColourMapType = Data[1];
  H.ImageType = Data[2];
  H.Width = GetU16(Data + 12);
  H.Height = GetU16(Data + 14);
  H.Depth = Data[16];
  return H;
}

// Why the header describes a picture this reader does not take, as a sentence; nothing when it
// takes it. A header with several faults is refused for the first one checked here.
std::optional<std::string> TgaHeaderProblem(const TTgaHeader& H, std::size_t MaxBytes) {
  if (H.ImageType != 2 && H.ImageType != 10) return "Only 24 and 32bit TGA supported.";
  if (H.ColourMapType != 0) return "Colormapped TGA files not supported.";
  if (H.Depth != 24 && H.Depth != 32) return "Only 24 and 32 bit TGA files supported.";
  if (H.Width == 0 || H.Height == 0)
    return "The picture has no pixels (" + SizeText(H.Width, H.Height) + ").";
  if (!WithinCaps(std::uint64_t(H.Width) * H.BytesPerPixel(), H.Height, MaxBytes))
    return "The picture of " + SizeText(H.Width, H.Height) + " pixels is too large.";
  return std::nullopt;
}

// Writes one stored pixel (B G R [A]) as R G B [A].
inline void PutTGAPixel(std::uint8_t* To, const std::uint8_t* From, std::size_t BPP) {
  To[0] = From[2];
  To[1] = From[1];
  To[2] = From[0];
  if (BPP == 4) To[3] = From[3];
}

// Decodes run-length packets from Src[0, SrcSize) until Count pixels are in Dst. False when the
// packets end first; never reads past SrcSize.
bool DecodeTGARunLength(const std::uint8_t* Src, std::size_t SrcSize, std::size_t BPP,
                        std::size_t Count, std::uint8_t* Dst) {
  std::size_t Pos = 0, Done = 0;
  while (Done < Count) {
    if (Pos >= SrcSize) return false;
    const unsigned Head = Src[Pos++];
    const std::size_t Pixels = std::min<std::size_t>((Head & 0x7F) + 1, Count - Done);
    if (Head & 0x80) {
      if (SrcSize - Pos < BPP) return false;
      for (std::size_t I = 0; I < Pixels; ++I) PutTGAPixel(Dst + (Done + I) * BPP, Src + Pos, BPP);
      Pos += BPP;
    } else {
      if ((SrcSize - Pos) / BPP < Pixels) return false;
      for (std::size_t I = 0; I < Pixels; ++I)
        PutTGAPixel(Dst + (Done + I) * BPP, Src + Pos + I * BPP, BPP);
      Pos += Pixels * BPP;
    }
    Done += Pixels;
  }
  return true;
}

// ---- JPEG -------------------------------------------------------------------------------------

// A progressive stream may announce any number of scans, each a full pass over the coefficients;
// past this many the stream is taken as hostile rather than decoded for minutes.
constexpr int MaxJpegScans = 500;
// libjpeg's own whole-image buffers (a progressive picture keeps all its coefficients) may not
// grow beyond this; it has no backing store, so it fails instead.
constexpr long MaxJpegWorkingMemory = 512L << 20;

// libjpeg's error manager extended with the way back to the decoder and the reason a stream was
// refused. Plain C data only: it lives across setjmp/longjmp.
struct TJpegErrors {
  jpeg_error_mgr Base;
  jpeg_progress_mgr Progress;
  std::jmp_buf Return;
  bool DataCorrupt;
  std::size_t MaxBytes;  // the most the decoded rows may take
  // libjpeg's own text of the error, or of the first warning that marked the data corrupt, or
  // ours for what libjpeg decodes but this reader refuses.
  char Reason[JMSG_LENGTH_MAX];
};

TJpegErrors& ErrorsOf(j_common_ptr Info) { return *reinterpret_cast<TJpegErrors*>(Info->err); }

[[noreturn]] void JpegErrorExit(j_common_ptr Info) {
  Info->err->format_message(Info, ErrorsOf(Info).Reason);
  std::longjmp(ErrorsOf(Info).Return, 1);
}

// Warnings are not printed. The ones that mean the entropy-coded data is damaged or cut short
// (libjpeg then fills the rest of the picture with grey) mark the picture as corrupt.
void JpegEmitMessage(j_common_ptr Info, int Level) {
  if (Level >= 0) return;  // trace messages
  TJpegErrors& Errors = ErrorsOf(Info);
  switch (Info->err->msg_code) {
#if JPEG_LIB_VERSION >= 70 || defined(D_ARITH_CODING_SUPPORTED)
    case JWRN_ARITH_BAD_CODE:
#endif
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
      if (!Errors.DataCorrupt) Info->err->format_message(Info, Errors.Reason);
      Errors.DataCorrupt = true;
      break;
    default:
      break;
  }
}

// Also ends the decoding once the data is known to be damaged: the picture is refused anyway, and
// libjpeg would go on filling every block of it (of a size the header chose) with nothing.
void JpegProgress(j_common_ptr Info) {
  if (!Info->is_decompressor) return;
  if (ErrorsOf(Info).DataCorrupt) std::longjmp(ErrorsOf(Info).Return, 1);
  j_decompress_ptr D = reinterpret_cast<j_decompress_ptr>(Info);
  if (D->input_scan_number <= MaxJpegScans) return;
  std::snprintf(ErrorsOf(Info).Reason, JMSG_LENGTH_MAX, "more than %d scans", MaxJpegScans);
  std::longjmp(ErrorsOf(Info).Return, 1);
}

// Connects Errors to Info; Info is not created yet.
void InitJpegErrors(jpeg_decompress_struct& Info, TJpegErrors& Errors) {
  std::memset(&Info, 0, sizeof Info);
  std::memset(&Errors, 0, sizeof Errors);
  Info.err = jpeg_std_error(&Errors.Base);
  Errors.Base.error_exit = JpegErrorExit;
  Errors.Base.emit_message = JpegEmitMessage;
  Errors.Progress.progress_monitor = JpegProgress;
}

// False, with the reason, for a picture whose header libjpeg read but this reader does not take.
bool AcceptJpegHeader(const jpeg_decompress_struct& Info, TJpegErrors& Errors) {
  const J_COLOR_SPACE Space = Info.jpeg_color_space;
  const unsigned Width = Info.image_width, Height = Info.image_height;
  if (Space != JCS_GRAYSCALE && Space != JCS_YCbCr && Space != JCS_RGB)
    std::snprintf(Errors.Reason, sizeof Errors.Reason,
                  "only greyscale, YCbCr and RGB pictures are supported, this one is %s",
                  Space == JCS_CMYK ? "CMYK" : Space == JCS_YCCK ? "YCCK" : "of another kind");
  else if (Width == 0 || Height == 0)
    std::snprintf(Errors.Reason, sizeof Errors.Reason, "the picture has no pixels (%u x %u)",
                  Width, Height);
  else if (!WithinCaps(std::uint64_t(Width) * 4, Height, Errors.MaxBytes))
    std::snprintf(Errors.Reason, sizeof Errors.Reason,
                  "the picture of %u x %u pixels is too large", Width, Height);
  else
    return true;
  return false;
}

// Sets Out up for a Width x Height RGBA picture with room for all its rows but none yet (memory is
// taken as rows arrive); a separate function so that no C++ object is created in the frame that
// longjmp may leave.
void SizeJpegImage(TImage& Out, std::uint32_t Width, std::uint32_t Height) {
  Out.Width = Width;
  Out.Height = Height;
  Out.Format = TPixelFormat::RGBA;
  Out.RowBytes = std::size_t(Width) * 4;
  Out.Pixels.clear();
  Out.Pixels.reserve(Out.RowBytes * Height);
}

// Decodes every row into Out, top row first, then turns the rows over (the picture's top row is
// the texture's last). False when libjpeg stops early or the data is damaged: such a picture is
// refused whatever follows, so no filler is decoded for the rest of it.
bool ReadJpegRows(jpeg_decompress_struct& Info, TImage& Out) {
  const std::uint32_t Height = Info.output_height;
  while (Info.output_scanline < Height) {
    if (ErrorsOf(reinterpret_cast<j_common_ptr>(&Info)).DataCorrupt) return false;
    const std::size_t At = Out.Pixels.size();
    Out.Pixels.resize(At + Out.RowBytes);  // inside the reserved room: no reallocation
    JSAMPROW Row = Out.Pixels.data() + At;
    if (jpeg_read_scanlines(&Info, &Row, 1) != 1) return false;
  }
  if (ErrorsOf(reinterpret_cast<j_common_ptr>(&Info)).DataCorrupt) return false;
  std::uint8_t* const Pixels = Out.Pixels.data();
  for (std::size_t Top = 0, Bottom = Height - 1; Top < Bottom; ++Top, --Bottom)
    std::swap_ranges(Pixels + Top * Out.RowBytes, Pixels + (Top + 1) * Out.RowBytes,
                     Pixels + Bottom * Out.RowBytes);
  return true;
}

// The libjpeg part of DecodeJPG. Out is owned by the caller; this frame and those it calls hold
// only C objects, so returning into it through longjmp skips no destructor. True with Out filled;
// false on any error, with Errors.Reason saying why.
bool DecodeJPGCore(const std::uint8_t* Data, std::size_t Size, TImage& Out, TJpegErrors& Errors,
                   std::size_t MaxBytes) {
  jpeg_decompress_struct Info;
  InitJpegErrors(Info, Errors);
  Errors.MaxBytes = MaxBytes;
  if (setjmp(Errors.Return)) {
    jpeg_destroy_decompress(&Info);
    return false;
  }
  jpeg_create_decompress(&Info);
  Info.mem->max_memory_to_use = MaxJpegWorkingMemory;
  Info.progress = &Errors.Progress;
  // Older libjpeg takes a non-const buffer but only reads it.
  jpeg_mem_src(&Info, const_cast<unsigned char*>(Data), static_cast<unsigned long>(Size));
  // With an image required, libjpeg reports anything but a complete header as an error; the
  // memory source never suspends.
  if (jpeg_read_header(&Info, TRUE) != JPEG_HEADER_OK || !AcceptJpegHeader(Info, Errors)) {
    if (Errors.Reason[0] == 0)
      std::snprintf(Errors.Reason, sizeof Errors.Reason, "the stream has no complete header");
    jpeg_destroy_decompress(&Info);
    return false;
  }
  Info.out_color_space = JCS_EXT_RGBA;
  Info.scale_num = 1;
  Info.scale_denom = 1;
  jpeg_start_decompress(&Info);
  SizeJpegImage(Out, Info.output_width, Info.output_height);
  const bool Complete = ReadJpegRows(Info, Out);
  if (Complete)
    jpeg_finish_decompress(&Info);
  else if (!Errors.DataCorrupt)
    std::snprintf(Errors.Reason, sizeof Errors.Reason, "the picture ends after %u of %u rows",
                  unsigned(Info.output_scanline), unsigned(Info.output_height));
  jpeg_destroy_decompress(&Info);
  return Complete && !Errors.DataCorrupt;
}

}  // namespace

std::optional<TDecodeFailure> DecodeBMP(const std::uint8_t* Data, std::size_t Size, TImage& Out,
                                        std::size_t MaxBytes) {
  if (Size < BmpFileHeaderSize + BmpInfoHeaderSize)
    return Refused("the file is shorter than the bitmap headers");
  const TBmpHeader H = ReadBmpHeader(Data);
  if (std::optional<std::string> Problem = BmpHeaderProblem(H, MaxBytes))
    return Refused(std::move(*Problem));

  // The colour table follows the 40-byte info header and is never used, only skipped.
  const std::uint64_t TableEnd =
      BmpFileHeaderSize + BmpInfoHeaderSize + std::uint64_t(H.ColoursUsed) * 4;
  if (TableEnd > Size) return Cut(TDecodeFailureKind::ShortColourTable);
  // Pixels normally follow the table; a larger info header (V4, V5) or a gap puts them where the
  // file header's offset says.
  const std::uint64_t PixelStart = std::max<std::uint64_t>(TableEnd, H.PixelOffset);
  const std::uint64_t DataSize = H.ImageSize != 0 ? H.ImageSize : H.Needed();
  if (PixelStart > Size || Size - PixelStart < DataSize)
    return Cut(TDecodeFailureKind::ShortPixelData);

  Out.Width = std::uint32_t(H.Width);
  Out.Height = std::uint32_t(H.Height);
  Out.Format = TPixelFormat::RGB;
  Out.RowBytes = std::size_t(H.Stride());
  Out.Pixels.assign(Data + PixelStart, Data + PixelStart + H.Needed());
  for (std::uint32_t Row = 0; Row < Out.Height; ++Row)
    SwapRedBlue(Out.Pixels.data() + std::size_t(Row) * Out.RowBytes, Out.Width);
  return std::nullopt;
}

std::optional<TDecodeFailure> DecodeJPG(const std::uint8_t* Data, std::size_t Size, TImage& Out,
                                        std::size_t MaxBytes) {
  TJpegErrors Errors;
  if (DecodeJPGCore(Data, Size, Out, Errors, MaxBytes)) return std::nullopt;
  return Refused(Errors.Reason);
}

std::optional<TDecodeFailure> DecodeTGA(const std::uint8_t* Data, std::size_t Size, TImage& Out,
                                        std::size_t MaxBytes) {
  if (Size < TgaHeaderSize) return Cut(TDecodeFailureKind::ShortPixelData);
  const TTgaHeader H = ReadTgaHeader(Data);
  if (std::optional<std::string> Problem = TgaHeaderProblem(H, MaxBytes))
    return Refused(std::move(*Problem));

  const std::size_t Start = TgaHeaderSize + H.IdLength;
  if (Start > Size) return Cut(TDecodeFailureKind::ShortPixelData);
  const std::uint8_t* Src = Data + Start;
  const std::size_t SrcSize = Size - Start;
  const std::size_t BPP = H.BytesPerPixel();
  const std::size_t Count = std::size_t(H.Width) * H.Height;
  const bool RunLength = H.ImageType == 10;

  // Refused before the picture is allocated when the file cannot hold it: stored pixels take BPP
  // bytes each, and a run-length packet of 1 + BPP bytes or more gives at most 128.
  if (RunLength ? (SrcSize / (1 + BPP) + 1) * 128 < Count : SrcSize / BPP < Count)
    return Cut(TDecodeFailureKind::ShortPixelData);
  Out.Width = H.Width;
  Out.Height = H.Height;
  Out.Format = BPP == 4 ? TPixelFormat::RGBA : TPixelFormat::RGB;
  Out.RowBytes = std::size_t(H.Width) * BPP;
  Out.Pixels.resize(Count * BPP);
  if (RunLength) {
    if (!DecodeTGARunLength(Src, SrcSize, BPP, Count, Out.Pixels.data()))
      return Cut(TDecodeFailureKind::ShortPixelData);
  } else {
    for (std::size_t I = 0; I < Count; ++I) PutTGAPixel(&Out.Pixels[I * BPP], Src + I * BPP, BPP);
  }
  return std::nullopt;
}
