// The durability of the project's files, in one place: the take decision as
// a transaction, the undo journal of an in-place rewrite, start-up recovery,
// and the moves and copies they are made of. Nothing outside this folder
// sees a journal or a record; this header is all it offers.
//
// A take decision, and what a crash or a failure leaves of it:
//
//          begin                 each step               commit
//   (none) -----> carrying out ---------------> carrying out -----> done 'C'
//                 'P' | logged, synced, then                          | undo
//                     | carried out, noted                            v
//                     v                                           undoing 'U'
//             taken back (at once on a failure,                       |
//             or at the next start after a crash)                     v
//                                                   redo  <---- taken back 'X'
//                                            (a new decision    (dropped by the
//                                             of its own)        next new one)
//
// Every decision stays on the history (decision_history.hpp) until a new
// one drops the oldest (beyond the last 100, or over the store's budget),
// or `forget` drops them all. `undo` takes back the newest not taken back
// yet; `redo` carries out again, with the same answers, the one taken back
// last, as a decision of its own in the place of the one taken back.
//
// A step is logged (and synced) before it changes a file, with what it
// takes from its name (the identity of that file: device, inode, size,
// modification time) and, once known, what it leaves there. A step is
// never taken back, redone or completed unless the files under its names
// are what it recorded; the one judge of an insert is its journal, which
// belongs to the step. A file that is not as the step left it is never
// renamed, replaced, truncated or removed: it is left alone and a sentence
// says so, naming where the decision's own files went.
//
//   stash    a file moves into the undo store beside it (.varnow-undo/)
//   rename   a file gets a new name
//   replace  a file is rewritten beside (a ScratchFile) and renamed over;
//            the file as it was moves into the store
//   create   a new file appears (a backup)
//   insert   a file is rewritten in place behind its undo journal, which
//            moves into the store when the rewrite is complete
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/project_settings.hpp"
#include "core/status.hpp"

namespace varnow {

// ---------------------------------------------------------------- start-up

// Before anything else reads the project's files: a decision that a crash
// cut short is taken back, an undo that a crash cut short is completed, and
// the undo journal of every other insert that did not finish in the project
// directory is played back; one line for each.
void recoverAtStart();

// The journals of inserts that did not finish in every directory that holds
// a destination named in one of `recordLists` (every stored list, not only
// the current one; the project directory was done first). Called once the
// settings are read.
void recoverRecordListDirectories(const ListFileTable& recordLists);

// ------------------------------------------------------ using a track file

// Settles what an interrupted insert or decision left pending at `path`
// before it is read, played, exported, created or changed: a journal that
// belongs to the file there is played back (its line printed). Otherwise a
// failure whose sentence says why `path` must not be used yet. Success when
// nothing is pending.
Status prepareForUse(const std::string& path);

// --------------------------------------------------------- a take decision

inline constexpr std::string_view kUndoStore = ".varnow-undo";

// The take a decision was made for, as the take menu needs it again.
struct TakeOnRecord {
  std::string command;
  int inputs = 0;
  std::string takeList;
  std::array<std::int32_t, kMaxChannels> channelFlags{};
  std::int64_t takeLength = 0;
  std::int64_t stamp = 0;
  Position punchPoint = 0;
  Position outPoint = 0;
  std::vector<std::string> recordLines;
  // How it was decided, so that `redo` decides it again the same way: the
  // words answered while it was carried out, and what it was asked with.
  std::vector<std::string> answers;
  std::int64_t crossfadeFrames = 0;  // -1: not recorded (the one set now is used)
  std::int32_t safeMode = 0;
  bool dontAskAgain = false;
  // Set by redoDecision(): the decision carried out again takes the place
  // of the one taken back (0 for a new decision).
  std::uint64_t redoes = 0;
};

class DecisionRecord;

class TakeDecision {
 public:
  TakeDecision();
  ~TakeDecision();
  TakeDecision(const TakeDecision&) = delete;
  TakeDecision& operator=(const TakeDecision&) = delete;

  // Starts the decision about `take`, after the last one: a last decision
  // that is not settled is taken back first (and this one refused when that
  // fails); a settled one stays on the history. On failure the sentence says
  // why and no file of the project has changed.
  Status begin(const TakeOnRecord& take);
  bool active() const;

  // Moves `path` into the undo store (instead of removing it). A file that
  // is not there counts as moved.
  Status stash(const std::string& path);
  // Renames `from` to `to` (moveFile); a file standing at `to` is stashed
  // first, so the rename replaces nothing.
  Status rename(const std::string& from, const std::string& to);
  // `rewrite` replaces `path` by a rewritten copy, moving the file as it was
  // to the path it is given (PAD_FILE's keepOldAs).
  Status replace(const std::string& path,
                 const std::function<Status(const std::string& keepOldAs)>& rewrite);
  // `make` creates `path` (a backup); a file of that name is stashed first.
  Status create(const std::string& path, const std::function<Status()>& make);
  // `rewrite` rewrites `path` in place with rewriteInPlace(), keeping the
  // journal of the complete rewrite as the path it is given.
  Status insert(const std::string& path,
                const std::function<Status(const std::string& keepJournalAs)>& rewrite);

