#include "Platform.h"

#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The platform layer's own state: everything here is process-wide by nature (one message seam,
// one clock) and reached only through the functions of this module.
struct TPlatformState {
  TMessageSink MessageSink;
  TDiagnosticSink DiagnosticSink;
  bool MessageBoxesAvailable = false;
  bool CounterAvailable = true;
  std::function<std::uint32_t()> Milliseconds;
  std::function<std::int64_t()> Counter;
};

TPlatformState& State() {
  static TPlatformState Instance;
  return Instance;
}

// Read by the stop-signal handler, hence plain flags rather than members of the state.
volatile std::sig_atomic_t StopSignalled = 0;
volatile std::sig_atomic_t MessageBoxUp = 0;
pid_t MessageBoxOwner = 0;

// SDL draws the box in a child process it forks; that child must end with us, or a stopped
// program would leave its box on the screen with no one behind it. (The child inherits the flag,
// so a stop signal sent to it alone ends it too.)
extern "C" void OnForkForMessageBox() {
  if (!MessageBoxUp) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != MessageBoxOwner) _exit(1);  // we ended before the line above took effect
}

struct TFileCloser {
  void operator()(std::FILE* File) const { std::fclose(File); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

}  // namespace

// ---- Messages -------------------------------------------------------------------------------

void ShowMessage(const std::string& Text, const std::string& Caption) {
  TPlatformState& S = State();
  if (S.MessageSink) {
    S.MessageSink(Text, Caption);
    return;
  }
  // The line goes to stderr first in every case: a box may be ended by a stop signal before
  // anyone reads it, and the log of whoever started the program keeps it.
  std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
  std::fflush(stderr);
  if (!S.MessageBoxesAvailable) return;
  // A stop signal while the box is up ends the process there (see OnStopSignal): the box's own
  // loop would wait for a click that, under a screen-saver daemon or a session ending, never comes.
  static const bool WatchForks = pthread_atfork(nullptr, nullptr, OnForkForMessageBox) == 0;
  (void)WatchForks;
  MessageBoxOwner = getpid();
  MessageBoxUp = 1;
  if (!StopRequested())
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, Caption.c_str(), Text.c_str(), nullptr);
  MessageBoxUp = 0;
}

void ShowDiagnostic(const std::string& Text) {
  TPlatformState& S = State();
  if (S.DiagnosticSink) {
    S.DiagnosticSink(Text);
    return;
  }
  std::fprintf(stderr, "vadrel: %s\n", Text.c_str());
  std::fflush(stderr);
}

void ShowText(const std::string& Text) {
  std::fputs(Text.c_str(), stdout);
  std::fflush(stdout);
}

TMessageSink SetMessageSink(TMessageSink Sink) {
  TMessageSink Previous = std::move(State().MessageSink);
  State().MessageSink = std::move(Sink);
  return Previous;
}

TDiagnosticSink SetDiagnosticSink(TDiagnosticSink Sink) {
  TDiagnosticSink Previous = std::move(State().DiagnosticSink);
  State().DiagnosticSink = std::move(Sink);
  return Previous;
}

void SetMessageBoxesAvailable(bool Available) { State().MessageBoxesAvailable = Available; }

// ---- Files and the data folder --------------------------------------------------------------

namespace {

// The folder of the running program, from /proc/self/exe (links resolved); empty when unknown.
std::string ProgramFolder() {
  char Path[4096];
  const ssize_t Length = readlink("/proc/self/exe", Path, sizeof Path - 1);
  if (Length <= 0) return {};
  const std::string Program(Path, std::size_t(Length));
  return Program.substr(0, Program.rfind('/'));
}

}  // namespace

