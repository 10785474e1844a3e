// vadrel_datagen: writes every data file the screen saver ships into one folder.
//   vadrel_datagen <folder>            all assets
//   vadrel_datagen <folder> <asset>... only the named ones (caustics, backdrop, skin, sand,
//                                      creature, terrain, ini, predator, predatorskin), for
//                                      quick tuning
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "DataGen.h"
#include "OptionTable.h"

namespace {

// Every setting of the options table that has a key, at its default: the one home of the
// defaults, written out for the user to read and copy.
void WriteIni(const std::string& Folder) {
  std::string Text = "[Section]\n";
  for (const TOptionSpec& Option : OptionTable())
    if (!Option.IniKey.empty() && Option.Default)
      Text += std::string(Option.IniKey) + "=" + std::to_string(*Option.Default) + "\n";
  datagen::WriteFile(Folder + "/Vadrel.ini", Text);
}

}  // namespace

int main(int Argc, char** Argv) {
  if (Argc < 2) {
    std::fprintf(stderr, "usage: %s <data folder> [asset...]\n", Argv[0]);
    return 2;
  }
  const std::string Folder = Argv[1];
  const std::vector<std::pair<std::string, std::function<void(const std::string&)>>> Assets = {
      {"caustics", datagen::WriteCaustics}, {"backdrop", datagen::WriteBackdrop},
      {"skin", datagen::WriteSkin},         {"sand", datagen::WriteSand},
      {"creature", datagen::WriteCreature}, {"terrain", datagen::WriteTerrain},
      {"ini", WriteIni},
      {"predator", datagen::WritePredator}, {"predatorskin", datagen::WritePredatorSkin}};
  try {
    std::filesystem::create_directories(Folder);
    std::vector<std::string> Wanted(Argv + 2, Argv + Argc);
    for (const std::string& Name : Wanted) {
      bool Known = false;
      for (const auto& A : Assets) Known = Known || A.first == Name;
      if (!Known) {
        std::fprintf(stderr, "vadrel_datagen: unknown asset '%s'\n", Name.c_str());
        return 2;
      }
    }
    for (const auto& [Name, Write] : Assets) {
      bool Selected = Wanted.empty();
      for (const std::string& W : Wanted) Selected = Selected || W == Name;
      if (Selected) Write(Folder);
    }
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "vadrel_datagen: %s\n", Error.what());
    return 1;
  }
  return 0;
}
