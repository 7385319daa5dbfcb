// The history of take decisions (durable.hpp): where each decision's record
// lives in the project directory's undo store, in what order, and how much
// of the store it keeps.
//
//   .varnow-undo/record          the newest decision not taken back (or the
//                                one being carried out or undone)
//   .varnow-undo/history/<n>     the older ones, <n> their place in the
//                                history (ten digits)
//   .varnow-undo/redo/<n>        the ones taken back, which `redo` can carry
//                                out again, the lowest <n> first
//
// Every decision has its own place <n>, one above every place in use when
// it began; a decision carried out again takes the place of the one taken
// back. A record in redo/ whose place is not above that of every decision
// on record has been decided over (or carried out again) and is dropped.
// Each move between these names is one rename, so a crash leaves every
// record under one of them, and settleHistory() puts the rest in order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/status.hpp"
#include "durable/decision_record.hpp"

namespace varnow {

// ".varnow-undo/record".
std::string newestRecordPath();

// Puts the records in order after a crash or a decision taken back: a
// record taken back moves to redo/, the newest of history/ becomes the
// record when there is none, and the records of redo/ decided over are
// dropped (one line naming them). The record is settled by the caller first.
void settleHistory();

// The place of a new decision: one above every place in use.
std::uint64_t nextPlace();

// Makes room for a new decision's record: a done record moves to
// history/. A record that could not be read is left to be replaced.
Status shelveNewest();

// After a decision was committed: drops the records it decided over, then
// the oldest decisions beyond the last 100 or while the store holds more
// than `budgetBytes` (never the newest), one line naming each.
void trimHistory(std::int64_t budgetBytes);

// Once `record` (the newest) is taken back and marked so: it moves to
// redo/ and the decision before it becomes the newest.
Status retireTakenBack(DecisionRecord& record);

// The decision taken back last (the lowest place in redo/). Nothing when
// there is none.
Status loadToRedo(std::optional<DecisionRecord>& record);

// Removes the files of the project directory's store that no record on
// the history names (what a dropped or unreadable record left).
void sweepStore();

// `hist`: one line per decision, newest first, then the store's size.
void listHistory(std::int64_t budgetBytes);

// `forget`: drops every record and the files it keeps; one line saying
// how much was freed. A decision not yet settled stays.
void forgetHistory();

}  // namespace varnow
