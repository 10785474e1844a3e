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
#include <cstring>
#include <fstream>
#include <set>
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

struct TMonitor {
  std::uint32_t Next = 1;
  std::uint64_t IdleMs = 0;
  int Log = -1;
};

int MonitorCall(sd_bus_message* Call, void* Data, sd_bus_error*) {
  auto& Monitor = *static_cast<TMonitor*>(Data);
  std::string Line = sd_bus_message_get_member(Call);
  int R = 0;
  if (Line == "AddIdleWatch" || Line == "AddUserActiveWatch") {
    std::uint64_t Ms = 0;
    if (Line == "AddIdleWatch" && sd_bus_message_read(Call, "t", &Ms) >= 0)
      Line.append(" ").append(std::to_string(Ms));
    Line.append(" -> ").append(std::to_string(Monitor.Next));
    R = sd_bus_reply_method_return(Call, "u", Monitor.Next++);
  } else if (Line == "RemoveWatch") {
    std::uint32_t Watch = 0;
    sd_bus_message_read(Call, "u", &Watch);
    Line.append(" ").append(std::to_string(Watch));
    R = sd_bus_reply_method_return(Call, "");
  } else {
    Line.append(" ").append(std::to_string(Monitor.IdleMs));
    R = sd_bus_reply_method_return(Call, "t", Monitor.IdleMs);
  }
  Line += "\n";
  if (write(Monitor.Log, Line.data(), Line.size()) < 0) return -1;
  return R;
}

