// Mipmaps: which levels a texture upload makes, a choice the run's settings make once and every
// loader of textures passes on. A header of its own so that the models' headers name it without
// the decoders' picture types. Plain C++.
#pragma once

#include <cstdint>

// What CreateTexture uploads. The same texels either way: only level 0 is ever sampled.
enum class TMipmaps : std::uint8_t {
  // Only level 0 where that level is the picture itself (sides powers of two within GL's limit),
  // the whole chain otherwise: the program's default, without the CPU work of unsampled levels.
  BaseLevel,
  // The whole chain, built on the CPU for every picture: the plain reference path.
  FullChain,
};
