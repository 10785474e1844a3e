#include "Textures.h"

bool LoadTexture(const std::string& FileName, std::uint32_t& Texture)
{
  (void)FileName;
  (void)Texture;
  return false;
}
