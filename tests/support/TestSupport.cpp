#include "TestSupport.h"

#include <SDL.h>
#include <GL/gl.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

TGLTestContext::TGLTestContext(int Width, int Height) : W(Width), H(Height) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);  // unless the caller picked a driver
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    Reason = SDL_GetError();
    return;
  }
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_Window* Win = SDL_CreateWindow("test", 0, 0, Width, Height,
                                     SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!Win) {
    Reason = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return;
  }
  SDL_GLContext Ctx = SDL_GL_CreateContext(Win);
  if (!Ctx || SDL_GL_MakeCurrent(Win, Ctx) != 0) {
    Reason = SDL_GetError();
    if (Ctx) SDL_GL_DeleteContext(Ctx);
    SDL_DestroyWindow(Win);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return;
  }
  Window = Win;
  Context = Ctx;
  glViewport(0, 0, Width, Height);
}

TGLTestContext::~TGLTestContext() {
  if (!Context) return;
  SDL_GL_MakeCurrent(static_cast<SDL_Window*>(Window), nullptr);
  SDL_GL_DeleteContext(static_cast<SDL_GLContext>(Context));
  SDL_DestroyWindow(static_cast<SDL_Window*>(Window));
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

std::vector<std::uint8_t> TGLTestContext::ReadPixels() const {
  std::vector<std::uint8_t> Pixels(std::size_t(W) * H * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, Pixels.data());
  return Pixels;
}

TMessageCapture::TMessageCapture() {
  Previous = SetMessageSink([this](const std::string& Text, const std::string& Caption) {
    Messages.push_back({Text, Caption});
  });
  PreviousDiagnostics =
      SetDiagnosticSink([this](const std::string& Text) { Diagnostics.push_back(Text); });
}

TMessageCapture::~TMessageCapture() {
  SetMessageSink(std::move(Previous));
  SetDiagnosticSink(std::move(PreviousDiagnostics));
}

TTempDir::TTempDir() {
  static std::atomic<int> Counter{0};
  Root = std::filesystem::temp_directory_path() /
         ("vadrel-test-" + std::to_string(getpid()) + "-" + std::to_string(Counter++));
  std::filesystem::remove_all(Root);
  std::filesystem::create_directories(Root);
}

TTempDir::~TTempDir() {
  std::error_code Ignored;
  std::filesystem::remove_all(Root, Ignored);
}

std::string TTempDir::Write(const std::string& Name, const std::vector<std::uint8_t>& Bytes) const {
  const std::filesystem::path Full = Root / Name;
  std::filesystem::create_directories(Full.parent_path());
  std::ofstream Out(Full, std::ios::binary);
  Out.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
  return Full.string();
}

std::string TTempDir::Write(const std::string& Name, const std::string& Text) const {
  return Write(Name, std::vector<std::uint8_t>(Text.begin(), Text.end()));
}

TChangeDir::TChangeDir(const std::filesystem::path& To)
    : Previous(std::filesystem::current_path()) {
  std::filesystem::current_path(To);
}

TChangeDir::~TChangeDir() {
  std::error_code Ignored;
  std::filesystem::current_path(Previous, Ignored);
}

TScopedEnv::TScopedEnv(const char* AName, const char* Value) : Name(AName) {
  if (const char* Old = std::getenv(AName)) {
    HadValue = true;
    Saved = Old;
  }
  if (Value)
    setenv(AName, Value, 1);
  else
    unsetenv(AName);
}

TScopedEnv::~TScopedEnv() {
  if (HadValue)
    setenv(Name.c_str(), Saved.c_str(), 1);
  else
    unsetenv(Name.c_str());
}

namespace {

struct TProcessStat {
  char State = 0;  // 'Z' for a zombie
  pid_t Parent = 0;
};

// From /proc/<Pid>/stat ("pid (name) state ppid ...", the name may hold spaces and parentheses);
// nothing when the process is gone.
std::optional<TProcessStat> ReadProcessStat(const std::string& Pid) {
  std::ifstream In("/proc/" + Pid + "/stat");
  std::string Line;
  if (!std::getline(In, Line) || Line.rfind(')') == std::string::npos) return std::nullopt;
  std::istringstream Rest(Line.substr(Line.rfind(')') + 1));
  TProcessStat Stat;
  if (!(Rest >> Stat.State >> Stat.Parent)) return std::nullopt;
  return Stat;
}

}  // namespace

bool Alive(pid_t Pid) {
  const std::optional<TProcessStat> Stat = ReadProcessStat(std::to_string(Pid));
  return Pid > 0 && Stat && Stat->State != 'Z';
}

std::vector<pid_t> ChildrenOf(pid_t Parent, bool Zombies) {
  std::vector<pid_t> Found;
  std::error_code Ignored;
  for (const auto& Entry : std::filesystem::directory_iterator("/proc", Ignored)) {
    const std::string Name = Entry.path().filename();
    if (Name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::optional<TProcessStat> Stat = ReadProcessStat(Name);
    if (Stat && Stat->Parent == Parent && (Zombies || Stat->State != 'Z'))
      Found.push_back(std::stoi(Name));
  }
  return Found;
}

std::filesystem::path CorpusDir() {
  const std::filesystem::path Dir = VADREL_CORPUS_DIR;
  std::error_code Ignored;
  return std::filesystem::is_directory(Dir, Ignored) ? Dir : std::filesystem::path();
}

void PutU8(std::vector<std::uint8_t>& Out, unsigned Value) { Out.push_back(std::uint8_t(Value)); }

void PutU16(std::vector<std::uint8_t>& Out, unsigned Value) {
  Out.push_back(std::uint8_t(Value));
  Out.push_back(std::uint8_t(Value >> 8));
}

void PutU32(std::vector<std::uint8_t>& Out, std::uint32_t Value) {
  for (int I = 0; I < 4; ++I) Out.push_back(std::uint8_t(Value >> (8 * I)));
}
