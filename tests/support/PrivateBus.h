// PrivateBus: a D-Bus session bus of the test's own (a real dbus-daemon on a socket in a scratch
// folder, its activatable services in a folder of its own), named to the code under test through
// DBUS_SESSION_BUS_ADDRESS for the bus's life; and a stand-in for a desktop's screen-saver service
// on it (GetActive and ActiveChanged), run in a child process so that it answers while the test
// waits on a call.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"

class TPrivateBus {
public:
  // ActivatableName, when given, can be started on demand; starting it creates Marker().
  explicit TPrivateBus(const std::string& ActivatableName = "");
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
  std::string SessionBefore, SystemBefore;
};

// Owns Name on the bus at Address and serves Name's interface at Path: GetActive() -> b, and the
// signal ActiveChanged(b) on each Set.
class TScreenSaverStandIn {
public:
  TScreenSaverStandIn(const std::string& Address, const std::string& Name, const std::string& Path,
                      bool Active);
  ~TScreenSaverStandIn();
  TScreenSaverStandIn(const TScreenSaverStandIn&) = delete;
  TScreenSaverStandIn& operator=(const TScreenSaverStandIn&) = delete;

  bool Up() const { return Ready; }
  void Set(bool Active);

private:
  pid_t Pid = -1;
  int Commands = -1;  // the child reads one byte per Set; its end ends the child
  bool Ready = false;
};
