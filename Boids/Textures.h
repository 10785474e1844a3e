// Textures: turns BMP, JPEG and TGA image files into mip-mapped GL textures. The readers decode
// bytes in memory into a plain pixel buffer; reading the file and uploading to GL are thin steps
// around that. Depends on Platform (messages, files) and GL/GLU (upload only).
#pragma once

#include <cstdint>
#include <string>

// Picks a reader by the last four characters of FileName (".BMP", ".JPG", ".TGA" in any case)
// and passes FileName on unchanged. Texture receives the new texture name on success and is left
// untouched otherwise. Callers pass names already mapped with MapPath; messages show them as given.
bool LoadTexture(const std::string& FileName, std::uint32_t& Texture);
