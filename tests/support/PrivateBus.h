// PrivateBus: a D-Bus session or system bus of the test's own (a real dbus-daemon on a socket in a
// scratch folder, its activatable services in a folder of its own), named to the code under test
// through DBUS_SESSION_BUS_ADDRESS or DBUS_SYSTEM_BUS_ADDRESS for the bus's life; and stand-ins for
// the services the idle sources ask (a desktop's screen saver, GNOME's idle monitor, logind's
// inhibitors, KDE's power management policy agent), each run in a child process so that it
// answers while the test waits on a call.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"

class TPrivateBus {
public:
  // A session bus leaves the code under test no system bus; a system bus leaves the session bus
  // as it was.
  enum TKind : unsigned char { Session, System };
  // ActivatableName, when given, can be started on demand; starting it creates Marker().
  explicit TPrivateBus(const std::string& ActivatableName = "")
      : TPrivateBus(Session, ActivatableName) {}
  explicit TPrivateBus(TKind Kind, const std::string& ActivatableName = "");
  ~TPrivateBus();
  TPrivateBus(const TPrivateBus&) = delete;
  TPrivateBus& operator=(const TPrivateBus&) = delete;

  bool Up() const { return Answers; }
  std::string Address() const { return "unix:path=" + Socket.string(); }
  std::filesystem::path Marker() const { return Scratch.Path() / "activated"; }

private:
  TTempDir Scratch;
  std::filesystem::path Socket;
  pid_t Pid = -1;
  bool Answers = false;
  TKind Kind;
  std::string SessionBefore, SystemBefore;
};

// A service of the test's on a bus, run in a child process that the test steers with commands
// (a letter and a number) and that logs what it is asked, one line per call.
class TStandIn {
public:
  TStandIn(const TStandIn&) = delete;
  TStandIn& operator=(const TStandIn&) = delete;
  bool Up() const { return Ready; }
  // Whether Line has been logged, waiting up to Seconds for it (0: whether it has been by now).
  bool Logged(const std::string& Line, int Seconds = 5);

protected:
  struct TCommand {
    char Letter;
    std::uint64_t Number;
  };
  // Serve runs in the child: it reads TCommands from its first descriptor, writes one byte to the
  // second once it owns its name, and its log to the third; it never returns.
  using TServe = std::function<void(int Commands, int Ready, int Log)>;
  explicit TStandIn(const TServe& Serve);
  ~TStandIn();
  void Send(char Letter, std::uint64_t Number);

private:
  pid_t Pid = -1;
  int Commands = -1;  // its end ends the child
  int Log = -1;
  std::string Seen;
  bool Ready = false;
};

// Owns a desktop's screen-saver name (org.gnome.ScreenSaver at /org/gnome/ScreenSaver, or
// org.freedesktop.ScreenSaver at /org/freedesktop/ScreenSaver) and serves GetActive() -> b, with
// the signal ActiveChanged(b) on each Set.
class TScreenSaverStandIn : public TStandIn {
public:
  enum TWhich : unsigned char { Gnome, Desktop };
  TScreenSaverStandIn(const std::string& Address, TWhich Which, bool Active);
  void Set(bool Active) { Send(Active ? 'L' : 'U', 0); }
};

// Owns org.gnome.Mutter.IdleMonitor and serves its methods, numbering watches from 1 and logging
// "AddIdleWatch 3000 -> 1", "AddUserActiveWatch -> 2", "RemoveWatch 1", "GetIdletime 3000".
class TIdleMonitorStandIn : public TStandIn {
public:
  explicit TIdleMonitorStandIn(const std::string& Address);
  void Fire(std::uint32_t Watch) { Send('F', Watch); }
  void SetIdleTime(std::uint64_t Ms) { Send('T', Ms); }
};

// One of logind's inhibitors: its kinds ("sleep:idle"), who took it, why, and its mode ("block" or
// "delay").
struct TLogindInhibitor {
  std::string What, Who, Why, Mode;
};

// Owns org.freedesktop.login1 and serves its manager's ListInhibitors() -> a(ssssuu) (logged as
// "ListInhibitors N", N counting the calls from 1) with the inhibitors taken of Inhibitors, and
// BlockInhibited, sent with logind's PropertiesChanged each time one is taken or dropped.
class TLogindStandIn : public TStandIn {
public:
  TLogindStandIn(const std::string& Address, std::vector<TLogindInhibitor> Inhibitors);
  void Take(std::size_t Inhibitor) { Send('A', Inhibitor); }
  void Drop(std::size_t Inhibitor) { Send('D', Inhibitor); }
};

// An inhibition of KDE's policy agent: who asked, why, and whether it is of the screen's settings.
struct TAgentInhibition {
  std::string Who, Why;
  bool Screen;
};

// Owns org.kde.Solid.PowerManagement.PolicyAgent and serves HasInhibition(u) -> b (logged as
// "HasInhibition N", N counting the calls from 1) and ListInhibitions() -> a(ss) for the
// inhibitions taken of Inhibitions, with InhibitionsChanged(a(ss) added, as removed) on each
// change; HasInhibition is true for every policy while the session is set inactive (logged as
// "Inactive 1" once set), as the agent's is.
class TPolicyAgentStandIn : public TStandIn {
public:
  TPolicyAgentStandIn(const std::string& Address, std::vector<TAgentInhibition> Inhibitions);
  void Take(std::size_t Inhibition) { Send('A', Inhibition); }
  void Drop(std::size_t Inhibition) { Send('D', Inhibition); }
  void SetInactive(bool Inactive) { Send('I', Inactive); }
};
