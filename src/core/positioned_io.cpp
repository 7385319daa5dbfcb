#include "core/positioned_io.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/file_paths.hpp"

namespace varnow {

bool readAt(int fd, std::int64_t offset, void* bytes, std::int64_t count, std::int64_t endByte,
            EarlyEnd early) {
  auto* at = static_cast<std::uint8_t*>(bytes);
  const std::int64_t present = std::clamp<std::int64_t>(endByte - offset, 0, count);
  std::int64_t done = 0;
  while (done < present) {
    const ssize_t got = ::pread(fd, at + done, static_cast<std::size_t>(present - done),
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) {
      if (early == EarlyEnd::kFailure) {
        errno = EIO;
        return false;
      }
      break;
    }
    done += got;
  }
  std::memset(at + done, 0, static_cast<std::size_t>(count - done));
  return true;
}

bool writeAt(int fd, std::int64_t offset, const void* bytes, std::int64_t count) {
  const auto* at = static_cast<const std::uint8_t*>(bytes);
  while (count > 0) {
    const ssize_t done =
        ::pwrite(fd, at, static_cast<std::size_t>(count), static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      if (done == 0) errno = EIO;
      return false;
    }
    at += done;
    offset += done;
    count -= done;
  }
  return true;
}

Status syncDirectory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return fileFailure("open the directory", directory, errno);
  const int synced = ::fsync(fd);
  const int err = errno;
  ::close(fd);
  if (synced != 0) return fileFailure("sync the directory", directory, err);
  return Status::success();
}

Status syncDirectoryOf(const std::string& path) {
  return syncDirectory(besideFile(path, "."));
}

}  // namespace varnow
