#include "ModelSamples.h"

#include <gtest/gtest.h>

#include <cstdlib>

const std::vector<std::string> Creature = {
    "// a creature for the tests",                                              // 1
    "",                                                                         // 2
    "Frames: 30",                                                               // 3
    "Frame: 7",                                                                 // 4
    "",                                                                         // 5
    "Meshes: 1",                                                                // 6
    "\"Regroup03\" 1 0",                                                        // 7
    "3",                                                                        // 8
    "1 -0.958969 -2.714286 -68.994423 0.133731 0.560487 1",                     // 9
    "0 1.000000 0.000000 0.000000 0.250000 0.250000 0",                         // 10
    "0 0.000000 1.000000 0.000000 1.000000 1.000000 -1",                        // 11
    "2",                                                                        // 12
    "-0.702551 -0.089157 -0.706026",                                            // 13
    "0.000000 0.000000 1.000000",                                               // 14
    "1",                                                                        // 15
    "1 0 1 2 0 1 1 1",                                                          // 16
    "",                                                                         // 17
    "Materials: 1",                                                             // 18
    "\"Material01\"",                                                           // 19
    "0.200000 0.200000 0.200000 1.000000",                                      // 20
    "0.800000 0.800000 0.800000 1.000000",                                      // 21
    "0.000000 0.000000 0.000000 1.000000",                                      // 22
    "0.000000 0.000000 0.000000 1.000000",                                      // 23
    "0.000000",                                                                 // 24
    "1.000000",                                                                 // 25
    "\"\"",                                                                     // 26
    "\"\"",                                                                     // 27
    "",                                                                         // 28
    "Bones: 2",                                                                 // 29
    "\"Middle\"",                                                               // 30
    "\"\"",                                                                     // 31
    "21 0.000000 5.950339 -27.750000 0.000000 0.000000 0.000000",               // 32
    "3",                                                                        // 33
    "1.000000 0.000000 0.000000 0.000000",                                      // 34
    "16.000000 0.000000 0.000000 0.000000",                                     // 35
    "30.000000 0.000000 0.000000 0.000000",                                     // 36
    "3",                                                                        // 37
    "1.000000 0.000000 -0.069813 0.000000",                                     // 38
    "16.000000 0.000000 0.069813 0.000000",                                     // 39
    "30.000000 0.000000 -0.069813 0.000000",                                    // 40
    "\"FinBase\"",                                                              // 41
    "\"Middle\"",                                                               // 42
    "21 0.009201 0.500000 15.499997 0.000000 0.000000 0.000000",                // 43
    "1",                                                                        // 44
    "1.000000 0.000000 0.000000 0.000000",                                      // 45
    "1",                                                                        // 46
    "1.000000 0.000000 0.000000 0.000000",                                      // 47
};

const std::vector<std::string> Plain = {
    "Frames: 10",                             // 1
    "Meshes: 1",                              // 2
    "\"Plain\" 0 -1",                         // 3
    "3",                                      // 4
    "0 1 0 0 0 0 -1",                         // 5
    "0 0 1 0 0 0 -1",                         // 6
    "0 0 0 1 0 0 -1",                         // 7
    "1",                                      // 8
    "0 0 1",                                  // 9
    "1",                                      // 10
    "0 0 1 2 0 0 0 1",                        // 11
    "Materials: 1",                           // 12
    "\"Mat\"",                                // 13
    "0.1 0.2 0.3 1",                          // 14
    "0.4 0.5 0.6 1",                          // 15
    "0.7 0.8 0.9 1",                          // 16
    "0 0 0 1",                                // 17
    "12.5",                                   // 18
    "0.5",                                    // 19
    "\"\"",                                   // 20
    "\"alpha.bmp\"",                          // 21
    "Bones: 1",                               // 22
    "\"Root\"",                               // 23
    "\"\"",                                   // 24
    "0 0 0 0 0 0 0",                          // 25
    "1",                                      // 26
    "1 0 0 0",                                // 27
    "1",                                      // 28
    "1 0 0 0",                                // 29
};

std::string Join(const std::vector<std::string>& Lines, const std::string& End, std::size_t Count) {
  std::string Text;
  for (std::size_t I = 0; I < Lines.size() && I < Count; ++I) Text += Lines[I] + End;
  return Text;
}

std::vector<std::string> Replaced(std::vector<std::string> Lines, const std::string& From,
                                  const std::string& To, int* Line) {
  for (std::size_t I = 0; I < Lines.size(); ++I)
    if (Lines[I] == From) {
      Lines[I] = To;
      if (Line) *Line = int(I) + 1;
      return Lines;
    }
  ADD_FAILURE() << "no line " << From;
  return Lines;
}

bool Load(TModel& Model, const std::string& Text, std::string* Path, TMipmaps Mipmaps) {
  TTempDir Dir;
  const std::string File = Dir.Write("model.txt", Text);
  if (Path) *Path = File;
  return Model.LoadFromFile(File, Mipmaps);
}

std::vector<std::uint8_t> Bmp(int Width, int Height, std::uint8_t R, std::uint8_t G,
                              std::uint8_t B) {
  const std::uint32_t Stride = (std::uint32_t(Width) * 3 + 3) & ~3u, Size = Stride * Height;
  std::vector<std::uint8_t> Out = {'B', 'M'};
  for (std::uint32_t Field : {54 + Size, 0u, 54u, 40u, std::uint32_t(Width), std::uint32_t(Height)})
    PutU32(Out, Field);
  PutU16(Out, 1);
  PutU16(Out, 24);
  for (std::uint32_t Field : {0u, Size, 2835u, 2835u, 0u, 0u}) PutU32(Out, Field);
  for (int Y = 0; Y < Height; ++Y) {
    for (int X = 0; X < Width; ++X) Out.insert(Out.end(), {B, G, R});
    Out.resize(Out.size() + Stride - std::uint32_t(Width) * 3);
  }
  return Out;
}

TDataFolder::TDataFolder(const std::filesystem::path& Folder) {
  if (const char* Old = std::getenv("VADREL_DATA")) Previous = Old;
  setenv("VADREL_DATA", Folder.c_str(), 1);
}

TDataFolder::~TDataFolder() {
  if (Previous)
    setenv("VADREL_DATA", Previous->c_str(), 1);
  else
    unsetenv("VADREL_DATA");
}

TCausticData::TCausticData() {
  for (int K = 0; K < 32; ++K)
    Dir.Write("Vadrel" + std::to_string(100 + K) + ".bmp", Bmp(2, 2, 128, 128, 128));
}
