// A file rewritten in place behind its undo journal: journal first, then the
// in-place write, then the commit (the journal removed or kept).
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "core/positioned_io.hpp"
#include "core/print.hpp"
#include "core/stop_request.hpp"
#include "durable/durable.hpp"
#include "durable/undo_journal.hpp"

namespace varnow {
namespace {

// Writes one stretch piece by piece in stream order, each byte once; the old
// bytes of a piece are read just before it is written, so no earlier piece
// reaches into them. Between pieces a stop request ends the work (the caller
// undoes it).
Status writeStretch(const RewrittenStretch& stretch, int fd, std::int64_t fileBytes,
                    const std::string& path) {
  std::vector<std::uint8_t> oldPiece(kJournalPieceBytes);
  std::vector<std::uint8_t> newPiece(kJournalPieceBytes);
  for (std::int64_t at = 0; at < stretch.lengthBytes; at += kJournalPieceBytes) {
    const std::int64_t bytes = std::min(kJournalPieceBytes, stretch.lengthBytes - at);
    const auto size = static_cast<std::size_t>(bytes);
    const std::int64_t offset = stretch.offsetByte + at;
    if (!readAt(fd, offset, oldPiece.data(), bytes, fileBytes)) {
      return fileFailure("read", path, errno);
    }
    if (Status composed = stretch.compose(at, {oldPiece.data(), size}, {newPiece.data(), size});
        !composed) {
      return composed;
    }
    if (!writeAt(fd, offset, newPiece.data(), bytes)) return fileFailure("write", path, errno);
    if (at + bytes < stretch.lengthBytes && stopRequested()) {
      return Status::failure(
          formatText("The insert into %s was stopped before it was finished.", path.c_str()));
    }
  }
  return Status::success();
}

// Plays the journal back after `cause` stopped the rewrite.
Status undo(const std::string& path, const std::string& journal, const Status& cause) {
  const PlaybackResult played = playBackJournal(journal, PlaybackMode::kRollBack);
  if (played.outcome == PlaybackOutcome::kRestored) {
    return Status::failure(cause.message() +
                           formatText(" %s is as it was before the insert.", path.c_str()));
  }
  return Status::failure(cause.message() + formatText(" Then restoring %s failed: ", path.c_str()) +
                         played.message);
}

}  // namespace

Status rewriteInPlace(const std::string& path, int fd, std::int64_t oldLengthBytes,
                      std::int64_t newLengthBytes, std::span<const RewrittenStretch> stretches,
                      const std::string& keepJournalAs) {
  if (stretches.empty()) return Status::success();
  if (Status journaled = writeUndoJournal(path, fd, oldLengthBytes, newLengthBytes, stretches);
      !journaled) {
    return journaled;
  }
  const std::string journal = journalPath(path);

  // The last stretch first (the samples), then the ones that make it part
  // of the file (its sizes).
  Status written = writeStretch(stretches.back(), fd, oldLengthBytes, path);
  for (std::size_t i = 0; written && i + 1 < stretches.size(); ++i)
    written = writeStretch(stretches[i], fd, oldLengthBytes, path);
  if (written && ::fdatasync(fd) != 0) written = fileFailure("write", path, errno);
  if (!written) return undo(path, journal, written);

  if (!keepJournalAs.empty()) {
    // The journal is kept to take the rewrite back later; a rewrite whose
    // journal cannot be kept is taken back now.
    errno = 0;
    if (std::rename(journal.c_str(), keepJournalAs.c_str()) != 0) {
      return undo(path, journal,
                  fileFailure("keep the undo journal " + journal + " as", keepJournalAs, errno));
    }
    return Status::success();
  }
  if (Status removed = removeUndoJournal(journal); !removed) {
    // The rewrite is complete. A journal that is still there is never
    // applied: its file holds the whole rewrite.
    return Status::failure(
        removed.message() +
        formatText(" The insert into %s is complete; the journal will never be applied.",
                   path.c_str()));
  }
  return Status::success();
}

}  // namespace varnow
