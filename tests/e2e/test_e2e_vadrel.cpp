// The exit rules of the real program, seen from outside: it runs in a real window under an X
// server of each test's own (Xvfb) and is driven the way a person would drive it, with device
// motion and key presses through XTEST (a warped pointer would not count: SDL follows device
// motion only).
#include <gtest/gtest.h>  // before Xlib, whose macros clash with its names

#include "Desktop.h"
#include "TestSupport.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The program with its stderr in a file; killed if still running at the end.
class TProgram : public TProcess {
public:
  // Overrides: "NAME=value" sets, "NAME" alone removes.
  explicit TProgram(const std::vector<std::string>& Overrides = {},
                    std::vector<std::string> Arguments = {})
      : TProcess(VADREL_PROGRAM, std::move(Arguments), {Overrides, {}, {}}) {}
};

// An Xvfb of the test's own, which every program the test starts draws on: its pointer and
// keyboard are the test's alone, so that tests can run side by side.
class TOwnDisplay {
public:
  TOwnDisplay() {
    if (Server.Failure().empty()) Named.emplace("DISPLAY", Server.Name().c_str());
  }
  const std::string& Failure() const { return Server.Failure(); }
  Display* Connection() const { return Server.Connection(); }

private:
  TXvfb Server;
  TScopedEnv NoWayland{"WAYLAND_DISPLAY", nullptr};
  std::optional<TScopedEnv> Named;
};

