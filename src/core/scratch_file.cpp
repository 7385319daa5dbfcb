#include "core/scratch_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>

#include "core/file_paths.hpp"
#include "core/positioned_io.hpp"
#include "core/regular_file.hpp"
#include "core/stop_request.hpp"

namespace varnow {
namespace {

std::optional<ScratchWatcher> watching;

Status tell(const std::function<Status(const std::string&)>& hear, const std::string& path) {
  return watching && hear ? hear(path) : Status::success();
}

}  // namespace

Status stoppedWriting(const std::string& name) {
  return fileFailure("write", name, EINTR);
}

int renameOverSynced(int fd, const std::string& scratch, const std::string& target,
                     const std::string& keepOldAs, const char*& failedAt) {
  // Without the sync a crash just after the rename could leave the target
  // empty: the rename may reach the disk before the data does.
  errno = 0;
  if (fd >= 0 && ::fsync(fd) != 0) return failedAt = "write", errno;
  if (!keepOldAs.empty() && std::rename(target.c_str(), keepOldAs.c_str()) != 0) {
    return failedAt = "keep", errno;
  }
  if (std::rename(scratch.c_str(), target.c_str()) != 0) {
    const int err = errno;
    // The old target goes back where it was.
    if (!keepOldAs.empty()) std::rename(keepOldAs.c_str(), target.c_str());
    return failedAt = "replace", err;
  }
  if (Status synced = syncDirectoryOf(target); !synced)
    return failedAt = "sync", errno ? errno : EIO;
  return 0;
}

WatchScratchFiles::WatchScratchFiles(ScratchWatcher watcher) {
  watching = std::move(watcher);
}

WatchScratchFiles::~WatchScratchFiles() {
  watching.reset();
}

ScratchFile::ScratchFile(std::string target, std::string_view scratchName,
                         std::initializer_list<std::string_view> inputs, std::string description)
    : target_(std::move(target)),
      path_(besideFile(target_, scratchName)),
      description_(description.empty() ? "the new copy of " + target_ : std::move(description)) {
  bool clashes = sameFile(path_, target_);
  for (std::string_view input : inputs)
    clashes = clashes || sameFile(path_, std::string(input));
  if (clashes) {
    opened_ = Status::failure("Could not rewrite " + target_ + ": its scratch file " + path_ +
                              " is one of the files being read.");
    return;
  }
  errno = 0;
  stream_ = openRegularStream(path_, "wb");
  // Nothing is removed on this failure: whatever stands at the scratch path
  // (a directory, say) is not ours.
  if (stream_ == nullptr) {
    error_ = errno;
    opened_ = fileFailure("create", path_, errno);
    return;
  }
  guard_.guard(path_);
  struct stat targetInfo {};
  if (::stat(target_.c_str(), &targetInfo) == 0 &&
      ::fchmod(::fileno(stream_), targetInfo.st_mode & 07777) != 0) {
    error_ = errno;
    opened_ = fileFailure("set the permissions of", path_, errno);
    discard();
    return;
  }
  if (Status heard = tell(watching ? watching->created : nullptr, path_); !heard) {
    opened_ = heard;
    discard();
  }
}

ScratchFile::~ScratchFile() {
  discard();
}

void ScratchFile::discard() {
  if (stream_ == nullptr) return;
  std::fclose(stream_);
  stream_ = nullptr;
  std::remove(path_.c_str());
  guard_.release();
}

Status ScratchFile::failed(const char* action, const std::string& name, int err) {
  error_ = err;
  discard();
  return fileFailure(action, name, err);
}

Status ScratchFile::flush() {
  errno = 0;
  if (stream_ == nullptr) return fileFailure("write", description_, error_ = EBADF);
  if (std::fflush(stream_) != 0) return fileFailure("write", description_, error_ = errno);
  return Status::success();
}

Status ScratchFile::replaceTarget(const std::string& keepOldAs) {
  if (stopRequested()) {
    discard();
    return stoppedWriting(description_);
  }
  if (Status flushed = flush(); !flushed) {
    discard();
    return flushed;
  }
  errno = 0;
  if (::fsync(::fileno(stream_)) != 0) return failed("write", description_, errno);
  if (Status heard = tell(watching ? watching->ready : nullptr, path_); !heard) {
    discard();
    return heard;
  }
  std::FILE* stream = std::exchange(stream_, nullptr);
  errno = 0;
  if (std::fclose(stream) != 0) {
    error_ = errno;
    std::remove(path_.c_str());
    guard_.release();
    return fileFailure("write", description_, error_);
  }
  const char* failedAt = "";
  const int err = renameOverSynced(-1, path_, target_, keepOldAs, failedAt);
  const std::string_view step(failedAt);
  if (err != 0 && step != "sync") {
    error_ = err;
    std::remove(path_.c_str());
    guard_.release();
    if (step == "keep")
      return fileFailure("keep the old copy of " + target_ + " as", keepOldAs, err);
    return fileFailure("replace", target_, err);
  }
  guard_.release();
  if (err != 0) {
    error_ = err;
    return Status::failure(fileFailure("sync the directory of", target_, err).message() + " " +
                           target_ + " was replaced, but a crash may yet undo that.");
  }
  return Status::success();
}

}  // namespace varnow
