// libFuzzer entry for one image decoder, chosen at build time by VADREL_FUZZ_DECODER. The decoder
// must neither crash nor read outside the input; a refusal of kind Refused must carry its reason
// and the others none; a decoded picture must hold its rows and stay inside the readers' memory
// cap.
#include "ImageDecoders.h"

#include <cstdlib>

namespace {
// Pictures up to 16 MiB: the decoders' paths are all reached well below that, and a valid picture
// near the program's MaxImageBytes would by itself exceed the fuzzer's 256 MB and 1 s.
constexpr std::size_t FuzzImageBytes = std::size_t(16) << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  TImage Image;
  if (const std::optional<TDecodeFailure> Failure =
          VADREL_FUZZ_DECODER(Data, Size, Image, FuzzImageBytes)) {
    if ((Failure->Kind == TDecodeFailureKind::Refused) == Failure->Reason.empty()) std::abort();
    return 0;
  }
  const std::size_t Packed = std::size_t(Image.Width) * Image.BytesPerPixel();
  if (Image.Width == 0 || Image.Height == 0 || Image.RowBytes < Packed ||
      Image.RowBytes * Image.Height > FuzzImageBytes ||
      Image.Pixels.size() < Image.RowBytes * Image.Height)
    std::abort();
  return 0;
}
