// Players: what the end-to-end tests with real media players need beside a desktop: a short clip
// the test makes itself, a D-Bus session bus of the desktop's own (run as the desktop's user, on
// which the desktop portal can be started), and a client that holds an inhibit on that bus until it
// is killed, as a player holds one while it plays. Depends on Desktop (processes) and Bus (sd-bus).
#pragma once

#include "Desktop.h"

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Writes a YUV4MPEG2 clip of Seconds (160x120, 25 frames a second, a moving ramp) to File: raw
// frames, which every player reads without a codec of its own.
void WriteClip(const std::filesystem::path& File, int Seconds = 3);

// The service files of the desktop portal, its GTK backend and the permission store it asks; empty
// when one of them is not installed.
std::vector<std::string> PortalServices();

// A session bus (dbus-daemon) run with Setting: as its user, and with the environment that the
// services it starts on demand inherit. Its socket and configuration lie in Folder, which that user
// must be able to write; it is open to every user, so that the test itself can ask it.
class TSessionBus {
public:
  // Services: .service files of what may be started on demand.
  TSessionBus(const std::filesystem::path& Folder, TProcess::TSetting Setting,
              const std::vector<std::string>& Services = {});
  // Empty once it answers; else why it does not.
  const std::string& Failure() const { return Why; }
  std::string Address() const { return "unix:path=" + Socket.string(); }
  // Whether a client owns Name now.
  bool Owned(const std::string& Name) const;

private:
  std::filesystem::path Socket;
  std::string Why;
  std::optional<TProcess> Daemon;
};

// A client of the bus at Address, run as User (the test's own user without one), that asks to keep
// the screen on and holds what it got until it is killed: org.freedesktop.ScreenSaver.Inhibit at
// Path (/ScreenSaver or /org/freedesktop/ScreenSaver), or, with PortalPath, the desktop portal's
// Inhibit for idle (flags 8). Killed at the end of its life at the latest.
class THeldInhibit {
public:
  static constexpr const char* PortalPath = "/org/freedesktop/portal/desktop";
  THeldInhibit(const std::string& Address, std::optional<TProcess::TUser> User,
               const std::string& Path);
  ~THeldInhibit() { Kill(); }
  THeldInhibit(const THeldInhibit&) = delete;
  THeldInhibit& operator=(const THeldInhibit&) = delete;

  // Empty once the call was answered; else its error.
  const std::string& Failure() const { return Why; }
  // Ends the client as a crash would: it never takes its inhibit back, its connection just closes.
  void Kill();

private:
  pid_t Pid = -1;
  std::string Why;
};
