// The undo journal of an insert that rewrites a destination in place.
//
// Before the first byte of the destination is overwritten, the bytes about
// to change are saved in a journal beside it and synced to the disk; only
// then is the destination written. A complete insert removes the journal. A
// failed or stopped insert plays it back, and so does the next start of the
// program after a crash: the destination is then byte for byte as it was.
//
//   song.wav                      the destination, rewritten in place
//   .song.wav.varnow-journal      its undo journal while the insert runs
//
// Journal layout (numbers little-endian, unsigned):
//
//   offset   bytes  field
//   0        8      "VNUNDO01": what the file is, and the layout's version
//   8        4      N: length of the destination's file name
//   12       N      the destination's file name, without a directory part
//   12+N     8      the destination's length in bytes before the insert
//   20+N     4      E: how many saved extents follow
//   then E times:
//            8        the extent's first byte offset in the destination
//            8        B: its length in bytes
//            B        the destination's bytes there before the insert
//   end-8    8      FNV-1a 64 checksum of every byte before it
//
// Every saved extent lies inside the destination's old length; the bytes
// the insert appends beyond it are undone by cutting the file back to that
// length. A journal whose checksum does not match (a crash while it was
// being written, when the destination was not touched yet) is never applied.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/status.hpp"

namespace varnow {

inline constexpr std::string_view kJournalSuffix = ".varnow-journal";

// ".<file name>.varnow-journal" in the directory of `destination`.
std::string journalPath(std::string_view destination);

// A stretch of the destination whose bytes are saved.
struct SavedExtent {
  std::int64_t offsetByte = 0;
  std::int64_t lengthBytes = 0;
};

// Creates the journal of `destination` (open for reading as
// `destinationFd`, `oldLengthBytes` long) holding the current bytes of each
// extent, and syncs it and its directory. The journal must not exist yet. On
// failure no journal is left and the destination was not touched.
Status writeUndoJournal(const std::string& destination, int destinationFd,
                        std::int64_t oldLengthBytes, std::span<const SavedExtent> extents);

// Removes the journal of a complete insert and syncs its directory, so that
// no later start can undo the insert.
Status removeUndoJournal(const std::string& journal);

enum class PlaybackOutcome {
  kRestored,  // the destination is as it was before the insert; the journal is gone
  kDamaged,   // the checksum does not match, or the fields contradict each other: not applied
  kFailed,    // the destination could not be restored (message says why); the journal stays
};

struct PlaybackResult {
  PlaybackOutcome outcome = PlaybackOutcome::kFailed;
  std::string destination;  // the restored file, when known
  std::string message;      // one line for the user, ending with a full stop
};

// Checks the journal at `journal` and writes its saved bytes back into its
// destination, cuts the destination to its old length, syncs it, then
// removes the journal. Prints nothing.
PlaybackResult playBackJournal(const std::string& journal);

// Plays back every journal left in `directory` by an insert that did not
// finish, printing one line for each (restored, or left alone and why).
void recoverUndoJournals(const std::string& directory);

}  // namespace varnow
