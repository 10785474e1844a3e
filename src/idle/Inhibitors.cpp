#include "Inhibitors.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace {

bool Mentions(const std::string& Lower, std::initializer_list<std::string_view> Words) {
  return std::any_of(Words.begin(), Words.end(),
                     [&](std::string_view Word) { return Lower.find(Word) != std::string::npos; });
}

}  // namespace

bool HoldsOffSaver(std::string_view Reason) {
  std::string Lower(Reason);
  std::transform(Lower.begin(), Lower.end(), Lower.begin(),
                 [](unsigned char C) { return char(std::tolower(C)); });
  const bool Sound = Mentions(Lower, {"audio", "music", "sound", "song", "podcast", "radio"});
  const bool Pictures =
      Mentions(Lower, {"video", "movie", "film", "picture", "presentation", "slide", "screen",
                       "call", "meeting", "game", "display"});
  return !Sound || Pictures;
}
