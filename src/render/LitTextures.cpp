#include "LitTextures.h"

#include "ExtOpenGL.h"
#include "GLState.h"
#include "Textures.h"

#include <GL/gl.h>

#include <cmath>

namespace {

// A texture's base level as 8-bit RGBA rows, bottom row first; empty when it has none. Leaves
// the texture bound.
TImage ReadBackTexture(GLuint Texture) {
  GLint Width = 0, Height = 0;
  glBindTexture(GL_TEXTURE_2D, Texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &Width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &Height);
  TImage Image;
  if (Width > 0 && Height > 0) {
    Image.Width = std::uint32_t(Width);
    Image.Height = std::uint32_t(Height);
    Image.Format = TPixelFormat::RGBA;
    Image.RowBytes = std::size_t(Width) * 4;
    Image.Pixels.resize(Image.RowBytes * std::size_t(Height));
    const TPixelStoreGuard Alignment(GL_PACK_ALIGNMENT);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, Image.Pixels.data());
  }
  return Image;
}

// Where the linear filter reads a picture of Light texels along one axis, at the texel centres of
// a picture of Size texels laid over the same texture coordinates (repeating at the edges): per
// texel, the two texels read and the weight of the second.
struct TTaps {
  std::vector<std::uint32_t> First, Second;
  std::vector<float> Weight;

  TTaps(std::uint32_t Size, std::uint32_t Light) {
    for (std::uint32_t I = 0; I < Size; ++I) {
      const double At = (I + 0.5) / Size * Light - 0.5, Below = std::floor(At);
      const long long N = Light, K = static_cast<long long>(Below) % N;
      First.push_back(std::uint32_t(K < 0 ? K + N : K));
      Second.push_back(std::uint32_t((First.back() + 1) % Light));
      Weight.push_back(float(At - Below));
    }
  }
};

// The rows of Light (RGBA) filtered across at the texel centres of a row Width texels wide, per
// texel R, G and B: the two-dimensional filter's first step, with its arithmetic, so the product
// is the same to the bit. Each light row serves several rows of the product, which ask for them
// in order: the two rows last asked for are kept (a pointer given stays valid until a third row
// is asked for), and a row is filtered again only when it comes back after others.
class TLightAcross {
public:
  TLightAcross(const TImage& Light, std::uint32_t Width)
      : FLight(Light), FAcross(Width, Light.Width), FWidth(Width) {}

  const float* Row(std::uint32_t Y) {
    for (std::size_t K = 0; K < FKept.size(); ++K)
      if (FKept[K].Y == Y) {
        FNext = K ^ 1;  // the other row goes first
        return FKept[K].Values.data();
      }
    TRow& Row = FKept[FNext];
    FNext ^= 1;
    Row.Y = Y;
    Row.Values.resize(std::size_t(FWidth) * 3);
    const std::uint8_t* In = &FLight.Pixels[Y * FLight.RowBytes];
    float* Out = Row.Values.data();
    for (std::uint32_t X = 0; X < FWidth; ++X) {
      const std::size_t I = FAcross.First[X] * 4, J = FAcross.Second[X] * 4;
      const float U = FAcross.Weight[X];
      for (std::size_t C = 0; C < 3; ++C) *Out++ = In[I + C] * (1 - U) + In[J + C] * U;
    }
    return Row.Values.data();
  }

private:
  struct TRow {
    std::int64_t Y = -1;
    std::vector<float> Values;
  };
  const TImage& FLight;
  const TTaps FAcross;
  const std::uint32_t FWidth;
  std::array<TRow, 2> FKept;
  std::size_t FNext = 0;
};

// Product := Colour (RGBA) x Light as the filter samples it at Colour's texel centres, RGB.
void Multiply(const TImage& Colour, const TImage& Light, TImage& Product) {
  const TTaps Along(Colour.Height, Light.Height);
  TLightAcross Across(Light, Colour.Width);
  for (std::uint32_t Y = 0; Y < Colour.Height; ++Y) {
    const float* Row[2] = {Across.Row(Along.First[Y]), Across.Row(Along.Second[Y])};
    const float V = Along.Weight[Y];
    for (std::size_t X = 0; X < Colour.Width; ++X)
      for (std::size_t C = 0; C < 3; ++C) {
        const float Lighting = Row[0][X * 3 + C] * (1 - V) + Row[1][X * 3 + C] * V;
        const float Texel = Colour.Pixels[Y * Colour.RowBytes + X * 4 + C];
        Product.Pixels[Y * Product.RowBytes + X * 3 + C] =
            std::uint8_t(Texel * Lighting / 255.0f + 0.5f);
      }
  }
}

// Needs unit 0 active; leaves its binding changed.
std::unique_ptr<TLitTextures> MakeLit(const TMaterial& Material, TMipmaps Mipmaps) {
  if (!Material.Caustics || !Material.Opaque || Material.Texture == 0) return nullptr;
  for (const std::uint32_t Frame : Material.CausticTextures)
    if (Frame == 0) return nullptr;
  const TImage Colour = ReadBackTexture(Material.Texture);
  if (Colour.Pixels.empty()) return nullptr;
  auto Lit = std::make_unique<TLitTextures>();
  TImage Product;
  Product.Width = Colour.Width;
  Product.Height = Colour.Height;
  Product.Format = TPixelFormat::RGB;
  Product.RowBytes = (std::size_t(Colour.Width) * 3 + 3) & ~std::size_t(3);
  Product.Pixels.resize(Product.RowBytes * Colour.Height);
  for (std::size_t K = 0; K < Lit->Frames.size(); ++K) {
    const TImage Light = ReadBackTexture(Material.CausticTextures[K]);
    if (Light.Pixels.empty()) return nullptr;
    Multiply(Colour, Light, Product);
    Lit->Frames[K] = CreateTexture(Product, Mipmaps);
  }
  return Lit;
}

}  // namespace

std::vector<std::unique_ptr<TLitTextures>> MakeLitTextures(
    const std::vector<std::unique_ptr<TMaterial>>& Materials, TMipmaps Mipmaps) {
  const TTextureUnitGuard Unit0(GL_TEXTURE0_ARB);
  std::vector<std::unique_ptr<TLitTextures>> Lit;
  for (const auto& Material : Materials) Lit.push_back(MakeLit(*Material, Mipmaps));
  return Lit;
}
