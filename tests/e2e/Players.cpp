#include "Players.h"

#include "Bus.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void WriteClip(const fs::path& File, int Seconds) {
  constexpr int Width = 160, Height = 120, Rate = 25;
  std::ofstream Out(File, std::ios::binary);
  Out << "YUV4MPEG2 W" << Width << " H" << Height << " F" << Rate << ":1 Ip A1:1 C420jpeg\n";
  std::string Luma(std::size_t(Width * Height), '\0');
  const std::string Chroma(std::size_t(Width * Height / 2), char(128));
  for (int Frame = 0; Frame < Seconds * Rate; ++Frame) {
    for (std::size_t I = 0; I < Luma.size(); ++I) Luma[I] = char((I % Width + Frame * 4) & 255);
    Out << "FRAME\n" << Luma << Chroma;
  }
}

std::vector<std::string> PortalServices() {
  std::vector<std::string> Files;
  for (const char* Name :
       {"org.freedesktop.portal.Desktop", "org.freedesktop.impl.portal.desktop.gtk",
        "org.freedesktop.impl.portal.PermissionStore"}) {
    const fs::path File = fs::path("/usr/share/dbus-1/services") / (std::string(Name) + ".service");
    if (!fs::exists(File)) return {};
    Files.push_back(File.string());
  }
  return Files;
}

TSessionBus::TSessionBus(const fs::path& Folder, TProcess::TSetting Setting,
                         const std::vector<std::string>& Services)
    : Socket(Folder / "bus") {
  const fs::path ServiceFolder = Folder / "services";
  fs::create_directories(ServiceFolder);
  for (const std::string& File : Services)
    fs::copy(File, ServiceFolder / fs::path(File).filename(), fs::copy_options::overwrite_existing);
  std::ofstream(Folder / "bus.conf")
      << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig><type>session</type><listen>unix:path=" << Socket.string()
      << "</listen><auth>EXTERNAL</auth><servicedir>" << ServiceFolder.string()
      << "</servicedir><policy context=\"default\"><allow user=\"*\"/>"
         "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
         "<allow own=\"*\"/></policy></busconfig>\n";
  if (Setting.User) {
    for (const fs::path& Path : {Folder, ServiceFolder})
      if (chown(Path.c_str(), Setting.User->Uid, Setting.User->Gid) != 0) Why = "cannot chown";
  }
  Daemon.emplace("dbus-daemon",
                 std::vector<std::string>{"--config-file=" + (Folder / "bus.conf").string(),
                                          "--nofork", "--nopidfile"},
                 std::move(Setting));
  // Its socket file is there a moment before it listens.
  if (!WaitFor([&] { return TBus::Open(Address()) || !Daemon->Running(); }, 10s) ||
      !TBus::Open(Address()))
    Why = "the session bus did not come up: " + Daemon->Stderr();
}

bool TSessionBus::Owned(const std::string& Name) const {
  const std::unique_ptr<TBus> Bus = TBus::Open(Address());
  return Bus && Bus->HasOwner(Name.c_str());
}

namespace {

// The call, made in the child; the connection that holds what it got, or null with Why.
std::unique_ptr<TBus> CallInhibit(const std::string& Address, const std::string& Path,
                                  std::string& Why) {
  std::unique_ptr<TBus> Bus = TBus::Open(Address);
  if (!Bus) {
    Why = "no bus at " + Address;
    return nullptr;
  }
  sd_bus_error Error = SD_BUS_ERROR_NULL;
  sd_bus_message* Reply = nullptr;
  // The portal may first have to start itself and its backend: sd-bus's own 25 s, not TBus's 5.
  const int R = Path == THeldInhibit::PortalPath
                    ? sd_bus_call_method(Bus->Get(), "org.freedesktop.portal.Desktop",
                                         Path.c_str(), "org.freedesktop.portal.Inhibit", "Inhibit",
                                         &Error, &Reply, "sua{sv}", "", 8u, 1, "reason", "s",
                                         "Playing a video")
                    : sd_bus_call_method(Bus->Get(), "org.freedesktop.ScreenSaver", Path.c_str(),
                                         "org.freedesktop.ScreenSaver", "Inhibit", &Error, &Reply,
                                         "ss", "vadrel-test", "Playing a video");
  if (R < 0) Why = std::string("Inhibit: ") + (Error.message ? Error.message : "failed");
  sd_bus_error_free(&Error);
  sd_bus_message_unref(Reply);
  return R < 0 ? nullptr : std::move(Bus);
}

}  // namespace

THeldInhibit::THeldInhibit(const std::string& Address, std::optional<TProcess::TUser> User,
                           const std::string& Path) {
  int Told[2];
  if (pipe(Told) != 0) {
    Why = "no pipe";
    return;
  }
  Pid = fork();
  if (Pid == 0) {
    close(Told[0]);
    if (User && (setgid(User->Gid) != 0 || setuid(User->Uid) != 0)) _exit(1);
    // Both after the change of user, which clears them: the portal reads /proc/PID/root of whoever
    // asks it, which a process that changed its user keeps to root unless it is made dumpable.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    prctl(PR_SET_DUMPABLE, 1);
    std::string Error;
    const std::unique_ptr<TBus> Held = CallInhibit(Address, Path, Error);
    // "+" once answered, else the error.
    const std::string Line = Held ? "+" : Error;
    if (write(Told[1], Line.data(), Line.size()) != ssize_t(Line.size()) || !Held) _exit(1);
    for (;;) pause();  // holds its connection, and with it the inhibit, until killed
  }
  close(Told[1]);
  pollfd Wait{Told[0], POLLIN, 0};
  char Answer[512] = {};
  const ssize_t Got = poll(&Wait, 1, 30000) == 1 ? read(Told[0], Answer, sizeof Answer - 1) : -1;
  close(Told[0]);
  if (Got <= 0)
    Why = "the client neither held an inhibit nor failed within 30 s";
  else if (std::string(Answer) != "+")
    Why = Answer;
}

void THeldInhibit::Kill() {
  if (Pid <= 0) return;
  kill(Pid, SIGKILL);
  waitpid(Pid, nullptr, 0);
  Pid = -1;
}
