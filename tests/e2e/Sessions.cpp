#include <gtest/gtest.h>  // before Xlib, whose macros clash with its names

#include "Sessions.h"

#include <systemd/sd-bus.h>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TWaylandSession::TWaylandSession(const std::string& Program, const std::string& Data,
                                 bool RefusesRoot) {
  if (RefusesRoot && getuid() == 0) {
    const passwd* Nobody = getpwnam("nobody");
    if (!Nobody) {
      Why = "no user nobody to run the compositor, which refuses root";
      return;
    }
    User = TProcess::TUser{Nobody->pw_uid, Nobody->pw_gid};
  }
  // The build folder may lie in root's home, where the session's user cannot reach it.
  fs::create_directories(Folder() / "run");
  fs::copy(Program, Folder() / "vadrel");
  fs::copy(Data, Folder() / "data", fs::copy_options::recursive);
  if (User) CopySanitizerFiles();
}

// A sanitized build's suite preloads a library and names a suppressions file, both in the build
// folder, which the session's user may not reach: it gets copies.
void TWaylandSession::CopySanitizerFiles() {
  if (const char* Preload = std::getenv("LD_PRELOAD"); Preload && *Preload) {
    fs::copy(Preload, Folder() / "preload.so");
    Overrides.push_back("LD_PRELOAD=" + (Folder() / "preload.so").string());
  }
  const char* Options = std::getenv("LSAN_OPTIONS");
  const std::string Leaks = Options ? Options : "";
  const std::size_t At = Leaks.find("suppressions=");
  if (At == std::string::npos) return;
  const std::size_t From = At + 13, To = std::min(Leaks.find(':', From), Leaks.size());
  fs::copy(Leaks.substr(From, To - From), Folder() / "sanitize.supp");
  Overrides.push_back("LSAN_OPTIONS=" + Leaks.substr(0, From) +
                      (Folder() / "sanitize.supp").string() + Leaks.substr(To));
}

void TWaylandSession::GiveToUser(const fs::path& Path) const {
  if (!User) return;
  chown(Path.c_str(), User->Uid, User->Gid);
  if (fs::is_directory(Path))
    for (const auto& Entry : fs::recursive_directory_iterator(Path))
      chown(Entry.path().c_str(), User->Uid, User->Gid);
}

std::string TWaylandSession::Copy(const std::string& File) {
  const fs::path To = Folder() / fs::path(File).filename();
  fs::copy(File, To, fs::copy_options::overwrite_existing);
  GiveToUser(To);
  return To.string();
}

void TWaylandSession::AddToEnvironment(std::vector<std::string> Extra) {
  Overrides.insert(Overrides.end(), Extra.begin(), Extra.end());
}

TProcess::TSetting TWaylandSession::Setting(std::vector<std::string> Extra) const {
  const std::string Root = Folder().string();
  std::vector<std::string> All = {"DISPLAY", "SDL_VIDEODRIVER", "HOME=" + Root,
                                  "XDG_RUNTIME_DIR=" + Root + "/run",
                                  "VADREL_DATA=" + Root + "/data"};
  if (!Socket.empty()) All.push_back("WAYLAND_DISPLAY=" + Socket);
  All.insert(All.end(), Overrides.begin(), Overrides.end());
  All.insert(All.end(), Extra.begin(), Extra.end());
  return {All, User, Root};
}

bool TWaylandSession::StartCompositor(const std::string& Compositor,
                                      std::vector<std::string> Arguments,
                                      std::vector<std::string> Environment,
                                      Clock::duration Timeout) {
  GiveToUser(Folder());
  chmod((Folder() / "run").c_str(), 0700);
  const auto Start = Clock::now();
  Server.emplace(Compositor, std::move(Arguments), Setting(std::move(Environment)));
  for (const auto End = Start + Timeout; Socket.empty() && Clock::now() < End && Server->Running();
       std::this_thread::sleep_for(50ms))
    for (const auto& Entry : fs::directory_iterator(Folder() / "run"))
      if (const std::string File = Entry.path().filename();
          File.starts_with("wayland-") && !File.ends_with(".lock"))
        Socket = File;
  Started = Clock::now() - Start;
  if (Socket.empty()) Why = fs::path(Compositor).filename().string() + " did not start: " +
                            Server->Stderr();
  return !Socket.empty();
}

