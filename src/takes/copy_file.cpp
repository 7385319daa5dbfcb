#include "takes/copy_file.hpp"

#include <sys/stat.h>

#include <cerrno>

#include "core/print.hpp"
#include "core/regular_file.hpp"
#include "takes/file_clone.hpp"
#include "takes/file_names.hpp"
#include "takes/scratch_file.hpp"
#include "takes/undo_journal.hpp"
#include "wave/file_handle.hpp"

namespace varnow {
namespace {

Status copyInto(std::FILE* source, const std::string& path, const std::string& backup) {
  struct stat info {};
  if (::fstat(::fileno(source), &info) != 0) return fileFailure("read", path, errno);
  ScratchFile copy(backup, kDataScratch, {path});
  if (!copy.opened()) return copy.opened();
  const Status copied = copyFileBytes(::fileno(source), path, ::fileno(copy.stream()),
                                      copy.description(), static_cast<std::int64_t>(info.st_size));
  if (!copied) return copied;
  return copy.replaceTarget();
}

}  // namespace

Status COPY_FILE(std::int64_t number, const std::string& path) {
  // A backup of a file that an insert left half-written would keep the
  // wrong bytes.
  if (Status settled = settlePendingJournal(path); !settled) return settled;
  const FileHandle source = openFile(path, "rb");
  if (!source) {
    const int err = errno;
    // Only a file that truly is not there "does not exist"; any other reason
    // is the sentence alone.
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
