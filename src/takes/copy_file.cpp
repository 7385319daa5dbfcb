#include "takes/copy_file.hpp"

#include <cerrno>

#include "core/print.hpp"
#include "core/regular_file.hpp"
#include "durable/durable.hpp"
#include "takes/file_names.hpp"
#include "wave/file_handle.hpp"

namespace varnow {

Status COPY_FILE(std::int64_t number, const std::string& path) {
  // A backup of a file that an insert left half-written would keep the
  // wrong bytes.
  if (Status settled = prepareForUse(path); !settled) return settled;
  const FileHandle source = openFile(path, "rb");
  if (!source) {
    const int err = errno;
    // Only a file that truly is not there "does not exist"; any other reason
    // is the sentence alone.
    if (trulyAbsent(path, err)) print("File %s does not exist\n", path.c_str());
    return fileFailure("open", path, err);
  }
  const std::string backup = backupName(path, number);
  const Status copied = copyWholeFile(::fileno(source.get()), path, backup);
  if (!copied) {
    print("Cannot create backup file %s\n", backup.c_str());
    return copied;
  }
  print("Copied %s to %s\n", path.c_str(), backup.c_str());
  return copied;
}

}  // namespace varnow