std::string DataFolder() {
  std::string Folder;
  if (const char* Env = std::getenv("VADREL_DATA"); Env && *Env) {
    Folder = Env;
  } else {
    // Beside the program in the build tree; then, relative to the program, where an install under
    // any prefix puts it (the hack in <prefix>/libexec/xscreensaver, or a program in <prefix>/bin);
    // then where this build writes its data and where it would install it.
    const std::string Here = ProgramFolder();
    std::vector<std::string> Candidates;
    if (!Here.empty())
      Candidates = {Here + "/data", Here + "/../../share/vadrel", Here + "/../share/vadrel"};
    Candidates.push_back(VADREL_BUILD_DATA_DIR);
    Folder = VADREL_INSTALL_DATA_DIR;
    for (const std::string& Candidate : Candidates)
      if (FileExists(Candidate + "/Vadrel.pp1")) {
        Folder = Candidate;
        break;
      }
  }
  while (Folder.size() > 1 && Folder.back() == '/') Folder.pop_back();
  return Folder;
}

bool RunFromBuildTree() {
  const std::string Here = ProgramFolder();
  return !Here.empty() && FileExists(Here + "/CMakeCache.txt");
}

std::string MapPath(std::string_view Name) {
  std::string Result;
  if (Name.substr(0, DataPrefix.size()) == DataPrefix) {
    Result = DataFolder() + '/';
    Name.remove_prefix(DataPrefix.size());
  }
  Result += Name;
  std::replace(Result.begin(), Result.end(), '\\', '/');
  return Result;
}

bool FileExists(const std::string& Path) {
  struct stat Info {};
  return stat(Path.c_str(), &Info) == 0 && S_ISREG(Info.st_mode);
}

std::optional<std::string> FolderProblem(const std::string& Path) {
  struct stat Info {};
  if (stat(Path.c_str(), &Info) != 0) return std::strerror(errno);
  if (!S_ISDIR(Info.st_mode)) return std::strerror(ENOTDIR);
  return std::nullopt;
}

bool ReadWholeFile(const std::string& Path, std::vector<std::uint8_t>& Bytes) {
  Bytes.clear();
  TFile File(std::fopen(Path.c_str(), "rb"));
  if (!File) return false;
  std::uint8_t Chunk[65536];
  for (;;) {
    const std::size_t Got = std::fread(Chunk, 1, sizeof Chunk, File.get());
    Bytes.insert(Bytes.end(), Chunk, Chunk + Got);
    if (Got < sizeof Chunk) break;
  }
  if (std::ferror(File.get())) {
    Bytes.clear();
    return false;
  }
  return true;
}

// ---- Configuration file ---------------------------------------------------------------------

std::string UserConfigFile() {
  if (const char* Xdg = std::getenv("XDG_CONFIG_HOME"); Xdg && Xdg[0] == '/')
    return std::string(Xdg) + "/vadrel/Vadrel.ini";
  if (const char* Home = std::getenv("HOME"); Home && *Home)
    return std::string(Home) + "/.config/vadrel/Vadrel.ini";
  return {};
}

// ---- Timing ---------------------------------------------------------------------------------

std::int64_t PerformanceFrequency() {
  if (!State().CounterAvailable) return 0;
  return std::int64_t(SDL_GetPerformanceFrequency());
}

std::int64_t PerformanceCounter() {
  if (State().Counter) return State().Counter();
  return std::int64_t(SDL_GetPerformanceCounter());
}

std::uint32_t MillisecondClock() {
  if (State().Milliseconds) return State().Milliseconds();
  return SDL_GetTicks();
}

void SetPerformanceCounterAvailable(bool Available) { State().CounterAvailable = Available; }

void SetMillisecondClock(std::function<std::uint32_t()> Clock) {
  State().Milliseconds = std::move(Clock);
}

void SetPerformanceCounter(std::function<std::int64_t()> Counter) {
  State().Counter = std::move(Counter);
}

std::uint64_t PeakMemoryBytes() {
  rusage Usage{};
  if (getrusage(RUSAGE_SELF, &Usage) != 0) return 0;
  return std::uint64_t(Usage.ru_maxrss) * 1024;  // kilobytes on Linux
}

