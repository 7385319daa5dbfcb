#include "takes/scratch_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "core/regular_file.hpp"
#include "core/stop_request.hpp"
#include "takes/byte_copy.hpp"
#include "takes/file_names.hpp"

namespace varnow {
namespace {

// True when `a` and `b` name the same existing file.
bool sameFile(const std::string& a, std::string_view b) {
  struct stat aInfo {};
  struct stat bInfo {};
  const std::string bPath(b);
  if (::stat(a.c_str(), &aInfo) != 0 || ::stat(bPath.c_str(), &bInfo) != 0) return false;
  return aInfo.st_dev == bInfo.st_dev && aInfo.st_ino == bInfo.st_ino;
}

}  // namespace

ScratchFile::ScratchFile(std::string target, std::string_view scratchName,
                         std::initializer_list<std::string_view> inputs)
    : target_(std::move(target)),
      path_(besideFile(target_, scratchName)),
      description_("the new copy of " + target_) {
  bool clashes = sameFile(path_, target_);
  for (std::string_view input : inputs)
    clashes = clashes || sameFile(path_, input);
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
    opened_ = fileFailure("create", path_, errno);
    return;
  }
  guard_.guard(path_);
  struct stat targetInfo {};
  if (::stat(target_.c_str(), &targetInfo) == 0 &&
      ::fchmod(::fileno(stream_), targetInfo.st_mode & 07777) != 0) {
    opened_ = fileFailure("set the permissions of", path_, errno);
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

Status ScratchFile::flush() {
  errno = 0;
  if (stream_ == nullptr) return fileFailure("write", description_, EBADF);
  if (std::fflush(stream_) != 0) return fileFailure("write", description_, errno);
  return Status::success();
}

Status ScratchFile::replaceTarget(const std::string& keepOldAs) {
  if (stopRequested()) {
    discard();
    return stoppedWriting(description_);
  }
  Status flushed = flush();
  if (!flushed) {
    discard();
    return flushed;
  }
  // Without the sync a crash just after the rename could leave the target
  // empty: the rename may reach the disk before the data does.
  errno = 0;
  if (::fsync(::fileno(stream_)) != 0) {
    const int err = errno;
    discard();
    return fileFailure("write", description_, err);
  }
  std::FILE* stream = std::exchange(stream_, nullptr);
  errno = 0;
  if (std::fclose(stream) != 0) {
    const int err = errno;
    std::remove(path_.c_str());
    guard_.release();
    return fileFailure("write", description_, err);
  }
  errno = 0;
  if (!keepOldAs.empty() && std::rename(target_.c_str(), keepOldAs.c_str()) != 0) {
    const int err = errno;
    std::remove(path_.c_str());
    guard_.release();
    return fileFailure("keep the old copy of " + target_ + " as", keepOldAs, err);
  }
  errno = 0;
  if (std::rename(path_.c_str(), target_.c_str()) != 0) {
    const int err = errno;
    std::remove(path_.c_str());
    guard_.release();
    // The old target goes back where it was.
    if (!keepOldAs.empty()) std::rename(keepOldAs.c_str(), target_.c_str());
    return fileFailure("replace", target_, err);
  }
  guard_.release();
  return Status::success();
}

}  // namespace varnow
