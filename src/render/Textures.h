// Textures: turns BMP, JPEG and TGA image files into GL textures. Reading the file, showing the
// message and uploading to GL are thin steps around the decoders (ImageDecoders), which see only
// the bytes. Depends on ImageDecoders, Mipmaps, Platform (messages, files) and, in the source
// only, GL/GLU and GLState (the upload).
#pragma once

#include "ImageDecoders.h"
#include "Mipmaps.h"

#include <cstdint>
#include <string>

// Picks a reader by the last four characters of FileName (".BMP", ".JPG", ".TGA" in any case)
// and passes FileName on unchanged. Texture receives the new texture name on success and is left
// untouched otherwise. Callers pass names already mapped with MapPath; messages show them as given.
// An unrecognised extension shows nothing and returns false.
// Mipmaps passes to CreateTexture.
bool LoadTexture(const std::string& FileName, std::uint32_t& Texture,
                 TMipmaps Mipmaps = TMipmaps::BaseLevel);

// Whether texture Texture (a name LoadTexture gave) keeps an alpha channel: false for pictures
// without one, whose texels all read as alpha 1. Needs the context current; leaves the binding.
bool TextureHasAlpha(std::uint32_t Texture);
// True when the alpha test, as set, passes every fragment whose alpha is the current colour's:
// for a texture without alpha it then decides nothing, and the rasteriser, with the test off, can
// test depth before it shades. (With lighting on, the alpha would be the material's.)
bool AlphaTestPassesCurrentColour();

// The readers behind LoadTexture, with its contract: on failure one message (ShowMessage) naming
// the file, false, Texture untouched and no texture object created. Need a current GL context.
// BMP, caption "BMP Unit": a file that cannot be read shows "Error opening <name>", a refusal
// "Error loading <name>: <reason>", a cut colour table "Error reading palette" and cut pixel data
// "Error reading bitmap data".
bool LoadBMP(const std::string& FileName, std::uint32_t& Texture,
             TMipmaps Mipmaps = TMipmaps::BaseLevel);
// Tries FileName, then "data/" + FileName relative to the current directory when no file of that
// name exists. Every failure shows the same box naming the file; a decoding failure is preceded
// by one diagnostic line (ShowDiagnostic) naming the file and the reason, as the box may wait for
// the user.
bool LoadJPG(const std::string& FileName, std::uint32_t& Texture,
             TMipmaps Mipmaps = TMipmaps::BaseLevel);
// No file of that name shows "File not found  - <name>" (caption "TGA Texture"); a refusal
// "Couldn't load "<name>". <reason>", and a file cut short or one that cannot be read "Couldn't
// read file "<name>"." (caption "TGA File Error").
bool LoadTGA(const std::string& FileName, std::uint32_t& Texture,
             TMipmaps Mipmaps = TMipmaps::BaseLevel);

// Uploads Image as a new texture object (GL_MODULATE environment, linear filters; internal format
// RGBA or three components; the levels Mipmaps asks for) and returns its name. Level 0 is the
// picture scaled to the nearest powers of two, halved until GL takes it. The new texture stays
// bound to GL_TEXTURE_2D; the unpack alignment is restored afterwards. Needs a current context.
std::uint32_t CreateTexture(const TImage& Image, TMipmaps Mipmaps = TMipmaps::BaseLevel);
