#include "takes/copy_file.hpp"

#include <cerrno>

#include "app/print.hpp"
#include "core/regular_file.hpp"
#include "takes/byte_copy.hpp"
#include "takes/file_names.hpp"
#include "takes/scratch_file.hpp"
#include "wave/file_handle.hpp"

namespace varnow {
namespace {

Status copyInto(std::FILE* source, const std::string& path, const std::string& backup) {
  const std::int64_t fileBytes = fileLengthBytes(source);
  if (fileBytes < 0 || !seekTo(source, 0)) return fileFailure("read", path, errno);
  ScratchFile copy(backup, kDataScratch, {path});
  if (!copy.opened()) return copy.opened();
  const Status copied =
      copyBytes({source, path}, {copy.stream(), copy.description()}, fileBytes, kCopyPieceBytes);
  if (!copied) return copied;
  return copy.replaceTarget();
}

}  // namespace

Status COPY_FILE(std::int64_t number, const std::string& path) {
  errno = 0;
  const FileHandle source = openFile(path, "rb");
  if (!source) {
    const int err = errno;
    // A file that is there but cannot be read is not said to be missing.
    if (trulyAbsent(path, err)) print("File %s does not exist\n", path.c_str());
    return fileFailure("open", path, err);
  }
  const std::string backup = backupName(path, number);
  const Status copied = copyInto(source.get(), path, backup);
  if (!copied) {
    print("Cannot create backup file %s\n", backup.c_str());
    return copied;
  }
  print("Copied %s to %s\n", path.c_str(), backup.c_str());
  return copied;
}

}  // namespace varnow
