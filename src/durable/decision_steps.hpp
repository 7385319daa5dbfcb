// The one judge of what a take decision's steps left (durable.hpp): whether
// each step was carried out, and whether the files under its names are
// still what it left there; and taking the steps back on that judgement.
#pragma once

#include <string>
#include <vector>

#include "core/status.hpp"
#include "durable/decision_record.hpp"

namespace varnow {

// What taking a decision back did: the files restored under their old names
// and removed (made by the decision), each named once, in order, and one
// sentence for each file that was not as the decision left it and was left
// alone.
struct TakenBack {
  std::vector<std::string> restored;
  std::vector<std::string> removed;
  std::vector<std::string> leftAlone;
};

// Succeeds when every file the decision left is as it left it, so that
// taking it back overwrites nothing made since; otherwise the sentence
// names the first file that changed ("vox.wav has changed since 'ins'").
// Changes nothing.
Status checkDecisionUnchanged(const DecisionRecord& record);

// Takes back, last first, every step the decision carried out, as far as
// the files show it was carried out and is as it left it. A file that is not
// is left alone (a sentence in `done`), and the files the decision moved
// away from it are kept where the user can find them. In `undo` mode an
// insert is taken back only from the state it left. Stops at the first
// failure, whose sentence names the file: what was taken back so far is in
// `done`, and the rest can be taken back later.
Status takeBack(const DecisionRecord& record, bool undo, TakenBack& done);

// Prints what `done` holds: a line for each file restored, then removed,
// then left alone.
void printTakenBack(const TakenBack& done);

// An entry for every file the decision's steps name (a rename's both
// names), with what stands there now: written once it is taken back.
std::vector<DecisionStep> filesAsUndoLeft(const DecisionRecord& record);

// Succeeds when every file is as the undo of the decision left it, so that
// carrying it out again decides it on the same files; otherwise the reason
// names the first that is not ("vox.wav has changed since 'ins' was taken
// back"). Changes nothing.
Status checkAsUndoLeft(const DecisionRecord& record);

// The insert steps' journals beside their destinations, which belong to
// the decision and to no insert of their own.
std::vector<std::string> decisionJournals(const DecisionRecord& record);

}  // namespace varnow
