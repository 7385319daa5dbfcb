// The console: prompt, read one word, dispatch it, run what it asked for.
#pragma once

#include <string>

#include "app/run_state.hpp"

namespace varnow {

// Runs until the exit command; then winds down and closes the sound card.
// End of input escapes as InputEnded.
void runCommandLoop(RunState& state);

// Compares one word with the command table, top to bottom, and runs the
// command it names. Unknown words are ignored without a message.
void dispatchCommand(RunState& state, std::string word);

// Row 33 of the table: a take-name form ("R_take", "r_take", "ri_take", any
// word containing "r_", "R_" or "ri_") is cut at its first underscore; the
// text after it becomes `takeName`. False, with both left alone, for any
// other word.
bool splitTakeName(std::string& word, std::string& takeName);

// Row 15 of the table: a word that sets play start, stop or record start
// directly from the number after its first letter ("i12.5", "o9", "e5.3").
bool isDirectSetWord(const std::string& word);

// The exit command's wind-down: list-file check, a line break, then both
// streams drained and closed.
void windDown(RunState& state);

}  // namespace varnow
