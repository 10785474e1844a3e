// ModelSamples: what the model tests share: two model texts (a small creature after the format's
// own example, and a plain model any prefix of which is consistent), ways to edit and load them,
// and the pictures and data folders their textures come from.
#pragma once

#include "Model.h"
#include "TestSupport.h"
#include "Textures.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// 30 frames, start at frame 7, one mesh of three vertices (two bound to bones), one material, two
// bones; each line's number is noted beside it.
extern const std::vector<std::string> Creature;
// Nothing points across blocks (no material, no bones used by the mesh).
extern const std::vector<std::string> Plain;

std::string Join(const std::vector<std::string>& Lines, const std::string& End = "\r\n",
                 std::size_t Count = std::string::npos);
// Lines with the first line equal to From replaced by To; Line receives its 1-based number.
std::vector<std::string> Replaced(std::vector<std::string> Lines, const std::string& From,
                                  const std::string& To, int* Line = nullptr);
// Loads Text from a file of its own into Model; Path receives the file's path.
bool Load(TModel& Model, const std::string& Text, std::string* Path = nullptr,
          TMipmaps Mipmaps = TMipmaps::BaseLevel);

// A 24-bit BMP of one colour.
std::vector<std::uint8_t> Bmp(int Width, int Height, std::uint8_t R, std::uint8_t G,
                              std::uint8_t B);

// Points VADREL_DATA at a folder for its life.
class TDataFolder {
public:
  explicit TDataFolder(const std::filesystem::path& Folder);
  ~TDataFolder();
  TDataFolder(const TDataFolder&) = delete;
  TDataFolder& operator=(const TDataFolder&) = delete;

private:
  std::optional<std::string> Previous;
};

// A data folder holding the 32 caustic frames, all mid grey.
struct TCausticData {
  TTempDir Dir;
  TDataFolder Data{Dir.Path()};
  TCausticData();
};
