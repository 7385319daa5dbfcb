// Renaming every file of one name list to the name on the same line of
// another (the take list to the record list, replacing whole files).
#pragma once

#include "durable/durable.hpp"

#include <string_view>

#include "takes/take_result.hpp"

namespace varnow {

// For lines i = 0 .. count - 1, renames the file on line i of `oldList` to
// the name on line i of `newList` (moveFile: a file at the new name is
// replaced). A line where either list names no file is skipped. Returns one
// outcome per line; a failed line leaves its old file where it was. Prints
// nothing.
ChannelOutcomes RENAME_FILES(int count, std::string_view oldList, std::string_view newList,
                             const FileMover& move = moveFile);

}  // namespace varnow