std::string TWaylandSession::FirstMissing(std::initializer_list<const char*> Tools) {
  for (const char* Tool : Tools)
    if (!fs::exists(Tool)) return Tool;
  return {};
}

std::string TWaylandSession::WhatTheOutputsLack() {
  for (const std::string& Output : Outputs()) {
    std::string Errors;
    const TPicture Picture = Capture(Output, Errors);
    if (Picture.Rgb.empty()) return Output + ": no picture: " + Errors;
    if (Picture.Width != 1280 || Picture.Height != 800)
      return Output + " is " + std::to_string(Picture.Width) + "x" +
             std::to_string(Picture.Height) + ", not 1280x800";
    if (const std::string Lack = WhatTheSceneLacks(Picture); !Lack.empty()) {
      SavePicture(Picture, ::testing::TempDir() + Name() + "-" + Output + ".png");
      return Output + " lacks " + Lack;
    }
  }
  return {};
}

std::string TWaylandSession::WhereTheSceneShows() {
  for (const std::string& Output : Outputs()) {
    std::string Errors;
    const TPicture Picture = Capture(Output, Errors);
    if (Picture.Rgb.empty()) return Output + ": no picture: " + Errors;
    if (WhatTheSceneLacks(Picture).empty()) {
      SavePicture(Picture, ::testing::TempDir() + Name() + "-" + Output + ".png");
      return Output + " shows the scene";
    }
  }
  return {};
}

// sway

std::unique_ptr<TSwaySession> TSwaySession::Open(const std::string& Program,
                                                 const std::string& Data, int Count,
                                                 std::string& Missing) {
  return Open(Program, Data, std::vector<TSwayOutput>(std::size_t(Count)), Missing);
}

std::unique_ptr<TSwaySession> TSwaySession::Open(const std::string& Program,
                                                 const std::string& Data,
                                                 std::vector<TSwayOutput> Modes,
                                                 std::string& Missing) {
  Missing = FirstMissing({"/usr/bin/sway", "/usr/bin/swaymsg", "/usr/bin/grim", "/usr/bin/wtype"});
  if (!Missing.empty()) return nullptr;
  return std::make_unique<TSwaySession>(Program, Data, std::move(Modes));
}

TSwaySession::TSwaySession(const std::string& Program, const std::string& Data, int Outputs)
    : TSwaySession(Program, Data, std::vector<TSwayOutput>(std::size_t(Outputs))) {}

TSwaySession::TSwaySession(const std::string& Program, const std::string& Data,
                           std::vector<TSwayOutput> Modes)
    : TWaylandSession(Program, Data, true), Count(int(Modes.size())) {
  if (!Why.empty()) return;
  std::ofstream Config(Folder() / "sway.config");
  // Side by side in the layout's logical units, which sway takes as the mode over the scale,
  // rounded down.
  int X = 0;
  for (int I = 0; I < Count; ++I) {
    const TSwayOutput& M = Modes[std::size_t(I)];
    Config << "output HEADLESS-" << I + 1 << " resolution " << M.Width << "x" << M.Height
           << " scale " << M.Scale << " position " << X << " 0\n";
    X += int(M.Width / M.Scale);
  }
  Config.close();
  // Its programs see no session bus: a desktop of sway has none to offer them.
  AddToEnvironment({"DBUS_SESSION_BUS_ADDRESS"});
  // -D noscanout: with direct scan-out a full-screen client's buffer is shown as it is, and a
  // picture of the output may then be of a buffer scanned out before, or fail.
  if (!StartCompositor("sway", {"-D", "noscanout", "-c", (Folder() / "sway.config").string()},
                       {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1",
                        "WLR_HEADLESS_OUTPUTS=" + std::to_string(Count)},
                       20s))
    return;
  // Its IPC socket, named after sway's process, is what swaymsg and sway's own tools find in
  // SWAYSOCK, as in the programs sway itself starts.
  std::string Ipc;
  WaitFor([&] {
    for (const auto& Entry : fs::directory_iterator(Folder() / "run"))
      if (Entry.path().filename().string().starts_with("sway-ipc.")) Ipc = Entry.path().string();
    return !Ipc.empty();
  }, 10s);
  if (Ipc.empty()) Why = "sway made no IPC socket";
  AddToEnvironment({"SWAYSOCK=" + Ipc});
}

