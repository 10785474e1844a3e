// Wayland desktops started by an end-to-end test, headless, each with its own state in a scratch
// folder: sway (wlroots) and KWin. Each gives the environment of a program run in it, copies of
// the program under test, its data and helpers that the session's user can read, a picture of
// each output on its own, and the user activity its desktop knows. Whatever the session's programs
// leave behind (orphans, mounts in its folder) ends with it. Depends on Desktop (processes,
// pictures), Strays and, for KWin's screenshots and activity, sd-bus.
#pragma once

#include "Desktop.h"
#include "Strays.h"

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sd_bus;

class TWaylandSession {
public:
  virtual ~TWaylandSession() = default;
  TWaylandSession(const TWaylandSession&) = delete;
  TWaylandSession& operator=(const TWaylandSession&) = delete;

  // Empty once the compositor is up; else why it is not.
  const std::string& Failure() const { return Why; }
  // What the desktop is, for messages: "sway", "KWin".
  virtual std::string Name() const = 0;
  // How long the compositor took from its start until it took clients (and, for KWin, until its
  // bus services were there).
  Clock::duration StartTime() const { return Started; }

  // The setting of a program run in the session (as its user, in its folder, with its socket,
  // runtime folder, home, data and sanitizer files, without DISPLAY), Extra on top: "NAME=value"
  // sets, "NAME" alone removes.
  TProcess::TSetting Setting(std::vector<std::string> Extra = {}) const;
  // The copy of the program under test, and a copy of File the session's user can run or read.
  std::string Program() const { return (Folder() / "vadrel").string(); }
  std::string Copy(const std::string& File);
  const std::filesystem::path& Folder() const { return Scratch.Path(); }

  // The outputs, in their order left to right.
  virtual std::vector<std::string> Outputs() const = 0;
  // One output's picture; empty when it cannot be taken (Errors then says why).
  virtual TPicture Capture(const std::string& Output, std::string& Errors) = 0;
  // Input as a user's, once a second for For (at least once), which ends the session's idle time
  // and keeps it from coming back meanwhile. False, with Errors, when refused.
  virtual bool Activity(Clock::duration For, std::string& Errors) = 0;

  // Every output shows the scene at 1280x800; else the first output's lack, its picture saved under
  // ::testing::TempDir() as "<Name>-<output>.png" for a person to look at.
  std::string WhatTheOutputsLack();
  // No output shows the scene; else which one does.
  std::string WhereTheSceneShows();
  // Ends the compositor (SIGTERM, then SIGKILL), as when the desktop goes away under its clients;
  // or tells whether it still runs.
  void EndCompositor() { Server.reset(); }
  bool CompositorRuns() { return Server && Server->Running(); }
  // What the compositor printed, for failure messages.
  std::string CompositorErrors() const { return Server ? Server->Stderr() : ""; }

protected:
  // Copies Program and its Data folder; the compositor runs as nobody when the test is root and
  // Refuses root.
  TWaylandSession(const std::string& Program, const std::string& Data, bool RefusesRoot);
  // Gives the session's user the scratch folder, then starts the compositor with Arguments and
  // waits for its socket (at most Timeout). False, with Why, when it does not come up.
  bool StartCompositor(const std::string& Compositor, std::vector<std::string> Arguments,
                       std::vector<std::string> Environment, Clock::duration Timeout);
  // What every program of the session is given, Extra on top of the session's own.
  void AddToEnvironment(std::vector<std::string> Extra);
  TProcess& Compositor() { return *Server; }
  // The first of Tools that is not installed; empty when all are.
  static std::string FirstMissing(std::initializer_list<const char*> Tools);
  // Makes Path (and all in it) the session's user's.
  void GiveToUser(const std::filesystem::path& Path) const;

  std::string Why;
  Clock::duration Started{};

private:
  void CopySanitizerFiles();

  TTempDir Scratch;
  TStrayReaper Strays{Scratch.Path()};  // after every process below ended, before the folder goes
  std::optional<TProcess::TUser> User;
  std::vector<std::string> Overrides;
  std::optional<TProcess> Server;
  std::string Socket;
};

// One headless output of sway: its mode in pixels and its scale.
struct TSwayOutput {
  int Width = 1280, Height = 800;
  double Scale = 1;
};

