// The file operations of a take decision, each written to the decision's
// record before it is carried out (decision_record.hpp), and taking them
// back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/status.hpp"
#include "takes/decision_record.hpp"
#include "takes/insert_file.hpp"
#include "takes/take_result.hpp"

namespace varnow {

// Moves `path` into the undo store beside it (instead of removing it, or of
// letting another file replace it). A file that is not there counts as moved.
// `made`, when given, receives the step's place if the file was moved.
Status stashFile(DecisionRecord& record, const std::string& path,
                 std::optional<std::size_t>* made = nullptr);

// The same in two parts: the step planned (not synced: the next synced
// plan carries it), then carried out once that plan is synced.
Status planStash(DecisionRecord& record, const std::string& path, std::size_t& index);
Status carryOutStash(DecisionRecord& record, std::size_t index);

// Renames `from` to `to` as moveFile does; a file standing at `to` is
// stashed first, so the rename replaces nothing.
Status renameFile(DecisionRecord& record, const std::string& from, const std::string& to);

// PAD_FILE, keeping the file as it was in the undo store.
RewriteResult padFile(DecisionRecord& record, const std::string& path, std::int64_t frames);

// COPY_FILE: the backup is recorded as made by the decision; a backup of
// the same name that stood there is stashed first.
Status copyBackup(DecisionRecord& record, std::int64_t number, const std::string& path);

// INSERT_FILE, keeping the undo journal of the complete insert in the store.
RewriteResult insertFile(DecisionRecord& record, InsertRequest request);

// The files that taking a decision back restored (under their old names)
// and removed (made by the decision), each named once, in order.
struct TakenBack {
  std::vector<std::string> restored;
  std::vector<std::string> removed;
};

// Succeeds when every file the decision left is as it left it, so that
// taking it back overwrites nothing made since; otherwise the sentence
// names the first file that changed. Changes nothing.
Status checkDecisionUnchanged(const DecisionRecord& record);

// Takes back, last first, every step the decision carried out, as far as
// the files show it was carried out (a step of a decision cut short may not
// have been). In `undo` mode an insert is taken back only from the state it
// left. Stops at the first failure, whose sentence names the file: what
// was taken back so far is in `done`, and the rest can be taken back later.
Status takeBack(DecisionRecord& record, bool undo, TakenBack& done);

}  // namespace varnow