std::vector<std::string> TSwaySession::Outputs() const {
  std::vector<std::string> Names;
  for (int I = 0; I < Count; ++I) Names.push_back("HEADLESS-" + std::to_string(I + 1));
  return Names;
}

TPicture TSwaySession::Capture(const std::string& Output, std::string& Errors) {
  const std::string Shot = (Folder() / ("shot-" + Output + ".png")).string();
  if (RunToEnd("grim", {"-o", Output, Shot}, Setting(), Errors) != 0) return {};
  return ReadPicture(Shot);
}

bool TSwaySession::Key(const std::string& Key, std::string& Errors) {
  return RunToEnd("wtype", {"-k", Key}, Setting(), Errors) == 0;
}

bool TSwaySession::Activity(Clock::duration For, std::string& Errors) {
  std::vector<std::string> Keys = {"-k", "Shift_L"};
  for (auto Left = For - 1s; Left > Clock::duration::zero(); Left -= 1s)
    Keys.insert(Keys.end(), {"-s", "1000", "-k", "Shift_L"});
  return RunToEnd("wtype", std::move(Keys), Setting(), Errors, For + 20s) == 0;
}

namespace {

// Runs sh with Arguments (-c SCRIPT OUT ...: the script writes its output to the file OUT, which
// keeps it apart from what RunToEnd gathers); Output is that file's text and then the errors.
int RunSwaymsg(std::vector<std::string> Arguments, const TProcess::TSetting& Setting,
               std::string& Output) {
  const std::string Out = Arguments.at(2);
  std::string Errors;
  const int Code = RunToEnd("sh", std::move(Arguments), Setting, Errors);
  std::stringstream Text;
  Text << std::ifstream(Out).rdbuf() << Errors;
  Output = Text.str();
  return Code;
}

}  // namespace

int TSwaySession::Message(std::vector<std::string> Arguments, std::string& Output) {
  const std::string Out = (Folder() / "swaymsg.out").string();
  Arguments.insert(Arguments.begin(), {"-c", "exec swaymsg \"$@\" >\"$0\"", Out});
  return RunSwaymsg(std::move(Arguments), Setting(), Output);
}

bool TSwaySession::Maps(pid_t Client) {
  std::string Tree;
  return Message({"-t", "get_tree"}, Tree) == 0 &&
         Tree.find("\"pid\": " + std::to_string(Client) + ",") != std::string::npos;
}

namespace {

// What follows Value in swaymsg's JSON answer wherever it comes after Key, to the line's end.
std::vector<std::string> ValuesAfter(const std::string& Answer, const std::string& Key,
                                     const std::string& Value) {
  std::vector<std::string> Found;
  for (std::size_t At = Answer.find(Key); At != std::string::npos; At = Answer.find(Key, At)) {
    At = Answer.find(Value, At + Key.size());
    if (At == std::string::npos) break;
    At += Value.size();
    Found.push_back(Answer.substr(At, Answer.find('\n', At) - At));
  }
  return Found;
}

// The first file in Folder whose name starts with Prefix (and is no lock file), as a full path;
// empty when there is none yet.
std::string FirstFile(const fs::path& Folder, const std::string& Prefix) {
  std::error_code Ignored;
  for (const auto& Entry : fs::directory_iterator(Folder, Ignored))
    if (const std::string File = Entry.path().filename();
        File.starts_with(Prefix) && !File.ends_with(".lock"))
      return Entry.path().string();
  return {};
}

}  // namespace

