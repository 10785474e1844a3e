#include "NamedProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <thread>

TNamedProcess::TNamedProcess(const std::filesystem::path& Folder, const std::string& Name) {
  const std::filesystem::path Program = Folder / Name;
  std::filesystem::copy_file("/bin/sleep", Program);
  std::string Argument0 = Program.string(), Seconds = "60";
  char* Arguments[] = {Argument0.data(), Seconds.data(), nullptr};
  char* Environment[] = {nullptr};
  if (posix_spawn(&Pid, Argument0.c_str(), nullptr, nullptr, Arguments, Environment) != 0)
    Pid = -1;
  // posix_spawn returns while the kernel still sets up the new program, before its arguments can
  // be read.
  const std::string CommandLine = "/proc/" + std::to_string(Pid) + "/cmdline";
  for (int Tries = 0; Pid > 0 && Tries < 500 && std::ifstream(CommandLine).peek() == EOF; ++Tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void TNamedProcess::Stop() {
  if (Pid <= 0) return;
  kill(Pid, SIGKILL);
  waitpid(Pid, nullptr, 0);
  Pid = -1;
}