const sd_bus_vtable MonitorTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("AddIdleWatch", "t", "u", MonitorCall, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("AddUserActiveWatch", "", "u", MonitorCall, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("RemoveWatch", "u", "", MonitorCall, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetIdletime", "", "t", MonitorCall, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("WatchFired", "u", 0),
    SD_BUS_VTABLE_END,
};

// A client of the bus at Address serving Table (with Data) at Path as Name, its interface Name
// unless Interface is given; null when it cannot.
sd_bus* Serving(const std::string& Address, const char* Name, const char* Path,
                const sd_bus_vtable* Table, void* Data, const char* Interface = nullptr) {
  sd_bus* Bus = nullptr;
  if (!Interface) Interface = Name;
  if (sd_bus_new(&Bus) < 0 || sd_bus_set_address(Bus, Address.c_str()) < 0 ||
      sd_bus_set_bus_client(Bus, 1) < 0 || sd_bus_start(Bus) < 0 ||
      sd_bus_add_object_vtable(Bus, nullptr, Path, Interface, Table, Data) < 0 ||
      sd_bus_request_name(Bus, Name, 0) < 0)
    return nullptr;
  return Bus;
}

// Serves Bus until Commands closes, handing each command to Act.
template <typename TAct>
[[noreturn]] void Loop(sd_bus* Bus, int Commands, int Ready, TAct Act) {
  if (!Bus || write(Ready, "r", 1) != 1) _exit(1);
  for (;;) {
    while (sd_bus_process(Bus, nullptr) > 0) {
    }
    pollfd Fds[] = {{sd_bus_get_fd(Bus), POLLIN, 0}, {Commands, POLLIN, 0}};
    poll(Fds, 2, 100);
    if (!(Fds[1].revents & (POLLIN | POLLHUP))) continue;
    char Command[sizeof(char) + sizeof(std::uint64_t)];
    if (read(Commands, Command, sizeof Command) != sizeof Command) _exit(0);
    std::uint64_t Number = 0;
    std::memcpy(&Number, Command + 1, sizeof Number);
    Act(Command[0], Number);
    sd_bus_flush(Bus);
  }
}

void ServeScreenSaver(const std::string& Address, bool Gnome, bool Active, int Commands,
                      int Ready) {
  const char* Name = Gnome ? "org.gnome.ScreenSaver" : "org.freedesktop.ScreenSaver";
  const char* Path = Gnome ? "/org/gnome/ScreenSaver" : "/org/freedesktop/ScreenSaver";
  int State = Active;
  sd_bus* Bus = Serving(Address, Name, Path, ScreenSaverTable, &State);
  Loop(Bus, Commands, Ready, [&](char Letter, std::uint64_t) {
    State = Letter == 'L';
    sd_bus_emit_signal(Bus, Path, Name, "ActiveChanged", "b", State);
  });
}

void ServeIdleMonitor(const std::string& Address, int Commands, int Ready, int Log) {
  const char* Name = "org.gnome.Mutter.IdleMonitor";
  const char* Path = "/org/gnome/Mutter/IdleMonitor/Core";
  TMonitor Monitor{.Log = Log};
  sd_bus* Bus = Serving(Address, Name, Path, MonitorTable, &Monitor);
  Loop(Bus, Commands, Ready, [&](char Letter, std::uint64_t Number) {
    if (Letter == 'T') Monitor.IdleMs = Number;
    if (Letter == 'F')
      sd_bus_emit_signal(Bus, Path, Name, "WatchFired", "u", std::uint32_t(Number));
  });
}

struct TLogind {
  std::vector<TLogindInhibitor> All;
  std::set<std::size_t> Taken;
  int Calls = 0;
  int Log = -1;
};

int ListInhibitors(sd_bus_message* Call, void* Data, sd_bus_error*) {
  auto& Logind = *static_cast<TLogind*>(Data);
  const std::string Line = "ListInhibitors " + std::to_string(++Logind.Calls) + "\n";
  if (write(Logind.Log, Line.data(), Line.size()) < 0) return -1;
  sd_bus_message* Reply = nullptr;
  int R = sd_bus_message_new_method_return(Call, &Reply);
  if (R >= 0) R = sd_bus_message_open_container(Reply, 'a', "(ssssuu)");
  for (std::size_t At : Logind.Taken) {
    const TLogindInhibitor& I = Logind.All[At];
    if (R >= 0)
      R = sd_bus_message_append(Reply, "(ssssuu)", I.What.c_str(), I.Who.c_str(), I.Why.c_str(),
                                I.Mode.c_str(), std::uint32_t(getuid()), std::uint32_t(getpid()));
  }
  if (R >= 0) R = sd_bus_message_close_container(Reply);
  if (R >= 0) R = sd_bus_send(nullptr, Reply, nullptr);
  sd_bus_message_unref(Reply);
  return R;
}

// The kinds the blocking inhibitors hold, as logind joins them: "sleep:idle".
int BlockInhibited(sd_bus*, const char*, const char*, const char*, sd_bus_message* Reply,
                   void* Data, sd_bus_error*) {
  auto& Logind = *static_cast<TLogind*>(Data);
  std::string Kinds;
  for (std::size_t At : Logind.Taken)
    if (Logind.All[At].Mode == "block")
      Kinds.append(Kinds.empty() ? "" : ":").append(Logind.All[At].What);
  return sd_bus_message_append(Reply, "s", Kinds.c_str());
}

const sd_bus_vtable LogindTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("ListInhibitors", "", "a(ssssuu)", ListInhibitors, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("BlockInhibited", "s", BlockInhibited, 0,
                    SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE),
    SD_BUS_VTABLE_END,
};

struct TAgent {
  std::vector<TAgentInhibition> All;
  std::set<std::size_t> Taken;
  bool Inactive = false;
  int Calls = 0;
  int Log = -1;
};

int HasInhibition(sd_bus_message* Call, void* Data, sd_bus_error*) {
  auto& Agent = *static_cast<TAgent*>(Data);
  std::uint32_t Policies = 0;
  sd_bus_message_read(Call, "u", &Policies);
  bool Has = Agent.Inactive;
  for (std::size_t At : Agent.Taken) Has |= Agent.All[At].Screen && (Policies & 4);
  const std::string Line = "HasInhibition " + std::to_string(++Agent.Calls) + "\n";
  if (write(Agent.Log, Line.data(), Line.size()) < 0) return -1;
  return sd_bus_reply_method_return(Call, "b", int(Has));
}

// The inhibitions Taken lists as (who, why), appended to Message.
int AppendInhibitions(sd_bus_message* Message, const TAgent& Agent,
                      const std::set<std::size_t>& Taken) {
  int R = sd_bus_message_open_container(Message, 'a', "(ss)");
  for (std::size_t At : Taken)
    if (R >= 0)
      R = sd_bus_message_append(Message, "(ss)", Agent.All[At].Who.c_str(),
                                Agent.All[At].Why.c_str());
  return R < 0 ? R : sd_bus_message_close_container(Message);
}

int ListInhibitions(sd_bus_message* Call, void* Data, sd_bus_error*) {
  auto& Agent = *static_cast<TAgent*>(Data);
  sd_bus_message* Reply = nullptr;
  int R = sd_bus_message_new_method_return(Call, &Reply);
  if (R >= 0) R = AppendInhibitions(Reply, Agent, Agent.Taken);
  if (R >= 0) R = sd_bus_send(nullptr, Reply, nullptr);
  sd_bus_message_unref(Reply);
  return R;
}

const sd_bus_vtable AgentTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("HasInhibition", "u", "b", HasInhibition, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("ListInhibitions", "", "a(ss)", ListInhibitions, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("InhibitionsChanged", "a(ss)as", 0),
    SD_BUS_VTABLE_END,
};

void ServeLogind(const std::string& Address, std::vector<TLogindInhibitor> All, int Commands,
                 int Ready, int Log) {
  const char* Name = "org.freedesktop.login1";
  const char* Path = "/org/freedesktop/login1";
  const char* Manager = "org.freedesktop.login1.Manager";
  TLogind Logind{.All = std::move(All), .Taken = {}, .Log = Log};
  sd_bus* Bus = Serving(Address, Name, Path, LogindTable, &Logind, Manager);
  Loop(Bus, Commands, Ready, [&](char Letter, std::uint64_t Number) {
    if (Letter == 'A') Logind.Taken.insert(Number);
    if (Letter == 'D') Logind.Taken.erase(Number);
    sd_bus_emit_properties_changed(Bus, Path, Manager, "BlockInhibited", nullptr);
  });
}

// Sends InhibitionsChanged with Added, or with the one Removed.
void EmitInhibitionsChanged(sd_bus* Bus, const TAgent& Agent, const std::set<std::size_t>& Added,
                            const char* Removed) {
  const char* Path = "/org/kde/Solid/PowerManagement/PolicyAgent";
  const char* Name = "org.kde.Solid.PowerManagement.PolicyAgent";
  sd_bus_message* Signal = nullptr;
  int R = sd_bus_message_new_signal(Bus, &Signal, Path, Name, "InhibitionsChanged");
  if (R >= 0) R = AppendInhibitions(Signal, Agent, Added);
  if (R >= 0) R = Removed ? sd_bus_message_append(Signal, "as", 1, Removed)
                          : sd_bus_message_append(Signal, "as", 0);
  if (R >= 0) sd_bus_send(Bus, Signal, nullptr);
  sd_bus_message_unref(Signal);
}

void ServePolicyAgent(const std::string& Address, std::vector<TAgentInhibition> All, int Commands,
                      int Ready, int Log) {
  TAgent Agent{.All = std::move(All), .Taken = {}, .Log = Log};
  sd_bus* Bus = Serving(Address, "org.kde.Solid.PowerManagement.PolicyAgent",
                        "/org/kde/Solid/PowerManagement/PolicyAgent", AgentTable, &Agent);
  Loop(Bus, Commands, Ready, [&](char Letter, std::uint64_t Number) {
    if (Letter == 'I') {
      Agent.Inactive = Number != 0;
      const std::string Line = "Inactive " + std::to_string(Number) + "\n";
      if (write(Log, Line.data(), Line.size()) < 0) _exit(1);
    }
    if (Letter == 'A' && Agent.Taken.insert(Number).second)
      EmitInhibitionsChanged(Bus, Agent, {Number}, nullptr);
    if (Letter == 'D' && Agent.Taken.erase(Number))
      EmitInhibitionsChanged(Bus, Agent, {}, Agent.All[Number].Who.c_str());
  });
}

}  // namespace

TPrivateBus::TPrivateBus(TKind Which, const std::string& ActivatableName)
    : Socket(Scratch.Path() / "bus"),
      Kind(Which),
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
    // Its complaints (it may not raise its descriptor limit) are no test's output, nor is what a
    // service it starts prints: such a service could hold the test's output open.
    const int Log = open((Scratch.Path() / "bus.log").c_str(), O_WRONLY | O_CREAT, 0600);
    if (Log >= 0) {
      dup2(Log, 1);
      dup2(Log, 2);
    }
    execlp("dbus-daemon", "dbus-daemon", "--nofork", ("--config-file=" + Config).c_str(), nullptr);
    _exit(127);
  }
  // Its socket is there a moment before it listens: up once a client gets an answer.
  for (int Try = 0; Try < 400 && !Answers; ++Try) {
    Answers = std::filesystem::exists(Socket) && TBus::Open(Address()) != nullptr;
    if (!Answers) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  if (Kind == System) {
    setenv("DBUS_SYSTEM_BUS_ADDRESS", Address().c_str(), 1);
    return;
  }
  setenv("DBUS_SESSION_BUS_ADDRESS", Address().c_str(), 1);
  // No system bus, whatever the machine has: the code under test sees this session alone.
  setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (Scratch.Path() / "none").string()).c_str(), 1);
}

