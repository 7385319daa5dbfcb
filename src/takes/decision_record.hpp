// The record of the take menu's last decision, kept so that `undo` can take
// it back, across restarts and crashes.
//
// A decision changes files only through steps, each written to the record
// and synced before it is carried out, and marked done after:
//
//   stash   a file moves into the undo store beside it: a destination that
//           is replaced, a take that is deleted, a file a new name replaces
//   rename  a take gets a new name
//   pad     a take is replaced by its padded copy; the take as recorded
//           moves into the store
//   create  a new file appears: a backup copy
//   insert  a destination is rewritten in place; the undo journal it writes
//           anyway moves into the store when it is complete
//
// Nothing is copied to keep a record: stored files are renamed, into a
// .varnow-undo directory beside the file they came from (so never across
// file systems). The record itself is .varnow-undo/record in the project
// directory. One decision is on record: the next one drops it, stored files
// and all. An empty or missing record means there is nothing to undo.
//
// Record layout (numbers little-endian, unsigned; strings are a 4-byte
// length and the bytes):
//
//   0     8   "VNDCSN01"
//   8     1   state: 'P' carrying out, 'C' done, 'U' being undone (not summed)
//   9     4   H: length of the header's body
//   13    H   command, id, inputs (4), take length, stamp, punch, out (8
//             each), take list, channel flags ('0'/'1' per input), record
//             lines (joined by newlines)
//   13+H  8   checksum of bytes 0..7 and 9..13+H
//   then one entry per step, appended as the decision goes on:
//   0     4   E: length of the entry's body
//   4     1   status: '-' planned, 'D' done, 'S' not carried out (not summed)
//   5     32  the file the step left: device, inode, size, mtime in ns (not summed)
//   37    E   kind (1 byte), path, other name
//   37+E  8   checksum of bytes 0..3 and 37..37+E
//
// An entry whose checksum does not match (a crash while it was appended)
// was never carried out, and ends the record.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/project_settings.hpp"
#include "core/status.hpp"

namespace varnow {

inline constexpr std::string_view kUndoStore = ".varnow-undo";

// What tells a file apart from any other, and from itself once changed.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t sizeBytes = 0;
  std::int64_t modifiedNs = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file at `path` (links not followed); nothing when no
// file stands there.
std::optional<FileIdentity> identityOf(const std::string& path);

enum class StepKind : char {
  kStash = 's',
  kRename = 'r',
  kPad = 'p',
  kCreate = 'c',
  kInsert = 'i',
};

struct DecisionStep {
  StepKind kind = StepKind::kStash;
  std::string path;   // the file the step changes; for a rename, the new name
  std::string other;  // a rename's old name; the store file of stash, pad and insert
  char status = '-';  // '-' planned, 'D' done, 'S' not carried out
  FileIdentity left;  // the file the step left (for a stash, the stored file)
};

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
};

enum class DecisionState : char { kCarryingOut = 'P', kDone = 'C', kUndoing = 'U' };

class DecisionRecord {
 public:
  DecisionRecord() = default;
  ~DecisionRecord();
  DecisionRecord(DecisionRecord&& other) noexcept;
  DecisionRecord& operator=(DecisionRecord&& other) noexcept;
  DecisionRecord(const DecisionRecord&) = delete;
  DecisionRecord& operator=(const DecisionRecord&) = delete;

  // Starts the record of a new decision about `take`, dropping the last
  // record and its stored files; the first planned step syncs it. On
  // failure (the store cannot be made, the disk is full) the sentence says
  // why and no file of the project has changed.
  static Status begin(const TakeOnRecord& take, DecisionRecord& record);

  // Reads the record on file. Nothing when there is none (or it is empty);
  // a failure when it cannot be read or is damaged.
  static Status load(std::optional<DecisionRecord>& record);

  // Appends `step` and, unless `sync` is false, syncs the record; `index`
  // is its place. The step must not be carried out when this fails, nor
  // before a later plan() has synced it.
  Status plan(DecisionStep step, std::size_t& index, bool sync = true);
  // The store file for `path` in the store beside it (made when missing).
  Status storeFileFor(const std::string& path, std::string& stored) const;
  // Marks step `index` done (with the identity of the file it left) or not
  // carried out. Not synced: the commit syncs.
  void finish(std::size_t index, bool done);
  // Syncs the steps planned so far.
  Status syncPlans() const { return sync("write the undo record"); }
  // Sets the state and syncs the record.
  Status setState(DecisionState state);
  // Removes the stored files that are still there and empties the record.
  Status drop();

  DecisionState state() const { return state_; }
  const TakeOnRecord& take() const { return take_; }
  const std::vector<DecisionStep>& steps() const { return steps_; }
  std::vector<DecisionStep>& steps() { return steps_; }
  const std::string& path() const { return path_; }

 private:
  Status sync(const char* what) const;
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
