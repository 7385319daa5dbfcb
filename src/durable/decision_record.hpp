// The record of the take menu's last decision (durable.hpp), kept so that
// `undo` can take it back, across restarts and crashes.
//
// Nothing is copied to keep a record: stored files are renamed, into a
// .varnow-undo directory beside the file they came from (so never across
// file systems). The record itself is .varnow-undo/record in the project
// directory. One decision is on record: the next one drops it, stored files
// and all. An empty or missing record means there is nothing to undo.
//
// Record layout (numbers little-endian, unsigned; strings are a 4-byte
// length and the bytes; an identity is device, inode, size and mtime in ns,
// 8 bytes each, all zeros when not known yet):
//
//   0     8   "VNDCSN02"
//   8     1   state: 'P' carrying out, 'C' done, 'U' being undone (not summed)
//   9     4   H: length of the header's body
//   13    H   command, id, inputs (4), take length, stamp, punch, out (8
//             each), take list, channel flags ('0'/'1' per input), record
//             lines (joined by newlines)
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
// carried out, and ends the record.
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
};

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

enum class DecisionState : char { kCarryingOut = 'P', kDone = 'C', kUndoing = 'U' };

class DecisionRecord {
 public:
  DecisionRecord() = default;
  ~DecisionRecord();
  DecisionRecord(DecisionRecord&& other) noexcept;
  DecisionRecord& operator=(DecisionRecord&& other) noexcept;
  DecisionRecord(const DecisionRecord&) = delete;
  DecisionRecord& operator=(const DecisionRecord&) = delete;

  // Starts the record of a new decision about `take` in place of the
  // record on file, which the caller has settled; the first planned step
  // syncs it. On failure (the store cannot be made, the disk is full) the
  // sentence says why and no file of the project has changed.
  static Status begin(const TakeOnRecord& take, DecisionRecord& record);

  // Reads the record on file. Nothing when there is none (or it is empty);
  // a failure when it cannot be read or is damaged.
  static Status load(std::optional<DecisionRecord>& record);

  // Appends `step` and syncs the record; `index` is its place. The step
  // must not be carried out when this fails.
  Status plan(DecisionStep step, std::size_t& index);
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
  // Removes the stored files that are still there and empties the record.
  Status drop();
  // Empties the record, leaving every file where it is.
  Status clear();

  DecisionState state() const { return state_; }
  const TakeOnRecord& take() const { return take_; }
  const std::vector<DecisionStep>& steps() const { return steps_; }
  const std::string& path() const { return path_; }

 private:
  Status sync(const char* what) const;
  Status writeIdentities(std::size_t index);
  void close();

  int fd_ = -1;
  std::string path_;
  std::string id_;
  DecisionState state_ = DecisionState::kCarryingOut;
  TakeOnRecord take_;
  std::vector<DecisionStep> steps_;
  std::vector<std::int64_t> stepOffsets_;  // where each entry starts in the file
  std::int64_t endByte_ = 0;
};

}  // namespace varnow
