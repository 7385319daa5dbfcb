#include "takes/decision_steps.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <optional>

#include "core/print.hpp"
#include "takes/copy_file.hpp"
#include "takes/file_move.hpp"
#include "takes/file_names.hpp"
#include "takes/pad_file.hpp"
#include "takes/undo_journal.hpp"

namespace varnow {
namespace {

bool exists(const std::string& path) {
  return identityOf(path).has_value();
}

void note(std::vector<std::string>& names, const std::string& name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

// Puts `stored` back under `path`, which must be free unless `replace`.
Status putBack(const std::string& stored, const std::string& path, bool replace) {
  if (!replace && exists(path)) {
    return Status::failure(
        formatText("Could not restore %s: another file stands under that name.", path.c_str()));
  }
  errno = 0;
  if (std::rename(stored.c_str(), path.c_str()) != 0) {
    return fileFailure("restore " + path + " from", stored, errno);
  }
  return Status::success();
}

// The journal that takes an insert back: kept in the store, or still beside
// the destination (the insert did not finish, or the move into the store did
// not reach the disk before a crash). Empty when there is none.
std::string journalOf(const DecisionStep& step) {
  if (exists(step.other)) return step.other;
  const std::string beside = journalPath(step.path);
  return exists(beside) ? beside : std::string();
}

DecisionStep stepOf(StepKind kind, const std::string& path, const std::string& other) {
  DecisionStep step;
  step.kind = kind;
  step.path = path;
  step.other = other;
  return step;
}

// A file stashed to make room for a step that then failed goes back under
// its name: a failed decision leaves the user's file where it was.
void unstash(DecisionRecord& record, std::optional<std::size_t> index) {
  if (!index) return;
  const DecisionStep& step = record.steps()[*index];
  if (putBack(step.other, step.path, false)) record.finish(*index, false);
}

Status changedSince(const std::string& path, const DecisionRecord& record) {
  return Status::failure(
      formatText("%s has changed since '%s'", path.c_str(), record.take().command.c_str()));
}

}  // namespace

Status planStash(DecisionRecord& record, const std::string& path, std::size_t& index) {
  if (Status settled = settlePendingJournal(path); !settled) return settled;
  std::string stored;
  if (Status store = record.storeFileFor(path, stored); !store) return store;
  return record.plan(stepOf(StepKind::kStash, path, stored), index, false);
}

Status carryOutStash(DecisionRecord& record, std::size_t index) {
  const DecisionStep& step = record.steps()[index];
  // A file that is already gone counts as kept, as it counts as removed.
  if (!exists(step.path)) {
    record.finish(index, false);
    return Status::success();
  }
  errno = 0;
  if (std::rename(step.path.c_str(), step.other.c_str()) != 0) {
    const int err = errno;
    record.finish(index, false);
    return fileFailure("move " + step.path + " into the undo store as", step.other, err);
  }
  record.finish(index, true);
  return Status::success();
}

Status stashFile(DecisionRecord& record, const std::string& path,
                 std::optional<std::size_t>* made) {
  if (!exists(path)) return Status::success();
  std::size_t index = 0;
  if (Status planned = planStash(record, path, index); !planned) return planned;
  if (Status synced = record.syncPlans(); !synced) {
    record.finish(index, false);
    return synced;
  }
  Status stashed = carryOutStash(record, index);
  if (stashed && made != nullptr) *made = index;
  return stashed;
}

Status renameFile(DecisionRecord& record, const std::string& from, const std::string& to) {
  const auto target = identityOf(to);
  const auto source = identityOf(from);
  const bool sameFile =
      target && source && target->device == source->device && target->inode == source->inode;
  // A directory under the new name is no file to keep: the rename fails on
  // it and says why, as it always has.
  struct stat info {};
  const bool directory = ::lstat(to.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  std::optional<std::size_t> stashed;
  if (target && !sameFile && !directory) {
    if (Status made = stashFile(record, to, &stashed); !made) return made;
  }
  std::size_t index = 0;
  if (Status planned = record.plan(stepOf(StepKind::kRename, to, from), index); !planned) {
    unstash(record, stashed);
    return planned;
  }
  const Status moved = moveFile(from, to);
  record.finish(index, moved.ok());
  if (!moved) unstash(record, stashed);
  return moved;
}

RewriteResult padFile(DecisionRecord& record, const std::string& path, std::int64_t frames) {
  std::string stored;
  std::size_t index = 0;
  if (Status store = record.storeFileFor(path, stored); !store) return RewriteResult::failed(store);
  if (Status planned = record.plan(stepOf(StepKind::kPad, path, stored), index); !planned) {
    return RewriteResult::failed(planned);
  }
  RewriteResult padded = PAD_FILE(path, frames, stored);
  record.finish(index, padded.ok());
  return padded;
}

Status copyBackup(DecisionRecord& record, std::int64_t number, const std::string& path) {
  const std::string backup = backupName(path, number);
  std::optional<std::size_t> stashed;
  if (Status made = stashFile(record, backup, &stashed); !made) return made;
  std::size_t index = 0;
  if (Status planned = record.plan(stepOf(StepKind::kCreate, backup, {}), index); !planned) {
    unstash(record, stashed);
    return planned;
  }
  const Status copied = COPY_FILE(number, path);
  record.finish(index, copied.ok());
  if (!copied) unstash(record, stashed);
  return copied;
}

RewriteResult insertFile(DecisionRecord& record, InsertRequest request) {
  // A destination that is not there yet needs no journal: the insert says so
  // and writes nothing.
  if (!exists(request.destination)) return INSERT_FILE(request);
  std::size_t index = 0;
  if (Status store = record.storeFileFor(request.destination, request.keepJournalAs); !store) {
    return RewriteResult::failed(store);
  }
  if (Status planned =
          record.plan(stepOf(StepKind::kInsert, request.destination, request.keepJournalAs), index);
      !planned) {
    return RewriteResult::failed(planned);
  }
  RewriteResult inserted = INSERT_FILE(request);
  record.finish(index, inserted.ok());
  return inserted;
}

Status checkDecisionUnchanged(const DecisionRecord& record) {
  // The files as taking back the later steps leaves them: a file that a
  // later step renamed is back under its earlier name by then.
  std::map<std::string, std::optional<FileIdentity>> after;
  const auto current = [&after](const std::string& path) {
    const auto known = after.find(path);
    return known != after.end() ? known->second : identityOf(path);
  };
  const std::vector<DecisionStep>& steps = record.steps();
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    if (step->status != 'D') continue;
    switch (step->kind) {
      case StepKind::kStash:
        if (current(step->other) != step->left) return changedSince(step->path, record);
        if (current(step->path)) return changedSince(step->path, record);
        after[step->path] = step->left;
        after[step->other] = std::nullopt;
        break;
      case StepKind::kRename:
        if (current(step->path) != step->left || current(step->other)) {
          return changedSince(step->path, record);
        }
        after[step->other] = step->left;
        after[step->path] = std::nullopt;
        break;
      case StepKind::kPad:
        if (current(step->path) != step->left || !current(step->other)) {
          return changedSince(step->path, record);
        }
        after[step->path] = current(step->other);
        after[step->other] = std::nullopt;
        break;
      case StepKind::kCreate:
        if (current(step->path) != step->left) return changedSince(step->path, record);
        after[step->path] = std::nullopt;
        break;
      case StepKind::kInsert: {
        const std::string journal = journalOf(*step);
        if (journal.empty() || !checkJournalUndoes(journal, step->path)) {
          return changedSince(step->path, record);
        }
        break;
      }
    }
  }
  return Status::success();
}

Status takeBack(DecisionRecord& record, bool undo, TakenBack& done) {
  std::vector<DecisionStep>& steps = record.steps();
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    if (step->status == 'S') continue;
    Status back = Status::success();
    switch (step->kind) {
      case StepKind::kStash:
        if (!exists(step->other)) continue;
        back = putBack(step->other, step->path, false);
        if (back) note(done.restored, step->path);
        break;
      case StepKind::kRename:
        if (!exists(step->path) || exists(step->other)) continue;
        back = moveFile(step->path, step->other);
        if (back) note(done.restored, step->other);
        break;
      case StepKind::kPad:
        if (!exists(step->other)) continue;
        back = putBack(step->other, step->path, true);
        if (back) note(done.restored, step->path);
        break;
      case StepKind::kCreate:
        if (!exists(step->path)) continue;
        errno = 0;
        if (std::remove(step->path.c_str()) != 0) {
          back = fileFailure("remove", step->path, errno);
        } else {
          note(done.removed, step->path);
        }
        break;
      case StepKind::kInsert: {
        const std::string journal = journalOf(*step);
        if (journal.empty()) continue;
        const PlaybackResult played =
            journal == step->other
                ? playBackJournalOnto(journal, step->path,
                                      undo ? PlaybackMode::kUndo : PlaybackMode::kRollBack)
                : playBackJournal(journal, PlaybackMode::kRollBack);
        if (played.outcome != PlaybackOutcome::kRestored) {
          back = Status::failure(played.reason);
        } else {
          note(done.restored, step->path);
        }
        break;
      }
    }
    if (!back) return back;
  }
  return Status::success();
}

}  // namespace varnow
