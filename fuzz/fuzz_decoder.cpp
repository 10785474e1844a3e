// libFuzzer entry for one image decoder, chosen at build time by VADREL_FUZZ_DECODER. Messages and
// diagnostics go nowhere; the decoder must neither crash nor read outside the input, and a decoded
// picture must hold its rows and stay inside the readers' memory cap.
#include "Platform.h"
#include "Textures.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  static const bool Silenced = [] {
    SetMessageSink([](const std::string&, const std::string&) {});
    SetDiagnosticSink([](const std::string&) {});
    // Pictures up to 16 MiB: the decoders' paths are all reached well below that, and a valid
    // picture near the program's 256 MiB would by itself exceed the fuzzer's 256 MB and 1 s.
    SetImageMemoryLimit(std::size_t(16) << 20);
    return true;
  }();
  (void)Silenced;
  TImage Image;
  if (VADREL_FUZZ_DECODER(Data, Size, "fuzz", Image)) {
    const std::size_t Packed = std::size_t(Image.Width) * Image.BytesPerPixel();
    if (Image.Width == 0 || Image.Height == 0 || Image.RowBytes < Packed ||
        Image.RowBytes * Image.Height > ImageMemoryLimitBytes() ||
        Image.Pixels.size() < Image.RowBytes * Image.Height)
      std::abort();
  }
  return 0;
}
