// Shared by the end-to-end tests: a program run as a child process with its own environment (and,
// for servers that refuse root, its own user), X servers of a test's own (Xvfb, and Xorg's dummy
// driver under a window manager), and a window's picture captured from an X server with the
// measures that tell the scene from anything else on a screen and the frames drawn into it.
#pragma once

#include <X11/Xlib.h>

#include <sys/types.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"

using Clock = std::chrono::steady_clock;

// A child process with its stderr in a file, in a process group of its own; killed, with
// whatever it started, at the end of its life.
class TProcess {
public:
  struct TUser {
    uid_t Uid;
    gid_t Gid;
  };
  struct TSetting {
    std::vector<std::string> Overrides;  // "NAME=value" sets, "NAME" alone removes
    std::optional<TUser> User;           // run as this user (the caller is root)
    std::string Folder;                  // the working folder, when not the caller's
  };
  TProcess(const std::string& Program, std::vector<std::string> Arguments, TSetting Setting = {});
  ~TProcess();
  TProcess(const TProcess&) = delete;
  TProcess& operator=(const TProcess&) = delete;

  bool Running();
  // The exit code (128 + the signal when killed), or -1 when it is still running after Timeout.
  int WaitForExit(Clock::duration Timeout);
  pid_t Id() const { return Pid; }
  std::string Stderr() const;

private:
  TTempDir Scratch;
  pid_t Pid = -1;
  bool Exited = false;
  int ExitCode = -1;
  std::string StderrPath;
};

// The exit code of Program run to its end (at most Timeout), its stderr in Errors.
int RunToEnd(const std::string& Program, std::vector<std::string> Arguments,
             TProcess::TSetting Setting, std::string& Errors,
             Clock::duration Timeout = std::chrono::seconds(20));

// An X server of the test's own, connected to once it takes clients. The server picks its display
// number itself among the free ones (-displayfd), so that servers started side by side never race
// for one. The connection closes before the server ends.
class TXServer {
public:
  // Program with Arguments (-displayfd is added); Failure() says why when it did not come up
  // within 20 s.
  TXServer(const std::string& Program, std::vector<std::string> Arguments,
           TProcess::TSetting Setting = {});
  ~TXServer();
  TXServer(const TXServer&) = delete;
  TXServer& operator=(const TXServer&) = delete;

  const std::string& Failure() const { return Why; }
  const std::string& Name() const { return DisplayName; }  // ":N"
  Display* Connection() const { return D; }
  // The setting of a program on this server and on no Wayland display, Extra on top.
  TProcess::TSetting On(std::vector<std::string> Extra = {}) const;
  TProcess& Process() { return *Server; }
  // Closes the connection, as before the server is ended under its clients.
  void Disconnect();

private:
  std::optional<TProcess> Server;
  std::string DisplayName, Why;
  Display* D = nullptr;
};

// Xvfb with one screen of Size ("1280x800x24") and -noreset: its idle time counts from its start,
// and it never resets (re-centring the pointer) when its last client leaves.
class TXvfb : public TXServer {
public:
  explicit TXvfb(const std::string& Size = "1280x800x24");
};

// The program Pid runs (empty when it is gone).
std::filesystem::path ProgramOf(pid_t Pid);

// For the idle watcher's tests (`--idle=3s`): whether Watcher has started a saver, its child,
// within For. Where a test shows that something keeps the saver away, it first times a watcher
// starting one without it (Took); QuietSpan is then how long it waits: two idle periods, or that
// time and one idle period more where that is longer, so that a machine too slow to start a saver
// in time cannot pass it.
inline constexpr Clock::duration IdlePeriod = std::chrono::seconds(3);
bool SaverWithin(TProcess& Watcher, Clock::duration For);
Clock::duration QuietSpan(Clock::duration Took);

// The share of one core (1 = a whole core) process Pid used, all its threads together, over the
// next Span; -1 when it cannot be read.
double CoreShare(pid_t Pid, Clock::duration Span);
// Waits until process Pid rests: under 3 % of a core over half a second (at most Timeout).
bool WaitUntilResting(pid_t Pid, Clock::duration Timeout = std::chrono::seconds(10));

