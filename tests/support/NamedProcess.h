// A process of this user running a program of a chosen name (a copy of sleep under that name), for
// the tests that find programs by their names: screen-saver daemons, screen lockers.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

class TNamedProcess {
public:
  // Runs Folder/Name (copied there from sleep) for a minute at most; Id() is -1 when it failed.
  // Returns once the process's arguments can be read, as they can for any program that has
  // started.
  TNamedProcess(const std::filesystem::path& Folder, const std::string& Name);
  ~TNamedProcess() { Stop(); }
  TNamedProcess(const TNamedProcess&) = delete;
  TNamedProcess& operator=(const TNamedProcess&) = delete;
  pid_t Id() const { return Pid; }
  // Kills and reaps it (no zombie of that name is left).
  void Stop();

private:
  pid_t Pid = -1;
};
