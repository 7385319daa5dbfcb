#include "takes/file_move.hpp"

#include <cerrno>
#include <cstdio>

#include "takes/byte_copy.hpp"
#include "takes/file_names.hpp"
#include "takes/scratch_file.hpp"
#include "takes/undo_journal.hpp"
#include "wave/file_handle.hpp"

namespace varnow {
namespace {

Status copyAcross(const std::string& from, const std::string& to) {
  FileHandle input = openFile(from, "rb");
  if (!input) return fileFailure("open", from, errno);
  const std::int64_t fileBytes = fileLengthBytes(input.get());
  if (fileBytes < 0 || !seekTo(input.get(), 0)) return fileFailure("read", from, errno);

  ScratchFile copy(to, kDataScratch, {from});
  if (!copy.opened()) return copy.opened();
  const Status copied = copyBytes({input.get(), from}, {copy.stream(), copy.description()},
                                  fileBytes, kCopyPieceBytes);
  if (!copied) return copied;
  return copy.replaceTarget();
}

}  // namespace

Status moveFile(const std::string& from, const std::string& to) {
  // Neither name may carry an insert that did not finish: the journal would
  // be left beside a name whose file has gone, or beside the file replaced.
  if (Status settled = settlePendingJournal(from); !settled) return settled;
  if (Status settled = settlePendingJournal(to); !settled) return settled;
  errno = 0;
  if (std::rename(from.c_str(), to.c_str()) == 0) return Status::success();
  const int err = errno;
  if (err != EXDEV) return fileFailure("rename " + from + " to", to, err);

  const Status copied = copyAcross(from, to);
  if (!copied) return copied;
  errno = 0;
  if (std::remove(from.c_str()) != 0) {
    const Status removal = fileFailure("remove", from, errno);
    return Status::failure(removal.message() + " It was copied to " + to +
                           " and is kept under both names.");
  }
  return Status::success();
}

Status removeFile(const std::string& path) {
  errno = 0;
  if (std::remove(path.c_str()) == 0 || errno == ENOENT) return Status::success();
  return fileFailure("remove", path, errno);
}

}  // namespace varnow
