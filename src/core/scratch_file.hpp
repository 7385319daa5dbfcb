// A file written beside its target and moved over it only when complete:
// the one way the program replaces a file whole (param.txt, the history
// file, an export, a padded take, a backup, a copy across file systems).
//
//   dir/temp_pad.wav   <- every byte written, flushed and synced
//   dir/song.wav       <- replaced by one rename, then the directory synced
//
// Until replaceTarget() succeeds the target is untouched; a scratch file that
// is abandoned (an early return, a failed write, a stop request) is closed
// and removed when the ScratchFile goes out of scope, or by a forced exit
// while it exists.
#pragma once

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/forced_exit_cleanup.hpp"
#include "core/status.hpp"

namespace varnow {

// Scratch files. Each is created in the directory of the file it is about to
// replace, so that the final rename never crosses a file system.
inline constexpr std::string_view kPadScratch = "temp_pad.wav";    // PAD_FILE
inline constexpr std::string_view kDataScratch = "temp_data.wav";  // COPY_FILE, moves

// The failure of a write that a stop request ended.
Status stoppedWriting(const std::string& name);

// Syncs the file written at `scratch` (open as `fd`; -1 when the caller
// synced it already), renames it over
// `target` (with `keepOldAs`, the old target is first renamed there instead
// of being replaced) and syncs the directory, so that a crash leaves either
// the old target or the complete new one. 0, or the errno of the first
// failure with `failedAt` saying which: "write" (the sync), "keep", "replace"
// or "sync". Before the rename, the target is as it was; only a failed
// directory sync comes after it.
int renameOverSynced(int fd, const std::string& scratch, const std::string& target,
                     const std::string& keepOldAs, const char*& failedAt);

// What a keeper of records hears about the scratch files made while it
// watches: `created` once the file exists, `ready` just before it is renamed
// over its target (complete and synced). A failure abandons the rewrite.
struct ScratchWatcher {
  std::function<Status(const std::string& path)> created;
  std::function<Status(const std::string& path)> ready;
};

// Watches every scratch file made while it lives (one watcher at a time).
class WatchScratchFiles {
 public:
  explicit WatchScratchFiles(ScratchWatcher watcher);
  ~WatchScratchFiles();
  WatchScratchFiles(const WatchScratchFiles&) = delete;
  WatchScratchFiles& operator=(const WatchScratchFiles&) = delete;
};

class ScratchFile {
 public:
  // Creates (or truncates) `scratchName` in the directory of `target` for
  // writing. When the target exists the scratch file takes its permission
  // bits. `inputs` are files the caller still reads while writing: the
  // scratch file may not be one of them (nor the target itself), or creating
  // it would destroy what is being copied. Write failures name the file
  // `description` ("the new copy of <target>" when empty). Check opened()
  // before use.
  ScratchFile(std::string target, std::string_view scratchName,
              std::initializer_list<std::string_view> inputs = {}, std::string description = {});
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // Success, or the sentence saying why the scratch file could not be made.
  const Status& opened() const { return opened_; }
  std::FILE* stream() const { return stream_; }
  const std::string& path() const { return path_; }
  const std::string& target() const { return target_; }
  const std::string& description() const { return description_; }
  // The errno of the last failure (0 when none).
  int error() const { return error_; }

  // Pushes buffered bytes to the file, so that another stream opened on
  // path() sees everything written so far.
  Status flush();

  // Flushes, syncs and closes the scratch file, then renames it over the
  // target (renameOverSynced). On failure the target is as it was and the
  // scratch file is gone, except when only the directory's sync failed,
  // which the sentence says. A stop request pending by then abandons the
  // rewrite the same way. With `keepOldAs`, the old target is first renamed
  // there instead of being replaced (same directory or below it, so the
  // same file system).
  Status replaceTarget(const std::string& keepOldAs = {});

 private:
  void discard();
  Status failed(const char* action, const std::string& name, int err);

  std::string target_;
  std::string path_;
  std::string description_;
  std::FILE* stream_ = nullptr;
  Status opened_ = Status::success();
  int error_ = 0;
  ScratchPathGuard guard_;
};

}  // namespace varnow