class ExitRules : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(Own.Failure(), "");
    D = Own.Connection();
    // A window may vanish between listing the tree and reading its name (an error box closing,
    // a program of the last test going): such a window is simply not the one looked for, where
    // Xlib's default handler would end the test process.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    int Event, Error, Major, Minor;
    if (!XTestQueryExtension(D, &Event, &Error, &Major, &Minor) ||
        !XFixesQueryExtension(D, &Event, &Error))
      GTEST_SKIP() << "the X server lacks XTEST or XFIXES";
    Width = DisplayWidth(D, DefaultScreen(D));
    Height = DisplayHeight(D, DefaultScreen(D));
    MoveTo(Width / 2, Height / 2);
  }

  void MoveTo(int X, int Y) {
    XTestFakeMotionEvent(D, -1, X, Y, CurrentTime);
    XSync(D, False);
  }
  void MoveBy(int Dx, int Dy) {
    int X, Y;
    Pointer(X, Y);
    MoveTo(X + Dx, Y + Dy);
  }
  void Pointer(int& X, int& Y) {
    Window Root, Child;
    int WinX, WinY;
    unsigned Mask;
    XQueryPointer(D, DefaultRootWindow(D), &Root, &Child, &X, &Y, &WinX, &WinY, &Mask);
  }
  void Key(KeySym Sym, bool Down) {
    XTestFakeKeyEvent(D, XKeysymToKeycode(D, Sym), Down ? True : False, CurrentTime);
    XSync(D, False);
  }
  // A key pressed and released as a person does: held while the program's window shows two new
  // frames (or goes).
  void Tap(KeySym Sym) {
    Key(Sym, true);
    WaitForFrames(D, Shown, 2, 5s);
    Key(Sym, false);
  }
  // What a window manager sends when the user closes W.
  void RequestClose(Window W) {
    XEvent Close{};
    Close.xclient.type = ClientMessage;
    Close.xclient.window = W;
    Close.xclient.message_type = XInternAtom(D, "WM_PROTOCOLS", False);
    Close.xclient.format = 32;
    Close.xclient.data.l[0] = long(XInternAtom(D, "WM_DELETE_WINDOW", False));
    Close.xclient.data.l[1] = CurrentTime;
    XSendEvent(D, W, False, NoEventMask, &Close);
    XSync(D, False);
  }

  // The cursor image shown at the pointer is fully transparent.
  bool CursorHidden() {
    XFixesCursorImage* Image = XFixesGetCursorImage(D);
    if (!Image) return false;
    bool Hidden = true;
    for (unsigned long I = 0; I < std::size_t(Image->width) * Image->height; ++I)
      if ((Image->pixels[I] >> 24) & 0xFF) Hidden = false;
    XFree(Image);
    return Hidden;
  }

  long WindowPid(Window W) {
    Atom Type;
    int Format;
    unsigned long Count, After;
    unsigned char* Data = nullptr;
    long Pid = -1;
    if (XGetWindowProperty(D, W, XInternAtom(D, "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL,
                           &Type, &Format, &Count, &After, &Data) == Success &&
        Data && Count == 1)
      Pid = *reinterpret_cast<long*>(Data);
    if (Data) XFree(Data);
    return Pid;
  }

  // The window with this title that belongs to process Pid (other programs on the same server
  // are not ours to drive); with a negative Pid, any window of that title.
  Window FindWindow(Window Parent, const char* Title, long Pid) {
    Window Root, Up, *Children = nullptr;
    unsigned Count = 0;
    if (!XQueryTree(D, Parent, &Root, &Up, &Children, &Count)) return 0;
    Window Found = 0;
    for (unsigned I = 0; I < Count && !Found; ++I) {
      // The name in whatever encoding it was set (an ASCII title reads the same in all of them).
      XTextProperty Name{};
      if (XGetWMName(D, Children[I], &Name) && Name.value) {
        const std::string Text(reinterpret_cast<const char*>(Name.value), Name.nitems);
        if (Text == Title && (Pid < 0 || WindowPid(Children[I]) == Pid)) Found = Children[I];
        XFree(Name.value);
      }
      if (!Found) Found = FindWindow(Children[I], Title, Pid);
    }
    if (Children) XFree(Children);
    return Found;
  }

  // Waits until the program shows its window (Shown: made, and mapped) and (full screen) has
  // hidden the cursor: by then it has taken its start position and is drawing frames.
  Window WaitUntilRunning(TProgram& Program, bool FullScreen = true) {
    Shown = 0;
    const auto Mapped = [&](Window W) {
      XWindowAttributes A{};
      return W && XGetWindowAttributes(D, W, &A) && A.map_state == IsViewable;
    };
    if (!WaitFor([&] {
          Shown = FindWindow(DefaultRootWindow(D), "Vadrel_Orvane", Program.Id());
          return !Program.Running() || (Mapped(Shown) && (!FullScreen || CursorHidden()));
        }, 60s, 50ms) || !Program.Running())
      ADD_FAILURE() << "the program did not come up; stderr: " << Program.Stderr();
    return Program.Running() ? Shown : 0;
  }

  // The error box the program shows, once it does; 0 when it ends first or shows none.
  Window WaitForErrorBox(TProgram& Program) {
    Window Box = 0;
    WaitFor([&] {
      Box = FindWindow(DefaultRootWindow(D), "Error", -1);
      return Box || !Program.Running();
    }, 30s, 50ms);
    return Box;
  }

  // After input that must not end it: four new frames, each of which checks the rules after the
  // frame that read the input, and it still runs.
  void ExpectStillRunning(TProgram& Program) {
    EXPECT_TRUE(WaitForFrames(D, Shown, 4)) << "no new frames; stderr: " << Program.Stderr();
    EXPECT_TRUE(Program.Running()) << "stderr: " << Program.Stderr();
  }

  void ExpectCleanEnd(TProgram& Program) {
    EXPECT_EQ(Program.WaitForExit(20s), 0) << "stderr: " << Program.Stderr();
    EXPECT_TRUE(WaitFor([&] { return !CursorHidden(); }, 5s, 20ms))
        << "the pointer must be visible again";
  }

  TOwnDisplay Own;
  Display* D = nullptr;
  int Width = 0, Height = 0;
  Window Shown = 0;  // the program's window
};

TEST_F(ExitRules, EscapeEndsIt) {
  TProgram Program;
  ASSERT_NE(WaitUntilRunning(Program), 0u);
  Tap(XK_Escape);
  ExpectCleanEnd(Program);
}

// Regression: the key table is read at the end of a frame, so a press and a release that both
// arrived during one frame went unseen and a quick Escape tap was ignored.
TEST_F(ExitRules, EscapePressedAndReleasedWithinOneFrameEndsIt) {
  TProgram Program;
  ASSERT_NE(WaitUntilRunning(Program), 0u);
  Key(XK_Escape, true);
  Key(XK_Escape, false);
  ExpectCleanEnd(Program);
}

TEST_F(ExitRules, MoveOf31RightAnd31DownEndsIt) {
  TProgram Program;
  ASSERT_NE(WaitUntilRunning(Program), 0u);
  MoveBy(31, 31);
  ExpectCleanEnd(Program);
}

