#include "takes/undo_decision.hpp"

#include <cstdio>
#include <string>

#include "core/print.hpp"
#include "takes/decision_steps.hpp"
#include "takes/undo_journal.hpp"

namespace varnow {
namespace {

void printTakenBack(const TakenBack& done) {
  for (const std::string& path : done.restored)
    print("Restored %s.\n", path.c_str());
  for (const std::string& path : done.removed)
    print("Removed %s.\n", path.c_str());
}

// Takes back what the record says was done and drops the record, printing
// first (with the command) `summary`, or `failed` when a step could not be
// taken back.
void finishTakingBack(DecisionRecord& record, Format summary, Format failed) {
  TakenBack done;
  const Status back = takeBack(record, false, done);
  print(back ? summary : failed, record.take().command.c_str());
  printTakenBack(done);
  if (!back) {
    printLine(back.message() + " The rest is taken back at the next start.");
    return;
  }
  if (const Status dropped = record.drop(); !dropped) printLine(dropped.message());
}

}  // namespace

std::optional<TakeOnRecord> undoLastDecision() {
  std::optional<DecisionRecord> record;
  if (const Status loaded = DecisionRecord::load(record); !loaded) {
    printLine(loaded.message());
    return std::nullopt;
  }
  if (!record) {
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
  if (const Status marked = record->setState(DecisionState::kUndoing); !marked) {
    printLine(marked.message());
    return std::nullopt;
  }
  TakenBack done;
  const Status back = takeBack(*record, true, done);
  printTakenBack(done);
  if (!back) {
    printLine(back.message() + " The rest is taken back by the next 'undo' or at the next start.");
    return std::nullopt;
  }
  TakeOnRecord take = record->take();
  if (const Status dropped = record->drop(); !dropped) printLine(dropped.message());
  return take;
}

void recoverDecision() {
  std::optional<DecisionRecord> record;
  if (const Status loaded = DecisionRecord::load(record); !loaded) {
    printLine(loaded.message());
    return;
  }
  if (!record) return;
  switch (record->state()) {
    case DecisionState::kDone:
      // An insert's journal that a crash kept from reaching the store still
      // belongs to the decision, not to an insert that did not finish.
      for (const DecisionStep& step : record->steps()) {
        const std::string beside = journalPath(step.path);
        if (step.kind == StepKind::kInsert && step.status == 'D' && !identityOf(step.other) &&
            identityOf(beside)) {
          std::rename(beside.c_str(), step.other.c_str());
        }
      }
      return;
    case DecisionState::kCarryingOut:
      return finishTakingBack(*record,
                              "The take decision '%s' did not finish; it was taken back.\n",
                              "The take decision '%s' did not finish; taking it back failed.\n");
    case DecisionState::kUndoing:
      return finishTakingBack(*record, "The undo of '%s' did not finish; it was completed.\n",
                              "The undo of '%s' did not finish; completing it failed.\n");
  }
}

}  // namespace varnow
