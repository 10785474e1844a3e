#include <gtest/gtest.h>  // before Xlib, whose macros clash with its names
#include "Headless.h"  // before Xlib, whose Window type its names would shadow
#include "Desktop.h"
#include "Strays.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <png.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern "C" char** environ;

namespace {

std::vector<std::string> Environment(const std::vector<std::string>& Overrides) {
  std::vector<std::string> Env;
  for (char** E = environ; *E; ++E) Env.emplace_back(*E);
  for (const std::string& O : Overrides) {
    const std::string Name = O.substr(0, O.find('='));
    std::erase_if(Env, [&](const std::string& V) { return V.rfind(Name + "=", 0) == 0; });
    if (O.find('=') != std::string::npos) Env.push_back(O);
  }
  return Env;
}

// In the child: never outlive a test killed by its time limit, lead a group of its own (so that
// whatever it starts ends with it), stderr to the file, then become User and run Program.
[[noreturn]] void Exec(const std::string& Program, std::vector<std::string>& Arguments,
                       std::vector<std::string>& Env, const std::string& StderrPath,
                       const TProcess::TSetting& Setting) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  setpgid(0, 0);
  const int Fd = open(StderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(Fd, 2);
  // stdout to a file beside it: a daemon it starts would otherwise hold the test's output open.
  const std::string Out = StderrPath.substr(0, StderrPath.rfind('/')) + "/stdout.txt";
  dup2(open(Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
  const auto& User = Setting.User;
  if (User && (setgroups(0, nullptr) != 0 || setgid(User->Gid) != 0 || setuid(User->Uid) != 0))
    _exit(126);
  if (!Setting.Folder.empty() && chdir(Setting.Folder.c_str()) != 0) _exit(126);
  std::vector<char*> EnvP, Argv = {const_cast<char*>(Program.c_str())};
  for (std::string& V : Env) EnvP.push_back(V.data());
  EnvP.push_back(nullptr);
  for (std::string& A : Arguments) Argv.push_back(A.data());
  Argv.push_back(nullptr);
  execvpe(Program.c_str(), Argv.data(), EnvP.data());
  _exit(127);
}

}  // namespace

bool SaverWithin(TProcess& Watcher, Clock::duration For) {
  return WaitFor([&] { return !ChildrenOf(Watcher.Id()).empty(); }, For);
}

Clock::duration QuietSpan(Clock::duration Took) {
  return std::max(2 * IdlePeriod, Took + IdlePeriod);
}

std::filesystem::path ProgramOf(pid_t Pid) {
  std::error_code Error;
  return std::filesystem::read_symlink("/proc/" + std::to_string(Pid) + "/exe", Error);
}

TProcess::TProcess(const std::string& Program, std::vector<std::string> Arguments,
                   TSetting Setting) {
  std::vector<std::string> Env = Environment(Setting.Overrides);
  StderrPath = (Scratch.Path() / "stderr.txt").string();
  AdoptOrphans();  // whatever it leaves behind ends with the test
  Pid = fork();
  if (Pid == 0) Exec(Program, Arguments, Env, StderrPath, Setting);
}

TProcess::~TProcess() {
  // Asked first, so that a server removes its lock file and socket; then made to.
  if (Running()) {
    kill(Pid, SIGTERM);
    if (WaitForExit(std::chrono::seconds(3)) < 0) {
      kill(Pid, SIGKILL);
      int WaitStatus;
      waitpid(Pid, &WaitStatus, 0);
    }
  }
  kill(-Pid, SIGKILL);  // what it left behind would hold the test runner's output open
}

bool TProcess::Running() {
  if (Exited) return false;
  int WaitStatus = 0;
  if (waitpid(Pid, &WaitStatus, WNOHANG) == Pid) {
    Exited = true;
    ExitCode = WIFEXITED(WaitStatus) ? WEXITSTATUS(WaitStatus) : 128 + WTERMSIG(WaitStatus);
  }
  return !Exited;
}

int TProcess::WaitForExit(Clock::duration Timeout) {
  const auto End = Clock::now() + Timeout;
  while (Running() && Clock::now() < End)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return Running() ? -1 : ExitCode;
}

std::string TProcess::Stderr() const {
  std::ifstream In(StderrPath);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

int RunToEnd(const std::string& Program, std::vector<std::string> Arguments,
             TProcess::TSetting Setting, std::string& Errors, Clock::duration Timeout) {
  TProcess P(Program, std::move(Arguments), std::move(Setting));
  const int Code = P.WaitForExit(Timeout);
  Errors = P.Stderr();
  return Code;
}

namespace {

// Processor seconds (user and system) process Pid has used so far; -1 when it cannot be read.
double ProcessorSeconds(pid_t Pid) {
  std::ifstream In("/proc/" + std::to_string(Pid) + "/stat");
  const std::string Stat((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  // The command name, in parentheses, may hold spaces: the fields are counted after it, from the
  // third (the state); user and system time are the 14th and 15th.
  const std::size_t NameEnd = Stat.rfind(')');
  if (NameEnd == std::string::npos) return -1;
  std::istringstream Fields(Stat.substr(NameEnd + 1));
  std::string Field;
  double Ticks = 0;
  for (int Number = 3; Number <= 15 && Fields >> Field; ++Number)
    if (Number >= 14) Ticks += std::stod(Field);
  return Ticks / double(sysconf(_SC_CLK_TCK));
}

}  // namespace

double CoreShare(pid_t Pid, Clock::duration Span) {
  const double Before = ProcessorSeconds(Pid);
  const auto Start = Clock::now();
  std::this_thread::sleep_for(Span);
  const double After = ProcessorSeconds(Pid);
  if (Before < 0 || After < 0) return -1;
  return (After - Before) / std::chrono::duration<double>(Clock::now() - Start).count();
}

bool WaitUntilResting(pid_t Pid, Clock::duration Timeout) {
  return WaitFor([&] {
    const double Share = CoreShare(Pid, std::chrono::milliseconds(500));
    return Share >= 0 && Share < 0.03;
  }, Timeout, {});
}

double TPicture::Mean(int Row0, int Row1, int Channel) const {
  double Sum = 0;
  for (int Y = Row0; Y < Row1; ++Y)
    for (int X = 0; X < Width; ++X) Sum += At(X, Y)[std::size_t(Channel)];
  return Sum / (double(Row1 - Row0) * Width);
}

TPicture TPicture::Part(int X, int Y, int PartWidth, int PartHeight) const {
  TPicture P;
  P.Width = PartWidth;
  P.Height = PartHeight;
  for (int Row = Y; Row < Y + PartHeight; ++Row)
    for (int Column = X; Column < X + PartWidth; ++Column) P.Rgb.push_back(At(Column, Row));
  return P;
}

TPicture Capture(Display* D, Window W) {
  XWindowAttributes A{};
  TPicture P;
  if (!XGetWindowAttributes(D, W, &A)) return P;
  XImage* Image = XGetImage(D, W, 0, 0, unsigned(A.width), unsigned(A.height), AllPlanes, ZPixmap);
  if (!Image) return P;
  const auto Channel = [](unsigned long Pixel, unsigned long Bits) {
    int Shift = 0;
    while (Bits && !(Bits & 1)) {
      Bits >>= 1;
      ++Shift;
    }
    return Bits ? int(((Pixel >> Shift) & Bits) * 255 / Bits) : 0;
  };
  P.Width = A.width;
  P.Height = A.height;
  for (int Y = 0; Y < P.Height; ++Y)
    for (int X = 0; X < P.Width; ++X) {
      const unsigned long Pixel = XGetPixel(Image, X, Y);
      P.Rgb.push_back({Channel(Pixel, Image->red_mask), Channel(Pixel, Image->green_mask),
                       Channel(Pixel, Image->blue_mask)});
    }
  XDestroyImage(Image);
  return P;
}

namespace {

// Window W's pixels (Part of them when Part has a width) as the server has them, or nothing when
// they cannot be read (the window gone or not shown).
std::string Pixels(Display* D, Window W, TRect Part) {
  XWindowAttributes A{};
  if (!XGetWindowAttributes(D, W, &A) || A.map_state != IsViewable) return {};
  if (Part.Width <= 0) Part = {0, 0, A.width, A.height};
  XImage* Image = XGetImage(D, W, Part.X, Part.Y, unsigned(Part.Width), unsigned(Part.Height),
                            AllPlanes, ZPixmap);
  if (!Image) return {};
  std::string Bytes(Image->data, std::size_t(Image->bytes_per_line) * std::size_t(Image->height));
  XDestroyImage(Image);
  return Bytes;
}

}  // namespace

bool WaitForFrames(Display* D, Window W, int Count, Clock::duration Timeout, TRect Part) {
  // A window that goes meanwhile ends the wait, not the test process, as Xlib's default handler
  // would.
  const auto Previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  std::string Last = Pixels(D, W, Part);
  int Changes = 0;
  for (const auto End = Clock::now() + Timeout; !Last.empty() && Changes < Count &&
                                                Clock::now() < End;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::string Now = Pixels(D, W, Part);
    if (Now != Last) ++Changes;
    Last = std::move(Now);
  }
  XSetErrorHandler(Previous);
  return Changes >= Count && !Last.empty();
}

void SavePicture(const TPicture& P, const std::string& File) {
  std::vector<std::uint8_t> Rgba;  // bottom row first, as WritePng takes it
  for (int Y = P.Height; Y-- > 0;)
    for (int X = 0; X < P.Width; ++X) {
      const auto& C = P.At(X, Y);
      Rgba.insert(Rgba.end(), {std::uint8_t(C[0]), std::uint8_t(C[1]), std::uint8_t(C[2]), 255});
    }
  std::string Error;
  WritePng(File, P.Width, P.Height, Rgba, Error);
}

TPicture ReadPicture(const std::string& File) {
  png_image Image{};
  Image.version = PNG_IMAGE_VERSION;
  TPicture P;
  if (!png_image_begin_read_from_file(&Image, File.c_str())) return P;
  Image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> Rgb(PNG_IMAGE_SIZE(Image));
  if (!png_image_finish_read(&Image, nullptr, Rgb.data(), 0, nullptr)) return P;
  P.Width = int(Image.width);
  P.Height = int(Image.height);
  for (std::size_t I = 0; I + 2 < Rgb.size(); I += 3)
    P.Rgb.push_back({Rgb[I], Rgb[I + 1], Rgb[I + 2]});
  return P;
}

int DarkPixels(const TPicture& P) {
  int Dark = 0;
  for (int Y = P.Height / 2; Y < P.Height; ++Y) {
    const double RowRed = P.Mean(Y, Y + 1, 0);
    for (int X = 0; X < P.Width; ++X) Dark += P.At(X, Y)[0] < RowRed * 0.5;
  }
  return Dark;
}

bool ShowsFish(const TPicture& P) { return DarkPixels(P) > P.Width * P.Height / 2500; }

std::string WhatTheSceneLacks(const TPicture& P) {
  if (P.Width <= 0 || P.Height <= 0) return "no picture";
  const int H = P.Height;
  if (P.Mean(0, H / 10, 2) <= P.Mean(0, H / 10, 0) + 40) return "blue water at the top";
  // A panel or a border along the bottom would darken these rows.
  if (P.Mean(H - std::max(H / 50, 2), H, 0) <= 90) return "sand down to the bottom row";
  if (!ShowsFish(P)) return "fish on the sand";
  return {};
}

TXServer::TXServer(const std::string& Program, std::vector<std::string> Arguments,
                   TProcess::TSetting Setting) {
  // The server writes its display number to the pipe once it takes clients. Only the write end
  // is left open across exec, and only this server is started while it is open.
  int Pipe[2];
  if (pipe2(Pipe, O_CLOEXEC) != 0 || fcntl(Pipe[1], F_SETFD, 0) != 0) {
    Why = "no pipe for the display number";
    return;
  }
  Arguments.insert(Arguments.begin(), {"-displayfd", std::to_string(Pipe[1])});
  Server.emplace(Program, std::move(Arguments), std::move(Setting));
  close(Pipe[1]);
  std::string Number;
  pollfd Ready{Pipe[0], POLLIN, 0};
  char Bytes[16];
  for (const auto End = Clock::now() + std::chrono::seconds(20); !Number.ends_with('\n');) {
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(End - Clock::now());
    if (Left.count() <= 0 || poll(&Ready, 1, int(Left.count())) <= 0) break;
    const ssize_t Got = read(Pipe[0], Bytes, sizeof Bytes);
    if (Got <= 0) break;  // the server ended
    Number.append(Bytes, std::size_t(Got));
  }
  close(Pipe[0]);
  if (Number.ends_with('\n')) {
    DisplayName = ':' + Number.substr(0, Number.size() - 1);
    D = XOpenDisplay(DisplayName.c_str());
  }
  if (!D) Why = Program + " did not start: " + Server->Stderr();
}

TXServer::~TXServer() { Disconnect(); }

void TXServer::Disconnect() {
  if (D) XCloseDisplay(D);
  D = nullptr;
}

TProcess::TSetting TXServer::On(std::vector<std::string> Extra) const {
  Extra.insert(Extra.begin(), {"DISPLAY=" + DisplayName, "WAYLAND_DISPLAY"});
  return {Extra, {}, {}};
}

TXvfb::TXvfb(const std::string& Size)
    : TXServer("Xvfb", {"-screen", "0", Size, "-noreset", "-nolisten", "tcp"}) {}

namespace {

// Xorg with the dummy video driver, its screen up to Width x Height: monitors that are RandR
// outputs, as on a real desktop, one of 1280x800 at the start. The portrait mode is added at run
// time (the dummy driver cannot rotate).
std::string DummyXorgConfig(int Width, int Height) {
  std::string Config = R"(Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0 - 1000.0
  VertRefresh 5.0 - 200.0
  Modeline "1280x800" 83.50 1280 1352 1480 1680 800 803 809 831 -hsync +vsync
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes "1280x800"
    Virtual @WIDTH@ @HEIGHT@
  EndSubSection
EndSection
)";
  Config.replace(Config.find("@WIDTH@"), 7, std::to_string(Width));
  Config.replace(Config.find("@HEIGHT@"), 8, std::to_string(Height));
  return Config;
}

}  // namespace

TDummyXorg::TDummyXorg(int Width, int Height, int Monitors) {
  if (!std::filesystem::exists("/usr/lib/xorg/Xorg")) {
    Why = "no Xorg";
    return;
  }
  std::ofstream(Scratch.Path() / "xorg.conf") << DummyXorgConfig(Width, Height);
  // The configuration's name is relative: Xorg takes no other from a user who is not root.
  Server.emplace("/usr/lib/xorg/Xorg",
                 std::vector<std::string>{"-config", "xorg.conf", "-noreset", "-nolisten", "tcp",
                                          "-logfile", (Scratch.Path() / "Xorg.log").string()},
                 TProcess::TSetting{{}, {}, Scratch.Path().string()});
  if (!(Why = Server->Failure()).empty()) return;
  Display* D = Server->Connection();
  std::string Errors;
  RunToEnd("xrandr", {"--newmode", "800x1280", "83.50", "800", "848", "880", "960", "1280", "1283",
                      "1290", "1300", "-hsync", "+vsync"}, On(), Errors);
  for (int I = 1; I < Monitors && Why.empty(); ++I)
    Why = Set("DUMMY" + std::to_string(I), "1280x800",
              {"--right-of", "DUMMY" + std::to_string(I - 1)});
  if (!Why.empty()) return;
  Why = StartOpenbox(WindowManager, D, On());
}

std::vector<Window> RootWindows(Display* D, const char* Name) {
  Atom Type = None;
  int Format = 0;
  unsigned long Count = 0, After = 0;
  unsigned char* Data = nullptr;
  XGetWindowProperty(D, DefaultRootWindow(D), XInternAtom(D, Name, False), 0, 1024, False,
                     XA_WINDOW, &Type, &Format, &Count, &After, &Data);
  std::vector<Window> Windows;
  if (Data && Format == 32)
    Windows.assign(reinterpret_cast<Window*>(Data), reinterpret_cast<Window*>(Data) + Count);
  if (Data) XFree(Data);
  return Windows;
}

std::string StartOpenbox(std::optional<TProcess>& Manager, Display* D, TProcess::TSetting On) {
  Manager.emplace("openbox", std::vector<std::string>{}, std::move(On));
  if (WaitFor([&] { return !RootWindows(D, "_NET_SUPPORTING_WM_CHECK").empty(); },
              std::chrono::seconds(20)))
    return {};
  return "openbox did not start: " + Manager->Stderr();
}

TDummyXorg::~TDummyXorg() { WindowManager.reset(); }

std::string TDummyXorg::Set(const std::string& Output, const std::string& Mode,
                            std::vector<std::string> Placement) {
  std::string Errors;
  std::vector<std::string> Arguments = {"--output", Output};
  if (Mode.empty()) {
    Arguments.push_back("--off");
  } else {
    RunToEnd("xrandr", {"--addmode", Output, Mode}, On(), Errors);
    Arguments.insert(Arguments.end(), {"--mode", Mode});
    Arguments.insert(Arguments.end(), Placement.begin(), Placement.end());
  }
  if (RunToEnd("xrandr", Arguments, On(), Errors) != 0)
    return Errors.empty() ? "xrandr failed" : Errors;
  // A full query, as a display settings tool makes: the dummy driver reports a new output as
  // connected only once it is asked again.
  RunToEnd("xrandr", {}, On(), Errors);
  return {};
}

std::vector<TRect> TDummyXorg::Monitors() const {
  Display* D = Connection();
  std::vector<TRect> Rects;
  int Count = 0;
  XRRMonitorInfo* Infos = XRRGetMonitors(D, DefaultRootWindow(D), True, &Count);
  for (int I = 0; I < Count; ++I)
    Rects.push_back({Infos[I].x, Infos[I].y, Infos[I].width, Infos[I].height});
  if (Infos) XRRFreeMonitors(Infos);
  return Rects;
}

std::string TDummyXorg::WhatTheMonitorsLack(const std::string& Shot) {
  Display* D = Connection();
  const TPicture Root = Capture(D, DefaultRootWindow(D));
  for (const TRect& M : Monitors()) {
    std::string Lack = "its picture";
    if (M.X + M.Width <= Root.Width && M.Y + M.Height <= Root.Height)
      Lack = WhatTheSceneLacks(Root.Part(M.X, M.Y, M.Width, M.Height));
    // On a portrait monitor the whole school may swim above the lower half, where fish are
    // looked for: water and sand tell the scene there.
    if (M.Height > M.Width && Lack == "fish on the sand") Lack.clear();
    if (!Lack.empty()) {
      SavePicture(Root, ::testing::TempDir() + Shot + ".png");
      return "the monitor at " + std::to_string(M.X) + "," + std::to_string(M.Y) + " (" +
             std::to_string(M.Width) + "x" + std::to_string(M.Height) + ") lacks " + Lack;
    }
  }
  return {};
}

std::vector<Window> TDummyXorg::ClientsNamed(const std::string& Title) const {
  Display* D = Connection();
  std::vector<Window> Found;
  for (const Window Client : RootWindows(D, "_NET_CLIENT_LIST")) {
    char* Named = nullptr;
    if (XFetchName(D, Client, &Named) && Named && Title == Named) Found.push_back(Client);
    if (Named) XFree(Named);
  }
  return Found;
}
