#include "Material.h"

#include "ExtOpenGL.h"
#include "Platform.h"
#include "Textures.h"

#include <GL/gl.h>

void TMaterial::LoadCausticFrames(TMipmaps Mipmaps) {
  if (!Caustics) return;
  for (int K = 0; K < CausticFrameCount; ++K)
    LoadTexture(MapPath(std::string(DataPrefix) + "Vadrel" + std::to_string(100 + K) + ".bmp"),
                CausticTextures[std::size_t(K)], Mipmaps);
}

void TMaterial::LoadTextureFile(TMipmaps Mipmaps) {
  Texture = 0;
  if (!TextureFile.empty()) {
    const std::string AsWritten = MapPath(TextureFile);
    if (FileExists(AsWritten))
      LoadTexture(AsWritten, Texture, Mipmaps);
    else
      LoadTexture(MapPath(std::string(DataPrefix) + TextureFile), Texture, Mipmaps);
  }
  // Texture 0 leaves texturing off; a caustic frame that failed to load leaves alpha alone.
  Opaque = Texture == 0 || !TextureHasAlpha(Texture);
  if (Caustics)
    for (const std::uint32_t Frame : CausticTextures)
      Opaque = Opaque && (Frame == 0 || !TextureHasAlpha(Frame));
}

void TMaterial::Apply() {
  glMaterialfv(GL_FRONT, GL_AMBIENT, Ambient.data());
  glMaterialfv(GL_FRONT, GL_DIFFUSE, Diffuse.data());
  glMaterialfv(GL_FRONT, GL_SPECULAR, Specular.data());
  glMaterialfv(GL_FRONT, GL_EMISSION, Emissive.data());
  glMaterialf(GL_FRONT, GL_SHININESS, Shininess);
  if (Texture == 0) {
    glDisable(GL_TEXTURE_2D);
    return;
  }
  ExtOpenGL::ActiveTexture(GL_TEXTURE0_ARB);
  glBindTexture(GL_TEXTURE_2D, Texture);
  glEnable(GL_TEXTURE_2D);
  // Without a second unit there is no caustic layer, and its frame does not move.
  if (!Caustics || !ExtOpenGL::HasMultitexture()) return;
  ExtOpenGL::ActiveTexture(GL_TEXTURE1_ARB);
  glBindTexture(GL_TEXTURE_2D, CausticTextures[std::size_t(CausticFrame)]);
  glEnable(GL_TEXTURE_2D);
  if (++CausticFrame >= CausticFrameCount) CausticFrame = 0;
}