std::unique_ptr<TNestedSwaySession> TNestedSwaySession::Open(const std::string& Program,
                                                             const std::string& Data, int Count,
                                                             std::string& Missing) {
  Missing = FirstMissing({"/usr/bin/sway", "/usr/bin/swaymsg", "/usr/bin/grim", "/usr/bin/wtype"});
  if (!Missing.empty()) return nullptr;
  return std::make_unique<TNestedSwaySession>(Program, Data, Count);
}

TNestedSwaySession::TNestedSwaySession(const std::string& Program, const std::string& Data,
                                       int Count)
    : TWaylandSession(Program, Data, true) {
  if (!Why.empty() || !StartOuter()) return;
  // No borders and no gaps: each inner output is exactly its share of the outer one.
  std::ofstream(Folder() / "inner.config") << "default_border none\n";
  AddToEnvironment({"DBUS_SESSION_BUS_ADDRESS"});
  // Never scanning a client's buffer out directly: a picture is of what it composited.
  if (!StartCompositor("sway", {"-D", "noscanout", "-c", (Folder() / "inner.config").string()},
                       {"WAYLAND_DISPLAY=" + OuterSocket, "WLR_BACKENDS=wayland",
                        "WLR_WL_OUTPUTS=" + std::to_string(Count), "WLR_RENDERER=pixman",
                        "WLR_LIBINPUT_NO_DEVICES=1"},
                       20s))
    return;
  WaitFor([&] { return !(InnerIpc = FirstFile(Folder() / "run", "sway-ipc.")).empty(); }, 10s);
  if (InnerIpc.empty()) Why = "the inner sway made no IPC socket";
  AddToEnvironment({"SWAYSOCK=" + InnerIpc});
  // Each output is first announced at a size of its own, then resized as the outer sway tiles
  // the next: the session is ready once all have their share.
  const auto Shared = [&] {
    std::string Answer;
    if (Outputs().size() != std::size_t(Count) || Message(false, {"-t", "get_outputs"}, Answer))
      return false;
    std::size_t Right = 0;
    for (const std::string& Width : ValuesAfter(Answer, "\"current_mode\": {", "\"width\": "))
      Right += std::atoi(Width.c_str()) == 3840 / Count;
    return Right == std::size_t(Count);
  };
  if (!WaitFor(Shared, 10s))
    Why = "the inner sway did not get its " + std::to_string(Count) + " outputs";
}

TNestedSwaySession::~TNestedSwaySession() {
  EndCompositor();  // before the outer sway it draws into
}

bool TNestedSwaySession::StartOuter() {
  const fs::path Run = Folder() / "outer";
  fs::create_directories(Run);
  chmod(Run.c_str(), 0700);
  std::ofstream(Folder() / "outer.config")
      << "output HEADLESS-1 resolution 3840x800 position 0 0\ndefault_border none\n";
  GiveToUser(Folder());
  OuterSway.emplace("sway", std::vector<std::string>{"-c", (Folder() / "outer.config").string()},
                    Setting({"XDG_RUNTIME_DIR=" + Run.string(), "WAYLAND_DISPLAY",
                             "DBUS_SESSION_BUS_ADDRESS", "WLR_BACKENDS=headless",
                             "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1",
                             "WLR_HEADLESS_OUTPUTS=1"}));
  WaitFor([&] {
    OuterSocket = FirstFile(Run, "wayland-");
    OuterIpc = FirstFile(Run, "sway-ipc.");
    return (!OuterSocket.empty() && !OuterIpc.empty()) || !OuterSway->Running();
  }, 20s);
  if (OuterSocket.empty() || OuterIpc.empty()) Why = "the outer sway did not start: " +
                                                     OuterSway->Stderr();
  return Why.empty();
}

