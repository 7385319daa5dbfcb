// Taking the take menu's last decision back: the `undo` command, and the
// start-up recovery of a decision (or an undo) that a crash cut short.
#pragma once

#include <optional>

#include "takes/decision_record.hpp"

namespace varnow {

// `undo`: when every file the last decision left is as it left it, puts
// every file it changed back as it was (one line per file restored or
// removed) and returns the take it was made for, to be settled anew.
// Otherwise says why in one line and changes nothing; with nothing on
// record, says so.
std::optional<TakeOnRecord> undoLastDecision();

// At start-up, before anything else reads the project's files: a decision
// that a crash cut short is taken back, an undo that a crash cut short is
// finished, each saying so. A finished decision stays on record.
void recoverDecision();

}  // namespace varnow
