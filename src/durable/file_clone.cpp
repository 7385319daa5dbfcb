#include "durable/file_clone.hpp"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "core/positioned_io.hpp"
#include "core/scratch_file.hpp"

namespace varnow {
namespace {

constexpr std::size_t kPlainPieceBytes = 4096;

Status endedEarly(const std::string& fromName, std::int64_t missingBytes) {
  return Status::failure("Could not read " + fromName + ": the file ended " +
                         std::to_string(missingBytes) + " bytes early.");
}

// Errors that only say the kernel cannot copy between these two files.
bool notOffered(int err) {
  return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP || err == ENOTTY ||
         err == EBADF || err == EPERM;
}

bool clone(int fromFd, int toFd) {
  if (::ioctl(toFd, FICLONE, fromFd) == 0) return true;
  // Nothing of a refused clone may remain before the next method writes.
  [[maybe_unused]] const int cut = ::ftruncate(toFd, 0);
  return false;
}

// Copies from `copiedBytes` on with copy_file_range; returns with
// copiedBytes short of byteCount (and success) when the kernel does not
// offer it for these files.
Status copyRange(int fromFd, const std::string& fromName, int toFd, const std::string& toName,
                 std::int64_t byteCount, std::int64_t& copiedBytes) {
  while (copiedBytes < byteCount) {
    loff_t in = copiedBytes;
    loff_t out = copiedBytes;
    const ssize_t done = ::copy_file_range(fromFd, &in, toFd, &out,
                                           static_cast<std::size_t>(byteCount - copiedBytes), 0);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) {
      if (notOffered(errno)) return Status::success();
      return fileFailure("write", toName, errno);
    }
    if (done == 0) return endedEarly(fromName, byteCount - copiedBytes);
    copiedBytes += done;
  }
  return Status::success();
}

Status plainCopy(int fromFd, const std::string& fromName, int toFd, const std::string& toName,
                 std::int64_t byteCount, std::int64_t copiedBytes) {
  std::array<std::uint8_t, kPlainPieceBytes> piece{};
  while (copiedBytes < byteCount) {
    const auto want =
        static_cast<std::size_t>(std::min<std::int64_t>(byteCount - copiedBytes, kPlainPieceBytes));
    const ssize_t got = ::pread(fromFd, piece.data(), want, static_cast<off_t>(copiedBytes));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fileFailure("read", fromName, errno);
    if (got == 0) return endedEarly(fromName, byteCount - copiedBytes);
    if (!writeAt(toFd, copiedBytes, piece.data(), got)) return fileFailure("write", toName, errno);
    copiedBytes += got;
  }
  return Status::success();
}

}  // namespace

Status copyFileBytes(int fromFd, const std::string& fromName, int toFd, const std::string& toName,
                     std::int64_t byteCount, CopyMethod first) {
  if (first == CopyMethod::kClone && clone(fromFd, toFd)) return Status::success();
  std::int64_t copiedBytes = 0;
  if (first != CopyMethod::kPlainCopy) {
    const Status ranged = copyRange(fromFd, fromName, toFd, toName, byteCount, copiedBytes);
    if (!ranged || copiedBytes == byteCount) return ranged;
  }
  return plainCopy(fromFd, fromName, toFd, toName, byteCount, copiedBytes);
}

Status copyWholeFile(int fromFd, const std::string& from, const std::string& to, CopyMethod first) {
  struct stat info {};
  if (::fstat(fromFd, &info) != 0) return fileFailure("read", from, errno);
  ScratchFile copy(to, kDataScratch, {from});
  if (!copy.opened()) return copy.opened();
  const Status copied = copyFileBytes(fromFd, from, ::fileno(copy.stream()), copy.description(),
                                      static_cast<std::int64_t>(info.st_size), first);
  if (!copied) return copied;
  return copy.replaceTarget();
}

}  // namespace varnow
