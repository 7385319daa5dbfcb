// The take decision as a transaction (durable.hpp): carrying its steps out,
// committing, undoing, and settling what a crash or a failure left.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/file_paths.hpp"
#include "core/print.hpp"
#include "core/scratch_file.hpp"
#include "durable/decision_history.hpp"
#include "durable/decision_record.hpp"
#include "durable/decision_steps.hpp"
#include "durable/durable.hpp"
#include "durable/undo_journal.hpp"

namespace varnow {
namespace {

// Decisions of this run being carried out: their own files are settled by
// their own steps, never by prepareForUse().
int decidingHere = 0;

constexpr std::int64_t kDefaultBudgetBytes = 2048ll * 1024 * 1024;
std::int64_t historyBudget = kDefaultBudgetBytes;

bool unsettled(const DecisionRecord& record) {
  return record.state() != DecisionState::kDone && record.state() != DecisionState::kTakenBack;
}

// The end of an undo whose files are all taken back: what it left is
// noted for a redo, the record is marked taken back and moves out of the
// way of the decision before it.
Status finishUndo(DecisionRecord& record) {
  if (Status noted = record.planAll(filesAsUndoLeft(record)); !noted) return noted;
  if (Status marked = record.setState(DecisionState::kTakenBack); !marked) return marked;
  return retireTakenBack(record);
}

// Takes back a decision (or completes an undo) that did not finish, saying
// so; true when it is settled and off the record.
bool settle(DecisionRecord& record) {
  const bool undoing = record.state() == DecisionState::kUndoing;
  TakenBack done;
  const Status back = takeBack(record, false, done);
  const char* command = record.take().command.c_str();
  if (!back) {
    if (undoing) {
      print("The undo of '%s' did not finish; completing it failed.\n", command);
    } else {
      print("The take decision '%s' did not finish; taking it back failed.\n", command);
    }
    printTakenBack(done);
    printLine(back.message() + " The rest is taken back at the next start.");
    return false;
  }
  const bool whole = done.leftAlone.empty();
  if (undoing && whole) {
    print("The undo of '%s' did not finish; it was completed.\n", command);
  } else if (undoing) {
    print("The undo of '%s' did not finish; it was completed as far as its files allowed.\n",
          command);
  } else if (whole) {
    print("The take decision '%s' did not finish; it was taken back.\n", command);
  } else {
    print(
        "The take decision '%s' did not finish; it was taken back as far as its files "
        "allowed.\n",
        command);
  }
  printTakenBack(done);
  if (const Status ended = undoing ? finishUndo(record) : record.clear(); !ended) {
    printLine(ended.message());
    return false;
  }
  settleHistory();
  return true;
}

// The record on file when it holds a decision that is not settled yet
// (after settling it once more, when `retry`).
std::optional<DecisionRecord> pendingDecision(bool retry) {
  const auto recorded = identityOf(newestRecordPath());
  if (!recorded || recorded->sizeBytes == 0) return std::nullopt;
  std::optional<DecisionRecord> record;
  if (const Status loaded = DecisionRecord::load(newestRecordPath(), record); !loaded) {
    if (retry) printLine(loaded.message());
    return std::nullopt;
  }
  if (!record || !unsettled(*record)) return std::nullopt;
  if (retry && settle(*record)) return std::nullopt;
  return record;
}

bool names(const DecisionRecord& record, const std::string& path) {
  for (const DecisionStep& step : record.steps()) {
    if (sameFile(step.path, path) || sameFile(step.other, path) || step.path == path ||
        step.other == path) {
      return true;
    }
  }
  return false;
}

// A journal beside a destination that belongs to the pending decision.
std::function<bool(const std::string&)> journalsOf(const std::optional<DecisionRecord>& record) {
  if (!record) return {};
  return [journals = decisionJournals(*record)](const std::string& journal) {
    for (const std::string& own : journals) {
      if (own == journal || sameFile(own, journal)) return true;
    }
    return false;
  };
}

// The insert journals of a finished decision that a crash kept from
// reaching the store belong to the decision, not to an insert that did not
// finish: they move there when their destination holds the whole insert.
void keepFinishedJournals(const DecisionRecord& record) {
  for (const DecisionStep& step : record.steps()) {
    const std::string beside = journalPath(step.path);
    if (step.kind == StepKind::kInsert && !nameTaken(step.other) && nameTaken(beside) &&
        checkJournalUndoes(beside, step.path)) {
      std::rename(beside.c_str(), step.other.c_str());
    }
  }
}

void recoverDecision() {
  std::optional<DecisionRecord> record;
  if (const Status loaded = DecisionRecord::load(newestRecordPath(), record); !loaded) {
    printLine(loaded.message());
    return;
  }
  if (record && unsettled(*record)) {
    settle(*record);
    return;
  }
  if (record && record->state() == DecisionState::kDone) keepFinishedJournals(*record);
  settleHistory();
}

// The decision that stops a command of the history: one not settled yet
// (tried once more first). Says so.
bool pendingStops(const char* what) {
  if (const std::optional<DecisionRecord> pending = pendingDecision(true)) {
    print("Could not %s: the take decision '%s' is not taken back yet.\n", what,
          pending->take().command.c_str());
    return true;
  }
  return false;
}

}  // namespace

void recoverAtStart() {
  recoverDecision();
  recoverUndoJournals(".", journalsOf(pendingDecision(false)));
}

void recoverRecordListDirectories(const ListFileTable& recordLists) {
  recoverRecordListJournals(recordLists, journalsOf(pendingDecision(false)));
}

Status prepareForUse(const std::string& path) {
  if (decidingHere == 0) {
    if (const std::optional<DecisionRecord> pending = pendingDecision(true);
        pending && names(*pending, path)) {
      const std::string& command = pending->take().command;
      return Status::failure(formatText(
          "%s was not used: the take decision '%s' that changed it is not taken back yet; that "
          "is tried again before it is next used, and at the next start.",
          path.c_str(), command.c_str()));
    }
  }
  return settlePendingJournal(path);
}

// ------------------------------------------------------------ TakeDecision

TakeDecision::TakeDecision() = default;

TakeDecision::~TakeDecision() {
  if (active_) --decidingHere;
}

bool TakeDecision::active() const {
  return active_;
}

Status TakeDecision::begin(const TakeOnRecord& take) {
  if (const std::optional<DecisionRecord> pending = pendingDecision(true)) {
    return Status::failure(
        formatText("The take decision '%s' before this one is not taken back yet, so no file "
                   "was changed.",
                   pending->take().command.c_str()));
  }
  settleHistory();
  if (Status shelved = shelveNewest(); !shelved) return shelved;
  const std::uint64_t place = take.redoes != 0 ? take.redoes : nextPlace();
  auto record = std::make_unique<DecisionRecord>();
  if (Status begun = DecisionRecord::begin(take, newestRecordPath(), place, *record); !begun) {
    record.reset();
    settleHistory();
    return begun;
  }
  sweepStore();
  record_ = std::move(record);
  active_ = true;
  ++decidingHere;
  return Status::success();
}

namespace {

// Reports a mark that could not be written at once: the decision stays
// undoable (every step was logged with its files before it was carried
// out), but the user hears of the failing disk.
void mark(DecisionRecord& record, std::size_t index, bool done) {
  if (const Status marked = record.finish(index, done); !marked) printLine(marked.message());
}

DecisionStep stepOf(StepKind kind, const std::string& path, const std::string& other,
                    const std::string& scratch = {}) {
  DecisionStep step;
  step.kind = kind;
  step.path = path;
  step.other = other;
  step.scratch = scratch;
  return step;
}

// Logs `step`, with the identity of the file at `keptFrom` as the one it
// takes from its name; `index` is its place.
Status planStep(DecisionRecord& record, DecisionStep step, const std::string& keptFrom,
                std::size_t& index) {
  step.kept = identityOf(keptFrom).value_or(FileIdentity{});
  if (step.kind == StepKind::kRename) step.left = step.kept;
  return record.plan(step, index);
}

// Logs a step that moves the file at `path` into the store beside it (as
// `stored`), with that file's identity.
Status planStored(DecisionRecord& record, StepKind kind, const std::string& path,
                  const std::string& scratch, std::string& stored, std::size_t& index) {
  if (Status store = record.storeFileFor(path, stored); !store) return store;
  return planStep(record, stepOf(kind, path, stored, scratch), path, index);
}

// Notes the scratch file of step `index` as it is made and once it is
// ready to take its target's place, for as long as it lives.
class ScratchNotes {
 public:
  ScratchNotes(DecisionRecord& record, std::size_t index)
      : watch_({[&record, index](const std::string& path) {
                  return path == record.steps()[index].scratch
                             ? record.note(index, StepNote::kScratch, path)
                             : Status::success();
                },
                [&record, index](const std::string& path) {
                  return path == record.steps()[index].scratch
                             ? record.note(index, StepNote::kLeft, path)
                             : Status::success();
                }}) {}