int TNestedSwaySession::Message(bool Outer, std::vector<std::string> Arguments,
                                std::string& Output) const {
  const std::string Out = (Folder() / (Outer ? "outer.out" : "inner.out")).string();
  // sh -c SCRIPT OUT SOCKET ARGUMENTS...: $0 is the output file, $1 the socket.
  const char* Script = "s=\"$1\"; shift; exec swaymsg -s \"$s\" \"$@\" >\"$0\"";
  Arguments.insert(Arguments.begin(), {"-c", Script, Out, Outer ? OuterIpc : InnerIpc});
  return RunSwaymsg(std::move(Arguments), Setting(), Output);
}

std::vector<std::string> TNestedSwaySession::Outputs() const {
  std::string Answer;
  std::vector<std::string> Names;
  if (InnerIpc.empty() || Message(false, {"-t", "get_outputs"}, Answer) != 0) return Names;
  for (const std::string& Name : ValuesAfter(Answer, "\"name\": ", "\""))
    if (Name.starts_with("WL-")) Names.push_back(Name.substr(0, Name.find('"')));
  std::sort(Names.begin(), Names.end());
  return Names;
}

TPicture TNestedSwaySession::Capture(const std::string& Output, std::string& Errors) {
  const std::string Shot = (Folder() / ("shot-" + Output + ".png")).string();
  if (RunToEnd("grim", {"-o", Output, Shot}, Setting(), Errors) != 0) return {};
  return ReadPicture(Shot);
}

bool TNestedSwaySession::Activity(Clock::duration For, std::string& Errors) {
  std::vector<std::string> Keys = {"-k", "Shift_L"};
  for (auto Left = For - 1s; Left > Clock::duration::zero(); Left -= 1s)
    Keys.insert(Keys.end(), {"-s", "1000", "-k", "Shift_L"});
  return RunToEnd("wtype", std::move(Keys), Setting(), Errors, For + 20s) == 0;
}

bool TNestedSwaySession::Unplug(const std::string& Output, std::string& Errors) {
  return Message(true, {"[title=\"wlroots - " + Output + "\"] kill"}, Errors) == 0;
}

bool TNestedSwaySession::Plug(std::string& Errors) {
  return Message(false, {"create_output"}, Errors) == 0;
}

// KWin

