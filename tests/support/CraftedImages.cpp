#include "CraftedImages.h"

#include "TestSupport.h"

#include <cstdlib>

#include <jpeglib.h>

void PrintTo(const TDecodeFailure& F, std::ostream* Out) {
  const char* Kinds[] = {"Refused", "ShortColourTable", "ShortPixelData"};
  *Out << Kinds[static_cast<int>(F.Kind)] << " \"" << F.Reason << "\"";
}

std::optional<TDecodeFailure> Decode(TDecoder Decoder, const Bytes& File, TImage& Out) {
  return Decoder(File.data(), File.size(), Out, MaxImageBytes);
}

std::uint8_t PatternByte(std::size_t I) { return std::uint8_t(I * 7 + 1); }

std::size_t BmpStride(std::int32_t Width) { return ((std::size_t(Width) * 24 + 31) / 32) * 4; }

Bytes MakeBMP(const TBmpLayout& S, std::size_t PixelBytes) {
  Bytes B;
  const std::uint32_t Start = 14 + S.HeaderSize + S.ColoursUsed * 4 + std::uint32_t(S.Gap);
  PutU8(B, 'B');
  PutU8(B, 'M');
  PutU32(B, std::uint32_t(Start + PixelBytes));
  PutU16(B, 0);
  PutU16(B, 0);
  PutU32(B, S.Offset.value_or(Start));
  PutU32(B, S.HeaderSize);
  PutU32(B, std::uint32_t(S.Width));
  PutU32(B, std::uint32_t(S.Height));
  PutU16(B, 1);
  PutU16(B, S.Bits);
  PutU32(B, S.Compression);
  PutU32(B, S.ImageSize);
  PutU32(B, 2835);
  PutU32(B, 2835);
  PutU32(B, S.ColoursUsed);
  PutU32(B, 0);
  B.resize(14 + S.HeaderSize, 0);
  for (std::uint32_t I = 0; I < S.ColoursUsed; ++I) PutU32(B, 0xA0B0C0D0u);
  B.resize(B.size() + S.Gap, 0xEE);
  for (std::size_t I = 0; I < PixelBytes; ++I) PutU8(B, PatternByte(I));
  return B;
}

Bytes MakeBMP(const TBmpLayout& S) { return MakeBMP(S, BmpStride(S.Width) * std::size_t(std::abs(S.Height))); }

Bytes TgaHeader(unsigned Type, unsigned Width, unsigned Height, unsigned Depth, unsigned IdLength,
                unsigned ColourMapType, unsigned Descriptor) {
  Bytes B;
  PutU8(B, IdLength);
  PutU8(B, ColourMapType);
  PutU8(B, Type);
  PutU16(B, 0);
  PutU16(B, 0);
  PutU8(B, 0);
  PutU16(B, 0);
  PutU16(B, 0);
  PutU16(B, Width);
  PutU16(B, Height);
  PutU8(B, Depth);
  PutU8(B, Descriptor);
  for (unsigned I = 0; I < IdLength; ++I) PutU8(B, 0xDD);
  return B;
}

Bytes Cat(Bytes A, const Bytes& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

Bytes MakeJPEG(int Width, int Height, int Components, const Bytes& Pixels, bool StoreRgb) {
  jpeg_compress_struct Info;
  jpeg_error_mgr Err;
  Info.err = jpeg_std_error(&Err);
  jpeg_create_compress(&Info);
  unsigned char* Buffer = nullptr;
  unsigned long Size = 0;
  jpeg_mem_dest(&Info, &Buffer, &Size);
  Info.image_width = JDIMENSION(Width);
  Info.image_height = JDIMENSION(Height);
  Info.input_components = Components;
  Info.in_color_space = Components == 1 ? JCS_GRAYSCALE : Components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&Info);
  if (StoreRgb) jpeg_set_colorspace(&Info, JCS_RGB);
  jpeg_set_quality(&Info, 100, TRUE);
  for (int C = 0; C < Info.num_components; ++C) {
    Info.comp_info[C].h_samp_factor = 1;
    Info.comp_info[C].v_samp_factor = 1;
  }
  jpeg_start_compress(&Info, TRUE);
  while (Info.next_scanline < Info.image_height) {
    JSAMPROW Row = const_cast<JSAMPROW>(Pixels.data() + std::size_t(Info.next_scanline) * Width * Components);
    jpeg_write_scanlines(&Info, &Row, 1);
  }
  jpeg_finish_compress(&Info);
  Bytes Out(Buffer, Buffer + Size);
  jpeg_destroy_compress(&Info);
  std::free(Buffer);
  return Out;
}
