// LitTextures: a material's colour map multiplied on the CPU by each of its caustic frames, as
// the linear filter samples them, so that the fast drawing path binds one texture where the
// reference path blends two units. Reads the textures back from GL and uploads the products.
// Depends on Material and, in the source only, on Textures (CreateTexture, TImage), GL, GLState
// and ExtOpenGL.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "Material.h"

// A colour map multiplied, texel by texel at its own size, by each caustic frame as the linear
// filter samples it there: one texture for unit 0 in place of the colour map on unit 0 modulated
// by the frame on unit 1. The two differ only where both pictures change within one texel of the
// colour map (a few grey levels at the sharpest caustic edges) and by the rounding of the
// product to 8 bits, and the rasteriser samples one texture instead of two.
//
// No destructor: like the colour maps and caustic frames, the textures belong to the share group
// they were made in and go with its last context. Deleting them here could take them from another
// view of the group still drawing with them, or, with another group's context current (or none),
// that group's textures of the same names.
struct TLitTextures {
  std::array<std::uint32_t, TMaterial::CausticFrameCount> Frames{};
};

// Per material, in order: its lit frames, or none where they cannot stand in for the two units
// (no caustics, no colour map, a frame missing, or alpha in any of them). Needs the context
// current; leaves the active unit and every binding as it found them. The products upload Mipmaps.
std::vector<std::unique_ptr<TLitTextures>> MakeLitTextures(
    const std::vector<std::unique_ptr<TMaterial>>& Materials, TMipmaps Mipmaps);
