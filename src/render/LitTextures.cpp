#include "LitTextures.h"

#include "ExtOpenGL.h"
#include "GLState.h"
#include "Textures.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

// Image := a texture's base level as 8-bit RGBA rows, bottom row first; empty when it has none.
// Reuses Image's storage. Leaves the texture bound.
void ReadBackTexture(GLuint Texture, TImage& Image) {
  GLint Width = 0, Height = 0;
  glBindTexture(GL_TEXTURE_2D, Texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &Width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &Height);
  Image.Width = std::uint32_t(std::max(Width, 0));
  Image.Height = std::uint32_t(std::max(Height, 0));
  Image.Format = TPixelFormat::RGBA;
  Image.RowBytes = std::size_t(Image.Width) * 4;
  Image.Pixels.resize(Image.RowBytes * Image.Height);
  if (Image.Pixels.empty()) return;
  const TPixelStoreGuard Alignment(GL_PACK_ALIGNMENT);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, Image.Pixels.data());
}

// Where the linear filter reads a picture of Light texels along one axis, at the texel centres of
// a picture of Size texels laid over the same texture coordinates (repeating at the edges): per
// texel, the two texels read and the weight of the second.
struct TTaps {
  std::vector<std::uint32_t> First, Second;
  std::vector<float> Weight;

  // Every weight a whole number of quarters (as where one side is twice the other), in Quarters.
  bool InQuarters = true;
  std::vector<std::uint32_t> Quarters;

  TTaps(std::uint32_t Size, std::uint32_t Light) {
    for (std::uint32_t I = 0; I < Size; ++I) {
      const double At = (I + 0.5) / Size * Light - 0.5, Below = std::floor(At);
      const long long N = Light, K = static_cast<long long>(Below) % N;
      First.push_back(std::uint32_t(K < 0 ? K + N : K));
      Second.push_back(std::uint32_t((First.back() + 1) % Light));
      Weight.push_back(float(At - Below));
      const float Q = Weight.back() * 4;
      InQuarters = InQuarters && Q == std::floor(Q);
      Quarters.push_back(std::uint32_t(Q));
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
  // InQuarters: each value in quarters, a whole number where the weights are whole quarters.
  TLightAcross(const TImage& Light, const TTaps& Across, bool InQuarters = false)
      : FLight(Light), FAcross(Across), FInQuarters(InQuarters) {}

  const float* Row(std::uint32_t Y) {
    for (std::size_t K = 0; K < FKept.size(); ++K)
      if (FKept[K].Y == Y) {
        FNext = K ^ 1;  // the other row goes first
        return FKept[K].Values.data();
      }
    TRow& Row = FKept[FNext];
    FNext ^= 1;
    Row.Y = Y;
    const std::size_t Width = FAcross.First.size();
    Row.Values.resize(Width * 3);
    const std::uint8_t* In = &FLight.Pixels[Y * FLight.RowBytes];
    float* Out = Row.Values.data();
    for (std::size_t X = 0; X < Width; ++X) {
      const std::size_t I = FAcross.First[X] * 4, J = FAcross.Second[X] * 4;
      for (std::size_t C = 0; C < 3; ++C) *Out++ = Weigh(In[I + C], In[J + C], X);
    }
    return Row.Values.data();
  }

private:
  struct TRow {
    std::int64_t Y = -1;
    std::vector<float> Values;
  };
  const TImage& FLight;
  const TTaps& FAcross;
  const bool FInQuarters;
  std::array<TRow, 2> FKept;
  std::size_t FNext = 0;

  float Weigh(float A, float B, std::size_t X) const {
    if (FInQuarters) {
      const float Q = float(FAcross.Quarters[X]);
      return A * (4 - Q) + B * Q;
    }
    const float U = FAcross.Weight[X];
    return A * (1 - U) + B * U;
  }
};

// Product := Colour (RGB) x Light as the filter samples it at Colour's texel centres, RGB.
void MultiplyFloat(const TImage& Colour, const TImage& Light, const TTaps& Along,
                   const TTaps& Across, TImage& Product) {
  TLightAcross Rows(Light, Across);
  for (std::uint32_t Y = 0; Y < Colour.Height; ++Y) {
    const float* Row[2] = {Rows.Row(Along.First[Y]), Rows.Row(Along.Second[Y])};
    const float V = Along.Weight[Y];
    for (std::size_t X = 0; X < Colour.Width; ++X)
      for (std::size_t C = 0; C < 3; ++C) {
        const float Lighting = Row[0][X * 3 + C] * (1 - V) + Row[1][X * 3 + C] * V;
        const float Texel = Colour.Pixels[Y * Colour.RowBytes + X * 3 + C];
        Product.Pixels[Y * Product.RowBytes + X * 3 + C] =
            std::uint8_t(Texel * Lighting / 255.0f + 0.5f);
      }
  }
}

// MultiplyFloat's product where every weight is whole quarters: the light in quarters across,
// then in sixteenths, each a whole number that float holds exactly.
void MultiplyInQuarters(const TImage& Colour, const TImage& Light, const TTaps& Along,
                        const TTaps& Across, TImage& Product) {
  TLightAcross Rows(Light, Across, true);
  const std::size_t Values = std::size_t(Colour.Width) * 3;
  for (std::uint32_t Y = 0; Y < Colour.Height; ++Y) {
    const float* Row[2] = {Rows.Row(Along.First[Y]), Rows.Row(Along.Second[Y])};
    const float V = float(Along.Quarters[Y]);
    const std::uint8_t* Texels = &Colour.Pixels[Y * Colour.RowBytes];
    std::uint8_t* Out = &Product.Pixels[Y * Product.RowBytes];
    const float *Above = Row[0], *Below = Row[1];
    // Contiguous, with the count held apart from what the loop writes: vectorised.
    for (std::size_t I = 0; I < Values; ++I)
      Out[I] = LitTexelInSixteenths(Texels[I], Above[I] * (4 - V) + Below[I] * V);
  }
}

void Multiply(const TImage& Colour, const TImage& Light, TImage& Product) {
  const TTaps Along(Colour.Height, Light.Height), Across(Colour.Width, Light.Width);
  if (Along.InQuarters && Across.InQuarters)
    MultiplyInQuarters(Colour, Light, Along, Across, Product);
  else
    MultiplyFloat(Colour, Light, Along, Across, Product);
}

// Image's texels without alpha, rows packed: what the products read, in a quarter less memory.
TImage PackedRGB(const TImage& Image) {
  TImage Packed;
  Packed.Width = Image.Width;
  Packed.Height = Image.Height;
  Packed.Format = TPixelFormat::RGB;
  Packed.RowBytes = std::size_t(Image.Width) * 3;
  Packed.Pixels.resize(Packed.RowBytes * Image.Height);
  std::uint8_t* Out = Packed.Pixels.data();
  for (std::size_t Y = 0; Y < Image.Height; ++Y)
    for (std::size_t X = 0; X < Image.Width; ++X)
      Out = std::copy_n(&Image.Pixels[Y * Image.RowBytes + X * 4], 3, Out);
  return Packed;
}

// Whether every caustic frame of Material has a picture in GL. Leaves unit 0's binding changed.
bool HasEveryFrame(const TMaterial& Material) {
  for (const std::uint32_t Frame : Material.CausticTextures) {
    GLint Width = 0, Height = 0;
    if (Frame == 0) return false;
    glBindTexture(GL_TEXTURE_2D, Frame);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &Width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &Height);
    if (Width <= 0 || Height <= 0) return false;
  }
  return true;
}

// Needs unit 0 active; leaves its binding changed.
std::unique_ptr<TLitTextures> MakeLit(const TMaterial& Material, TMipmaps Mipmaps) {
  if (!Material.Caustics || !Material.Opaque || Material.Texture == 0) return nullptr;
  if (!HasEveryFrame(Material)) return nullptr;
  TImage Colour;
  ReadBackTexture(Material.Texture, Colour);
  if (Colour.Pixels.empty()) return nullptr;
  return std::make_unique<TLitTextures>(PackedRGB(Colour), Material, Mipmaps);
}

}  // namespace

