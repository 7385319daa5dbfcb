// The menu that chooses the current play or record list file ('pf', 'rf').
#pragma once

#include "core/print.hpp"
#include "core/project_settings.hpp"

namespace varnow {

// The texts that differ between the play and the record version of the menu.
struct ListFileMenuTexts {
  Format storedHeading;  // "Stored ... filenames:\n"
  Format currentLine;    // "\nCurrently ... %s\n\n", with entry 1
  Format chosenLine;     // "Set to ... %s\n\n", with entry 1
};

inline constexpr ListFileMenuTexts kPlayListMenu{
    "Stored playlist filenames:\n", "\nCurrently playing from %s\n\n", "Set to play from %s\n\n"};
inline constexpr ListFileMenuTexts kRecordListMenu{"Stored recordlist filenames:\n",
                                                   "\nCurrently recording to %s\n\n",
                                                   "Set to record from %s\n\n"};

// Shows the stored names of `table` and reads answers until one ends the
// menu: a number 1..128 (leading digits count, so "2mix.txt" is entry 2)
// copies that entry over entry 1; "rem", "a" and "ac" remove, add or copy
// the current entry to a stored position and show the menu again; "d" ends
// it; any other word becomes entry 1 (refused with a sentence when longer
// than 127 characters). Nothing checks that the named file exists.
void runListFileMenu(ListFileTable& table, const ListFileMenuTexts& texts);

}  // namespace varnow
