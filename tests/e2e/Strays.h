// Strays: nothing an end-to-end test starts outlives it, whatever it was started through. The
// test process makes itself the reaper of its descendants' orphans (a daemon a desktop forks off
// is reparented to the test, not to init), so that the end of a desktop's session, and the test
// process's own end, can find and end every such process, and undo mounts a session's programs
// left in its folder. Linux only (prctl, /proc); no user namespace or privilege needed.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <set>

// Makes this process the reaper of its descendants' orphans and, at its exit, ends every child it
// still has. Once per process; later calls do nothing.
void AdoptOrphans();

// Kills every child of this process but Keep, then whatever they leave behind as it is
// reparented here, and reaps them all.
void EndChildren(const std::set<pid_t>& Keep);

// Detaches every mount at or under Folder (as root directly, else through fusermount).
void Unmount(const std::filesystem::path& Folder);

// Made before a session starts its first process, ended after its own processes ended and before
// its folder goes: every child that came since (an orphan of the session, a daemon its programs
// started) is ended and reaped, and whatever is mounted under Folder detached.
class TStrayReaper {
public:
  explicit TStrayReaper(std::filesystem::path Folder = {});
  ~TStrayReaper();
  TStrayReaper(const TStrayReaper&) = delete;
  TStrayReaper& operator=(const TStrayReaper&) = delete;

private:
  std::set<pid_t> Before;
  std::filesystem::path Folder;
};