TLitTextures::TLitTextures(TImage Colour, const TMaterial& Material, TMipmaps Mipmaps)
    : FColour(std::move(Colour)), FLight(Material.CausticTextures), FMipmaps(Mipmaps) {
  FProduct.Width = FColour.Width;
  FProduct.Height = FColour.Height;
  FProduct.Format = TPixelFormat::RGB;
  FProduct.RowBytes = (std::size_t(FColour.Width) * 3 + 3) & ~std::size_t(3);
  FProduct.Pixels.resize(FProduct.RowBytes * FColour.Height);
}

std::uint32_t TLitTextures::Frame(int K) {
  if (K == FShown) {
    glBindTexture(GL_TEXTURE_2D, FTexture);
    return FTexture;
  }
  ReadBackTexture(FLight[std::size_t(K)], FLightRead);
  Multiply(FColour, FLightRead, FProduct);
  if (FTexture == 0)
    FTexture = CreateTexture(FProduct, FMipmaps);
  else
    ReplaceTexture(FTexture, FProduct, FMipmaps);
  FShown = K;
  return FTexture;
}

std::vector<std::unique_ptr<TLitTextures>> MakeLitTextures(
    const std::vector<std::unique_ptr<TMaterial>>& Materials, TMipmaps Mipmaps) {
  const TTextureUnitGuard Unit0(GL_TEXTURE0_ARB);
  std::vector<std::unique_ptr<TLitTextures>> Lit;
  for (const auto& Material : Materials) Lit.push_back(MakeLit(*Material, Mipmaps));
  return Lit;
}
