#include "PrivateBus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "Bus.h"

namespace {

std::string Getenv(const char* Name) {
  const char* Value = std::getenv(Name);
  return Value ? Value : "";
}

void Restore(const char* Name, const std::string& Value) {
  if (Value.empty())
    unsetenv(Name);
  else
    setenv(Name, Value.c_str(), 1);
}

int GetActive(sd_bus_message* Call, void* Data, sd_bus_error*) {
  return sd_bus_reply_method_return(Call, "b", *static_cast<int*>(Data));
}

const sd_bus_vtable ScreenSaverTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("GetActive", "", "b", GetActive, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("ActiveChanged", "b", 0),
    SD_BUS_VTABLE_END,
};

// The stand-in's life in its child: serve, and emit on each byte read from Commands.
[[noreturn]] void Serve(const std::string& Address, const std::string& Name,
                        const std::string& Path, int Active, int Commands, int Ready) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  sd_bus* Bus = nullptr;
  if (sd_bus_new(&Bus) < 0 || sd_bus_set_address(Bus, Address.c_str()) < 0 ||
      sd_bus_set_bus_client(Bus, 1) < 0 || sd_bus_start(Bus) < 0 ||
      sd_bus_add_object_vtable(Bus, nullptr, Path.c_str(), Name.c_str(), ScreenSaverTable,
                               &Active) < 0 ||
      sd_bus_request_name(Bus, Name.c_str(), 0) < 0)
    _exit(1);
  if (write(Ready, "r", 1) != 1) _exit(1);
  for (;;) {
    while (sd_bus_process(Bus, nullptr) > 0) {
    }
    pollfd Fds[] = {{sd_bus_get_fd(Bus), POLLIN, 0}, {Commands, POLLIN, 0}};
    poll(Fds, 2, 100);
    if (!(Fds[1].revents & (POLLIN | POLLHUP))) continue;
    char Command = 0;
    if (read(Commands, &Command, 1) != 1) _exit(0);
    Active = Command == 'L';
    sd_bus_emit_signal(Bus, Path.c_str(), Name.c_str(), "ActiveChanged", "b", Active);
    sd_bus_flush(Bus);
  }
}

}  // namespace

TPrivateBus::TPrivateBus(const std::string& ActivatableName)
    : Socket(Scratch.Path() / "bus"),
      SessionBefore(Getenv("DBUS_SESSION_BUS_ADDRESS")),
      SystemBefore(Getenv("DBUS_SYSTEM_BUS_ADDRESS")) {
  std::filesystem::create_directories(Scratch.Path() / "services");
  if (!ActivatableName.empty())
    std::ofstream(Scratch.Path() / "services" / (ActivatableName + ".service"))
        << "[D-BUS Service]\nName=" << ActivatableName << "\nExec=/usr/bin/touch "
        << Marker().string() << "\n";
  const std::string Config = Scratch.Write(
      "bus.conf",
      "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
      " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
      "<busconfig><type>session</type><listen>unix:path=" + Socket.string() + "</listen>"
      "<auth>EXTERNAL</auth><servicedir>" + (Scratch.Path() / "services").string() +
      "</servicedir><policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
      "<allow eavesdrop=\"true\"/>"
      "<allow own=\"*\"/></policy></busconfig>\n");
  Pid = fork();
  if (Pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Its complaints (it may not raise its descriptor limit) are no test's output.
    const int Log = open((Scratch.Path() / "bus.log").c_str(), O_WRONLY | O_CREAT, 0600);
    if (Log >= 0) dup2(Log, 2);
    execlp("dbus-daemon", "dbus-daemon", "--nofork", ("--config-file=" + Config).c_str(), nullptr);
    _exit(127);
  }
  // Its socket is there a moment before it listens: up once a client gets an answer.
  for (int Try = 0; Try < 400 && !Answers; ++Try) {
    Answers = std::filesystem::exists(Socket) && TBus::Open(Address()) != nullptr;
    if (!Answers) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", Address().c_str(), 1);
  // No system bus, whatever the machine has: the code under test sees this session alone.
  setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (Scratch.Path() / "none").string()).c_str(), 1);
}

TPrivateBus::~TPrivateBus() {
  Restore("DBUS_SESSION_BUS_ADDRESS", SessionBefore);
  Restore("DBUS_SYSTEM_BUS_ADDRESS", SystemBefore);
  if (Pid <= 0) return;
  kill(Pid, SIGTERM);
  waitpid(Pid, nullptr, 0);
}

TScreenSaverStandIn::TScreenSaverStandIn(const std::string& Address, const std::string& Name,
                                         const std::string& Path, bool Active) {
  int CommandPipe[2], ReadyPipe[2];
  if (pipe(CommandPipe) != 0) return;
  if (pipe(ReadyPipe) != 0) {
    close(CommandPipe[0]);
    close(CommandPipe[1]);
    return;
  }
  Pid = fork();
  if (Pid == 0) {
    close(CommandPipe[1]);
    close(ReadyPipe[0]);
    Serve(Address, Name, Path, Active, CommandPipe[0], ReadyPipe[1]);
  }
  close(CommandPipe[0]);
  close(ReadyPipe[1]);
  Commands = CommandPipe[1];
  pollfd Wait{ReadyPipe[0], POLLIN, 0};
  char Byte = 0;
  Ready = poll(&Wait, 1, 10000) == 1 && read(ReadyPipe[0], &Byte, 1) == 1;
  close(ReadyPipe[0]);
}

TScreenSaverStandIn::~TScreenSaverStandIn() {
  if (Commands >= 0) close(Commands);
  if (Pid > 0) waitpid(Pid, nullptr, 0);
}

void TScreenSaverStandIn::Set(bool Active) {
  const char Command = Active ? 'L' : 'U';
  if (write(Commands, &Command, 1) != 1) Ready = false;
}