TEST_F(ExitRules, MoveAlongOneAxisOnlyDoesNotEndIt) {
  TProgram Program;
  ASSERT_NE(WaitUntilRunning(Program), 0u);
  MoveBy(200, 0);
  ExpectStillRunning(Program);
  Tap(XK_Escape);
  ExpectCleanEnd(Program);
}

TEST_F(ExitRules, MoveOfExactly30And30DoesNotEndIt) {
  TProgram Program;
  ASSERT_NE(WaitUntilRunning(Program), 0u);
  MoveBy(30, 30);
  ExpectStillRunning(Program);
  MoveBy(-60, -60);  // 30 the other way on both axes: still not more than 30
  ExpectStillRunning(Program);
  Tap(XK_Escape);
  ExpectCleanEnd(Program);
}

TEST_F(ExitRules, HeldKeyOtherThanEscapeDoesNotEndIt) {
  TProgram Program;
  ASSERT_NE(WaitUntilRunning(Program), 0u);
  Key(XK_a, true);
  ExpectStillRunning(Program);
  Key(XK_a, false);
  Tap(XK_space);
  ExpectStillRunning(Program);
  Tap(XK_Escape);
  ExpectCleanEnd(Program);
}

TEST_F(ExitRules, ClosingTheWindowEndsIt) {
  TProgram Program;
  const Window W = WaitUntilRunning(Program);
  ASSERT_NE(W, 0u);
  RequestClose(W);
  ExpectCleanEnd(Program);
}

// A desktop window is an aquarium: the mouse may roam, Escape or closing ends it.
TEST_F(ExitRules, DesktopWindowIgnoresTheMouseAndEndsOnEscape) {
  TProgram Program({}, {"--window=400x250"});
  ASSERT_NE(WaitUntilRunning(Program, false), 0u);
  MoveBy(200, 150);
  ExpectStillRunning(Program);
  EXPECT_FALSE(CursorHidden());
  Tap(XK_Escape);
  ExpectCleanEnd(Program);
}

// SIGINT and SIGTERM end the saver and the desktop window as Escape does: the frame finished, the
// pointer shown again, the context released, exit code 0, nothing said.
TEST_F(ExitRules, StopSignalsEndItLikeEscape) {
  const struct {
    int Signal;
    std::vector<std::string> Arguments;
  } Cases[] = {{SIGTERM, {}}, {SIGINT, {}}, {SIGTERM, {"--window=400x250"}}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(strsignal(C.Signal) + std::string(C.Arguments.empty() ? " saver" : " window"));
    TProgram Program({}, C.Arguments);
    ASSERT_NE(WaitUntilRunning(Program, C.Arguments.empty()), 0u);
    const auto Start = Clock::now();
    kill(Program.Id(), C.Signal);
    ExpectCleanEnd(Program);
    EXPECT_LT(Clock::now() - Start, 2s);
    EXPECT_EQ(Program.Stderr(), "");
  }
}

// A data folder that is missing or is a file, and a creature model that is missing or cannot be
// read: one message naming what failed, exit code 1, and the pointer never hidden. The saver
// shows it in a box (dismissed here as a person would close it); without boxes (headless) it is
// one line on stderr.
TEST_F(ExitRules, BrokenDataIsOneMessageNamingItAndExitCodeOne) {
  const char* Built = std::getenv("VADREL_DATA");
  if (!Built || !std::filesystem::exists(std::string(Built) + "/Vadrel.pp1"))
    GTEST_SKIP() << "no generated data to copy";
  const TTempDir Dir;
  const std::string AFile = Dir.Write("not-a-folder", std::string("x"));
  const std::string NoModel = (Dir.Path() / "no-model").string();
  const std::string Unreadable = (Dir.Path() / "unreadable").string();
  for (const std::string& Copy : {NoModel, Unreadable})
    std::filesystem::copy(Built, Copy, std::filesystem::copy_options::recursive);
  std::filesystem::remove(NoModel + "/Vadrel.pp1");
  std::filesystem::remove(Unreadable + "/Vadrel.pp1");
  std::filesystem::create_directory(Unreadable + "/Vadrel.pp1");  // opens, but reads nothing
  const struct {
    std::string Data, Named, Reason;
  } Cases[] = {
      {(Dir.Path() / "missing").string(), (Dir.Path() / "missing").string(), "No such file"},
      {AFile, AFile, "Not a directory"},
      {NoModel, NoModel + "/Vadrel.pp1", "No such file"},
      {Unreadable, Unreadable + "/Vadrel.pp1", "Is a directory"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Data);
    const std::string Picture = (Dir.Path() / "never.png").string();
    TProgram Headless({"VADREL_DATA=" + C.Data}, {"--screenshot", Picture, "--frames", "2"});
    EXPECT_EQ(Headless.WaitForExit(30s), 1);
    const std::string Err = Headless.Stderr();
    EXPECT_EQ(std::count(Err.begin(), Err.end(), '\n'), 1) << Err;
    EXPECT_NE(Err.find(C.Named), std::string::npos) << Err;
    EXPECT_NE(Err.find(C.Reason), std::string::npos) << Err;
    EXPECT_FALSE(std::filesystem::exists(Picture));

    TProgram Saver({"VADREL_DATA=" + C.Data});
    const Window Box = WaitForErrorBox(Saver);
    ASSERT_NE(Box, 0u) << "no error box; stderr: " << Saver.Stderr();
    EXPECT_FALSE(CursorHidden()) << "the pointer is hidden behind the error box";
    RequestClose(Box);
    EXPECT_EQ(Saver.WaitForExit(20s), 1) << "one box only, then the end; stderr: "
                                         << Saver.Stderr();
    EXPECT_FALSE(CursorHidden());
  }
}

