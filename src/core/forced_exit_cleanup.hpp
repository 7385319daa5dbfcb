// What the program still does when it has to end from inside a signal handler
// (a second Ctrl-C while a stop hangs in a device that does not return).
//
// Only async-signal-safe work is possible there, so the files that must not
// be left as they are register here for as long as they are in that state:
//
//   a take file being recorded   its size fields are set to the whole
//                                samples it holds (a partial one is cut)
//   a scratch file being written it is removed
//
// The tables have fixed sizes and are filled and read without allocation.
#pragma once

#include <cstdint>
#include <string>

namespace varnow {

inline constexpr int kGuardedTakeFiles = 256;

// Take file `slot` (0 .. kGuardedTakeFiles - 1) is open for writing on `fd`,
// its samples starting at byte `dataStartByte`, right after the data chunk's
// size field. Releasing it again (before the descriptor is closed) ends the
// guard.
void guardTakeFile(int slot, int fd, std::int64_t dataStartByte);
void releaseTakeFile(int slot);

// A scratch file that a forced exit removes, guarded from guard() until
// release() or the end of the object. guard() takes a copy of the path; a
// guard when every slot is taken does nothing.
class ScratchPathGuard {
 public:
  ScratchPathGuard() = default;
  explicit ScratchPathGuard(const std::string& path) { guard(path); }
  ~ScratchPathGuard() { release(); }
  ScratchPathGuard(const ScratchPathGuard&) = delete;
  ScratchPathGuard& operator=(const ScratchPathGuard&) = delete;

  void guard(const std::string& path);
  void release();

 private:
  std::string path_;
  int slot_ = -1;
};

// Async-signal-safe: repairs every guarded take file and removes every guarded
// scratch file. The caller ends the process right after.
void runForcedExitCleanup();

}  // namespace varnow
