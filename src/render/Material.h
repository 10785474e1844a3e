// Material: one material of a model: its colours for the fixed pipeline, the colour map it names
// and, on models with caustics, the animated caustic-light frames; loading those textures and
// applying the whole to GL. Depends on Mipmaps and, in the source only, on Textures (LoadTexture),
// Platform (paths), GL and ExtOpenGL.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "Mipmaps.h"

// One material: colours for the fixed pipeline, the colour map on unit 0 and, on models with
// caustics, 32 caustic-light frames cycled on unit 1, one step per Apply.
class TMaterial {
public:
  static constexpr int CausticFrameCount = 32;

  // Loads no texture: see LoadCausticFrames and LoadTextureFile.
  explicit TMaterial(bool WithCaustics) : Caustics(WithCaustics) {}

  bool Caustics = false;
  std::string Name;
  std::array<float, 4> Ambient{}, Diffuse{}, Specular{}, Emissive{};
  float Shininess = 0;
  float Transparency = 0;      // kept, not used by drawing
  std::string TextureFile;     // empty: no texture
  std::string AlphaMapFile;    // kept, not used
  std::uint32_t Texture = 0;   // 0: none
  std::array<std::uint32_t, CausticFrameCount> CausticTextures{};
  int CausticFrame = 0;        // the frame the next Apply binds, 0 to 31
  // No texture it binds has an alpha channel: its fragments keep the current colour's alpha.
  // Worked out as the textures load; false (the safe answer) until then.
  bool Opaque = false;

  // With Caustics, loads the frames "Vadrel100.bmp" to "Vadrel131.bmp" of the data folder in that
  // order (a frame that fails to load keeps 0), uploading Mipmaps; without, does nothing.
  void LoadCausticFrames(TMipmaps Mipmaps = TMipmaps::BaseLevel);
  // Texture := the colour map: TextureFile as written (relative to the current directory), else
  // the same name inside the data folder, uploading Mipmaps; 0 when empty or when loading fails.
  void LoadTextureFile(TMipmaps Mipmaps = TMipmaps::BaseLevel);
  // Sets the front material and the textures. Without a texture: disables texturing on the
  // active unit and stops. With one: binds it on unit 0 and, with caustics, binds the current
  // caustic frame on unit 1, leaves unit 1 active and steps the frame (31 wraps to 0).
  void Apply();
};