// Regression: a stop signal left the error box up and the process waiting for a click that, under
// a daemon or a session ending, never comes. Now it ends at once, the message kept on stderr.
TEST_F(ExitRules, AStopSignalEndsItWhileItsErrorBoxIsUp) {
  const TTempDir Dir;
  const std::string Missing = (Dir.Path() / "missing").string();
  const struct {
    int Signal;
    std::vector<std::string> Arguments;
  } Cases[] = {{SIGTERM, {}}, {SIGINT, {"--window=400x250"}}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(strsignal(C.Signal));
    TProgram Program({"VADREL_DATA=" + Missing}, C.Arguments);
    ASSERT_NE(WaitForErrorBox(Program), 0u) << "no error box; stderr: " << Program.Stderr();
    kill(Program.Id(), C.Signal);
    EXPECT_EQ(Program.WaitForExit(3s), 1) << "stderr: " << Program.Stderr();
    EXPECT_NE(Program.Stderr().find(Missing), std::string::npos) << Program.Stderr();
    // The box goes with it: nothing of the program is left on the screen.
    EXPECT_TRUE(WaitFor([&] { return !FindWindow(DefaultRootWindow(D), "Error", -1); }, 3s, 50ms))
        << "the error box outlived the program";
  }
}

// ---- What the saver leaves alone: an idle session, the session bus, the processor ----------

using Saver = ExitRules;

