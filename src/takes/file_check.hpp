// Asking before whole files are replaced.
#pragma once

#include <string_view>

#include "core/console_input.hpp"

namespace varnow {

// Counts the files that already exist among the names on the first `count`
// lines of `list` (lines naming no file do not count). None, no lines, or
// count < 1: returns true without a word. Otherwise prints
// "-------------------------" and "1 file exists!" (or "%i files exists!\n"
// with the count), then repeats the three lines "Enter 'w' to overwrite",
// "Enter 'W' to overwrite and don't ask again." and "Enter 'r' to return to
// previous menu." until the answer is exactly one of the three words:
// "w" returns true, "r" returns false, "W" sets `dontAsk` and returns true.
// Throws InputEnded when the replies run out.
bool FILE_CHECK(int count, std::string_view list, bool& dontAsk, ConsoleInput& replies = console());

}  // namespace varnow
