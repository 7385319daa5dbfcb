#include <cerrno>
#include <cstdio>

#include "durable/durable.hpp"
#include "durable/moves.hpp"
#include "wave/file_handle.hpp"

namespace varnow {

Status moveWithoutSettling(const std::string& from, const std::string& to) {
  errno = 0;
  if (std::rename(from.c_str(), to.c_str()) == 0) return Status::success();
  const int err = errno;
  if (err != EXDEV) return fileFailure("rename " + from + " to", to, err);

  FileHandle input = openFile(from, "rb");
  if (!input) return fileFailure("open", from, errno);
  if (Status copied = copyWholeFile(::fileno(input.get()), from, to); !copied) return copied;
  input.reset();
  errno = 0;
  if (std::remove(from.c_str()) != 0) {
    const Status removal = fileFailure("remove", from, errno);
    return Status::failure(removal.message() + " It was copied to " + to +
                           " and is kept under both names.");
  }
  return Status::success();
}

Status moveFile(const std::string& from, const std::string& to) {
  // Neither name may carry an insert that did not finish: the journal would
  // be left beside a name whose file has gone, or beside the file replaced.
  if (Status settled = prepareForUse(from); !settled) return settled;
  if (Status settled = prepareForUse(to); !settled) return settled;
  return moveWithoutSettling(from, to);
}

Status removeFile(const std::string& path) {
  errno = 0;
  if (std::remove(path.c_str()) == 0 || errno == ENOENT) return Status::success();
  return fileFailure("remove", path, errno);
}

}  // namespace varnow
