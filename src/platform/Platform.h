// Platform: the Linux stand-ins for the operating-system services the program uses: the one
// message function every report passes through, the data folder and its path mapping, whole-file
// reading, where the user's configuration file lives, the performance counter with its
// millisecond fallback, stop signals, GL entry points by name and the key-code mapping. Depends on
// SDL2 (in the source only; this header is plain C++ so that every layer may include it).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---- Messages -------------------------------------------------------------------------------

// Every line the program writes for a person goes through one of these functions.
//
// ShowMessage: "Caption: Text" on stderr, then, where boxes are available, Text in a modal box
// with Caption and one OK button. For what the user must acknowledge (refused pictures, the error
// that ends the program). SIGINT or SIGTERM while the box is up ends the process with exit code 1.
void ShowMessage(const std::string& Text, const std::string& Caption);
// ShowDiagnostic: one line "vadrel: Text" on stderr. For everything else: why the program cannot
// start, what it changed in the configuration, what a refused file's decoder said.
void ShowDiagnostic(const std::string& Text);

// ShowText: what the user asked to read (the help), as it stands, on stdout.
void ShowText(const std::string& Text);

// The seams behind them: tests install sinks to capture what would be shown. An empty sink
// restores the default. Each returns the sink that was installed before.
using TMessageSink = std::function<void(const std::string& Text, const std::string& Caption)>;
TMessageSink SetMessageSink(TMessageSink Sink);
using TDiagnosticSink = std::function<void(const std::string& Text)>;
TDiagnosticSink SetDiagnosticSink(TDiagnosticSink Sink);

// True while the message box can be shown on screen: a real display is up, not the offscreen or
// dummy driver, and the program owns its window (a screen-saver daemon that owns the screen has
// no one to click a box). Set by the shell once the video subsystem is running.
void SetMessageBoxesAvailable(bool Available);

// ---- Files and the data folder --------------------------------------------------------------

// The absolute data-folder prefix that data names are written with (mapped by MapPath).
inline constexpr std::string_view DataPrefix = "C:\\Vadrel_Data\\";

// The data folder: $VADREL_DATA when set; else the first that holds the creature model of: the
// build tree's folder beside the program, the installed folder relative to the program (so an
// install under any prefix finds its data), the folder this build generated; else the folder
// this build would install. No trailing slash.
std::string DataFolder();

// True when the program runs from its build folder (a CMake build tree), not from an install.
bool RunFromBuildTree();

// Maps a data name to a Linux path: the prefix "C:\Vadrel_Data\" becomes the data folder and
// every backslash becomes '/'. Relative names stay relative to the current directory.
std::string MapPath(std::string_view Name);

// True when Path names an existing regular file (or a link to one).
bool FileExists(const std::string& Path);

// Why Path cannot be used as a folder, in the system's words ("No such file or directory", "Not a
// directory"...); nothing when it is a folder.
std::optional<std::string> FolderProblem(const std::string& Path);

// Reads the whole file into Bytes. False when it cannot be opened or read completely.
bool ReadWholeFile(const std::string& Path, std::vector<std::uint8_t>& Bytes);

// ---- Configuration file ---------------------------------------------------------------------

// The user's own configuration file, read before the data folder's: $XDG_CONFIG_HOME/vadrel/
// Vadrel.ini, or ~/.config/vadrel/Vadrel.ini when XDG_CONFIG_HOME is unset or not absolute.
// Empty when neither it nor HOME is set.
std::string UserConfigFile();

// ---- Timing ---------------------------------------------------------------------------------

// The high-resolution counter: ticks per second, or 0 when there is none (then only the
// millisecond clock is used).
std::int64_t PerformanceFrequency();
std::int64_t PerformanceCounter();

// The millisecond clock of the fallback; wraps around after 2^32 ms.
std::uint32_t MillisecondClock();

// Hooks: pretend there is no high-resolution counter, and replace the millisecond clock or the
// high-resolution counter (an empty function restores the real one). The headless mode replaces
// the counter with one that steps once per frame, so that a seeded render is repeatable.
void SetPerformanceCounterAvailable(bool Available);
void SetMillisecondClock(std::function<std::uint32_t()> Clock);
void SetPerformanceCounter(std::function<std::int64_t()> Counter);

// The most memory the process has held at once (its peak resident set), in bytes.
std::uint64_t PeakMemoryBytes();

// ---- Stopping ---------------------------------------------------------------------------------

// From now on SIGINT and SIGTERM only ask the program to stop: the loops finish the frame in
// progress, release what they hold and end. Call before SDL starts (SDL is told to leave the two
// signals alone).
void InstallStopSignals();
// True once SIGINT or SIGTERM arrived.
bool StopRequested();
// Sleeps Microseconds, or less when a stop is requested meanwhile.
void SleepUnlessStopped(int Microseconds);

// ---- GL entry points and keys ---------------------------------------------------------------

// The address of a GL function by name, or nullptr. Needs a current GL context.
void* GetGLProcAddress(const char* Name);

// The Windows virtual-key number (0-255) of an SDL key code, or -1 when it has none.
int VirtualKeyFromSDL(std::int32_t SDLKeyCode);
