#include "wave/file_handle.hpp"

#include <sys/types.h>

#include <cerrno>

#include "core/regular_file.hpp"

namespace varnow {

FileHandle openFile(const std::string& path, const char* mode) {
  return FileHandle(openRegularStream(path, mode));
}

Status closeWritten(FileHandle file, const std::string& path) {
  std::FILE* stream = file.release();
  errno = 0;
  const bool flushed = std::fflush(stream) == 0;
  const int flushError = errno;
  errno = 0;
  const bool closed = std::fclose(stream) == 0;
  if (!flushed) return fileFailure("write", path, flushError);
  if (!closed) return fileFailure("close", path, errno);
  return Status::success();
}

bool seekTo(std::FILE* file, std::int64_t offset) {
  if (offset < 0) {
    errno = EINVAL;
    return false;
  }
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool readExactly(std::FILE* file, void* bytes, std::size_t byteCount) {
  errno = 0;
  return std::fread(bytes, 1, byteCount, file) == byteCount;
}

bool writeExactly(std::FILE* file, const void* bytes, std::size_t byteCount) {
  errno = 0;
  return std::fwrite(bytes, 1, byteCount, file) == byteCount;
}

std::int64_t fileLengthBytes(std::FILE* file) {
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  const off_t length = ftello(file);
  if (length < 0) return -1;
  return static_cast<std::int64_t>(length);
}

}  // namespace varnow
