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
// A journal only ever touches the file it was written for, in a state the
// insert could have left it in. It records who that file is (device and
// inode, and the boot of the system that wrote it) and, for every stretch the
// insert rewrites, the old bytes and a checksum of the new bytes of each
// chunk (the stretch cut at every multiple of 512 bytes and at the old
// length). A crash leaves every chunk old or new, whichever reached the disk
// (a chunk beyond the old length may also read as zeros or be missing), and
// the length anywhere from the old to the new one. A file in any other state
// is not the one the journal was written for, and the journal is refused.
//
// Journal layout (numbers little-endian, unsigned):
//
//   offset  bytes  field
//   0       8      "VNUNDO02": what the file is, and the layout's version
//   8       4      N: length of the destination's file name
//   12      N      the destination's file name, without a directory part
//   12+N    8      st_dev of the destination
//           8      st_ino of the destination
//           36     the boot id of the system that wrote the journal (zeros when unknown)
//           8      the destination's length in bytes before the insert
//           8      its length after a complete insert
//           4      E: how many rewritten stretches follow
//   then E times:
//           8        the stretch's first byte offset in the destination
//           8        L: its length in bytes
//           S        the bytes there before the insert, as far as the old
//                    length reaches: S = clamp(old length - offset, 0, L)
//           8 x K    checksum of the new bytes of each of its K chunks
//   end-8   8      checksum of every byte before it
//
// The bytes the insert appends beyond the old length are undone by cutting
// the file back to it. A journal whose checksum does not match (a crash while
// it was being written, when the destination was not touched yet) is never
// applied.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "core/project_settings.hpp"
#include "core/status.hpp"
#include "durable/durable.hpp"

namespace varnow {

inline constexpr std::string_view kJournalSuffix = ".varnow-journal";

// ".<file name>.varnow-journal" in the directory of `destination`.
std::string journalPath(std::string_view destination);

// Creates the journal of `destination` (open for reading as `destinationFd`,
// `oldLengthBytes` long, `newLengthBytes` after the insert) holding the
// current bytes and the new checksums of each stretch, and syncs it and its
// directory. The journal must not exist yet. On failure no journal is left
// and the destination was not touched.
Status writeUndoJournal(const std::string& destination, int destinationFd,
                        std::int64_t oldLengthBytes, std::int64_t newLengthBytes,
                        std::span<const RewrittenStretch> stretches);

// Removes the journal of a complete insert and syncs its directory, so that
// no later start can undo the insert.
Status removeUndoJournal(const std::string& journal);

// What the journal is to do with its destination.
enum class PlaybackMode {
  // An insert of this session failed: put the old bytes back, whatever of
  // the insert reached the file.
  kRollBack,
  // A journal found before the destination is used, or at start-up: put the
  // old bytes back after an insert that did not finish; a destination that
  // holds the whole insert keeps it, and the journal is removed.
  kRecover,
  // `undo` of a complete insert: put the old bytes back only when the
  // destination is exactly as the insert left it.
  kUndo,
};

enum class PlaybackOutcome {
  kRestored,  // the destination is as it was before the insert; the journal is gone
  kFinished,  // the destination holds the complete insert and keeps it; the journal is gone
  kRefused,   // the journal is damaged, from an earlier version, or not for the file now there
  kFailed,    // the destination could not be restored (message says why); the journal stays
};

struct PlaybackResult {
  PlaybackOutcome outcome = PlaybackOutcome::kFailed;
  std::string destination;  // the destination's path, when known
  std::string message;      // one line for the user, ending with a full stop
  std::string reason;       // refused or failed: why, without what becomes of the journal
};

// Checks the journal at `journal` against the file now at its destination's
// name and, as `mode` says, writes the saved bytes back, cuts the destination
// to its old length and syncs it, then removes the journal. Prints nothing.
PlaybackResult playBackJournal(const std::string& journal,
                               PlaybackMode mode = PlaybackMode::kRecover);

// The same for a journal kept elsewhere (in the undo store) for the file
// `destination`, whose name the journal must bear.
PlaybackResult playBackJournalOnto(const std::string& journal, const std::string& destination,
                                   PlaybackMode mode);

// Success when playing `journal` back onto `destination` in kUndo mode
// would restore it; otherwise the reason. Changes nothing.
Status checkJournalUndoes(const std::string& journal, const std::string& destination);

// True when the journal at `journal` is there but its checksum does not
// match: a crash while it was written, before its destination was touched.
bool journalIsTorn(const std::string& journal);

// Settles a journal left beside `path` before `path` is used: plays it back
// (printing its line) when it belongs to the file there; otherwise returns a
// failure whose sentence says why `path` must not be used yet. Success when
// there is no journal.
Status settlePendingJournal(const std::string& path);

// Plays back every journal left in `directory` by an insert that did not
// finish, printing one line for each (restored, finished, or left alone and
// why), except the journals `skip` says belong to a decision that is still
// to be settled. Journals are named in the lines by `directory` + "/" +
// their name, or by their name alone for ".".
void recoverUndoJournals(const std::string& directory,
                         const std::function<bool(const std::string&)>& skip = {});

// The same for every directory that holds a destination named in one of
// `recordLists`, the project directory left out (journal_recovery.cpp).
void recoverRecordListJournals(const ListFileTable& recordLists,
                               const std::function<bool(const std::string&)>& skip);

}  // namespace varnow
