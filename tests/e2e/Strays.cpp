#include "Strays.h"

#include "TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Registered with atexit: the test process's children end with it. A forked child that exits
// through exit() runs it too, and leaves its parent's children alone.
void EndAllChildren() {
  static const pid_t Owner = getpid();
  if (getpid() == Owner) EndChildren({});
}

// Mount points in this process's namespace at or under Folder, deepest first.
std::vector<std::string> MountsUnder(const fs::path& Folder) {
  const std::string Root = fs::weakly_canonical(Folder).string();
  std::vector<std::string> Found;
  std::ifstream In("/proc/self/mountinfo");
  for (std::string Line; std::getline(In, Line);) {
    std::istringstream Fields(Line);
    std::string Skip, Point;
    Fields >> Skip >> Skip >> Skip >> Skip >> Point;
    std::string Decoded;  // spaces and the like are written as \ooo
    for (std::size_t I = 0; I < Point.size(); ++I)
      if (Point[I] == '\\' && I + 3 < Point.size()) {
        Decoded += char(std::stoi(Point.substr(I + 1, 3), nullptr, 8));
        I += 3;
      } else {
        Decoded += Point[I];
      }
    if (Decoded == Root || Decoded.starts_with(Root + "/")) Found.push_back(Decoded);
  }
  std::sort(Found.begin(), Found.end(), [](const auto& A, const auto& B) {
    return A.size() > B.size();
  });
  return Found;
}

// Runs Program with Arguments, its output to /dev/null; true when it exits with 0.
bool Quietly(const char* Program, const std::vector<std::string>& Arguments) {
  std::vector<char*> Argv = {const_cast<char*>(Program)};
  for (const std::string& A : Arguments) Argv.push_back(const_cast<char*>(A.c_str()));
  Argv.push_back(nullptr);
  const pid_t Pid = fork();
  if (Pid == 0) {
    const int Null = open("/dev/null", O_RDWR);
    dup2(Null, 1);
    dup2(Null, 2);
    execvp(Program, Argv.data());
    _exit(127);
  }
  int Status = 0;
  return Pid > 0 && waitpid(Pid, &Status, 0) == Pid && WIFEXITED(Status) &&
         WEXITSTATUS(Status) == 0;
}

}  // namespace

void AdoptOrphans() {
  static std::once_flag Once;
  std::call_once(Once, [] {
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    EndAllChildren();  // notes the owner
    std::atexit(EndAllChildren);
  });
}

void EndChildren(const std::set<pid_t>& Keep) {
  // Each round kills what is left; a killed process's own children are reparented here as it
  // dies, and are found in a later round.
  for (int Round = 0; Round < 500; ++Round) {
    bool Any = false;
    for (const pid_t Child : ChildrenOf(getpid(), true)) {
      if (Keep.contains(Child)) continue;
      Any = true;
      kill(Child, SIGKILL);  // a zombie's is ignored
      waitpid(Child, nullptr, WNOHANG);
    }
    if (!Any) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void Unmount(const fs::path& Folder) {
  for (const std::string& Point : MountsUnder(Folder))
    if (umount2(Point.c_str(), MNT_DETACH) != 0 && !Quietly("fusermount3", {"-u", "-z", Point}))
      Quietly("fusermount", {"-u", "-z", Point});
}

TStrayReaper::TStrayReaper(fs::path Where) : Folder(std::move(Where)) {
  AdoptOrphans();
  for (const pid_t Child : ChildrenOf(getpid(), true)) Before.insert(Child);
}

TStrayReaper::~TStrayReaper() {
  EndChildren(Before);
  if (!Folder.empty()) Unmount(Folder);
}