TPrivateBus::~TPrivateBus() {
  if (Kind == Session) Restore("DBUS_SESSION_BUS_ADDRESS", SessionBefore);
  Restore("DBUS_SYSTEM_BUS_ADDRESS", SystemBefore);
  if (Pid <= 0) return;
  kill(Pid, SIGTERM);
  waitpid(Pid, nullptr, 0);
}

TStandIn::TStandIn(const TServe& Serve) {
  int CommandPipe[2], ReadyPipe[2], LogPipe[2];
  if (pipe(CommandPipe) != 0) return;
  if (pipe(ReadyPipe) != 0 || pipe2(LogPipe, O_NONBLOCK) != 0) _exit(1);  // out of descriptors
  Pid = fork();
  if (Pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    close(CommandPipe[1]);
    close(ReadyPipe[0]);
    close(LogPipe[0]);
    Serve(CommandPipe[0], ReadyPipe[1], LogPipe[1]);
    _exit(1);
  }
  close(CommandPipe[0]);
  close(ReadyPipe[1]);
  close(LogPipe[1]);
  Commands = CommandPipe[1];
  Log = LogPipe[0];
  pollfd Wait{ReadyPipe[0], POLLIN, 0};
  char Byte = 0;
  Ready = poll(&Wait, 1, 10000) == 1 && read(ReadyPipe[0], &Byte, 1) == 1;
  close(ReadyPipe[0]);
}