struct TRect {
  int X = 0, Y = 0, Width = 0, Height = 0;
};

struct TPicture {
  int Width = 0, Height = 0;
  std::vector<std::array<int, 3>> Rgb;  // top row first

  const std::array<int, 3>& At(int X, int Y) const { return Rgb[std::size_t(Y) * Width + X]; }
  // Mean of one channel over rows [Row0, Row1) (0 = top), all columns.
  double Mean(int Row0, int Row1, int Channel) const;
  // The rectangle's own picture.
  TPicture Part(int X, int Y, int PartWidth, int PartHeight) const;
};

// Window W's picture (the whole root window for the root), or an empty one when it cannot be read.
TPicture Capture(Display* D, Window W);
// Waits until window W's picture (or Part of it, in the window's pixels) has changed Count times,
// each change seen against the picture before it: what draws there has drawn that many new frames
// since the call. False when it has not within Timeout or the window is gone.
bool WaitForFrames(Display* D, Window W, int Count,
                   Clock::duration Timeout = std::chrono::seconds(20), TRect Part = {});
// Saves a picture as a PNG for a person to look at when a test fails.
void SavePicture(const TPicture& P, const std::string& File);
// A PNG file's picture, or an empty one when it cannot be read.
TPicture ReadPicture(const std::string& File);

// Pixels in the lower half much darker than their row: fish on the sand.
int DarkPixels(const TPicture& P);
// Seen here: 23 to 600 with the default flock (fewest at 200x150, where the fish are a few
// pixels long), none without fish; and once 4, when the clock-seeded school happened to swim
// above the sand at 200x150.
bool ShowsFish(const TPicture& P);
// Blue water at the top, lit sand down to the bottom row (no panel, no border), fish on the sand;
// empty when it does, else what it lacks.
std::string WhatTheSceneLacks(const TPicture& P);

// The windows that the root window's property Name lists (_NET_CLIENT_LIST); none when unset.
std::vector<Window> RootWindows(Display* D, const char* Name);
// Starts openbox, an EWMH window manager, on D with the setting On into Manager; empty once it
// manages the screen, else why not.
std::string StartOpenbox(std::optional<TProcess>& Manager, Display* D, TProcess::TSetting On);

// Xorg on the dummy video driver with its own configuration and state: monitors that are RandR
// outputs (DUMMY0 to DUMMY15, the first ones on at the start), laid out by xrandr as a display
// settings tool would, under openbox, an EWMH window manager that moves, resizes and may minimize
// windows as monitors change. Runs as whoever runs the test.
class TDummyXorg {
public:
  // A screen of up to Width x Height with Monitors of 1280x800 side by side, on before openbox
  // starts (which knows them from its start); Failure() says why when the server, a monitor or
  // openbox is not up.
  TDummyXorg(int Width, int Height, int Monitors = 1);
  ~TDummyXorg();
  TDummyXorg(const TDummyXorg&) = delete;
  TDummyXorg& operator=(const TDummyXorg&) = delete;

  const std::string& Failure() const { return Why; }
  Display* Connection() const { return Server ? Server->Connection() : nullptr; }
  // The setting of a program on this server.
  TProcess::TSetting On() const { return Server->On(); }
  // Output (DUMMY1) on at Mode ("1280x800", "800x1280") with Placement ("--right-of", "DUMMY0"
  // or "--pos", "0x0"), or off without. Empty on success, else xrandr's complaint.
  std::string Set(const std::string& Output, const std::string& Mode = {},
                  std::vector<std::string> Placement = {});
  // The active monitors as the server has them now.
  std::vector<TRect> Monitors() const;
  // Each monitor shows the scene; else what the first that does not lacks (the whole screen
  // saved as "<Shot>.png" under ::testing::TempDir() for a person to look at).
  std::string WhatTheMonitorsLack(const std::string& Shot);
  // The top-level windows the window manager manages that are named Title.
  std::vector<Window> ClientsNamed(const std::string& Title) const;

private:
  TTempDir Scratch;  // the server's configuration and log
  std::string Why;
  std::optional<TXServer> Server;
  std::optional<TProcess> WindowManager;
};
