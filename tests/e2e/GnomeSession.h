// GnomeSession: a headless GNOME Shell of its own for the end-to-end tests, with everything it
// needs around it: a private system bus (the shell asks it for logind), a private session bus the
// test talks to, input through Mutter's remote desktop, screenshots through the shell, and on
// request GNOME's session manager, which keeps the session's inhibitors. As root everything runs
// as nobody (with copies of the program and data that user can read). Whatever the session's
// programs leave behind ends with it. Depends on Desktop (TProcess), Strays and Bus (sd-bus).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Bus.h"
#include "Desktop.h"
#include "Strays.h"

class TGnomeSession {
public:
  // Copies Program, the programs it runs from its own folder (Beside) and the data folder;
  // starts nothing yet.
  TGnomeSession(const std::string& Program, const std::vector<std::string>& Beside,
                const std::string& DataDir);
  TGnomeSession(const TGnomeSession&) = delete;
  TGnomeSession& operator=(const TGnomeSession&) = delete;

  // Brings the buses and the shell up (a virtual monitor of 1280x800) with the overview dismissed
  // and a remote-desktop session to type with. Empty when up, else what failed.
  std::string Start();
  // GNOME's session manager with an empty session (no settings daemons), so that
  // gnome-session-inhibit has someone to ask; once, kept for the session's life. Empty when up,
  // else what failed.
  std::string StartSessionManager();

  // The environment of a program of this session: Extra on top.
  TProcess::TSetting Setting(std::vector<std::string> Extra = {}) const;
  // The copy of the program that the session's user can run.
  std::string Program() const { return (Scratch.Path() / "vadrel").string(); }
  const std::filesystem::path& Folder() const { return Scratch.Path(); }
  const std::string& SessionBusAddress() const { return SessionAddress; }

  // Input as a person gives it; false when the shell refused it.
  bool MovePointer(double Dx, double Dy);
  bool TapKey(unsigned Keysym);
  // Leaves the shell's overview (empty when it did, else what failed), or tells whether it is up.
  std::string CloseOverview();
  bool OverviewActive();
  // Whether GNOME's session manager holds an inhibitor of the session going idle.
  bool IdleInhibited();
  // The whole monitor as the shell sees it; an empty picture (and Error) when it cannot.
  TPicture Screenshot(std::string& Error);
  // How many shells it took to bring one up (see StartShell).
  int ShellStarts() const { return Starts; }
  // What the shell and the session manager printed, for failure messages.
  std::string ShellErrors() const { return Shell ? Shell->Stderr() : ""; }
  std::string SessionManagerErrors() const {
    return SessionManager ? SessionManager->Stderr() : "";
  }

private:
  std::string StartBus(const char* Type, std::optional<TProcess>& Daemon, std::string& Address);
  std::string StartShell();
  std::string ShellReady();
  bool StuckInFork();
  std::string StartRemoteDesktop();
  void CopySanitizerFiles();
  void HandOver();

  TTempDir Scratch;
  TStrayReaper Strays{Scratch.Path()};  // after every process below ended, before the folder goes
  std::optional<TProcess::TUser> User;
  std::vector<std::string> SanitizerOverrides;
  std::string SystemAddress, SessionAddress;
  // Destroyed in the reverse order: the shell and its clients before the buses they talk on.
  std::optional<TProcess> SystemBus, SessionBus, Shell, SessionManager;
  std::unique_ptr<TBus> Bus;  // the test's own connection: the remote desktop lives as long as it
  std::string RemoteSession;
  int Starts = 0;      // of the shell, the last one included
  bool Stuck = false;  // the shell's start-up hangs on a child it forked
  std::optional<std::pair<pid_t, Clock::time_point>> ForkedChild;  // seen since then
};
