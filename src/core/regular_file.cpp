#include "core/regular_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace varnow {

namespace {

// The errno of a name that exists but holds no regular file.
int notRegularError(mode_t mode) {
  return S_ISDIR(mode) ? EISDIR : kNotRegularFile;
}

// Closes `descriptor` and returns -1 with errno = `err`.
int refuse(int descriptor, int err) {
  ::close(descriptor);
  errno = err;
  return -1;
}

}  // namespace

int openRegularFile(const std::string& path, int flags) {
  const bool truncate = (flags & O_TRUNC) != 0;
  const int descriptor = ::open(path.c_str(), (flags & ~O_TRUNC) | O_NONBLOCK | O_CLOEXEC, 0666);
  if (descriptor < 0) {
    // A FIFO opened for writing without a reader fails with ENXIO rather
    // than blocking: it is refused like any other FIFO.
    const int err = errno;
    struct stat status {};
    if (err == ENXIO && ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
      errno = notRegularError(status.st_mode);
    } else {
      errno = err;
    }
    return -1;
  }
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) return refuse(descriptor, errno);
  if (!S_ISREG(status.st_mode)) return refuse(descriptor, notRegularError(status.st_mode));
  const int statusFlags = ::fcntl(descriptor, F_GETFL);
  if (statusFlags < 0 || ::fcntl(descriptor, F_SETFL, statusFlags & ~O_NONBLOCK) != 0) {
    return refuse(descriptor, errno);
  }
  if (truncate && ::ftruncate(descriptor, 0) != 0) return refuse(descriptor, errno);
  return descriptor;
}

std::FILE* openRegularStream(const std::string& path, const char* mode) {
  const bool update = std::strchr(mode, '+') != nullptr;
  int flags = 0;
  switch (mode[0]) {
    case 'r':
      flags = update ? O_RDWR : O_RDONLY;
      break;
    case 'w':
      flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
      break;
    case 'a':
      flags = (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
      break;
    default:
      errno = EINVAL;
      return nullptr;
  }
  if (std::strchr(mode, 'x') != nullptr) flags |= O_EXCL;
  const int descriptor = openRegularFile(path, flags);
  if (descriptor < 0) return nullptr;
  // fdopen() does not know "x"; the open above has already applied it.
  const char* streamMode = mode[0] == 'r'   ? (update ? "r+" : "r")
                           : mode[0] == 'w' ? (update ? "w+" : "w")
                                            : (update ? "a+" : "a");
  std::FILE* stream = ::fdopen(descriptor, streamMode);
  if (stream == nullptr) {
    refuse(descriptor, errno);
    return nullptr;
  }
  return stream;
}

bool refusedAsNotRegular(int err) {
  return err == EISDIR || err == kNotRegularFile;
}

Status readerOpenFailure(const std::string& path, int err) {
  return fileFailure(refusedAsNotRegular(err) ? "read" : "open", path, err);
}

bool trulyAbsent(const std::string& path, int openError) {
  if (openError != ENOENT) return false;
  struct stat status {};
  return ::lstat(path.c_str(), &status) != 0 && errno == ENOENT;
}

}  // namespace varnow