namespace {

// A session bus for the test's KWin alone: no services to start, and open to the test's own user
// when KWin's is another.
constexpr const char* BusConfig = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=@BUS@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

// KWin's screen locker would lock this session after its default five idle minutes.
constexpr const char* LockerConfig = "[Daemon]\nAutolock=false\nLockOnResume=false\n";

std::string BusError(const char* What, int Code, const sd_bus_error& Error) {
  return std::string(What) + ": " + (Error.message ? Error.message : std::strerror(-Code));
}

// Everything read from Fd until its writer closes it (or nothing more comes for Quiet).
std::vector<std::uint8_t> ReadAll(int Fd, int QuietMs) {
  std::vector<std::uint8_t> Bytes;
  for (std::uint8_t Block[65536];;) {
    pollfd Wait{Fd, POLLIN, 0};
    if (poll(&Wait, 1, QuietMs) <= 0) break;
    const ssize_t Got = read(Fd, Block, sizeof Block);
    if (Got <= 0) break;
    Bytes.insert(Bytes.end(), Block, Block + Got);
  }
  return Bytes;
}

// The unsigned numbers of a reply's a{sv} (a screenshot's width, height, stride and format).
std::map<std::string, std::uint32_t> Numbers(sd_bus_message* Reply) {
  std::map<std::string, std::uint32_t> Values;
  if (sd_bus_message_enter_container(Reply, 'a', "{sv}") < 0) return Values;
  while (sd_bus_message_enter_container(Reply, 'e', "sv") > 0) {
    const char* Key = nullptr;
    const char* Contents = nullptr;
    std::uint32_t Value = 0;
    if (sd_bus_message_read(Reply, "s", &Key) < 0 ||
        sd_bus_message_peek_type(Reply, nullptr, &Contents) < 0)
      break;
    if (Contents && std::string(Contents) == "u" &&
        sd_bus_message_read(Reply, "v", "u", &Value) >= 0)
      Values[Key] = Value;
    else
      sd_bus_message_skip(Reply, "v");
    sd_bus_message_exit_container(Reply);
  }
  return Values;
}

// Raw pixels in one of Qt's 32-bit image formats as a picture: 4 to 6 are 0xAARRGGBB words
// (little-endian: B, G, R, A in memory), 16 to 18 R, G, B, A bytes.
TPicture FromQtImage(const std::vector<std::uint8_t>& Bytes,
                     const std::map<std::string, std::uint32_t>& Info, std::string& Errors) {
  const auto Get = [&](const char* Key) { return Info.contains(Key) ? Info.at(Key) : 0; };
  const std::uint32_t Width = Get("width"), Height = Get("height"), Stride = Get("stride"),
                      Format = Get("format");
  const bool Bgra = Format >= 4 && Format <= 6, Rgba = Format >= 16 && Format <= 18;
  if (!Bgra && !Rgba) {
    Errors = "pixels in Qt's image format " + std::to_string(Format);
    return {};
  }
  if (Width == 0 || Stride < Width * 4 || Bytes.size() < std::size_t(Stride) * Height) {
    Errors = std::to_string(Bytes.size()) + " bytes for " + std::to_string(Width) + "x" +
             std::to_string(Height) + " pixels";
    return {};
  }
  TPicture P;
  P.Width = int(Width);
  P.Height = int(Height);
  for (std::uint32_t Y = 0; Y < Height; ++Y)
    for (std::uint32_t X = 0; X < Width; ++X) {
      const std::uint8_t* Pixel = &Bytes[std::size_t(Y) * Stride + X * 4];
      P.Rgb.push_back(Bgra ? std::array<int, 3>{Pixel[2], Pixel[1], Pixel[0]}
                           : std::array<int, 3>{Pixel[0], Pixel[1], Pixel[2]});
    }
  return P;
}

}  // namespace

void TKWinSession::TBusClose::operator()(sd_bus* Connection) const {
  sd_bus_flush_close_unref(Connection);
}

std::unique_ptr<TKWinSession> TKWinSession::Open(const std::string& Program,
                                                 const std::string& Data, int Count,
                                                 std::string& Missing) {
  Missing = FirstMissing({"/usr/bin/kwin_wayland", "/usr/bin/dbus-daemon"});
  if (!Missing.empty()) return nullptr;
  return std::make_unique<TKWinSession>(Program, Data, Count);
}

TKWinSession::TKWinSession(const std::string& Program, const std::string& Data, int Outputs)
    : TWaylandSession(Program, Data, false), Count(Outputs) {
  if (!Why.empty()) return;
  fs::create_directories(Folder() / ".config");
  std::ofstream(Folder() / ".config" / "kscreenlockerrc") << LockerConfig;
  const std::string Kwin = Copy("/usr/bin/kwin_wayland");
  if (!StartBus()) return;
  const auto Start = Clock::now();
  if (!StartCompositor(Kwin,
                       {"--virtual", "--width", "1280", "--height", "800", "--output-count",
                        std::to_string(Count), "--socket", "wayland-vadrel"},
                       {"KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1"}, 30s))
    return;
  if (WaitForServices(30s)) Started = Clock::now() - Start;
}

TKWinSession::~TKWinSession() {
  Bus.reset();
  EndCompositor();  // before its bus
}

