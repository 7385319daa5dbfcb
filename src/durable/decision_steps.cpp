#include "durable/decision_steps.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>

#include "core/print.hpp"
#include "durable/moves.hpp"
#include "durable/undo_journal.hpp"

namespace varnow {
namespace {

using Identity = std::optional<FileIdentity>;
using View = std::function<Identity(const std::string&)>;

// What the files under a step's names say about it.
enum class Verdict {
  kCarriedOut,  // the step's files are as it left them: it can be taken back
  kNotDone,     // the step changed nothing (or was taken back already)
  kBlocked,     // carried out, but another file now stands where it would go back
  kChanged,     // the file under its name is not the one it left there
};

bool known(const FileIdentity& identity) {
  return identity != FileIdentity{};
}

bool is(const Identity& now, const FileIdentity& recorded) {
  return now && known(recorded) && *now == recorded;
}

// The judgement of one step over the files as `view` shows them. An insert
// is judged by its journal and is not decided here.
Verdict judge(const DecisionStep& step, const View& view) {
  const Identity atPath = view(step.path);
  switch (step.kind) {
    case StepKind::kStash:
      if (is(view(step.other), step.kept)) return atPath ? Verdict::kBlocked : Verdict::kCarriedOut;
      if (is(atPath, step.kept) || step.status == 'S') return Verdict::kNotDone;
      return Verdict::kChanged;
    case StepKind::kRename:
      if (is(atPath, step.left)) {
        return view(step.other) ? Verdict::kBlocked : Verdict::kCarriedOut;
      }
      // A file under the old name and not ours under the new one: nothing
      // to move back (an earlier step taken back may have put it there).
      if (view(step.other) || step.status == 'S') return Verdict::kNotDone;
      return Verdict::kChanged;
    case StepKind::kReplace:
      if (is(view(step.other), step.kept)) {
        return !atPath || is(atPath, step.left) ? Verdict::kCarriedOut : Verdict::kChanged;
      }
      if (is(atPath, step.kept) || step.status == 'S') return Verdict::kNotDone;
      return Verdict::kChanged;
    case StepKind::kCreate:
      if (step.status == 'S' || (!is(atPath, step.left) && !atPath)) return Verdict::kNotDone;
      return is(atPath, step.left) ? Verdict::kCarriedOut : Verdict::kChanged;
    case StepKind::kInsert:
    case StepKind::kAfterUndo:
    case StepKind::kAnswers:
      break;
  }
  return Verdict::kNotDone;
}

// The journal that takes an insert back: kept in the store, or still beside
// the destination (the insert did not finish, or the move into the store did
// not reach the disk before a crash). Empty when there is none.
std::string journalOf(const DecisionStep& step) {
  if (nameTaken(step.other)) return step.other;
  const std::string beside = journalPath(step.path);
  return nameTaken(beside) ? beside : std::string();
}

Status changedSince(const std::string& path, const DecisionRecord& record) {
  return Status::failure(
      formatText("%s has changed since '%s'", path.c_str(), record.take().command.c_str()));
}

void note(std::vector<std::string>& names, const std::string& name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

// Removes the scratch file a step left half-written, when it is the one the
// step made (a file the user put under that name since is left alone, and
// said so).
Status removeScratch(const DecisionStep& step, const std::string& command, TakenBack& done) {
  if (step.scratch.empty()) return Status::success();
  const Identity scratch = identityOf(step.scratch);
  if (!scratch) return Status::success();
  // A crash right after the scratch file was made, before it was noted,
  // leaves it empty: nothing of anyone's is lost with it.
  if ((known(step.scratchFile) && scratch->sameFileAs(step.scratchFile)) ||
      (!known(step.scratchFile) && scratch->sizeBytes == 0)) {
    errno = 0;
    if (std::remove(step.scratch.c_str()) != 0) return fileFailure("remove", step.scratch, errno);
    return Status::success();
  }
  done.leftAlone.push_back(formatText("%s was left alone: it is not known to be a file of '%s'.",
                                      step.scratch.c_str(), command.c_str()));
  return Status::success();
}

// Moves a stored file out of the store to a free name beside `path`, where
// no later decision removes it; the name it got.
Status keepOutOfStore(const std::string& stored, const std::string& path, std::string& keptAs) {
  keptAs = unusedName(path);
  return moveWithoutSettling(stored, keptAs);
}

std::string notAsLeft(const std::string& path, const std::string& command) {
  if (!nameTaken(path)) {
    return formatText("%s, which '%s' left, is not there any more.", path.c_str(), command.c_str());
  }
  return formatText("%s is not the file '%s' left there; it was left alone.", path.c_str(),
                    command.c_str());
}

// Takes back one stash or replace that is blocked or changed: the file under
// its name stays, the file the step moved away is kept beside it.
Status keepBoth(const DecisionStep& step, const std::string& command, TakenBack& done) {
  std::string keptAs;
  if (Status moved = keepOutOfStore(step.other, step.path, keptAs); !moved) return moved;
  const std::string said =
      step.kind == StepKind::kStash
          ? formatText("Could not restore %s: another file stands under that name.",
                       step.path.c_str())
          : notAsLeft(step.path, command);
  done.leftAlone.push_back(said + formatText(" The file it held before '%s' is now %s.",
                                             command.c_str(), keptAs.c_str()));
  return Status::success();
}

// Puts the file a stash or a replace moved into the store back under its name.
Status putBack(const DecisionStep& step) {
  errno = 0;
  if (std::rename(step.other.c_str(), step.path.c_str()) != 0) {
    return fileFailure("restore " + step.path + " from", step.other, errno);
  }
  return Status::success();
}

// An insert taken back leaves its destination byte for byte as before; its
// modification time goes back too, so that the decisions before it find the
// file as they left it.
void restoreModified(const DecisionStep& step, TakenBack& done) {
  const Identity now = identityOf(step.path);
  if (!known(step.kept) || !now || !now->sameFileAs(step.kept) ||
      now->sizeBytes != step.kept.sizeBytes) {
    return;
  }
  constexpr std::int64_t kNsPerSecond = 1000000000;
  const timespec times[2] = {{0, UTIME_OMIT},
                             {static_cast<time_t>(step.kept.modifiedNs / kNsPerSecond),
                              static_cast<long>(step.kept.modifiedNs % kNsPerSecond)}};
  errno = 0;
  if (::utimensat(AT_FDCWD, step.path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    done.leftAlone.push_back(
        fileFailure("give back the modification time of", step.path, errno).message());
  }
}

Status takeBackInsert(const DecisionStep& step, const std::string& command, bool undo,
                      TakenBack& done) {
  const std::string journal = journalOf(step);
  if (journal.empty()) return Status::success();
  const bool beside = journal != step.other;
  // A journal cut short by a crash was written before its destination was
  // touched: the insert changed nothing, and its journal is the decision's.
  if (beside && journalIsTorn(journal)) {
    if (std::remove(journal.c_str()) != 0) return fileFailure("remove", journal, errno);
    return Status::success();
  }
  const PlaybackResult played =
      beside ? playBackJournal(journal, PlaybackMode::kRollBack)
             : playBackJournalOnto(journal, step.path,
                                   undo ? PlaybackMode::kUndo : PlaybackMode::kRollBack);
  if (played.outcome == PlaybackOutcome::kRestored) {
    restoreModified(step, done);
    note(done.restored, step.path);
    return Status::success();
  }
  if (played.outcome != PlaybackOutcome::kRefused) return Status::failure(played.reason);
  // Not the file the insert left: the journal moves into the store (beside
  // the file it would keep the file from being used) and is named.
  std::string kept = journal;
  if (beside && std::rename(journal.c_str(), step.other.c_str()) == 0) kept = step.other;
  const std::string said = notAsLeft(step.path, command);
  done.leftAlone.push_back(
      said +
      formatText(" The bytes it held before '%s' are kept in %s until the next take decision.",
                 command.c_str(), kept.c_str()));
  return Status::success();
}

Status takeBackStep(const DecisionStep& step, const std::string& command, bool undo,
                    TakenBack& done) {
  if (isNote(step.kind)) return Status::success();
  if (step.kind == StepKind::kInsert) return takeBackInsert(step, command, undo, done);
  const Verdict verdict = judge(step, identityOf);
  if (verdict == Verdict::kNotDone) return removeScratch(step, command, done);
  switch (step.kind) {
    case StepKind::kStash:
      if (verdict == Verdict::kCarriedOut) {
        if (Status back = putBack(step); !back) return back;
        note(done.restored, step.path);
        return Status::success();
      }
      if (verdict == Verdict::kBlocked) return keepBoth(step, command, done);
      done.leftAlone.push_back(
          formatText("Could not restore %s: the file '%s' kept for it in %s "
                     "has changed or gone; it was left alone.",
                     step.path.c_str(), command.c_str(), step.other.c_str()));
      return Status::success();
    case StepKind::kRename:
      if (verdict == Verdict::kCarriedOut) {
        if (Status back = moveWithoutSettling(step.path, step.other); !back) return back;
        note(done.restored, step.other);
        return Status::success();
      }
      if (Status removed = removeScratch(step, command, done); !removed) return removed;
      if (verdict == Verdict::kBlocked) {
        done.leftAlone.push_back(formatText(
            "Could not give %s back its name %s: another file stands under that name; it stays %s.",
            step.path.c_str(), step.other.c_str(), step.path.c_str()));
      } else {
        done.leftAlone.push_back(notAsLeft(step.path, command));
      }
      return Status::success();
    case StepKind::kReplace:
      if (Status removed = removeScratch(step, command, done); !removed) return removed;
      if (verdict == Verdict::kCarriedOut) {
        if (Status back = putBack(step); !back) return back;
        note(done.restored, step.path);
        return Status::success();
      }
      if (is(identityOf(step.other), step.kept)) return keepBoth(step, command, done);
      done.leftAlone.push_back(notAsLeft(step.path, command));
      return Status::success();
    case StepKind::kCreate:
      if (Status removed = removeScratch(step, command, done); !removed) return removed;
      if (verdict == Verdict::kCarriedOut) {
        errno = 0;
        if (std::remove(step.path.c_str()) != 0) return fileFailure("remove", step.path, errno);
        note(done.removed, step.path);
        return Status::success();
      }
      done.leftAlone.push_back(notAsLeft(step.path, command));
      return Status::success();
    case StepKind::kInsert:
    case StepKind::kAfterUndo:
    case StepKind::kAnswers:
      break;
  }
  return Status::success();
}

}  // namespace

Status checkDecisionUnchanged(const DecisionRecord& record) {
  // The files as taking back the later steps leaves them: a file that a
  // later step renamed is back under its earlier name by then.
  std::map<std::string, Identity> after;
  const View view = [&after](const std::string& path) {
    const auto known = after.find(path);
    return known != after.end() ? known->second : identityOf(path);
  };
  const std::vector<DecisionStep>& steps = record.steps();
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    if (isNote(step->kind)) continue;
    if (step->kind == StepKind::kInsert) {
      const std::string journal = journalOf(*step);
      if (step->status == 'S' || journal.empty()) continue;
      if (!checkJournalUndoes(journal, step->path)) return changedSince(step->path, record);
      continue;
    }
    const Verdict verdict = judge(*step, view);
    if (verdict == Verdict::kNotDone) continue;
    if (verdict != Verdict::kCarriedOut) return changedSince(step->path, record);
    switch (step->kind) {
      case StepKind::kStash:
      case StepKind::kReplace:
        after[step->path] = step->kept;
        after[step->other] = std::nullopt;
        break;
      case StepKind::kRename:
        after[step->other] = step->left;
        after[step->path] = std::nullopt;
        break;
      case StepKind::kCreate:
        after[step->path] = std::nullopt;
        break;
      case StepKind::kInsert:
      case StepKind::kAfterUndo:
      case StepKind::kAnswers:
        break;
    }
  }
  return Status::success();
}

Status takeBack(const DecisionRecord& record, bool undo, TakenBack& done) {
  const std::vector<DecisionStep>& steps = record.steps();
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    if (Status back = takeBackStep(*step, record.take().command, undo, done); !back) return back;
  }
  return Status::success();
}

void printTakenBack(const TakenBack& done) {
  for (const std::string& path : done.restored)
    print("Restored %s.\n", path.c_str());
  for (const std::string& path : done.removed)
    print("Removed %s.\n", path.c_str());
  for (const std::string& sentence : done.leftAlone)
    printLine(sentence);
}

std::vector<DecisionStep> filesAsUndoLeft(const DecisionRecord& record) {
  std::vector<std::string> names;
  for (const DecisionStep& step : record.steps()) {
    if (isNote(step.kind)) continue;
    note(names, step.path);
    if (step.kind == StepKind::kRename) note(names, step.other);
  }
  std::vector<DecisionStep> files;
  for (const std::string& name : names) {
    DecisionStep file;
    file.kind = StepKind::kAfterUndo;
    file.path = name;
    file.left = identityOf(name).value_or(FileIdentity{});
    files.push_back(std::move(file));
  }
  return files;
}

Status checkAsUndoLeft(const DecisionRecord& record) {
  bool recorded = false;
  for (const DecisionStep& step : record.steps()) {
    if (step.kind != StepKind::kAfterUndo) continue;
    recorded = true;
    if (identityOf(step.path).value_or(FileIdentity{}) != step.left) {
      return Status::failure(formatText("%s has changed since '%s' was taken back",
                                        step.path.c_str(), record.take().command.c_str()));
    }
  }
  if (recorded) return Status::success();
  return Status::failure(formatText("the files of '%s' as it was taken back are not on record",
                                    record.take().command.c_str()));
}

std::vector<std::string> decisionJournals(const DecisionRecord& record) {
  std::vector<std::string> journals;
  for (const DecisionStep& step : record.steps()) {
    if (step.kind == StepKind::kInsert) journals.push_back(journalPath(step.path));
  }
  return journals;
}

}  // namespace varnow