// ---- Stopping ---------------------------------------------------------------------------------

namespace {

// With a message box up nothing would look at the flag until someone clicks: the process ends at
// once with the failure code (the box's text is already on stderr).
extern "C" void OnStopSignal(int) {
  StopSignalled = 1;
  if (MessageBoxUp) _exit(1);
}

}  // namespace

void InstallStopSignals() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  struct sigaction Action {};
  Action.sa_handler = OnStopSignal;
  sigemptyset(&Action.sa_mask);
  Action.sa_flags = 0;  // no SA_RESTART: a sleep or a wait returns at once
  sigaction(SIGINT, &Action, nullptr);
  sigaction(SIGTERM, &Action, nullptr);
}

bool StopRequested() { return StopSignalled != 0; }

void SleepUnlessStopped(int Microseconds) {
  // Short slices: a stop is seen within 10 ms even if the signal landed just before the sleep.
  constexpr long Slice = 10000;
  for (long Left = Microseconds; Left > 0 && !StopRequested(); Left -= Slice) {
    const long Now = Left < Slice ? Left : Slice;
    const timespec Wait{0, Now * 1000};
    nanosleep(&Wait, nullptr);
  }
}

// ---- GL entry points and keys ---------------------------------------------------------------

void* GetGLProcAddress(const char* Name) { return SDL_GL_GetProcAddress(Name); }

int VirtualKeyFromSDL(std::int32_t SDLKeyCode) {
  const SDL_Keycode K = SDLKeyCode;
  if (K >= SDLK_a && K <= SDLK_z) return 'A' + (K - SDLK_a);
  if (K >= SDLK_0 && K <= SDLK_9) return '0' + (K - SDLK_0);
  if (K >= SDLK_F1 && K <= SDLK_F12) return 112 + (K - SDLK_F1);
  if (K >= SDLK_KP_1 && K <= SDLK_KP_9) return 97 + (K - SDLK_KP_1);
  switch (K) {
    case SDLK_BACKSPACE: return 8;
    case SDLK_TAB: return 9;
    case SDLK_RETURN: case SDLK_KP_ENTER: return 13;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return 16;
    case SDLK_LCTRL: case SDLK_RCTRL: return 17;
    case SDLK_PAUSE: return 19;
    case SDLK_CAPSLOCK: return 20;
    case SDLK_ESCAPE: return 27;
    case SDLK_SPACE: return 32;
    case SDLK_PAGEUP: return 33;
    case SDLK_PAGEDOWN: return 34;
    case SDLK_END: return 35;
    case SDLK_HOME: return 36;
    case SDLK_LEFT: return 37;
    case SDLK_UP: return 38;
    case SDLK_RIGHT: return 39;
    case SDLK_DOWN: return 40;
    case SDLK_INSERT: return 45;
    case SDLK_DELETE: return 46;
    case SDLK_KP_0: return 96;
    case SDLK_KP_MULTIPLY: return 106;
    case SDLK_KP_PLUS: return 107;
    case SDLK_KP_MINUS: return 109;
    case SDLK_KP_PERIOD: return 110;
    case SDLK_KP_DIVIDE: return 111;
    case SDLK_NUMLOCKCLEAR: return 144;
    case SDLK_SCROLLLOCK: return 145;
    case SDLK_SEMICOLON: return 186;
    case SDLK_EQUALS: return 187;
    case SDLK_COMMA: return 188;
    case SDLK_MINUS: return 189;
    case SDLK_PERIOD: return 190;
    case SDLK_SLASH: return 191;
    case SDLK_BACKQUOTE: return 192;
    case SDLK_LEFTBRACKET: return 219;
    case SDLK_BACKSLASH: return 220;
    case SDLK_RIGHTBRACKET: return 221;
    case SDLK_QUOTE: return 222;
    default: return -1;  // Alt is a system key there and never reaches the key table either.
  }
}