bool TKWinSession::StartBus() {
  const std::string Path = (Folder() / "bus").string(), Config = (Folder() / "bus.conf").string();
  std::string Text = BusConfig;
  Text.replace(Text.find("@BUS@"), 5, Path);
  std::ofstream(Config) << Text;
  BusDaemon.emplace("dbus-daemon",
                    std::vector<std::string>{"--config-file=" + Config, "--nofork", "--nopidfile"},
                    Setting());
  // Its socket file is there a moment before it listens: the connection is tried until it holds.
  const std::string Address = "unix:path=" + Path;
  int Code = -ENOENT;
  const auto Connect = [&] {
    sd_bus* Connection = nullptr;
    Code = sd_bus_new(&Connection);
    Bus.reset(Connection);
    if (Code >= 0) Code = sd_bus_set_address(Connection, Address.c_str());
    if (Code >= 0) Code = sd_bus_set_bus_client(Connection, 1);
    if (Code >= 0) Code = sd_bus_start(Connection);
    return Code >= 0 || !BusDaemon->Running();
  };
  if (!WaitFor(Connect, 10s) || Code < 0) {
    Why = std::string("cannot connect to KWin's bus: ") + std::strerror(-Code) + "; " +
          BusDaemon->Stderr();
    return false;
  }
  AddToEnvironment({"DBUS_SESSION_BUS_ADDRESS=" + Address});
  return true;
}

// Its socket comes before its bus services: the screenshot effect and the screen saver interface.
bool TKWinSession::WaitForServices(Clock::duration Timeout) {
  const auto Owned = [&](const char* Name) {
    sd_bus_error Error = SD_BUS_ERROR_NULL;
    sd_bus_message* Reply = nullptr;
    int Has = 0;
    if (sd_bus_call_method(Bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "NameHasOwner", &Error, &Reply, "s", Name) >= 0)
      sd_bus_message_read(Reply, "b", &Has);
    sd_bus_error_free(&Error);
    sd_bus_message_unref(Reply);
    return Has != 0;
  };
  if (WaitFor([&] { return Owned("org.kde.KWin.ScreenShot2") &&
                           Owned("org.freedesktop.ScreenSaver"); }, Timeout))
    return true;
  Why = "KWin's screenshot and screen saver services did not come up: " + Compositor().Stderr();
  return false;
}

std::vector<std::string> TKWinSession::Outputs() const {
  std::vector<std::string> Names;
  for (int I = 0; I < Count; ++I) Names.push_back("Virtual-" + std::to_string(I));
  return Names;
}

// KWin writes the raw pixels into a pipe, possibly before it replies: they are read meanwhile.
TPicture TKWinSession::Capture(const std::string& Output, std::string& Errors) {
  int Pipe[2];
  if (pipe2(Pipe, O_CLOEXEC) != 0) return {};
  std::vector<std::uint8_t> Bytes;
  std::thread Reader([&] { Bytes = ReadAll(Pipe[0], 10000); });
  sd_bus_error Error = SD_BUS_ERROR_NULL;
  sd_bus_message* Reply = nullptr;
  const int Code = sd_bus_call_method(Bus.get(), "org.kde.KWin.ScreenShot2",
                                      "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2",
                                      "CaptureScreen", &Error, &Reply, "sa{sv}h", Output.c_str(),
                                      0, Pipe[1]);
  close(Pipe[1]);  // the call sent a copy; KWin's copy closes when it has written all
  Reader.join();
  close(Pipe[0]);
  TPicture Picture;
  if (Code < 0)
    Errors = BusError("CaptureScreen", Code, Error);
  else
    Picture = FromQtImage(Bytes, Numbers(Reply), Errors);
  sd_bus_error_free(&Error);
  sd_bus_message_unref(Reply);
  return Picture;
}

bool TKWinSession::Activity(Clock::duration For, std::string& Errors) {
  for (const auto End = Clock::now() + For;; std::this_thread::sleep_for(1s)) {
    sd_bus_error Error = SD_BUS_ERROR_NULL;
    const int Code = sd_bus_call_method(Bus.get(), "org.freedesktop.ScreenSaver", "/ScreenSaver",
                                        "org.freedesktop.ScreenSaver", "SimulateUserActivity",
                                        &Error, nullptr, "");
    if (Code < 0) Errors = BusError("SimulateUserActivity", Code, Error);
    sd_bus_error_free(&Error);
    if (Code < 0) return false;
    if (Clock::now() + 1s > End) return true;
  }
}