// The processes now running whose command line holds Program's name and every one of Words.
std::set<pid_t> ProcessesOf(const std::string& Program, const std::vector<std::string>& Words) {
  std::set<pid_t> Found;
  for (const auto& Entry : std::filesystem::directory_iterator("/proc")) {
    const std::string Name = Entry.path().filename();
    if (Name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream In(Entry.path() / "cmdline");
    std::string Line((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    std::replace(Line.begin(), Line.end(), '\0', ' ');
    if (Line.find(Program) != std::string::npos &&
        std::all_of(Words.begin(), Words.end(),
                    [&](const std::string& W) { return Line.find(W) != std::string::npos; }))
      Found.insert(pid_t(std::stoi(Name)));
  }
  return Found;
}

// What libdbus launches for a program that asks for a session bus where there is none: both stay
// after the program, daemonised, out of its process group.
std::set<pid_t> LaunchedBuses() {
  std::set<pid_t> Found = ProcessesOf("dbus-launch", {"--autolaunch"});
  Found.merge(ProcessesOf("dbus-daemon", {"--fork", "--session"}));
  return Found;
}

// Regression: on a display without a session bus (a plain X session, a test's server), SDL's use
// of libdbus launched one, which was left running after the program.
TEST_F(Saver, LaunchesNoSessionBusWhereTheSessionHasNone) {
  const std::set<pid_t> Before = LaunchedBuses();
  TProgram Program({"DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"});
  ASSERT_NE(WaitUntilRunning(Program), 0u);
  ExpectStillRunning(Program);
  Tap(XK_Escape);
  ExpectCleanEnd(Program);
  EXPECT_EQ(Program.Stderr(), "");
  // A launched bus would have been there since the program's start, as libdbus waits for it.
  std::set<pid_t> Left;
  std::ranges::set_difference(LaunchedBuses(), Before, std::inserter(Left, Left.end()));
  for (const pid_t Pid : Left) {
    ADD_FAILURE() << "left behind: process " << Pid;
    kill(Pid, SIGTERM);
  }
}

// A full-screen window of another program over the saver (as a lock screen is): the saver stops
// drawing, and its processor time with it, yet Escape still ends it; uncovered, it draws again.
TEST_F(Saver, DrawsNothingWhileCoveredAndAgainOnceUncovered) {
  TProgram Program;
  ASSERT_NE(WaitUntilRunning(Program), 0u);
  const double Drawing = CoreShare(Program.Id(), 1s);
  XSetWindowAttributes Attributes{};
  Attributes.override_redirect = True;
  Attributes.background_pixel = BlackPixel(D, DefaultScreen(D));
  const Window Cover = XCreateWindow(D, DefaultRootWindow(D), 0, 0, unsigned(Width),
                                     unsigned(Height), 0, CopyFromParent, InputOutput,
                                     CopyFromParent, CWOverrideRedirect | CWBackPixel, &Attributes);
  const auto Covered = [&] {
    XMapRaised(D, Cover);
    XSync(D, False);
    EXPECT_TRUE(WaitUntilResting(Program.Id())) << "covered, it still draws";
    return CoreShare(Program.Id(), 3s);
  };
  const double Resting = Covered();
  std::printf("processor of the saver: %.1f %% of a core drawing, %.2f %% covered\n",
              Drawing * 100, Resting * 100);
  EXPECT_GT(Drawing, 0.1);
  EXPECT_LT(Resting, 0.03);

  XUnmapWindow(D, Cover);
  XSync(D, False);
  std::string Lack;
  EXPECT_TRUE(WaitFor([&] {
    return (Lack = WhatTheSceneLacks(::Capture(D, DefaultRootWindow(D)))).empty();
  }, 20s)) << "uncovered, the screen lacks " << Lack;

  EXPECT_LT(Covered(), 0.03);
  Tap(XK_Escape);
  ExpectCleanEnd(Program);
  XDestroyWindow(D, Cover);
}

// Without any display the program must neither run invisibly nor report success.
TEST(NoDisplay, ExitsWithCodeOneAndOneLineReason) {
  const std::vector<std::vector<std::string>> Environments = {
      {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"},
      {"SDL_VIDEODRIVER=offscreen"},
      {"SDL_VIDEODRIVER=dummy"},
  };
  for (const auto& Env : Environments) {
    TProgram Program(Env);
    EXPECT_EQ(Program.WaitForExit(20s), 1) << Env[0];
    const std::string Err = Program.Stderr();
    EXPECT_NE(Err.find("no display"), std::string::npos) << Err;
    EXPECT_EQ(std::count(Err.begin(), Err.end(), '\n'), 1) << Err;
  }
}

// The headless mode renders with SDL's offscreen driver, with or without a display; with a seed
// the same command writes the same bytes on every run.
TEST(Screenshot, WritesAPngOfTheRequestedSizeAndASeededRenderIsRepeatable) {
  const TTempDir Dir;
  std::vector<std::string> Pictures;
  for (const char* Name : {"first.png", "second.png"}) {
    const std::string File = (Dir.Path() / Name).string();
    TProgram Program({"DISPLAY", "WAYLAND_DISPLAY"},
                     {"--screenshot", File, "--frames", "20", "--size", "200x120", "--seed", "3"});
    ASSERT_EQ(Program.WaitForExit(60s), 0) << Program.Stderr();
    std::ifstream In(File, std::ios::binary);
    Pictures.emplace_back(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
  }
  const std::string& Header = Pictures[0];
  ASSERT_GE(Header.size(), 24u) << "no PNG written";
  EXPECT_EQ(Header.substr(1, 3), "PNG");
  const auto Be32 = [&](int At) {
    unsigned Value = 0;
    for (int I = At; I < At + 4; ++I) Value = Value << 8 | unsigned(std::uint8_t(Header[I]));
    return Value;
  };
  EXPECT_EQ(Be32(16), 200u);
  EXPECT_EQ(Be32(20), 120u);
  EXPECT_TRUE(Pictures[0] == Pictures[1]) << "two runs with --seed 3 wrote different pictures";
}

// Whether process Pid's GL driver draws: a thread of Mesa's software renderer (llvmpipe-N), which
// works only while frames are drawn, has had processor time.
bool DrawsWithLlvmpipe(pid_t Pid) {
  const std::filesystem::path Tasks = "/proc/" + std::to_string(Pid) + "/task";
  std::error_code Error;
  for (const auto& Task : std::filesystem::directory_iterator(Tasks, Error)) {
    std::ifstream Comm(Task.path() / "comm"), Stat(Task.path() / "stat");
    std::string Name, Line;
    if (!std::getline(Comm, Name) || !Name.starts_with("llvmpipe") || !std::getline(Stat, Line))
      continue;
    // The processor times are the 14th and 15th fields, the 12th and 13th after the name.
    std::istringstream Fields(Line.substr(Line.rfind(')') + 2));
    std::string Field;
    long Ticks = 0;
    for (int Number = 3; Number <= 15 && Fields >> Field; ++Number)
      if (Number >= 14) Ticks += std::stol(Field);
    if (Ticks > 0) return true;
  }
  return false;
}

// A stop signal ends a headless render within a frame. The picture asked for was never drawn, so
// none is written (a partial render must not pass for it): one line says so, exit code 1.
TEST(Screenshot, StopSignalsEndItPromptlyWritingNothing) {
  for (const int Signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(strsignal(Signal));
    const TTempDir Dir;
    const std::string File = (Dir.Path() / "never.png").string();
    TProgram Program({"DISPLAY", "WAYLAND_DISPLAY"},
                     {"--screenshot", File, "--frames", "1000000", "--size", "64x48"});
    // Set up and drawing frames: where the driver is not llvmpipe, after the longest wait.
    WaitFor([&] { return !Program.Running() || DrawsWithLlvmpipe(Program.Id()); }, 10s, 20ms);
    ASSERT_TRUE(Program.Running()) << Program.Stderr();
    const auto Start = Clock::now();
    kill(Program.Id(), Signal);
    EXPECT_EQ(Program.WaitForExit(10s), 1);
    EXPECT_LT(Clock::now() - Start, 2s);
    const std::string Err = Program.Stderr();
    EXPECT_NE(Err.find("stopped by a signal"), std::string::npos) << Err;
    EXPECT_EQ(Err.find("stopped by a signal after 0 "), std::string::npos)
        << "stopped before its first frame: " << Err;
    EXPECT_EQ(std::count(Err.begin(), Err.end(), '\n'), 1) << Err;
    EXPECT_FALSE(std::filesystem::exists(File));
  }
}

TEST(Screenshot, UnknownOptionsGiveAOneLineUsageAndExitCodeTwo) {
  for (const std::vector<std::string>& Args :
       {std::vector<std::string>{"--bogus"}, {"--screenshot"},
        {"--screenshot", "x.png", "--frames", "0"}}) {
    TProgram Program({}, Args);
    EXPECT_EQ(Program.WaitForExit(20s), 2) << Args[0];
    const std::string Err = Program.Stderr();
    EXPECT_NE(Err.find("usage: vadrel"), std::string::npos) << Err;
    EXPECT_EQ(std::count(Err.begin(), Err.end(), '\n'), 1) << Err;
  }
}

}  // namespace

// ---- Hack mode: drawing into a window someone else owns -------------------------------------

namespace {

class HackMode : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_EQ(Own.Failure(), "");
    D = Own.Connection();
    // Black: a window the program never drew into stays black.
    W = XCreateSimpleWindow(D, DefaultRootWindow(D), 0, 0, 320, 200, 0, 0, 0);
    XMapWindow(D, W);
    XSync(D, False);
  }
  void TearDown() override {
    if (!D) return;
    XDestroyWindow(D, W);
    if (Colours) XFreeColormap(D, Colours);
  }

  // Replaces the window with one whose visual offers GL without a depth buffer, as a settings
  // dialog's preview window may. False when the server has no such visual.
  bool UseAVisualWithoutDepth() {
    XVisualInfo Template{};
    Template.screen = DefaultScreen(D);
    int Count = 0;
    XVisualInfo* Infos = XGetVisualInfo(D, VisualScreenMask, &Template, &Count);
    const XVisualInfo* Chosen = nullptr;
    for (int I = 0; I < Count && !Chosen; ++I) {
      int UsesGL = 0, Depth = 0;
      glXGetConfig(D, &Infos[I], GLX_USE_GL, &UsesGL);
      glXGetConfig(D, &Infos[I], GLX_DEPTH_SIZE, &Depth);
      if (UsesGL && Depth == 0 && Infos[I].c_class == TrueColor && Infos[I].depth == 24)
        Chosen = &Infos[I];
    }
    if (Chosen) {
      XDestroyWindow(D, W);
      Colours = XCreateColormap(D, DefaultRootWindow(D), Chosen->visual, AllocNone);
      XSetWindowAttributes A{};
      A.colormap = Colours;
      A.background_pixel = 0;
      A.border_pixel = 0;
      W = XCreateWindow(D, DefaultRootWindow(D), 0, 0, 320, 200, 0, Chosen->depth, InputOutput,
                        Chosen->visual, CWColormap | CWBackPixel | CWBorderPixel, &A);
      XMapWindow(D, W);
      XSync(D, False);
    }
    if (Infos) XFree(Infos);
    return Chosen != nullptr;
  }

  std::vector<std::string> Arguments() const {
    char Id[32];
    std::snprintf(Id, sizeof Id, "0x%lx", W);
    return {"-window-id", Id};
  }

  TPicture Capture() { return ::Capture(D, W); }

  void Resize(int Width, int Height) {
    XResizeWindow(D, W, unsigned(Width), unsigned(Height));
    XSync(D, False);
  }

  // The scene fills the window: blue water at the top, lit sand at the bottom, and dark fish on
  // the sand (the floor's own light never makes a pixel that much darker than its row).
  static void ExpectTheScene(const TPicture& P, const std::string& When) {
    ASSERT_GT(P.Width, 0) << When;
    const int H = P.Height;
    EXPECT_GT(P.Mean(0, H / 10, 2), P.Mean(0, H / 10, 0) + 40) << When << ": blue at the top";
    EXPECT_GT(P.Mean(H * 4 / 5, H, 0), 90) << When << ": sand at the bottom";
    EXPECT_GT(P.Mean(H * 4 / 5, H, 1), 90) << When << ": sand at the bottom";
    EXPECT_TRUE(ShowsFish(P)) << When << ": fish on the sand (" << DarkPixels(P) << " dark pixels)";
  }

  // The window's picture once it shows the whole scene and Also holds of it (the program draws
  // its first frame after loading, and follows a resize at its next frame; the school swims, so a
  // moment when too few fish are over the sand passes), or the last one.
  template <typename TAlso>
  TPicture WaitForTheScene(TProgram& Program, TAlso Also) {
    TPicture P;
    WaitFor([&] {
      P = Capture();
      return !Program.Running() || (WhatTheSceneLacks(P).empty() && Also(P));
    }, 60s, 100ms);
    return P;
  }
  TPicture WaitForTheScene(TProgram& Program) {
    return WaitForTheScene(Program, [](const TPicture&) { return true; });
  }

  TOwnDisplay Own;
  Display* D = nullptr;
  Window W = 0;
  Colormap Colours = 0;
};

TEST_F(HackMode, DrawsIntoTheGivenWindowFollowsItsSizeAndEndsOnSigterm) {
  TProgram Program({"XSCREENSAVER_WINDOW"}, Arguments());
  ExpectTheScene(WaitForTheScene(Program), "320x200");

  // A larger window: the picture follows it, so its new corner shows sand, about as red as blue
  // (near 118 each), not the clear colour (76, 76, 255) that a viewport left at the old size would
  // leave there. The corner's mean, not one pixel: a fish may lie on any one pixel of it.
  const auto CornerIsSand = [](const TPicture& P) {
    const TPicture Corner = P.Part(320, 200, 160, 100);
    return Corner.Mean(0, 100, 2) - Corner.Mean(0, 100, 0) < 60;
  };
  Resize(480, 300);
  const TPicture Large = WaitForTheScene(Program, [&](const TPicture& P) {
    return P.Width == 480 && CornerIsSand(P);
  });
  ExpectTheScene(Large, "480x300");
  EXPECT_TRUE(CornerIsSand(Large));

  // The settings dialog's preview size: still drawn, no complaint.
  Resize(200, 150);
  ExpectTheScene(WaitForTheScene(Program, [](const TPicture& P) { return P.Width == 200; }),
                 "200x150");
  EXPECT_TRUE(Program.Running());

  const auto Start = Clock::now();
  kill(Program.Id(), SIGTERM);
  EXPECT_EQ(Program.WaitForExit(5s), 0);
  EXPECT_LT(Clock::now() - Start, 1s);
  EXPECT_EQ(Program.Stderr(), "");
}

// Regression: a preview window whose visual had no depth buffer showed the floor drawn over the
// fish. The program now draws into a child window of its own with a depth buffer.
TEST_F(HackMode, AWindowWithoutADepthBufferStillShowsTheWholeScene) {
  if (!UseAVisualWithoutDepth()) GTEST_SKIP() << "the X server has no GL visual without depth";
  TProgram Program({"XSCREENSAVER_WINDOW"}, Arguments());
  ExpectTheScene(WaitForTheScene(Program), "a visual without depth");
  Resize(200, 150);
  ExpectTheScene(WaitForTheScene(Program, [](const TPicture& P) { return P.Width == 200; }),
                 "200x150 without depth");
  kill(Program.Id(), SIGTERM);
  EXPECT_EQ(Program.WaitForExit(5s), 0);
  EXPECT_EQ(Program.Stderr(), "");
}

// The daemon owns the screen and no one is there to click a box: whichever way the window is
// given, an error is one line on stderr and exit code 1 without waiting for anybody.
TEST_F(HackMode, BrokenDataIsOneLineAndExitCodeOneNeverABox) {
  const TTempDir Dir;
  const std::string Missing = (Dir.Path() / "missing").string();
  char Id[32];
  std::snprintf(Id, sizeof Id, "0x%lx", W);
  const struct {
    std::vector<std::string> Environment, Arguments;
  } Cases[] = {{{"XSCREENSAVER_WINDOW"}, Arguments()},
               {{std::string("XSCREENSAVER_WINDOW=") + Id}, {"-root"}},
               {{std::string("XSCREENSAVER_WINDOW=") + Id}, {}}};
  for (const auto& C : Cases) {
    std::vector<std::string> Environment = C.Environment;
    Environment.push_back("VADREL_DATA=" + Missing);
    TProgram Program(Environment, C.Arguments);
    EXPECT_EQ(Program.WaitForExit(20s), 1) << C.Environment[0];
    const std::string Err = Program.Stderr();
    EXPECT_NE(Err.find(Missing), std::string::npos) << Err;
    EXPECT_EQ(std::count(Err.begin(), Err.end(), '\n'), 1) << Err;
  }
}

// Unmapped, the window is drawn no more; destroyed then, the hack still notices and ends.
TEST_F(HackMode, StopsDrawingIntoAnUnmappedWindowAndEndsWhenItIsDestroyed) {
  TProgram Program({"XSCREENSAVER_WINDOW"}, Arguments());
  ExpectTheScene(WaitForTheScene(Program), "320x200");
  EXPECT_TRUE(WaitForFrames(D, W, 5)) << "the hack does not draw";
  XUnmapWindow(D, W);
  XSync(D, False);
  EXPECT_TRUE(WaitUntilResting(Program.Id())) << "unmapped, the window is still drawn";
  EXPECT_LT(CoreShare(Program.Id(), 3s), 0.03);
  XDestroyWindow(D, W);
  XSync(D, False);
  W = XCreateSimpleWindow(D, DefaultRootWindow(D), 0, 0, 10, 10, 0, 0, 0);  // for TearDown
  EXPECT_EQ(Program.WaitForExit(5s), 0);
  EXPECT_NE(Program.Stderr().find("the window it was drawing into is gone"), std::string::npos)
      << Program.Stderr();
}

TEST_F(HackMode, AWindowThatDoesNotExistIsOneClearLineAndExitCodeOne) {
  TProgram Program({"XSCREENSAVER_WINDOW"}, {"-window-id", "0x1"});
  EXPECT_EQ(Program.WaitForExit(20s), 1);
  const std::string Err = Program.Stderr();
  EXPECT_NE(Err.find("no X window 0x1"), std::string::npos) << Err;
  EXPECT_EQ(std::count(Err.begin(), Err.end(), '\n'), 1) << Err;
}

}  // namespace
