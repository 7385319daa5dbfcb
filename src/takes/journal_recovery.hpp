// Start-up recovery of the inserts that a crash cut short, wherever the
// project's destinations live.
#pragma once

#include "core/project_settings.hpp"

namespace varnow {

// Plays back the undo journals left in every directory that holds a
// destination named in one of `recordLists` (every stored record list, not
// only the current one), printing a line for each. The project directory
// itself is left out: start-up recovers it first, before anything else.
// A list that cannot be read names no directory.
void recoverRecordListJournals(const ListFileTable& recordLists);

}  // namespace varnow
