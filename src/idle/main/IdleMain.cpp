// The process entry of vadrel-idle, the idle watcher that `vadrel --idle` becomes (by exec) once it
// has worked out its settings:
//   vadrel-idle [--force] SECONDS SAVER [SAVER-ARGUMENT...]
// It links the idle layer alone, without SDL or GL, so that it waits in a few megabytes. The one
// platform service that layer uses, ShowDiagnostic, is defined here with the platform's own
// output ("vadrel: TEXT" on stderr): the platform's source would bring SDL along.
#include "IdleWatcher.h"
#include "Platform.h"

#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

void ShowDiagnostic(const std::string& Text) {
  std::fprintf(stderr, "vadrel: %s\n", Text.c_str());
  std::fflush(stderr);
}

int main(int argc, char** argv) {
  std::vector<std::string> Arguments(argv + 1, argv + argc);
  const bool Force = !Arguments.empty() && Arguments.front() == "--force";
  if (Force) Arguments.erase(Arguments.begin());
  int Seconds = 0;
  const std::string Time = Arguments.empty() ? "" : Arguments[0];
  const auto [End, Error] = std::from_chars(Time.data(), Time.data() + Time.size(), Seconds);
  if (Arguments.size() < 2 || Error != std::errc() || End != Time.data() + Time.size() ||
      Seconds < 1) {
    ShowDiagnostic("vadrel-idle is the idle watcher that vadrel --idle starts; run that instead");
    return 2;
  }
  TSaverCommand Saver{Arguments[1], {Arguments.begin() + 2, Arguments.end()}};
  return WatchSession(Force, Seconds, std::move(Saver));
}
