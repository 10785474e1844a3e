// Test helper: watches the root window of $DISPLAY until it shows the scene, saves that picture and
// one taken a second later as PNGs, and checks that the two differ (the fish move).
//
// usage: root_capture OUT_PREFIX SECONDS
// Writes OUT_PREFIX-1.png and OUT_PREFIX-2.png (the last picture seen as -1 when the scene never
// showed up within SECONDS) and prints what it measured. Exit 0 when everything holds, 1 when not,
// 2 on a usage or display error.
#include "Headless.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// A capture as RGBA, bottom row first (the order WritePng takes).
struct TPicture {
  int Width = 0, Height = 0;
  std::vector<std::uint8_t> Rgba;
  const std::uint8_t* Pixel(int X, int YFromTop) const {
    return &Rgba[(std::size_t(Height - 1 - YFromTop) * Width + X) * 4];
  }
};

// One channel of a TrueColor pixel, scaled to 0..255.
std::uint8_t Channel(unsigned long Pixel, unsigned long Mask) {
  if (Mask == 0) return 0;
  const int Shift = std::countr_zero(Mask);
  const unsigned long Max = Mask >> Shift;
  return std::uint8_t(((Pixel & Mask) >> Shift) * 255 / Max);
}

bool Grab(Display* D, TPicture& Picture) {
  const Window Root = DefaultRootWindow(D);
  XWindowAttributes Attributes;
  if (!XGetWindowAttributes(D, Root, &Attributes)) return false;
  XImage* Image =
      XGetImage(D, Root, 0, 0, Attributes.width, Attributes.height, AllPlanes, ZPixmap);
  if (!Image) return false;
  Picture.Width = Attributes.width;
  Picture.Height = Attributes.height;
  Picture.Rgba.assign(std::size_t(Picture.Width) * Picture.Height * 4, 255);
  for (int Y = 0; Y < Picture.Height; ++Y)
    for (int X = 0; X < Picture.Width; ++X) {
      const unsigned long P = XGetPixel(Image, X, Y);
      std::uint8_t* Out = const_cast<std::uint8_t*>(Picture.Pixel(X, Y));
      Out[0] = Channel(P, Image->red_mask);
      Out[1] = Channel(P, Image->green_mask);
      Out[2] = Channel(P, Image->blue_mask);
    }
  XDestroyImage(Image);
  return true;
}

struct TMeasures {
  double Sand = 0;  // share of the lower half lit like sand: red and green far above the water's
  double Flat = 0;  // share of the whole picture taken by its most frequent colour
  bool LooksLikeScene() const { return Sand >= 0.6 && Flat <= 0.2; }
};

TMeasures Measure(const TPicture& Picture) {
  TMeasures M;
  std::vector<std::uint32_t> Counts(1u << 18, 0);  // 6 bits a channel
  std::size_t SandPixels = 0, LowerPixels = 0;
  for (int Y = 0; Y < Picture.Height; ++Y)
    for (int X = 0; X < Picture.Width; ++X) {
      const std::uint8_t* P = Picture.Pixel(X, Y);
      ++Counts[(P[0] >> 2) << 12 | (P[1] >> 2) << 6 | (P[2] >> 2)];
      if (Y >= Picture.Height / 2) {
        ++LowerPixels;
        if (P[0] >= 80 && P[1] >= 80) ++SandPixels;
      }
    }
  const std::size_t All = std::size_t(Picture.Width) * Picture.Height;
  M.Sand = LowerPixels ? double(SandPixels) / LowerPixels : 0;
  M.Flat = All ? double(*std::max_element(Counts.begin(), Counts.end())) / All : 1;
  return M;
}

// The share of pixels that changed by more than a little in any channel.
double Changed(const TPicture& A, const TPicture& B) {
  if (A.Width != B.Width || A.Height != B.Height) return 1;
  std::size_t Count = 0;
  for (std::size_t I = 0; I < A.Rgba.size(); I += 4)
    for (int C = 0; C < 3; ++C)
      if (std::abs(int(A.Rgba[I + C]) - int(B.Rgba[I + C])) > 24) {
        ++Count;
        break;
      }
  return A.Rgba.empty() ? 0 : double(Count) / double(A.Rgba.size() / 4);
}

bool Save(const TPicture& Picture, const std::string& File) {
  std::string Error;
  if (WritePng(File, Picture.Width, Picture.Height, Picture.Rgba, Error)) return true;
  std::fprintf(stderr, "root_capture: %s: %s\n", File.c_str(), Error.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: root_capture OUT_PREFIX SECONDS\n");
    return 2;
  }
  const std::string Prefix = argv[1];
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[2]));
  Display* D = XOpenDisplay(nullptr);
  if (!D) {
    std::fprintf(stderr, "root_capture: cannot open display \"%s\"\n", XDisplayName(nullptr));
    return 2;
  }

  TPicture First;
  TMeasures M;
  bool Seen = false;
  while (Grab(D, First)) {
    M = Measure(First);
    if ((Seen = M.LooksLikeScene()) || std::chrono::steady_clock::now() > Deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  std::printf("root window %dx%d: sand in the lower half %.2f, most frequent colour %.2f\n",
              First.Width, First.Height, M.Sand, M.Flat);
  bool Ok = Save(First, Prefix + "-1.png") && Seen;
  if (!Seen) std::printf("the scene did not show up within %s s\n", argv[2]);

  if (Ok) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    TPicture Second;
    Ok = Grab(D, Second) && Save(Second, Prefix + "-2.png");
    const double Share = Changed(First, Second);
    std::printf("a second later: %.3f of the pixels changed\n", Share);
    Ok = Ok && Share >= 0.002 && Measure(Second).LooksLikeScene();
  }
  XCloseDisplay(D);
  return Ok ? 0 : 1;
}