TStandIn::~TStandIn() {
  if (Commands >= 0) close(Commands);
  if (Log >= 0) close(Log);
  if (Pid > 0) waitpid(Pid, nullptr, 0);
}

void TStandIn::Send(char Letter, std::uint64_t Number) {
  char Command[sizeof(char) + sizeof(std::uint64_t)] = {Letter};
  std::memcpy(Command + 1, &Number, sizeof Number);
  if (write(Commands, Command, sizeof Command) != sizeof Command) Ready = false;
}

bool TStandIn::Logged(const std::string& Line, int Seconds) {
  for (int Wait = 0;; ++Wait) {
    char Buffer[512];
    for (ssize_t Got; (Got = read(Log, Buffer, sizeof Buffer)) > 0;) Seen.append(Buffer, Got);
    if (("\n" + Seen).find("\n" + Line + "\n") != std::string::npos) return true;
    if (Wait >= Seconds * 20) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

TScreenSaverStandIn::TScreenSaverStandIn(const std::string& Address, TWhich Which, bool Active)
    : TStandIn([=](int In, int Up, int) {
        ServeScreenSaver(Address, Which == Gnome, Active, In, Up);
      }) {}

TIdleMonitorStandIn::TIdleMonitorStandIn(const std::string& Address)
    : TStandIn([=](int In, int Up, int Out) {
        ServeIdleMonitor(Address, In, Up, Out);
      }) {}

TLogindStandIn::TLogindStandIn(const std::string& Address,
                               std::vector<TLogindInhibitor> Inhibitors)
    : TStandIn([=](int In, int Up, int Out) { ServeLogind(Address, Inhibitors, In, Up, Out); }) {}

TPolicyAgentStandIn::TPolicyAgentStandIn(const std::string& Address,
                                         std::vector<TAgentInhibition> Inhibitions)
    : TStandIn([=](int In, int Up, int Out) {
        ServePolicyAgent(Address, Inhibitions, In, Up, Out);
      }) {}