  // Marks the decision done, with the words answered since begin() (for a
  // redo), and trims the history. One whose mark cannot be written is taken
  // back at once, saying so.
  void commit(const std::vector<std::string>& laterAnswers = {});

 private:
  std::unique_ptr<DecisionRecord> record_;
  bool active_ = false;
};

// `undo`: when every file the newest decision not taken back left is as it
// left it, puts every file it changed back as it was (one line per file
// restored or removed) and returns the take it was made for, to be settled
// anew. Otherwise says why in one line and changes nothing; with nothing on
// record, says so.
std::optional<TakeOnRecord> undoLastDecision();

// `redo`: the decision taken back last, to be carried out again through a
// TakeDecision (its `redoes` set), when every file is as the undo left it.
// Otherwise says why in one line and changes nothing; with nothing to
// redo, says so.
std::optional<TakeOnRecord> decisionToRedo();

// The bytes the undo store may keep for the history (the newest decision
// stays whatever it keeps).
void setHistoryBudget(std::int64_t bytes);

// `hist`: the history, newest first, and the store's size.
void listDecisionHistory();

// `forget`: drops the whole history and the files it keeps.
void forgetDecisionHistory();

// ------------------------------------------------- a rewrite in place

// Bytes of a stretch are handed to its composer in pieces of this size (the
// last one shorter), so a stretch of packed samples is cut between samples.
inline constexpr std::int64_t kJournalPieceBytes = 3 * 16384;

// A stretch of a file that a rewrite in place changes. `compose` fills
// `newBytes` with what is written from byte `offsetByte + atByte` on, given
// the bytes there now (`oldBytes`, zeros beyond the file's end); it is
// called once for every piece while the journal is written, and must give
// the same bytes when the rewrite writes them.
struct RewrittenStretch {
  std::int64_t offsetByte = 0;
  std::int64_t lengthBytes = 0;
  std::function<Status(std::int64_t atByte, std::span<const std::uint8_t> oldBytes,
                       std::span<std::uint8_t> newBytes)>
      compose;
};

// Rewrites the stretches of `path` (open for updating as `fd`,
// `oldLengthBytes` long, `newLengthBytes` after), the last stretch first:
// their old bytes go into an undo journal beside it, synced with its
// directory; then every byte is written once, in place, in stream order, a
// stop request ending the work between pieces; then the file is synced and
// the journal removed, or kept as `keepJournalAs` when given. A failure
// plays the journal back: the sentence then ends with "<path> is as it was
// before the insert." (or says that it will be restored before it is next
// used, or at the next start); after a complete rewrite whose journal
// could not be removed it says so (that journal is never applied).
Status rewriteInPlace(const std::string& path, int fd, std::int64_t oldLengthBytes,
                      std::int64_t newLengthBytes, std::span<const RewrittenStretch> stretches,
                      const std::string& keepJournalAs);

// ------------------------------------------------ moves and whole copies

// Renames `from` to `to`, replacing a file that stands at `to`. When the two
// names lie on different file systems the bytes are copied (copyWholeFile)
// and `from` is removed. On failure the sentence names the files and the
// reason; `to` is then as it was, except after a copy across file systems
// whose final removal of `from` failed: the file then exists under both
// names, and the sentence says so.
Status moveFile(const std::string& from, const std::string& to);

// Removes `path`. A file that is already gone counts as removed.
Status removeFile(const std::string& path);

// How the take operations move and remove files: moveFile and removeFile,
// unless the caller keeps a record of what it changes (TakeDecision).
using FileMover = std::function<Status(const std::string& from, const std::string& to)>;
using FileRemover = std::function<Status(const std::string& path)>;

// The ways of copying, cheapest first.
enum class CopyMethod {
  kClone,      // FICLONE: the copy shares the original's blocks (copy-on-write file systems)
  kCopyRange,  // copy_file_range: the kernel copies, without passing the bytes through here
  kPlainCopy,  // reads and writes in pieces of 4096 bytes
};

// Makes `to` a byte-for-byte copy of the whole file open as `fromFd` (named
// `from`), written to kDataScratch beside `to` and renamed over it when
// complete (a ScratchFile). Each method that the file systems do not offer
// falls through to the next one, starting at `first`. A failure is a
// sentence naming the file and the reason; `to` is then as it was.
Status copyWholeFile(int fromFd, const std::string& from, const std::string& to,
                     CopyMethod first = CopyMethod::kClone);

}  // namespace varnow
