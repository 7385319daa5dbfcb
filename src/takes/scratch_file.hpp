// A file written beside its target and moved over it only when complete.
//
//   dir/temp_pad.wav   <- every byte written, flushed and synced
//   dir/song.wav       <- replaced by one rename
//
// Until replaceTarget() succeeds the target is untouched; a scratch file that
// is abandoned (an early return, a failed write, a stop request) is closed
// and removed when the ScratchFile goes out of scope, or by a forced exit
// while it exists.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/forced_exit_cleanup.hpp"
#include "core/status.hpp"

namespace varnow {

class ScratchFile {
 public:
  // Creates (or truncates) `scratchName` in the directory of `target` for
  // writing. When the target exists the scratch file takes its permission
  // bits. `inputs` are files the caller still reads while writing: the
  // scratch file may not be one of them (nor the target itself), or creating
  // it would destroy what is being copied. Check opened() before use.
  ScratchFile(std::string target, std::string_view scratchName,
              std::initializer_list<std::string_view> inputs = {});
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // Success, or the sentence saying why the scratch file could not be made.
  const Status& opened() const { return opened_; }
  std::FILE* stream() const { return stream_; }
  const std::string& path() const { return path_; }
  const std::string& target() const { return target_; }
  // How write failures name this file: "the new copy of <target>".
  const std::string& description() const { return description_; }

  // Pushes buffered bytes to the file, so that another stream opened on
  // path() sees everything written so far.
  Status flush();

  // Flushes, syncs and closes the scratch file, then renames it over the
  // target. On failure the target is as it was and the scratch file is gone.
  // A stop request pending by then abandons the rewrite the same way. With
  // `keepOldAs`, the old target is first renamed there instead of being
  // replaced (same directory or below it, so the same file system).
  Status replaceTarget(const std::string& keepOldAs = {});

 private:
  void discard();

  std::string target_;
  std::string path_;
  std::string description_;
  std::FILE* stream_ = nullptr;
  Status opened_ = Status::success();
  ScratchPathGuard guard_;
};

}  // namespace varnow
