// LitTextures: a material's colour map multiplied on the CPU by each of its caustic frames, as
// the linear filter samples them, so that the fast drawing path binds one texture where the
// reference path blends two units. Reads the textures back from GL and uploads the products.
// Depends on Material, ImageDecoders (TImage) and, in the source only, on Textures, GL, GLState
// and ExtOpenGL.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "ImageDecoders.h"
#include "Material.h"

// A colour map multiplied, texel by texel at its own size, by each caustic frame as the linear
// filter samples it there: one texture for unit 0 in place of the colour map on unit 0 modulated
// by the frame on unit 1. The two differ only where both pictures change within one texel of the
// colour map (a few grey levels at the sharpest caustic edges) and by the rounding of the
// product to 8 bits, and the rasteriser samples one texture instead of two.
//
// One texture holds the frame last asked for; asking for another computes that product and
// writes it over the texture: the frames come one after another, each drawn once before the next
// is asked for, so 31 more resident products would only take memory. The colour map stays here
// as the CPU reads it; the caustic frames are read back from GL as they are needed.
//
// No destructor: like the colour maps and caustic frames, the texture belongs to the share group
// it was made in and goes with its last context. Deleting it here could take it from another
// view of the group still drawing with it, or, with another group's context current (or none),
// that group's texture of the same name.
class TLitTextures {
public:
  TLitTextures(TImage Colour, const TMaterial& Material, TMipmaps Mipmaps);
  TLitTextures(const TLitTextures&) = delete;
  TLitTextures& operator=(const TLitTextures&) = delete;

  // The texture holding caustic frame K (0 to 31) lit. Needs a context of the group current and
  // unit 0 active; leaves the texture bound there (a frame made anew changes the binding only).
  std::uint32_t Frame(int K);

private:
  const TImage FColour;
  const std::array<std::uint32_t, TMaterial::CausticFrameCount> FLight;
  const TMipmaps FMipmaps;
  TImage FLightRead, FProduct;  // kept between frames: no allocation per frame
  std::uint32_t FTexture = 0;
  int FShown = -1;
};

// Per material, in order: its lit frames, or none where they cannot stand in for the two units
// (no caustics, no colour map, a frame missing, or alpha in any of them). Needs the context
// current; leaves the active unit and every binding as it found them. The products upload Mipmaps.
std::vector<std::unique_ptr<TLitTextures>> MakeLitTextures(
    const std::vector<std::unique_ptr<TMaterial>>& Materials, TMipmaps Mipmaps);

// The lit texel for a colour map texel and 16 times the light the filter reads there, where that
// is a whole number (the filter's weights whole quarters): Texel x Light / 255 rounded as the
// float product rounds it. Every such product Texel x Light16 is an integer, and the quotient
// either whole or more than 1/4080 from the next whole number, far beyond the two roundings
// here. Exposed for the test that holds it to the float product over every input.
constexpr std::uint8_t LitTexelInSixteenths(float Texel, float Light16) {
  return std::uint8_t((Texel * Light16 + 2040.0f) * (1.0f / 4080.0f) + 0.00006f);
}