 private:
  WatchScratchFiles watch_;
};

// Puts a file stashed to make room for a step that then failed back under
// its name: a failed step leaves the user's file where it was.
void unstash(DecisionRecord& record, std::optional<std::size_t> index) {
  if (!index) return;
  const DecisionStep& step = record.steps()[*index];
  if (nameTaken(step.path)) return;
  if (std::rename(step.other.c_str(), step.path.c_str()) == 0) mark(record, *index, false);
}

Status stashStep(DecisionRecord& record, const std::string& path,
                 std::optional<std::size_t>* made = nullptr) {
  if (!nameTaken(path)) return Status::success();
  if (Status settled = prepareForUse(path); !settled) return settled;
  std::string stored;
  std::size_t index = 0;
  if (Status planned = planStored(record, StepKind::kStash, path, {}, stored, index); !planned) {
    return planned;
  }
  errno = 0;
  if (std::rename(path.c_str(), stored.c_str()) != 0) {
    const int err = errno;
    mark(record, index, false);
    return fileFailure("move " + path + " into the undo store as", stored, err);
  }
  mark(record, index, true);
  if (made != nullptr) *made = index;
  return Status::success();
}

}  // namespace

Status TakeDecision::stash(const std::string& path) {
  return stashStep(*record_, path);
}

Status TakeDecision::rename(const std::string& from, const std::string& to) {
  DecisionRecord& record = *record_;
  // A directory under the new name is no file to keep: the rename fails on
  // it and says why, as it always has.
  const auto target = identityOf(to);
  struct stat info {};
  const bool directory = target && ::lstat(to.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  std::optional<std::size_t> stashed;
  if (target && !sameFile(from, to) && !directory) {
    if (Status made = stashStep(record, to, &stashed); !made) return made;
  }
  std::size_t index = 0;
  if (Status planned = planStep(
          record, stepOf(StepKind::kRename, to, from, besideFile(to, kDataScratch)), from, index);
      !planned) {
    unstash(record, stashed);
    return planned;
  }
  Status moved = Status::success();
  {
    const ScratchNotes notes(record, index);
    moved = moveFile(from, to);
  }
  mark(record, index, moved.ok());
  if (!moved) unstash(record, stashed);
  return moved;
}

Status TakeDecision::replace(const std::string& path,
                             const std::function<Status(const std::string& keepOldAs)>& rewrite) {
  DecisionRecord& record = *record_;
  std::string stored;
  std::size_t index = 0;
  if (Status planned = planStored(record, StepKind::kReplace, path, besideFile(path, kPadScratch),
                                  stored, index);
      !planned) {
    return planned;
  }
  Status rewritten = Status::success();
  {
    const ScratchNotes notes(record, index);
    rewritten = rewrite(stored);
  }
  mark(record, index, rewritten.ok());
  return rewritten;
}

Status TakeDecision::create(const std::string& path, const std::function<Status()>& make) {
  DecisionRecord& record = *record_;
  std::optional<std::size_t> stashed;
  if (Status made = stashStep(record, path, &stashed); !made) return made;
  std::size_t index = 0;
  if (Status planned =
          record.plan(stepOf(StepKind::kCreate, path, {}, besideFile(path, kDataScratch)), index);
      !planned) {
    unstash(record, stashed);
    return planned;
  }
  Status made = Status::success();
  {
    const ScratchNotes notes(record, index);
    made = make();
  }
  mark(record, index, made.ok());
  if (!made) unstash(record, stashed);
  return made;
}

Status TakeDecision::insert(
    const std::string& path,
    const std::function<Status(const std::string& keepJournalAs)>& rewrite) {
  DecisionRecord& record = *record_;
  std::string kept;
  std::size_t index = 0;
  if (Status planned = planStored(record, StepKind::kInsert, path, {}, kept, index); !planned) {
    return planned;
  }
  const Status inserted = rewrite(kept);
  mark(record, index, inserted.ok());
  return inserted;
}

void TakeDecision::commit(const std::vector<std::string>& laterAnswers) {
  if (!active_) return;
  active_ = false;
  --decidingHere;
  if (!laterAnswers.empty()) {
    std::string words;
    for (const std::string& word : laterAnswers)
      words += (words.empty() ? "" : "\n") + word;
    std::size_t index = 0;
    if (const Status noted = record_->plan(stepOf(StepKind::kAnswers, words, {}), index); !noted) {
      printLine(noted.message());
    }
  }
  const Status marked = record_->setState(DecisionState::kDone);
  if (marked) {
    trimHistory(historyBudget);
    return;
  }
  TakenBack done;
  const Status back = takeBack(*record_, false, done);
  if (!back) {
    printLine(marked.message() + " Taking the take decision back failed.");
    printTakenBack(done);
    printLine(back.message() + " The rest is taken back at the next start.");
    return;
  }
  printLine(marked.message() + " The take decision was taken back.");
  printTakenBack(done);
  (void)record_->clear();
  settleHistory();
}

std::optional<TakeOnRecord> undoLastDecision() {
  settleHistory();
  std::optional<DecisionRecord> record;
  if (const Status loaded = DecisionRecord::load(newestRecordPath(), record); !loaded) {
    printLine(loaded.message());
    return std::nullopt;
  }
  if (!record || record->state() == DecisionState::kTakenBack) {
    printLine("There is no take decision to undo.");
    return std::nullopt;
  }
  const std::string& command = record->take().command;
  if (record->state() == DecisionState::kDone) {
    if (const Status unchanged = checkDecisionUnchanged(*record); !unchanged) {
      print("Could not undo '%s': ", command.c_str());
      printText(unchanged.message());
      printLine("; nothing was changed.");
      return std::nullopt;
    }
  }
  // An undo cut short is completed from wherever it stopped.
  const bool fromDone = record->state() == DecisionState::kDone;
  if (const Status marked = record->setState(DecisionState::kUndoing); !marked) {
    printLine(marked.message());
    return std::nullopt;
  }
  TakenBack done;
  const Status back = takeBack(*record, fromDone, done);
  printTakenBack(done);
  if (!back) {
    printLine(back.message() + " The rest is taken back by the next 'undo' or at the next start.");
    return std::nullopt;
  }
  TakeOnRecord take = record->take();
  // The files are back: a failure to note that is finished at the next start.
  if (const Status ended = finishUndo(*record); !ended) printLine(ended.message());
  return take;
}

std::optional<TakeOnRecord> decisionToRedo() {
  if (pendingStops("redo")) return std::nullopt;
  settleHistory();
  std::optional<DecisionRecord> record;
  if (const Status loaded = loadToRedo(record); !loaded) {
    printLine(loaded.message());
    return std::nullopt;
  }
  if (!record) {
    printLine("There is no take decision to redo.");
    return std::nullopt;
  }
  if (const Status unchanged = checkAsUndoLeft(*record); !unchanged) {
    print("Could not redo '%s': ", record->take().command.c_str());
    printText(unchanged.message());
    printLine("; nothing was changed.");
    return std::nullopt;
  }
  TakeOnRecord take = record->take();
  take.redoes = record->sequence();
  return take;
}

void setHistoryBudget(std::int64_t bytes) {
  historyBudget = bytes;
}

void listDecisionHistory() {
  settleHistory();
  listHistory(historyBudget);
}

void forgetDecisionHistory() {
  if (pendingStops("forget the history")) return;
  forgetHistory();
}

}  // namespace varnow