// Headless sway (as root, run by nobody) with Count outputs of 1280x800 (or the given ones) side
// by side, named HEADLESS-1 onwards, its programs given SWAYSOCK; pictures by grim, activity as
// Shift keys typed by one wtype. Never scans a client's buffer out directly, so that a picture is
// always of what sway composited last, never a buffer a client has since been given back. One
// virtual keyboard for the whole time: each new one switches the focused client's keymap, and back
// when it goes, and SDL 2.26 can crash when that second switch reaches a window it is destroying.
class TSwaySession final : public TWaylandSession {
public:
  // Null when sway, grim or wtype is missing (Missing then names it).
  static std::unique_ptr<TSwaySession> Open(const std::string& Program, const std::string& Data,
                                            int Count, std::string& Missing);
  static std::unique_ptr<TSwaySession> Open(const std::string& Program, const std::string& Data,
                                            std::vector<TSwayOutput> Modes, std::string& Missing);
  TSwaySession(const std::string& Program, const std::string& Data, int Count);
  TSwaySession(const std::string& Program, const std::string& Data,
               std::vector<TSwayOutput> Modes);

  std::string Name() const override { return "sway"; }
  std::vector<std::string> Outputs() const override;
  TPicture Capture(const std::string& Output, std::string& Errors) override;
  bool Activity(Clock::duration For, std::string& Errors) override;
  // Types Key (an XKB name: "Escape") with wtype.
  bool Key(const std::string& Key, std::string& Errors);
  // swaymsg with Arguments on this sway's socket; its output in Output.
  int Message(std::vector<std::string> Arguments, std::string& Output);
  // Whether a window of process Client is in sway's tree (mapped).
  bool Maps(pid_t Client);

private:
  int Count;
};

// sway on its Wayland backend inside a headless sway of its own (one output of 3840x800): each of
// its Count outputs, WL-1 onwards, is a window of the outer sway, tiled side by side, so that
// closing one there unplugs that output and every other gets wider, and a new one makes every
// other narrower, as monitors and their sizes change on a real desktop. Programs run in the inner
// sway; pictures by grim of each inner output on its own.
class TNestedSwaySession final : public TWaylandSession {
public:
  // Null when sway, grim or wtype is missing (Missing then names it).
  static std::unique_ptr<TNestedSwaySession> Open(const std::string& Program,
                                                  const std::string& Data, int Count,
                                                  std::string& Missing);
  TNestedSwaySession(const std::string& Program, const std::string& Data, int Count);
  ~TNestedSwaySession() override;

  std::string Name() const override { return "nested sway"; }
  // The inner sway's outputs as it has them now.
  std::vector<std::string> Outputs() const override;
  TPicture Capture(const std::string& Output, std::string& Errors) override;
  bool Activity(Clock::duration For, std::string& Errors) override;
  // Unplugs one inner output (its window in the outer sway closes); plugs a new one in.
  bool Unplug(const std::string& Output, std::string& Errors);
  bool Plug(std::string& Errors);

private:
  bool StartOuter();
  // swaymsg with Arguments on the outer or the inner sway; its output in Output.
  int Message(bool Outer, std::vector<std::string> Arguments, std::string& Output) const;

  std::optional<TProcess> OuterSway;
  std::string OuterSocket, OuterIpc, InnerIpc;  // full paths
};

// KWin on its virtual backend with Count outputs of 1280x800, in a D-Bus session bus of its own;
// pictures through org.kde.KWin.ScreenShot2, activity through
// org.freedesktop.ScreenSaver.SimulateUserActivity. Runs a copy of kwin_wayland without the file
// capability the installed one carries, which a container may refuse.
class TKWinSession final : public TWaylandSession {
public:
  // Null when kwin_wayland or dbus-daemon is missing (Missing then names it).
  static std::unique_ptr<TKWinSession> Open(const std::string& Program, const std::string& Data,
                                            int Count, std::string& Missing);
  TKWinSession(const std::string& Program, const std::string& Data, int Count);
  ~TKWinSession() override;

  std::string Name() const override { return "KWin"; }
  std::vector<std::string> Outputs() const override;
  TPicture Capture(const std::string& Output, std::string& Errors) override;
  bool Activity(Clock::duration For, std::string& Errors) override;

private:
  bool StartBus();
  bool WaitForServices(Clock::duration Timeout);

  struct TBusClose {
    void operator()(sd_bus* Bus) const;
  };

  int Count;
  std::optional<TProcess> BusDaemon;
  std::unique_ptr<sd_bus, TBusClose> Bus;  // the test's own connection to KWin's bus
};
