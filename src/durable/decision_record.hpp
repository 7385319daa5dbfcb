// The record of one take decision (durable.hpp), kept so that `undo` can
// take it back and `redo` carry it out again, across restarts and crashes.
//
// Nothing is copied to keep a record: stored files are renamed, into a
// .varnow-undo directory beside the file they came from (so never across
// file systems). The records live in the project directory's store; which
// one is where is the history's business (decision_history.hpp).
//
// Record layout (numbers little-endian, unsigned; strings are a 4-byte
// length and the bytes; an identity is device, inode, size and mtime in ns,
// 8 bytes each, all zeros when not known yet):
//
//   0     8   "VNDCSN03" ("VNDCSN02": the same without the fields marked *)
//   8     1   state: 'P' carrying out, 'C' done, 'U' being undone, 'X' taken
//             back (not summed)
//   9     4   H: length of the header's body
//   13    H   command, id, inputs (4), take length, stamp, punch, out (8
//             each), take list, channel flags ('0'/'1' per input), record
//             lines (joined by newlines); * the decision's place in the
//             history (8), its answers (joined by newlines), crossfade
//             frames (8), safety mode (4), and '1' when the overwrite check
//             was not to ask again (1)
//   13+H  8   checksum of bytes 0..7 and 9..13+H
//   then one entry per step, appended as the decision goes on:
//   0     4   E: length of the entry's body
//   4     1   status: '-' planned, 'D' done, 'S' not carried out (not summed)
//   5     32  kept: the file the step takes from its name (not summed)
//   37    32  left: the file the step leaves under its name (not summed)
//   69    32  scratch: the scratch file the step writes (not summed)
//   101   E   kind (1 byte), path, other name, scratch name
//   101+E 8   checksum of bytes 0..3 and 101..101+E
//
// An entry is synced before its step changes a file, and so is each
// identity it learns on the way (kept before the step, left and scratch as
// soon as they exist, before the file is put under its name). An entry
// whose checksum does not match (a crash while it was appended) was never
// carried out, and ends the record. Once the decision is taken back, 'k'
// entries name every file it touched with what the undo left there (its
// `left`; zeros: no file), which a redo must find.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/file_paths.hpp"
#include "core/status.hpp"
#include "durable/durable.hpp"

namespace varnow {

enum class StepKind : char {
  kStash = 's',
  kRename = 'r',
  kReplace = 'p',
  kCreate = 'c',
  kInsert = 'i',
  kAfterUndo = 'k',  // no step: a file as the undo left it
  kAnswers = 'a',    // no step: words answered after the record began (in `path`)
};

// True for the entries that only note something and change no file.
inline bool isNote(StepKind kind) {
  return kind == StepKind::kAfterUndo || kind == StepKind::kAnswers;
}

struct DecisionStep {
  StepKind kind = StepKind::kStash;
  std::string path;          // the name the step changes; for a rename, the new name
  std::string other;         // a rename's old name; the store file of stash, replace and insert
  std::string scratch;       // the scratch file a replace or create writes beside `path`
  char status = '-';         // '-' planned, 'D' done, 'S' not carried out
  FileIdentity kept;         // stash, replace: the file at `path` before; rename: at `other` before
  FileIdentity left;         // the file the step leaves at `path` (rename: kept, or its copy)
  FileIdentity scratchFile;  // the scratch file, once made
};

// Which identity of a step a note fills in.
enum class StepNote { kLeft, kScratch };

enum class DecisionState : char {
  kCarryingOut = 'P',
  kDone = 'C',
  kUndoing = 'U',
  kTakenBack = 'X',
};

class DecisionRecord {
 public:
  DecisionRecord() = default;
  ~DecisionRecord();
  DecisionRecord(DecisionRecord&& other) noexcept;
  DecisionRecord& operator=(DecisionRecord&& other) noexcept;
  DecisionRecord(const DecisionRecord&) = delete;
  DecisionRecord& operator=(const DecisionRecord&) = delete;

  // Starts the record at `path` of a new decision about `take`, the
  // `sequence`th of the history, in place of what is there (which the
  // caller has settled); the first planned step syncs it. On failure (the
  // store cannot be made, the disk is full) the sentence says why and no
  // file of the project has changed.
  static Status begin(const TakeOnRecord& take, const std::string& path, std::uint64_t sequence,
                      DecisionRecord& record);

  // Reads the record at `path`. Nothing when there is none (or it is
  // empty); a failure when it cannot be read or is damaged.
  static Status load(const std::string& path, std::optional<DecisionRecord>& record);

  // Appends `step` and syncs the record; `index` is its place. The step
  // must not be carried out when this fails.
  Status plan(DecisionStep step, std::size_t& index);
  // Appends every one of `steps` with one sync.
  Status planAll(std::vector<DecisionStep> steps);
  // Writes the identity of the file at `path` into step `index` as `note`
  // says, and syncs it.
  Status note(std::size_t index, StepNote note, const std::string& path);
  // The store file for `path` in the store beside it (made when missing).
  Status storeFileFor(const std::string& path, std::string& stored) const;
  // Marks step `index` done or not carried out. Not synced (the files tell
  // what a lost mark would have said); a failure is returned to be reported.
  Status finish(std::size_t index, bool done);
  // Sets the state and syncs the record.
  Status setState(DecisionState state);
  // The files the steps moved into the store (stash, replace, insert).
  std::vector<std::string> storedFiles() const;
  // Empties the record, then removes the stored files that are still there.
  Status drop();
  // Empties the record, leaving every file where it is.
  Status clear();

  DecisionState state() const { return state_; }
  const TakeOnRecord& take() const { return take_; }
  const std::vector<DecisionStep>& steps() const { return steps_; }
  const std::string& path() const { return path_; }
  const std::string& id() const { return id_; }
  std::uint64_t sequence() const { return sequence_; }
  // Closes the record's file (a dropped record).
  void close();
  // The record now lives at `path` (the history renamed it there).
  void movedTo(const std::string& path) { path_ = path; }

 private:
  Status sync(const char* what) const;
  Status writeIdentities(std::size_t index);

  int fd_ = -1;
  std::string path_;
  std::string id_;
  std::uint64_t sequence_ = 0;
  DecisionState state_ = DecisionState::kCarryingOut;
  TakeOnRecord take_;
  std::vector<DecisionStep> steps_;
  std::vector<std::int64_t> stepOffsets_;  // where each entry starts in the file
  std::int64_t endByte_ = 0;
};

}  // namespace varnow
